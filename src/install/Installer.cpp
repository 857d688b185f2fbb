// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright the Tarvane developers

#include "install/Installer.h"

#include "Identity.h"
#include "errors/Guard.h"
#include "library/FrontlineState.h"
#include "platform/FileSystem.h"
#include "platform/MessageBoxes.h"

namespace {

bool installPair(const QString& frontline, const QString& airfields, const FrontlineState& state,
                 FileSystem& files, MessageBoxes& boxes, ErrorReport& report,
                 const QString& confirmation)
{
    return fatalGuard(report, [&] {
        files.copyFiles({{frontline, state.DestinationPath}, {airfields, state.AFDestPath}});
        boxes.showMessage(ApplicationTitle, confirmation, MessageIcon::None);
    });
}

} // namespace

bool installDisplayedSet(const FrontlineState& state, FileSystem& files, MessageBoxes& boxes,
                         ErrorReport& report)
{
    return installPair(state.ThisFilePath, state.ThisAFDataPath, state, files, boxes, report,
                       QStringLiteral("Frontline and Airfield files loaded"));
}

bool restoreDefaultSet(const FrontlineState& state, FileSystem& files, MessageBoxes& boxes,
                       ErrorReport& report)
{
    return installPair(state.DefaultFrtLinePath, state.DefaultAFDataPath, state, files, boxes,
                       report, QStringLiteral("Default Frontline and Airfield files restored"));
}

bool removeGamePair(const FrontlineState& state, FileSystem& files, MessageBoxes& boxes,
                    ErrorReport& report)
{
    return fatalGuard(report, [&] {
        files.removeFiles({state.DestinationPath, state.AFDestPath});
        boxes.showMessage(ApplicationTitle, QStringLiteral("Frontline and Airfield files deleted"),
                          MessageIcon::None);
    });
}

bool isDisplayedSetInstalled(const FrontlineState& state, const FileSystem& files)
{
    return files.sameContent(state.ThisFilePath, state.DestinationPath) &&
           files.sameContent(state.ThisAFDataPath, state.AFDestPath);
}
