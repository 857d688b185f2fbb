// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright the Tarvane developers

#include "platform/screen/ImmediateExit.h"

#include <cstdio>
#include <cstdlib>

void ImmediateExit::endProgram(int status)
{
    std::fflush(nullptr);
    std::_Exit(status);
}
