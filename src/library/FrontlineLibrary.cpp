// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright the Tarvane developers

#include "library/FrontlineLibrary.h"

#include "errors/Guard.h"
#include "platform/PlatformError.h"
#include "platform/disk/FileSystem.h"

#include <limits>

namespace {

std::int16_t checkedSetNumber(int value)
{
    if (value < std::numeric_limits<std::int16_t>::min() ||
        value > std::numeric_limits<std::int16_t>::max())
        throw PlatformError::of(PlatformError::Failure::Overflow);
    return static_cast<std::int16_t>(value);
}

// The separator chosen at start-up leads every name fragment of the state.
QChar separatorOf(const FrontlineState& state)
{
    return state.BeginFolderName.front();
}

QString setFolder(const FrontlineState& state, const QString& number)
{
    return state.MainPath + state.BeginFolderName + number + u')';
}

} // namespace

void deriveStartupPaths(FrontlineState& state, const QString& startupDirectory, QChar separator)
{
    state.BeginFolderName = separator + QStringLiteral("Frontline(");
    state.TargetPicName = separator + QStringLiteral("FL#");
    state.TargetFileName = separator + QStringLiteral("FRNTLINE.DAT");
    state.TargetAFDataName = separator + QStringLiteral("AIRFIELD.DAT");
    state.MainPath = startupDirectory;

    const qsizetype lastSeparator = state.MainPath.lastIndexOf(separator);
    if (lastSeparator < 0)
        throw PlatformError::of(PlatformError::Failure::InvalidArgument);
    const QString gameFolder = state.MainPath.left(lastSeparator);

    const QString defaultSet = gameFolder + separator + QStringLiteral("Frontlines") + separator +
                               QStringLiteral("Frontline(1)");
    state.DestinationPath = gameFolder + state.TargetFileName;
    state.AFDestPath = gameFolder + state.TargetAFDataName;
    state.DefaultFrtLinePath = defaultSet + state.TargetFileName;
    state.DefaultAFDataPath = defaultSet + state.TargetAFDataName;
    state.WorkFilesPath = gameFolder + separator + QStringLiteral("Frontlines") + separator +
                          QStringLiteral("Workfiles");
}

bool startedInALibrary(const FrontlineState& state, const FileSystem& files)
{
    return files.exists(setFolder(state, QStringLiteral("1"))) && files.exists(state.WorkFilesPath);
}

QString whereToStart(const FrontlineState& state)
{
    return QStringLiteral("Tarvane works in the game's Frontlines folder and must be started "
                          "there (from a shortcut or a desktop entry: with that folder as the "
                          "one it starts in). It was started in\r\n") +
           state.MainPath;
}

void CountFrontlineFolders(FrontlineState& state, const FileSystem& files, ErrorReport& report)
{
    const QStringList entries = files.listDirectory(state.MainPath + separatorOf(state));
    fatalGuard(report, [&] {
        std::int16_t count = 0;
        for (const QString& name : entries) {
            if (name.startsWith(u"FrontLine(") && name != u"." && name != u"..")
                count = checkedSetNumber(count + 1);
        }
        state.NumFolders = count;
    });
}

void stepForward(FrontlineState& state)
{
    if (state.FrontlineNum == state.NumFolders)
        state.FrontlineNum = 0;
    state.FrontlineNum = checkedSetNumber(state.FrontlineNum + 1);
}

void stepBack(FrontlineState& state)
{
    if (state.FrontlineNum == 1)
        state.FrontlineNum = checkedSetNumber(state.NumFolders + 1);
    state.FrontlineNum = checkedSetNumber(state.FrontlineNum - 1);
}

QString gameFolder(const FrontlineState& state)
{
    return state.DestinationPath.chopped(state.TargetFileName.size());
}

void derivePerSetPaths(FrontlineState& state)
{
    const QString number = QString::number(state.FrontlineNum);
    const QString folder = setFolder(state, number);
    state.ThisPicPath =
        folder + state.TargetPicName + number +
        (state.FrontlineNum == 1 ? QStringLiteral("(Default).jpg") : QStringLiteral(".jpg"));
    state.ThisFilePath = folder + state.TargetFileName;
    state.ThisAFDataPath = folder + separatorOf(state) + QStringLiteral("AIRFIELD.DAT");
}

QString frontlineTitle(std::int16_t number, bool markedDefault)
{
    return QStringLiteral("Frontline #") + QString::number(number) +
           (markedDefault ? QStringLiteral(" (Default)") : QString());
}

QString axisListPath(const FrontlineState& state)
{
    return state.WorkFilesPath + separatorOf(state) + QStringLiteral("AxisActive") +
           QString::number(state.FrontlineNum) + QStringLiteral(".txt");
}

QString alliedListPath(const FrontlineState& state)
{
    return state.WorkFilesPath + separatorOf(state) + QStringLiteral("AlliedActive") +
           QString::number(state.FrontlineNum) + QStringLiteral(".txt");
}
