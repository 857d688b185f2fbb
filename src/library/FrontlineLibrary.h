// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright the Tarvane developers

#pragma once

#include "library/FrontlineState.h"

#include <QString>

class ErrorReport;
class FileSystem;

// Fills the fields that never change during a run from the start-up
// directory. The game folder is everything before the directory's last
// separator; a directory without one is an invalid argument.
void deriveStartupPaths(FrontlineState& state, const QString& startupDirectory, QChar separator);

// Counts the entries of the library root whose names begin with exactly
// "FrontLine(" into NumFolders. A failure to list the folder reaches the
// caller; a count past the 16-bit range goes to the fatal report.
void CountFrontlineFolders(FrontlineState& state, const FileSystem& files, ErrorReport& report);

// Moves FrontlineNum to the next or previous set, wrapping around at
// NumFolders. Overflow of the 16-bit number raises PlatformError.
void stepForward(FrontlineState& state);
void stepBack(FrontlineState& state);

// Whether the start-up directory is a library: it holds set 1's folder, and
// the lists' folder is there. Where it is not, what to do about it, with
// the directory on a line of its own.
bool startedInALibrary(const FrontlineState& state, const FileSystem& files);
QString whereToStart(const FrontlineState& state);

// The game folder, where the game reads its FRNTLINE.DAT and AIRFIELD.DAT.
QString gameFolder(const FrontlineState& state);

// Fills ThisPicPath, ThisFilePath and ThisAFDataPath for FrontlineNum.
void derivePerSetPaths(FrontlineState& state);

// The title of a displayed set: "Frontline #" and its number, and
// " (Default)" when marked as the default set.
QString frontlineTitle(std::int16_t number, bool markedDefault);

// The airfield list files of FrontlineNum.
QString axisListPath(const FrontlineState& state);
QString alliedListPath(const FrontlineState& state);
