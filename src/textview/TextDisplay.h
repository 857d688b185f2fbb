// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright the Tarvane developers

#pragma once

#include <QByteArray>
#include <QString>

class FileSystem;

enum class TrailingSpaces { Keep, Remove };

// The text a display box shows for a text file's bytes: every line followed
// by CR LF. Lines end at CR LF, a lone CR or a lone LF. The bytes are
// UTF-8 when they start with a UTF-8 byte-order mark, or are valid UTF-8 and
// not all ASCII; Windows-1252 otherwise. With TrailingSpaces::Remove,
// spaces (code 32 only) at the end of each line go.
QString displayText(const QByteArray& bytes, TrailingSpaces trailingSpaces);

// One byte of the Windows code page the lists and read-mes are written in.
char16_t fromWindows1252(unsigned char byte);

// What a display box is given for display text, so that no text within the
// read limit holds the window: Qt's text box lays out a paragraph at a time,
// at a cost that grows with the square of a paragraph's length when it has
// nowhere to wrap, and at a few microseconds a paragraph.
// - A line longer than MaxBoxLine characters is shown in pieces of that
//   length, one below the other; nothing of it is lost.
// - Past LinesBeforeGrouping lines, LinesPerParagraph lines share one
//   paragraph, joined by line separators; they show as separate lines. A
//   list so long that this makes more than MaxBoxParagraphs paragraphs has
//   as many more lines in each as keep it to that many.
// Text with neither comes back as it is. Line ends come back as "\n".
inline constexpr qsizetype MaxBoxLine = 1024;
inline constexpr qsizetype LinesBeforeGrouping = 20000;
inline constexpr int LinesPerParagraph = 16;
inline constexpr qsizetype MaxBoxParagraphs = 16384;
QString boxText(const QString& displayText);

// Reads a text file whole and turns it into display text. Raises
// PlatformError when the file cannot be read.
QString readDisplayText(const FileSystem& files, const QString& path,
                        TrailingSpaces trailingSpaces);
