// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright the Tarvane developers

#include "platform/PlatformError.h"

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
    // In the order of Failure.
    static constexpr int Numbers[] = {EINVAL, EINVAL, EOVERFLOW, ENOMEM,    ENOENT, EFBIG,
                                      EPERM,  EBUSY,  EACCES,    EISDIR,    EPERM,  EACCES,
                                      EAGAIN, EEXIST, EEXIST,    EOPNOTSUPP};
    PlatformError error = fromSystem(Numbers[int(failure)], std::move(path));
    error.m_failure = failure;
    return error;
}
