#include "textview/TextDisplay.h"

#include "platform/FileSystem.h"

#include <QStringDecoder>
#include <algorithm>

namespace {

QString decode(const QByteArray& bytes)
{
    // A UTF-8 decoder drops the byte-order mark that starts the text, and
    // only that one.
    if (bytes.startsWith("\xEF\xBB\xBF"))
        return QStringDecoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless).decode(bytes);

    // The lists and read-mes are written in the Windows code page.
    QStringDecoder windows1252("windows-1252");
    if (!windows1252.isValid())
        return QString::fromLatin1(bytes); // a Qt built without ICU
    return windows1252.decode(bytes);
}

} // namespace

QString displayText(const QByteArray& bytes, TrailingSpaces trailingSpaces)
{
    const QString text = decode(bytes);
    const QChar* position = text.constData();
    const QChar* const end = position + text.size();

    QString result;
    result.reserve(text.size() + text.size() / 16 + 2);
    const auto isLineEnd = [](QChar c) { return c == u'\r' || c == u'\n'; };
    while (position != end) {
        const QChar* const lineEnd = std::find_if(position, end, isLineEnd);
        const QChar* contentEnd = lineEnd;
        if (trailingSpaces == TrailingSpaces::Remove) {
            while (contentEnd != position && contentEnd[-1] == u' ')
                --contentEnd;
        }
        result.append(QStringView(position, contentEnd));
        result.append(u"\r\n");
        if (lineEnd == end)
            break;
        position = lineEnd + 1;
        if (*lineEnd == u'\r' && position != end && *position == u'\n')
            ++position;
    }
    return result;
}

QString boxText(const QString& displayText)
{
    const QStringView text(displayText);
    qsizetype lines = 0;
    qsizetype longest = 0;
    for (qsizetype start = 0, end; (end = text.indexOf(u"\r\n", start)) >= 0; start = end + 2) {
        ++lines;
        longest = std::max(longest, end - start);
    }
    const bool grouping = lines > LinesBeforeGrouping;
    if (!grouping && longest <= MaxBoxLine)
        return displayText;

    QString result;
    result.reserve(text.size() + text.size() / MaxBoxLine + 1);
    int lineInParagraph = 0;
    const auto appendLine = [&](QStringView line, bool last) {
        if (line.size() > MaxBoxLine) {
            // A long line takes whole paragraphs of its own.
            if (lineInParagraph != 0)
                result.back() = u'\n';
            for (qsizetype at = 0; at < line.size(); at += MaxBoxLine)
                result.append(line.sliced(at, std::min(MaxBoxLine, line.size() - at)))
                    .append(u'\n');
            lineInParagraph = 0;
            if (last)
                result.chop(1);
            return;
        }
        result.append(line);
        if (last)
            return;
        lineInParagraph = grouping ? (lineInParagraph + 1) % LinesPerParagraph : 0;
        result.append(lineInParagraph == 0 ? QChar(u'\n') : QChar(QChar::LineSeparator));
    };
    qsizetype start = 0;
    for (qsizetype end; (end = text.indexOf(u"\r\n", start)) >= 0; start = end + 2)
        appendLine(text.sliced(start, end - start), false);
    appendLine(text.sliced(start), true);
    return result;
}

QString readDisplayText(const FileSystem& files, const QString& path, TrailingSpaces trailingSpaces)
{
    return displayText(files.readFile(path), trailingSpaces);
}
