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

QString readDisplayText(const FileSystem& files, const QString& path, TrailingSpaces trailingSpaces)
{
    return displayText(files.readFile(path), trailingSpaces);
}
