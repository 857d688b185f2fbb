// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright the Tarvane developers

#pragma once

#include <QString>

// What the system says of the game itself, apart from the disk: where
// Windows gives it its own copies of the game folder's files, and whether
// it is running. Only looks; never fails.
class GameProbe
{
public:
    virtual ~GameProbe() = default;

    // Windows lets only administrators change a folder under Program Files,
    // the Windows folder or ProgramData. When an old program (32-bit, with no
    // manifest) run by an ordinary user writes a file there, Windows puts the
    // file into that user's VirtualStore instead, and from then on gives the
    // program that copy first. For a folder under one of those, this is the
    // folder where its copies are, whether or not it holds any; for any other
    // folder, and on other systems, it is empty. A folder written as a
    // drive's name alone ("C:") is that drive's root.
    virtual QString virtualStore(const QString& folder) const noexcept = 0;

    // Whether a Windows program is running from the folder: one whose
    // program file lies there, or, as Wine runs them on Linux, one started
    // in it.
    virtual bool windowsProgramRunsFrom(const QString& folder) const noexcept = 0;
};

// The running system's answers.
class LocalGameProbe final : public GameProbe
{
public:
    QString virtualStore(const QString& folder) const noexcept override;
    bool windowsProgramRunsFrom(const QString& folder) const noexcept override;
};
