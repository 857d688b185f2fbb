// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright the Tarvane developers

#include "errors/ErrorReport.h"

#include "Identity.h"

namespace {

// Under the description, the file or folder the failure concerns, so that a
// player started in the wrong folder sees what is missing, and then what
// the player can do about it, where the program knows.
QString linesUnder(const PlatformError& error)
{
    QString lines;
    for (const QString& line : {error.path(), error.advice()}) {
        if (!line.isEmpty())
            lines += QStringLiteral("\r\n") + line;
    }
    return lines;
}

} // namespace

void ErrorReport::ShowProgramError(const PlatformError& error)
{
    m_boxes.showMessage(ApplicationTitle,
                        QStringLiteral("Problem with program, Report the following message to: ") +
                            MaintainerAddress,
                        MessageIcon::None);
    m_boxes.showMessage(ApplicationTitle,
                        QStringLiteral("Error ") + QString::number(error.number()) +
                            QStringLiteral(":\r\n") + error.description() + linesUnder(error),
                        MessageIcon::Information);
    m_exit.endProgram(FailureStatus);
}

void ErrorReport::showDefaultReport(const PlatformError& error)
{
    m_boxes.showMessage(ApplicationTitle,
                        QStringLiteral("Run-time error '") + QString::number(error.number()) +
                            QStringLiteral("':\r\n\r\n") + error.description() + linesUnder(error),
                        MessageIcon::Critical);
    m_exit.endProgram(FailureStatus);
}
