// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright the Tarvane developers

// The file layer on Windows. Names stay UTF-16 throughout, the system
// ignores case itself, and every failure carries GetLastError's number.
//
// Replacing the pair, destinations D1..Dn in the game folder G:
// 1. Lock G (a named mutex for G's file ID, machine-wide), then recover
//    from a change that ended half-way.
// 2. Refuse a destination that is a folder, read-only, a reparse point or
//    held open by another program.
// 3. Stage ".<D>.tarvane-new" for every D. Each staged file is marked for
//    deletion while it is written, so a killed process leaves nothing, and
//    is flushed before the mark is cleared.
// 4. Keep every old D but the last as ".<D>.tarvane-old": a hard link to
//    it, so that a failure leaves the player's own file in place, or a
//    byte copy on a volume without hard links; or an empty
//    ".<D>.tarvane-absent" if there was none.
// 5. Move each new file over its D in order. If move k fails, D1..Dk-1 are
//    put back from the kept files and the temporaries go.
// 6. Delete the kept files.
// Every move is written through, so the folder needs no sync of its own.
// The order of undoing, and recovery, are ReplaceTraces'.

#include "platform/disk/LocalFileSystem.h"
#include "platform/disk/PlatformError.h"
#include "platform/disk/ReplaceTraces.h"
#include "platform/disk/WholeInputs.h"

#include <QDir>
#include <algorithm>
#include <utility>
#include <vector>
#include <windows.h>

namespace {

constexpr qsizetype ChunkSize = 1024 * 1024;

// The path as the user sees it: native separators, no \\?\ prefix.
QString shown(const QString& path)
{
    if (path.startsWith(u"\\\\?\\UNC\\"))
        return u"\\\\" + path.mid(8);
    if (path.startsWith(u"\\\\?\\"))
        return path.mid(4);
    return path;
}

[[noreturn]] void fail(DWORD error, const QString& path)
{
    throw PlatformError::fromSystem(int(error), shown(path));
}

[[noreturn]] void failWithLastError(const QString& path)
{
    const DWORD error = GetLastError();
    fail(error != 0 ? error : ERROR_GEN_FAILURE, path);
}

const wchar_t* wide(const QString& path)
{
    return reinterpret_cast<const wchar_t*>(path.utf16());
}

// An absolute path with the \\?\ prefix, so that long paths work. Runs of
// separators collapse (the doubled separator of a library in a drive root,
// C:\\Frontline(1)), but for the two that start a share.
QString nativePath(const QString& path)
{
    QString p = QDir::toNativeSeparators(path);
    if (p.startsWith(u"\\\\?\\") || p.startsWith(u"\\\\.\\"))
        return p;
    const bool share = p.startsWith(u"\\\\");
    QString collapsed = share ? QStringLiteral("\\\\") : QString();
    for (qsizetype i = share ? 2 : 0; i < p.size(); ++i) {
        if (p[i] == u'\\' && collapsed.endsWith(u'\\') && collapsed.size() > (share ? 2 : 0))
            continue;
        collapsed.append(p[i]);
    }
    const DWORD needed = GetFullPathNameW(wide(collapsed), 0, nullptr, nullptr);
    if (needed == 0)
        failWithLastError(collapsed);
    std::vector<wchar_t> full(needed);
    const DWORD length = GetFullPathNameW(wide(collapsed), needed, full.data(), nullptr);
    if (length == 0 || length >= needed)
        failWithLastError(collapsed);
    const QString absolute = QString::fromWCharArray(full.data(), int(length));
    if (absolute.startsWith(u"\\\\.\\") || absolute.startsWith(u"\\\\?\\"))
        return absolute;
    if (absolute.startsWith(u"\\\\"))
        return u"\\\\?\\UNC\\" + absolute.mid(2);
    return u"\\\\?\\" + absolute;
}

class Handle
{
public:
    explicit Handle(HANDLE handle = INVALID_HANDLE_VALUE) : m_handle(handle) {}
    ~Handle()
    {
        if (valid())
            CloseHandle(m_handle);
    }
    Handle(Handle&& other) noexcept : m_handle(std::exchange(other.m_handle, INVALID_HANDLE_VALUE))
    {}
    Handle& operator=(Handle&& other) noexcept
    {
        std::swap(m_handle, other.m_handle);
        return *this;
    }
    bool valid() const { return m_handle != INVALID_HANDLE_VALUE && m_handle != nullptr; }
    HANDLE get() const { return m_handle; }

private:
    HANDLE m_handle;
};

// Opens a file the program reads. Only a file on a disk is taken: a device
// (NUL, COM1) or a pipe is refused before anything is read, so nothing
// blocks; a folder cannot be opened this way at all.
// `share` says what others may do with the file while it is open.
Handle openInput(const QString& path, LARGE_INTEGER& size,
                 DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE)
{
    Handle file(CreateFileW(wide(path), GENERIC_READ, share, nullptr, OPEN_EXISTING,
                            FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file.valid())
        failWithLastError(path);
    if (GetFileType(file.get()) != FILE_TYPE_DISK)
        fail(ERROR_NOT_SUPPORTED, path);
    if (!GetFileSizeEx(file.get(), &size))
        failWithLastError(path);
    return file;
}

// Reads up to `size` bytes; fewer only at the end of the file.
qsizetype readSome(HANDLE file, char* data, qsizetype size, const QString& path)
{
    qsizetype used = 0;
    while (used < size) {
        DWORD n = 0;
        const DWORD wanted = DWORD(std::min<qsizetype>(size - used, ChunkSize));
        if (!ReadFile(file, data + used, wanted, &n, nullptr))
            failWithLastError(path);
        if (n == 0)
            break;
        used += n;
    }
    return used;
}

// Antivirus scanners hold new files open for a moment: a rename or delete
// that meets such a hold is tried again.
template <typename Call> bool retried(Call call)
{
    for (int attempt = 0;; ++attempt) {
        if (call())
            return true;
        const DWORD error = GetLastError();
        if (attempt == 5 || (error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION &&
                             error != ERROR_LOCK_VIOLATION))
            return false;
        Sleep(20 << attempt);
        SetLastError(error);
    }
}

// How long a Load, Restore or Remove waits for another Tarvane before it
// reports the game folder in use.
constexpr DWORD LockWaitMs = 3000;

// A named mutex held for one operation, released on every way out.
class HeldMutex
{
public:
    HeldMutex() = default;
    HeldMutex(const HeldMutex&) = delete;
    HeldMutex& operator=(const HeldMutex&) = delete;
    ~HeldMutex()
    {
        if (m_owned)
            ReleaseMutex(m_mutex.get());
    }

    // Opens or makes the mutex, open to every user, so that Tarvanes in
    // different sessions wait for each other too; then waits for it, a
    // while (telling `waiting` while it does), or with `waitNotAtAll` not at
    // all. False when another holds it that long.
    bool take(const QString& name, const QString& reported,
              const LocalFileSystem::WaitNotice& waiting, bool waitNotAtAll)
    {
        SECURITY_DESCRIPTOR everyone;
        if (!InitializeSecurityDescriptor(&everyone, SECURITY_DESCRIPTOR_REVISION) ||
            !SetSecurityDescriptorDacl(&everyone, TRUE, nullptr, FALSE))
            failWithLastError(reported);
        SECURITY_ATTRIBUTES attributes = {sizeof attributes, &everyone, FALSE};
        m_mutex = Handle(CreateMutexW(&attributes, FALSE, wide(name)));
        if (!m_mutex.valid())
            failWithLastError(reported);
        DWORD waited = WaitForSingleObject(m_mutex.get(), 0);
        if (waited == WAIT_TIMEOUT && !waitNotAtAll) {
            if (waiting)
                waiting(true);
            waited = WaitForSingleObject(m_mutex.get(), LockWaitMs);
            if (waiting)
                waiting(false);
        }
        if (waited == WAIT_TIMEOUT)
            return false;
        // An abandoned mutex is ours now: its holder died.
        if (waited != WAIT_OBJECT_0 && waited != WAIT_ABANDONED)
            failWithLastError(reported);
        m_owned = true;
        return true;
    }

private:
    Handle m_mutex;
    bool m_owned = false;
};

// The game folder, pinned and locked for the whole of one operation: a
// second Tarvane waits on the same named mutex, which creates no file and
// is released if this process dies.
class DestinationFolder : public ReplaceTraces<DestinationFolder, QString>
{
public:
    // Pins and locks the folder, waiting for the lock a while, or with
    // `waitNotAtAll` not at all: then, where another holds it, nothing else
    // is done. Once locked, finishes a change that was cut short.
    DestinationFolder(const QString& folder, const QStringList& names,
                      const LocalFileSystem::WaitNotice& waiting, bool waitNotAtAll = false)
        : ReplaceTraces(names), m_folder(folder)
    {
        m_pin = Handle(CreateFileW(wide(folder), FILE_LIST_DIRECTORY | SYNCHRONIZE,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                   FILE_FLAG_BACKUP_SEMANTICS, nullptr));
        if (!m_pin.valid())
            failWithLastError(folder);
        BY_HANDLE_FILE_INFORMATION info;
        if (!GetFileInformationByHandle(m_pin.get(), &info))
            failWithLastError(folder);
        const QString name = QStringLiteral("Global\\Tarvane.%1.%2.%3")
                                 .arg(info.dwVolumeSerialNumber)
                                 .arg(info.nFileIndexHigh)
                                 .arg(info.nFileIndexLow);
        if (!m_lock.take(name, folder, waiting, waitNotAtAll)) {
            if (waitNotAtAll)
                return;
            fail(ERROR_BUSY, folder);
        }
        recover();
    }

    // A drive root's path ends in its separator already.
    QString path(const QString& name) const
    {
        if (m_folder.endsWith(u'\\'))
            return m_folder + name;
        return m_folder + u'\\' + name;
    }
    bool has(const QString& name) const
    {
        return GetFileAttributesW(wide(path(name))) != INVALID_FILE_ATTRIBUTES;
    }
    // Every move is written through: nothing is left to make durable.
    void sync() const {}

    // Only a plain file is taken for a temporary of ours; a folder or a
    // reparse point under a temporary's name is left alone and stops the
    // change. (Windows has no owner here to go by, and a kept file may have
    // the game file's other names.)
    bool ownTrace(const QString& name, const QString&, Trace) const
    {
        const DWORD attributes = GetFileAttributesW(wide(path(name)));
        if (attributes == INVALID_FILE_ATTRIBUTES)
            return false;
        if (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT))
            fail(ERROR_FILE_EXISTS, path(name));
        return true;
    }

    // A destination that may be replaced or deleted: not a folder, not
    // read-only, not held open by a program that forbids its deletion, and
    // (for a replace) not a reparse point, whose handling Windows leaves
    // undefined. Returns whether it is there.
    bool checkReplaceable(const QString& name, bool replacing) const
    {
        const QString destination = path(name);
        const DWORD attributes = GetFileAttributesW(wide(destination));
        if (attributes == INVALID_FILE_ATTRIBUTES) {
            const DWORD error = GetLastError();
            if (error == ERROR_FILE_NOT_FOUND)
                return false;
            fail(error, destination);
        }
        if (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY))
            fail(ERROR_ACCESS_DENIED, destination);
        if (replacing && (attributes & FILE_ATTRIBUTE_REPARSE_POINT))
            fail(ERROR_CANT_ACCESS_FILE, destination);
        const Handle probe(CreateFileW(
            wide(destination), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
            nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
        if (!probe.valid())
            failWithLastError(destination);
        return true;
    }

    void rename(const QString& from, const QString& to) const
    {
        const QString source = path(from), target = path(to);
        if (!retried([&] {
                return MoveFileExW(wide(source), wide(target),
                                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
            }))
            failWithLastError(target);
    }

    // Removes an entry of the folder; one that is already gone is fine.
    void discard(const QString& name) const
    {
        const QString file = path(name);
        if (!retried([&] { return DeleteFileW(wide(file)); }) &&
            GetLastError() != ERROR_FILE_NOT_FOUND)
            failWithLastError(file);
    }

private:
    QString m_folder;
    Handle m_pin;
    HeldMutex m_lock;
};

// The folder of a full path; the folder of \\?\R:\FRNTLINE.DAT is the
// drive's root, R:\, not R:, which names the volume itself.
QString folderOf(const QString& path)
{
    QString folder = path.left(path.lastIndexOf(u'\\'));
    if (folder.endsWith(u':'))
        folder += u'\\';
    return folder;
}

// Makes destination paths full and splits them into their one folder and
// their names.
std::pair<QString, QStringList> splitDestinations(const QStringList& paths)
{
    QString folder;
    QStringList names;
    for (const QString& given : paths) {
        const QString path = nativePath(given);
        const qsizetype slash = path.lastIndexOf(u'\\');
        const QString pathFolder = folderOf(path);
        const QString name = path.mid(slash + 1);
        if (slash < 0 || name.isEmpty() || (!names.isEmpty() && pathFolder != folder) ||
            names.contains(name, Qt::CaseInsensitive))
            fail(ERROR_INVALID_PARAMETER, path);
        folder = pathFolder;
        names.append(name);
    }
    return {folder, names};
}

// A new file of the folder, marked for deletion until it is complete, so
// that a killed process leaves nothing behind.
class StagedFile
{
public:
    explicit StagedFile(const QString& path) : m_path(path)
    {
        m_file = Handle(CreateFileW(wide(path), GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!m_file.valid())
            failWithLastError(path);
        setDeletePending(true);
    }

    void write(const char* data, qsizetype size, const QString& reported)
    {
        while (size > 0) {
            DWORD n = 0;
            const DWORD chunk = DWORD(std::min(size, ChunkSize));
            if (!WriteFile(m_file.get(), data, chunk, &n, nullptr))
                failWithLastError(reported);
            if (n == 0)
                fail(ERROR_DISK_FULL, reported);
            data += n;
            size -= n;
        }
    }

    void finish(const FILETIME& modified, DWORD keptAttributes, const QString& reported)
    {
        FILE_BASIC_INFO basic = {};
        basic.LastWriteTime.LowPart = modified.dwLowDateTime;
        basic.LastWriteTime.HighPart = LONG(modified.dwHighDateTime);
        basic.FileAttributes = keptAttributes != 0 ? keptAttributes : FILE_ATTRIBUTE_NORMAL;
        if (!SetFileInformationByHandle(m_file.get(), FileBasicInfo, &basic, sizeof basic))
            failWithLastError(reported);
        if (!FlushFileBuffers(m_file.get()))
            failWithLastError(reported);
    }

    // Keeps the file: it is complete.
    void keep()
    {
        setDeletePending(false);
        m_file = Handle();
    }

private:
    void setDeletePending(bool pending)
    {
        FILE_DISPOSITION_INFO disposition = {};
        disposition.DeleteFile = pending ? TRUE : FALSE;
        if (!SetFileInformationByHandle(m_file.get(), FileDispositionInfo, &disposition,
                                        sizeof disposition))
            failWithLastError(m_path);
    }

    QString m_path;
    Handle m_file;
};

// Copies an open file into a new staged file, complete and flushed.
void stageCopy(HANDLE source, const QString& sourcePath, const QString& stagedPath,
               DWORD keptAttributes, const QString& reported, std::vector<StagedFile>& staged)
{
    staged.emplace_back(stagedPath);
    std::vector<char> buffer(ChunkSize);
    qint64 copied = 0;
    for (;;) {
        const qsizetype n = readSome(source, buffer.data(), ChunkSize, sourcePath);
        if (n == 0)
            break;
        copied += n;
        if (copied > LocalFileSystem::MaxReadSize)
            fail(ERROR_FILE_TOO_LARGE, sourcePath);
        staged.back().write(buffer.data(), n, reported);
    }
    FILETIME created, accessed, modified;
    if (!GetFileTime(source, &created, &accessed, &modified))
        failWithLastError(sourcePath);
    staged.back().finish(modified, keptAttributes, reported);
}

} // namespace

QString LocalFileSystem::currentDirectory() const
{
    for (;;) {
        const DWORD needed = GetCurrentDirectoryW(0, nullptr);
        if (needed == 0)
            failWithLastError({});
        std::vector<wchar_t> buffer(needed);
        const DWORD length = GetCurrentDirectoryW(needed, buffer.data());
        if (length == 0)
            failWithLastError({});
        if (length < needed)
            return QString::fromWCharArray(buffer.data(), int(length));
    }
}

QChar LocalFileSystem::separator() const
{
    return u'\\';
}

QStringList LocalFileSystem::listDirectory(const QString& path) const
{
    const QString folder = nativePath(path);
    const QString pattern =
        folder + (folder.endsWith(u'\\') ? QStringLiteral("*") : QStringLiteral("\\*"));
    WIN32_FIND_DATAW entry;
    HANDLE search = FindFirstFileExW(wide(pattern), FindExInfoBasic, &entry, FindExSearchNameMatch,
                                     nullptr, FIND_FIRST_EX_LARGE_FETCH);
    QStringList names;
    if (search == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        const DWORD attributes = GetFileAttributesW(wide(folder));
        // An empty drive root has no entries at all, not even "." and "..".
        if (error == ERROR_FILE_NOT_FOUND && attributes != INVALID_FILE_ATTRIBUTES &&
            (attributes & FILE_ATTRIBUTE_DIRECTORY))
            return names;
        // Listing a plain file: Windows says 267, Wine 123 or 3.
        if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY))
            fail(ERROR_DIRECTORY, folder);
        fail(error, folder);
    }
    for (;;) {
        const QString name = QString::fromWCharArray(entry.cFileName);
        if (name != u"." && name != u"..")
            names.append(name);
        if (!FindNextFileW(search, &entry)) {
            const DWORD error = GetLastError();
            FindClose(search);
            if (error != ERROR_NO_MORE_FILES)
                fail(error, folder);
            return names;
        }
    }
}

QByteArray LocalFileSystem::readFile(const QString& path) const
{
    const QString native = nativePath(path);
    LARGE_INTEGER size;
    const Handle file = openInput(native, size);
    return readWhole(
        size.QuadPart, MaxReadSize,
        [&](char* data, qsizetype wanted) { return readSome(file.get(), data, wanted, native); },
        [&] { fail(ERROR_FILE_TOO_LARGE, native); });
}

bool LocalFileSystem::sameContent(const QString& a, const QString& b) const noexcept
{
    try {
        const QString pathA = nativePath(a);
        const QString pathB = nativePath(b);
        LARGE_INTEGER sizeA, sizeB;
        const Handle fileA = openInput(pathA, sizeA);
        const Handle fileB = openInput(pathB, sizeB);
        // Tarvane installs no file over the read limit, and reads none.
        if (sizeA.QuadPart != sizeB.QuadPart || sizeA.QuadPart > MaxReadSize)
            return false;
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
        return GetFileAttributesW(wide(nativePath(path))) != INVALID_FILE_ATTRIBUTES;
    } catch (...) {
        return false;
    }
}

void LocalFileSystem::copyFiles(const QList<Copy>& copies)
{
    if (copies.isEmpty())
        return;
    QStringList destinations;
    for (const Copy& copy : copies)
        destinations.append(copy.destination);
    const auto [folderPath, names] = splitDestinations(destinations);
    const DestinationFolder folder(folderPath, names, m_waitNotice);
    using D = DestinationFolder;

    // Every source is opened and checked before anything is written.
    std::vector<Handle> sources;
    QStringList sourcePaths;
    for (const Copy& copy : copies) {
        sourcePaths.append(nativePath(copy.source));
        LARGE_INTEGER size;
        // No other program may write a set file while it is copied: one
        // that is being written is refused, not installed half-written.
        sources.push_back(openInput(sourcePaths.last(), size, FILE_SHARE_READ | FILE_SHARE_DELETE));
        if (size.QuadPart > MaxReadSize)
            fail(ERROR_FILE_TOO_LARGE, sourcePaths.last());
    }
    for (const QString& name : names)
        folder.checkReplaceable(name, true);

    const qsizetype last = names.size() - 1;
    std::vector<StagedFile> staged;
    staged.reserve(size_t(2 * names.size()));
    try {
        for (qsizetype i = 0; i <= last; ++i) {
            const QString destination = folder.path(names[i]);
            const DWORD old = GetFileAttributesW(wide(destination));
            const DWORD keptAttributes =
                old == INVALID_FILE_ATTRIBUTES
                    ? 0
                    : old &
                          (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE);
            stageCopy(sources[size_t(i)].get(), sourcePaths[i], folder.path(D::staged(names[i])),
                      keptAttributes, destination, staged);
            folder.madeStaged(i);
            if (i == last)
                continue;
            if (old == INVALID_FILE_ATTRIBUTES) {
                staged.emplace_back(folder.path(D::absent(names[i])));
                staged.back().finish(FILETIME{}, 0, destination);
                folder.madeKept(i, D::Kept::AbsentMark);
            } else if (CreateHardLinkW(wide(folder.path(D::kept(names[i]))), wide(destination),
                                       nullptr)) {
                folder.madeKept(i, D::Kept::ByLink);
            } else {
                // A volume without hard links (FAT, exFAT) keeps a copy.
                const DWORD error = GetLastError();
                if (error != ERROR_INVALID_FUNCTION && error != ERROR_NOT_SUPPORTED)
                    fail(error, destination);
                LARGE_INTEGER size;
                const Handle current = openInput(destination, size);
                stageCopy(current.get(), destination, folder.path(D::kept(names[i])), old,
                          destination, staged);
                folder.madeKept(i, D::Kept::ByCopy);
            }
        }
        for (StagedFile& file : staged)
            file.keep();
        staged.clear();
        for (qsizetype i = 0; i <= last; ++i) {
            folder.rename(D::staged(names[i]), names[i]);
            folder.changedInPlace(i);
        }
    } catch (...) {
        staged.clear(); // unfinished files vanish as they close
        folder.undo();
        throw;
    }
    folder.finish();
}

void LocalFileSystem::removeFiles(const QStringList& paths)
{
    if (paths.isEmpty())
        return;
    const auto [folderPath, names] = splitDestinations(paths);
    DestinationFolder folder(folderPath, names, m_waitNotice);
    using D = DestinationFolder;

    // A missing file ends the removal: those before it go, all or none.
    const qsizetype present = folder.narrowToPresent(
        [&](const QString& name) { return folder.checkReplaceable(name, false); });
    if (present == 0)
        fail(ERROR_FILE_NOT_FOUND, folder.path(names.first()));

    // All or none, as ReplaceTraces describes: the absent mark for the last
    // entry, every other entry moved aside, then the last deleted.
    const qsizetype last = present - 1;
    try {
        StagedFile mark(folder.path(D::absent(names[last])));
        mark.finish(FILETIME{}, 0, folder.path(names[last]));
        mark.keep();
        folder.madeKept(last, D::Kept::AbsentMark);
        for (qsizetype i = 0; i < last; ++i) {
            folder.rename(names[i], D::kept(names[i]));
            folder.madeKept(i, D::Kept::ByMove);
        }
        const QString file = folder.path(names[last]);
        if (!retried([&] { return DeleteFileW(wide(file)); }))
            failWithLastError(file);
    } catch (...) {
        folder.undo();
        throw;
    }
    folder.finish();
    if (present < names.size())
        fail(ERROR_FILE_NOT_FOUND, folder.path(names[present]));
}

void LocalFileSystem::finishInterruptedChange(const QStringList& paths)
{
    if (paths.isEmpty())
        return;
    const auto [folderPath, names] = splitDestinations(paths);
    const DestinationFolder folder(folderPath, names, m_waitNotice, true);
}

QString LocalFileSystem::resolvePath(const QString& path) const
{
    return shown(nativePath(path));
}
