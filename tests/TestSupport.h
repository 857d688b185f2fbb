#pragma once

#include "platform/Dialogs.h"
#include "platform/PlatformError.h"

#include <QByteArray>
#include <QList>
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

private:
    QTemporaryDir m_dir;
};

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
