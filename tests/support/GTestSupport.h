// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright the Tarvane developers

#pragma once

// What GoogleTest needs to print and check the program's own types.

#include "platform/PlatformError.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <gtest/gtest.h>
#include <ostream>

void PrintTo(const QString& text, std::ostream* out);
void PrintTo(const QByteArray& bytes, std::ostream* out);

struct ShownMessage;

// A fatal report as a player reads it: the error's number, and the lines
// under the system's description of it (the file or folder it concerns, then
// what to do). How the two boxes lay that out is the error report's own test.
struct FatalReport
{
    int number = 0;
    QStringList linesUnder;
    bool operator==(const FatalReport&) const = default;
};
// The report for an error number, with those of `lines` that are not empty.
FatalReport fatalReport(int number, const QStringList& lines = {});
// The first fatal report these boxes show (the one that ends the program),
// or an empty one (number 0) where they show none.
FatalReport fatalReportIn(const QList<ShownMessage>& shown);
void PrintTo(const FatalReport& report, std::ostream* out);

// Runs a statement that must raise PlatformError with the given errno value
// and the system's description of it.
#define EXPECT_PLATFORM_ERROR(statement, errnoValue)                                               \
    do {                                                                                           \
        try {                                                                                      \
            statement;                                                                             \
            ADD_FAILURE() << "no PlatformError from " #statement;                                  \
        } catch (const PlatformError& error_) {                                                    \
            EXPECT_EQ(error_.number(), errnoValue);                                                \
            EXPECT_FALSE(error_.description().isEmpty());                                          \
        }                                                                                          \
    } while (false)
