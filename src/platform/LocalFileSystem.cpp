#include "platform/LocalFileSystem.h"

#include "platform/PlatformError.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

[[noreturn]] void throwErrno(int fallback = EIO)
{
    throw PlatformError::fromErrno(errno != 0 ? errno : fallback);
}

class FileDescriptor
{
public:
    explicit FileDescriptor(int fd) : m_fd(fd) {}
    ~FileDescriptor()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
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

bool exists(const QByteArray& path)
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

ssize_t readSome(int fd, char* buffer, size_t size)
{
    for (;;) {
        const ssize_t n = ::read(fd, buffer, size);
        if (n >= 0 || errno != EINTR)
            return n;
    }
}

// Opens a file for reading; a folder is refused as the system would refuse to
// read it.
int openForReading(const QByteArray& path, struct stat& st)
{
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        throwErrno();
    if (::fstat(fd, &st) != 0) {
        const int error = errno;
        ::close(fd);
        throw PlatformError::fromErrno(error);
    }
    if (S_ISDIR(st.st_mode)) {
        ::close(fd);
        throw PlatformError::fromErrno(EISDIR);
    }
    return fd;
}

} // namespace

QString LocalFileSystem::currentDirectory() const
{
    std::vector<char> buffer(4096);
    while (::getcwd(buffer.data(), buffer.size()) == nullptr) {
        if (errno != ERANGE)
            throwErrno();
        buffer.resize(buffer.size() * 2);
    }
    return QFile::decodeName(buffer.data());
}

QChar LocalFileSystem::separator() const
{
    return QDir::separator();
}

QStringList LocalFileSystem::listDirectory(const QString& path) const
{
    DirectoryStream dir(resolveNative(path));
    if (!dir.get())
        throwErrno();
    QStringList names;
    for (;;) {
        errno = 0;
        const dirent* entry = ::readdir(dir.get());
        if (!entry) {
            if (errno != 0)
                throwErrno();
            return names;
        }
        // File names are UTF-8 to Qt on Unix; fromUtf8 says so directly and
        // is many times quicker than the general decodeName.
        if (qstrcmp(entry->d_name, ".") != 0 && qstrcmp(entry->d_name, "..") != 0)
            names.append(QString::fromUtf8(entry->d_name));
    }
}

QByteArray LocalFileSystem::readFile(const QString& path) const
{
    struct stat st;
    FileDescriptor fd(openForReading(resolveNative(path), st));
    if (st.st_size > MaxReadSize)
        throw PlatformError::fromErrno(EFBIG);

    // The size is a hint only: a file may change while it is read.
    QByteArray data;
    data.resize(qsizetype(st.st_size) + 1);
    qsizetype used = 0;
    for (;;) {
        if (used == data.size()) {
            if (data.size() > MaxReadSize)
                throw PlatformError::fromErrno(EFBIG);
            data.resize(std::max<qsizetype>(data.size() * 2, 4096));
        }
        const ssize_t n = readSome(fd.get(), data.data() + used, size_t(data.size() - used));
        if (n < 0)
            throwErrno();
        if (n == 0)
            break;
        used += n;
    }
    data.truncate(used);
    return data;
}

void LocalFileSystem::copyFiles(const QList<Copy>& copies)
{
    // Every destination is first written in full to a temporary file beside
    // it; only when all of them are complete are they renamed into place. A
    // failure before that discards the temporaries and leaves the
    // destinations as they were.
    constexpr size_t chunkSize = 1024 * 1024;
    std::vector<char> buffer(chunkSize);
    std::vector<std::unique_ptr<QSaveFile>> staged;

    for (const Copy& copy : copies) {
        struct stat sourceInfo;
        FileDescriptor source(openForReading(resolveNative(copy.source), sourceInfo));

        const QByteArray destination = resolveNative(copy.destination);
        struct stat destinationInfo;
        if (::stat(destination.constData(), &destinationInfo) == 0) {
            if (S_ISDIR(destinationInfo.st_mode))
                throw PlatformError::fromErrno(EISDIR);
            // A read-only game file is not swapped out behind the user's back.
            if (::access(destination.constData(), W_OK) != 0)
                throwErrno(EACCES);
        }

        auto out = std::make_unique<QSaveFile>(QFile::decodeName(destination));
        errno = 0;
        if (!out->open(QIODevice::WriteOnly | QIODevice::Unbuffered))
            throwErrno(EACCES);
        for (;;) {
            const ssize_t n = readSome(source.get(), buffer.data(), buffer.size());
            if (n < 0)
                throwErrno();
            if (n == 0)
                break;
            errno = 0;
            if (out->write(buffer.data(), n) != n)
                throwErrno(ENOSPC);
        }
        // Keep the source's modification time, as a copy on the game's home
        // platform does.
        out->setFileTime(QDateTime::fromSecsSinceEpoch(sourceInfo.st_mtim.tv_sec)
                             .addMSecs(sourceInfo.st_mtim.tv_nsec / 1000000),
                         QFileDevice::FileModificationTime);
        staged.push_back(std::move(out));
    }

    for (const auto& out : staged) {
        errno = 0;
        if (!out->commit())
            throwErrno();
    }
}

void LocalFileSystem::removeFile(const QString& path)
{
    if (::unlink(resolveNative(path).constData()) != 0)
        throwErrno();
}

QString LocalFileSystem::resolvePath(const QString& path) const
{
    return QFile::decodeName(resolveNative(path));
}

QByteArray LocalFileSystem::resolveNative(const QString& path) const
{
    const QByteArray spelled = QFile::encodeName(QDir::fromNativeSeparators(path));
    if (spelled.isEmpty() || exists(spelled))
        return spelled;

    QByteArray resolved = spelled.startsWith('/') ? QByteArray("/") : QByteArray();
    bool found = true; // false once a component exists in no spelling
    for (const QByteArray& part : spelled.split('/')) {
        if (part.isEmpty())
            continue;
        const QByteArray asSpelled = joined(resolved, part);
        if (!found || part == "." || part == ".." || exists(asSpelled)) {
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
