// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright the Tarvane developers

#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

// File names on Linux are bytes; to the program they are text. Valid UTF-8
// decodes as usual; each byte that is not part of valid UTF-8 becomes a lone
// surrogate U+DC80..U+DCFF, and turns back into that byte when the name is
// encoded again. So every name the system hands out reaches the same file
// when handed back, and a name that is not UTF-8 never collapses onto
// another one spelled with U+FFFD.
QString decodeFileName(QByteArrayView bytes);
QByteArray encodeFileName(QStringView name);
