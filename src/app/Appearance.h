#pragma once

class QApplication;

// The look the window was designed in: Qt's Fusion style, so the button and
// box colours show as chosen on every desktop, and the window's MS Sans Serif
// mapped onto a metric-close face that Linux has.
void prepareApplication(QApplication& app);
