#pragma once

#include "platform/FileSystem.h"

#include <QtGlobal>

// The operating system's file services. Errors carry errno and its text.
class LocalFileSystem final : public FileSystem
{
public:
    // The largest file readFile takes: far beyond any airfield list or
    // read-me, small enough that a stray huge file cannot exhaust memory.
    static constexpr qint64 MaxReadSize = qint64(256) * 1024 * 1024;

    QString currentDirectory() const override;
    QChar separator() const override;
    QStringList listDirectory(const QString& path) const override;
    QByteArray readFile(const QString& path) const override;
    void copyFiles(const QList<Copy>& copies) override;
    void removeFile(const QString& path) override;

    // The path with each component that does not exist as spelled replaced by
    // the entry of its folder whose name differs only in ASCII case. The exact
    // spelling wins; of several such entries the one that sorts first by its
    // bytes is taken. A path that exists as spelled is returned without
    // listing any folder.
    QString resolvePath(const QString& path) const;

    // How many folders path resolution has had to list so far.
    int resolutionScans() const { return m_resolutionScans; }

private:
    QByteArray resolveNative(const QString& path) const;
    QByteArray findIgnoringCase(const QByteArray& folder, const QByteArray& name) const;

    mutable int m_resolutionScans = 0;
};
