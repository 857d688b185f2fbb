// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright the Tarvane developers

#pragma once

#include <QByteArray>
#include <QColor>

class GameFolder;

// A one-colour JPEG preview for each set, distinct from its neighbours'.
QColor previewColour(int set);
QByteArray previewJpeg(int set);

// Gives every set of the game folder its real preview.
void drawPreviews(const GameFolder& game);
