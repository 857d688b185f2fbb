// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright the Tarvane developers

#pragma once

#include <QImage>
#include <QString>

class FileSystem;

// Reads and decodes a picture file (JPEG for the set previews). A missing or
// unreadable file raises PlatformError with the system's error; a file that
// is not a picture raises it as an invalid argument.
QImage loadPicture(const FileSystem& files, const QString& path);
