// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright the Tarvane developers

#include "platform/FileNames.h"
#include "platform/PlatformError.h"
#include "platform/disk/LocalFileSystem.h"
#include "platform/disk/WholeInputs.h"

#include <QDir>
#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <limits>
#include <memory>
#include <optional>
#include <string>
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

[[noreturn]] void fail(PlatformError::Failure failure, const QByteArray& path)
{
    throw PlatformError::of(failure, QDir::toNativeSeparators(decodeFileName(path)));
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

using DirectoryStream = std::unique_ptr<DIR, int (*)(DIR*)>;

DirectoryStream openDirectory(const QByteArray& path)
{
    return {::opendir(path.constData()), ::closedir};
}

// The names of a folder's entries, "." and ".." left out; failures name
// `path`.
QStringList entriesOf(const DirectoryStream& dir, const QByteArray& path)
{
    if (!dir)
        failWithErrno(path);
    QStringList names;
    for (;;) {
        errno = 0;
        const dirent* entry = ::readdir(dir.get());
        if (!entry) {
            if (errno != 0)
                failWithErrno(path);
            return names;
        }
        if (qstrcmp(entry->d_name, ".") != 0 && qstrcmp(entry->d_name, "..") != 0)
            names.append(decodeFileName(entry->d_name));
    }
}

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

// Opens a file the program reads, `name` in folder `dir` (AT_FDCWD for
// the working folder). A device is not even opened (opening one can have
// effects of its own); the check is repeated on the open file in case the
// entry was swapped in between. O_NONBLOCK keeps a pipe from holding the
// open; once the file is known to be regular, its reads block as they
// should. With O_NOFOLLOW, a link at `name` is refused. Where the caller
// `looked` already, `st` holds what stat() said of it. Failures name
// `path`.
FileDescriptor openInput(int dir, const QByteArray& name, const QByteArray& path, struct stat& st,
                         int flags = 0, bool looked = false)
{
    if (!looked &&
        ::fstatat(dir, name.constData(), &st, (flags & O_NOFOLLOW) ? AT_SYMLINK_NOFOLLOW : 0) != 0)
        failWithErrno(path);
    requireRegularFile(st, path);
    FileDescriptor fd(
        ::openat(dir, name.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC | flags));
    if (fd.get() < 0)
        failWithErrno(path);
    if (::fstat(fd.get(), &st) != 0)
        failWithErrno(path);
    requireRegularFile(st, path);
    // O_NONBLOCK is the only status flag it was opened with.
    if (::fcntl(fd.get(), F_SETFL, 0) != 0)
        failWithErrno(path);
    return fd;
}

// Opens an input at the path the program spells: as spelled where it is
// there, else as `resolve()` finds it with its components' case matched.
// `native` is the path it was opened at.
template <typename Resolve>
FileDescriptor openSpelled(const QString& path, struct stat& st, QByteArray& native,
                           Resolve resolve)
{
    native = encodeFileName(QDir::fromNativeSeparators(path));
    if (::stat(native.constData(), &st) == 0)
        return openInput(AT_FDCWD, native, native, st, 0, true);
    if (errno != ENOENT && errno != ENOTDIR)
        failWithErrno(native);
    native = resolve();
    return openInput(AT_FDCWD, native, native, st);
}

// What the link `name` in folder `dir` (or the link `dir` is, for "") says.
QByteArray linkTarget(int dir, const char* name, const struct stat& link, const QByteArray& path)
{
    // (Links of /proc say they are empty.)
    std::vector<char> target(std::max<size_t>(size_t(link.st_size), PATH_MAX) + 1);
    const ssize_t length = ::readlinkat(dir, name, target.data(), target.size());
    if (length < 0 || size_t(length) >= target.size())
        failWithErrno(path, ENAMETOOLONG);
    return QByteArray(target.data(), length);
}

// Opens a set file to copy into the game folder. A link of another user's
// (not this user's, nor root's) anywhere on the way is not followed: in a
// folder others may write to, it could lead to a private file of this
// user's, which the copy would make readable for all. The path is walked
// one component at a time, each link read from the entry that was checked.
FileDescriptor openSource(const QByteArray& path, struct stat& st)
{
    QList<QByteArray> rest = path.split('/');
    FileDescriptor at(::open(path.startsWith('/') ? "/" : ".", O_PATH | O_DIRECTORY | O_CLOEXEC));
    for (int links = 0; at.get() >= 0 && !rest.isEmpty();) {
        const QByteArray part = rest.takeFirst();
        if (part.isEmpty() || part == ".")
            continue;
        FileDescriptor entry(::openat(at.get(), part.constData(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
        if (entry.get() < 0 || ::fstat(entry.get(), &st) != 0)
            failWithErrno(path);
        if (!S_ISLNK(st.st_mode)) {
            if (rest.isEmpty())
                return openInput(at.get(), part, path, st, O_NOFOLLOW, true);
            at = std::move(entry);
            continue;
        }
        if ((st.st_uid != ::geteuid() && st.st_uid != 0) || ++links > 40)
            fail(links > 40 ? ELOOP : EACCES, path);
        const QByteArray next = linkTarget(entry.get(), "", st, path);
        rest = next.split('/') + rest;
        if (next.startsWith('/'))
            at = FileDescriptor(::open("/", O_PATH | O_DIRECTORY | O_CLOEXEC));
    }
    if (at.get() < 0)
        failWithErrno(path);
    fail(EISDIR, path);
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
// whole. More than `limit` bytes in all is refused. A failure names the file
// at fault: the source where it cannot be read or is too large, else the
// file being written.
void copyContent(int from, int to, qint64 size, qint64 limit, const QByteArray& source,
                 const QByteArray& destination)
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
        failWithErrno(destination);
    }
    std::vector<char> buffer(1024 * 1024);
    for (;;) {
        const ssize_t n =
            retryOnInterrupt([&] { return ::read(from, buffer.data(), buffer.size()); });
        if (n < 0)
            failWithErrno(source);
        if (n == 0)
            return;
        copied += n;
        if (copied > limit)
            fail(EFBIG, source);
        writeAll(to, buffer.data(), size_t(n), destination);
    }
}

bool sameEntry(const struct stat& a, const struct stat& b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

class PosixSource final : public ChangeFolder::Source
{
public:
    explicit PosixSource(const QByteArray& path) : path(path), fd(openSource(path, info)) {}
    qint64 size() const override { return info.st_size; }

    QByteArray path;
    struct stat info;
    FileDescriptor fd;
};

// The folder holding the game files, opened once: every step names entries
// relative to it, never following their links, so nothing leads outside it.
class PosixFolder final : public ChangeFolder
{
public:
    explicit PosixFolder(const QByteArray& path)
        : m_fd(::open(path.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)), m_path(path)
    {
        // A folder this user may write in but not read is told as such.
        if (m_fd.get() < 0 && errno == EACCES &&
            ::faccessat(AT_FDCWD, path.constData(), W_OK | X_OK, AT_EACCESS) == 0)
            fail(PlatformError::Failure::Unreadable, path);
        if (m_fd.get() < 0)
            failWithErrno(path);
    }

    // The lock file goes before the lock: a waiter that then gets the lock
    // finds the file no longer the folder's, and tries again.
    ~PosixFolder() override
    {
        if (m_lock.get() >= 0)
            ::unlinkat(fd(), LockName, 0);
    }

    // The lock is an open file description's lock on a file of the folder,
    // made for the change and removed at its end: what a Windows program
    // locks under Wine reaches Linux as this kind of lock, so Tarvane.exe
    // under Wine and a native Tarvane exclude each other. Only those who may
    // write the folder may open the file, so no one else can hold it. A
    // folder where it cannot be made (read-only, refused) needs no lock: no
    // change can be made there either, and the report is that change's.
    bool tryLock() override
    {
        struct stat folder, held, named;
        info(folder);
        const mode_t writers = folder.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH);
        const int flags = O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
        FileDescriptor lock(::openat(fd(), LockName, flags | O_CREAT | O_EXCL, 0600));
        const bool made = lock.get() >= 0;
        if (!made && errno == EEXIST)
            lock = FileDescriptor(::openat(fd(), LockName, flags));
        if (lock.get() < 0 && (errno == EACCES || errno == EROFS || errno == EPERM))
            return true;
        if (lock.get() < 0 || ::fstat(lock.get(), &held) != 0)
            failWithErrno(m_path);
        if (made &&
            ((::geteuid() == 0 && ::fchown(lock.get(), folder.st_uid, folder.st_gid) != 0) ||
             ::fchmod(lock.get(), writers | writers << 1) != 0))
            failWithErrno(m_path);
        struct flock range = {};
        range.l_type = F_WRLCK;
        range.l_len = 1;
        if (::fcntl(lock.get(), F_OFD_SETLK, &range) != 0) {
            if (errno == EAGAIN || errno == EACCES || errno == EINTR)
                return false;
            failWithErrno(m_path);
        }
        if (::fstatat(fd(), LockName, &named, AT_SYMLINK_NOFOLLOW) != 0 || !sameEntry(named, held))
            return false;
        m_lock = std::move(lock);
        return true;
    }

    Entry look(const QString& name) const override
    {
        struct stat st;
        if (!entry(encodeFileName(name), st))
            return {};
        const Kind kind = S_ISREG(st.st_mode)   ? Kind::File
                          : S_ISLNK(st.st_mode) ? Kind::Link
                                                : Kind::Other;
        // Root may link any file, and trusts a kept link of the game file's
        // owner; anyone else only their own.
        return {kind, st.st_nlink == 1 && (st.st_uid == ::geteuid() || ::geteuid() == 0)};
    }

    QStringList entries() const override
    {
        const int listing = ::openat(fd(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        const DirectoryStream dir(listing < 0 ? nullptr : ::fdopendir(listing), ::closedir);
        if (!dir && listing >= 0)
            ::close(listing);
        return entriesOf(dir, m_path);
    }

    // A temporary's name is known to anyone who can write the folder. Only
    // an entry that this user's Tarvane could have made is taken for one of
    // ours: a regular file with no other link, or kept, also a link; this
    // user's, or for root also one of the user who owns a game file or the
    // folder (who may change the game files anyway), whose files root keeps
    // and to whom it gives what it makes. A kept entry that is the game file itself, linked, is
    // ours whoever owns it. Anything else (another user's file, a folder, a
    // file linked in under another name) is left alone and stops the
    // change. One look at the entry, through a descriptor of its own,
    // decides.
    bool ownTrace(const QString& traceName, const QString& forEntry, Trace kind,
                  const QStringList& pair) const override
    {
        const QByteArray name = encodeFileName(traceName);
        const FileDescriptor trace(
            ::openat(fd(), name.constData(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
        struct stat st;
        if (trace.get() < 0 || ::fstat(trace.get(), &st) != 0)
            failWithErrno(path(name));
        struct stat game, folder;
        const bool hasGame = entry(encodeFileName(forEntry), game);
        const bool kept = kind == Trace::Kept;
        if (kept && S_ISREG(st.st_mode) && st.st_nlink == 2 && hasGame && sameEntry(game, st))
            return true;
        const bool ownKind = S_ISREG(st.st_mode) || (kept && S_ISLNK(st.st_mode));
        bool mine = st.st_uid == ::geteuid();
        if (!mine && ::geteuid() == 0) {
            info(folder);
            mine = st.st_uid == folder.st_uid;
            for (const QString& other : pair)
                mine = mine || (entry(encodeFileName(other), game) && st.st_uid == game.st_uid);
        }
        if (!ownKind || st.st_nlink != 1 || !mine)
            fail(EEXIST, path(name));
        return true;
    }

    // In a folder not marked append-only or immutable, not a folder, and not
    // a file that is read-only (for everyone, or for this process) or so
    // marked. Root is held to a read-only file as well, as the game's home
    // platform holds everyone.
    bool checkDestination(const QString& entryName, bool) const override
    {
        if (markedUnchangeable({}))
            fail(PlatformError::Failure::Unchangeable, m_path);
        const QByteArray name = encodeFileName(entryName);
        struct stat st;
        if (!entry(name, st))
            return false;
        if (S_ISDIR(st.st_mode))
            fail(PlatformError::Failure::AFolder, path(name));
        if (S_ISREG(st.st_mode)) {
            if (markedUnchangeable(name))
                fail(PlatformError::Failure::Unchangeable, path(name));
            if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0)
                fail(PlatformError::Failure::ReadOnly, path(name));
            if (::faccessat(fd(), name.constData(), W_OK, AT_EACCESS) != 0)
                failWithErrno(path(name), EACCES);
        }
        return true;
    }

    std::unique_ptr<Source> openSource(const QString& path) const override
    {
        return std::make_unique<PosixSource>(encodeFileName(path));
    }

    // Where the file system allows, the staged file has no name until it is
    // complete, so an interrupted copy leaves nothing behind. A failure
    // names the file at fault: the set file, or the game file replaced.
    void stage(const QString& entryName, const QString& stagedName, Source& from,
               bool& named) override
    {
        // Looked at again just before the copy: keeping the old pair changes
        // the change time of a set file that is a link to a game file, which
        // is no change of its content.
        PosixSource& source = static_cast<PosixSource&>(from);
        if (::fstat(source.fd.get(), &source.info) != 0)
            failWithErrno(source.path);
        if (source.info.st_size > LocalFileSystem::MaxReadSize)
            fail(EFBIG, source.path);
        const QByteArray name = encodeFileName(entryName);
        const QByteArray staged = encodeFileName(stagedName);
        const QByteArray game = path(name);
        struct stat oldInfo;
        const struct stat* old = entry(name, oldInfo) ? &oldInfo : nullptr;
        // A new game file gets the usual mode (0666 less the umask); a
        // replaced one its old file's, set below.
        const mode_t createMode = old && S_ISREG(old->st_mode) ? 0600 : 0666;
        FileDescriptor out;
        if (anonymousStaging) {
            out = FileDescriptor(::openat(fd(), ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, createMode));
            if (out.get() < 0 && errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)
                failWithErrno(game);
            anonymousStaging = out.get() >= 0;
        }
        if (!anonymousStaging) {
            out = FileDescriptor(::openat(fd(), staged.constData(),
                                          O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                                          createMode));
            if (out.get() < 0)
                failWithErrno(game);
            named = true;
        }

        copyContent(source.fd.get(), out.get(), source.info.st_size, LocalFileSystem::MaxReadSize,
                    source.path, game);
        // A set file that changed while it was copied (another program
        // writing it) is refused rather than installed half-written.
        struct stat after;
        if (::fstat(source.fd.get(), &after) != 0)
            failWithErrno(source.path);
        if (after.st_size != source.info.st_size ||
            after.st_ctim.tv_sec != source.info.st_ctim.tv_sec ||
            after.st_ctim.tv_nsec != source.info.st_ctim.tv_nsec)
            fail(PlatformError::Failure::ChangedWhileCopied, source.path);
        giveOwnerAndMode(out.get(), game, old);
        // The copy keeps the source's modification time, as a copy on the
        // game's home platform does.
        const struct timespec times[2] = {{0, UTIME_OMIT}, source.info.st_mtim};
        if (::futimens(out.get(), times) != 0)
            failWithErrno(game);
        if (::fsync(out.get()) != 0)
            failWithErrno(game);

        if (!named) {
            const std::string self = "/proc/self/fd/" + std::to_string(out.get());
            if (::linkat(AT_FDCWD, self.c_str(), fd(), staged.constData(), AT_SYMLINK_FOLLOW) !=
                    0 &&
                ::linkat(out.get(), "", fd(), staged.constData(), AT_EMPTY_PATH) != 0)
                failWithErrno(game);
            named = true;
        }
    }

    bool keepByLink(const QString& entryName, const QString& keptName) override
    {
        const QByteArray name = encodeFileName(entryName);
        if (::linkat(fd(), name.constData(), fd(), encodeFileName(keptName).constData(), 0) == 0)
            return true;
        // A file system without hard links (EPERM, EOPNOTSUPP), a file with
        // too many, or a link the system refuses (EPERM too: another user's
        // file where links are protected); a file marked append-only or
        // immutable never comes here. Each is kept by a copy.
        if (errno != EPERM && errno != EOPNOTSUPP && errno != EMLINK)
            failWithErrno(path(name));
        return false;
    }

    void keepByCopy(const QString& entryName, const QString& keptName, bool& named) override
    {
        const QByteArray name = encodeFileName(entryName);
        const QByteArray game = path(name);
        const FileDescriptor from(
            ::openat(fd(), name.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
        struct stat old;
        if (from.get() < 0 || ::fstat(from.get(), &old) != 0)
            failWithErrno(game);
        const FileDescriptor copy(::openat(fd(), encodeFileName(keptName).constData(),
                                           O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                                           0600));
        if (copy.get() < 0)
            failWithErrno(game);
        named = true;
        copyContent(from.get(), copy.get(), old.st_size, std::numeric_limits<qint64>::max(), game,
                    game);
        const struct timespec times[2] = {{0, UTIME_OMIT}, old.st_mtim};
        if ((::geteuid() == 0 && ::fchown(copy.get(), old.st_uid, old.st_gid) != 0) ||
            ::fchmod(copy.get(), old.st_mode & 0777) != 0 || ::futimens(copy.get(), times) != 0)
            failWithErrno(game);
        if (::fsync(copy.get()) != 0)
            failWithErrno(game);
    }

    bool keepByNewLink(const QString& entryName, const QString& keptName) override
    {
        const QByteArray name = encodeFileName(entryName);
        struct stat old;
        if (!entry(name, old))
            fail(ENOENT, path(name));
        const QByteArray target = linkTarget(fd(), name.constData(), old, path(name));
        if (::symlinkat(target.constData(), fd(), encodeFileName(keptName).constData()) != 0)
            failWithErrno(path(name));
        return true;
    }

    void markAbsent(const QString& markName) override
    {
        const QByteArray mark = encodeFileName(markName);
        const FileDescriptor made(::openat(
            fd(), mark.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
        if (made.get() < 0)
            failWithErrno(path(mark));
    }

    void rename(const QString& from, const QString& to) override
    {
        const QByteArray target = encodeFileName(to);
        if (::renameat(fd(), encodeFileName(from).constData(), fd(), target.constData()) != 0)
            failWithErrno(path(target));
    }

    void remove(const QString& entryName) override
    {
        const QByteArray name = encodeFileName(entryName);
        if (::unlinkat(fd(), name.constData(), 0) != 0)
            failWithErrno(path(name));
    }

    void discard(const QString& traceName) override
    {
        const QByteArray name = encodeFileName(traceName);
        if (::unlinkat(fd(), name.constData(), 0) != 0 && errno != ENOENT)
            failWithErrno(path(name));
    }

    // A folder's own sync makes its renames and links durable; some file
    // systems cannot sync a folder at all, and say so with EINVAL.
    void sync() override
    {
        if (::fsync(fd()) != 0 && errno != EINVAL)
            failWithErrno(m_path);
    }

    QString path(const QString& name) const override
    {
        return decodeFileName(path(encodeFileName(name)));
    }

private:
    int fd() const { return m_fd.get(); }
    QByteArray path(const QByteArray& name) const
    {
        return name.isEmpty() ? m_path : joined(m_path, name);
    }
    void info(struct stat& st) const
    {
        if (::fstat(fd(), &st) != 0)
            failWithErrno(m_path);
    }

    // Whether the entry (the folder itself for none) is marked append-only or
    // immutable, which not even root may replace or delete.
    bool markedUnchangeable(const QByteArray& name) const
    {
        struct statx marks;
        return ::statx(fd(), name.constData(), AT_SYMLINK_NOFOLLOW | AT_EMPTY_PATH, 0, &marks) ==
                   0 &&
               (marks.stx_attributes & (STATX_ATTR_APPEND | STATX_ATTR_IMMUTABLE)) != 0;
    }

    // The entry itself, links not followed; false when there is none.
    bool entry(const QByteArray& name, struct stat& st) const
    {
        if (::fstatat(fd(), name.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0)
            return true;
        if (errno != ENOENT)
            failWithErrno(path(name));
        return false;
    }

    // A replaced game file keeps its old file's owner where this process
    // may give it, else at least its group, and its mode (never set-user-ID,
    // set-group-ID or sticky); where not even the group can be kept, the
    // group gets no rights at all, as they would go to another group than
    // the old file's. A game file that root makes where there was none
    // belongs to the game folder's owner and group, so that the player can
    // replace it later.
    void giveOwnerAndMode(int out, const QByteArray& game, const struct stat* old) const
    {
        if (!old || !S_ISREG(old->st_mode)) {
            struct stat owner;
            if (::geteuid() != 0)
                return;
            info(owner);
            if (::fchown(out, owner.st_uid, owner.st_gid) != 0)
                failWithErrno(game);
            return;
        }
        mode_t mode = old->st_mode & 0777;
        if (::fchown(out, old->st_uid, old->st_gid) != 0) {
            if (errno != EPERM)
                failWithErrno(game);
            if (::fchown(out, uid_t(-1), old->st_gid) != 0) {
                if (errno != EPERM)
                    failWithErrno(game);
                mode &= ~mode_t(S_IRWXG);
            }
        }
        if (::fchmod(out, mode) != 0)
            failWithErrno(game);
    }

    static constexpr char LockName[] = ".tarvane-lock";
    FileDescriptor m_fd;
    QByteArray m_path;
    FileDescriptor m_lock;
};

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
    return entriesOf(openDirectory(native), native);
}

QByteArray LocalFileSystem::readFile(const QString& path) const
{
    struct stat st;
    QByteArray native;
    const FileDescriptor fd = openSpelled(path, st, native, [&] { return resolveNative(path); });
    return readWhole(
        st.st_size, MaxReadSize,
        [&](char* data, qsizetype size) { return readSome(fd.get(), data, size, native); },
        [&] { fail(EFBIG, native); });
}

bool LocalFileSystem::sameContent(const QString& a, const QString& b) const noexcept
{
    try {
        QByteArray pathA, pathB;
        struct stat infoA, infoB;
        const FileDescriptor fileA = openSpelled(a, infoA, pathA, [&] { return resolveNative(a); });
        const FileDescriptor fileB = openSpelled(b, infoB, pathB, [&] { return resolveNative(b); });
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

std::pair<QString, QString> LocalFileSystem::splitPath(const QString& path) const
{
    const QString resolved = resolvePath(path);
    const qsizetype slash = resolved.lastIndexOf(u'/');
    const QString folder =
        slash < 0 ? QStringLiteral(".") : (slash == 0 ? QStringLiteral("/") : resolved.left(slash));
    return {folder, resolved.mid(slash + 1)};
}

std::unique_ptr<ChangeFolder> openChangeFolder(const QString& path)
{
    return std::make_unique<PosixFolder>(encodeFileName(path));
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
    const DirectoryStream dir = openDirectory(folder);
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
