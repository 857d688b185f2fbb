// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright the Tarvane developers

#include "Fixtures.h"
#include "GTestSupport.h"
#include "PlatformFakes.h"
#include "SystemErrors.h"
#include "errors/ErrorReport.h"
#include "library/FrontlineLibrary.h"
#include "platform/disk/LocalFileSystem.h"

#include <QDir>
#include <cerrno>

namespace {

struct StartupCase
{
    const char* name;
    const char* startupDirectory;
    char separator;
    const char* destination;
    const char* airfieldDestination;
    const char* defaultFrontline;
    const char* workFiles;
    const char* firstSetFolder;
};

void PrintTo(const StartupCase& c, std::ostream* out)
{
    *out << c.name;
}

class StartupPaths : public testing::TestWithParam<StartupCase>
{};

} // namespace

TEST_P(StartupPaths, GameFolderIsEverythingBeforeTheLastSeparator)
{
    const StartupCase& c = GetParam();
    FrontlineState state;
    deriveStartupPaths(state, c.startupDirectory, QChar(c.separator));
    state.FrontlineNum = 1;
    derivePerSetPaths(state);

    const QString sep(QChar(c.separator));
    EXPECT_EQ(state.MainPath, c.startupDirectory);
    EXPECT_EQ(state.DestinationPath, c.destination);
    EXPECT_EQ(state.AFDestPath, c.airfieldDestination);
    EXPECT_EQ(state.DefaultFrtLinePath, c.defaultFrontline);
    EXPECT_EQ(state.DefaultAFDataPath,
              QString(c.defaultFrontline).replace("FRNTLINE.DAT", "AIRFIELD.DAT"));
    EXPECT_EQ(state.WorkFilesPath, c.workFiles);
    EXPECT_EQ(state.ThisFilePath, c.firstSetFolder + sep + "FRNTLINE.DAT");
}

INSTANTIATE_TEST_SUITE_P(
    WindowsAndLinux, StartupPaths,
    testing::Values(
        StartupCase{"WindowsLibraryRoot", R"(C:\Games\EAW\Frontlines)", '\\',
                    R"(C:\Games\EAW\FRNTLINE.DAT)", R"(C:\Games\EAW\AIRFIELD.DAT)",
                    R"(C:\Games\EAW\Frontlines\Frontline(1)\FRNTLINE.DAT)",
                    R"(C:\Games\EAW\Frontlines\Workfiles)",
                    R"(C:\Games\EAW\Frontlines\Frontline(1))"},
        // Another library root: sets are looked for there, the default pair
        // and the work files still under Frontlines.
        StartupCase{"WindowsOtherRoot", R"(C:\Games\EAW\Sets)", '\\',
                    R"(C:\Games\EAW\FRNTLINE.DAT)", R"(C:\Games\EAW\AIRFIELD.DAT)",
                    R"(C:\Games\EAW\Frontlines\Frontline(1)\FRNTLINE.DAT)",
                    R"(C:\Games\EAW\Frontlines\Workfiles)", R"(C:\Games\EAW\Sets\Frontline(1))"},
        StartupCase{"WindowsDriveRoot", R"(C:\)", '\\', R"(C:\FRNTLINE.DAT)", R"(C:\AIRFIELD.DAT)",
                    R"(C:\Frontlines\Frontline(1)\FRNTLINE.DAT)", R"(C:\Frontlines\Workfiles)",
                    R"(C:\\Frontline(1))"},
        StartupCase{"WindowsShare", R"(\\server\share\EAW\Frontlines)", '\\',
                    R"(\\server\share\EAW\FRNTLINE.DAT)", R"(\\server\share\EAW\AIRFIELD.DAT)",
                    R"(\\server\share\EAW\Frontlines\Frontline(1)\FRNTLINE.DAT)",
                    R"(\\server\share\EAW\Frontlines\Workfiles)",
                    R"(\\server\share\EAW\Frontlines\Frontline(1))"},
        StartupCase{"WindowsShareRoot", R"(\\server\share\)", '\\',
                    R"(\\server\share\FRNTLINE.DAT)", R"(\\server\share\AIRFIELD.DAT)",
                    R"(\\server\share\Frontlines\Frontline(1)\FRNTLINE.DAT)",
                    R"(\\server\share\Frontlines\Workfiles)", R"(\\server\share\\Frontline(1))"},
        StartupCase{"WindowsLongPath", R"(\\?\C:\Games\EAW\Frontlines)", '\\',
                    R"(\\?\C:\Games\EAW\FRNTLINE.DAT)", R"(\\?\C:\Games\EAW\AIRFIELD.DAT)",
                    R"(\\?\C:\Games\EAW\Frontlines\Frontline(1)\FRNTLINE.DAT)",
                    R"(\\?\C:\Games\EAW\Frontlines\Workfiles)",
                    R"(\\?\C:\Games\EAW\Frontlines\Frontline(1))"},
        StartupCase{"LinuxUnderWine", "/home/pilot/.wine/drive_c/EAW/Frontlines", '/',
                    "/home/pilot/.wine/drive_c/EAW/FRNTLINE.DAT",
                    "/home/pilot/.wine/drive_c/EAW/AIRFIELD.DAT",
                    "/home/pilot/.wine/drive_c/EAW/Frontlines/Frontline(1)/FRNTLINE.DAT",
                    "/home/pilot/.wine/drive_c/EAW/Frontlines/Workfiles",
                    "/home/pilot/.wine/drive_c/EAW/Frontlines/Frontline(1)"},
        StartupCase{"LinuxDotsAndParentheses", "/games/E.A.W (1998)/Front lines", '/',
                    "/games/E.A.W (1998)/FRNTLINE.DAT", "/games/E.A.W (1998)/AIRFIELD.DAT",
                    "/games/E.A.W (1998)/Frontlines/Frontline(1)/FRNTLINE.DAT",
                    "/games/E.A.W (1998)/Frontlines/Workfiles",
                    "/games/E.A.W (1998)/Front lines/Frontline(1)"},
        StartupCase{"LinuxRoot", "/", '/', "/FRNTLINE.DAT", "/AIRFIELD.DAT",
                    "/Frontlines/Frontline(1)/FRNTLINE.DAT", "/Frontlines/Workfiles",
                    "//Frontline(1)"}),
    [](const testing::TestParamInfo<StartupCase>& info) { return std::string(info.param.name); });

TEST(StartupPathsFailure, DirectoryWithoutSeparatorIsAnInvalidArgument)
{
    FrontlineState state;
    EXPECT_PLATFORM_ERROR(deriveStartupPaths(state, "Frontlines", '/'),
                          SystemError::InvalidArgument);
    // A backslash is no separator where the platform's is "/".
    EXPECT_PLATFORM_ERROR(deriveStartupPaths(state, R"(C:\Games\EAW)", '/'),
                          SystemError::InvalidArgument);
}

TEST(SetPaths, DefaultSetPictureAndTwoDigitNumbers)
{
    FrontlineState state;
    deriveStartupPaths(state, R"(C:\EAW\Frontlines)", '\\');
    state.FrontlineNum = 1;
    derivePerSetPaths(state);
    EXPECT_EQ(state.ThisPicPath, R"(C:\EAW\Frontlines\Frontline(1)\FL#1(Default).jpg)");

    state.FrontlineNum = 10;
    derivePerSetPaths(state);
    EXPECT_EQ(state.ThisPicPath, R"(C:\EAW\Frontlines\Frontline(10)\FL#10.jpg)");
    EXPECT_EQ(state.ThisFilePath, R"(C:\EAW\Frontlines\Frontline(10)\FRNTLINE.DAT)");
    EXPECT_EQ(state.ThisAFDataPath, R"(C:\EAW\Frontlines\Frontline(10)\AIRFIELD.DAT)");
    EXPECT_EQ(axisListPath(state), R"(C:\EAW\Frontlines\Workfiles\AxisActive10.txt)");
    EXPECT_EQ(alliedListPath(state), R"(C:\EAW\Frontlines\Workfiles\AlliedActive10.txt)");

    state.FrontlineNum = -1;
    derivePerSetPaths(state);
    EXPECT_EQ(state.ThisPicPath, R"(C:\EAW\Frontlines\Frontline(-1)\FL#-1.jpg)");
}

namespace {

QList<int> walk(int numFolders, int start, void (*step)(FrontlineState&), int count)
{
    FrontlineState state;
    state.NumFolders = std::int16_t(numFolders);
    state.FrontlineNum = std::int16_t(start);
    QList<int> seen;
    for (int i = 0; i < count; ++i) {
        step(state);
        seen.append(state.FrontlineNum);
    }
    return seen;
}

} // namespace

TEST(Stepping, WrapsAroundBothWays)
{
    EXPECT_EQ(walk(3, 1, stepForward, 4), (QList<int>{2, 3, 1, 2}));
    EXPECT_EQ(walk(3, 1, stepBack, 4), (QList<int>{3, 2, 1, 3}));
    EXPECT_EQ(walk(1, 1, stepForward, 2), (QList<int>{1, 1}));
    EXPECT_EQ(walk(1, 1, stepBack, 2), (QList<int>{1, 1}));
}

TEST(Stepping, NoCountedSetsNeverWraps)
{
    EXPECT_EQ(walk(0, 3, stepForward, 2), (QList<int>{4, 5}));
    EXPECT_EQ(walk(0, 1, stepBack, 3), (QList<int>{0, -1, -2}));
}

TEST(Stepping, OverflowOfTheSixteenBitNumber)
{
    FrontlineState state;
    state.NumFolders = 0;
    state.FrontlineNum = 32767;
    EXPECT_PLATFORM_ERROR(stepForward(state), SystemError::Overflow);

    state.FrontlineNum = -32768;
    EXPECT_PLATFORM_ERROR(stepBack(state), SystemError::Overflow);

    state.NumFolders = 32767;
    state.FrontlineNum = 1;
    EXPECT_PLATFORM_ERROR(stepBack(state), SystemError::Overflow);

    state.FrontlineNum = 32767;
    stepForward(state);
    EXPECT_EQ(state.FrontlineNum, 1);
}

namespace {

class Counting : public testing::Test
{
protected:
    void count()
    {
        deriveStartupPaths(state, root.path(), QDir::separator());
        CountFrontlineFolders(state, files, report);
    }

    Scratch root;
    LocalFileSystem files;
    RecordingMessageBoxes boxes;
    RecordingExit exit;
    ErrorReport report{boxes, exit};
    FrontlineState state;
};

} // namespace

TEST_F(Counting, CountsEntriesStartingWithExactlyFrontLineParenthesis)
{
    for (const char* name : {"FrontLine(1)", "FrontLine(2)", "FrontLine(old)"})
        root.makeFolder(name);
    root.write("FrontLine(notes).txt", "a plain file counts too");
    for (const char* name : {"Frontline(4)", "FRONTLINE(5)", "frontline(6)", "FrontLine",
                             "FrontLin", "xFrontLine(7)", "Workfiles"})
        root.makeFolder(name);

    count();
    EXPECT_EQ(state.NumFolders, 4);
    EXPECT_TRUE(boxes.shown.isEmpty());
}

TEST_F(Counting, MissingLibraryRootReachesTheCaller)
{
    deriveStartupPaths(state, root.path("gone"), QDir::separator());
    state.NumFolders = 7;
    EXPECT_PLATFORM_ERROR(CountFrontlineFolders(state, files, report), SystemError::PathNotFound);
    EXPECT_EQ(state.NumFolders, 7);
    EXPECT_TRUE(boxes.shown.isEmpty());
}

TEST_F(Counting, MoreThan32767SetsGoToTheFatalReport)
{
    // The overflow needs no real folders: a library root that lists 32,768
    // sets (making them takes minutes under Wine).
    struct ManySets final : StartedIn
    {
        using StartedIn::StartedIn;
        QStringList listDirectory(const QString&) const override
        {
            QStringList names;
            for (int i = 1; i <= 32768; ++i)
                names.append(QString("FrontLine(%1)").arg(i));
            return names;
        }
    } library(root.path());
    deriveStartupPaths(state, root.path(), QDir::separator());
    CountFrontlineFolders(state, library, report);
    EXPECT_EQ(state.NumFolders, 0);
    ASSERT_EQ(boxes.shown.size(), 2);
    EXPECT_EQ(fatalReportIn(boxes.shown), fatalReport(SystemError::Overflow));
    EXPECT_TRUE(exit.ended());
}
