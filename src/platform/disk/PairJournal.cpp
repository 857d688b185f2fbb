// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright the Tarvane developers

#include "platform/disk/PairJournal.h"

#include "platform/PlatformError.h"
#include "platform/disk/LocalFileSystem.h"

#include <QElapsedTimer>
#include <QScopeGuard>
#include <QThread>
#include <new>
#include <optional>
#include <vector>

namespace {

// How long a change waits for another holder of the folder's lock (another
// Tarvane, or anyone who can read the folder) before it reports the folder
// in use.
constexpr int LockWaitMs = 3000;

void lockWaiting(ChangeFolder& folder, const WaitNotice& waiting)
{
    if (folder.tryLock())
        return;
    if (waiting)
        waiting(true);
    const auto stopTelling = qScopeGuard([&] {
        if (waiting)
            waiting(false);
    });
    QElapsedTimer waited;
    waited.start();
    while (!folder.tryLock()) {
        if (waited.elapsed() >= LockWaitMs)
            throw PlatformError::of(PlatformError::Failure::Busy, folder.path({}));
        QThread::msleep(20);
    }
}

template <typename Step> bool attempt(Step step) noexcept
{
    try {
        step();
        return true;
    } catch (const PlatformError&) {
    } catch (const std::bad_alloc&) {
    }
    return false;
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

    const qsizetype last = names.size() - 1;
    try {
        journal.keepAll(last, [&] {
            for (qsizetype i = 0; i <= last; ++i) {
                bool named = false;
                const auto noteNamed = qScopeGuard([&] { journal.m_staged[i] = named; });
                folder.stage(names[i], staged(names[i]), *opened[size_t(i)], named);
            }
        });
        for (qsizetype i = 0; i <= last; ++i) {
            folder.rename(staged(names[i]), names[i]);
            journal.m_changed = i + 1;
            if (i < last)
                folder.sync();
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

    // The last entry's absent mark stands where a replace's staged files do.
    const qsizetype last = present - 1;
    try {
        journal.keepAll(last, [&] {
            folder.markAbsent(absent(names[last]));
            journal.m_kept[last] = Kept::AbsentMark;
        });
        for (qsizetype i = 0; i < last; ++i) {
            if (journal.m_kept[i] != Kept::ByMove) {
                folder.remove(names[i]);
                journal.m_changed = i + 1;
                folder.sync();
            }
        }
        folder.remove(names[last]);
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

// Steps 2 to 4: every entry but the last kept, each complete before
// `between` (staging, or the removal's mark) begins; then moved aside where
// it could not be kept beside. A kept file is put back only once the change
// has begun, so a copy cut short is never put back.
void PairJournal::keepAll(qsizetype count, const std::function<void()>& between)
{
    QList<qsizetype> toMove;
    for (qsizetype i = 0; i < count; ++i) {
        if (!keepBeside(i))
            toMove.append(i);
    }
    between();
    m_folder.sync();
    for (const qsizetype i : toMove) {
        m_folder.rename(m_names[i], kept(m_names[i]));
        m_kept[i] = Kept::ByMove;
    }
    if (!toMove.isEmpty())
        m_folder.sync();
}

// Keeps entry i beside itself as this user's own entry, the only kind
// recovery trusts; false, keeping nothing, where it must be moved aside.
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
        if (old.ownSingleLink) {
            if (!m_folder.hardLinks || !m_folder.keepByLink(name, kept(name)))
                return false;
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

// After a failed change: the old entries back and the temporaries this
// change made gone. Only what was replaced is put back: a kept link or copy
// of an entry whose rename never happened is only discarded. If a put-back
// fails, every temporary stays for the next change to finish the undoing;
// otherwise each one that can be removed is. The caller reports the first
// failure.
void PairJournal::undo() noexcept
{
    if (!attempt([&] {
            for (qsizetype i = 0; i + 1 < m_names.size(); ++i) {
                const Kept how = m_kept[i];
                const bool replaced = i < m_changed;
                if (how == Kept::ByMove ||
                    (replaced && (how == Kept::ByLink || how == Kept::ByCopy)))
                    m_folder.rename(kept(m_names[i]), m_names[i]);
                else if (replaced && how == Kept::AbsentMark)
                    m_folder.discard(m_names[i]);
            }
            m_folder.sync();
        }))
        return;
    attempt([&] { discard(madeTraces()); });
}

// A change that ended half-way (the process killed, the machine stopped)
// left its temporaries. If it had not happened, the kept old entries go
// back; either way the temporaries go. A temporary this user's Tarvane
// cannot have made stops it before anything changes. One look at each
// temporary decides all of it: one planted after that look is left alone.
void PairJournal::recover()
{
    using Trace = ChangeFolder::Trace;
    QStringList seen;
    for (const QString& name : m_names) {
        if (m_folder.ownTrace(staged(name), name, Trace::Staged))
            seen << staged(name);
        if (m_folder.ownTrace(kept(name), name, Trace::Kept))
            seen << kept(name);
        if (m_folder.ownTrace(absent(name), name, Trace::Absent))
            seen << absent(name);
    }
    if (seen.isEmpty())
        return;
    const QString& last = m_names.last();
    const bool unfinished =
        seen.contains(staged(last)) ||
        (seen.contains(absent(last)) && m_folder.look(last).kind != ChangeFolder::Kind::None);
    if (unfinished) {
        for (qsizetype i = 0; i + 1 < m_names.size(); ++i) {
            if (seen.contains(kept(m_names[i])))
                m_folder.rename(kept(m_names[i]), m_names[i]);
            else if (seen.contains(absent(m_names[i])))
                m_folder.discard(m_names[i]);
        }
        m_folder.sync();
    }
    discard(seen);
}

// Ends a change that has happened: the folder synced, then every temporary
// gone. A failure is reported, but leaves no temporary behind that could be
// removed.
void PairJournal::finish()
{
    std::optional<PlatformError> failure;
    try {
        m_folder.sync();
    } catch (const PlatformError& error) {
        failure = error;
    }
    try {
        discard(madeTraces());
    } catch (const PlatformError& error) {
        if (!failure)
            failure = error;
    }
    if (failure)
        throw *failure;
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
