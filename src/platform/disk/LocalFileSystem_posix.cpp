// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright the Tarvane developers

#include "platform/disk/FileNames.h"
#include "platform/disk/LocalFileSystem.h"
#include "platform/disk/PlatformError.h"
#include "platform/disk/ReplaceTraces.h"
#include "platform/disk/WholeInputs.h"

#include <QDir>
#include <QElapsedTimer>
#include <QThread>
#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <optional>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

// Every failure names the file or folder it concerns, in native form.
[[noreturn]] void fail(int error, const QByteArray& path)
{
    throw PlatformError::fromSystem(error, QDir::toNativeSeparators(decodeFileName(path)));
}

[[noreturn]] void failWithErrno(const QByteArray& path, int fallback = EIO)
{
    fail(errno != 0 ? errno : fallback, path);
}

class FileDescriptor
{
public:
    explicit FileDescriptor(int fd = -1) : m_fd(fd) {}
    ~FileDescriptor()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    FileDescriptor(FileDescriptor&& other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}
    FileDescriptor& operator=(FileDescriptor&& other) noexcept
    {
        std::swap(m_fd, other.m_fd);
        return *this;
    }
    int get() const { return m_fd; }

private:
    int m_fd;
};

class DirectoryStream
{
public:
    explicit DirectoryStream(const QByteArray& path) : m_dir(::opendir(path.constData())) {}
    ~DirectoryStream()
    {
        if (m_dir)
            ::closedir(m_dir);
    }
    DirectoryStream(const DirectoryStream&) = delete;
    DirectoryStream& operator=(const DirectoryStream&) = delete;
    DIR* get() const { return m_dir; }

private:
    DIR* m_dir;
};

bool hasEntry(const QByteArray& path)
{
    struct stat st;
    return ::lstat(path.constData(), &st) == 0;
}

bool equalIgnoringAsciiCase(const char* a, const QByteArray& b)
{
    const auto fold = [](unsigned char c) { return (c >= 'A' && c <= 'Z') ? c + ('a' - 'A') : c; };
    qsizetype i = 0;
    for (; a[i] != '\0'; ++i) {
        if (i == b.size() || fold(a[i]) != fold(b[i]))
            return false;
    }
    return i == b.size();
}

QByteArray joined(const QByteArray& folder, const QByteArray& name)
{
    if (folder.isEmpty())
        return name;
    if (folder.endsWith('/'))
        return folder + name;
    return folder + '/' + name;
}

template <typename Call> auto retryOnInterrupt(Call call)
{
    for (;;) {
        const auto result = call();
        if (result >= 0 || errno != EINTR)
            return result;
    }
}

// Only a regular file has an end that comes without waiting. A folder is
// refused as the system refuses to read one; anything else (a pipe, a
// device, a socket) as an invalid argument.
void requireRegularFile(const struct stat& st, const QByteArray& path)
{
    if (!S_ISREG(st.st_mode))
        fail(S_ISDIR(st.st_mode) ? EISDIR : EINVAL, path);
}

// Opens a file the program reads. A device is not even opened (opening one
// can have effects of its own); the check is repeated on the open file in
// case the entry was swapped in between. O_NONBLOCK keeps a pipe from
// holding the open; once the file is known to be regular, its reads block
// as they should.
FileDescriptor openInput(const QByteArray& path, struct stat& st)
{
    if (::stat(path.constData(), &st) != 0)
        failWithErrno(path);
    requireRegularFile(st, path);
    FileDescriptor fd(::open(path.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (fd.get() < 0)
        failWithErrno(path);
    if (::fstat(fd.get(), &st) != 0)
        failWithErrno(path);
    requireRegularFile(st, path);
    const int flags = ::fcntl(fd.get(), F_GETFL);
    if (flags < 0 || ::fcntl(fd.get(), F_SETFL, flags & ~O_NONBLOCK) != 0)
        failWithErrno(path);
    return fd;
}

void writeAll(int fd, const char* data, size_t size, const QByteArray& path)
{
    while (size > 0) {
        const ssize_t n = retryOnInterrupt([&] { return ::write(fd, data, size); });
        if (n < 0)
            failWithErrno(path);
        if (n == 0)
            fail(ENOSPC, path);
        data += n;
        size -= size_t(n);
    }
}

// Reads up to `size` bytes; fewer only at the end of the file.
qsizetype readSome(int fd, char* data, qsizetype size, const QByteArray& path)
{
    qsizetype used = 0;
    while (used < size) {
        const ssize_t n =
            retryOnInterrupt([&] { return ::read(fd, data + used, size_t(size - used)); });
        if (n < 0)
            failWithErrno(path);
        if (n == 0)
            break;
        used += n;
    }
    return used;
}

// Copies `from` to `to`: `size` bytes, as the source said it holds, in the
// kernel where it can, then through a buffer to the source's end, so that a
// file whose size is not what its reads give (as on /proc) is still copied
// whole. More than `limit` bytes in all is refused. A failure names `path`,
// the file being copied to.
void copyContent(int from, int to, qint64 size, qint64 limit, const QByteArray& path)
{
    qint64 copied = 0;
    while (copied < size) {
        const ssize_t n = retryOnInterrupt([&] {
            return ::copy_file_range(from, nullptr, to, nullptr, size_t(size - copied), 0);
        });
        if (n > 0) {
            copied += n;
            continue;
        }
        if (n == 0 || errno == EXDEV || errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP ||
            errno == EBADF)
            break; // no further here: copy the rest through a buffer
        failWithErrno(path);
    }
    std::vector<char> buffer(1024 * 1024);
    for (;;) {
        const ssize_t n =
            retryOnInterrupt([&] { return ::read(from, buffer.data(), buffer.size()); });
        if (n < 0)
            failWithErrno(path);
        if (n == 0)
            return;
        copied += n;
        if (copied > limit)
            fail(EFBIG, path);
        writeAll(to, buffer.data(), size_t(n), path);
    }
}

void syncOrFail(int fd, const QByteArray& path)
{
    if (::fsync(fd) != 0)
        failWithErrno(path);
}

// A folder's own sync makes its renames and links durable; some file
// systems cannot sync a folder at all, and say so with EINVAL.
void syncFolder(int folder, const QByteArray& path)
{
    if (::fsync(folder) != 0 && errno != EINVAL)
        failWithErrno(path);
}

// How long a Load, Restore or Remove waits for another Tarvane (or anyone
// holding the game folder's lock) before it reports the folder in use.
constexpr int LockWaitMs = 3000;

// One folder holding the destinations, opened once: every later step names
// entries relative to it, so nothing can lead outside it, and its lock keeps
// a second Tarvane waiting until this one is done.
class DestinationFolder : public ReplaceTraces<DestinationFolder, QByteArray>
{
public:
    DestinationFolder(const QByteArray& path, const QList<QByteArray>& names)
        : ReplaceTraces(names), m_fd(::open(path.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)),
          m_path(path)
    {
        if (m_fd.get() < 0)
            failWithErrno(path);
        lock();
        recover();
    }

    int fd() const { return m_fd.get(); }
    QByteArray path(const QByteArray& name) const { return joined(m_path, name); }
    void sync() const { syncFolder(fd(), m_path); }

    // The entry itself, links not followed; false when there is none.
    bool entry(const QByteArray& name, struct stat& st) const
    {
        if (::fstatat(fd(), name.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0)
            return true;
        if (errno != ENOENT)
            failWithErrno(path(name));
        return false;
    }

    bool has(const QByteArray& name) const
    {
        struct stat st;
        return entry(name, st);
    }

    // A temporary's name is known to anyone who can write the folder. Only a
    // regular file of this user's is taken for one of ours; anything else
    // there (another user's file, a link, a folder) is left alone and
    // stops the change.
    bool ownTrace(const QByteArray& name) const
    {
        struct stat st;
        if (!entry(name, st))
            return false;
        if (!S_ISREG(st.st_mode) || st.st_uid != ::geteuid())
            fail(EEXIST, path(name));
        return true;
    }

    // A destination that may be replaced or deleted: not a folder, and not a
    // file that is read-only (for everyone, or for this process). Root is
    // held to a read-only file as well, as the game's home platform holds
    // everyone. Returns whether it is there.
    bool checkReplaceable(const QByteArray& name) const
    {
        struct stat st;
        if (!entry(name, st))
            return false;
        if (S_ISDIR(st.st_mode))
            fail(EISDIR, path(name));
        if (S_ISREG(st.st_mode)) {
            if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0)
                fail(EACCES, path(name));
            if (::faccessat(fd(), name.constData(), W_OK, AT_EACCESS) != 0)
                failWithErrno(path(name), EACCES);
        }
        return true;
    }

    void rename(const QByteArray& from, const QByteArray& to) const
    {
        if (::renameat(fd(), from.constData(), fd(), to.constData()) != 0)
            failWithErrno(path(to));
    }

    // Removes an entry of the folder; one that is already gone is fine.
    void discard(const QByteArray& name) const
    {
        if (::unlinkat(fd(), name.constData(), 0) != 0 && errno != ENOENT)
            failWithErrno(path(name));
    }

private:
    // Anyone who can read the folder can lock it: wait a while, not for ever.
    void lock() const
    {
        QElapsedTimer waited;
        waited.start();
        while (::flock(fd(), LOCK_EX | LOCK_NB) != 0) {
            if (errno != EWOULDBLOCK && errno != EINTR)
                failWithErrno(m_path);
            if (waited.elapsed() >= LockWaitMs)
                fail(EBUSY, m_path);
            QThread::msleep(20);
        }
    }

    FileDescriptor m_fd;
    QByteArray m_path;
};

// Splits resolved destination paths into their one folder and their names.
std::pair<QByteArray, QList<QByteArray>> splitDestinations(const QList<QByteArray>& paths)
{
    QByteArray folder;
    QList<QByteArray> names;
    for (const QByteArray& path : paths) {
        const qsizetype slash = path.lastIndexOf('/');
        const QByteArray pathFolder =
            slash < 0 ? QByteArray(".") : (slash == 0 ? QByteArray("/") : path.left(slash));
        const QByteArray name = path.mid(slash + 1);
        if (name.isEmpty() || name == "." || name == ".." ||
            (!names.isEmpty() && pathFolder != folder) || names.contains(name))
            fail(EINVAL, path);
        folder = pathFolder;
        names.append(name);
    }
    return {folder, names};
}

// Writes a source into a new, complete and synced file of the folder, under
// the staged name for destination i. Where the file system allows, the file
// has no name until it is complete, so an interrupted copy leaves nothing
// behind. A failure names the destination.
void stage(const DestinationFolder& folder, qsizetype i, int source, const struct stat& sourceInfo,
           const struct stat* old)
{
    const QByteArray& name = folder.names()[i];
    const QByteArray staged = DestinationFolder::staged(name);
    const QByteArray path = folder.path(name);
    // A new game file gets the usual mode (0666 less the umask); a replaced
    // one its old file's, set below.
    const bool replacing = old && S_ISREG(old->st_mode);
    const mode_t createMode = replacing ? 0600 : 0666;
    FileDescriptor out(::openat(folder.fd(), ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, createMode));
    const bool anonymous = out.get() >= 0;
    if (!anonymous) {
        if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)
            failWithErrno(path);
        out = FileDescriptor(::openat(folder.fd(), staged.constData(),
                                      O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                                      createMode));
        if (out.get() < 0)
            failWithErrno(path);
        folder.madeStaged(i);
    }

    copyContent(source, out.get(), sourceInfo.st_size, LocalFileSystem::MaxReadSize, path);
    // A replaced game file keeps its permissions (but never set-user-ID,
    // set-group-ID or sticky), and its owner where this process may give
    // it, else at least its group where this process may give that.
    if (replacing) {
        if (::fchown(out.get(), old->st_uid, old->st_gid) != 0) {
            if (errno != EPERM)
                failWithErrno(path);
            if (::fchown(out.get(), uid_t(-1), old->st_gid) != 0 && errno != EPERM)
                failWithErrno(path);
        }
        if (::fchmod(out.get(), old->st_mode & 0777) != 0)
            failWithErrno(path);
    }
    // The copy keeps the source's modification time, as a copy on the game's
    // home platform does.
    const struct timespec times[2] = {{0, UTIME_OMIT}, sourceInfo.st_mtim};
    if (::futimens(out.get(), times) != 0)
        failWithErrno(path);
    syncOrFail(out.get(), path);

    if (anonymous) {
        const std::string self = "/proc/self/fd/" + std::to_string(out.get());
        if (::linkat(AT_FDCWD, self.c_str(), folder.fd(), staged.constData(), AT_SYMLINK_FOLLOW) !=
                0 &&
            ::linkat(out.get(), "", folder.fd(), staged.constData(), AT_EMPTY_PATH) != 0)
            failWithErrno(path);
        folder.madeStaged(i);
    }
}

// Leaves an empty mark under the absent name of entry i.
void markAbsent(const DestinationFolder& folder, qsizetype i)
{
    const QByteArray& name = folder.names()[i];
    FileDescriptor mark(::openat(folder.fd(), DestinationFolder::absent(name).constData(),
                                 O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (mark.get() < 0)
        failWithErrno(folder.path(name));
    folder.madeKept(i, DestinationFolder::Kept::AbsentMark);
}

// Keeps the current entry i reachable under its kept name (or marks that
// there is none) until the replace is over.
void keep(const DestinationFolder& folder, qsizetype i)
{
    using D = DestinationFolder;
    const QByteArray& name = folder.names()[i];
    if (!folder.has(name))
        return markAbsent(folder, i);
    if (::linkat(folder.fd(), name.constData(), folder.fd(), D::kept(name).constData(), 0) == 0)
        return folder.madeKept(i, D::Kept::ByLink);
    // A file system without hard links (FAT, exFAT) moves the old entry
    // aside instead; until the staged file takes its place, the name is
    // missing rather than mixed, and a failure still puts it back.
    if (errno != EPERM && errno != EOPNOTSUPP && errno != EMLINK)
        failWithErrno(folder.path(name));
    folder.rename(name, D::kept(name));
    folder.madeKept(i, D::Kept::ByMove);
}

// The start of a file as text, up to `limit` bytes; empty if it cannot be
// read. For the small files of /proc.
QByteArray headOf(const QByteArray& path, qsizetype limit)
{
    const FileDescriptor fd(::open(path.constData(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0)
        return {};
    QByteArray head(limit, Qt::Uninitialized);
    try {
        head.truncate(readSome(fd.get(), head.data(), limit, path));
    } catch (const PlatformError&) {
        return {};
    }
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

// The working folder as the shell named it, as `pwd -L` gives it: $PWD, if
// it is an absolute path without "." or ".." that leads to the working
// folder itself. Through a link, it keeps the link's own place, so a
// library folder linked into a game folder belongs to that game folder.
std::optional<QByteArray> logicalWorkingFolder()
{
    const char* pwd = std::getenv("PWD");
    if (!pwd || pwd[0] != '/')
        return std::nullopt;
    const QByteArray path(pwd);
    for (const QByteArray& part : path.split('/')) {
        if (part == "." || part == "..")
            return std::nullopt;
    }
    struct stat named, current;
    if (::stat(pwd, &named) != 0 || ::stat(".", &current) != 0 || named.st_dev != current.st_dev ||
        named.st_ino != current.st_ino)
        return std::nullopt;
    return path;
}

} // namespace

QString LocalFileSystem::currentDirectory() const
{
    if (const std::optional<QByteArray> logical = logicalWorkingFolder())
        return decodeFileName(*logical);
    std::vector<char> buffer(4096);
    while (::getcwd(buffer.data(), buffer.size()) == nullptr) {
        if (errno != ERANGE)
            failWithErrno({});
        buffer.resize(buffer.size() * 2);
    }
    return decodeFileName(buffer.data());
}

QChar LocalFileSystem::separator() const
{
    return QDir::separator();
}

QStringList LocalFileSystem::listDirectory(const QString& path) const
{
    const QByteArray native = resolveNative(path);
    DirectoryStream dir(native);
    if (!dir.get())
        failWithErrno(native);
    QStringList names;
    for (;;) {
        errno = 0;
        const dirent* entry = ::readdir(dir.get());
        if (!entry) {
            if (errno != 0)
                failWithErrno(native);
            return names;
        }
        if (qstrcmp(entry->d_name, ".") != 0 && qstrcmp(entry->d_name, "..") != 0)
            names.append(decodeFileName(entry->d_name));
    }
}

QByteArray LocalFileSystem::readFile(const QString& path) const
{
    struct stat st;
    const QByteArray native = resolveNative(path);
    const FileDescriptor fd = openInput(native, st);
    return readWhole(
        st.st_size, MaxReadSize,
        [&](char* data, qsizetype size) { return readSome(fd.get(), data, size, native); },
        [&] { fail(EFBIG, native); });
}

bool LocalFileSystem::sameContent(const QString& a, const QString& b) const noexcept
{
    try {
        const QByteArray pathA = resolveNative(a);
        const QByteArray pathB = resolveNative(b);
        struct stat infoA, infoB;
        const FileDescriptor fileA = openInput(pathA, infoA);
        const FileDescriptor fileB = openInput(pathB, infoB);
        // Tarvane installs no file over the read limit, and reads none.
        if (infoA.st_size != infoB.st_size || infoA.st_size > MaxReadSize)
            return false;
        if (infoA.st_dev == infoB.st_dev && infoA.st_ino == infoB.st_ino)
            return true;
        return sameBytes(
            [&](char* data, qsizetype size) { return readSome(fileA.get(), data, size, pathA); },
            [&](char* data, qsizetype size) { return readSome(fileB.get(), data, size, pathB); });
    } catch (...) {
        return false;
    }
}

bool LocalFileSystem::exists(const QString& path) const noexcept
{
    try {
        return hasEntry(resolveNative(path));
    } catch (...) {
        return false;
    }
}

// Only Windows keeps copies of its own.
QString LocalFileSystem::virtualStore(const QString&) const noexcept
{
    return {};
}

bool LocalFileSystem::windowsProgramRunsFrom(const QString& folder) const noexcept
{
    try {
        struct stat game;
        if (::stat(resolveNative(folder).constData(), &game) != 0)
            return false;
        DirectoryStream processes("/proc");
        if (!processes.get())
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

void LocalFileSystem::copyFiles(const QList<Copy>& copies)
{
    if (copies.isEmpty())
        return;
    QList<QByteArray> destinations;
    for (const Copy& copy : copies)
        destinations.append(resolveNative(copy.destination));
    const auto [folderPath, names] = splitDestinations(destinations);
    const DestinationFolder folder(folderPath, names);

    // Every source is opened and checked before anything is written.
    std::vector<FileDescriptor> sources;
    std::vector<struct stat> sourceInfo(size_t(copies.size()));
    for (qsizetype i = 0; i < copies.size(); ++i) {
        const QByteArray source = resolveNative(copies[i].source);
        sources.push_back(openInput(source, sourceInfo[size_t(i)]));
        if (sourceInfo[size_t(i)].st_size > MaxReadSize)
            fail(EFBIG, source);
    }
    for (const QByteArray& name : names)
        folder.checkReplaceable(name);

    // Stage every new file in full, keep every old one but the last, and
    // make all of that durable before the first rename. Then one rename at
    // a time, each durable before the next: on a file system that writes a
    // folder's changes in any order, a power loss still leaves a state that
    // recovery knows. If a rename fails, those before it are undone.
    const qsizetype last = names.size() - 1;
    try {
        for (qsizetype i = 0; i <= last; ++i) {
            struct stat old;
            const bool hasOld = folder.entry(names[i], old);
            stage(folder, i, sources[size_t(i)].get(), sourceInfo[size_t(i)],
                  hasOld ? &old : nullptr);
        }
        for (qsizetype i = 0; i < last; ++i)
            keep(folder, i);
        folder.sync();
        for (qsizetype i = 0; i <= last; ++i) {
            folder.rename(DestinationFolder::staged(names[i]), names[i]);
            folder.renamedIntoPlace(i);
            if (i < last)
                folder.sync();
        }
    } catch (...) {
        folder.undo();
        throw;
    }
    folder.finish();
}

void LocalFileSystem::removeFiles(const QStringList& paths)
{
    if (paths.isEmpty())
        return;
    QList<QByteArray> resolved;
    for (const QString& path : paths)
        resolved.append(resolveNative(path));
    const auto [folderPath, names] = splitDestinations(resolved);
    const DestinationFolder folder(folderPath, names);
    for (const QByteArray& name : names) {
        if (!folder.checkReplaceable(name))
            fail(ENOENT, folder.path(name));
    }

    // All or none: the entries but the last are moved aside, and come back
    // if the last cannot be deleted. The absent mark for the last entry says,
    // while that entry is there, that the removal has not happened.
    const qsizetype last = names.size() - 1;
    try {
        markAbsent(folder, last);
        folder.sync();
        for (qsizetype i = 0; i < last; ++i) {
            folder.rename(names[i], DestinationFolder::kept(names[i]));
            folder.madeKept(i, DestinationFolder::Kept::ByMove);
        }
        folder.sync();
        if (::unlinkat(folder.fd(), names[last].constData(), 0) != 0)
            failWithErrno(folder.path(names[last]));
    } catch (...) {
        folder.undo();
        throw;
    }
    folder.finish();
}

QString LocalFileSystem::resolvePath(const QString& path) const
{
    return decodeFileName(resolveNative(path));
}

QByteArray LocalFileSystem::resolveNative(const QString& path) const
{
    const QByteArray spelled = encodeFileName(QDir::fromNativeSeparators(path));
    if (spelled.isEmpty() || hasEntry(spelled))
        return spelled;

    QByteArray resolved = spelled.startsWith('/') ? QByteArray("/") : QByteArray();
    bool found = true; // false once a component exists in no spelling
    for (const QByteArray& part : spelled.split('/')) {
        if (part.isEmpty())
            continue;
        const QByteArray asSpelled = joined(resolved, part);
        if (!found || part == "." || part == ".." || hasEntry(asSpelled)) {
            resolved = asSpelled;
            continue;
        }
        const QByteArray match = findIgnoringCase(resolved.isEmpty() ? "." : resolved, part);
        found = !match.isEmpty();
        resolved = found ? joined(resolved, match) : asSpelled;
    }
    if (spelled.endsWith('/') && !resolved.endsWith('/'))
        resolved += '/';
    return resolved;
}

QByteArray LocalFileSystem::findIgnoringCase(const QByteArray& folder, const QByteArray& name) const
{
    ++m_resolutionScans;
    DirectoryStream dir(folder);
    if (!dir.get())
        return {};
    QByteArray best;
    while (const dirent* entry = ::readdir(dir.get())) {
        if (equalIgnoringAsciiCase(entry->d_name, name) &&
            (best.isEmpty() || qstrcmp(entry->d_name, best.constData()) < 0))
            best = entry->d_name;
    }
    return best;
}
