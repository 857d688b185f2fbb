// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright the Tarvane developers

#include "platform/disk/PairJournal.h"

#include "platform/PlatformError.h"
#include "platform/disk/LocalFileSystem.h"

#include <QElapsedTimer>
#include <QScopeGuard>
#include <QThread>
#include <optional>
#include <vector>

namespace {

using Facts = ChangeFolder::Facts;
using Kind = ChangeFolder::Kind;
using Failure = PlatformError::Failure;

// How long a change waits for another holder of the folder's lock (another
// Tarvane, or a program of one who may write the folder) before it reports
// the folder in use.
constexpr int LockWaitMs = 3000;

// An entry as the folder spells it: exactly, else the first whose name
// differs only in case; empty where there is none.
QString spelled(const QStringList& there, const QString& name)
{
    if (there.contains(name))
        return name;
    for (const QString& entry : there) {
        if (entry.compare(name, Qt::CaseInsensitive) == 0)
            return entry;
    }
    return {};
}

} // namespace

PairJournal::PairJournal(ChangeFolder& folder, const QStringList& names)
    : m_folder(folder), m_names(names), m_kept(names.size(), Kept::No), m_at(folder.look({}))
{}

// A crash lets the lock go with the process, and leaves its file for the
// next change to take again.
PairJournal::~PairJournal()
{
    try {
        if (m_locked)
            m_folder.unlock();
    } catch (...) {
    }
}

void PairJournal::copy(ChangeFolder& folder, const QStringList& names, const QStringList& sources,
                       const WaitNotice& waiting)
{
    PairJournal journal(folder, names);
    journal.lock(waiting, true);
    journal.recover();
    // Every source is opened and checked before anything is written.
    std::vector<std::unique_ptr<ChangeFolder::Source>> opened;
    for (const QString& source : sources) {
        opened.push_back(folder.openSource(source));
        if (opened.back()->size > LocalFileSystem::MaxReadSize)
            throw PlatformError::of(Failure::TooLarge, source);
    }
    for (const QString& name : names)
        journal.checkDestination(name, true);
    journal.undoneOnFailure([&] {
        journal.keepAll([&] {
            for (qsizetype i = 0; i < names.size(); ++i) {
                // A replaced file's owner and mode go to the new one.
                const Facts old = folder.look(names[i]);
                const bool file = old.kind == Kind::File;
                journal.makeFile(staged(names[i]), opened[size_t(i)].get(), file ? &old : nullptr,
                                 file ? 0600 : 0666, names[i]);
            }
        });
        for (qsizetype i = 0; i < names.size(); ++i)
            folder.rename(staged(names[i]), names[i]);
    });
}

void PairJournal::remove(ChangeFolder& folder, const QStringList& names, const WaitNotice& waiting)
{
    PairJournal journal(folder, names);
    journal.lock(waiting, true);
    journal.recover();
    // A missing entry ends the removal: those before it go, all or none.
    qsizetype present = 0;
    while (present < names.size() && journal.checkDestination(names[present], false))
        ++present;
    if (present == 0)
        throw PlatformError::of(Failure::NotFound, folder.path(names.first()));
    journal.m_names.resize(present);
    journal.m_kept.resize(present);
    journal.undoneOnFailure([&] {
        journal.keepAll({});
        for (qsizetype i = 0; i < present; ++i) {
            if (journal.m_kept[i] != Kept::ByMove)
                folder.remove(names[i], true);
        }
    });
    if (present < names.size())
        throw PlatformError::of(Failure::NotFound, folder.path(names[present]));
}

void PairJournal::finishInterrupted(ChangeFolder& folder, const QStringList& names)
{
    PairJournal journal(folder, names);
    if (journal.lock({}, false))
        journal.recover();
}

// Takes the folder's lock, waiting three seconds at most for another
// holder where `wait`, else false where another holds it.
bool PairJournal::lock(const WaitNotice& waiting, bool wait)
{
    // A folder marked append-only or immutable needs none: nothing can
    // change there, and the lock file could not go again.
    if (m_at.unchangeable)
        return true;
    const QString name = QLatin1String(LockName);
    QElapsedTimer waited;
    const auto stopTelling = qScopeGuard([&] {
        if (waited.isValid() && waiting)
            waiting(false);
    });
    for (;;) {
        const ChangeFolder::Lock taken = m_folder.lock(name, newOwner());
        if (taken == ChangeFolder::Lock::Taken)
            return m_locked = true;
        if (taken == ChangeFolder::Lock::Refused) {
            // A lock file that is no file is another's, and named. One this
            // user may not open is held where it may change the folder (it
            // may be another user's, locked now); where it may not, or can
            // make none, no change can be made either, and that change's
            // report says why.
            const Kind kind = m_folder.look(name).kind;
            if (kind != Kind::File && kind != Kind::None)
                throw PlatformError::of(Failure::NotALockFile, m_folder.path(name));
            if (kind == Kind::None || m_folder.refusal({}) != 0)
                return true;
        }
        if (!wait)
            return false;
        if (!waited.isValid())
            waited.start();
        else if (waited.elapsed() >= LockWaitMs)
            throw PlatformError::of(Failure::Busy, m_folder.path({}));
        if (waiting)
            waiting(true);
        QThread::msleep(20);
    }
}

// A change that ended half-way (the process killed, the machine stopped)
// left its temporaries. While the last entry's kept entry (or absent mark)
// is there, it has not happened: each kept entry goes back where the game
// file is not as kept, over it as the folder spells it (else as the kept
// entry does), the last one's after the others are durable. Either way the
// temporaries go. Temporaries are found whatever the case of their names;
// one this user's Tarvane cannot have made stops it before anything
// changes. One look at each decides all of it: one planted after that look
// is left alone.
void PairJournal::recover()
{
    const QStringList there = m_folder.entries();
    QStringList found, marks, games;
    QList<Facts> markFacts, gameFacts;
    bool stagedLast = false;
    for (const QString& name : std::as_const(m_names)) {
        games << spelled(there, name);
        gameFacts << (games.last().isEmpty() ? Facts{} : m_folder.look(games.last()));
        marks << QString();
        markFacts << Facts{};
        stagedLast = false;
        for (const QString& wanted : {staged(name), kept(name), absent(name)}) {
            const QString trace = spelled(there, wanted);
            if (trace.isEmpty())
                continue;
            const Facts facts = m_folder.look(trace);
            if (!trusted(facts, wanted == kept(name), gameFacts.last()))
                throw PlatformError::of(Failure::NotOurs, m_folder.path(trace));
            found << trace;
            stagedLast = stagedLast || wanted == staged(name);
            if (wanted != staged(name) && marks.last().isEmpty())
                marks.last() = trace, markFacts.last() = facts;
        }
    }
    // (A change of an earlier Tarvane kept no last entry: its staged file
    // says so there.)
    if (!marks.last().isEmpty() || stagedLast) {
        for (qsizetype i = 0; i < marks.size(); ++i) {
            if (i > 0 && i == marks.size() - 1)
                m_folder.sync();
            if (marks[i].endsWith(QLatin1String(AbsentSuffix)) && !games[i].isEmpty())
                m_folder.remove(games[i], false);
            else if (marks[i].endsWith(QLatin1String(KeptSuffix)) &&
                     (games[i].isEmpty() ||
                      !asKept(markFacts[i], marks[i], gameFacts[i], games[i])))
                m_folder.rename(marks[i], !games[i].isEmpty()
                                              ? games[i]
                                              : marks[i].mid(1).chopped(sizeof KeptSuffix - 1));
        }
        m_folder.sync();
    }
    if (!found.isEmpty())
        removeEach(found);
}

// Whether a game file holds what was kept: it is the same file, or has the
// same bytes. Then it needs no putting back (one this user may not replace,
// which the change cannot have replaced either, is left alone); where it is
// the new file all the same, the new one holds the old bytes.
bool PairJournal::asKept(const Facts& kept, const QString& keptName, const Facts& game,
                         const QString& gameName) const
{
    return kept.id == game.id || (kept.kind == Kind::File && game.kind == Kind::File &&
                                  LocalFileSystem::sameBytes(*m_folder.openEntry(keptName),
                                                             *m_folder.openEntry(gameName)));
}

// Whether a temporary (kept, or another) for a game file now as `game` is
// can have been made by this user's Tarvane. Its name is known to anyone
// who can write the folder: another user's file, a folder, or a file linked
// in under another name is not ours.
bool PairJournal::trusted(const Facts& trace, bool kept, const Facts& game) const
{
    // Kept as a second name of the game file, which is still in place.
    if (kept && trace.kind == Kind::File && trace.links == 2 && game.kind != Kind::None &&
        trace.id == game.id)
        return true;
    const bool ourKind = trace.kind == Kind::File || (kept && trace.kind == Kind::Link);
    // Made by this user; or, for root, by the game folder's owner, to whom
    // root gives what it makes. On a volume that keeps no owners (FAT),
    // anyone who may write the folder may write the pair itself as well.
    const bool made = trace.owner.isEmpty() || m_folder.user.owners.contains(trace.owner) ||
                      (m_folder.user.actsForAll && trace.owner == m_at.owner);
    // A file every user may write could be any such file of the owner's,
    // linked in by another: taken only where every user may change the game
    // file it stands for anyway.
    const bool guarded = !trace.othersMayWrite || game.kind == Kind::None || game.othersMayWrite;
    return ourKind && trace.links == 1 && made && guarded;
}

// Whether a game file is there, refusing one that may not be replaced (or,
// with `replacing` false, deleted): a folder; a file marked read-only, or
// append-only or immutable, or in a folder so marked; one this process may
// not change or another program holds; and for a replace, a link where the
// system makes none anew (Windows leaves moving a file over one undefined).
bool PairJournal::checkDestination(const QString& name, bool replacing) const
{
    const Facts entry = m_folder.look(name);
    const auto refused = [&](Failure failure) {
        return PlatformError::of(failure, m_folder.path(name));
    };
    if (m_at.unchangeable)
        throw PlatformError::of(Failure::Unchangeable, m_folder.path({}));
    if (entry.kind == Kind::None)
        return false;
    if (entry.kind == Kind::Folder)
        throw refused(Failure::AFolder);
    if (entry.unchangeable)
        throw refused(Failure::Unchangeable);
    if (entry.readOnly)
        throw refused(Failure::ReadOnly);
    if (replacing && entry.kind == Kind::Link && !m_folder.newLinks)
        throw refused(Failure::ALink);
    if (const int error = m_folder.refusal(name))
        throw PlatformError::fromSystem(error, m_folder.path(name));
    return true;
}

// Steps 2 to 4: every entry kept beside itself, each complete and named
// before `between` (staging) begins; then each that could not be (a link
// the system cannot make anew) moved aside, one at a time, the last entry
// first: moved aside, it is the mark that the change has not happened.
void PairJournal::keepAll(const std::function<void()>& between)
{
    for (qsizetype i = 0; i < m_names.size(); ++i)
        keepBeside(i);
    if (between)
        between();
    m_folder.sync();
    for (qsizetype i = m_names.size() - 1; i >= 0; --i) {
        if (m_kept[i] == Kept::No) {
            m_folder.rename(m_names[i], kept(m_names[i]));
            m_kept[i] = Kept::ByMove;
            m_folder.sync();
        }
    }
}

void PairJournal::keepBeside(qsizetype i)
{
    const QString& name = m_names[i];
    const Facts old = m_folder.look(name);
    if (old.kind == Kind::None) {
        makeFile(absent(name), nullptr, nullptr, 0600, name);
        m_kept[i] = Kept::AbsentMark;
        return;
    }
    if (old.kind == Kind::Link) {
        if (m_folder.newLinks) {
            m_folder.createLink(old.target, kept(name), newOwner());
            m_kept[i] = Kept::Beside;
        }
        return;
    }
    // A second name, of a file with no other (recovery takes a file with
    // two only as the game file itself) that every recovery here trusts:
    // for root, one of the folder owner's.
    m_kept[i] = Kept::Beside;
    if (old.links == 1 && m_folder.hardLinks &&
        (m_folder.user.actsForAll ? old.owner == m_at.owner
                                  : m_folder.user.owners.contains(old.owner)) &&
        m_folder.link(name, kept(name)))
        return;
    // Else a copy, where the volume has no hard links or the system refuses
    // one: moved aside, a file would be missing while the change runs, and
    // a rename torn by a power loss could lose it. It has the file's owner
    // and mode as far as they can be given; root gives one of another
    // user's the folder owner's, for the player to recover it.
    if (old.kind != Kind::File)
        throw PlatformError::of(Failure::NotPermitted, m_folder.path(name));
    Facts like = old;
    if (m_folder.user.actsForAll && old.owner != m_at.owner)
        like.owner = m_at.owner, like.group = m_at.group;
    makeFile(kept(name), m_folder.openEntry(name).get(), &like, 0600, name);
}

// Makes the temporary `as` for entry `name` complete before it bears that
// name: written from `from` (empty without), given the owner and mode of
// `like` (else as made, with `mode`), synced, and only then named. Where
// the system names a new file at once, it is made as the staged name, one
// recovery always deletes.
void PairJournal::makeFile(const QString& as, ChangeFolder::Source* from, const Facts* like,
                           quint32 mode, const QString& name)
{
    const auto file = m_folder.create(staged(name), name, newOwner(), mode);
    if (from)
        m_folder.write(*file, *from);
    if (like)
        m_folder.give(*file, *like);
    m_folder.syncData(*file);
    m_folder.name(*file, as);
}

// Root gives what it makes to the game folder's owner from the start, so
// that the player can change it and recover from it; anyone else makes it
// their own.
Facts PairJournal::newOwner() const
{
    return m_folder.user.actsForAll ? m_at : Facts{};
}

// Runs the change and ends it; where a step fails, recovers at once as
// after a crash there (where that fails too, the temporaries stay for the
// next change), and raises the first failure.
void PairJournal::undoneOnFailure(const std::function<void()>& change)
{
    try {
        change();
        finish();
    } catch (...) {
        try {
            recover();
        } catch (...) {
        }
        throw;
    }
}

// Ends a change that has happened: the folder synced, then the last
// entry's kept entry (or absent mark), the mark that it has not happened,
// deleted. From there the change is done, and a failure says so; then
// every other temporary goes.
void PairJournal::finish()
{
    const auto trace = [&](qsizetype i) {
        return m_kept[i] == Kept::AbsentMark ? absent(m_names[i]) : kept(m_names[i]);
    };
    m_folder.sync();
    const QString mark = trace(m_names.size() - 1);
    try {
        m_folder.remove(mark, true);
        m_folder.sync();
        QStringList others;
        for (qsizetype i = 0; i + 1 < m_names.size(); ++i)
            others << trace(i);
        removeEach(others);
    } catch (const PlatformError& error) {
        // (A deletion can be made and still reported failed.)
        if (m_folder.look(mark).kind != Kind::None)
            throw;
        throw error.withChangeDone();
    }
}

// Every one of them goes, even when one cannot; the first failure is raised
// at the end. (No sync is needed: whether they are gone decides nothing, and
// the next change's first sync makes it durable before it changes a game
// file.)
void PairJournal::removeEach(const QStringList& traces)
{
    std::optional<PlatformError> failure;
    for (const QString& trace : traces) {
        try {
            m_folder.remove(trace, false);
        } catch (const PlatformError& error) {
            if (!failure)
                failure = error;
        }
    }
    if (failure)
        throw *failure;
}
