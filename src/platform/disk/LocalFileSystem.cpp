// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright the Tarvane developers

// The changes of the game folder, the same on every system: each is one
// PairJournal change over the system's ChangeFolder.

#include "platform/disk/LocalFileSystem.h"

#include "platform/PlatformError.h"

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
