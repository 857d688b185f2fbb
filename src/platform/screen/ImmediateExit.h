// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright the Tarvane developers

#pragma once

#include "platform/screen/ProgramExit.h"

// Ends the process on the spot. Open files are closed by the system; the
// callers have already unwound anything that had to be cleaned up.
class ImmediateExit final : public ProgramExit
{
public:
    void endProgram(int status) override;
};
