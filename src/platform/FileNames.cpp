// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright the Tarvane developers

#include "platform/FileNames.h"

#include <QStringDecoder>
#include <QUtf8StringView>
#include <algorithm>

namespace {

constexpr char16_t FirstEscape = 0xDC80; // stands for byte 0x80
constexpr char16_t LastEscape = 0xDCFF;  // stands for byte 0xFF

// The length of the UTF-8 sequence a lead byte starts, or 0 for a byte that
// cannot lead one.
qsizetype sequenceLength(unsigned char lead)
{
    if (lead < 0x80)
        return 1;
    if (lead >= 0xC2 && lead <= 0xDF)
        return 2;
    if (lead >= 0xE0 && lead <= 0xEF)
        return 3;
    if (lead >= 0xF0 && lead <= 0xF4)
        return 4;
    return 0;
}

bool isEscape(QStringView name, qsizetype i)
{
    const char16_t c = name[i].unicode();
    return c >= FirstEscape && c <= LastEscape && (i == 0 || !name[i - 1].isHighSurrogate());
}

// UTF-8 with a byte-order mark kept as the character it is: in a name it
// is no mark.
QString fromUtf8(QByteArrayView bytes)
{
    QStringDecoder utf8(QStringDecoder::Utf8,
                        QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
    return utf8.decode(bytes);
}

} // namespace

QString decodeFileName(QByteArrayView bytes)
{
    // Most names are ASCII, which decodes as Latin-1 does, only faster.
    if (std::none_of(bytes.begin(), bytes.end(), [](char c) { return c & 0x80; }))
        return QString::fromLatin1(bytes);
    if (QUtf8StringView(bytes).isValidUtf8())
        return fromUtf8(bytes);

    QString name;
    name.reserve(bytes.size());
    for (qsizetype i = 0; i < bytes.size();) {
        const qsizetype length = sequenceLength(static_cast<unsigned char>(bytes[i]));
        if (length > 0 && i + length <= bytes.size() &&
            QUtf8StringView(bytes.sliced(i, length)).isValidUtf8()) {
            name.append(fromUtf8(bytes.sliced(i, length)));
            i += length;
        } else {
            name.append(QChar(char16_t(0xDC00 + static_cast<unsigned char>(bytes[i]))));
            ++i;
        }
    }
    return name;
}

QByteArray encodeFileName(QStringView name)
{
    const auto escapeAt = [&](qsizetype from) {
        for (qsizetype i = from; i < name.size(); ++i) {
            if (isEscape(name, i))
                return i;
        }
        return name.size();
    };
    qsizetype escape = escapeAt(0);
    if (escape == name.size())
        return name.toUtf8();

    QByteArray bytes;
    bytes.reserve(name.size() + 8);
    qsizetype done = 0;
    while (done < name.size()) {
        bytes.append(name.sliced(done, escape - done).toUtf8());
        if (escape == name.size())
            break;
        bytes.append(char(name[escape].unicode() - 0xDC00));
        done = escape + 1;
        escape = escapeAt(done);
    }
    return bytes;
}
