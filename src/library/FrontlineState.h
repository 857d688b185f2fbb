// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright the Tarvane developers

#pragma once

#include <QString>
#include <cstdint>

// Everything the program knows while it runs: the paths it works with and the
// two set counters. Owned by the main window for the whole run.
struct FrontlineState
{
    QString ThisPicPath;           // preview picture of the displayed set
    QString ThisFilePath;          // FRNTLINE.DAT of the displayed set
    QString ThisAFDataPath;        // AIRFIELD.DAT of the displayed set
    QString MainPath;              // the library root: the start-up directory
    QString DestinationPath;       // FRNTLINE.DAT in the game folder
    QString DefaultFrtLinePath;    // FRNTLINE.DAT of the default set
    QString DefaultAFDataPath;     // AIRFIELD.DAT of the default set
    QString BeginFolderName;       // start of a set folder name under the library root
    QString TargetPicName;         // start of a set's picture file name
    QString WorkFilesPath;         // folder of the airfield list files
    QString TargetFileName;        // separator and FRNTLINE.DAT
    QString AFDestPath;            // AIRFIELD.DAT in the game folder
    QString ThisAFListPath;        // the airfield list being loaded (Axis, then Allied)
    QString TargetAFDataName;      // separator and AIRFIELD.DAT
    std::int16_t FrontlineNum = 0; // number of the displayed set
    std::int16_t NumFolders = 0;   // set folders counted at start-up
};
