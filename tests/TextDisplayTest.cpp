// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright the Tarvane developers

#include "textview/TextDisplay.h"

#include "Fixtures.h"
#include "GTestSupport.h"
#include "SystemErrors.h"
#include "platform/disk/LocalFileSystem.h"

#include <QRegularExpression>
#include <QStringDecoder>
#include <string>
#ifdef _WIN32
#include <windows.h>
#endif
#include <cerrno>

namespace {

struct DisplayCase
{
    const char* name;
    QByteArray bytes;
    TrailingSpaces trailingSpaces;
    QString expected;
};

void PrintTo(const DisplayCase& c, std::ostream* out)
{
    *out << c.name;
}

class DisplayTextCases : public testing::TestWithParam<DisplayCase>
{};

} // namespace

TEST_P(DisplayTextCases, EveryLineEndsWithCrLf)
{
    const DisplayCase& c = GetParam();
    EXPECT_EQ(displayText(c.bytes, c.trailingSpaces), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, DisplayTextCases,
    testing::Values(
        DisplayCase{"ListDropsTrailingSpaces", "Caen   \r\nRouen", TrailingSpaces::Remove,
                    "Caen\r\nRouen\r\n"},
        DisplayCase{"ReadMeKeepsTrailingSpaces", "Caen   \r\nRouen\r\n", TrailingSpaces::Keep,
                    "Caen   \r\nRouen\r\n"},
        DisplayCase{"OnlyCode32Goes", "  Lille \t \r\n\t\r\n", TrailingSpaces::Remove,
                    "  Lille \t\r\n\t\r\n"},
        DisplayCase{"BlankLinesStay", "Caen\r\n\r\n   \r\nRouen\r\n", TrailingSpaces::Remove,
                    "Caen\r\n\r\n\r\nRouen\r\n"},
        DisplayCase{"LoneCrAndLoneLfEndLines", "a\rb\nc\r\n\rd\n\ne", TrailingSpaces::Keep,
                    "a\r\nb\r\nc\r\n\r\nd\r\n\r\ne\r\n"},
        DisplayCase{"LfCrIsTwoLineEnds", "a\n\rb", TrailingSpaces::Keep, "a\r\n\r\nb\r\n"},
        DisplayCase{"EmptyFileEmptyBox", "", TrailingSpaces::Remove, ""},
        DisplayCase{"SingleLineEndIsOneBlankLine", "\r", TrailingSpaces::Remove, "\r\n"},
        DisplayCase{"Windows1252",
                    "\xC9vreux\r\nD\xFCsseldorf\r\nStra\xDF"
                    "burg\r\n\x80 \x9C",
                    TrailingSpaces::Remove,
                    QString::fromUtf8("Évreux\r\nDüsseldorf\r\nStraßburg\r\n€ œ\r\n")},
        DisplayCase{"Utf8WithByteOrderMark", "\xEF\xBB\xBF\xC3\x89vreux  \nB\xC3\xA9ny",
                    TrailingSpaces::Remove, QString::fromUtf8("Évreux\r\nBény\r\n")},
        DisplayCase{"Utf8MarkInsideTheTextIsAChar", "\xEF\xBB\xBF\xEF\xBB\xBF",
                    TrailingSpaces::Remove, QString(QChar(0xFEFF)) + "\r\n"},
        DisplayCase{"Utf8CutShortKeepsItsLastLine",
                    "\xEF\xBB\xBF"
                    "a\n\xEF",
                    TrailingSpaces::Remove,
                    QString("a\r\n") + QChar(QChar::ReplacementCharacter) + "\r\n"},
        DisplayCase{"Utf8WithoutMarkAsNotepadSavesIt",
                    "Airfields of the front\r\n\xC3\x89vreux\r\nD\xC3\xBCsseldorf\r\n"
                    "Stra\xC3\x9F"
                    "burg\r\nC\xC5\x93uvres \xE2\x82\xAC",
                    TrailingSpaces::Remove,
                    QString::fromUtf8("Airfields of the front\r\nÉvreux\r\nDüsseldorf\r\n"
                                      "Straßburg\r\nCœuvres €\r\n")},
        DisplayCase{"Utf8ButForOneByteIsWindows1252", "\xC3\x89vreux \xE9", TrailingSpaces::Remove,
                    QString::fromUtf8("Ã‰vreux é\r\n")},
        DisplayCase{"BinaryBytesKeepTheirLines", QByteArray("a\0b\r\n\xFF\x81\x00", 8),
                    TrailingSpaces::Keep,
                    QString("a") + QChar(0) + "b\r\n" + QString::fromUtf8("ÿ") + QChar(0x81) +
                        QChar(0) + "\r\n"}),
    [](const testing::TestParamInfo<DisplayCase>& info) { return std::string(info.param.name); });

TEST(DisplayText, LargeListKeepsEveryLine)
{
    QByteArray bytes;
    for (int i = 0; i < 100000; ++i)
        bytes += "Airfield " + QByteArray::number(i) + (i % 3 ? "  \r\n" : "\n");
    const QString text = displayText(bytes, TrailingSpaces::Remove);
    EXPECT_EQ(text.count(u"\r\n"), 100000);
    EXPECT_TRUE(text.endsWith(u"Airfield 99999\r\n"));
    EXPECT_FALSE(text.contains(u" \r\n"));
}

TEST(DisplayText, ReadsThroughTheFileSystem)
{
    Scratch root;
    root.write("Workfiles/AxisActive1.txt", "Caen   \r\nRouen");
    LocalFileSystem files;
    EXPECT_EQ(
        readDisplayText(files, root.path("Workfiles/AxisActive1.txt"), TrailingSpaces::Remove),
        "Caen\r\nRouen\r\n");
    EXPECT_PLATFORM_ERROR(
        readDisplayText(files, root.path("Workfiles/AxisActive2.txt"), TrailingSpaces::Remove),
        SystemError::FileNotFound);
}

TEST(BoxText, LongLinesComeInPiecesAndLongListsInGroups)
{
    EXPECT_EQ(boxText("Caen\r\nRouen\r\n"), "Caen\r\nRouen\r\n");

    const QString piece(MaxBoxLine, u'x');
    EXPECT_EQ(boxText("a\r\n" + piece + piece + "y\r\nb\r\n"),
              "a\n" + piece + "\n" + piece + "\ny\nb\n");

    // A long list keeps every line, shown as a line of its own, in far
    // fewer paragraphs than lines.
    QString list;
    QString shown;
    for (int i = 1; i <= LinesBeforeGrouping + 1; ++i) {
        list += QString::number(i) + "\r\n";
        shown += QString::number(i) + "\n";
    }
    const QString grouped = boxText(list);
    EXPECT_EQ(QString(grouped).replace(QChar::LineSeparator, u'\n'), shown);
    EXPECT_LT(grouped.count(u'\n'), (LinesBeforeGrouping + 1) / 8);
    // A long line inside a grouped list ends the paragraph before it.
    EXPECT_TRUE(boxText("1\r\n" + list + piece + "z\r\n")
                    .endsWith(QString::number(LinesBeforeGrouping + 1) + "\n" + piece + "\nz\n"));
}

namespace {

// The code page as the system's own converter reads it: ICU through Qt on
// Linux, the system itself on Windows.
QString referenceWindows1252(const QByteArray& bytes)
{
#ifdef _WIN32
    const int length =
        MultiByteToWideChar(1252, 0, bytes.constData(), int(bytes.size()), nullptr, 0);
    std::wstring wide(size_t(length), L'\0');
    MultiByteToWideChar(1252, 0, bytes.constData(), int(bytes.size()), wide.data(), length);
    return QString::fromStdWString(wide);
#else
    QStringDecoder windows1252("windows-1252");
    EXPECT_TRUE(windows1252.isValid());
    return windows1252.decode(bytes);
#endif
}

} // namespace

TEST(DisplayText, EveryByteDecodesAsTheWindowsCodePage)
{
    for (int byte = 0; byte < 256; ++byte) {
        EXPECT_EQ(QChar(fromWindows1252(static_cast<unsigned char>(byte))),
                  referenceWindows1252(QByteArray(1, char(byte))).front())
            << "byte " << byte;
    }
}

TEST(DisplayText, LongTextMatchesAPlainDecodeLineByLine)
{
    // Every byte value, at every offset against the blocks the decoder takes
    // at a time, among line ends of all three kinds and trailing spaces.
    QByteArray bytes;
    for (int i = 0; i < 4000; ++i) {
        bytes += char(i * 7 % 256);
        if (i % 37 == 0)
            bytes += "  \r\n";
        else if (i % 53 == 0)
            bytes += '\r';
        else if (i % 41 == 0)
            bytes += " \n";
    }
    const QString decoded = referenceWindows1252(bytes);
    static const QRegularExpression lineEnd("\r\n|\r|\n");
    QStringList lines = decoded.split(lineEnd);
    if (lines.last().isEmpty())
        lines.removeLast();
    for (const TrailingSpaces mode : {TrailingSpaces::Keep, TrailingSpaces::Remove}) {
        QString expected;
        for (QString line : lines) {
            while (mode == TrailingSpaces::Remove && line.endsWith(u' '))
                line.chop(1);
            expected += line + "\r\n";
        }
        EXPECT_EQ(displayText(bytes, mode), expected);
    }
}
