// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright the Tarvane developers

#include "app/PreviewBox.h"

#include "app/Appearance.h"

#include <QPainter>

PreviewBox::PreviewBox(QWidget* parent) : QLabel(parent)
{
    setInstalled(false);
}

void PreviewBox::setInstalled(bool installed)
{
    m_installed = installed;
    setAccessibleDescription(installed ? tr("The displayed frontline set is installed in the game "
                                            "folder")
                                       : tr("The displayed frontline set is not installed"));
    update();
}

void PreviewBox::paintEvent(QPaintEvent* event)
{
    QLabel::paintEvent(event);
    if (!m_installed)
        return;

    // In the window's button colours, inside the frame, clear of the middle
    // of the map.
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QString text = QStringLiteral("Installed");
    const QFontMetrics metrics(font());
    const int margin = 6;
    const QRect mark(contentsRect().topLeft() + QPoint(margin, margin),
                     QSize(metrics.horizontalAdvance(text) + 12, metrics.height() + 6));
    painter.setPen(QPen(Qt::black, 1));
    painter.setBrush(ButtonGreen);
    painter.drawRoundedRect(QRectF(mark).adjusted(0.5, 0.5, -0.5, -0.5), 4, 4);
    painter.setPen(Qt::black);
    painter.drawText(mark, Qt::AlignCenter, text);
}
