// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright the Tarvane developers

#include <QApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv)
{
#ifndef _WIN32
    // Headless unless told otherwise. On Windows the window tests use the
    // system's own platform (under Wine, inside Xvfb): the offscreen
    // platform there has no fonts but those of a folder named in
    // QT_QPA_FONTDIR, a variable Wine does not pass on.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
#endif
    testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
