// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright the Tarvane developers

#pragma once

#include "app/FRM_tarvanescreen.h"
#include "errors/ErrorReport.h"
#include "platform/disk/LocalFileSystem.h"
#include "platform/game/GameProbe.h"
#include "platform/screen/ImmediateExit.h"
#include "platform/screen/QtMessageBoxes.h"

// While a change waits for another holder of the game folder's lock: the
// wait cursor, and the window painted (but no input taken).
void showWaitingForLock(bool waiting);

// The program as a player runs it: the main window on the real platform
// services. Needs a QApplication.
class Program
{
public:
    Program();
    FRM_tarvanescreen& window() { return m_window; }

    // Runs the start-up sequence, then shows the window. A failure of the
    // unguarded first step ends the program with the default report.
    void start();

private:
    LocalFileSystem m_files;
    LocalGameProbe m_game;
    QtMessageBoxes m_boxes;
    ImmediateExit m_exit;
    ErrorReport m_report{m_boxes, m_exit};
    FRM_tarvanescreen m_window{m_files, m_game, m_boxes, m_exit};
};
