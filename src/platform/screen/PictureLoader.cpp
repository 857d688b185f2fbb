// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright the Tarvane developers

#include "platform/screen/PictureLoader.h"

#include "platform/PlatformError.h"
#include "platform/disk/FileSystem.h"

#include <QBuffer>
#include <QImageReader>

QImage loadPicture(const FileSystem& files, const QString& path)
{
    QByteArray bytes = files.readFile(path);
    QBuffer buffer(&bytes);
    QImageReader reader(&buffer);
    QImage image = reader.read();
    if (image.isNull())
        throw PlatformError::of(PlatformError::Failure::InvalidData);
    return image;
}
