// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright the Tarvane developers

#include "GTestSupport.h"

#include "Identity.h"

void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toUtf8().replace("\r", "\\r").replace("\n", "\\n").toStdString() << '"';
}

void PrintTo(const QByteArray& bytes, std::ostream* out)
{
    *out << "bytes(" << bytes.size() << "): " << bytes.left(64).toHex(' ').toStdString();
}

QList<QString> fatalReportTexts(int errnoValue, const QString& path, const QString& advice)
{
    const PlatformError error = PlatformError::fromSystem(errnoValue);
    return {QStringLiteral("Problem with program, Report the following message to: ") +
                MaintainerAddress,
            QStringLiteral("Error %1:\r\n%2").arg(error.number()).arg(error.description()) +
                (path.isEmpty() ? QString() : "\r\n" + path) +
                (advice.isEmpty() ? QString() : "\r\n" + advice)};
}
