// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright the Tarvane developers

#include "app/Program.h"

#include "errors/Guard.h"

#include <QApplication>

void showWaitingForLock(bool waiting)
{
    static bool cursorSet = false;
    if (waiting != cursorSet) {
        if (waiting)
            QApplication::setOverrideCursor(Qt::WaitCursor);
        else
            QApplication::restoreOverrideCursor();
        cursorSet = waiting;
    }
    if (waiting)
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

Program::Program()
{
    m_files.onWaitingForLock(showWaitingForLock);
}

void Program::start()
{
    runHandler(m_report, [this] { m_window.Form_Load(); });
    m_window.show();
}
