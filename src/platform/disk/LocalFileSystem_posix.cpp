// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright the Tarvane developers

#include "platform/FileNames.h"
#include "platform/PlatformError.h"
#include "platform/disk/LocalFileSystem.h"

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
QString shown(const QByteArray& path)
{
    return QDir::toNativeSeparators(decodeFileName(path));
}

[[noreturn]] void fail(int error, const QByteArray& path)
{
    throw PlatformError::fromSystem(error, shown(path));
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
    return folder.endsWith('/') ? QByteArray(folder + name) : QByteArray(folder + '/' + name);
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

// A file the program reads: a set file, a list, an entry to keep as a copy.
class PosixSource final : public ChangeFolder::Source
{
public:
    PosixSource(QByteArray native, qint64 limit) : native(std::move(native)), limit(limit)
    {
        path = shown(this->native);
    }
    qsizetype read(char* data, qsizetype wanted) override
    {
        return readSome(fd.get(), data, wanted, native);
    }

    QByteArray native;
    qint64 limit;
    struct stat info;
    FileDescriptor fd;
};

// Opens `name` in folder `dir` (AT_FDCWD: the working folder) as `source`.
// A device is not even opened (that can have effects of its own); the
// check is repeated on the open file, in case the entry was swapped.
// O_NONBLOCK keeps a pipe from holding the open. Where the caller `looked`,
// the source's info holds what stat() said.
std::unique_ptr<PosixSource> openInput(int dir, const QByteArray& name,
                                       std::unique_ptr<PosixSource> source, int flags = 0,
                                       bool looked = false)
{
    struct stat& st = source->info;
    if (!looked &&
        ::fstatat(dir, name.constData(), &st, (flags & O_NOFOLLOW) ? AT_SYMLINK_NOFOLLOW : 0) != 0)
        failWithErrno(source->native);
    requireRegularFile(st, source->native);
    source->fd = FileDescriptor(
        ::openat(dir, name.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC | flags));
    if (source->fd.get() < 0 || ::fstat(source->fd.get(), &st) != 0)
        failWithErrno(source->native);
    requireRegularFile(st, source->native);
    // O_NONBLOCK is the only status flag it was opened with.
    if (::fcntl(source->fd.get(), F_SETFL, 0) != 0)
        failWithErrno(source->native);
    source->size = st.st_size;
    return source;
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
std::unique_ptr<PosixSource> openSource(std::unique_ptr<PosixSource> source)
{
    const QByteArray path = source->native;
    struct stat& st = source->info;
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
                return openInput(at.get(), part, std::move(source), O_NOFOLLOW, true);
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

// Copies `size` bytes, as the source said it holds, in the kernel where it
// can, then through a buffer to the source's end (so that a file whose
// size is not what its reads give, as on /proc, is copied whole); more than
// `limit` in all is refused. A failure names the file at fault.
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
        for (ssize_t done = 0, w = 0; done < n; done += w) {
            w = retryOnInterrupt(
                [&] { return ::write(to, buffer.data() + done, size_t(n - done)); });
            if (w <= 0)
                fail(w < 0 ? errno : ENOSPC, destination);
        }
    }
}

bool sameEntry(const struct stat& a, const struct stat& b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// A new file: made as `made`, or without a name while that is empty.
// Failures name the game file it is for.
class PosixFile final : public ChangeFolder::NewFile
{
public:
    FileDescriptor fd;
    QByteArray made, reported;
};

// A volume that keeps no owners or modes (FAT, exFAT) refuses a change of
// them, or does not know the call (FUSE): there is nothing to give.
bool keepsNoneOf(int error)
{
    return error == ENOSYS || error == EOPNOTSUPP || error == EPERM;
}

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
            throw PlatformError::of(PlatformError::Failure::Unreadable, shown(path));
        if (m_fd.get() < 0)
            failWithErrno(path);
        user = {{QByteArray::number(::geteuid())}, ::geteuid() == 0};
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
        if (S_ISLNK(mode)) {
            struct stat link = {};
            link.st_size = off_t(st.stx_size);
            facts.target = linkTarget(fd(), name.constData(), link, path(name));
        }
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

    std::unique_ptr<Source> openSource(const QString& sourcePath) const override
    {
        return ::openSource(std::make_unique<PosixSource>(encodeFileName(sourcePath),
                                                          LocalFileSystem::MaxReadSize));
    }

    std::unique_ptr<Source> openEntry(const QString& entryName) const override
    {
        const QByteArray name = encodeFileName(entryName);
        return openInput(
            fd(), name,
            std::make_unique<PosixSource>(path(name), std::numeric_limits<qint64>::max()),
            O_NOFOLLOW);
    }

    // Root gives what it makes away while it has no name, or else at once
    // (only a network volume keeps owners yet makes no file without one).
    std::unique_ptr<NewFile> create(const QString& entryName, const QString& forEntry,
                                    const Facts& owner, quint32 mode) override
    {
        auto file = std::make_unique<PosixFile>();
        const QByteArray name = encodeFileName(entryName);
        file->reported = path(encodeFileName(forEntry));
        if (anonymousFiles) {
            file->fd = FileDescriptor(::openat(fd(), ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, mode));
            if (file->fd.get() < 0 && errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)
                failWithErrno(file->reported);
            anonymousFiles = file->fd.get() >= 0;
        }
        if (!anonymousFiles) {
            file->fd = FileDescriptor(::openat(fd(), name.constData(),
                                               O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                                               mode));
            if (file->fd.get() < 0)
                failWithErrno(file->reported);
            file->made = name;
        }
        if (givenAway(owner) &&
            ::fchown(file->fd.get(), uid_t(owner.owner.toUInt()), gid_t(owner.group.toUInt())) !=
                0 &&
            !keepsNoneOf(errno))
            failWithErrno(file->reported);
        return file;
    }

    void createLink(const QByteArray& target, const QString& entryName, const Facts& owner) override
    {
        const QByteArray name = encodeFileName(entryName);
        if (::symlinkat(target.constData(), fd(), name.constData()) != 0 ||
            (givenAway(owner) && ::fchownat(fd(), name.constData(), uid_t(owner.owner.toUInt()),
                                            gid_t(owner.group.toUInt()), AT_SYMLINK_NOFOLLOW) != 0))
            failWithErrno(path(name));
    }

    // A set file that changed while it was copied (another program writing
    // it) is refused rather than installed half-written.
    void write(NewFile& to, Source& from) override
    {
        PosixFile& file = static_cast<PosixFile&>(to);
        PosixSource& source = static_cast<PosixSource&>(from);
        // Looked at again now: keeping the old pair changes the change time
        // of a set file linked to a game file, which is no change of it.
        struct stat before, after;
        if (::fstat(source.fd.get(), &before) != 0)
            failWithErrno(source.native);
        if (before.st_size > source.limit)
            fail(EFBIG, source.native);
        copyContent(source.fd.get(), file.fd.get(), before.st_size, source.limit, source.native,
                    file.reported);
        if (::fstat(source.fd.get(), &after) != 0)
            failWithErrno(source.native);
        if (after.st_size != before.st_size || after.st_ctim.tv_sec != before.st_ctim.tv_sec ||
            after.st_ctim.tv_nsec != before.st_ctim.tv_nsec)
            throw PlatformError::of(PlatformError::Failure::ChangedWhileCopied, source.path);
        // The source's modification time, as a copy on Windows keeps it.
        const struct timespec times[2] = {{0, UTIME_OMIT}, before.st_mtim};
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
        if (::fchown(out, uid_t(like.owner.toUInt()), group) != 0 && errno != ENOSYS &&
            errno != EOPNOTSUPP) {
            if (errno != EPERM)
                failWithErrno(file.reported);
            if (::fchown(out, uid_t(-1), group) != 0) {
                if (!keepsNoneOf(errno))
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
            const std::string self = "/proc/self/fd/" + std::to_string(file.fd.get());
            if (::linkat(AT_FDCWD, self.c_str(), fd(), name.constData(), AT_SYMLINK_FOLLOW) != 0 &&
                ::linkat(file.fd.get(), "", fd(), name.constData(), AT_EMPTY_PATH) != 0)
                failWithErrno(errno == EEXIST ? path(name) : file.reported);
        } else if (file.made != name &&
                   ::renameat(fd(), file.made.constData(), fd(), name.constData()) != 0) {
            failWithErrno(file.reported);
        }
        file.made = name;
    }

    // None on a volume without hard links (EPERM, EOPNOTSUPP), for a file
    // with too many, or another user's where links are protected (EPERM).
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

    // An open file description's lock, the kind a Windows program's lock
    // under Wine is, so that Tarvane.exe and a native Tarvane exclude each
    // other. The file is never followed; one a crash left is taken again.
    Lock lock(const QString& lockName, const Facts& owner) override
    {
        const QByteArray name = encodeFileName(lockName);
        for (int attempt = 0; attempt < 100; ++attempt) {
            FileDescriptor lock(
                ::openat(fd(), name.constData(), O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
            if (lock.get() < 0 && errno == ENOENT) {
                if (!makeLock(lockName, owner))
                    return Lock::Refused;
                continue;
            }
            if (lock.get() < 0 && (refused(errno) || errno == ELOOP || errno == EISDIR))
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
            // A holder deletes the file before it lets go: taken again, anew.
            if (::fstatat(fd(), name.constData(), &named, AT_SYMLINK_NOFOLLOW) == 0 &&
                sameEntry(named, held)) {
                m_lock = std::move(lock);
                m_lockName = name;
                return Lock::Taken;
            }
        }
        return Lock::Held;
    }

    // The file goes first: a waiter then given the lock finds it gone.
    void unlock() override
    {
        const FileDescriptor lock = std::move(m_lock);
        struct stat held, named;
        if (lock.get() >= 0 && ::fstat(lock.get(), &held) == 0 &&
            ::fstatat(fd(), m_lockName.constData(), &named, AT_SYMLINK_NOFOLLOW) == 0 &&
            sameEntry(named, held) && ::unlinkat(fd(), m_lockName.constData(), 0) != 0)
            failWithErrno(path(m_lockName));
    }

    QString path(const QString& name) const override { return shown(path(encodeFileName(name))); }

private:
    int fd() const { return m_fd.get(); }
    QByteArray path(const QByteArray& name) const
    {
        return name.isEmpty() ? m_path : joined(m_path, name);
    }
    static bool refused(int error) { return error == EACCES || error == EPERM || error == EROFS; }

    // Whether root gives a file it makes to another owner (or group).
    static bool givenAway(const Facts& owner)
    {
        return ::geteuid() == 0 && !owner.owner.isEmpty() &&
               (owner.owner.toUInt() != 0 || owner.group.toUInt() != ::getegid());
    }

    // Made as any new file is, open to everyone who may write the folder
    // (no one else can hold it then), given and synced before it has its
    // name. False where this process may make none.
    bool makeLock(const QString& name, const Facts& owner)
    {
        struct stat folder, made;
        if (::fstat(fd(), &folder) != 0)
            failWithErrno(m_path);
        const mode_t writers = folder.st_mode & 0222, mode = writers | writers << 1;
        try {
            const auto file = create(name, name, owner, mode);
            const int out = static_cast<PosixFile&>(*file).fd.get();
            const bool given = ::fstat(out, &made) == 0 && (made.st_mode & 0777) != mode;
            if (given && ::fchmod(out, mode) != 0 && !keepsNoneOf(errno))
                failWithErrno(path(encodeFileName(name)));
            if (given || givenAway(owner))
                syncData(*file);
            this->name(*file, name);
            return true;
        } catch (const PlatformError& error) {
            if (!refused(error.number()) && error.number() != EEXIST)
                throw;
            return error.number() == EEXIST;
        }
    }

    FileDescriptor m_fd;
    QByteArray m_path;
    FileDescriptor m_lock;
    QByteArray m_lockName;
};

// The working folder as the shell named it (`pwd -L`): $PWD, if absolute,
// without "." or "..", and leading to it. A library folder linked into a
// game folder so belongs to that game folder.
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
    if (::stat(pwd, &named) != 0 || ::stat(".", &current) != 0 || !sameEntry(named, current))
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
    return entriesOf(DirectoryStream(::opendir(native.constData()), ::closedir), native);
}

// At the path the program spells where it is there, else as resolved with
// its components' case matched.
std::unique_ptr<ChangeFolder::Source> LocalFileSystem::openInput(const QString& path) const
{
    auto source = std::make_unique<PosixSource>(encodeFileName(QDir::fromNativeSeparators(path)),
                                                MaxReadSize);
    const QByteArray spelled = source->native;
    if (::stat(spelled.constData(), &source->info) == 0)
        return ::openInput(AT_FDCWD, spelled, std::move(source), 0, true);
    if (errno != ENOENT && errno != ENOTDIR)
        failWithErrno(spelled);
    const QByteArray resolved = resolveNative(path);
    source->native = resolved;
    source->path = shown(resolved);
    return ::openInput(AT_FDCWD, resolved, std::move(source));
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
    const DirectoryStream dir(::opendir(folder.constData()), ::closedir);
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
