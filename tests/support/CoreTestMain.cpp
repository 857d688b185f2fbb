// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright the Tarvane developers

#include <QCoreApplication>
#include <gtest/gtest.h>

// Tests of the widget-free layers run without a GUI.
int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    QCoreApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
