// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright the Tarvane developers

#include "platform/PlatformError.h"

#include <windows.h>

PlatformError PlatformError::fromSystem(int number, QString path)
{
    // In the user's language, as the system words its own errors.
    wchar_t* buffer = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, DWORD(number), 0, reinterpret_cast<LPWSTR>(&buffer), 0, nullptr);
    QString description = length != 0 ? QString::fromWCharArray(buffer, int(length)).trimmed()
                                      : QStringLiteral("Unknown error");
    LocalFree(buffer);
    return PlatformError(number, std::move(description), std::move(path));
}

bool PlatformError::isRefusal() const
{
    return m_number == ERROR_ACCESS_DENIED || m_number == ERROR_WRITE_PROTECT;
}

bool PlatformError::isHeldByAnotherProgram() const
{
    return m_number == ERROR_SHARING_VIOLATION || m_number == ERROR_LOCK_VIOLATION;
}

PlatformError PlatformError::of(Failure failure, QString path)
{
    // In the order of Failure.
    static constexpr int Numbers[] = {
        ERROR_INVALID_PARAMETER, ERROR_INVALID_DATA,   ERROR_ARITHMETIC_OVERFLOW,
        ERROR_NOT_ENOUGH_MEMORY, ERROR_FILE_NOT_FOUND, ERROR_FILE_TOO_LARGE,
        ERROR_ACCESS_DENIED,     ERROR_BUSY,           ERROR_ACCESS_DENIED,
        ERROR_ACCESS_DENIED,     ERROR_ACCESS_DENIED,  ERROR_ACCESS_DENIED,
        ERROR_LOCK_VIOLATION,    ERROR_FILE_EXISTS,    ERROR_FILE_EXISTS,
        ERROR_CANT_ACCESS_FILE};
    PlatformError error = fromSystem(Numbers[int(failure)], std::move(path));
    error.m_failure = failure;
    return error;
}
