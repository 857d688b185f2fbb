// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright the Tarvane developers

#include "Fixtures.h"
#include "GTestSupport.h"
#include "PlatformFakes.h"
#include "SystemErrors.h"
#include "errors/ErrorReport.h"
#include "install/Installer.h"
#include "library/FrontlineLibrary.h"
#include "platform/game/GameProbe.h"

#include <QDir>
#include <QFileInfo>
#include <cstdio>
#include <optional>
#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace {

const QStringList GameFolderEntries = {"AIRFIELD.DAT", "FRNTLINE.DAT", "Frontlines"};

// What a click on Load, Restore Default or Remove looks up first.
GameFolderFacts lookedAt(const FrontlineState& state, const FileSystem& files)
{
    return lookAtGameFolder(state, files, LocalGameProbe(), Look::ForAChange);
}

const QString GameRunning =
    "European Air War is running: start it again for it to use the new files.";
const QString AnotherProgramHoldsTheFile =
    "Another program holds this file open: close that program, then try again.";

class Installing : public testing::Test
{
protected:
    explicit Installing(const QString& parent = {}) : game(4, parent)
    {
        deriveStartupPaths(state, game.libraryRoot(), QDir::separator());
        display(3);
    }

    void display(int set)
    {
        state.FrontlineNum = std::int16_t(set);
        derivePerSetPaths(state);
    }

    QByteArray gameFile(const char* name) const
    {
        return game.scratch().read(QString("EAW/") + name);
    }
    QString setFile(int set, const char* name) const
    {
        return QString("EAW/Frontlines/FrontLine(%1)/%2").arg(set).arg(name);
    }

    // What the fatal report told, and its text for a failure's message.
    FatalReport told() const { return fatalReportIn(boxes.shown); }
    QString reported() const { return boxes.shown.size() == 2 ? boxes.shown[1].text : QString(); }

    GameFolder game;
    StartedIn files{game.libraryRoot()};
    RecordingMessageBoxes boxes;
    RecordingExit exit;
    ErrorReport report{boxes, exit};
    FrontlineState state;
};

} // namespace

TEST_F(Installing, LoadCopiesTheDisplayedPairByteForByte)
{
    installDisplayedSet(state, lookedAt(state, files), files, boxes, report);
    EXPECT_EQ(gameFile("FRNTLINE.DAT"), GameFolder::frontlineBytes(3));
    EXPECT_EQ(gameFile("AIRFIELD.DAT"), GameFolder::airfieldBytes(3));
    ASSERT_EQ(boxes.shown.size(), 1);
    EXPECT_EQ(boxes.shown[0].title, "tarvane");
    EXPECT_EQ(boxes.shown[0].text, "Frontline and Airfield files loaded");
    EXPECT_EQ(boxes.shown[0].icon, MessageIcon::None);
    EXPECT_EQ(game.scratch().entries("EAW"), GameFolderEntries);

    // A copy keeps the source's modification time.
    EXPECT_EQ(QFileInfo(game.scratch().path("EAW/FRNTLINE.DAT")).lastModified(),
              QFileInfo(game.scratch().path(setFile(3, "FRNTLINE.DAT"))).lastModified());

    // Again, and with another set: each overwrites without asking.
    installDisplayedSet(state, lookedAt(state, files), files, boxes, report);
    display(2);
    installDisplayedSet(state, lookedAt(state, files), files, boxes, report);
    EXPECT_EQ(gameFile("FRNTLINE.DAT"), GameFolder::frontlineBytes(2));
    EXPECT_EQ(gameFile("AIRFIELD.DAT"), GameFolder::airfieldBytes(2));
    EXPECT_EQ(boxes.shown.size(), 3);
    EXPECT_FALSE(exit.ended());
}

// Restore Default takes Frontlines' set 1, whatever the library root.
TEST_F(Installing, RemoveThenRestoreDefault)
{
    removeGamePair(state, lookedAt(state, files), files, boxes, report);
    EXPECT_EQ(game.scratch().entries("EAW"), QStringList{"Frontlines"});
    game.scratch().write("EAW/Sets/FrontLine(1)/FRNTLINE.DAT", "another library's set 1");
    game.scratch().write("EAW/Sets/FrontLine(1)/AIRFIELD.DAT", "another library's set 1");
    deriveStartupPaths(state, game.scratch().path("EAW/Sets"), QDir::separator());
    restoreDefaultSet(state, lookedAt(state, files), files, boxes, report);
    EXPECT_EQ(gameFile("FRNTLINE.DAT"), GameFolder::frontlineBytes(1));
    EXPECT_EQ(gameFile("AIRFIELD.DAT"), GameFolder::airfieldBytes(1));
    ASSERT_EQ(boxes.shown.size(), 2);
    EXPECT_EQ(boxes.shown[0].text, "Frontline and Airfield files deleted");
    EXPECT_EQ(boxes.shown[1].text, "Default Frontline and Airfield files restored");
    EXPECT_EQ(boxes.shown[1].icon, MessageIcon::None);
}

// Remove with only the Frontline file deletes it and says the Airfield file
// was missing; a second Remove finds nothing, says so, and ends the program.
TEST_F(Installing, RemoveWithAFileMissingSaysWhichAndWhatIsLeft)
{
    QFile::remove(game.scratch().path("EAW/AIRFIELD.DAT"));
    const struct
    {
        const char* missing;
        QString line;
    } removals[] = {{"EAW/AIRFIELD.DAT",
                     "The game folder held no Airfield file: Tarvane deleted "
                     "the Frontline file, so the game folder now holds neither."},
                    {"EAW/FRNTLINE.DAT", "The game folder holds no Frontline file, so there was "
                                         "no pair to delete: it was deleted already, or never "
                                         "loaded."}};
    for (const auto& [missing, line] : removals) {
        boxes.shown.clear();
        removeGamePair(state, lookedAt(state, files), files, boxes, report);
        EXPECT_EQ(told(),
                  fatalReport(SystemError::FileNotFound, {game.scratch().path(missing), line}));
        EXPECT_EQ(game.scratch().entries("EAW"), QStringList{"Frontlines"});
    }
    EXPECT_TRUE(exit.ended());
    EXPECT_EQ(game.scratch().entries(QString("EAW/Frontlines/FrontLine(1)")).size(), 3);
}

// What the file layer found, told under the report, whoever the user: each
// failure the file layer raises (a stand-in raises it here) against what
// the click looked up, and the line that says what to do, or none.
TEST_F(Installing, WhatTheFileLayerFoundIsToldUnderTheReport)
{
    using Failure = PlatformError::Failure;
    const QString ReadOnlyMark =
        "This file is marked read-only: clear its read-only mark, then try again.";
    const QString AFolderThere = "A folder stands where this game file belongs: move it out of "
                                 "the game folder, then try again.";
    const QString lockFile = game.scratch().path("EAW/.tarvane-lock");
    const QString gameFile = state.AFDestPath, setFile = state.ThisAFDataPath;
    const auto refused = [](const QString& path) {
        return PlatformError::fromSystem(SystemError::AccessDenied, path);
    };
    const auto held = [](const QString& path) {
        return PlatformError::fromSystem(SystemError::Held, path);
    };
    const struct
    {
        bool load;
        PlatformError failure;
        QString line;
        bool gameRunning = false;
        QString virtualStore = {};
    } cases[] = {
        {true, refused(lockFile).withChangeDone(),
         "Tarvane had put the new pair in place before this failed: the game folder holds the "
         "new Frontline and Airfield files."},
        {false, refused(lockFile).withChangeDone(),
         "Tarvane had deleted the pair before this failed: the game folder holds no Frontline "
         "or Airfield file."},
        {true, PlatformError::of(Failure::NotALockFile, lockFile),
         "Tarvane keeps its lock in this file, but a folder or a link stands there: move it out "
         "of the game folder, then try again."},
        {true, PlatformError::of(Failure::ChangedWhileCopied, setFile),
         "Another program changed this file while it was being copied: try again once that "
         "program is done with it."},
        {true, held(gameFile),
         "European Air War is running and holds this file: close the game, then start Tarvane "
         "again.",
         true},
        {false, held(gameFile), AnotherProgramHoldsTheFile},
        {true, held(setFile), AnotherProgramHoldsTheFile, true},
        {false, PlatformError::of(Failure::AFolder, gameFile), AFolderThere},
        {true, PlatformError::of(Failure::ReadOnly, gameFile), ReadOnlyMark},
        // Told as what they are where only administrators may change files, too.
        {true, PlatformError::of(Failure::AFolder, gameFile), AFolderThere, false, "VirtualStore"},
        {true, PlatformError::of(Failure::ReadOnly, gameFile), ReadOnlyMark, false, "VirtualStore"},
        {true, PlatformError::of(Failure::Unchangeable, gameFile),
         "This file or folder is marked append-only or immutable, so no one may change it: clear "
         "that mark (chattr -ai, as root), then try again."},
        {true, PlatformError::of(Failure::Unreadable, gameFolder(state)),
         "This user may not read the game folder's list of files: give it read permission on the "
         "folder, then try again."},
        {true, refused(gameFile),
         "Windows lets only administrators change files in this folder: start Tarvane with "
         "\"Run as administrator\", or move the game to a folder of your own.",
         false, "VirtualStore"},
        {false, refused(gameFile),
         "This user may not change the game folder or this file, or the disk is read-only."},
        {true, refused(setFile), {}},
        {true, PlatformError::fromSystem(SystemError::DiskFull, gameFile), {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(qPrintable(c.failure.path() + ": " + c.line));
        boxes.shown.clear();
        files.failure = c.failure;
        GameFolderFacts facts = lookedAt(state, files);
        facts.gameRunning = c.gameRunning;
        facts.virtualStore = c.virtualStore;
        if (c.load)
            installDisplayedSet(state, facts, files, boxes, report);
        else
            removeGamePair(state, facts, files, boxes, report);
        EXPECT_EQ(told(), fatalReport(c.failure.number(), {c.failure.path(), c.line}));
    }
}

namespace {

enum class Operation { Load, Remove };

// A program running while a change is made, and the line the confirmation
// says of it, if any.
struct RunningCase
{
    const char* name;
    Operation operation;
    StandInGame::Kind running;
    QString line = {};
};

void PrintTo(const RunningCase& c, std::ostream* out)
{
    *out << c.name;
}

class WhileAProgramRuns : public Installing, public testing::WithParamInterface<RunningCase>
{};

} // namespace

// What a click looks up of the programs running: the game from the game
// folder is told under the confirmation; another program is not, and a
// disk that stops answering holds no click up.
TEST_P(WhileAProgramRuns, TheChangeIsMadeAndTheGameToldOf)
{
    const RunningCase& c = GetParam();
    std::optional<StandInGame> running;
    try {
        running.emplace(game.scratch().path("EAW"), c.running);
    } catch (const CannotStopADisk& why) {
        GTEST_SKIP() << why.what();
    }
    if (c.operation == Operation::Load)
        installDisplayedSet(state, lookedAt(state, files), files, boxes, report);
    else
        removeGamePair(state, lookedAt(state, files), files, boxes, report);
    EXPECT_FALSE(running->heldUp()) << "the look at the game waited on a stopped disk";
    EXPECT_FALSE(exit.ended()) << qPrintable(reported());
    EXPECT_EQ(boxes.shown.value(0).text,
              (c.operation == Operation::Load ? "Frontline and Airfield files loaded"
                                              : "Frontline and Airfield files deleted") +
                  (c.line.isEmpty() ? QString() : "\r\n" + c.line));
}

INSTANTIATE_TEST_SUITE_P(
    Installer, WhileAProgramRuns,
    testing::Values(
        RunningCase{"TheGame", Operation::Load, StandInGame::Game, GameRunning},
        RunningCase{"TheGameAtRemove", Operation::Remove, StandInGame::Game, GameRunning},
        RunningCase{"TheGameStartedElsewhere", Operation::Load, StandInGame::GameStartedElsewhere,
                    GameRunning},
        // Not the game: another Windows program started in the game folder,
        // or a Tarvane.exe there.
        RunningCase{"AnotherProgramThere", Operation::Load, StandInGame::OtherProgramStartedThere},
        RunningCase{"TarvaneThere", Operation::Load, StandInGame::TarvaneThere}),
    [](const testing::TestParamInfo<RunningCase>& info) { return std::string(info.param.name); });

#ifndef _WIN32
INSTANTIATE_TEST_SUITE_P(
    StoppedDisks, WhileAProgramRuns,
    testing::Values(RunningCase{"ProgramStartedInAStoppedDisk", Operation::Load,
                                StandInGame::StartedInAStoppedDisk},
                    RunningCase{"ProgramMappedFromAStoppedDisk", Operation::Load,
                                StandInGame::MappedFromAStoppedDisk}),
    [](const testing::TestParamInfo<RunningCase>& info) { return std::string(info.param.name); });
#endif

#ifndef _WIN32
TEST(StartUpFolder, NameThatIsNotUtf8WorksAndItsLookAlikeIsLeftAlone)
{
    // café in Latin-1, beside a folder spelled with the replacement
    // character that a lossy decoding would turn it into.
    GameFolder game(2);
    const QByteArray root = QFile::encodeName(game.scratch().path());
    const QByteArray latin1 = root + "/caf\xE9";
    const QByteArray lookAlike = root + "/caf\xEF\xBF\xBD";
    ASSERT_EQ(::rename(QByteArray(root + "/EAW").constData(), latin1.constData()), 0);
    game.scratch().write("caf\xEF\xBF\xBD/FRNTLINE.DAT", "look-alike frontline");
    game.scratch().write("caf\xEF\xBF\xBD/AIRFIELD.DAT", "look-alike airfields");
    const QString startedFrom = QDir::currentPath();
    ASSERT_EQ(::chdir(QByteArray(latin1 + "/Frontlines").constData()), 0);

    LocalFileSystem files;
    RecordingMessageBoxes boxes;
    RecordingExit exit;
    ErrorReport report(boxes, exit);
    FrontlineState state;
    deriveStartupPaths(state, files.currentDirectory(), files.separator());
    state.FrontlineNum = 2;
    derivePerSetPaths(state);
    installDisplayedSet(state, lookedAt(state, files), files, boxes, report);
    QDir::setCurrent(startedFrom);

    ASSERT_FALSE(exit.ended()) << qPrintable(boxes.shown.value(1).text);
    const auto bytesOf = [](const QByteArray& path) {
        FILE* f = std::fopen(path.constData(), "rb");
        QByteArray bytes;
        if (f) {
            char buffer[4096];
            for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, f)) > 0;)
                bytes.append(buffer, qsizetype(n));
            std::fclose(f);
        }
        return bytes;
    };
    EXPECT_EQ(bytesOf(latin1 + "/FRNTLINE.DAT"), GameFolder::frontlineBytes(2));
    EXPECT_EQ(bytesOf(latin1 + "/AIRFIELD.DAT"), GameFolder::airfieldBytes(2));
    EXPECT_EQ(bytesOf(lookAlike + "/FRNTLINE.DAT"), "look-alike frontline");
    EXPECT_EQ(bytesOf(lookAlike + "/AIRFIELD.DAT"), "look-alike airfields");
}

#endif

#ifdef _WIN32
TEST(DriveRoot, LoadRestoreDefaultAndRemoveWorkThere)
{
    // The game folder is a drive's root, and the library its Frontlines.
    // Under Wine that drive is the one scripts/setup maps, marked by an empty
    // file; on Windows a free letter is defined for a scratch folder.
    Scratch scratch;
    QString root, defined;
    for (char letter = 'D'; letter <= 'Z' && root.isEmpty(); ++letter) {
        if (QFile::exists(QString("%1:\\tarvane-test-drive").arg(letter)))
            root = QString("%1:\\").arg(letter);
    }
    for (int letter = 25; letter >= 3 && root.isEmpty(); --letter) {
        const QString device = QString("%1:").arg(QChar('A' + letter));
        if (!(GetLogicalDrives() & (1u << letter)) &&
            DefineDosDeviceW(0, reinterpret_cast<const wchar_t*>(device.utf16()),
                             reinterpret_cast<const wchar_t*>(scratch.path().utf16())))
            root = (defined = device) + u'\\';
    }
    ASSERT_FALSE(root.isEmpty()) << "no drive to use";
    for (int set : {1, 2}) {
        for (const char* name : {"FRNTLINE.DAT", "AIRFIELD.DAT"})
            Scratch::writeFile(root + QString("Frontlines\\FrontLine(%1)\\%2").arg(set).arg(name),
                               name + QByteArray::number(set));
    }
    Scratch::writeFile(root + "FRNTLINE.DAT", "old");
    Scratch::writeFile(root + "AIRFIELD.DAT", "old");

    LocalFileSystem files;
    RecordingMessageBoxes boxes;
    RecordingExit exit;
    ErrorReport report(boxes, exit);
    FrontlineState state;
    deriveStartupPaths(state, root + "Frontlines", u'\\');
    state.FrontlineNum = 2;
    derivePerSetPaths(state);
    installDisplayedSet(state, lookedAt(state, files), files, boxes, report);
    EXPECT_EQ(Scratch::readFile(root + "AIRFIELD.DAT"), "AIRFIELD.DAT2");
    restoreDefaultSet(state, lookedAt(state, files), files, boxes, report);
    EXPECT_EQ(Scratch::readFile(root + "FRNTLINE.DAT"), "FRNTLINE.DAT1");
    removeGamePair(state, lookedAt(state, files), files, boxes, report);
    EXPECT_FALSE(QFile::exists(root + "FRNTLINE.DAT") || QFile::exists(root + "AIRFIELD.DAT"));
    EXPECT_FALSE(exit.ended()) << qPrintable(boxes.shown.value(1).text);

    QDir(root + "Frontlines").removeRecursively();
    if (!defined.isEmpty())
        DefineDosDeviceW(DDD_REMOVE_DEFINITION, reinterpret_cast<const wchar_t*>(defined.utf16()),
                         nullptr);
}
#endif
