// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright the Tarvane developers

#include "app/Appearance.h"
#include "app/Program.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    prepareApplication(app);
    Program program;
    program.start();
    return app.exec();
}
