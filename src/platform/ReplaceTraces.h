// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright the Tarvane developers

#pragma once

#include "platform/LocalFileSystem.h"
#include "platform/PlatformError.h"

#include <QList>
#include <new>

// The temporaries a replace of some entries of one folder leaves there, and
// how they are undone: one order of steps for every system. A replace
//   1. writes every new file in full under its staged name;
//   2. keeps each old entry but the last under its kept name, or leaves an
//      absent mark where there was none;
//   3. renames the staged files into place, in order;
//   4. discards its temporaries.
// So while the last staged file is there, not every rename has happened.
//
// Each file layer's folder derives from this, as ReplaceTraces<Folder, Name>
// with Name its type of file name, and supplies for names of the folder:
// has(name), rename(from, to), discard(name) (an entry already gone is
// fine) and sync() (makes the folder's changes durable).
template <typename Folder, typename Name> class ReplaceTraces
{
public:
    static Name staged(const Name& name) { return LocalFileSystem::stagedName(name); }
    static Name kept(const Name& name) { return LocalFileSystem::keptName(name); }
    static Name absent(const Name& name) { return LocalFileSystem::absentName(name); }

    // Undoes the renames of a replace that did not finish: every kept old
    // entry goes back under its name, and a name that had none is removed.
    void putBack() const
    {
        for (qsizetype i = 0; i + 1 < m_names.size(); ++i) {
            if (folder().has(kept(m_names[i])))
                folder().rename(kept(m_names[i]), m_names[i]);
            else if (folder().has(absent(m_names[i])))
                folder().discard(m_names[i]);
        }
    }

    void discardTemporaries() const
    {
        for (const Name& name : m_names) {
            folder().discard(staged(name));
            folder().discard(kept(name));
            folder().discard(absent(name));
        }
    }

    // After a failed replace: the old entries back and the temporaries gone.
    // If that fails too, the temporaries stay for the next Load, Restore or
    // Remove to finish the undoing; the caller reports the first failure.
    void undo() const noexcept
    {
        try {
            putBack();
            discardTemporaries();
            folder().sync();
        } catch (const PlatformError&) {
        } catch (const std::bad_alloc&) {
        }
    }

protected:
    explicit ReplaceTraces(const QList<Name>& names) : m_names(names) {}

    // A replace that ended half-way (the process was killed, the machine
    // stopped) left its temporaries. If the last staged file is still there,
    // not every rename happened: the kept old entries go back. Either way the
    // temporaries go, so the pair is whole again. Runs once the folder is
    // locked.
    void recover() const
    {
        if (folder().has(staged(m_names.last())))
            putBack();
        discardTemporaries();
    }

private:
    const Folder& folder() const { return static_cast<const Folder&>(*this); }

    QList<Name> m_names;
};
