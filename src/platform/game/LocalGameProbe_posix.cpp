// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright the Tarvane developers

#include "platform/FileNames.h"
#include "platform/game/GameProbe.h"

#include <QByteArray>
#include <QDir>
#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The start of a file as text, up to `limit` bytes; empty if it cannot be
// read. For the small files of /proc.
QByteArray headOf(const QByteArray& path, qsizetype limit)
{
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return {};
    QByteArray head(limit, Qt::Uninitialized);
    qsizetype used = 0;
    while (used < limit) {
        const ssize_t n = ::read(fd, head.data() + used, size_t(limit - used));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        used += n;
    }
    ::close(fd);
    head.truncate(used);
    return head;
}

bool sameEntry(const struct stat& a, const struct stat& b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Whether `path` names a file in `folder`.
bool liesIn(const QByteArray& path, const struct stat& folder)
{
    const qsizetype slash = path.lastIndexOf('/');
    struct stat st;
    return slash >= 0 && ::stat(path.left(std::max<qsizetype>(slash, 1)).constData(), &st) == 0 &&
           sameEntry(st, folder);
}

// Wine shows a Windows program's command line as the process's own:
// "C:\EAW\EAW.exe -window", say.
bool startsWithAWindowsProgram(const QByteArray& commandLine)
{
    const QByteArray first = commandLine.left(commandLine.indexOf('\0')).toLower();
    const qsizetype end = first.indexOf(".exe");
    return end > 0 && (end + 4 == first.size() || first[end + 4] == ' ' || first[end + 4] == '"');
}

// Whether the process maps a program file (.exe) that lies in `folder`:
// Wine maps the Windows program it runs.
bool mapsAProgramIn(const QByteArray& process, const struct stat& folder)
{
    const QByteArray maps = headOf(process + "/maps", 4 * 1024 * 1024);
    for (const QByteArray& line : maps.split('\n')) {
        const qsizetype path = line.indexOf(" /");
        if (path >= 0 && line.toLower().endsWith(".exe") && liesIn(line.mid(path + 1), folder))
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

bool LocalGameProbe::windowsProgramRunsFrom(const QString& folder) const noexcept
{
    try {
        struct stat game;
        if (::stat(encodeFileName(QDir::fromNativeSeparators(folder)).constData(), &game) != 0)
            return false;
        const std::unique_ptr<DIR, int (*)(DIR*)> processes(::opendir("/proc"), ::closedir);
        if (!processes)
            return false;
        const QByteArray self = QByteArray::number(::getpid());
        while (const dirent* entry = ::readdir(processes.get())) {
            const QByteArray id(entry->d_name);
            if (id.isEmpty() || id == self ||
                !std::all_of(id.begin(), id.end(), [](char c) { return c >= '0' && c <= '9'; }))
                continue;
            const QByteArray process = "/proc/" + id;
            if (!startsWithAWindowsProgram(headOf(process + "/cmdline", 4096)))
                continue;
            struct stat started;
            if ((::stat(QByteArray(process + "/cwd").constData(), &started) == 0 &&
                 sameEntry(started, game)) ||
                mapsAProgramIn(process, game))
                return true;
        }
    } catch (...) {
    }
    return false;
}
