#pragma once

class ErrorReport;
class FileSystem;
class MessageBoxes;
struct FrontlineState;

// The three operations that change the game folder. Each runs under the
// fatal guard and confirms its success with a message box. The game files
// are copied or deleted whole, never read for their content.

// Copies the displayed set's FRNTLINE.DAT and AIRFIELD.DAT over the game
// folder's pair. Both are copied in full before either is replaced, so a
// failure leaves the game folder's pair as it was.
void installDisplayedSet(const FrontlineState& state, FileSystem& files, MessageBoxes& boxes,
                         ErrorReport& report);

// The same for the default pair, always that of the game folder's
// Frontlines/Frontline(1).
void restoreDefaultSet(const FrontlineState& state, FileSystem& files, MessageBoxes& boxes,
                       ErrorReport& report);

// Deletes the game folder's FRNTLINE.DAT, then its AIRFIELD.DAT.
void removeGamePair(const FrontlineState& state, FileSystem& files, MessageBoxes& boxes,
                    ErrorReport& report);
