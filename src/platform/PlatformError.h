// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright the Tarvane developers

#pragma once

#include <QString>
#include <cstdint>
#include <optional>

// A failed operation, as the operating system reports it: its error number,
// its description, and the file or folder it concerns, if any. Every failure
// of the platform layer, and the program's own arithmetic and argument
// failures, are raised as this one type.
class PlatformError
{
public:
    PlatformError(std::int32_t number, QString description, QString path = {})
        : m_number(number), m_description(std::move(description)), m_path(std::move(path))
    {}

    // The error for a system error number (errno on POSIX), with the
    // system's text for it; `path` is the file or folder it concerns, in
    // native form.
    static PlatformError fromSystem(int number, QString path = {});

    // The failures the program finds itself, outside any system call, as
    // the system numbers and words them.
    enum class Failure {
        InvalidArgument, // a start-up directory without a separator
        InvalidData,     // a preview that is not a picture
        Overflow,        // a set number past the 16-bit range
        OutOfMemory,
        NotFound,     // a game file to remove
        TooLarge,     // a set file over the size limit
        NotPermitted, // a game file that cannot be kept while replaced
        Busy,         // a game folder another holds locked
        // What a change finds in its way, where the system's own number
        // would not tell the player which it is.
        ReadOnly,           // a file marked read-only for everyone
        AFolder,            // a folder where a file belongs
        Unchangeable,       // a file marked append-only or immutable
        Unreadable,         // a folder whose entries may not be listed
        ChangedWhileCopied, // a file another program wrote while it was copied
        NotOurs,            // a temporary's name that another user's file took
        NotALockFile,       // a link or a folder where the lock file belongs
        ALink,              // a link the system will not replace
    };
    static PlatformError of(Failure failure, QString path = {});
    // Whether this is that failure, found by the program.
    bool is(Failure failure) const { return m_failure == failure; }

    std::int32_t number() const { return m_number; }
    const QString& description() const { return m_description; }
    const QString& path() const { return m_path; }

    // Whether the system refused the change: no permission for this user,
    // or a disk that may not be written.
    bool isRefusal() const;
    // Whether another program holds the file open.
    bool isHeldByAnotherProgram() const;

    // A line for the user under the error, on what to do about it.
    const QString& advice() const { return m_advice; }
    PlatformError withAdvice(QString advice) const
    {
        PlatformError advised = *this;
        advised.m_advice = std::move(advice);
        return advised;
    }

    // Whether the change it ended was made all the same: it failed only
    // while clearing up after itself.
    bool changeDone() const { return m_changeDone; }
    PlatformError withChangeDone() const
    {
        PlatformError done = *this;
        done.m_changeDone = true;
        return done;
    }

private:
    std::int32_t m_number;
    QString m_description;
    QString m_path;
    QString m_advice;
    std::optional<Failure> m_failure;
    bool m_changeDone = false;
};
