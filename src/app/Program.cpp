// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright the Tarvane developers

#include "app/Program.h"

#include "errors/Guard.h"

void Program::start()
{
    runHandler(m_report, [this] { m_window.Form_Load(); });
    m_window.show();
}
