#include "platform/PlatformError.h"

#include <cstring>

PlatformError PlatformError::fromErrno(int errnoValue)
{
    return PlatformError(errnoValue, QString::fromLocal8Bit(std::strerror(errnoValue)));
}
