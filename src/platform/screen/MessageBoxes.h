// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright the Tarvane developers

#pragma once

#include <QString>

enum class MessageIcon { None, Information, Critical };

// Modal message boxes with a single OK button.
class MessageBoxes
{
public:
    virtual ~MessageBoxes() = default;
    virtual void showMessage(const QString& title, const QString& text, MessageIcon icon) = 0;
};
