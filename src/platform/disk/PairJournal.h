// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright the Tarvane developers

#pragma once

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
// few calls each system supplies, over entry names of that folder. Each
// raises PlatformError when the system fails, naming the file at fault.
// The order in which they are made is PairJournal's alone.
class ChangeFolder
{
public:
    virtual ~ChangeFolder() = default;

    // What the system cannot do here. A system that finds out clears them
    // itself; a test clears them to take the other way.
    bool anonymousStaging = true; // a staged file has no name until complete
    bool hardLinks = true;        // an entry can be kept as a second link

    // Locks the folder against every other Tarvane, until this is gone;
    // false where another holds it.
    virtual bool tryLock() = 0;

    // What an entry is, its link not followed, and whether it may be kept
    // by a hard link: one whose kept link recovery will trust.
    enum class Kind { None, File, Link, Other }; // other: a folder, a pipe, a device
    struct Entry
    {
        Kind kind = Kind::None;
        bool linkable = false;
    };
    virtual Entry look(const QString& name) const = 0;

    // The names of the folder's entries.
    virtual QStringList entries() const = 0;
    // Whether the temporary `trace` (there) of this kind for entry `name`,
    // of the change of entries `pair`, is one this user's Tarvane can have
    // made; another (a folder, a file linked in, one of a user who may not
    // change the game files) is refused, raised.
    enum class Trace { Staged, Kept, Absent };
    virtual bool ownTrace(const QString& trace, const QString& name, Trace kind,
                          const QStringList& pair) const = 0;

    // Whether a game file is there, refusing one that may not be replaced
    // (or, with `replacing` false, deleted): a folder, a read-only file, one
    // another program holds.
    virtual bool checkDestination(const QString& name, bool replacing) const = 0;

    // A set file, open and checked to be copied.
    class Source
    {
    public:
        virtual ~Source() = default;
        virtual qint64 size() const = 0;
    };
    virtual std::unique_ptr<Source> openSource(const QString& path) const = 0;

    // Writes `source` in full, its data synced, under the temporary name
    // `staged` as the new entry `name`, with the old entry's owner and mode.
    // `named` becomes true once an entry of that name is there.
    virtual void stage(const QString& name, const QString& staged, Source& source, bool& named) = 0;

    // Keep entry `name` under the temporary name `kept`: a hard link (false
    // where the volume has none, or the system refuses it); a copy, its
    // data synced, with the owner and mode the entry has where they can be
    // given (`named` as for stage); a new link to a link's target (false
    // where the system makes none).
    virtual bool keepByLink(const QString& name, const QString& kept) = 0;
    virtual void keepByCopy(const QString& name, const QString& kept, bool& named) = 0;
    virtual bool keepByNewLink(const QString& name, const QString& kept) = 0;
    // An empty file, the mark that there was no entry.
    virtual void markAbsent(const QString& mark) = 0;

    // Renames an entry over another (to place, move aside or put back).
    virtual void rename(const QString& from, const QString& to) = 0;
    // Deletes a game file; deletes a temporary, one already gone too.
    virtual void remove(const QString& name) = 0;
    virtual void discard(const QString& trace) = 0;
    // Makes the folder's changes so far durable.
    virtual void sync() = 0;

    // The entry's path, as reports show it; empty, the folder's.
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
//   1. opens and checks every source and every destination;
//   2. keeps every old entry beside itself, under its kept name (a hard
//      link; else a copy, or a new link to a link's target, each
//      complete), or marks that there was none;
//   3. writes every new file in full under its staged name;      SYNC
//   4. moves aside a link the system cannot make anew, Nn first, one at
//      a time;                                             SYNC after each
//   5. renames the staged files into place, one at a time, with a SYNC
//      between two;
//   6. then, the change done:                                      SYNC
//      discards Nn's kept entry (or absent mark),                  SYNC
//      and then every other temporary.                             SYNC
// A removal keeps as a replace does, stages nothing, and in place of
// renaming deletes the entries still there, with a sync between two.
//
// So a change has not happened while Nn's kept entry (or absent mark) is
// there: recovery then puts every kept entry back (and deletes those that
// were absent), Nn's last, after a sync; either way it discards the
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
// Between 2 and 3 none is needed: both only make temporaries. (Two plain
// safe replaces of one file sync the folder twice; the pair, five times.)
// A failed step undoes those before it, Nn's last.
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
    // old one, and the mark that there was no old one.
    static constexpr char KeptSuffix[] = ".tarvane-old";
    static constexpr char AbsentSuffix[] = ".tarvane-absent";
    static QString staged(const QString& name) { return u'.' + name + u".tarvane-new"; }
    static QString kept(const QString& name) { return u'.' + name + QLatin1String(KeptSuffix); }
    static QString absent(const QString& name) { return u'.' + name + QLatin1String(AbsentSuffix); }

private:
    PairJournal(ChangeFolder& folder, const QStringList& names);
    void recover();
    void keepAll(const std::function<void()>& between);
    bool keepBeside(qsizetype i);
    void putBack(const QStringList& traces);
    void undo() noexcept;
    void finish();
    void discard(const QStringList& traces);
    QStringList madeTraces() const;

    // How entry i was kept.
    enum class Kept { No, ByLink, ByCopy, ByMove, AbsentMark };

    ChangeFolder& m_folder;
    QStringList m_names;
    QList<bool> m_staged;
    QList<Kept> m_kept;
    qsizetype m_changed = 0; // entries replaced or deleted so far
};
