// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright the Tarvane developers

#pragma once

#include <QColor>
#include <QPalette>
#include <QString>

class QApplication;
class QWidget;

// The window's colours.
inline const QColor FormBackground{128, 128, 255};
inline const QColor ButtonGreen{0, 255, 0};
inline const QColor BoxBackground{192, 255, 255};
inline const QColor ListText{255, 0, 0};
inline const QColor FileNameText{192, 0, 0};
inline const QColor NumberLabelText{192, 255, 192};

// The face of the window's texts. The window was designed in MS Sans Serif,
// which on Windows is a bitmap font: display scaling would enlarge it
// blocky, so Windows draws the texts in its scalable twin of the same
// metrics. Elsewhere prepareApplication maps MS Sans Serif onto a
// metric-close face.
#ifdef Q_OS_WIN
inline const QString WindowFontFamily = QStringLiteral("Microsoft Sans Serif");
#else
inline const QString WindowFontFamily = QStringLiteral("MS Sans Serif");
#endif

// Gives a widget a background and a text colour of its own.
void setColours(QWidget* widget, QPalette::ColorRole background, const QColor& backgroundColour,
                QPalette::ColorRole text, const QColor& textColour);

// The look the window was designed in: Qt's Fusion style, so the button and
// box colours show as chosen on every desktop, and the window's face mapped
// onto a metric-close one where the system lacks it.
void prepareApplication(QApplication& app);
