// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright the Tarvane developers

// The file layer on Windows. Names stay UTF-16 throughout, the system
// ignores case itself, and every failure carries GetLastError's number.

#include "platform/PlatformError.h"
#include "platform/disk/LocalFileSystem.h"

#include <QDir>
#include <algorithm>
#include <limits>
#include <utility>
#include <vector>
#include <windows.h>
// After windows.h:
#include <aclapi.h>

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

// A full path with its last name as the folder spells it, where it is
// there: the temporaries' names are made from it, and what is put back
// has it again.
QString spelledAsThere(const QString& full)
{
    WIN32_FIND_DATAW entry;
    const HANDLE search = FindFirstFileW(wide(full), &entry);
    if (search == INVALID_HANDLE_VALUE)
        return full;
    FindClose(search);
    return full.left(full.lastIndexOf(u'\\') + 1) + QString::fromWCharArray(entry.cFileName);
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

// A file the program reads, no more than `limit` bytes of it. Only a file
// on a disk is taken: a device (NUL, COM1) or a pipe is refused before
// anything is read, so nothing blocks; a folder cannot be opened this way
// at all. `share` says what others may do with it while it is open.
class WinSource final : public ChangeFolder::Source
{
public:
    WinSource(const QString& native, qint64 limit,
              DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE)
        : native(native), limit(limit),
          file(CreateFileW(wide(native), GENERIC_READ, share, nullptr, OPEN_EXISTING,
                           FILE_FLAG_SEQUENTIAL_SCAN, nullptr))
    {
        path = shown(native);
        LARGE_INTEGER bytes;
        if (!file.valid())
            failWithLastError(native);
        if (GetFileType(file.get()) != FILE_TYPE_DISK)
            fail(ERROR_NOT_SUPPORTED, native);
        if (!GetFileSizeEx(file.get(), &bytes))
            failWithLastError(native);
        size = bytes.QuadPart;
    }
    qsizetype read(char* data, qsizetype wanted) override
    {
        return readSome(file.get(), data, wanted, native);
    }

    QString native;
    qint64 limit;
    Handle file;
};

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

// A security identifier, held in a buffer of its own; empty where the
// system cannot say.
using Sid = std::vector<char>;

// This process's user (TokenUser), or the owner Windows gives the files it
// makes (TokenOwner): the user, or for an administrator's elevated
// process, the Administrators group. Either information begins with the
// identifier.
Sid processSid(TOKEN_INFORMATION_CLASS which)
{
    HANDLE token = nullptr;
    DWORD size = 0;
    Sid sid;
    if (OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
        GetTokenInformation(token, which, nullptr, 0, &size);
        std::vector<char> buffer(size);
        if (size >= sizeof(PSID) && GetTokenInformation(token, which, buffer.data(), size, &size)) {
            const PSID found = *reinterpret_cast<PSID*>(buffer.data());
            sid.assign(static_cast<char*>(found), static_cast<char*>(found) + GetLengthSid(found));
        }
        CloseHandle(token);
    }
    return sid;
}

Sid ownerOf(HANDLE file)
{
    PSID sid = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    Sid owner;
    if (GetSecurityInfo(file, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &sid, nullptr, nullptr,
                        nullptr, &descriptor) == ERROR_SUCCESS &&
        sid)
        owner.assign(static_cast<char*>(sid), static_cast<char*>(sid) + GetLengthSid(sid));
    LocalFree(descriptor);
    return owner;
}

// A new file, made as `made`. Failures name the game file it is for.
class WinFile final : public ChangeFolder::NewFile
{
public:
    Handle file;
    QString made, reported;
};

// The game folder, pinned for the whole of one change.
class WinFolder final : public ChangeFolder
{
public:
    explicit WinFolder(const QString& folder) : m_folder(nativePath(folder))
    {
        // Windows names every file it makes, and making a link needs a
        // privilege ordinary users lack.
        anonymousFiles = false;
        newLinks = false;
        m_pin = Handle(CreateFileW(wide(m_folder), FILE_LIST_DIRECTORY | SYNCHRONIZE,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                   FILE_FLAG_BACKUP_SEMANTICS, nullptr));
        if (!m_pin.valid())
            failWithLastError(m_folder);
        // The owner Windows gives this process's files: the user, or for an
        // administrator's elevated process, the Administrators group. Such a
        // process may act for any user.
        for (const TOKEN_INFORMATION_CLASS which : {TokenUser, TokenOwner}) {
            const Sid sid = processSid(which);
            user.owners.append(QByteArray(sid.data(), qsizetype(sid.size())));
        }
        HANDLE token = nullptr;
        TOKEN_ELEVATION elevation = {};
        DWORD size = 0;
        if (OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
            user.actsForAll =
                GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &size) &&
                elevation.TokenIsElevated;
            CloseHandle(token);
        }
    }

    // A junction, a link to a folder, is a folder here.
    Facts look(const QString& name) const override
    {
        BY_HANDLE_FILE_INFORMATION info;
        const Handle file = inspect(name, info);
        if (!file.valid()) {
            if (GetLastError() == ERROR_FILE_NOT_FOUND)
                return {};
            failWithLastError(native(name));
        }
        const DWORD attributes = info.dwFileAttributes;
        Facts facts;
        facts.kind = attributes & FILE_ATTRIBUTE_DIRECTORY       ? Kind::Folder
                     : attributes & FILE_ATTRIBUTE_REPARSE_POINT ? Kind::Link
                                                                 : Kind::File;
        facts.links = int(info.nNumberOfLinks);
        facts.id = QByteArray::number(info.dwVolumeSerialNumber) + ':' +
                   QByteArray::number((quint64(info.nFileIndexHigh) << 32) | info.nFileIndexLow);
        const Sid owner = ownerOf(file.get());
        facts.owner = QByteArray(owner.data(), qsizetype(owner.size()));
        facts.mode =
            attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE);
        facts.readOnly = attributes & FILE_ATTRIBUTE_READONLY;
        return facts;
    }

    QStringList entries() const override { return LocalFileSystem().listDirectory(m_folder); }

    // Tried: an entry opened for deletion (a program that holds it without
    // letting others delete it refuses that too), the folder for adding a
    // file.
    int refusal(const QString& name) const override
    {
        const Handle probe(CreateFileW(
            wide(native(name)), name.isEmpty() ? FILE_ADD_FILE : DELETE,
            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
            FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr));
        return probe.valid() ? 0 : int(GetLastError());
    }

    // No other program may write a set file while it is copied: one that
    // is being written is refused, not installed half-written.
    std::unique_ptr<Source> openSource(const QString& path) const override
    {
        return std::make_unique<WinSource>(nativePath(path), LocalFileSystem::MaxReadSize,
                                           FILE_SHARE_READ | FILE_SHARE_DELETE);
    }

    std::unique_ptr<Source> openEntry(const QString& name) const override
    {
        return std::make_unique<WinSource>(native(name), std::numeric_limits<qint64>::max());
    }

    // The file gets the owner Windows gives this process's files.
    std::unique_ptr<NewFile> create(const QString& name, const QString& entry, const Facts&,
                                    quint32) override
    {
        auto file = std::make_unique<WinFile>();
        file->made = native(name);
        file->reported = native(entry);
        file->file = Handle(CreateFileW(wide(file->made), GENERIC_WRITE | DELETE, FILE_SHARE_READ,
                                        nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file->file.valid())
            failWithLastError(file->reported);
        return file;
    }

    void createLink(const QByteArray&, const QString& name, const Facts&) override
    {
        fail(ERROR_NOT_SUPPORTED, native(name));
    }

    void write(NewFile& to, Source& from) override
    {
        WinFile& file = static_cast<WinFile&>(to);
        WinSource& source = static_cast<WinSource&>(from);
        std::vector<char> buffer(ChunkSize);
        qint64 copied = 0;
        for (;;) {
            const qsizetype n = source.read(buffer.data(), ChunkSize);
            if (n == 0)
                break;
            copied += n;
            if (copied > source.limit)
                fail(ERROR_FILE_TOO_LARGE, source.native);
            DWORD written = 0;
            if (!WriteFile(file.file.get(), buffer.data(), DWORD(n), &written, nullptr))
                failWithLastError(file.reported);
            if (written != DWORD(n))
                fail(ERROR_DISK_FULL, file.reported);
        }
        FILETIME created, accessed, modified;
        FILE_BASIC_INFO basic = {};
        if (!GetFileTime(source.file.get(), &created, &accessed, &modified))
            failWithLastError(source.native);
        basic.LastWriteTime.LowPart = modified.dwLowDateTime;
        basic.LastWriteTime.HighPart = LONG(modified.dwHighDateTime);
        if (!SetFileInformationByHandle(file.file.get(), FileBasicInfo, &basic, sizeof basic))
            failWithLastError(file.reported);
    }

    // Its attributes: hidden, system, archive.
    void give(NewFile& to, const Facts& like) override
    {
        WinFile& file = static_cast<WinFile&>(to);
        FILE_BASIC_INFO basic = {};
        basic.FileAttributes = like.mode != 0 ? like.mode : FILE_ATTRIBUTE_NORMAL;
        if (!SetFileInformationByHandle(file.file.get(), FileBasicInfo, &basic, sizeof basic))
            failWithLastError(file.reported);
    }

    void syncData(NewFile& to) override
    {
        WinFile& file = static_cast<WinFile&>(to);
        if (!FlushFileBuffers(file.file.get()))
            failWithLastError(file.reported);
    }

    void name(NewFile& to, const QString& name) override
    {
        WinFile& file = static_cast<WinFile&>(to);
        const QString target = native(name);
        if (file.made == target)
            return;
        file.file = Handle();
        if (!retried(
                [&] { return MoveFileExW(wide(file.made), wide(target), MOVEFILE_WRITE_THROUGH); }))
            failWithLastError(file.reported);
        file.made = target;
    }

    // A volume without hard links: FAT, exFAT. A second name of a file
    // another program holds open could not go again while it is held (see
    // remove): such a file is refused as held, before anything changes.
    bool link(const QString& entry, const QString& name) override
    {
        if (!retried([&] {
                return Handle(CreateFileW(wide(native(entry)), DELETE, 0, nullptr, OPEN_EXISTING,
                                          FILE_FLAG_OPEN_REPARSE_POINT, nullptr))
                    .valid();
            }) &&
            GetLastError() == ERROR_SHARING_VIOLATION)
            fail(ERROR_SHARING_VIOLATION, native(entry));
        if (CreateHardLinkW(wide(native(name)), wide(native(entry)), nullptr))
            return true;
        const DWORD error = GetLastError();
        if (error != ERROR_INVALID_FUNCTION && error != ERROR_NOT_SUPPORTED)
            fail(error, native(entry));
        hardLinks = false;
        return false;
    }

    // Windows refuses a move over a file that another program holds open
    // (even one that lets others delete it) as it refuses a change: such a
    // file, which Tarvane cannot open alone, is reported as held. A failure
    // names the target, or the entry that was not there to move.
    void rename(const QString& from, const QString& to) override
    {
        const QString source = native(from), target = native(to);
        if (retried([&] {
                return MoveFileExW(wide(source), wide(target),
                                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
            }))
            return;
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND)
            fail(error, source);
        if (error == ERROR_ACCESS_DENIED) {
            const Handle alone(CreateFileW(wide(target), DELETE, 0, nullptr, OPEN_EXISTING,
                                           FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
            if (!alone.valid() && GetLastError() == ERROR_SHARING_VIOLATION)
                fail(ERROR_SHARING_VIOLATION, target);
        }
        fail(error, target);
    }

    // DeleteFileW only marks a file that another program holds open (and
    // lets others delete) for deletion: its name goes when that program
    // closes it, and a power loss before then brings it back. So the file
    // is opened alone, marked and closed, and gone at once; or, held, the
    // deletion is refused.
    void remove(const QString& name, bool mustExist) override
    {
        const QString file = native(name);
        Handle alone;
        if (!retried([&] {
                alone = Handle(CreateFileW(wide(file), DELETE, 0, nullptr, OPEN_EXISTING,
                                           FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
                return alone.valid();
            })) {
            if (!mustExist && GetLastError() == ERROR_FILE_NOT_FOUND)
                return;
            failWithLastError(file);
        }
        FILE_DISPOSITION_INFO disposition = {TRUE};
        if (!SetFileInformationByHandle(alone.get(), FileDispositionInfo, &disposition,
                                        sizeof disposition))
            failWithLastError(file);
    }

    // A move is written through only where Windows makes it a copy and a
    // delete (and Wine not at all): the folder, opened for writing, is
    // flushed, which writes its changes so far to the disk. A file system
    // that cannot flush a folder says so, and keeps its own order.
    void sync() override
    {
        if (!m_flush.valid())
            m_flush =
                Handle(CreateFileW(wide(m_folder), GENERIC_WRITE,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                   OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
        if (!m_flush.valid() || !FlushFileBuffers(m_flush.get())) {
            const DWORD error = GetLastError();
            if (error != ERROR_INVALID_FUNCTION && error != ERROR_NOT_SUPPORTED)
                fail(error, m_folder);
        }
    }

    // The lock is LockFileEx's on a file of the folder: no other account
    // can hold it where it may not change the folder (a named object of the
    // machine's, another could make or hold first), and under Wine it is
    // the lock a native Tarvane takes. Made hidden in one step where there
    // is none, it is never followed. While a holder's file is marked for
    // deletion, or another program has it open alone, it cannot be opened:
    // still held. (So the file locked is always the one of that name.)
    Lock lock(const QString& name, const Facts&) override
    {
        const QString file = native(name);
        Handle lock(CreateFileW(wide(file), GENERIC_READ | GENERIC_WRITE | DELETE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_ALWAYS, FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_OPEN_REPARSE_POINT,
                                nullptr));
        BY_HANDLE_FILE_INFORMATION info;
        if (!lock.valid()) {
            const DWORD error = GetLastError();
            if (error == ERROR_SHARING_VIOLATION)
                return Lock::Held;
            if (error == ERROR_ACCESS_DENIED || error == ERROR_WRITE_PROTECT)
                return Lock::Refused;
            fail(error, file);
        }
        if (!GetFileInformationByHandle(lock.get(), &info))
            failWithLastError(file);
        if (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT))
            return Lock::Refused;
        OVERLAPPED start = {};
        if (!LockFileEx(lock.get(), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0,
                        &start)) {
            if (GetLastError() == ERROR_LOCK_VIOLATION)
                return Lock::Held;
            failWithLastError(file);
        }
        m_lock = std::move(lock);
        m_lockName = file;
        return Lock::Taken;
    }

    // Marked for deletion, the file goes as the lock does, when its handle
    // closes.
    void unlock() override
    {
        const Handle lock = std::move(m_lock);
        FILE_DISPOSITION_INFO disposition = {TRUE};
        if (lock.valid() && !SetFileInformationByHandle(lock.get(), FileDispositionInfo,
                                                        &disposition, sizeof disposition))
            failWithLastError(m_lockName);
    }

    QString path(const QString& name) const override { return shown(native(name)); }

private:
    // The entry, its link not followed, opened to look at.
    Handle inspect(const QString& name, BY_HANDLE_FILE_INFORMATION& info) const
    {
        Handle file(CreateFileW(
            wide(native(name)), READ_CONTROL | FILE_READ_ATTRIBUTES,
            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
            FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr));
        if (file.valid() && !GetFileInformationByHandle(file.get(), &info))
            return Handle();
        return file;
    }

    // A drive root's path ends in its separator already.
    QString native(const QString& name) const
    {
        if (name.isEmpty() || m_folder.endsWith(u'\\'))
            return m_folder + name;
        return m_folder + u'\\' + name;
    }

    QString m_folder;
    Handle m_pin;
    Handle m_lock;
    QString m_lockName;
    Handle m_flush;
};

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

std::unique_ptr<ChangeFolder::Source> LocalFileSystem::openInput(const QString& path) const
{
    return std::make_unique<WinSource>(nativePath(path), MaxReadSize);
}

bool LocalFileSystem::exists(const QString& path) const noexcept
{
    try {
        return GetFileAttributesW(wide(nativePath(path))) != INVALID_FILE_ATTRIBUTES;
    } catch (...) {
        return false;
    }
}

// The folder of \\?\R:\FRNTLINE.DAT is the drive's root, R:\, not R:,
// which names the volume itself.
std::pair<QString, QString> LocalFileSystem::splitPath(const QString& path) const
{
    const QString full = spelledAsThere(nativePath(path));
    const qsizetype slash = full.lastIndexOf(u'\\');
    QString folder = full.left(slash);
    if (folder.endsWith(u':'))
        folder += u'\\';
    return {folder, full.mid(slash + 1)};
}

std::unique_ptr<ChangeFolder> openChangeFolder(const QString& path)
{
    return std::make_unique<WinFolder>(path);
}

QString LocalFileSystem::resolvePath(const QString& path) const
{
    return shown(spelledAsThere(nativePath(path)));
}
