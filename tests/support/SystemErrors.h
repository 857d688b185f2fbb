// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright the Tarvane developers

#pragma once

// The system's numbers for the failures the tests expect, by what they
// mean: errno values on POSIX, GetLastError values on Windows.

#ifdef _WIN32
namespace SystemError {
inline constexpr int FileNotFound = 2; // ERROR_FILE_NOT_FOUND
inline constexpr int PathNotFound = 3; // ERROR_PATH_NOT_FOUND
inline constexpr int AccessDenied = 5; // ERROR_ACCESS_DENIED
inline constexpr int IsAFolder = 5;    // a folder opened as a file
inline constexpr int NotAFolder = 267; // ERROR_DIRECTORY
inline constexpr int NotAFile = 50;    // ERROR_NOT_SUPPORTED: a device or pipe
inline constexpr int TooLarge = 223;   // ERROR_FILE_TOO_LARGE
inline constexpr int InvalidArgument = 87;
inline constexpr int Overflow = 534; // ERROR_ARITHMETIC_OVERFLOW
inline constexpr int OutOfMemory = 8;
inline constexpr int FileChanging = 32; // ERROR_SHARING_VIOLATION: held open for writing
inline constexpr int Busy = 170;        // ERROR_BUSY
inline constexpr int Held = 32;         // ERROR_SHARING_VIOLATION: open in another program
inline constexpr int DiskFull = 112;    // ERROR_DISK_FULL
} // namespace SystemError
#else
#include <cerrno>
namespace SystemError {
inline constexpr int FileNotFound = ENOENT;
inline constexpr int PathNotFound = ENOENT;
inline constexpr int AccessDenied = EACCES;
inline constexpr int IsAFolder = EISDIR;
inline constexpr int NotAFolder = ENOTDIR;
inline constexpr int NotAFile = EINVAL;
inline constexpr int TooLarge = EFBIG;
inline constexpr int InvalidArgument = EINVAL;
inline constexpr int Overflow = EOVERFLOW;
inline constexpr int OutOfMemory = ENOMEM;
inline constexpr int FileChanging = EAGAIN; // changed while it was copied
inline constexpr int Busy = EBUSY;
inline constexpr int Held = ETXTBSY; // open in another program
inline constexpr int DiskFull = ENOSPC;
} // namespace SystemError
#endif
