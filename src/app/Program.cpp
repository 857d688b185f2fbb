// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright the Tarvane developers

#include "app/Program.h"

#include "errors/Guard.h"

#include <QApplication>

Program::Program()
{
    // While a change waits for another holder of the game folder's lock.
    m_files.onWaitingForLock([](bool waiting) {
        if (waiting)
            QApplication::setOverrideCursor(Qt::WaitCursor);
        else
            QApplication::restoreOverrideCursor();
    });
}

void Program::start()
{
    runHandler(m_report, [this] { m_window.Form_Load(); });
    m_window.show();
}
