// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright the Tarvane developers

#include "platform/FileNames.h"
#include "platform/disk/LocalFileSystem.h"
#include "platform/game/GameProbe.h"

#include <QByteArray>
#include <QDir>
#include <QElapsedTimer>
#include <algorithm>
#include <climits>
#include <cstdlib>
#include <dirent.h>
#include <memory>
#include <unistd.h>

namespace {

// The text of a small file of /proc; empty where it cannot be read (the
// process ended, or is another user's).
QByteArray procText(const QByteArray& path) noexcept
{
    try {
        return LocalFileSystem().readFile(decodeFileName(path));
    } catch (...) {
        return {};
    }
}

// Wine shows a Windows program's command line as the process's own:
// "C:\EAW\EAW.exe -window", say; the game may lie in a folder whose name
// holds ".exe" too.
bool startsWithAWindowsProgram(const QByteArray& commandLine)
{
    const QByteArray first = commandLine.left(commandLine.indexOf('\0')).toLower();
    for (qsizetype end = first.indexOf(".exe"); end > 0; end = first.indexOf(".exe", end + 1)) {
        if (end + 4 == first.size() || first[end + 4] == ' ' || first[end + 4] == '"')
            return true;
    }
    return false;
}

// Whether the process maps a program file (.exe) from the folder `game`
// (its real path), as Wine maps the Windows program it runs: not one named
// Tarvane.exe, and not the process's own program (a Linux program named
// setup.exe). Only the texts /proc gives are read, never a path of the
// process's looked at, so a stopped file system under it cannot hold the
// look.
bool mapsAProgramIn(const QByteArray& process, const QByteArray& game)
{
    char self[PATH_MAX];
    const ssize_t length = ::readlink(QByteArray(process + "/exe").constData(), self, sizeof self);
    const QByteArray exe = length > 0 ? QByteArray(self, length) : QByteArray();
    const QByteArray maps = procText(process + "/maps");
    for (const QByteArray& line : maps.split('\n')) {
        const qsizetype path = line.indexOf(" /");
        const QByteArray file = path < 0 ? QByteArray() : line.mid(path + 1);
        const qsizetype slash = file.lastIndexOf('/');
        if (file.toLower().endsWith(".exe") && file != exe && file.left(slash) == game &&
            file.mid(slash + 1).toLower() != "tarvane.exe")
            return true;
    }
    return false;
}

} // namespace

// Only Windows keeps copies of its own.
QString LocalGameProbe::virtualStore(const QString&) const noexcept
{
    return {};
}

// A running Windows program counts where its program file lies in the game
// folder, however it was started. The look ends after a second however
// many processes there are.
bool LocalGameProbe::windowsProgramRunsFrom(const QString& folder) const noexcept
{
    try {
        char real[PATH_MAX];
        if (!::realpath(encodeFileName(QDir::fromNativeSeparators(folder)).constData(), real))
            return false;
        const std::unique_ptr<DIR, int (*)(DIR*)> processes(::opendir("/proc"), ::closedir);
        if (!processes)
            return false;
        const QByteArray self = QByteArray::number(::getpid());
        QElapsedTimer spent;
        spent.start();
        while (const dirent* entry = ::readdir(processes.get())) {
            const QByteArray id(entry->d_name);
            if (spent.elapsed() > 1000)
                break;
            if (id.isEmpty() || id == self ||
                !std::all_of(id.begin(), id.end(), [](char c) { return c >= '0' && c <= '9'; }))
                continue;
            const QByteArray process = "/proc/" + id;
            if (startsWithAWindowsProgram(procText(process + "/cmdline")) &&
                mapsAProgramIn(process, real))
                return true;
        }
    } catch (...) {
    }
    return false;
}
