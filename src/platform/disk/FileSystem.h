// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright the Tarvane developers

#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

// The file services the program uses. Every call raises PlatformError on
// failure. Paths are in the platform's native form; a path component that does
// not exist as spelled is matched against the entries of its folder without
// regard to ASCII case, as the game's home platform does.
class FileSystem
{
public:
    struct Copy
    {
        QString source;
        QString destination;
    };

    virtual ~FileSystem() = default;

    virtual QString currentDirectory() const = 0;
    virtual QChar separator() const = 0;

    // Entry names of a folder (hidden ones included, "." and ".." left out),
    // in the order the system returns them.
    virtual QStringList listDirectory(const QString& path) const = 0;

    // The whole content of a regular file. Anything else (a folder, a pipe, a
    // device) is refused at once rather than read, and so is a file larger
    // than the implementation's limit.
    virtual QByteArray readFile(const QString& path) const = 0;

    // Whether two regular files hold the same bytes. Only reads, and never
    // fails: a file that is missing, unreadable or not a regular file (a
    // folder, a pipe, a device) is simply not the same.
    virtual bool sameContent(const QString& a, const QString& b) const noexcept = 0;

    // Whether there is an entry at the path (a link is not followed). Never
    // fails: what cannot be looked at is not there.
    virtual bool exists(const QString& path) const noexcept = 0;

    // Copies every source over its destination, whole. The destinations lie
    // in one folder, and only their own entries there change: either all of
    // them are replaced by regular files or, on failure, none is.
    virtual void copyFiles(const QList<Copy>& copies) = 0;

    // Deletes the files, which lie in one folder, as one change: all of them
    // or, on failure, none. A missing file ends it there: the files before
    // it are still deleted (all of them or none), then the missing one is
    // reported.
    virtual void removeFiles(const QStringList& paths) = 0;

    // Finishes a copy or removal of these files (in one folder) that was cut
    // short by a crash or a power loss, as the next copy or removal would
    // before its own work: unless another program holds the folder's lock,
    // which this does not wait for. Where nothing was cut short, nothing
    // changes; a temporary that this user's Tarvane cannot have made stops
    // it, raised, before anything changes.
    virtual void finishInterruptedChange(const QStringList& paths) = 0;
};
