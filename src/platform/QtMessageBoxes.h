#pragma once

#include "platform/MessageBoxes.h"

// Modal QMessageBox, owned by no window.
class QtMessageBoxes final : public MessageBoxes
{
public:
    void showMessage(const QString& title, const QString& text, MessageIcon icon) override;
};
