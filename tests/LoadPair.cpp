// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright the Tarvane developers

// Loads one pair into a game folder as the Load button does, or removes the
// pair as Remove does, in a process of its own: for the crash test to trace
// and kill, and for a native Tarvane beside Tarvane.exe under Wine.
//
//   load_pair GAME-FOLDER FRNTLINE-SOURCE AIRFIELD-SOURCE
//   load_pair GAME-FOLDER
//
// Exit status 0 when done, 3 with the error and the file it names on
// standard error when not.

#include "platform/FileNames.h"
#include "platform/PlatformError.h"
#include "platform/disk/LocalFileSystem.h"

#include <cstdio>

int main(int argc, char** argv)
{
    if (argc != 4 && argc != 2)
        return 2;
    const QString game = decodeFileName(argv[1]);
    const QStringList destinations = {game + "/FRNTLINE.DAT", game + "/AIRFIELD.DAT"};
    LocalFileSystem files;
    int status = 0;
    try {
        if (argc == 2)
            files.removeFiles(destinations);
        else
            files.copyFiles({{decodeFileName(argv[2]), destinations[0]},
                             {decodeFileName(argv[3]), destinations[1]}});
    } catch (const PlatformError& error) {
        status = 3;
        std::fprintf(stderr, "%d %s: %s\n", error.number(), qPrintable(error.description()),
                     qPrintable(error.path()));
    }
    return status;
}
