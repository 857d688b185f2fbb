// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright the Tarvane developers

#include "platform/disk/PlatformError.h"

#include <cerrno>
#include <cstring>

PlatformError PlatformError::fromSystem(int number, QString path)
{
    return PlatformError(number, QString::fromLocal8Bit(std::strerror(number)), std::move(path));
}

bool PlatformError::isRefusal() const
{
    return m_number == EACCES || m_number == EPERM || m_number == EROFS;
}

bool PlatformError::isHeldByAnotherProgram() const
{
    return m_number == ETXTBSY;
}

PlatformError PlatformError::of(Failure failure, QString path)
{
    switch (failure) {
    case Failure::NotFound:
        return fromSystem(ENOENT, std::move(path));
    case Failure::TooLarge:
        return fromSystem(EFBIG, std::move(path));
    case Failure::NotPermitted:
        return fromSystem(EPERM, std::move(path));
    case Failure::Busy:
        return fromSystem(EBUSY, std::move(path));

    case Failure::InvalidArgument:
    case Failure::InvalidData:
        return fromSystem(EINVAL, std::move(path));
    case Failure::Overflow:
        return fromSystem(EOVERFLOW, std::move(path));
    case Failure::OutOfMemory:
        return fromSystem(ENOMEM, std::move(path));
    }
    return fromSystem(EINVAL, std::move(path));
}
