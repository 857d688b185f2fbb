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
#include <sys/fsuid.h>
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

// A set file or an entry, open to be copied, no more than `limit` bytes.
class PosixSource final : public ChangeFolder::Source
{
public:
    PosixSource(QByteArray path, qint64 limit) : path(std::move(path)), limit(limit) {}
    qint64 size() const override { return info.st_size; }

    QByteArray path;
    qint64 limit;
    struct stat info;
    FileDescriptor fd;
};

// A new file: made as `made`, or without a name while that is empty.
// Failures name the game file it is for.
class PosixFile final : public ChangeFolder::NewFile
{
public:
    FileDescriptor fd;
    QByteArray made, reported;
};

// Where a change of an owner or a mode fails because the volume keeps none
// (FAT, exFAT: every file has the owner and mode it was mounted with; some
// refuse, FUSE ones may not even know the call), there is nothing to give.
bool keepsNoneOf(int error)
{
    return error == ENOSYS || error == EOPNOTSUPP || error == EPERM;
}

// While it lives, the files this thread makes are `owner`'s from the start,
// where the process is root: the file system's user and group are each
// thread's own. (Making them, root may then do no more than the owner.)
class MadeAs
{
public:
    explicit MadeAs(const ChangeFolder::Facts& owner)
    {
        if (owner.owner.isEmpty() || ::geteuid() != 0)
            return;
        m_group = ::setfsgid(gid_t(owner.group.toUInt()));
        m_user = ::setfsuid(uid_t(owner.owner.toUInt()));
    }
    ~MadeAs()
    {
        if (m_user >= 0) {
            ::setfsuid(uid_t(m_user));
            ::setfsgid(gid_t(m_group));
        }
    }
    MadeAs(const MadeAs&) = delete;
    MadeAs& operator=(const MadeAs&) = delete;

private:
    int m_user = -1, m_group = -1;
};

// The folder holding the game files, opened once: every call names entries
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

    Facts look(const QString& entryName) const override
    {
        const QByteArray name = encodeFileName(entryName);
        struct statx st;
        if (::statx(fd(), name.constData(), AT_SYMLINK_NOFOLLOW | AT_EMPTY_PATH, STATX_BASIC_STATS,
                    &st) != 0) {
            if (errno == ENOENT)
                return {};
            failWithErrno(path(name));
        }
        const mode_t mode = st.stx_mode;
        Facts facts;
        facts.kind = S_ISREG(mode)   ? Kind::File
                     : S_ISLNK(mode) ? Kind::Link
                     : S_ISDIR(mode) ? Kind::Folder
                                     : Kind::Other;
        facts.links = int(st.stx_nlink);
        facts.id = QByteArray::number(st.stx_dev_major) + ':' +
                   QByteArray::number(st.stx_dev_minor) + ':' + QByteArray::number(st.stx_ino);
        facts.owner = QByteArray::number(st.stx_uid);
        facts.group = QByteArray::number(st.stx_gid);
        facts.mode = mode & 07777;
        facts.readOnly = S_ISREG(mode) && (mode & 0222) == 0;
        facts.othersMayWrite = !S_ISLNK(mode) && (mode & S_IWOTH) != 0;
        facts.unchangeable = (st.stx_attributes & (STATX_ATTR_APPEND | STATX_ATTR_IMMUTABLE)) != 0;
        return facts;
    }

    QStringList entries() const override
    {
        const int listing = ::openat(fd(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        const DirectoryStream dir(listing < 0 ? nullptr : ::fdopendir(listing), ::closedir);
        if (!dir && listing >= 0)
            ::close(listing);
        return entriesOf(dir, m_path);
    }

    // A regular file this process may write; the folder, one it may add
    // entries to. A link is replaced, never written.
    int refusal(const QString& entryName) const override
    {
        const QByteArray name = encodeFileName(entryName);
        struct stat st;
        if (!name.isEmpty() && (::fstatat(fd(), name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0 ||
                                !S_ISREG(st.st_mode)))
            return 0;
        if (::faccessat(fd(), name.isEmpty() ? "." : name.constData(),
                        name.isEmpty() ? W_OK | X_OK : W_OK, AT_EACCESS) == 0)
            return 0;
        return errno != 0 ? errno : EACCES;
    }

    User user() const override { return {{QByteArray::number(::geteuid())}, ::geteuid() == 0}; }

    QByteArray linkTarget(const QString& entryName) const override
    {
        const QByteArray name = encodeFileName(entryName);
        struct stat st;
        if (::fstatat(fd(), name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0)
            failWithErrno(path(name));
        return ::linkTarget(fd(), name.constData(), st, path(name));
    }

    bool sameBytes(const QString& a, const QString& b) const override
    {
        const auto source = [&](const QString& name) {
            return std::unique_ptr<PosixSource>(
                static_cast<PosixSource*>(openEntry(name).release()));
        };
        const auto one = source(a), other = source(b);
        const auto reader = [](const PosixSource& from) {
            return [&from](char* data, qsizetype size) {
                return readSome(from.fd.get(), data, size, from.path);
            };
        };
        return one->size() == other->size() && ::sameBytes(reader(*one), reader(*other));
    }

    std::unique_ptr<Source> openSource(const QString& sourcePath) const override
    {
        auto source =
            std::make_unique<PosixSource>(encodeFileName(sourcePath), LocalFileSystem::MaxReadSize);
        source->fd = ::openSource(source->path, source->info);
        return source;
    }

    std::unique_ptr<Source> openEntry(const QString& entryName) const override
    {
        const QByteArray name = encodeFileName(entryName);
        auto source = std::make_unique<PosixSource>(path(name), std::numeric_limits<qint64>::max());
        source->fd = openInput(fd(), name, source->path, source->info, O_NOFOLLOW);
        return source;
    }

    std::unique_ptr<NewFile> create(const QString& entryName, const QString& forEntry,
                                    const Facts& owner, quint32 mode) override
    {
        auto file = std::make_unique<PosixFile>();
        const QByteArray name = encodeFileName(entryName);
        file->reported = path(encodeFileName(forEntry));
        if (anonymousFiles) {
            file->fd =
                FileDescriptor(::openat(fd(), ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, mode_t(mode)));
            if (file->fd.get() < 0 && errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)
                failWithErrno(file->reported);
            anonymousFiles = file->fd.get() >= 0;
            if (anonymousFiles && !owner.owner.isEmpty() && ::geteuid() == 0 &&
                ::fchown(file->fd.get(), uid_t(owner.owner.toUInt()),
                         gid_t(owner.group.toUInt())) != 0 &&
                !keepsNoneOf(errno))
                failWithErrno(file->reported);
        }
        if (!anonymousFiles) {
            const MadeAs as(owner);
            file->fd = FileDescriptor(::openat(fd(), name.constData(),
                                               O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                                               mode_t(mode)));
            if (file->fd.get() < 0)
                failWithErrno(file->reported);
            file->made = name;
        }
        return file;
    }

    void createLink(const QByteArray& target, const QString& entryName, const Facts& owner) override
    {
        const QByteArray name = encodeFileName(entryName);
        const MadeAs as(owner);
        if (::symlinkat(target.constData(), fd(), name.constData()) != 0)
            failWithErrno(path(name));
    }

    // A set file that changed while it was copied (another program writing
    // it) is refused rather than installed half-written.
    void write(NewFile& to, Source& from) override
    {
        PosixFile& file = static_cast<PosixFile&>(to);
        PosixSource& source = static_cast<PosixSource&>(from);
        // Looked at again just before the copy: keeping the old pair changes
        // the change time of a set file that is a link to a game file, which
        // is no change of its content.
        if (::fstat(source.fd.get(), &source.info) != 0)
            failWithErrno(source.path);
        if (source.info.st_size > source.limit)
            fail(EFBIG, source.path);
        copyContent(source.fd.get(), file.fd.get(), source.info.st_size, source.limit, source.path,
                    file.reported);
        struct stat after;
        if (::fstat(source.fd.get(), &after) != 0)
            failWithErrno(source.path);
        if (after.st_size != source.info.st_size ||
            after.st_ctim.tv_sec != source.info.st_ctim.tv_sec ||
            after.st_ctim.tv_nsec != source.info.st_ctim.tv_nsec)
            fail(PlatformError::Failure::ChangedWhileCopied, source.path);
        // The copy keeps the source's modification time, as a copy on the
        // game's home platform does.
        const struct timespec times[2] = {{0, UTIME_OMIT}, source.info.st_mtim};
        if (::futimens(file.fd.get(), times) != 0)
            failWithErrno(file.reported);
    }

    // The owner where this process may give it, else at least the group,
    // and the mode (never set-user-ID, set-group-ID or sticky); where not
    // even the group can be given, the group gets no rights at all, as they
    // would go to another group than the old file's.
    void give(NewFile& to, const Facts& like) override
    {
        PosixFile& file = static_cast<PosixFile&>(to);
        const int out = file.fd.get();
        mode_t mode = like.mode & 0777;
        const gid_t group = gid_t(like.group.toUInt());
        if (::fchown(out, uid_t(like.owner.toUInt()), group) != 0) {
            if (errno != EPERM && !keepsNoneOf(errno))
                failWithErrno(file.reported);
            if (errno == EPERM && ::fchown(out, uid_t(-1), group) != 0) {
                if (errno != EPERM && !keepsNoneOf(errno))
                    failWithErrno(file.reported);
                mode &= ~mode_t(S_IRWXG);
            }
        }
        if (::fchmod(out, mode) != 0 && !keepsNoneOf(errno))
            failWithErrno(file.reported);
    }

    void syncData(NewFile& to) override
    {
        PosixFile& file = static_cast<PosixFile&>(to);
        if (::fsync(file.fd.get()) != 0)
            failWithErrno(file.reported);
    }

    void name(NewFile& to, const QString& entryName) override
    {
        PosixFile& file = static_cast<PosixFile&>(to);
        const QByteArray name = encodeFileName(entryName);
        if (file.made.isEmpty()) {
            if (!linkAnonymous(file.fd.get(), name))
                failWithErrno(file.reported);
        } else if (file.made != name &&
                   ::renameat(fd(), file.made.constData(), fd(), name.constData()) != 0) {
            failWithErrno(file.reported);
        }
        file.made = name;
    }

    // A file system without hard links (EPERM, EOPNOTSUPP), a file with too
    // many, or a link the system refuses (EPERM too: another user's file
    // where links are protected).
    bool link(const QString& entryName, const QString& linkName) override
    {
        const QByteArray name = encodeFileName(entryName);
        if (::linkat(fd(), name.constData(), fd(), encodeFileName(linkName).constData(), 0) == 0)
            return true;
        if (errno != EPERM && errno != EOPNOTSUPP && errno != EMLINK)
            failWithErrno(path(name));
        return false;
    }

    // A failure names the target, or the entry that was not there to move.
    void rename(const QString& from, const QString& to) override
    {
        const QByteArray source = encodeFileName(from), target = encodeFileName(to);
        if (::renameat(fd(), source.constData(), fd(), target.constData()) != 0)
            failWithErrno(path(errno == ENOENT ? source : target));
    }

    void remove(const QString& entryName, bool mustExist) override
    {
        const QByteArray name = encodeFileName(entryName);
        if (::unlinkat(fd(), name.constData(), 0) != 0 && (mustExist || errno != ENOENT))
            failWithErrno(path(name));
    }

    // A folder's own sync makes its renames and links durable; some file
    // systems cannot sync a folder at all, and say so with EINVAL.
    void sync() override
    {
        if (::fsync(fd()) != 0 && errno != EINVAL)
            failWithErrno(m_path);
    }

    // The lock is an open file description's lock on a file of the folder:
    // what a Windows program locks under Wine reaches Linux as this kind of
    // lock, so Tarvane.exe under Wine and a native Tarvane exclude each
    // other. The file is never followed, only made where there is none
    // (one a crash left is taken again), and only by a holder of the lock
    // removed, before it lets go.
    Lock lock(const QString& lockName, const Facts& owner) override
    {
        const QByteArray name = encodeFileName(lockName);
        for (int attempt = 0; attempt < 100; ++attempt) {
            FileDescriptor lock(
                ::openat(fd(), name.constData(), O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
            if (lock.get() < 0 && errno == ENOENT) {
                if (!makeLock(name, owner))
                    return Lock::Refused;
                continue;
            }
            if (lock.get() < 0 && (errno == EACCES || errno == EPERM || errno == EROFS ||
                                   errno == ELOOP || errno == EISDIR || errno == ENXIO))
                return Lock::Refused;
            struct stat held, named;
            if (lock.get() < 0 || ::fstat(lock.get(), &held) != 0)
                failWithErrno(path(name));
            if (!S_ISREG(held.st_mode))
                return Lock::Refused;
            struct flock range = {};
            range.l_type = F_WRLCK;
            range.l_len = 1;
            if (::fcntl(lock.get(), F_OFD_SETLK, &range) != 0) {
                if (errno == EAGAIN || errno == EACCES || errno == EINTR)
                    return Lock::Held;
                failWithErrno(path(name));
            }
            // A holder that let go removed it first: taken again, anew.
            if (::fstatat(fd(), name.constData(), &named, AT_SYMLINK_NOFOLLOW) == 0 &&
                sameEntry(named, held)) {
                m_lock = std::move(lock);
                m_lockName = name;
                return Lock::Taken;
            }
        }
        return Lock::Held;
    }

    // The file goes before the lock: a waiter that then gets the lock finds
    // the file no longer the folder's, and tries again.
    void unlock() override
    {
        const FileDescriptor lock = std::move(m_lock);
        struct stat held, named;
        if (lock.get() >= 0 && ::fstat(lock.get(), &held) == 0 &&
            ::fstatat(fd(), m_lockName.constData(), &named, AT_SYMLINK_NOFOLLOW) == 0 &&
            sameEntry(named, held) && ::unlinkat(fd(), m_lockName.constData(), 0) != 0)
            failWithErrno(path(m_lockName));
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

    // Names a file made without a name.
    bool linkAnonymous(int file, const QByteArray& name) const
    {
        const std::string self = "/proc/self/fd/" + std::to_string(file);
        return ::linkat(AT_FDCWD, self.c_str(), fd(), name.constData(), AT_SYMLINK_FOLLOW) == 0 ||
               ::linkat(file, "", fd(), name.constData(), AT_EMPTY_PATH) == 0;
    }

    // Makes the lock file, complete before it bears its name: owned, and
    // open to read and write for everyone who may write the folder (so no
    // one else can hold it), while it has none. Where the system makes no
    // file without a name (FAT, exFAT: which keep no owners or modes
    // either) it is made under its name, as its owner. False where this
    // process may make none; true where another was quicker.
    bool makeLock(const QByteArray& name, const Facts& owner)
    {
        struct stat folder;
        if (::fstat(fd(), &folder) != 0)
            failWithErrno(m_path);
        const mode_t writers = folder.st_mode & 0222, mode = writers | writers << 1;
        const auto refused = [](int error) {
            return error == EACCES || error == EPERM || error == EROFS;
        };
        FileDescriptor made(::openat(fd(), ".", O_TMPFILE | O_RDWR | O_CLOEXEC, 0600));
        const bool anonymous = made.get() >= 0;
        if (!anonymous && refused(errno))
            return false;
        if (anonymous) {
            if (!owner.owner.isEmpty() && ::geteuid() == 0 &&
                ::fchown(made.get(), uid_t(owner.owner.toUInt()), gid_t(owner.group.toUInt())) !=
                    0 &&
                !keepsNoneOf(errno))
                failWithErrno(path(name));
        } else {
            const MadeAs as(owner);
            made = FileDescriptor(::openat(
                fd(), name.constData(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode));
            if (made.get() < 0 && (errno == EEXIST || refused(errno)))
                return errno == EEXIST;
            if (made.get() < 0)
                failWithErrno(path(name));
        }
        if (::fchmod(made.get(), mode) != 0 && !keepsNoneOf(errno))
            failWithErrno(path(name));
        if (anonymous && !linkAnonymous(made.get(), name) && errno != EEXIST) {
            if (refused(errno))
                return false;
            failWithErrno(path(name));
        }
        return true;
    }

    FileDescriptor m_fd;
    QByteArray m_path;
    FileDescriptor m_lock;
    QByteArray m_lockName;
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
