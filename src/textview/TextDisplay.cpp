#include "textview/TextDisplay.h"

#include "platform/FileSystem.h"

#include <QStringDecoder>
#include <algorithm>

namespace {

// Windows-1252 from 0x80 to 0x9F; below that it is ASCII, above it Latin-1.
// The five bytes the code page leaves undefined stand for the C1 control of
// the same value, as they do on Windows and in ICU.
constexpr char16_t Windows1252From0x80[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

// Copies the text, decoding each unit, with every line followed by CR LF
// and, if asked, its trailing spaces removed: one pass, one allocation.
template <typename Unit, typename Decode>
QString withCrLfLines(const Unit* in, const Unit* const end, TrailingSpaces trailingSpaces,
                      Decode decode)
{
    // Each line end grows by at most one unit, and a last line without one
    // gains two.
    const qsizetype lineEndUnits =
        std::count_if(in, end, [](Unit c) { return c == Unit('\r') || c == Unit('\n'); });
    QString result((end - in) + lineEndUnits + 2, Qt::Uninitialized);
    char16_t* const start = reinterpret_cast<char16_t*>(result.data());
    char16_t* out = start;
    while (in != end) {
        char16_t* const lineStart = out;
        for (; in != end && *in != Unit('\r') && *in != Unit('\n'); ++in)
            *out++ = decode(*in);
        if (trailingSpaces == TrailingSpaces::Remove) {
            while (out != lineStart && out[-1] == u' ')
                --out;
        }
        *out++ = u'\r';
        *out++ = u'\n';
        if (in == end)
            break;
        in += (*in == Unit('\r') && in + 1 != end && in[1] == Unit('\n')) ? 2 : 1;
    }
    result.truncate(out - start);
    return result;
}

} // namespace

char16_t fromWindows1252(unsigned char byte)
{
    return (byte >= 0x80 && byte < 0xA0) ? Windows1252From0x80[byte - 0x80] : char16_t(byte);
}

QString displayText(const QByteArray& bytes, TrailingSpaces trailingSpaces)
{
    // A UTF-8 byte-order mark says how to read the rest; only that first one
    // is dropped.
    if (bytes.startsWith("\xEF\xBB\xBF")) {
        const QString text =
            QStringDecoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless).decode(bytes);
        return withCrLfLines(text.utf16(), text.utf16() + text.size(), trailingSpaces,
                             [](char16_t c) { return c; });
    }
    // Otherwise the lists and read-mes are in the Windows code page.
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.constData());
    return withCrLfLines(data, data + bytes.size(), trailingSpaces, fromWindows1252);
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
