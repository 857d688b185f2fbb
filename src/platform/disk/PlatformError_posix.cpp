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

PlatformError PlatformError::of(Failure failure)
{
    switch (failure) {
    case Failure::InvalidArgument:
    case Failure::InvalidData:
        return fromSystem(EINVAL);
    case Failure::Overflow:
        return fromSystem(EOVERFLOW);
    case Failure::OutOfMemory:
        return fromSystem(ENOMEM);
    }
    return fromSystem(EINVAL);
}
