// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright the Tarvane developers

#pragma once

#include <QByteArray>
#include <QLatin1String>
#include <QList>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

// Told true while a change waits for another holder of the game folder's
// lock, again at every try (about fifty times a second), and false when
// that wait is over.
using WaitNotice = std::function<void(bool waiting)>;

// One folder of the disk, opened for a change of some of its entries: the
// system's own calls, over entry names of that folder, never following a
// link. A call either looks, or makes one change that a crash or a power
// loss can leave made or not made, but not half made: a new file's data,
// owner and mode are written while it has no name a recovery could take
// for anything but a leftover. Each raises PlatformError when the system
// fails, naming the file at fault. Which calls are made, in what order,
// and what to trust or refuse are PairJournal's alone.
class ChangeFolder
{
public:
    virtual ~ChangeFolder() = default;

    // What the system cannot do here. A system that finds out clears them
    // itself; a test clears them to take the other way.
    bool anonymousFiles = true; // a new file has no name until it is given one
    bool hardLinks = true;      // an entry can be given a second name
    bool newLinks = true;       // a link can be made anew, to the same target

    // ---- Looks

    enum class Kind { None, File, Link, Folder, Other }; // other: a pipe, a device
    // What an entry is, its link not followed.
    struct Facts
    {
        Kind kind = Kind::None;
        int links = 0;
        QByteArray id;    // the file itself: entries with the same id are one file
        QByteArray owner; // as the system names its owner; empty where the volume keeps none
        QByteArray group;
        quint32 mode = 0;            // what a copy keeps: permission bits, or Windows' attributes
        bool readOnly = false;       // marked so that no one may write it
        bool othersMayWrite = false; // every user may write it (never so of a link)
        bool unchangeable = false;   // marked append-only or immutable: not even root may change it
    };
    // Of an entry; of the folder itself for "".
    virtual Facts look(const QString& name) const = 0;
    // The names of the folder's entries.
    virtual QStringList entries() const = 0;
    // The system's error where this process may not change the entry (for
    // "", add entries to the folder), else 0.
    virtual int refusal(const QString& name) const = 0;
    // Who makes the change: the owners the files it makes have, and whether
    // it may act for any user (root, an administrator).
    struct User
    {
        QList<QByteArray> owners;
        bool actsForAll = false;
    };
    virtual User user() const = 0;
    // What the link `name` says.
    virtual QByteArray linkTarget(const QString& name) const = 0;
    // Whether two files of the folder hold the same bytes.
    virtual bool sameBytes(const QString& a, const QString& b) const = 0;

    // A file to copy from, open and checked: a set file, or an entry of
    // this folder.
    class Source
    {
    public:
        virtual ~Source() = default;
        virtual qint64 size() const = 0;
    };
    virtual std::unique_ptr<Source> openSource(const QString& path) const = 0;
    virtual std::unique_ptr<Source> openEntry(const QString& name) const = 0;

    // ---- Changes, one each

    // A new file, open for writing.
    class NewFile
    {
    public:
        virtual ~NewFile() = default;
    };
    // Makes an empty file for entry `entry` (whose path its failures name),
    // owned as `owner` is from the start where this process may give it
    // (an empty owner: this process's own), with `mode` less the umask:
    // without a name where the system can (`anonymousFiles`), else as
    // `name`.
    virtual std::unique_ptr<NewFile> create(const QString& name, const QString& entry,
                                            const Facts& owner, quint32 mode) = 0;
    // Makes a link to `target` as `name`, owned as `owner` is.
    virtual void createLink(const QByteArray& target, const QString& name, const Facts& owner) = 0;
    // Writes the whole source into the file, with the source's modification
    // time. A set file over the size limit, or one another program changes
    // meanwhile, is refused.
    virtual void write(NewFile& file, Source& source) = 0;
    // Gives the file the owner, group and mode of `like`, as far as this
    // process may and the volume keeps them.
    virtual void give(NewFile& file, const Facts& like) = 0;
    // Writes the file's data and facts to the disk.
    virtual void syncData(NewFile& file) = 0;
    // Gives the file the name `name`: links it, or renames it from the
    // name it was made as (nothing where that is `name`).
    virtual void name(NewFile& file, const QString& name) = 0;
    // Gives the entry a second name; false, doing nothing, where the volume
    // or the system makes no such link.
    virtual bool link(const QString& entry, const QString& name) = 0;
    // Renames an entry over another (to place, move aside or put back).
    virtual void rename(const QString& from, const QString& to) = 0;
    // Deletes an entry; one already gone too, unless `mustExist`.
    virtual void remove(const QString& name, bool mustExist) = 0;
    // Makes the folder's changes so far durable.
    virtual void sync() = 0;
    // Takes the lock of the folder's file `name`, against every other
    // Tarvane, until unlock(); made where there is none, owned as `owner`
    // is. Refused: this process may not open or make it, or it is no file.
    enum class Lock { Taken, Held, Refused };
    virtual Lock lock(const QString& name, const Facts& owner) = 0;
    // Removes the lock file and lets the lock go.
    virtual void unlock() = 0;

    // The entry's path, as reports show it; for "", the folder's.
    virtual QString path(const QString& name) const = 0;
};

// Opens the folder at `path` for a change (not yet locked).
std::unique_ptr<ChangeFolder> openChangeFolder(const QString& path);

// A change of some entries of one folder (the game folder's pair), as one
// change: after it, or after a crash or a power loss at any moment of it
// and the next recovery, the entries are all old or all new.
//
// Every change first locks the folder and recovers from a change cut
// short. Then, for entries N1..Nn, a replace (Load, Restore Default):
//   1. looks at every source and every destination;
//   2. keeps every old entry beside itself, under its kept name: a second
//      name of a file that has no other, or a link made anew; else a copy
//      written, given, synced and only then named; or marks that there
//      was none, the mark made the same way;
//   3. writes every new file in full under its staged name;      SYNC
//   4. moves aside a link the system cannot make anew, Nn first, one at
//      a time;                                             SYNC after each
//   5. renames the staged files into place, one at a time, with a SYNC
//      between two;
//   6. then, the change done:                                      SYNC
//      deletes Nn's kept entry (or absent mark),                   SYNC
//      and then every other temporary.                             SYNC
// A removal keeps as a replace does, stages nothing, and in place of
// renaming deletes the entries still there, with a sync between two.
//
// So a change has not happened while Nn's kept entry (or absent mark) is
// there: recovery then puts every kept entry back (and deletes those that
// were absent), Nn's last, after a sync; either way it deletes the
// temporaries. That holds on every volume, even where a rename is two
// writes of the folder that a power loss can tear apart (FAT, exFAT, ext4
// without a journal): until the mark goes, every old entry is still kept.
// The folder is synced wherever a later step must not be found after a
// power loss without an earlier one, on file systems that write a
// folder's changes in any order:
// - after 3: the kept and staged files before any game file changes (a
//   removal: the kept ones before the first deletion);
// - after each move in 4: the same; and Nn moved aside is the mark;
// - between two renames or deletions: the second alone would mix the pair;
// - in 6, before the mark goes: every rename is durable; after it goes:
//   the mark outlives every other temporary; last: the change is durable
//   before it is reported done.
// Between 2 and 3 none is needed: both only name complete temporaries.
// A failed step is undone as a crash there is recovered.
class PairJournal
{
public:
    // Copies sources[i] over names[i].
    static void copy(ChangeFolder& folder, const QStringList& names, const QStringList& sources,
                     const WaitNotice& waiting);
    // Deletes the entries; a missing one ends it there: the entries before
    // it are deleted (all or none), then the missing one is reported.
    static void remove(ChangeFolder& folder, const QStringList& names, const WaitNotice& waiting);
    // Only the lock (not waited for: where another holds it, nothing is
    // done) and the recovery.
    static void finishInterrupted(ChangeFolder& folder, const QStringList& names);

    // The temporary names for entry `name`: the staged new file, the kept
    // old one, and the mark that there was no old one; and the lock file.
    static constexpr char KeptSuffix[] = ".tarvane-old";
    static constexpr char AbsentSuffix[] = ".tarvane-absent";
    static constexpr char LockName[] = ".tarvane-lock";
    static QString staged(const QString& name) { return u'.' + name + u".tarvane-new"; }
    static QString kept(const QString& name) { return u'.' + name + QLatin1String(KeptSuffix); }
    static QString absent(const QString& name) { return u'.' + name + QLatin1String(AbsentSuffix); }

private:
    PairJournal(ChangeFolder& folder, const QStringList& names);
    ~PairJournal();
    PairJournal(const PairJournal&) = delete;
    PairJournal& operator=(const PairJournal&) = delete;

    bool lock(const WaitNotice& waiting, bool wait);
    void recover();
    bool trusted(const ChangeFolder::Facts& trace, bool kept,
                 const ChangeFolder::Facts& game) const;
    bool asKept(const ChangeFolder::Facts& kept, const QString& keptName,
                const ChangeFolder::Facts& game, const QString& gameName) const;
    bool checkDestination(const QString& name, bool replacing) const;
    void keepAll(const std::function<void()>& between);
    bool keepBeside(qsizetype i);
    void makeFile(const QString& as, ChangeFolder::Source* from, const ChangeFolder::Facts* like,
                  quint32 mode, const QString& name);
    ChangeFolder::Facts newOwner() const;
    void undo() noexcept;
    void finish();
    void removeEach(const QStringList& traces);

    // How entry i was kept.
    enum class Kept { No, Beside, ByMove, AbsentMark };
    QString trace(qsizetype i) const;

    ChangeFolder& m_folder;
    QStringList m_names;
    QList<Kept> m_kept;
    ChangeFolder::User m_user;
    ChangeFolder::Facts m_at; // the folder itself
    bool m_locked = false;
};
