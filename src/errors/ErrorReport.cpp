#include "errors/ErrorReport.h"

#include "Identity.h"

void ErrorReport::ShowProgramError(const PlatformError& error)
{
    m_boxes.showMessage(ApplicationTitle,
                        QStringLiteral("Problem with program, Report the following message to: ") +
                            MaintainerAddress,
                        MessageIcon::None);
    m_boxes.showMessage(ApplicationTitle,
                        QStringLiteral("Error ") + QString::number(error.number()) +
                            QStringLiteral(":\r\n") + error.description(),
                        MessageIcon::Information);
    m_exit.endProgram(FailureStatus);
}

void ErrorReport::showDefaultReport(const PlatformError& error)
{
    m_boxes.showMessage(ApplicationTitle,
                        QStringLiteral("Run-time error '") + QString::number(error.number()) +
                            QStringLiteral("':\r\n\r\n") + error.description(),
                        MessageIcon::Critical);
    m_exit.endProgram(FailureStatus);
}
