// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright the Tarvane developers

// The changes of the game folder, the same on every system: each is one
// PairJournal change over the system's ChangeFolder.

#include "platform/disk/LocalFileSystem.h"

#include "platform/PlatformError.h"

#include <algorithm>
#include <cstring>

std::pair<QString, QStringList> LocalFileSystem::splitDestinations(const QStringList& paths) const
{
    QString folder;
    QStringList names;
    for (const QString& path : paths) {
        const auto [pathFolder, name] = splitPath(path);
        if (name.isEmpty() || name == u"." || name == u".." ||
            (!names.isEmpty() && pathFolder != folder) || names.contains(name, Qt::CaseInsensitive))
            throw PlatformError::of(PlatformError::Failure::InvalidArgument, path);
        folder = pathFolder;
        names.append(name);
    }
    return {folder, names};
}

void LocalFileSystem::copyFiles(const QList<Copy>& copies)
{
    if (copies.isEmpty())
        return;
    QStringList destinations, sources;
    for (const Copy& copy : copies) {
        destinations.append(copy.destination);
        sources.append(resolvePath(copy.source));
    }
    const auto [folder, names] = splitDestinations(destinations);
    PairJournal::copy(*openChangeFolder(folder), names, sources, m_waitNotice);
}

void LocalFileSystem::removeFiles(const QStringList& paths)
{
    if (paths.isEmpty())
        return;
    const auto [folder, names] = splitDestinations(paths);
    PairJournal::remove(*openChangeFolder(folder), names, m_waitNotice);
}

void LocalFileSystem::finishInterruptedChange(const QStringList& paths)
{
    if (paths.isEmpty())
        return;
    const auto [folder, names] = splitDestinations(paths);
    PairJournal::finishInterrupted(*openChangeFolder(folder), names);
}

// The size the system gave is a hint only: the file may grow while it is
// read. The buffer never grows past the limit and the one byte that shows
// the limit was passed.
QByteArray LocalFileSystem::readFile(const QString& path) const
{
    const auto input = openInput(path);
    if (input->size > MaxReadSize)
        throw PlatformError::of(PlatformError::Failure::TooLarge, input->path);
    QByteArray data(qsizetype(input->size) + 1, Qt::Uninitialized);
    qsizetype used = 0;
    for (qsizetype n = 1; n > 0; used += n) {
        if (used == data.size()) {
            if (used > MaxReadSize)
                throw PlatformError::of(PlatformError::Failure::TooLarge, input->path);
            data.resize(
                qsizetype(std::min(std::max<qint64>(qint64(used) * 2, 4096), MaxReadSize + 1)));
        }
        n = input->read(data.data() + used, data.size() - used);
    }
    data.truncate(used);
    return data;
}

// Tarvane installs no file over the read limit, and reads none.
bool LocalFileSystem::sameContent(const QString& a, const QString& b) const noexcept
{
    try {
        const auto one = openInput(a), other = openInput(b);
        return one->size <= MaxReadSize && sameBytes(*one, *other);
    } catch (...) {
        return false;
    }
}

// Compared chunk by chunk, small at first, so that files that differ early
// cost little.
bool LocalFileSystem::sameBytes(ChangeFolder::Source& a, ChangeFolder::Source& b)
{
    constexpr qsizetype LargestChunk = 64 * 1024;
    if (a.size != b.size)
        return false;
    const auto chunkA = std::make_unique_for_overwrite<char[]>(LargestChunk);
    const auto chunkB = std::make_unique_for_overwrite<char[]>(LargestChunk);
    for (qsizetype size = 4096;; size = std::min(size * 2, LargestChunk)) {
        const qsizetype n = a.read(chunkA.get(), size);
        if (b.read(chunkB.get(), size) != n ||
            std::memcmp(chunkA.get(), chunkB.get(), size_t(n)) != 0)
            return false;
        if (n < size)
            return true;
    }
}
