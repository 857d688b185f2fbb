// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright the Tarvane developers

#pragma once

#include "errors/ErrorReport.h"
#include "platform/PlatformError.h"

#include <new>
#include <utility>

// How an operation deals with a failure. An unguarded operation simply lets
// PlatformError propagate to its caller; these are the other modes.

// Fatal guard: a failure anywhere in the operation goes to the fatal report.
// Returns whether the operation ran to its end. (The report ends the program;
// it returns only where a test has put a recording exit in its place.)
template <typename Operation> bool fatalGuard(ErrorReport& report, Operation&& operation)
{
    try {
        std::forward<Operation>(operation)();
        return true;
    } catch (const PlatformError& error) {
        report.ShowProgramError(error);
    } catch (const std::bad_alloc&) {
        report.ShowProgramError(PlatformError::of(PlatformError::Failure::OutOfMemory));
    }
    return false;
}

// Resume next: each statement given to it is abandoned on failure, and the
// caller goes on with its next statement.
class ResumeNext
{
public:
    template <typename Statement> void operator()(Statement&& statement) const noexcept
    {
        try {
            std::forward<Statement>(statement)();
        } catch (const PlatformError&) {
        } catch (const std::bad_alloc&) {
        }
    }
};

// The boundary between an event handler and the event loop: a failure that no
// guard caught ends here with the default report, so nothing escapes into the
// toolkit.
template <typename Handler> void runHandler(ErrorReport& report, Handler&& handler) noexcept
{
    try {
        std::forward<Handler>(handler)();
    } catch (const PlatformError& error) {
        report.showDefaultReport(error);
    } catch (const std::bad_alloc&) {
        report.showDefaultReport(PlatformError::of(PlatformError::Failure::OutOfMemory));
    }
}
