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

// How long a change waits for another holder of the folder's lock (another
// Tarvane, or a program of one who may write the folder) before it reports
// the folder in use.
constexpr int LockWaitMs = 3000;

void lockWaiting(ChangeFolder& folder, const WaitNotice& waiting)
{
    if (folder.tryLock())
        return;
    const auto stopTelling = qScopeGuard([&] {
        if (waiting)
            waiting(false);
    });
    QElapsedTimer waited;
    waited.start();
    do {
        if (waited.elapsed() >= LockWaitMs)
            throw PlatformError::of(PlatformError::Failure::Busy, folder.path({}));
        if (waiting)
            waiting(true);
        QThread::msleep(20);
    } while (!folder.tryLock());
}

} // namespace

PairJournal::PairJournal(ChangeFolder& folder, const QStringList& names)
    : m_folder(folder), m_names(names), m_staged(names.size(), false),
      m_kept(names.size(), Kept::No)
{}

void PairJournal::copy(ChangeFolder& folder, const QStringList& names, const QStringList& sources,
                       const WaitNotice& waiting)
{
    lockWaiting(folder, waiting);
    PairJournal journal(folder, names);
    journal.recover();

    // Every source is opened and checked before anything is written.
    std::vector<std::unique_ptr<ChangeFolder::Source>> opened;
    for (const QString& source : sources) {
        opened.push_back(folder.openSource(source));
        if (opened.back()->size() > LocalFileSystem::MaxReadSize)
            throw PlatformError::of(PlatformError::Failure::TooLarge, source);
    }
    for (const QString& name : names)
        folder.checkDestination(name, true);

    try {
        journal.keepAll([&] {
            for (qsizetype i = 0; i < names.size(); ++i) {
                bool named = false;
                const auto noteNamed = qScopeGuard([&] { journal.m_staged[i] = named; });
                folder.stage(names[i], staged(names[i]), *opened[size_t(i)], named);
            }
        });
        for (qsizetype i = 0; i < names.size(); ++i) {
            if (i > 0)
                folder.sync();
            folder.rename(staged(names[i]), names[i]);
            journal.m_changed = i + 1;
        }
    } catch (...) {
        journal.undo();
        throw;
    }
    journal.finish();
}

void PairJournal::remove(ChangeFolder& folder, const QStringList& names, const WaitNotice& waiting)
{
    lockWaiting(folder, waiting);
    PairJournal journal(folder, names);
    journal.recover();

    // A missing entry ends the removal: those before it go, all or none.
    qsizetype present = 0;
    while (present < names.size() && folder.checkDestination(names[present], false))
        ++present;
    if (present == 0)
        throw PlatformError::of(PlatformError::Failure::NotFound, folder.path(names.first()));
    journal.m_names.resize(present);

    try {
        journal.keepAll({});
        bool removed = false;
        for (qsizetype i = 0; i < present; ++i) {
            if (journal.m_kept[i] != Kept::ByMove) {
                if (removed)
                    folder.sync();
                folder.remove(names[i]);
                removed = true;
            }
            journal.m_changed = i + 1;
        }
    } catch (...) {
        journal.undo();
        throw;
    }
    journal.finish();
    if (present < names.size())
        throw PlatformError::of(PlatformError::Failure::NotFound, folder.path(names[present]));
}

void PairJournal::finishInterrupted(ChangeFolder& folder, const QStringList& names)
{
    if (folder.tryLock())
        PairJournal(folder, names).recover();
}

// Steps 2 to 4: every entry kept, each complete before `between` (staging)
// begins, so a copy cut short is never put back; then moved aside where it
// could not be kept beside, one at a time.
void PairJournal::keepAll(const std::function<void()>& between)
{
    QList<qsizetype> toMove;
    for (qsizetype i = 0; i < m_names.size(); ++i) {
        if (!keepBeside(i))
            toMove.append(i);
    }
    if (between)
        between();
    m_folder.sync();
    // The last entry first: moved aside, it is the mark that the change has
    // not happened.
    for (auto i = toMove.crbegin(); i != toMove.crend(); ++i) {
        m_folder.rename(m_names[*i], kept(m_names[*i]));
        m_kept[*i] = Kept::ByMove;
        m_folder.sync();
    }
}

// Keeps entry i beside itself as an entry recovery trusts; false, keeping
// nothing, where it must be moved aside: a link the system cannot make
// anew.
bool PairJournal::keepBeside(qsizetype i)
{
    const QString& name = m_names[i];
    const ChangeFolder::Entry old = m_folder.look(name);
    bool named = false;
    const auto noteNamed = qScopeGuard([&] {
        if (named)
            m_kept[i] = old.kind == ChangeFolder::Kind::None ? Kept::AbsentMark : Kept::ByCopy;
    });
    switch (old.kind) {
    case ChangeFolder::Kind::None:
        m_folder.markAbsent(absent(name));
        named = true;
        return true;
    case ChangeFolder::Kind::Link:
        named = m_folder.keepByNewLink(name, kept(name));
        return named;
    default:
        // Where the volume has no hard links, or the system refuses one, a
        // copy: moved aside, a file would be missing while the change runs,
        // and a rename torn by a power loss could lose it.
        if (old.linkable && m_folder.hardLinks && m_folder.keepByLink(name, kept(name))) {
            m_kept[i] = Kept::ByLink;
            return true;
        }
        // Only a file can be copied.
        if (old.kind != ChangeFolder::Kind::File)
            throw PlatformError::of(PlatformError::Failure::NotPermitted, m_folder.path(name));
        m_folder.keepByCopy(name, kept(name), named);
        return true;
    }
}

// Puts back each entry i's kept entry `traces[i]` (where there is one), or
// deletes what was made where an absent mark says there was none; Nn's
// last, after the others are durable: its kept entry is the mark that the
// change has not happened. A kept entry goes back under the name it was
// kept for, spelled as it is.
void PairJournal::putBack(const QStringList& traces)
{
    for (qsizetype i = 0; i < traces.size(); ++i) {
        if (i > 0 && i == traces.size() - 1)
            m_folder.sync();
        if (traces[i].endsWith(QLatin1String(AbsentSuffix)))
            m_folder.discard(m_names[i]);
        else if (!traces[i].isEmpty())
            m_folder.rename(traces[i], traces[i].mid(1, traces[i].size() - 1 -
                                                            qsizetype(sizeof KeptSuffix - 1)));
    }
    m_folder.sync();
}

// After a failed change: the old entries back and the temporaries this
// change made gone. Only what was replaced is put back: a kept link or copy
// of an entry whose rename never happened is only discarded. If a put-back
// fails, every temporary stays for the next change to finish the undoing;
// otherwise each one that can be removed is. The caller reports the first
// failure.
void PairJournal::undo() noexcept
{
    try {
        QStringList traces;
        for (qsizetype i = 0; i < m_names.size(); ++i) {
            const bool changed = i < m_changed || m_kept[i] == Kept::ByMove;
            traces << (!changed || m_kept[i] == Kept::No ? QString()
                       : m_kept[i] == Kept::AbsentMark   ? absent(m_names[i])
                                                         : kept(m_names[i]));
        }
        putBack(traces);
        discard(madeTraces());
    } catch (...) {
    }
}

// A change that ended half-way (the process killed, the machine stopped)
// left its temporaries. While the last entry's kept entry (or absent mark)
// is there, it has not happened: the kept old entries go back. Either way
// the temporaries go. Temporaries are found whatever the case of their
// names, so a pair spelled frntline.dat and airfield.dat is put back as it
// was spelled. A temporary this user's Tarvane cannot have made stops it
// before anything changes. One look at each temporary decides all of it:
// one planted after that look is left alone.
void PairJournal::recover()
{
    using Trace = ChangeFolder::Trace;
    const QStringList there = m_folder.entries();
    QStringList seen, keptOrAbsent;
    bool stagedLast = false;
    for (qsizetype i = 0; i < m_names.size(); ++i) {
        // The temporary of that name, as spelled in the folder: exactly,
        // else the first whose name differs only in case, if ours.
        const auto own = [&](const QString& name, Trace kind) {
            QString trace = there.contains(name) ? name : QString();
            for (qsizetype j = 0; trace.isEmpty() && j < there.size(); ++j) {
                if (there[j].compare(name, Qt::CaseInsensitive) == 0)
                    trace = there[j];
            }
            if (!trace.isEmpty() && m_folder.ownTrace(trace, m_names[i], kind, m_names))
                seen << trace;
            return trace;
        };
        stagedLast = !own(staged(m_names[i]), Trace::Staged).isEmpty();
        const QString keptTrace = own(kept(m_names[i]), Trace::Kept);
        const QString absentTrace = own(absent(m_names[i]), Trace::Absent);
        keptOrAbsent << (keptTrace.isEmpty() ? absentTrace : keptTrace);
    }
    if (seen.isEmpty())
        return;
    // (A change of an earlier Tarvane kept no last entry: its staged file
    // says so there.)
    if (!keptOrAbsent.last().isEmpty() || stagedLast)
        putBack(keptOrAbsent);
    discard(seen);
}

// Ends a change that has happened: the folder synced, then the last
// entry's kept entry (or absent mark) gone, the mark that it has not
// happened, then every other temporary. Where the sync or the mark's
// removal fails, every temporary stays, for recovery to put the old pair
// back; the failure is reported.
void PairJournal::finish()
{
    QStringList traces = madeTraces();
    const QString mark = m_kept[m_names.size() - 1] == Kept::AbsentMark ? absent(m_names.last())
                                                                        : kept(m_names.last());
    m_folder.sync();
    if (traces.removeOne(mark))
        discard({mark});
    discard(traces);
}

// Every one of them goes, even when one cannot; then the folder is synced.
// The first failure is raised at the end.
void PairJournal::discard(const QStringList& traces)
{
    std::optional<PlatformError> failure;
    for (const QString& trace : traces) {
        try {
            m_folder.discard(trace);
        } catch (const PlatformError& error) {
            if (!failure)
                failure = error;
        }
    }
    m_folder.sync();
    if (failure)
        throw *failure;
}

QStringList PairJournal::madeTraces() const
{
    QStringList traces;
    for (qsizetype i = 0; i < m_names.size(); ++i) {
        if (m_staged[i])
            traces << staged(m_names[i]);
        if (m_kept[i] == Kept::AbsentMark)
            traces << absent(m_names[i]);
        else if (m_kept[i] != Kept::No)
            traces << kept(m_names[i]);
    }
    return traces;
}
