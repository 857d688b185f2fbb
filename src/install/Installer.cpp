#include "install/Installer.h"

#include "Identity.h"
#include "errors/Guard.h"
#include "library/FrontlineState.h"
#include "platform/FileSystem.h"
#include "platform/MessageBoxes.h"

namespace {

void installPair(const QString& frontline, const QString& airfields, const FrontlineState& state,
                 FileSystem& files, MessageBoxes& boxes, ErrorReport& report,
                 const QString& confirmation)
{
    fatalGuard(report, [&] {
        files.copyFiles({{frontline, state.DestinationPath}, {airfields, state.AFDestPath}});
        boxes.showMessage(ApplicationTitle, confirmation, MessageIcon::None);
    });
}

} // namespace

void installDisplayedSet(const FrontlineState& state, FileSystem& files, MessageBoxes& boxes,
                         ErrorReport& report)
{
    installPair(state.ThisFilePath, state.ThisAFDataPath, state, files, boxes, report,
                QStringLiteral("Frontline and Airfield files loaded"));
}

void restoreDefaultSet(const FrontlineState& state, FileSystem& files, MessageBoxes& boxes,
                       ErrorReport& report)
{
    installPair(state.DefaultFrtLinePath, state.DefaultAFDataPath, state, files, boxes, report,
                QStringLiteral("Default Frontline and Airfield files restored"));
}

void removeGamePair(const FrontlineState& state, FileSystem& files, MessageBoxes& boxes,
                    ErrorReport& report)
{
    fatalGuard(report, [&] {
        files.removeFiles({state.DestinationPath, state.AFDestPath});
        boxes.showMessage(ApplicationTitle, QStringLiteral("Frontline and Airfield files deleted"),
                          MessageIcon::None);
    });
}
