// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright the Tarvane developers

#pragma once

// Stand-ins for the platform's services: message boxes and the program's end
// that record instead of acting, and the real file system as a program
// started in a chosen directory sees it.

#include "platform/PlatformError.h"
#include "platform/disk/FileSystem.h"
#include "platform/disk/LocalFileSystem.h"
#include "platform/screen/MessageBoxes.h"
#include "platform/screen/ProgramExit.h"

#include <QList>
#include <QString>
#include <optional>

struct ShownMessage
{
    QString title;
    QString text;
    MessageIcon icon;
};

// Remembers the message boxes instead of showing them.
class RecordingMessageBoxes final : public MessageBoxes
{
public:
    void showMessage(const QString& title, const QString& text, MessageIcon icon) override
    {
        shown.append({title, text, icon});
    }
    QList<ShownMessage> shown;
};

// Remembers that the program was told to end, and lets the caller go on.
class RecordingExit final : public ProgramExit
{
public:
    void endProgram(int status) override { statuses.append(status); }
    bool ended() const { return !statuses.isEmpty(); }
    QList<int> statuses;
};

// The real file system, as seen by a program started in a chosen directory.
class StartedIn : public FileSystem
{
public:
    explicit StartedIn(QString directory) : m_directory(std::move(directory)) {}
    QString currentDirectory() const override { return m_directory; }
    QChar separator() const override { return m_local.separator(); }
    QStringList listDirectory(const QString& path) const override
    {
        return m_local.listDirectory(path);
    }
    QByteArray readFile(const QString& path) const override { return m_local.readFile(path); }
    bool sameContent(const QString& a, const QString& b) const noexcept override
    {
        return m_local.sameContent(a, b);
    }
    bool exists(const QString& path) const noexcept override { return m_local.exists(path); }
    void copyFiles(const QList<Copy>& copies) override
    {
        if (failure)
            throw *failure;
        m_local.copyFiles(copies);
    }
    void removeFiles(const QStringList& paths) override
    {
        if (failure)
            throw *failure;
        m_local.removeFiles(paths);
    }
    void finishInterruptedChange(const QStringList& paths) override
    {
        m_local.finishInterruptedChange(paths);
    }
    void onWaitingForLock(WaitNotice notice) { m_local.onWaitingForLock(std::move(notice)); }

    // Where set, what every change raises in place of its work.
    std::optional<PlatformError> failure;

private:
    QString m_directory;
    LocalFileSystem m_local;
};
