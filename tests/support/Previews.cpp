// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright the Tarvane developers

#include "Previews.h"

#include "Fixtures.h"

#include <QBuffer>
#include <QImage>

QColor previewColour(int set)
{
    static const QColor colours[] = {{220, 30, 30}, {30, 200, 30}, {30, 30, 220}, {230, 230, 30}};
    return colours[(set - 1) % 4];
}

QByteArray previewJpeg(int set)
{
    QImage preview(80, 60, QImage::Format_RGB32);
    preview.fill(previewColour(set));
    QByteArray jpeg;
    QBuffer buffer(&jpeg);
    buffer.open(QIODevice::WriteOnly);
    preview.save(&buffer, "JPEG");
    return jpeg;
}

void drawPreviews(const GameFolder& game)
{
    for (int set = 1; set <= game.sets(); ++set)
        game.scratch().write(GameFolder::previewPath(set), previewJpeg(set));
}
