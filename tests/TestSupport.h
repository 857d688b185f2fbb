#pragma once

#include "platform/Dialogs.h"
#include "platform/LocalFileSystem.h"
#include "platform/PlatformError.h"

#include <QByteArray>
#include <QColor>
#include <QList>
#include <QMap>
#include <QString>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <ostream>

void PrintTo(const QString& text, std::ostream* out);
void PrintTo(const QByteArray& bytes, std::ostream* out);

struct ShownMessage
{
    QString title;
    QString text;
    MessageIcon icon;
};

// Remembers the message boxes instead of showing them.
class RecordingMessageBoxes final : public MessageBoxes
{
public:
    void showMessage(const QString& title, const QString& text, MessageIcon icon) override
    {
        shown.append({title, text, icon});
    }
    QList<ShownMessage> shown;
};

// Remembers that the program was told to end, and lets the test go on.
class RecordingExit final : public ProgramExit
{
public:
    void endProgram(int status) override { statuses.append(status); }
    bool ended() const { return !statuses.isEmpty(); }
    QList<int> statuses;
};

// The two boxes of the fatal report for an errno value.
QList<QString> fatalReportTexts(int errnoValue);

// A scratch folder that files can be written into by relative path.
class Scratch
{
public:
    Scratch();
    QString path(const QString& relative = {}) const;
    void write(const QString& relative, const QByteArray& bytes) const;
    void makeFolder(const QString& relative) const;
    QByteArray read(const QString& relative) const;
    bool exists(const QString& relative) const;
    QStringList entries(const QString& relative = {}) const;

    static void writeFile(const QString& path, const QByteArray& bytes);
    static QByteArray readFile(const QString& path);

private:
    QTemporaryDir m_dir;
};

// Every entry below a folder, by relative path, with what it is: a file's
// content and permission bits, a link's target, or a folder mark. Links are
// not followed.
QMap<QString, QByteArray> snapshot(const QString& folder);

// Runs a statement that must raise PlatformError with the given errno value.
#define EXPECT_PLATFORM_ERROR(statement, errnoValue)                                               \
    do {                                                                                           \
        try {                                                                                      \
            statement;                                                                             \
            ADD_FAILURE() << "no PlatformError from " #statement;                                  \
        } catch (const PlatformError& error_) {                                                    \
            EXPECT_EQ(error_.number(), errnoValue);                                                \
            EXPECT_EQ(error_.description(), PlatformError::fromErrno(errnoValue).description());   \
        }                                                                                          \
    } while (false)

// The real file system, as seen by a program started in a chosen directory.
class StartedIn final : public FileSystem
{
public:
    explicit StartedIn(QString directory) : m_directory(std::move(directory)) {}
    QString currentDirectory() const override { return m_directory; }
    QChar separator() const override { return m_local.separator(); }
    QStringList listDirectory(const QString& path) const override
    {
        return m_local.listDirectory(path);
    }
    QByteArray readFile(const QString& path) const override { return m_local.readFile(path); }
    void copyFiles(const QList<Copy>& copies) override { m_local.copyFiles(copies); }
    void removeFiles(const QStringList& paths) override { m_local.removeFiles(paths); }

private:
    QString m_directory;
    LocalFileSystem m_local;
};

// A game folder EAW with the game's own pair and a library Frontlines of
// numbered sets, each with its pair, a one-colour preview and its lists.
class GameFolder
{
public:
    explicit GameFolder(int sets);

    QString libraryRoot() const { return m_scratch.path("EAW/Frontlines"); }
    const Scratch& scratch() const { return m_scratch; }

    // Distinct binary content for each set's files, with NUL, CR, LF and
    // high bytes in it.
    static QByteArray frontlineBytes(int set);
    static QByteArray airfieldBytes(int set);
    static QColor previewColour(int set);
    static QByteArray axisList(int set);
    static QString axisDisplay(int set);
    static QString alliedDisplay(int set);

private:
    Scratch m_scratch;
};
