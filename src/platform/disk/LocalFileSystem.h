// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright the Tarvane developers

#pragma once

#include "platform/disk/FileSystem.h"
#include "platform/disk/PairJournal.h"

#include <QByteArray>
#include <QString>
#include <QtGlobal>
#include <memory>
#include <utility>

// The operating system's file services, for POSIX systems and for Windows.
// Errors carry the system's error number and its text. Every input must be
// a regular file, and is opened without blocking; a change of the game
// folder's pair is one PairJournal change, which replaces the entries of
// the game files, never following them, and nothing else.
class LocalFileSystem final : public FileSystem
{
public:
    // The largest file readFile takes: beyond any real airfield list,
    // read-me or preview, and small enough that even a text of one line this
    // long is shown promptly.
    static constexpr qint64 MaxReadSize = qint64(32) * 1024 * 1024;

    QString currentDirectory() const override;
    QChar separator() const override;
    QStringList listDirectory(const QString& path) const override;
    QByteArray readFile(const QString& path) const override;
    bool sameContent(const QString& a, const QString& b) const noexcept override;
    bool exists(const QString& path) const noexcept override;
    void copyFiles(const QList<Copy>& copies) override;
    void removeFiles(const QStringList& paths) override;
    void finishInterruptedChange(const QStringList& paths) override;

    void onWaitingForLock(WaitNotice notice) { m_waitNotice = std::move(notice); }

    // The path with each component that does not exist as spelled replaced by
    // the entry of its folder whose name differs only in ASCII case. The exact
    // spelling wins; of several such entries the one that sorts first by its
    // bytes is taken. A path that exists as spelled is returned without
    // listing any folder. (Windows ignores case itself: there the path comes
    // back in native form, its last name as the folder spells it.)
    QString resolvePath(const QString& path) const;

    // Whether two files of the same size hold the same bytes.
    static bool sameBytes(ChangeFolder::Source& a, ChangeFolder::Source& b);

    // How many folders path resolution has had to list so far.
    int resolutionScans() const { return m_resolutionScans; }

private:
    // Resolves the destinations, which must be distinct entries of one
    // folder, into that folder and their names.
    std::pair<QString, QStringList> splitDestinations(const QStringList& paths) const;
    // A full path's folder and name.
    std::pair<QString, QString> splitPath(const QString& path) const;
    // Opens a regular file to read, refusing anything else at once.
    std::unique_ptr<ChangeFolder::Source> openInput(const QString& path) const;

#ifndef _WIN32
    QByteArray resolveNative(const QString& path) const;
    QByteArray findIgnoringCase(const QByteArray& folder, const QByteArray& name) const;
#endif

    mutable int m_resolutionScans = 0;
    WaitNotice m_waitNotice;
};
