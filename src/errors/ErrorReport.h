// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright the Tarvane developers

#pragma once

#include "platform/PlatformError.h"
#include "platform/screen/MessageBoxes.h"
#include "platform/screen/ProgramExit.h"

// The two ways a failure ends the program: the program's own fatal report, for
// failures inside a guarded operation, and the platform's default report, for
// failures that no guard catches.
class ErrorReport
{
public:
    // Exit status of a program ended by either report.
    static constexpr int FailureStatus = 1;

    ErrorReport(MessageBoxes& boxes, ProgramExit& exit) : m_boxes(boxes), m_exit(exit) {}

    // Two boxes: whom to tell, then the error's number and description. Ends
    // the program.
    void ShowProgramError(const PlatformError& error);

    // The report of a failure that reached the event loop unguarded. Ends
    // the program.
    void showDefaultReport(const PlatformError& error);

private:
    MessageBoxes& m_boxes;
    ProgramExit& m_exit;
};
