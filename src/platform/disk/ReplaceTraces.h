// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright the Tarvane developers

#pragma once

#include "platform/disk/LocalFileSystem.h"
#include "platform/disk/PlatformError.h"

#include <QList>
#include <new>
#include <optional>

// The temporaries that a change to some entries of one folder leaves there,
// and how they are undone: one order of steps for every system.
//
// A replace of entries N1..Nn
//   1. writes every new file in full under its staged name;
//   2. keeps each old entry but the last under its kept name, or leaves an
//      absent mark where there was none;
//   3. renames the staged files into place, in order;
//   4. discards its temporaries.
// So while the last staged file is there, not every rename has happened.
//
// A removal of N1..Nn
//   1. leaves an absent mark for the last entry;
//   2. keeps each entry but the last under its kept name, as a replace does
//      (where that is a move, the entry is gone already);
//   3. deletes the entries still there, the last one last;
//   4. discards its temporaries.
// So while that mark is there and the last entry too, it has not happened.
//
// The folder is synced between every two steps, so that on a file system
// that writes a folder's changes in any order a power loss still leaves one
// of these states.
//
// Each file layer's folder derives from this, as ReplaceTraces<Folder, Name>
// with Name its type of file name, and supplies for names of the folder:
// has(name); ownTrace(trace, name, kind), whether a temporary of that name
// and kind is there for entry `name`, refusing (by throwing) one that this
// user's Tarvane cannot have made; rename(from, to); discard(name) (an
// entry already gone is fine); and sync() (makes the folder's changes
// durable).
template <typename Folder, typename Name> class ReplaceTraces
{
public:
    static Name staged(const Name& name) { return LocalFileSystem::stagedName(name); }
    static Name kept(const Name& name) { return LocalFileSystem::keptName(name); }
    static Name absent(const Name& name) { return LocalFileSystem::absentName(name); }

    // How the entry at index i was kept aside.
    enum class Kept { No, ByLink, ByCopy, ByMove, AbsentMark };
    // The three kinds of temporary.
    enum class Trace { Staged, Kept, Absent };

    // What has been done so far, for undo(): the temporaries it made, and
    // up to which entry the old ones have been replaced or deleted.
    void madeStaged(qsizetype i) const { m_staged[i] = true; }
    void madeKept(qsizetype i, Kept how) const { m_kept[i] = how; }
    void changedInPlace(qsizetype i) const { m_changed = i + 1; }

    // A removal ends at the first of its entries that is missing
    // (`isThere` says which are): it becomes a change of the entries before
    // that one, recovery having looked at all of them. Returns how many.
    template <typename IsThere> qsizetype narrowToPresent(IsThere isThere)
    {
        qsizetype count = 0;
        while (count < m_names.size() && isThere(m_names[count]))
            ++count;
        m_names.resize(count);
        m_staged.resize(count);
        m_kept.resize(count);
        return count;
    }

    // After a failed change: the old entries back and the temporaries this
    // change made gone. Only what was replaced is put back: a kept link or
    // copy of an entry whose rename never happened is only discarded. If a
    // put-back fails, every temporary stays for the next Load, Restore or
    // Remove to finish the undoing; otherwise each one that can be removed
    // is. The caller reports the first failure.
    void undo() const noexcept
    {
        if (!attempt([&] {
                for (qsizetype i = 0; i + 1 < m_names.size(); ++i) {
                    const Kept how = m_kept[i];
                    const bool replaced = i < m_changed;
                    if (how == Kept::ByMove ||
                        (replaced && (how == Kept::ByLink || how == Kept::ByCopy)))
                        folder().rename(kept(m_names[i]), m_names[i]);
                    else if (replaced && how == Kept::AbsentMark)
                        folder().discard(m_names[i]);
                }
                folder().sync();
            }))
            return;
        attempt([&] { discard(madeTraces()); });
    }

    const QList<Name>& names() const { return m_names; }

    // Ends a change that has happened: the folder synced, then every
    // temporary gone. A failure is reported, but leaves no temporary behind
    // that could be removed.
    void finish() const
    {
        std::optional<PlatformError> failure;
        try {
            folder().sync();
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

protected:
    explicit ReplaceTraces(const QList<Name>& names)
        : m_names(names), m_staged(names.size(), false), m_kept(names.size(), Kept::No)
    {}

    // A change that ended half-way (the process was killed, the machine
    // stopped) left its temporaries. If it had not happened, the kept old
    // entries go back; either way the temporaries go, so the pair is whole
    // again. A temporary this user's Tarvane cannot have made stops it
    // before anything changes. One look at each temporary decides all of
    // it: one planted after that look is left alone. Runs once the folder
    // is locked.
    void recover() const
    {
        QList<Name> seen;
        for (const Name& name : m_names) {
            if (folder().ownTrace(staged(name), name, Trace::Staged))
                seen << staged(name);
            if (folder().ownTrace(kept(name), name, Trace::Kept))
                seen << kept(name);
            if (folder().ownTrace(absent(name), name, Trace::Absent))
                seen << absent(name);
        }
        if (seen.isEmpty())
            return;
        const Name& last = m_names.last();
        const bool unfinished =
            seen.contains(staged(last)) || (seen.contains(absent(last)) && folder().has(last));
        if (unfinished) {
            for (qsizetype i = 0; i + 1 < m_names.size(); ++i) {
                if (seen.contains(kept(m_names[i])))
                    folder().rename(kept(m_names[i]), m_names[i]);
                else if (seen.contains(absent(m_names[i])))
                    folder().discard(m_names[i]);
            }
            folder().sync();
        }
        discard(seen);
    }

private:
    // The temporaries this change made.
    QList<Name> madeTraces() const
    {
        QList<Name> traces;
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

    // Every one of them goes, even when one cannot; then the folder is
    // synced. The first failure is raised at the end.
    void discard(const QList<Name>& traces) const
    {
        std::optional<PlatformError> failure;
        for (const Name& trace : traces) {
            try {
                folder().discard(trace);
            } catch (const PlatformError& error) {
                if (!failure)
                    failure = error;
            }
        }
        folder().sync();
        if (failure)
            throw *failure;
    }

    const Folder& folder() const { return static_cast<const Folder&>(*this); }

    template <typename Step> static bool attempt(Step step) noexcept
    {
        try {
            step();
            return true;
        } catch (const PlatformError&) {
        } catch (const std::bad_alloc&) {
        }
        return false;
    }

    QList<Name> m_names;
    mutable QList<bool> m_staged;
    mutable QList<Kept> m_kept;
    mutable qsizetype m_changed = 0;
};
