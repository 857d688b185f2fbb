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
// lock, at every try (about fifty a second), and false when that is over.
using WaitNotice = std::function<void(bool waiting)>;

// One folder, opened for a change of some of its entries: the system's own
// calls over names of its entries, never following a link. A call looks,
// or makes one change, which a crash or a power loss leaves made or not,
// never half made. Each raises PlatformError when the system fails, naming
// the file at fault. Which calls are made, in what order, and what to trust
// or refuse are PairJournal's alone.
class ChangeFolder
{
public:
    virtual ~ChangeFolder() = default;

    // What the system cannot do here: a system that finds out clears them,
    // a test clears them to take the other way.
    bool anonymousFiles = true; // a new file has no name until it is given one
    bool hardLinks = true;      // an entry can have a second name
    bool newLinks = true;       // a link can be made anew, to the same target

    // Who makes the change: the owners its files get, and whether it may
    // act for any user (root, an elevated administrator).
    struct User
    {
        QList<QByteArray> owners;
        bool actsForAll = false;
    } user;

    // ---- Looks

    enum class Kind { None, File, Link, Folder, Other }; // other: a pipe, a device
    // What an entry is, its link not followed.
    struct Facts
    {
        Kind kind = Kind::None;
        int links = 0;
        QByteArray id;    // entries with the same id are one file
        QByteArray owner; // as the system names it; empty where the volume keeps none
        QByteArray group;
        QByteArray target;           // a link's
        quint32 mode = 0;            // what a copy keeps: permission bits, or Windows' attributes
        bool readOnly = false;       // marked so that no one may write it
        bool othersMayWrite = false; // every user may write it (never so of a link)
        bool unchangeable = false;   // append-only or immutable: not even root may change it
    };
    // Of an entry; of the folder itself for "".
    virtual Facts look(const QString& name) const = 0;
    virtual QStringList entries() const = 0;
    // The system's error where this process may not change the entry (for
    // "", add entries to the folder), else 0.
    virtual int refusal(const QString& name) const = 0;

    // A file to copy from, open and checked: a set file, or an entry.
    class Source
    {
    public:
        virtual ~Source() = default;
        // Up to `size` bytes; fewer only at the end.
        virtual qsizetype read(char* data, qsizetype size) = 0;
        qint64 size = 0; // as the system said on opening it
        QString path;    // as reports show it
    };
    virtual std::unique_ptr<Source> openSource(const QString& path) const = 0;
    virtual std::unique_ptr<Source> openEntry(const QString& name) const = 0;

    // ---- Changes, one each

    class NewFile
    {
    public:
        virtual ~NewFile() = default;
    };
    // An empty file for `entry` (whose path its failures name), with `mode`
    // less the umask, owned as `owner` is where this process may give it
    // (none given: its own): without a name where the system can, else as
    // `name`.
    virtual std::unique_ptr<NewFile> create(const QString& name, const QString& entry,
                                            const Facts& owner, quint32 mode) = 0;
    // A link to `target` as `name`, owned as `owner` is.
    virtual void createLink(const QByteArray& target, const QString& name, const Facts& owner) = 0;
    // The whole source, with its modification time. A set file over the size
    // limit, or one another program changes meanwhile, is refused.
    virtual void write(NewFile& file, Source& source) = 0;
    // The owner, group and mode of `like`, as far as this process may give
    // them and the volume keeps them.
    virtual void give(NewFile& file, const Facts& like) = 0;
    virtual void syncData(NewFile& file) = 0;
    // Links the file as `name`, or renames it from the name it was made as.
    virtual void name(NewFile& file, const QString& name) = 0;
    // A second name; false, doing nothing, where the volume or system
    // makes none.
    virtual bool link(const QString& entry, const QString& name) = 0;
    virtual void rename(const QString& from, const QString& to) = 0;
    // Deletes an entry; one already gone too, unless `mustExist`.
    virtual void remove(const QString& name, bool mustExist) = 0;
    // Makes the folder's changes so far durable.
    virtual void sync() = 0;
    // Locks the folder's file `name` against every other Tarvane until
    // unlock(). Where there is none, it is made, owned as `owner` is and
    // open to all who may write the folder. Refused: this process may not
    // open or make it, or it is no file.
    enum class Lock { Taken, Held, Refused };
    virtual Lock lock(const QString& name, const Facts& owner) = 0;
    // Deletes the lock file and lets the lock go.
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
//   2. keeps every old entry under its kept name: a second name of a file
//      that has no other, or a link made anew; else a copy, written, given,
//      synced and only then named; or, made the same way, marks that there
//      was none;
//   3. writes every new file in full under its staged name;      SYNC
//   4. moves aside a link the system cannot make anew, Nn first; SYNC each
//   5. renames the staged files into place;
//   6. then:                                                       SYNC
//      deletes Nn's kept entry (or absent mark): the change is made; SYNC
//      then every other temporary.
// A removal keeps as a replace does, stages nothing, and deletes the
// entries still there in place of renaming them.
//
// So a change has not happened while Nn's kept entry (or absent mark) is
// there: recovery then puts every kept entry back (and deletes those that
// were absent), Nn's last, after a sync; either way it deletes the
// temporaries. That holds even where a power loss can tear one rename in
// two (FAT, exFAT, ext4 without a journal): until the mark goes, every old
// entry is still kept. A sync stands wherever a later step must not be
// found after a power loss without an earlier one, on file systems that
// write a folder's changes in any order: after 3 and each move in 4, the
// complete kept and staged files (and a moved mark) before any game file
// changes; in 6, every rename before the mark goes, and the mark's going
// before the change is reported done and before the other temporaries go.
// None is needed between 2 and 3, which only name complete files, nor
// between two renames or deletions, nor after the last: while the mark is
// there, any of them lost or kept is put right; after, they decide nothing.
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
    // The lock, where no other holds it (not waited for), and the recovery.
    static void finishInterrupted(ChangeFolder& folder, const QStringList& names);

    // The temporary names for entry `name`: the staged new file, the kept
    // old one, and the mark that there was none; and the lock file's.
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
    void keepBeside(qsizetype i);
    void makeFile(const QString& as, ChangeFolder::Source* from, const ChangeFolder::Facts* like,
                  quint32 mode, const QString& name);
    ChangeFolder::Facts newOwner() const;
    void undoneOnFailure(const std::function<void()>& change);
    void finish();
    void removeEach(const QStringList& traces);

    // How entry i was kept: not (yet), beside itself, moved aside, marked
    // absent.
    enum class Kept { No, Beside, ByMove, AbsentMark };

    ChangeFolder& m_folder;
    QStringList m_names;
    QList<Kept> m_kept;
    ChangeFolder::Facts m_at; // the folder itself
    bool m_locked = false;
};
