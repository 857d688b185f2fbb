// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright the Tarvane developers

#pragma once

#include <QPushButton>

// A push button whose caption wraps word by word inside the button, as the
// classic graphical buttons do. The caption itself stays one string.
class CaptionButton : public QPushButton
{
    Q_OBJECT

public:
    using QPushButton::QPushButton;

protected:
    void paintEvent(QPaintEvent* event) override;
};
