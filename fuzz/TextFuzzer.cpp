// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright the Tarvane developers

// Any bytes through the text loader: it must not crash, must keep every line
// and must end every line with CR LF. What a box is then given must show the
// same lines, only cut where a line is too long for the box.

#include "FuzzCheck.h"
#include "textview/TextDisplay.h"

#include <QStringList>
#include <algorithm>
#include <cstdint>
#include <cstdlib>

namespace {

// Lines in the bytes: each CR LF, lone CR or lone LF ends one, and
// anything after the last ends one more.
qsizetype countLines(QByteArrayView bytes)
{
    qsizetype lines = 0;
    qsizetype i = 0;
    for (; i < bytes.size(); ++i) {
        if (bytes[i] == '\r' || bytes[i] == '\n') {
            ++lines;
            if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n')
                ++i;
        }
    }
    const bool unterminated = !bytes.isEmpty() && bytes.back() != '\r' && bytes.back() != '\n';
    return lines + (unterminated ? 1 : 0);
}

// The lines a text box shows for its text.
QStringList boxLines(QString text)
{
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QChar(QChar::LineSeparator), u'\n');
    return text.split(u'\n');
}

void checkBoxText(const QString& text)
{
    const QString box = boxText(text);
    const QStringList shown = boxLines(box);
    qsizetype longest = 0;
    for (const QString& line : text.split(QStringLiteral("\r\n")))
        longest = std::max(longest, line.size());
    if (longest <= MaxBoxLine)
        FUZZ_CHECK(shown == boxLines(text));
    FUZZ_CHECK(shown.join(QString()) == boxLines(text).join(QString()));
    for (const QString& line : shown)
        FUZZ_CHECK(line.size() <= MaxBoxLine);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    QByteArrayView content(bytes);
    if (content.startsWith("\xEF\xBB\xBF"))
        content = content.sliced(3);
    const qsizetype lines = countLines(content);

    for (const TrailingSpaces mode : {TrailingSpaces::Keep, TrailingSpaces::Remove}) {
        const QString text = displayText(bytes, mode);
        FUZZ_CHECK(text.count(u"\r\n") == lines);
        FUZZ_CHECK(text.isEmpty() == (lines == 0));
        FUZZ_CHECK(text.isEmpty() || text.endsWith(u"\r\n"));
        QString withoutLineEnds = text;
        withoutLineEnds.remove(QStringLiteral("\r\n"));
        FUZZ_CHECK(!withoutLineEnds.contains(u'\r') && !withoutLineEnds.contains(u'\n'));
        if (mode == TrailingSpaces::Remove)
            FUZZ_CHECK(!text.contains(u" \r\n"));
        else
            FUZZ_CHECK(withoutLineEnds.size() + 2 * lines == text.size());
        checkBoxText(text);
    }
    return 0;
}
