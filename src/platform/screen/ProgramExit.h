// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright the Tarvane developers

#pragma once

// Ends the program at once: no further events are handled.
class ProgramExit
{
public:
    virtual ~ProgramExit() = default;
    virtual void endProgram(int status) = 0;
};
