// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright the Tarvane developers

#include "GTestSupport.h"

#include "Identity.h"
#include "PlatformFakes.h"

#include <QRegularExpression>
#include <algorithm>

void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toUtf8().replace("\r", "\\r").replace("\n", "\\n").toStdString() << '"';
}

void PrintTo(const QByteArray& bytes, std::ostream* out)
{
    *out << "bytes(" << bytes.size() << "): " << bytes.left(64).toHex(' ').toStdString();
}

FatalReport fatalReport(int number, const QStringList& lines)
{
    FatalReport report{number, {}};
    for (const QString& line : lines) {
        if (!line.isEmpty())
            report.linesUnder.append(line);
    }
    return report;
}

FatalReport fatalReportIn(const QList<ShownMessage>& shown)
{
    const QString whom = QStringLiteral("Problem with program, Report the following message to: ") +
                         MaintainerAddress;
    const auto first = std::find_if(shown.begin(), shown.end(),
                                    [&](const ShownMessage& box) { return box.text == whom; });
    if (first == shown.end() || first + 1 == shown.end())
        return {};
    const QStringList lines = (first + 1)->text.split(QStringLiteral("\r\n"));
    const QRegularExpressionMatch number =
        QRegularExpression(QStringLiteral("^Error (-?[0-9]+):$")).match(lines.first());
    if (!number.hasMatch() || lines.size() < 2 || lines[1].isEmpty())
        return {};
    return {number.captured(1).toInt(), lines.mid(2)};
}

void PrintTo(const FatalReport& report, std::ostream* out)
{
    *out << "Error " << report.number;
    for (const QString& line : report.linesUnder) {
        *out << " / ";
        PrintTo(line, out);
    }
}
