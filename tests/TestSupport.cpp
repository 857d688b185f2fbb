#include "TestSupport.h"

#include "errors/ErrorReport.h"

#include <QDir>
#include <QFile>

void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toUtf8().replace("\r", "\\r").replace("\n", "\\n").toStdString() << '"';
}

void PrintTo(const QByteArray& bytes, std::ostream* out)
{
    *out << "bytes(" << bytes.size() << "): " << bytes.left(64).toHex(' ').toStdString();
}

QList<QString> fatalReportTexts(int errnoValue)
{
    const PlatformError error = PlatformError::fromErrno(errnoValue);
    return {QStringLiteral("Problem with program, Report the following message to: ") +
                MaintainerAddress,
            QStringLiteral("Error %1:\r\n%2").arg(error.number()).arg(error.description())};
}

Scratch::Scratch()
{
    if (!m_dir.isValid())
        throw std::runtime_error("cannot create a temporary folder");
}

QString Scratch::path(const QString& relative) const
{
    return relative.isEmpty() ? m_dir.path() : m_dir.filePath(relative);
}

void Scratch::write(const QString& relative, const QByteArray& bytes) const
{
    const QString full = path(relative);
    QDir().mkpath(QFileInfo(full).absolutePath());
    QFile file(full);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        throw std::runtime_error("cannot write " + full.toStdString());
}

void Scratch::makeFolder(const QString& relative) const
{
    QDir().mkpath(path(relative));
}

QByteArray Scratch::read(const QString& relative) const
{
    QFile file(path(relative));
    if (!file.open(QIODevice::ReadOnly))
        throw std::runtime_error("cannot read " + relative.toStdString());
    return file.readAll();
}

bool Scratch::exists(const QString& relative) const
{
    return QFileInfo::exists(path(relative));
}

QStringList Scratch::entries(const QString& relative) const
{
    return QDir(path(relative))
        .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                   QDir::Name);
}
