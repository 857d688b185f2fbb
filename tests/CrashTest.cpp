// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright the Tarvane developers

// A change cut short, the way databases test themselves (SQLite's crash
// test; ALICE's crash states). The crash matrix runs the real journal over
// the real calls of this system, each of which makes one change, on every
// path a change takes, and stops it at every call N:
// - cut: the power goes; call N and every later one reach nothing, the
//   lock's clean-up included;
// - failed: call N fails and does nothing; failed part-way: it makes its
//   change (a write, only half of it) and fails all the same; torn: a
//   staged file's rename into place, torn in two as FAT may tear it.
// At every cut it also takes the states a power loss can leave: any subset
// of the folder's changes since its last sync lost, and each file written
// since its data was last synced as written, as synced (empty where never)
// or cut to half. A recovery runs from every state so reached: whole, then
// cut (with the states a power loss leaves there) and failed at each of its
// own calls, and again from every new state that reaches. Each ends in the
// old pair (the game folder exactly as before: bytes, owners, modes) or the
// new one, with nothing else left. That each call is one change the matrix
// takes as given; the real program killed at every system call of a change
// shows it (Linux: strace over load_pair; Windows: load_pair.exe under Wine).

#include "Fixtures.h"
#include "GTestSupport.h"
#include "platform/FileNames.h"
#include "platform/disk/LocalFileSystem.h"
#include "platform/disk/PairJournal.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QStandardPaths>
#include <cstdio>
#include <optional>
#ifdef _WIN32
#include <windows.h>
#else
#include <QScopeGuard>
#include <QThread>
#include <atomic>
#include <csignal>
#include <cstddef>
#include <cstring>
#include <fcntl.h>
#include <grp.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/ptrace.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/user.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#endif

namespace {

using Kind = ChangeFolder::Kind;
const QString LockName = QLatin1String(PairJournal::LockName);

// ---- The game folder as the disk holds it

// An entry: the file it is (entries with one id are one file), a file's
// bytes or a link's target, its owner and its mode (on Windows, its
// read-only, hidden and system marks).
struct Entry
{
    QByteArray id;
    bool link = false;
    QByteArray bytes;
    uint owner = 0, group = 0, mode = 0;
    bool operator==(const Entry& other) const
    {
        return link == other.link && bytes == other.bytes && owner == other.owner &&
               group == other.group && mode == other.mode;
    }
};
using Disk = QMap<QString, Entry>;

QStringList namesIn(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System |
                                  QDir::NoDotAndDotDot);
}

#ifdef _WIN32
// A file's bytes, whatever another handle of it lets others do.
QByteArray readShared(const QString& path)
{
    const HANDLE file = CreateFileW(reinterpret_cast<const wchar_t*>(path.utf16()), GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
    QByteArray bytes;
    char buffer[4096];
    DWORD n = 0;
    while (file != INVALID_HANDLE_VALUE && ReadFile(file, buffer, sizeof buffer, &n, nullptr) &&
           n > 0)
        bytes.append(buffer, qsizetype(n));
    CloseHandle(file);
    return bytes;
}
#endif

Disk readDisk(const QString& folder)
{
    Disk disk;
    for (const QString& name : namesIn(folder)) {
        const QString path = folder + u'/' + name;
        Entry entry;
#ifdef _WIN32
        const HANDLE file = CreateFileW(
            reinterpret_cast<const wchar_t*>(path.utf16()), FILE_READ_ATTRIBUTES,
            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
            FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        BY_HANDLE_FILE_INFORMATION info = {};
        GetFileInformationByHandle(file, &info);
        CloseHandle(file);
        entry.id = QByteArray::number((quint64(info.nFileIndexHigh) << 32) | info.nFileIndexLow);
        entry.mode = info.dwFileAttributes &
                     (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
        // (The lock file, locked, cannot be read; it is empty.)
        entry.bytes = info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY ? QByteArray("(a folder)")
                      : name == LockName                               ? QByteArray()
                                                                       : readShared(path);
#else
        const QByteArray native = QFile::encodeName(path);
        struct stat st = {};
        ::lstat(native.constData(), &st);
        entry.id = QByteArray::number(quint64(st.st_ino));
        entry.owner = st.st_uid;
        entry.group = st.st_gid;
        entry.mode = st.st_mode & 07777;
        entry.link = S_ISLNK(st.st_mode);
        char target[4096];
        const ssize_t length =
            entry.link ? ::readlink(native.constData(), target, sizeof target) : 0;
        entry.bytes = entry.link ? QByteArray(target, qsizetype(std::max<ssize_t>(length, 0)))
                      : S_ISDIR(st.st_mode) ? QByteArray("(a folder)")
                                            : Scratch::readFile(path);
#endif
        disk.insert(name, entry);
    }
    return disk;
}

// Makes the folder hold `disk` and nothing else: each file written once,
// its other entries linked to it.
void writeDisk(const QString& folder, const Disk& disk)
{
    for (const QString& name : namesIn(folder)) {
        const QString path = folder + u'/' + name;
#ifdef _WIN32
        SetFileAttributesW(reinterpret_cast<const wchar_t*>(path.utf16()), FILE_ATTRIBUTE_NORMAL);
#endif
        if (!QFile::remove(path))
            QDir(path).removeRecursively();
    }
    QMap<QByteArray, QString> made;
    for (auto it = disk.cbegin(); it != disk.cend(); ++it) {
        const QString path = folder + u'/' + it.key();
        const Entry& entry = it.value();
        if (made.contains(entry.id)) {
            hardLink(made[entry.id], path);
            continue;
        }
        made.insert(entry.id, path);
#ifdef _WIN32
        Scratch::writeFile(path, entry.bytes);
        SetFileAttributesW(reinterpret_cast<const wchar_t*>(path.utf16()),
                           entry.mode != 0 ? entry.mode : FILE_ATTRIBUTE_NORMAL);
#else
        const QByteArray native = QFile::encodeName(path);
        if (entry.link) {
            ::symlink(entry.bytes.constData(), native.constData());
        } else {
            const int file = ::open(native.constData(), O_WRONLY | O_CREAT | O_EXCL, 0600);
            if (::write(file, entry.bytes.constData(), size_t(entry.bytes.size())) < 0 ||
                ::fchmod(file, entry.mode) != 0) {
                // A volume that keeps no modes (FAT) has given the one it gives all.
            }
            ::close(file);
        }
        if (::geteuid() == 0)
            ::lchown(native.constData(), entry.owner, entry.group);
#endif
    }
}

// What a state is, whatever the ids its files happen to have.
QByteArray signature(const Disk& disk)
{
    QMap<QByteArray, int> ids;
    QByteArray out;
    for (auto it = disk.cbegin(); it != disk.cend(); ++it) {
        const Entry& entry = it.value();
        if (!ids.contains(entry.id))
            ids.insert(entry.id, int(ids.size()));
        out += it.key().toUtf8() + '|' + QByteArray::number(ids[entry.id]) +
               (entry.link ? "L" : "F") + QByteArray::number(entry.owner) + ':' +
               QByteArray::number(entry.group) + ':' + QByteArray::number(entry.mode, 8) + '|' +
               entry.bytes.toHex() + '\n';
    }
    return out;
}

QString describe(const Disk& disk)
{
    QStringList lines;
    for (auto it = disk.cbegin(); it != disk.cend(); ++it)
        lines << QString("%1 (%2%3 %4:%5 %6): %7")
                     .arg(it.key(), it.value().link ? "link " : "", QString(it.value().id))
                     .arg(it.value().owner)
                     .arg(it.value().group)
                     .arg(it.value().mode, 0, 8)
                     .arg(QString::fromLatin1(it.value().bytes.left(40)));
    return lines.join(u'\n');
}

// ---- What a power loss can leave

// The game folder after a call of a run; whether the call synced it; and
// each file as its data was last synced (those there before the run: as
// they were).
struct Moment
{
    Disk disk;
    bool folderSynced = false;
    QMap<QByteArray, Entry> durable;
};

// The states a power loss before the call that follows moment k can leave:
// the folder as last synced, with any subset of each call's changes of it
// since (in their order); each file whose data was not synced as last
// written, as last synced (else empty, as made) or cut to half.
QList<Disk> powerLossStates(const QList<Moment>& moments, qsizetype k)
{
    qsizetype synced = k;
    while (synced > 0 && !moments[synced].folderSynced)
        --synced;
    QMap<QByteArray, Entry> latest;
    for (qsizetype j = 0; j <= k; ++j) {
        for (const Entry& entry : moments[j].disk)
            latest[entry.id] = entry;
    }
    QList<QMap<QString, std::optional<Entry>>> changes;
    for (qsizetype j = synced + 1; j <= k; ++j) {
        const Disk &before = moments[j - 1].disk, &after = moments[j].disk;
        QMap<QString, std::optional<Entry>> change;
        for (const QString& name : QSet<QString>(before.keyBegin(), before.keyEnd()) +
                                       QSet<QString>(after.keyBegin(), after.keyEnd())) {
            if (!after.contains(name))
                change[name] = std::nullopt;
            else if (!before.contains(name) || before[name].id != after[name].id)
                change[name] = after[name];
        }
        if (!change.isEmpty())
            changes << change;
    }
    QList<Disk> states;
    for (quint32 mask = 0; mask < (1u << changes.size()); ++mask) {
        Disk names = moments[synced].disk;
        for (qsizetype j = 0; j < changes.size(); ++j) {
            for (auto it = changes[j].cbegin(); mask & (1u << j) && it != changes[j].cend(); ++it) {
                if (it.value())
                    names[it.key()] = *it.value();
                else
                    names.remove(it.key());
            }
        }
        for (Entry& entry : names)
            entry = latest.value(entry.id, entry);
        QList<Disk> variants = {names};
        QSet<QByteArray> seen;
        for (const Entry& entry : std::as_const(names)) {
            const auto durable = moments[k].durable.constFind(entry.id);
            if (entry.link || seen.contains(entry.id) ||
                (durable != moments[k].durable.cend() && *durable == entry))
                continue;
            seen.insert(entry.id);
            Entry lost = entry, half = entry;
            if (durable != moments[k].durable.cend()) {
                lost = *durable;
            } else {
                lost.bytes.clear();
                lost.mode = 0600;
            }
            lost.id = entry.id;
            half.bytes.truncate(entry.bytes.size() / 2);
            QList<Disk> more;
            for (const Disk& variant : std::as_const(variants)) {
                for (const Entry& choice : {entry, lost, half}) {
                    Disk state = variant;
                    for (Entry& one : state) {
                        if (one.id == entry.id)
                            one = choice;
                    }
                    more << state;
                }
            }
            variants = more;
        }
        states += variants;
    }
    return states;
}

// ---- The real calls, counted, stopped and recorded

// How a run is stopped at call N; see the head of this file.
enum class Stop { None, Cut, Fail, Partial, Tear };

struct MatrixPath;

// The real calls of a game folder, counted. Stopped at call `at`; where
// not, recording the folder after every change, the calls' data syncs,
// and that another Tarvane cannot take the lock while a change is made.
// A volume without hard links, a system that makes no file without a name
// or no link anew, are played by clearing those; on Windows, which makes
// no link under Wine, a plain file stands for one where `fakeLinks` name it.
class CrashFolder final : public ChangeFolder
{
public:
    CrashFolder(const QString& game, bool named, bool noLinks, bool noNewLinks,
                const QStringList& fakeLinks, int at, Stop stop, const QString& scratch)
        : m_real(openChangeFolder(game)), m_game(game), m_scratch(scratch), m_fakeLinks(fakeLinks),
          m_at(at), m_stop(stop)
    {
        m_real->anonymousFiles = anonymousFiles = !named && m_real->anonymousFiles;
        m_real->hardLinks = hardLinks = !noLinks;
        m_real->newLinks = newLinks = !noNewLinks && m_real->newLinks;
        user = m_real->user;
        if (stop == Stop::None) {
            m_moments.append({readDisk(game), true, {}});
            for (const Entry& entry : std::as_const(m_moments[0].disk))
                m_durable[entry.id] = entry;
            m_moments[0].durable = m_durable;
        }
    }

    mutable int calls = 0;
    mutable bool stopped = false;
    mutable int lockTries = 0;
    int syncs = 0, dataSyncs = 0; // the folder's and the files' asked for
    mutable Disk atStop;          // the folder right after a failed call
    const QList<Moment>& moments() const { return m_moments; }
    // The last moment before call n.
    qsizetype before(int n) const { return m_momentAt.value(n - 1, m_moments.size() - 1); }

    Facts look(const QString& name) const override
    {
        Facts facts;
        call(Look, [&] {
            facts = m_real->look(name);
            if (m_fakeLinks.contains(name) && facts.kind == Kind::File)
                facts.kind = Kind::Link;
        });
        return facts;
    }
    QStringList entries() const override
    {
        return looked([&] { return m_real->entries(); });
    }
    int refusal(const QString& name) const override
    {
        return looked([&] { return m_real->refusal(name); });
    }
    std::unique_ptr<Source> openSource(const QString& path) const override
    {
        std::unique_ptr<Source> source;
        call(Look, [&] { source = m_real->openSource(path); });
        m_sources[source.get()] = path;
        return source;
    }
    std::unique_ptr<Source> openEntry(const QString& name) const override
    {
        std::unique_ptr<Source> source;
        call(Look, [&] { source = m_real->openEntry(name); });
        m_sources[source.get()] = m_game + u'/' + name;
        return source;
    }

    std::unique_ptr<NewFile> create(const QString& name, const QString& entry, const Facts& owner,
                                    quint32 mode) override
    {
        std::unique_ptr<NewFile> file;
        call(
            Change, [&] { file = m_real->create(name, entry, owner, mode); },
            [&](const Disk& now) {
                if (!m_real->anonymousFiles)
                    m_files[file.get()].id = now.value(name).id;
            });
        return file;
    }
    void createLink(const QByteArray& target, const QString& name, const Facts& owner) override
    {
        call(
            Change, [&] { m_real->createLink(target, name, owner); },
            [&](const Disk& now) { m_durable[now.value(name).id] = now.value(name); });
    }
    void write(NewFile& file, Source& source) override
    {
        call(Change, [&] {
            m_files[&file].dirty = true;
            if (calls != m_at || m_stop != Stop::Partial)
                return m_real->write(file, source);
            // Half of it, from a copy of that half.
            const QString half = m_scratch + QStringLiteral("/half");
            const QByteArray bytes = Scratch::readFile(m_sources.value(&source));
            Scratch::writeFile(half, bytes.left(bytes.size() / 2));
            m_real->write(file, *m_real->openSource(half));
        });
    }
    void give(NewFile& file, const Facts& like) override
    {
        call(Change, [&] {
            m_files[&file].dirty = true;
            m_real->give(file, like);
        });
    }
    void syncData(NewFile& file) override
    {
        ++dataSyncs;
        call(
            Change, [&] { m_real->syncData(file); },
            [&](const Disk& now) {
                m_files[&file].dirty = false;
                noteSynced(now, m_files[&file].id);
            });
    }
    void name(NewFile& file, const QString& name) override
    {
        call(
            Change, [&] { m_real->name(file, name); },
            [&](const Disk& now) {
                m_files[&file].id = now.value(name).id;
                if (!m_files[&file].dirty)
                    noteSynced(now, m_files[&file].id);
            });
    }
    bool link(const QString& entry, const QString& name) override
    {
        bool made = false;
        call(Change, [&] { made = m_real->link(entry, name); });
        return made;
    }
    void rename(const QString& from, const QString& to) override
    {
        if (m_stop == Stop::Tear && calls + 1 == m_at && from.endsWith(u".tarvane-new") &&
            !to.startsWith(u'.')) {
            ++calls;
            m_real->remove(from, true);
            stopped = true;
            atStop = readDisk(m_game);
            throw PlatformError(-1, QStringLiteral("the power went half-way through a rename"));
        }
        call(Change, [&] { m_real->rename(from, to); });
    }
    void remove(const QString& name, bool mustExist) override
    {
        call(Change, [&] { m_real->remove(name, mustExist); });
    }
    void sync() override
    {
        ++syncs;
        call(Sync, [&] { m_real->sync(); });
    }
    Lock lock(const QString& name, const Facts& owner) override
    {
        // A wait without end is cut short here.
        if (++lockTries > 1000)
            throw PlatformError(-3, QStringLiteral("the wait for the lock has no end"));
        Lock taken = Lock::Refused;
        call(
            Taking, [&] { taken = m_real->lock(name, owner); },
            [&](const Disk& now) {
                if (now.contains(LockName))
                    m_durable[now[LockName].id] = now[LockName];
            });
        return taken;
    }
    void unlock() override
    {
        call(Taking, [&] { m_real->unlock(); });
    }
    QString path(const QString& name) const override { return m_real->path(name); }

private:
    enum CallKind { Look, Change, Sync, Taking };

    template <typename Primitive> auto looked(Primitive primitive) const -> decltype(primitive())
    {
        decltype(primitive()) result{};
        call(Look, [&] { result = primitive(); });
        return result;
    }

    // Counts the call and stops it where it is the one; records the folder
    // after a change, `after` noting what it made durable; and checks
    // before a change that the lock is held.
    template <typename Primitive, typename After = std::nullptr_t>
    void call(CallKind kind, Primitive primitive, After after = nullptr) const
    {
        const int n = ++calls;
        const bool recording = m_stop == Stop::None;
        if (recording)
            m_momentAt.append(m_moments.size() - 1);
        if (m_stop == Stop::Cut && n >= m_at)
            throw PlatformError(-1, QStringLiteral("the power is off"));
        if (m_stop == Stop::Fail && n == m_at) {
            stopped = true;
            atStop = readDisk(m_game);
            throw PlatformError(-2, QStringLiteral("injected"));
        }
        if (recording && (kind == Change || kind == Sync)) {
            const auto other = openChangeFolder(m_game);
            EXPECT_NE(other->lock(LockName, {}), Lock::Taken)
                << "a change of the folder made without its lock, at call " << n;
        }
        primitive();
        const auto real = static_cast<const ChangeFolder*>(m_real.get());
        const_cast<CrashFolder*>(this)->anonymousFiles = real->anonymousFiles;
        const_cast<CrashFolder*>(this)->hardLinks = real->hardLinks;
        if (m_stop == Stop::Partial && n == m_at && kind != Look) {
            stopped = true;
            atStop = readDisk(m_game);
            throw PlatformError(-2, QStringLiteral("injected, after the change"));
        }
        if (!recording || kind == Look)
            return;
        const Disk now = readDisk(m_game);
        if constexpr (!std::is_same_v<After, std::nullptr_t>)
            after(now);
        m_moments.append({now, kind == Sync, m_durable});
    }

    void noteSynced(const Disk& now, const QByteArray& id) const
    {
        for (const Entry& entry : now) {
            if (!id.isEmpty() && entry.id == id)
                m_durable[id] = entry;
        }
    }

    struct Track
    {
        bool dirty = false;
        QByteArray id;
    };

    std::unique_ptr<ChangeFolder> m_real;
    QString m_game, m_scratch;
    QStringList m_fakeLinks;
    int m_at;
    Stop m_stop;
    mutable QList<Moment> m_moments;
    mutable QList<qsizetype> m_momentAt;
    mutable QMap<QByteArray, Entry> m_durable;
    mutable QHash<const NewFile*, Track> m_files;
    mutable QHash<const Source*, QString> m_sources;
};

// ---- The paths

// A way a change goes: a Load into a game folder with a pair, none, only
// AIRFIELD.DAT, a pair spelled in lower case, an old FRNTLINE.DAT with
// another link (kept as a copy) or that is a link (made anew; moved aside by
// a Remove where a link cannot be made anew); staged without a name or
// named; kept by a hard link or, on a volume without them, a copy; a
// Remove; root's change of another user's pair (the player recovering after
// it, too); and on a FAT volume.
struct MatrixPath
{
    const char* name;
    enum { Load, Remove } change = Load;
    bool named = false;
    bool noLinks = false;
    enum { Pair, Empty, OnlyAirfields, LinkedElsewhere, LowerCase, Link } old = Pair;
    enum { Own, OtherUsers, PlayerRecovers } owner = Own;
    enum { Disk, Fat, ExFat } volume = Disk;
};

const MatrixPath Paths[] = {
    {"LoadAnonymousKeptByLink"},
    {"LoadNamedKeptByLink", MatrixPath::Load, true},
    {"LoadAnonymousNoHardLinks", MatrixPath::Load, false, true},
    {"LoadNamedNoHardLinks", MatrixPath::Load, true, true},
    {"LoadIntoAnEmptyFolder", MatrixPath::Load, false, false, MatrixPath::Empty},
    {"LoadIntoAHalfFolder", MatrixPath::Load, false, false, MatrixPath::OnlyAirfields},
    {"LoadKeptByCopy", MatrixPath::Load, false, false, MatrixPath::LinkedElsewhere},
    {"LoadLinkMadeAnew", MatrixPath::Load, false, false, MatrixPath::Link},
    {"LoadLowerCasePair", MatrixPath::Load, false, false, MatrixPath::LowerCase},
    {"RemoveKeptByLink", MatrixPath::Remove},
    {"RemoveNoHardLinks", MatrixPath::Remove, false, true},
    {"RemoveLowerCasePair", MatrixPath::Remove, false, false, MatrixPath::LowerCase},
    {"RemoveLinkMovedAside", MatrixPath::Remove, false, false, MatrixPath::Link},
    {"RootLoadOverOthersPair", MatrixPath::Load, false, false, MatrixPath::Pair,
     MatrixPath::OtherUsers},
    {"RootLoadOverOthersLinkedPair", MatrixPath::Load, false, false, MatrixPath::LinkedElsewhere,
     MatrixPath::OtherUsers},
    {"RootRemoveOfOthersPair", MatrixPath::Remove, false, false, MatrixPath::Pair,
     MatrixPath::OtherUsers},
    {"RootLoadThePlayerRecovers", MatrixPath::Load, false, false, MatrixPath::Pair,
     MatrixPath::PlayerRecovers},
    {"RootLoadIntoThePlayersHalfFolder", MatrixPath::Load, false, false, MatrixPath::OnlyAirfields,
     MatrixPath::PlayerRecovers},
    {"LoadOnFat", MatrixPath::Load, false, false, MatrixPath::Pair, MatrixPath::Own,
     MatrixPath::Fat},
    {"RemoveOnFat", MatrixPath::Remove, false, false, MatrixPath::Pair, MatrixPath::Own,
     MatrixPath::Fat},
    {"LoadOnExFat", MatrixPath::Load, false, false, MatrixPath::Pair, MatrixPath::Own,
     MatrixPath::ExFat},
    {"RemoveOnExFat", MatrixPath::Remove, false, false, MatrixPath::Pair, MatrixPath::Own,
     MatrixPath::ExFat},
};

void PrintTo(const MatrixPath& path, std::ostream* out)
{
    *out << path.name;
}

const auto pathName = [](const testing::TestParamInfo<MatrixPath>& info) {
    return std::string(info.param.name);
};

#ifndef _WIN32
constexpr uid_t Player = 4242;

// While it lives, this process acts as the player.
class AsThePlayer
{
public:
    explicit AsThePlayer(bool really) : m_really(really)
    {
        if (!m_really)
            return;
        m_groups.resize(::getgroups(0, nullptr));
        ::getgroups(int(m_groups.size()), m_groups.data());
        if (::setgroups(0, nullptr) != 0 || ::setegid(Player) != 0 || ::seteuid(Player) != 0)
            ADD_FAILURE() << "cannot act as the player";
    }
    ~AsThePlayer()
    {
        if (m_really && (::seteuid(0) != 0 || ::setegid(0) != 0 ||
                         ::setgroups(m_groups.size(), m_groups.data()) != 0))
            std::abort();
    }

private:
    bool m_really;
    std::vector<gid_t> m_groups;
};

// A FAT or exFAT volume of its own, through FUSE (fusefat; exfat-fuse, on
// a loop device), while it lives; `why` says why there is none.
class Volume
{
public:
    Volume(const Scratch& scratch, bool exFat) : m_mount(scratch.path("volume"))
    {
        scratch.makeFolder("volume");
        const QString image = scratch.path("volume.img");
        QFile(image).open(QIODevice::WriteOnly);
        QFile::resize(image, 4 << 20);
        const auto fails = [](const QString& program, const QStringList& arguments) {
            QProcess process;
            process.start(program, arguments);
            return !process.waitForFinished() || process.exitCode() != 0;
        };
        // (A file deleted while the server still has it open is only
        // hidden, unless hard_remove.)
        if (!QFile::exists("/dev/fuse"))
            why = "no /dev/fuse here";
        else if (!exFat && fails("mkfs.fat", {"-S", "512", image}))
            why = "mkfs.fat is missing (the test command installs dosfstools)";
        else if (!exFat && fails("fusefat", {"-o", "rw+,hard_remove", image, m_mount}))
            why = "fusefat cannot mount here (the test command installs it)";
        else if (exFat && ::geteuid() != 0)
            why = "needs root to put the exFAT image on a loop device";
        else if (exFat && fails("mkfs.exfat", {image}))
            why = "mkfs.exfat is missing (the test command installs exfatprogs)";
        else if (exFat && (m_device = attach(image)).isEmpty())
            why = "no loop device here";
        else if (exFat && fails("mount.exfat-fuse", {"-o", "hard_remove", m_device, m_mount}))
            why = "exfat-fuse cannot mount here (the test command installs it)";
        else
            m_mounted = true;
    }
    ~Volume()
    {
        if (m_mounted)
            ::umount2(QFile::encodeName(m_mount).constData(), MNT_DETACH);
        if (!m_device.isEmpty())
            QProcess::execute("losetup", {"-d", m_device});
    }
    QString why;

private:
    static QString attach(const QString& image)
    {
        QProcess losetup;
        losetup.start("losetup", {"-f", "--show", image});
        losetup.waitForFinished();
        return QString::fromLocal8Bit(losetup.readAllStandardOutput()).trimmed();
    }

    QString m_mount, m_device;
    bool m_mounted = false;
};
#endif

class CrashMatrix : public testing::TestWithParam<MatrixPath>
{
protected:
    void SetUp() override
    {
        for (const char* name : {"FRNTLINE.DAT", "AIRFIELD.DAT"})
            scratch.write(QString("new/") + name, "new " + QByteArray(name));
#ifdef _WIN32
        if (GetParam().owner != MatrixPath::Own)
            GTEST_SKIP() << "needs root to give the pair to another user";
        if (GetParam().volume != MatrixPath::Disk)
            GTEST_SKIP() << "the FUSE volumes are Linux's";
        if (GetParam().old == MatrixPath::Link && GetParam().change == MatrixPath::Load)
            GTEST_SKIP() << "Windows makes no link anew (a Load over one is refused)";
#else
        if (GetParam().owner != MatrixPath::Own && ::geteuid() != 0)
            GTEST_SKIP() << "needs root to give the pair to another user";
        if (GetParam().volume != MatrixPath::Disk) {
            volume.emplace(scratch, GetParam().volume == MatrixPath::ExFat);
            if (!volume->why.isEmpty())
                GTEST_SKIP() << qPrintable(volume->why);
        }
#endif
        reset();
        outside = outsideTheGameFolder();
    }

    QString gameFolder() const
    {
        return GetParam().volume != MatrixPath::Disk ? "volume/game" : "game";
    }
    QString game() const
    {
        return scratch.path(gameFolder());
    }
    QString frontline() const
    {
        return GetParam().old == MatrixPath::LowerCase ? "frntline.dat" : "FRNTLINE.DAT";
    }
    QString airfields() const
    {
        return GetParam().old == MatrixPath::LowerCase ? "airfield.dat" : "AIRFIELD.DAT";
    }

    void reset() const
    {
        QDir(game()).removeRecursively();
        scratch.write(gameFolder() + "/other.txt", "not the game's pair");
        const auto old = GetParam().old;
        if (old != MatrixPath::Empty)
            scratch.write(gameFolder() + '/' + airfields(), "old AIRFIELD.DAT");
        if (old == MatrixPath::Pair || old == MatrixPath::LowerCase)
            scratch.write(gameFolder() + '/' + frontline(), "old FRNTLINE.DAT");
        if (old == MatrixPath::LinkedElsewhere) {
            scratch.write("elsewhere/FRNTLINE.DAT", "old FRNTLINE.DAT");
            ASSERT_TRUE(hardLink(scratch.path("elsewhere/FRNTLINE.DAT"), game() + "/FRNTLINE.DAT"));
        }
        // Both links: the last moved aside is the mark.
        for (const QString& name : names()) {
#ifdef _WIN32
            if (old == MatrixPath::Link)
                scratch.write(gameFolder() + '/' + name, "a link, as Wine cannot make one");
#else
            const QString target = scratch.path("elsewhere/" + name);
            if (old == MatrixPath::Link) {
                scratch.write("elsewhere/" + name, "old " + name.toLatin1());
                QFile::remove(game() + '/' + name);
                ASSERT_TRUE(QFile::link(target, game() + '/' + name));
            }
#endif
        }
#ifndef _WIN32
        // Another user's pair (the player's), in the player's game folder.
        ::chmod(QFile::encodeName(scratch.path()).constData(), 0755);
        for (const QString& entry : QStringList{""} + scratch.entries(gameFolder())) {
            if (GetParam().owner != MatrixPath::Own)
                ::lchown(QFile::encodeName(game() + '/' + entry).constData(), Player, Player);
        }
#endif
    }

    QMap<QString, QByteArray> outsideTheGameFolder() const
    {
        QMap<QString, QByteArray> entries = snapshot(scratch.path());
        entries.removeIf([&](const auto& entry) {
            return entry.key().startsWith(gameFolder()) || entry.key().startsWith(u"volume") ||
                   entry.key() == u"half" || entry.key() == u"trace.log";
        });
        return entries;
    }

    // "old" or "new", else what is wrong: the game folder exactly as
    // before; or the new pair (with the old files' owners and modes) and
    // nothing else. A lock file a failed unlock left may stay, where
    // `lockMayStay`.
    QString outcome(Disk now, bool lockMayStay = false) const
    {
        if (lockMayStay)
            now.remove(LockName);
        if (signature(now) == signature(before))
            return "old";
        Disk expected = before;
        for (const QString& name : {frontline(), airfields()}) {
            const std::optional<Entry> old =
                before.contains(name) ? std::optional(before[name]) : std::nullopt;
            if (GetParam().change == MatrixPath::Remove) {
                expected.remove(name);
                continue;
            }
            Entry made = now.value(name);
            made.id = "new " + name.toLatin1();
            made.bytes = "new " + name.toUpper().toLatin1();
            made.link = false;
            if (old && !old->link)
                made.owner = old->owner, made.group = old->group, made.mode = old->mode;
            expected[name] = made;
        }
        if (signature(now) == signature(expected))
            return "new";
        return "neither:\n" + describe(now) + "\nexpected:\n" + describe(expected);
    }

    CrashFolder folder(int at = 0, Stop stop = Stop::None) const
    {
        const bool link = GetParam().old == MatrixPath::Link;
#ifdef _WIN32
        const QStringList fakeLinks = link ? names() : QStringList();
#else
        const QStringList fakeLinks;
#endif
        return CrashFolder(game(), GetParam().named, GetParam().noLinks,
                           link && GetParam().change == MatrixPath::Remove, fakeLinks, at, stop,
                           scratch.path());
    }

    QStringList names() const
    {
        return {frontline(), airfields()};
    }

    // The change under test over `folder`: the failure it raised, if any.
    std::optional<PlatformError> change(ChangeFolder& folder) const
    {
        try {
            if (GetParam().change == MatrixPath::Remove)
                PairJournal::remove(folder, names(), {});
            else
                PairJournal::copy(
                    folder, names(),
                    {scratch.path("new/FRNTLINE.DAT"), scratch.path("new/AIRFIELD.DAT")}, {});
            return std::nullopt;
        } catch (const PlatformError& error) {
            return error;
        }
    }

    // A start's recovery over `folder`, by the player where root made the
    // change: the failure it raised, if any.
    std::optional<PlatformError> recover(ChangeFolder& folder) const
    {
#ifndef _WIN32
        const AsThePlayer player(GetParam().owner == MatrixPath::PlayerRecovers);
#endif
        try {
            PairJournal::finishInterrupted(folder, names());
            return std::nullopt;
        } catch (const PlatformError& error) {
            return error;
        }
    }

    Scratch scratch;
#ifndef _WIN32
    std::optional<Volume> volume;
#endif
    QMap<QString, QByteArray> outside;
    Disk before;
};

} // namespace

TEST_P(CrashMatrix, EveryCutFailureAndPowerLossRecoversToTheOldPairOrTheNewOne)
{
    const MatrixPath& path = GetParam();
    const QString done = "new";
    reset();
    before = readDisk(game());
    // The whole change, recorded.
    int total = 0;
    QList<Moment> whole;
    std::vector<qsizetype> momentOf = {0};
    {
        CrashFolder run = folder();
        const auto failure = change(run);
        ASSERT_FALSE(failure) << qPrintable(failure->description() + ": " + failure->path());
        ASSERT_EQ(outcome(readDisk(game())), done);
        total = run.calls;
        whole = run.moments();
        for (int n = 1; n <= total; ++n)
            momentOf.push_back(run.before(n));
    }

    // Every state the change can leave, then every state a recovery from
    // one of them can leave; each recovered whole.
    QSet<QByteArray> seen;
    QList<Disk> states;
    const auto reached = [&](const Disk& state) {
        if (!seen.contains(signature(state))) {
            seen.insert(signature(state));
            states << state;
        }
    };
    int cuts = 0, powerLoss = 0, failed = 0, partway = 0, torn = 0, recoveryCuts = 0;
    for (int n = 1; n <= total; ++n) {
        SCOPED_TRACE(QString("cut at call %1").arg(n).toStdString());
        reset();
        {
            CrashFolder cut = folder(n, Stop::Cut);
            change(cut);
        }
        const Disk left = readDisk(game());
        EXPECT_EQ(signature(left), signature(whole[momentOf[size_t(n)]].disk))
            << "something reached the disk after the cut:\n"
            << qPrintable(describe(left));
        ++cuts;
        for (const Disk& state : powerLossStates(whole, momentOf[size_t(n)])) {
            ++powerLoss;
            reached(state);
        }
    }
    for (const Stop stop : {Stop::Fail, Stop::Partial, Stop::Tear}) {
        for (int n = 1; n <= total; ++n) {
            SCOPED_TRACE(QString("stopped (%1) at call %2").arg(int(stop)).arg(n).toStdString());
            reset();
            CrashFolder run = folder(n, stop);
            const auto failure = change(run);
            if (!run.stopped)
                continue;
            failed += stop == Stop::Fail;
            partway += stop == Stop::Partial;
            torn += stop == Stop::Tear;
            // Undone at once (a lock file a failed unlock leaves may stay),
            // or said to be done.
            const Disk left = readDisk(game());
            const QString now = outcome(left, true);
            EXPECT_TRUE(now == "old" || now == done) << qPrintable(now);
            if (now == done && failure) {
                EXPECT_TRUE(failure->changeDone()) << "a done change reported as failed";
            }
            reached(run.atStop);
            reached(left);
        }
    }

    int old = 0, made = 0;
    for (qsizetype next = 0; next < states.size(); ++next) {
        const Disk state = states[next];
        SCOPED_TRACE(qPrintable("recovering from:\n" + describe(state)));
        writeDisk(game(), state);
        CrashFolder run = folder();
        const auto failure = recover(run);
        ASSERT_FALSE(failure) << qPrintable(failure->description() + ": " + failure->path());
        const QString now = outcome(readDisk(game()));
        ASSERT_TRUE(now == "old" || now == done) << qPrintable(now);
        old += now == "old";
        made += now == done;
        EXPECT_EQ(outsideTheGameFolder(), outside);
        // A recovery that fails at a call stops there as a cut one does;
        // one that goes on past a failed deletion leaves what a power loss
        // that loses that deletion leaves.
        for (int n = 1; n <= run.calls; ++n) {
            ++recoveryCuts;
            for (const Disk& cut : powerLossStates(run.moments(), run.before(n)))
                reached(cut);
        }
    }
    // The matrix's row.
    std::printf("| %s | %d | %d | %d | %d | %d | %d | %lld | %d | %d/%d |\n", path.name, total,
                cuts, powerLoss, failed, partway, torn, static_cast<long long>(states.size()),
                recoveryCuts, old, made);
}

INSTANTIATE_TEST_SUITE_P(Paths, CrashMatrix, testing::ValuesIn(Paths), pathName);

#ifndef _WIN32

namespace {

// Runs `command` and kills it on entry of the n-th system call it makes
// after it writes "changing", of those `calls` (all, where empty); for n 0,
// not at all. Gives how many such calls it made, and how many of them
// synced `folder` or a file in it. What it writes goes to a file in the
// temporary folder. A seccomp filter stops the program at those calls
// alone, so that the rest of its run (Wine starting) goes at full speed.
// (strace's own kill does not work together with its seccomp filter.)
struct Traced
{
    int calls = 0, folderSyncs = 0, fileSyncs = 0;
    // What the run wrote, where it could not be traced or ran past a
    // minute; else empty.
    QByteArray failed;
};
Traced killAt(const QStringList& command, int n, const QString& folder,
              const QList<long>& calls = {})
{
    const QByteArray output =
        QFile::encodeName(QDir::tempPath() + QString("/tarvane-load-pair-%1.out").arg(::getpid()));
    std::vector<QByteArray> arguments;
    for (const QString& argument : command)
        arguments.push_back(QFile::encodeName(argument));
    std::vector<char*> argv;
    for (QByteArray& argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    std::vector<sock_filter> filter = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr))};
    for (const long call : calls)
        filter.push_back(BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __u32(call),
                                  __u8(calls.size() + 1 - filter.size()), 0));
    if (!calls.isEmpty())
        filter.push_back(BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW));
    filter.push_back(BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_TRACE));
    const sock_fprog program = {static_cast<unsigned short>(filter.size()), filter.data()};
    std::fflush(nullptr);
    const pid_t child = ::fork();
    if (child == 0) {
        // (Wine writes nothing to /dev/null: a file it is.)
        const int quiet = ::open(output.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ::dup2(quiet, 1);
        ::dup2(quiet, 2);
        if (quiet < 0 || ::ptrace(PTRACE_TRACEME, 0, nullptr, nullptr) != 0)
            ::_exit(125);
        ::raise(SIGSTOP);
        if (::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0 ||
            ::prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) != 0)
            ::_exit(126);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    // A run that hangs is ended after a minute, and said to have.
    std::atomic<bool> done = false, hung = false;
    std::thread watchdog([&] {
        for (int waited = 0; !done && waited < 600; ++waited)
            QThread::msleep(100);
        if (!done) {
            hung = true;
            ::kill(child, SIGKILL);
        }
    });
    Traced made;
    int status = 0;
    ::waitpid(child, &status, 0);
    ::ptrace(PTRACE_SETOPTIONS, child, nullptr,
             PTRACE_O_TRACESECCOMP | PTRACE_O_EXITKILL | PTRACE_O_TRACECLONE | PTRACE_O_TRACEFORK |
                 PTRACE_O_TRACEVFORK | PTRACE_O_TRACEEXEC);
    ::ptrace(PTRACE_CONT, child, nullptr, nullptr);
    bool changing = false;
    int exitStatus = -1;
    for (;;) {
        const pid_t stopped = ::waitpid(-1, &status, __WALL);
        if (stopped < 0)
            break;
        if (WIFEXITED(status) && stopped == child)
            exitStatus = WEXITSTATUS(status);
        if (!WIFSTOPPED(status))
            continue;
        int signal = WSTOPSIG(status);
        if (status >> 8 == (SIGTRAP | (PTRACE_EVENT_SECCOMP << 8))) {
            signal = 0;
            user_regs_struct registers;
            ::ptrace(PTRACE_GETREGS, stopped, nullptr, &registers);
            if (changing && ++made.calls == n) {
                ::kill(child, SIGKILL);
                continue;
            }
            // The file or folder a sync is for, as the system names it.
            if (changing && registers.orig_rax == SYS_fsync) {
                const QString synced =
                    QFile::symLinkTarget(QString("/proc/%1/fd/%2").arg(stopped).arg(registers.rdi));
                made.folderSyncs += synced == folder;
                made.fileSyncs += synced.startsWith(folder + '/');
            }
            if (registers.orig_rax == SYS_write) {
                const long text = ::ptrace(PTRACE_PEEKDATA, stopped,
                                           reinterpret_cast<void*>(registers.rsi), nullptr);
                changing = changing || std::memcmp(&text, "changing", 8) == 0;
            }
        } else if (status >> 16 != 0 || signal == SIGTRAP || signal == SIGSTOP) {
            signal = 0; // a new thread, process or program, or its first stop
        }
        ::ptrace(PTRACE_CONT, stopped, nullptr, signal);
    }
    done = true;
    watchdog.join();
    QFile written(QFile::decodeName(output));
    if (hung || made.calls == 0)
        made.failed =
            (hung ? QByteArray("ran past a minute: ")
                  : "made no call traced (exit status " + QByteArray::number(exitStatus) + "): ") +
            (written.open(QIODevice::ReadOnly) ? written.readAll() : QByteArray());
    written.remove();
    return made;
}

// The real program killed at every system call of a change (load_pair, a
// Load or a Remove in a process of its own, the path of each row forced by
// its options), and then a start's recovery: the old pair or the new one.
// On Windows the same of load_pair.exe under Wine, where
// TARVANE_WINDOWS_LOAD_PAIR names it (scripts/setup windows does): a Windows
// program asks wineserver for every open, link, rename and delete with a
// write to its request pipe, and writes and flushes data itself, so a kill
// on entry of each write, writev and fsync stops it between any two changes.
class KilledChange : public CrashMatrix
{
protected:
    void SetUp() override
    {
        CrashMatrix::SetUp();
        if (!IsSkipped() && GetParam().old == MatrixPath::Link &&
            GetParam().change == MatrixPath::Remove)
            GTEST_SKIP() << "Linux makes a link anew: none is moved aside here";
    }

    // load_pair's command for the row, its paths as `path` gives them.
    QStringList command(const QStringList& program,
                        const std::function<QString(const QString&)>& path) const
    {
        QStringList command = program;
        if (GetParam().named)
            command << "--named";
        if (GetParam().noLinks)
            command << "--no-hard-links";
        command << path(game());
        if (GetParam().change == MatrixPath::Load)
            command << path(scratch.path("new/FRNTLINE.DAT"))
                    << path(scratch.path("new/AIRFIELD.DAT"));
        return command;
    }

    // Kills `command` at each of its `calls` in turn, each time from the
    // old pair, and hands the game folder it left to `killed`. Run whole,
    // it makes a real sync of the folder for every one the journal asks for
    // on the row's path, and of a file for every file's.
    int killAtEach(const QStringList& command, const QList<long>& calls,
                   const std::function<void(int)>& whenKilled)
    {
        reset();
        before = readDisk(game());
        CrashFolder asked = folder();
        change(asked);
        reset();
        const Traced made = killAt(command, 0, QFileInfo(game()).canonicalFilePath(), calls);
        EXPECT_TRUE(made.failed.isEmpty()) << made.failed.constData();
        EXPECT_EQ(outcome(readDisk(game())), "new");
        EXPECT_GT(made.calls, 20);
        EXPECT_GE(made.folderSyncs, asked.syncs) << "a sync of the folder that is none";
        EXPECT_GE(made.fileSyncs, asked.dataSyncs) << "a sync of a file that is none";
        for (int n = 1; n <= made.calls && !HasFatalFailure(); ++n) {
            // Wine now and then fails to start a program right after one was
            // killed (exit status 1, nothing written): such a run reached
            // no call, and is run again.
            Traced killed;
            for (int tries = 0; tries < 3 && (tries == 0 || killed.calls == 0); ++tries) {
                if (tries > 0)
                    QThread::msleep(500);
                reset();
                killed = killAt(command, n, {}, calls);
            }
            if (!killed.failed.isEmpty()) {
                ADD_FAILURE() << "killed at " << n << ": " << killed.failed.constData();
                break;
            }
            whenKilled(n);
        }
        return made.calls;
    }
};

} // namespace

TEST_P(KilledChange, AtEverySystemCallTheNextStartRecoversTheOldPairOrTheNewOne)
{
    int old = 0;
    const int kills = killAtEach(
        command({TARVANE_LOAD_PAIR}, [](const QString& path) { return path; }), {}, [&](int n) {
            SCOPED_TRACE(n);
            const auto failure = recover(*openChangeFolder(game()));
            ASSERT_FALSE(failure) << qPrintable(failure->description() + ": " + failure->path());
            const QString now = outcome(readDisk(game()));
            ASSERT_TRUE(now == "old" || now == "new") << qPrintable(now);
            old += now == "old";
        });
    std::printf("| %s | %d | %d | %d |\n", GetParam().name, kills, old, kills - old);
}

TEST_P(KilledChange, UnderWineAtEveryRequestTheNextStartRecoversTheOldPairOrTheNewOne)
{
    const QString program = qEnvironmentVariable("TARVANE_WINDOWS_LOAD_PAIR");
    if (program.isEmpty())
        GTEST_SKIP() << "run by scripts/setup windows, with load_pair.exe";
    if (GetParam().owner != MatrixPath::Own || GetParam().volume != MatrixPath::Disk ||
        GetParam().old == MatrixPath::Link)
        GTEST_SKIP() << "not a Windows path";
    if (GetParam().named)
        GTEST_SKIP() << "Windows names every new file: the row without a name is this one";
    // Wine's drive Z: is the root folder.
    const auto windows = [](const QString& path) -> QString {
        return "Z:" + QDir::toNativeSeparators(path);
    };
    // Each killed change's game folder kept, for one recovery of them all.
    QList<Disk> states;
    const QStringList wine = {QStandardPaths::findExecutable("wine"), program};
    const int kills = killAtEach(command(wine, windows), {SYS_write, SYS_writev, SYS_fsync},
                                 [&](int) { states << readDisk(game()); });
    QStringList killed, recovery = wine.mid(1) << "--recover";
    for (const Disk& state : std::as_const(states)) {
        killed << scratch.path(QString("killed/%1").arg(killed.size()));
        scratch.makeFolder(QString("killed/%1").arg(killed.size() - 1));
        writeDisk(killed.last(), state);
        recovery << windows(killed.last());
    }
    QProcess::execute(wine.first(), recovery);
    int old = 0;
    for (qsizetype i = 0; i < killed.size(); ++i) {
        const QString now = outcome(readDisk(killed[i]));
        EXPECT_TRUE(now == "old" || now == "new")
            << "killed at " << i + 1 << ": " << qPrintable(now);
        old += now == "old";
    }
    std::printf("| %s, Windows | %d | %d | %d |\n", GetParam().name, kills, old, kills - old);
}

INSTANTIATE_TEST_SUITE_P(Paths, KilledChange, testing::ValuesIn(Paths), pathName);

#endif

namespace {

// What holds the game folder's lock or stands in its file's place, and
// what a Load then reports: the folder in use (after three seconds, and no
// more: the stand-in below cuts a longer wait short) or the lock file named.
struct LockCase
{
    const char* name;
    std::function<void(const QString& game)> prepare;
    PlatformError::Failure failure;
    bool asThePlayer = false;
};

void PrintTo(const LockCase& c, std::ostream* out)
{
    *out << c.name;
}

class GameFolderLock : public testing::TestWithParam<LockCase>
{};

} // namespace

TEST_P(GameFolderLock, WhatHoldsItOrStandsInItsPlaceIsReportedAndNothingChanges)
{
    const LockCase& c = GetParam();
    Scratch scratch;
    const QString game = scratch.path("game");
    for (const char* name : {"FRNTLINE.DAT", "AIRFIELD.DAT"}) {
        scratch.write(QString("game/") + name, "old");
        scratch.write(QString("new/") + name, "new");
    }
#ifndef _WIN32
    if (c.asThePlayer && ::geteuid() != 0)
        GTEST_SKIP() << "needs root to leave a lock file the player may not open";
    ::chmod(QFile::encodeName(scratch.path()).constData(), 0755);
    for (const QString& entry : QStringList{"", "/FRNTLINE.DAT", "/AIRFIELD.DAT"}) {
        if (c.asThePlayer)
            ::chown(QFile::encodeName(game + entry).constData(), Player, Player);
    }
#endif
    std::unique_ptr<ChangeFolder> holder = openChangeFolder(game);
    c.prepare(game);
    if (c.failure == PlatformError::Failure::Busy && !c.asThePlayer) {
        ASSERT_EQ(holder->lock(LockName, {}), ChangeFolder::Lock::Taken);
    }
    const Disk before = readDisk(game);

    CrashFolder folder(game, false, false, false, {}, 0, Stop::None, scratch.path());
    std::optional<PlatformError> failure;
    try {
#ifndef _WIN32
        const AsThePlayer player(c.asThePlayer);
#endif
        PairJournal::copy(folder, {"FRNTLINE.DAT", "AIRFIELD.DAT"},
                          {scratch.path("new/FRNTLINE.DAT"), scratch.path("new/AIRFIELD.DAT")}, {});
    } catch (const PlatformError& error) {
        failure = error;
    }
    ASSERT_TRUE(failure);
    EXPECT_TRUE(failure->is(c.failure))
        << failure->number() << " " << qPrintable(failure->description());
    EXPECT_EQ(failure->path(), QDir::toNativeSeparators(c.failure == PlatformError::Failure::Busy
                                                            ? game
                                                            : game + "/" + LockName));
    EXPECT_LT(folder.lockTries, 1000);
    EXPECT_EQ(signature(readDisk(game)), signature(before));
}

std::vector<LockCase> lockCases()
{
    using Failure = PlatformError::Failure;
    std::vector<LockCase> cases = {{"HeldByAnotherTarvane", [](const QString&) {}, Failure::Busy},
                                   {"AFolderInItsPlace",
                                    [](const QString& game) { QDir(game).mkdir(LockName); },
                                    Failure::NotALockFile}};
#ifndef _WIN32
    cases.push_back(
        {"ALinkInItsPlace",
         [](const QString& game) { QFile::link(game + "/FRNTLINE.DAT", game + "/" + LockName); },
         Failure::NotALockFile});
    // Root's, left by a root Tarvane killed before it gave the file away.
    cases.push_back({"OneThePlayerMayNotOpen",
                     [](const QString& game) {
                         Scratch::writeFile(game + "/" + LockName, {});
                         ::chmod(QFile::encodeName(game + "/" + LockName).constData(), 0600);
                     },
                     Failure::Busy, true});
#endif
    return cases;
}

INSTANTIATE_TEST_SUITE_P(Cases, GameFolderLock, testing::ValuesIn(lockCases()),
                         [](const testing::TestParamInfo<LockCase>& info) {
                             return std::string(info.param.name);
                         });

// Leftovers spelled in another case than the pair go back over the game
// file as the folder spells it, never beside it; and a game file larger
// than any set file is still kept as a copy where the volume has no hard
// links.
TEST(Recovery, LeftoversInAnotherCaseGoBackOverTheGameFile)
{
    Scratch scratch;
    const QString game = scratch.path("game");
    scratch.write("game/FRNTLINE.DAT", "new FRNTLINE.DAT");
    scratch.write("game/AIRFIELD.DAT", "old AIRFIELD.DAT");
    scratch.write("game/.frntline.dat.tarvane-old", "old FRNTLINE.DAT");
    scratch.write("game/.airfield.dat.tarvane-old", "old AIRFIELD.DAT");
    PairJournal::finishInterrupted(*openChangeFolder(game), {"FRNTLINE.DAT", "AIRFIELD.DAT"});
    EXPECT_EQ(scratch.entries("game"), (QStringList{"AIRFIELD.DAT", "FRNTLINE.DAT"}));
    EXPECT_EQ(scratch.read("game/FRNTLINE.DAT"), "old FRNTLINE.DAT");
}

// What another can plant under a temporary's name stops a recovery before
// anything changes, named: a folder; another file linked in; a file every
// user may write where the game file is not; another user's file.
TEST(Recovery, WhatNoTarvaneOfThisUserMadeIsLeftAloneAndNamed)
{
    struct Planted
    {
        const char* name;
        std::function<void(const Scratch&)> plant;
    };
    const QString absent = PairJournal::absent("AIRFIELD.DAT");
    std::vector<Planted> planted = {
        {"a folder", [&](const Scratch& s) { s.makeFolder("game/" + absent); }},
        {"a file linked in", [&](const Scratch& s) {
             s.write("elsewhere.txt", "a file of the player's");
             hardLink(s.path("elsewhere.txt"), s.path("game/" + absent));
         }}};
#ifndef _WIN32
    planted.push_back({"a file every user may write", [&](const Scratch& s) {
                           s.write("game/" + absent, {});
                           ::chmod(QFile::encodeName(s.path("game/" + absent)).constData(), 0666);
                       }});
    if (::geteuid() == 0)
        planted.push_back({"another user's", [&](const Scratch& s) {
                               s.write("game/" + absent, {});
                               ::chown(QFile::encodeName(s.path("game/" + absent)).constData(),
                                       Player, Player);
                           }});
#endif
    for (const Planted& p : planted) {
        SCOPED_TRACE(p.name);
        Scratch scratch;
        scratch.write("game/FRNTLINE.DAT", "the player's");
        scratch.write("game/AIRFIELD.DAT", "the player's");
        p.plant(scratch);
        const Disk before = readDisk(scratch.path("game"));
        try {
            PairJournal::finishInterrupted(*openChangeFolder(scratch.path("game")),
                                           {"FRNTLINE.DAT", "AIRFIELD.DAT"});
            ADD_FAILURE() << "recovered over it";
        } catch (const PlatformError& error) {
            EXPECT_TRUE(error.is(PlatformError::Failure::NotOurs));
            EXPECT_EQ(error.path(), QDir::toNativeSeparators(scratch.path("game/" + absent)));
        }
        EXPECT_EQ(signature(readDisk(scratch.path("game"))), signature(before));
    }
}

TEST(Keeping, AGameFileOverTheReadLimitIsKeptAsACopy)
{
    Scratch scratch;
    const QString game = scratch.path("game");
    const QByteArray large(qsizetype(LocalFileSystem::MaxReadSize) + 1, 'x');
    scratch.write("game/FRNTLINE.DAT", large);
    scratch.write("game/AIRFIELD.DAT", "old");
    for (const char* name : {"FRNTLINE.DAT", "AIRFIELD.DAT"})
        scratch.write(QString("new/") + name, "new");
    CrashFolder folder(game, false, true, false, {}, 0, Stop::Fail, scratch.path());
    const QStringList names = {"FRNTLINE.DAT", "AIRFIELD.DAT"};
    EXPECT_NO_THROW(PairJournal::copy(
        folder, names, {scratch.path("new/FRNTLINE.DAT"), scratch.path("new/AIRFIELD.DAT")}, {}));
    EXPECT_EQ(scratch.read("game/FRNTLINE.DAT"), "new");
}
