// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright the Tarvane developers

#include "platform/disk/PlatformError.h"

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
    switch (failure) {
    case Failure::NotFound:
        return fromSystem(ERROR_FILE_NOT_FOUND, std::move(path));
    case Failure::TooLarge:
        return fromSystem(ERROR_FILE_TOO_LARGE, std::move(path));
    case Failure::NotPermitted:
        return fromSystem(ERROR_ACCESS_DENIED, std::move(path));
    case Failure::Busy:
        return fromSystem(ERROR_BUSY, std::move(path));

    case Failure::InvalidArgument:
        return fromSystem(ERROR_INVALID_PARAMETER, std::move(path));
    case Failure::InvalidData:
        return fromSystem(ERROR_INVALID_DATA, std::move(path));
    case Failure::Overflow:
        return fromSystem(ERROR_ARITHMETIC_OVERFLOW, std::move(path));
    case Failure::OutOfMemory:
        return fromSystem(ERROR_NOT_ENOUGH_MEMORY, std::move(path));
    }
    return fromSystem(ERROR_INVALID_PARAMETER, std::move(path));
}
