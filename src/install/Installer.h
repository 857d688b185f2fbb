// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright the Tarvane developers

#pragma once

#include <QString>

class ErrorReport;
class FileSystem;
class GameProbe;
class MessageBoxes;
struct FrontlineState;

// The three operations that change the game folder. Each runs under the
// fatal guard, confirms its success with a message box and returns whether
// it completed. The game files are copied, deleted or compared whole, never
// interpreted.
//
// Where something stands between the change and the game, the confirmation
// says so on a line of its own: a game that is running (it reads the pair
// when it starts), or Windows' own copies of the pair, which the game reads
// first. Where the system refuses the change, the fatal report says on a
// line of its own what the player can do.

// What the game folder is like: where Windows keeps its own copies of the
// folder's files (if it does), which of the pair it holds there, and, when
// looked at for a change, whether the game is running from it. Looked up
// once a click, for the change and for the Installed mark after it.
struct GameFolderFacts
{
    QString path;
    QString virtualStore;
    bool frontlineCopied = false;
    bool airfieldsCopied = false;
    bool gameRunning = false;
};
enum class Look { ForTheMark, ForAChange };
GameFolderFacts lookAtGameFolder(const FrontlineState& state, const FileSystem& files,
                                 const GameProbe& probe, Look look);

// Copies the displayed set's FRNTLINE.DAT and AIRFIELD.DAT over the game
// folder's pair. Both are copied in full before either is replaced, so a
// failure leaves the game folder's pair as it was.
bool installDisplayedSet(const FrontlineState& state, const GameFolderFacts& game,
                         FileSystem& files, MessageBoxes& boxes, ErrorReport& report);

// The same for the default pair, always that of the game folder's
// Frontlines/Frontline(1).
bool restoreDefaultSet(const FrontlineState& state, const GameFolderFacts& game, FileSystem& files,
                       MessageBoxes& boxes, ErrorReport& report);

// Deletes the game folder's FRNTLINE.DAT and AIRFIELD.DAT, both or neither.
// When only FRNTLINE.DAT is there, it goes, and AIRFIELD.DAT is reported
// missing; when FRNTLINE.DAT is missing, that is reported and nothing
// changes.
bool removeGamePair(const FrontlineState& state, const GameFolderFacts& game, FileSystem& files,
                    MessageBoxes& boxes, ErrorReport& report);

// Whether the pair the game reads is, byte for byte, the displayed set's:
// the game folder's, or Windows' own copy of a file where there is one. Only
// reads; anything it cannot compare counts as not installed.
bool isDisplayedSetInstalled(const FrontlineState& state, const GameFolderFacts& game,
                             const FileSystem& files);

// Puts the game folder's pair right where a Load, Restore Default or Remove
// was cut short (the program killed, the machine stopped), unless another
// program holds the game folder's lock at that moment. Raises PlatformError
// where it cannot, leaving everything as it is.
void finishInterruptedChange(const FrontlineState& state, FileSystem& files);
