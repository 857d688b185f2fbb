// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright the Tarvane developers

// Loads one pair into a game folder as the Load button does, or removes the
// pair as Remove does, in a process of its own: for the crash test to kill
// at every system call, and for a native Tarvane beside Tarvane.exe under
// Wine. Or recovers each game folder named, as a start does.
//
//   load_pair [--named] [--no-hard-links] GAME-FOLDER FRNTLINE-SOURCE AIRFIELD-SOURCE
//   load_pair [--named] [--no-hard-links] GAME-FOLDER
//   load_pair --recover GAME-FOLDER...
//
// --named and --no-hard-links take the path of a system that makes no file
// without a name, or of a volume without hard links. It writes "changing"
// to standard error just before the change. Exit status 0 when done, 3
// with the error and the file it names on standard error when not.

#include "platform/PlatformError.h"
#include "platform/disk/LocalFileSystem.h"

#include <QFileInfo>
#include <cstdio>
#ifndef _WIN32
#include "platform/FileNames.h"
#endif

namespace {

QString argument(const char* text)
{
#ifdef _WIN32
    return QString::fromLocal8Bit(text);
#else
    return decodeFileName(text);
#endif
}

} // namespace

#if defined(__SANITIZE_ADDRESS__)
// LeakSanitizer stops a program's threads with ptrace to look for leaks at
// its end, which it cannot do in a program the crash test traces: it would
// spin there. The file layer's leaks are looked for in the crash test's own
// process.
extern "C" int __lsan_is_turned_off()
{
    return 1;
}
#endif

int main(int argc, char** argv)
{
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << argument(argv[i]);
    const bool named = arguments.removeAll("--named") > 0;
    const bool noLinks = arguments.removeAll("--no-hard-links") > 0;
    const bool recover = arguments.removeAll("--recover") > 0;
    if (arguments.isEmpty() || (!recover && arguments.size() != 1 && arguments.size() != 3))
        return 2;
    LocalFileSystem files;
    const auto pair = [&](const QString& game) {
        QStringList names;
        for (const char* name : {"FRNTLINE.DAT", "AIRFIELD.DAT"})
            names << QFileInfo(files.resolvePath(game + "/" + name)).fileName();
        return names;
    };
    int status = 0;
    try {
        if (recover) {
            for (const QString& game : std::as_const(arguments))
                PairJournal::finishInterrupted(*openChangeFolder(game), pair(game));
            return 0;
        }
        const QString& game = arguments[0];
        const std::unique_ptr<ChangeFolder> folder = openChangeFolder(game);
        folder->anonymousFiles = folder->anonymousFiles && !named;
        folder->hardLinks = !noLinks;
        std::fputs("changing\n", stderr);
        std::fflush(stderr);
        if (arguments.size() == 1)
            PairJournal::remove(*folder, pair(game), {});
        else
            PairJournal::copy(*folder, pair(game), {arguments[1], arguments[2]}, {});
    } catch (const PlatformError& error) {
        status = 3;
        std::fprintf(stderr, "%d %s: %s\n", error.number(), qPrintable(error.description()),
                     qPrintable(error.path()));
    }
    return status;
}
