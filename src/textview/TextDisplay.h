#pragma once

#include <QByteArray>
#include <QString>

class FileSystem;

enum class TrailingSpaces { Keep, Remove };

// The text a display box shows for a text file's bytes: every line followed
// by CR LF. Lines end at CR LF, a lone CR or a lone LF. The bytes are
// Windows-1252, or UTF-8 when they start with a UTF-8 byte-order mark. With
// TrailingSpaces::Remove, spaces (code 32 only) at the end of each line go.
QString displayText(const QByteArray& bytes, TrailingSpaces trailingSpaces);

// Reads a text file whole and turns it into display text. Raises
// PlatformError when the file cannot be read.
QString readDisplayText(const FileSystem& files, const QString& path,
                        TrailingSpaces trailingSpaces);
