// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright the Tarvane developers

#include "platform/PlatformError.h"

#include <cstring>

PlatformError PlatformError::fromErrno(int errnoValue, QString path)
{
    return PlatformError(errnoValue, QString::fromLocal8Bit(std::strerror(errnoValue)),
                         std::move(path));
}
