// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright the Tarvane developers

#include "install/Installer.h"

#include "Identity.h"
#include "errors/Guard.h"
#include "library/FrontlineLibrary.h"
#include "library/FrontlineState.h"
#include "platform/disk/FileSystem.h"
#include "platform/game/GameProbe.h"
#include "platform/screen/MessageBoxes.h"

namespace {

// Whether the failure is the game folder's own or one of its entries' (not
// one of the library's, which lies inside it).
bool concernsGameFolder(const PlatformError& error, const QString& folder, QChar separator)
{
    const QString& path = error.path();
    const QString within = folder.endsWith(separator) ? folder : folder + separator;
    return path.compare(folder, Qt::CaseInsensitive) == 0 ||
           (path.startsWith(within, Qt::CaseInsensitive) &&
            !QStringView(path).mid(within.size()).contains(separator));
}

// A failure of a change, with a line on what the player can do about it:
// for a set file that changed while it was copied, a file another program
// holds, or a game folder entry the system refused to change; or, where the
// change was made before it failed, `done`, what the game folder now holds.
PlatformError withAdvice(const PlatformError& error, const GameFolderFacts& game, QChar separator,
                         const char* done)
{
    using Failure = PlatformError::Failure;
    const auto advised = [&](const char* advice) {
        return error.withAdvice(QString::fromLatin1(advice));
    };
    if (error.changeDone())
        return advised(done);
    if (error.is(Failure::ChangedWhileCopied))
        return advised("Another program changed this file while it was being copied: try again "
                       "once that program is done with it.");
    const bool gameFolders = concernsGameFolder(error, game.path, separator);
    if (error.isHeldByAnotherProgram())
        return advised(gameFolders && game.gameRunning
                           ? "European Air War is running and holds this file: close the game, "
                             "then start Tarvane again."
                           : "Another program holds this file open: close that program, then "
                             "try again.");
    if (!gameFolders)
        return error;
    // What stands in the way is no matter of rights: an administrator is
    // refused as well.
    if (error.is(Failure::AFolder))
        return advised("A folder stands where this game file belongs: move it out of the game "
                       "folder, then try again.");
    if (error.is(Failure::ReadOnly))
        return advised("This file is marked read-only: clear its read-only mark, then try again.");
    if (error.is(Failure::Unchangeable))
        return advised("This file or folder is marked append-only or immutable, so no one may "
                       "change it: clear that mark (chattr -ai, as root), then try again.");
    if (error.is(Failure::Unreadable))
        return advised("This user may not read the game folder's list of files: give it read "
                       "permission on the folder, then try again.");
    if (error.is(Failure::NotALockFile))
        return advised("Tarvane keeps its lock in this file, but a folder or a link stands "
                       "there: move it out of the game folder, then try again.");
    if (!error.isRefusal())
        return error;
    if (!game.virtualStore.isEmpty())
        return advised("Windows lets only administrators change files in this folder: start "
                       "Tarvane with \"Run as administrator\", or move the game to a folder of "
                       "your own.");
    return advised("This user may not change the game folder or this file, or the disk is "
                   "read-only.");
}

// The confirmation of a change, and under it what stands between the change
// and the game: Windows' own copies of the pair, which the game reads first,
// and a game that read the pair when it started.
QString confirmation(QString text, const GameFolderFacts& game)
{
    // The folder's path on a line of its own, where the box cannot break it.
    if (game.frontlineCopied || game.airfieldsCopied)
        text += QStringLiteral("\r\nWindows gives the game its own copies of these files first: "
                               "delete them for the game to use the game folder's files. "
                               "Windows keeps them in\r\n") +
                game.virtualStore;
    if (game.gameRunning)
        text += QStringLiteral(
            "\r\nEuropean Air War is running: start it again for it to use the new files.");
    return text;
}

// What the game folder holds after a change that failed only once made.
constexpr char Loaded[] = "Tarvane had put the new pair in place before this failed: the game "
                          "folder holds the new Frontline and Airfield files.";
constexpr char Removed[] = "Tarvane had deleted the pair before this failed: the game folder "
                           "holds no Frontline or Airfield file.";

// Runs a change to the game folder under the fatal guard and confirms it.
template <typename Change>
bool changeGameFolder(const GameFolderFacts& game, const FileSystem& files, MessageBoxes& boxes,
                      ErrorReport& report, const QString& text, const char* done, Change change)
{
    return fatalGuard(report, [&] {
        try {
            change();
        } catch (const PlatformError& error) {
            throw withAdvice(error, game, files.separator(), done);
        }
        boxes.showMessage(ApplicationTitle, confirmation(text, game), MessageIcon::None);
    });
}

// Copies a pair over the game folder's.
bool installPair(const QString& frontline, const QString& airfields, const FrontlineState& state,
                 const GameFolderFacts& game, FileSystem& files, MessageBoxes& boxes,
                 ErrorReport& report, const QString& text)
{
    return changeGameFolder(game, files, boxes, report, text, Loaded, [&] {
        files.copyFiles({{frontline, state.DestinationPath}, {airfields, state.AFDestPath}});
    });
}

} // namespace

GameFolderFacts lookAtGameFolder(const FrontlineState& state, const FileSystem& files,
                                 const GameProbe& probe, Look look)
{
    GameFolderFacts game;
    game.path = gameFolder(state);
    game.virtualStore = probe.virtualStore(game.path);
    if (!game.virtualStore.isEmpty()) {
        game.frontlineCopied = files.exists(game.virtualStore + state.TargetFileName);
        game.airfieldsCopied = files.exists(game.virtualStore + state.TargetAFDataName);
    }
    if (look == Look::ForAChange)
        game.gameRunning = probe.windowsProgramRunsFrom(game.path);
    return game;
}

bool installDisplayedSet(const FrontlineState& state, const GameFolderFacts& game,
                         FileSystem& files, MessageBoxes& boxes, ErrorReport& report)
{
    return installPair(state.ThisFilePath, state.ThisAFDataPath, state, game, files, boxes, report,
                       QStringLiteral("Frontline and Airfield files loaded"));
}

bool restoreDefaultSet(const FrontlineState& state, const GameFolderFacts& game, FileSystem& files,
                       MessageBoxes& boxes, ErrorReport& report)
{
    return installPair(state.DefaultFrtLinePath, state.DefaultAFDataPath, state, game, files, boxes,
                       report, QStringLiteral("Default Frontline and Airfield files restored"));
}

bool removeGamePair(const FrontlineState& state, const GameFolderFacts& game, FileSystem& files,
                    MessageBoxes& boxes, ErrorReport& report)
{
    return changeGameFolder(
        game, files, boxes, report, QStringLiteral("Frontline and Airfield files deleted"), Removed,
        [&] {
            try {
                files.removeFiles({state.DestinationPath, state.AFDestPath});
            } catch (const PlatformError& error) {
                // A game file missing is no fault: say which, and what is left.
                if (!error.is(PlatformError::Failure::NotFound))
                    throw;
                if (error.path().endsWith(state.TargetFileName, Qt::CaseInsensitive))
                    throw error.withAdvice(QStringLiteral(
                        "The game folder holds no Frontline file, so there was no pair to "
                        "delete: it was deleted already, or never loaded."));
                throw error.withAdvice(QStringLiteral(
                    "The game folder held no Airfield file: Tarvane deleted the Frontline "
                    "file, so the game folder now holds neither."));
            }
        });
}

void finishInterruptedChange(const FrontlineState& state, FileSystem& files)
{
    files.finishInterruptedChange({state.DestinationPath, state.AFDestPath});
}

bool isDisplayedSetInstalled(const FrontlineState& state, const GameFolderFacts& game,
                             const FileSystem& files)
{
    // The game reads Windows' own copy of a file where there is one, else
    // the game folder's.
    return files.sameContent(state.ThisFilePath, game.frontlineCopied
                                                     ? game.virtualStore + state.TargetFileName
                                                     : state.DestinationPath) &&
           files.sameContent(state.ThisAFDataPath, game.airfieldsCopied
                                                       ? game.virtualStore + state.TargetAFDataName
                                                       : state.AFDestPath);
}
