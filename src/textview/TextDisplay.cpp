// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright the Tarvane developers

#include "textview/TextDisplay.h"

#include "platform/disk/FileSystem.h"

#include <QStringDecoder>
#include <algorithm>
#include <array>
#include <bit>
#include <type_traits>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// Windows-1252 from 0x80 to 0x9F; below that it is ASCII, above it Latin-1.
// The five bytes the code page leaves undefined stand for the C1 control of
// the same value, as they do on Windows and in ICU.
constexpr char16_t Windows1252From0x80[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

// All 256 bytes, so that decoding a byte is one look-up.
constexpr auto Windows1252 = [] {
    std::array<char16_t, 256> table{};
    for (int byte = 0; byte < 256; ++byte)
        table[byte] = (byte >= 0x80 && byte < 0xA0) ? Windows1252From0x80[byte - 0x80] : byte;
    return table;
}();

#if defined(__SSE2__)
// Sixteen bytes, and which of them end a line (CR, LF) or decode other than
// as Latin-1 (0x80 to 0x9F, which are -128 to -97 as signed bytes).
struct Block
{
    explicit Block(const unsigned char* in)
        : bytes(_mm_loadu_si128(reinterpret_cast<const __m128i*>(in)))
    {}
    unsigned lineEnds() const
    {
        return unsigned(
            _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(bytes, _mm_set1_epi8('\r')),
                                           _mm_cmpeq_epi8(bytes, _mm_set1_epi8('\n')))));
    }
    unsigned notLatin1() const
    {
        return unsigned(_mm_movemask_epi8(_mm_cmplt_epi8(bytes, _mm_set1_epi8(-96))));
    }
    void widenTo(char16_t* out) const
    {
        const __m128i zero = _mm_setzero_si128();
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_unpacklo_epi8(bytes, zero));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 8), _mm_unpackhi_epi8(bytes, zero));
    }
    __m128i bytes;
};
#endif

// How many units end a line (CR or LF).
template <typename Unit> qsizetype countLineEnds(const Unit* in, const Unit* const end)
{
    qsizetype count = 0;
#if defined(__SSE2__)
    if constexpr (std::is_same_v<Unit, unsigned char>) {
        for (; end - in >= 16; in += 16)
            count += std::popcount(Block(in).lineEnds());
    }
#endif
    return count + std::count(in, end, Unit('\r')) + std::count(in, end, Unit('\n'));
}

// Copies the text, decoding each unit, with every line followed by CR LF
// and, if asked, its trailing spaces removed: one pass, one allocation.
// Where the processor allows, Windows-1252 bytes go sixteen at a time,
// widened as they are, up to a line end or a byte that needs the look-up.
template <typename Unit, typename Decode>
QString withCrLfLines(const Unit* const begin, const Unit* const end, TrailingSpaces trailingSpaces,
                      Decode decode)
{
    constexpr Unit Cr = Unit('\r');
    constexpr Unit Lf = Unit('\n');
    // Each line end grows by at most one unit, and a last line without one
    // gains two.
    QString result((end - begin) + countLineEnds(begin, end) + 2, Qt::Uninitialized);
    char16_t* const start = reinterpret_cast<char16_t*>(result.data());
    char16_t* out = start;
    char16_t* lineStart = out;
    const auto endLine = [&] {
        if (trailingSpaces == TrailingSpaces::Remove) {
            while (out != lineStart && out[-1] == u' ')
                --out;
        }
        *out++ = u'\r';
        *out++ = u'\n';
        lineStart = out;
    };
    for (const Unit* in = begin; in != end;) {
#if defined(__SSE2__)
        if constexpr (std::is_same_v<Unit, unsigned char>) {
            // There is room for all sixteen: the output runs ahead of the
            // input by no more than the line ends already passed.
            if (end - in >= 16) {
                const Block block(in);
                const unsigned special = block.lineEnds() | block.notLatin1();
                block.widenTo(out);
                const int plain = special == 0 ? 16 : std::countr_zero(special);
                in += plain;
                out += plain;
                if (plain == 16)
                    continue;
            }
        }
#endif
        const Unit c = *in++;
        if (c != Cr && c != Lf) {
            *out++ = decode(c);
            continue;
        }
        endLine();
        if (c == Cr && in != end && *in == Lf)
            ++in;
    }
    if (begin != end && end[-1] != Cr && end[-1] != Lf)
        endLine();
    result.truncate(out - start);
    return result;
}

// Where the first byte past ASCII is, or `end`.
const unsigned char* pastAscii(const unsigned char* in, const unsigned char* const end)
{
#if defined(__SSE2__)
    for (; end - in >= 16; in += 16) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
        if (const unsigned high = unsigned(_mm_movemask_epi8(bytes)))
            return in + std::countr_zero(high);
    }
#endif
    return std::find_if(in, end, [](unsigned char byte) { return byte >= 0x80; });
}

} // namespace

char16_t fromWindows1252(unsigned char byte)
{
    return Windows1252[byte];
}

QString displayText(const QByteArray& bytes, TrailingSpaces trailingSpaces)
{
    // A UTF-8 byte-order mark says how to read the rest; only that first one
    // is dropped. Without one, text that is UTF-8 and not plain ASCII is
    // taken as UTF-8 (as today's Notepad saves it): bytes in the Windows code
    // page almost never form valid UTF-8 by chance.
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.constData());
    const auto* const end = data + bytes.size();
    const unsigned char* const nonAscii = pastAscii(data, end);
    if (bytes.startsWith("\xEF\xBB\xBF") ||
        (nonAscii != end && QByteArrayView(nonAscii, end).isValidUtf8())) {
        const QString text =
            QStringDecoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless).decode(bytes);
        return withCrLfLines(text.utf16(), text.utf16() + text.size(), trailingSpaces,
                             [](char16_t c) { return c; });
    }
    // Otherwise the lists and read-mes are in the Windows code page.
    return withCrLfLines(data, end, trailingSpaces,
                         [](unsigned char byte) { return Windows1252[byte]; });
}

namespace {

// Calls lineFound(line, last) for each line of display text, whose lines
// all end in CR LF: one pass over the characters, not a search call per
// line.
template <typename LineFound> void forEachLine(QStringView text, LineFound lineFound)
{
    const QChar* const begin = text.data();
    const QChar* const end = begin + text.size();
    const QChar* start = begin;
    for (const QChar* at = begin; at != end; ++at) {
        if (*at == u'\r') {
            lineFound(QStringView(start, at), false);
            if (at + 1 != end && at[1] == u'\n')
                ++at;
            start = at + 1;
        }
    }
    lineFound(QStringView(start, end), true);
}

} // namespace

QString boxText(const QString& displayText)
{
    const QStringView text(displayText);
    qsizetype lines = 0;
    qsizetype longest = 0;
    forEachLine(text, [&](QStringView line, bool last) {
        lines += last ? 0 : 1;
        longest = std::max(longest, line.size());
    });
    const bool grouping = lines > LinesBeforeGrouping;
    if (!grouping && longest <= MaxBoxLine)
        return displayText;
    // However many lines there are, no more than MaxBoxParagraphs groups.
    const qsizetype perParagraph =
        std::max<qsizetype>(LinesPerParagraph, (lines + MaxBoxParagraphs - 1) / MaxBoxParagraphs);

    // Each line gives up its CR LF for at most one character, and each piece
    // of a long line but the last adds one.
    QString result(text.size() + text.size() / MaxBoxLine + 1, Qt::Uninitialized);
    char16_t* const start = reinterpret_cast<char16_t*>(result.data());
    char16_t* out = start;
    const auto put = [&](QStringView part) {
        std::copy(part.utf16(), part.utf16() + part.size(), out);
        out += part.size();
    };
    qsizetype lineInParagraph = 0;
    const auto endLine = [&] {
        if (!grouping || ++lineInParagraph == perParagraph)
            lineInParagraph = 0;
        *out++ = lineInParagraph == 0 ? u'\n' : char16_t(QChar::LineSeparator);
    };
    if (longest <= MaxBoxLine) {
        // Only grouping, in one tight pass: each CR LF becomes one separator.
        const char16_t* const end = text.utf16() + text.size();
        for (const char16_t* in = text.utf16(); in != end; ++in) {
            if (*in != u'\r') {
                *out++ = *in;
                continue;
            }
            if (in + 1 != end && in[1] == u'\n')
                ++in;
            endLine();
        }
        result.truncate(out - start);
        return result;
    }
    forEachLine(text, [&](QStringView line, bool last) {
        if (line.size() > MaxBoxLine) {
            // A long line takes whole paragraphs of its own.
            if (lineInParagraph != 0)
                out[-1] = u'\n';
            for (qsizetype at = 0; at < line.size(); at += MaxBoxLine) {
                put(line.sliced(at, std::min(MaxBoxLine, line.size() - at)));
                *out++ = u'\n';
            }
            lineInParagraph = 0;
            if (last)
                --out;
            return;
        }
        put(line);
        if (!last)
            endLine();
    });
    result.truncate(out - start);
    return result;
}

QString readDisplayText(const FileSystem& files, const QString& path, TrailingSpaces trailingSpaces)
{
    return displayText(files.readFile(path), trailingSpaces);
}
