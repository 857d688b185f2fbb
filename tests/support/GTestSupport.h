// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright the Tarvane developers

#pragma once

// What GoogleTest needs to print and check the program's own types.

#include "platform/PlatformError.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <gtest/gtest.h>
#include <ostream>

void PrintTo(const QString& text, std::ostream* out);
void PrintTo(const QByteArray& bytes, std::ostream* out);

// The two boxes of the fatal report for an errno value, and the file or
// folder it names and the advice under it, if any.
QList<QString> fatalReportTexts(int errnoValue, const QString& path = {},
                                const QString& advice = {});

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
