// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright the Tarvane developers

#include "app/Appearance.h"

#include "Identity.h"

#include <QApplication>
#include <QFont>
#include <QIcon>
#include <QStyleFactory>
#include <QWidget>

void prepareApplication(QApplication& app)
{
    app.setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    QFont::insertSubstitutions(WindowFontFamily,
                               {QStringLiteral("Liberation Sans"), QStringLiteral("Arial"),
                                QStringLiteral("DejaVu Sans")});
    app.setApplicationVersion(ApplicationVersion);
    // The desktop entry's name, so that a Wayland compositor finds the icon;
    // the window icon comes from the icon theme, or else from the program.
    app.setDesktopFileName(DesktopEntryName);
    app.setWindowIcon(QIcon::fromTheme(IconName, QIcon(QStringLiteral(":/tarvane/tarvane.png"))));
}

void setColours(QWidget* widget, QPalette::ColorRole background, const QColor& backgroundColour,
                QPalette::ColorRole text, const QColor& textColour)
{
    QPalette palette = widget->palette();
    palette.setColor(background, backgroundColour);
    palette.setColor(text, textColour);
    widget->setPalette(palette);
}
