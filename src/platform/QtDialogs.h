#pragma once

#include "platform/Dialogs.h"

// Modal QMessageBox, owned by no window.
class QtMessageBoxes final : public MessageBoxes
{
public:
    void showMessage(const QString& title, const QString& text, MessageIcon icon) override;
};

// Ends the process on the spot. Open files are closed by the system; the
// callers have already unwound anything that had to be cleaned up.
class ImmediateExit final : public ProgramExit
{
public:
    void endProgram(int status) override;
};
