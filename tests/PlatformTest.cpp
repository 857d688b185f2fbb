// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright the Tarvane developers

#include "Fixtures.h"
#include "GTestSupport.h"
#include "SystemErrors.h"
#include "platform/disk/LocalFileSystem.h"

#include <QDir>
#include <QElapsedTimer>
#include <QSet>
#include <algorithm>
#ifndef _WIN32
#include "platform/FileNames.h"

#include <sys/stat.h>
#else
#include <windows.h>
#endif

namespace {

QStringList sorted(QStringList names)
{
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace

TEST(LocalFileSystem, ListsEveryEntryButDotAndDotDot)
{
    Scratch root;
    root.write("FrontLine(1)/FRNTLINE.DAT", "x");
    root.write(".hidden", "");
    root.write("notes.txt", "");
    root.makeFolder("Workfiles");

    LocalFileSystem files;
    EXPECT_EQ(sorted(files.listDirectory(root.path())),
              (QStringList{".hidden", "FrontLine(1)", "Workfiles", "notes.txt"}));
    EXPECT_EQ(sorted(files.listDirectory(root.path() + "/")),
              sorted(files.listDirectory(root.path())));
}

TEST(LocalFileSystem, ReportsTheSystemErrorOfEachFailure)
{
    Scratch root;
    root.write("plain.txt", "text");
    LocalFileSystem files;

    EXPECT_PLATFORM_ERROR(files.listDirectory(root.path("missing")), SystemError::PathNotFound);
    EXPECT_PLATFORM_ERROR(files.listDirectory(root.path("plain.txt")), SystemError::NotAFolder);
    EXPECT_PLATFORM_ERROR(files.readFile(root.path("missing.txt")), SystemError::FileNotFound);
    EXPECT_PLATFORM_ERROR(files.readFile(root.path()), SystemError::IsAFolder);
    EXPECT_PLATFORM_ERROR(files.removeFiles({root.path("missing.txt")}), SystemError::FileNotFound);
    // A copy into a folder that is not there names the folder.
    try {
        files.copyFiles({{root.path("plain.txt"), root.path("missing/FRNTLINE.DAT")}});
        ADD_FAILURE() << "copied into no folder";
    } catch (const PlatformError& error) {
        EXPECT_EQ(error.path(), root.path("missing"));
    }

    files.removeFiles({root.path("plain.txt")});
    EXPECT_FALSE(root.exists("plain.txt"));
}

// Beyond Windows' old limit of 260 characters a path: a game folder deep in
// folders with long names.
TEST(LocalFileSystem, WorksOnPathsLongerThan260Characters)
{
    Scratch root;
    QString deep;
    for (char16_t letter = u'a'; letter < u'g'; ++letter)
        deep += QString(50, QChar(letter)) + u'/';
    for (const char* name : {"FRNTLINE.DAT", "AIRFIELD.DAT"}) {
        root.write(deep + "set/" + name, QByteArray("new ") + name);
        root.write(deep + "game/" + name, "old");
    }
    ASSERT_GT(root.path(deep).size(), 300);
    const auto path = [&](const char* relative) { return root.path(deep + relative); };

    LocalFileSystem files;
    EXPECT_EQ(sorted(files.listDirectory(path("set"))),
              (QStringList{"AIRFIELD.DAT", "FRNTLINE.DAT"}));
    files.copyFiles({{path("set/FRNTLINE.DAT"), path("game/FRNTLINE.DAT")},
                     {path("set/AIRFIELD.DAT"), path("game/AIRFIELD.DAT")}});
    EXPECT_EQ(files.readFile(path("game/FRNTLINE.DAT")), "new FRNTLINE.DAT");
    EXPECT_TRUE(files.sameContent(path("set/AIRFIELD.DAT"), path("game/AIRFIELD.DAT")));
    files.removeFiles({path("game/FRNTLINE.DAT"), path("game/AIRFIELD.DAT")});
    EXPECT_EQ(root.entries(deep + "game"), QStringList());
}

TEST(LocalFileSystem, ReadsBinaryFilesWhole)
{
    Scratch root;
    QByteArray bytes(3 * 1024 * 1024 + 7, '\0');
    for (qsizetype i = 0; i < bytes.size(); ++i)
        bytes[i] = char(i * 31 % 251);
    root.write("big.bin", bytes);
    root.write("empty.bin", "");

    LocalFileSystem files;
    EXPECT_EQ(files.readFile(root.path("big.bin")), bytes);
    EXPECT_EQ(files.readFile(root.path("empty.bin")), QByteArray());
}

TEST(LocalFileSystem, CurrentDirectoryAndSeparator)
{
    Scratch root;
    root.makeFolder("EAW/Frontlines");
    const QString startedFrom = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(root.path("EAW/Frontlines")));
    LocalFileSystem files;
    const QString current = files.currentDirectory();
    QDir::setCurrent(startedFrom);
    EXPECT_EQ(current, QDir::toNativeSeparators(QDir(root.path("EAW/Frontlines")).canonicalPath()));
#ifndef _WIN32
    // Started in a library folder linked into another game folder, by the
    // link's path (as a shell names it in $PWD): the game folder is the
    // link's. A $PWD that names another folder is not taken.
    ASSERT_TRUE(QFile::link(root.path("EAW/Frontlines"), root.path("Linked")));
    ASSERT_TRUE(QDir::setCurrent(root.path("Linked")));
    const QByteArray pwd = qgetenv("PWD");
    for (const QString& named : {root.path("Linked"), root.path("EAW")}) {
        qputenv("PWD", QFile::encodeName(named));
        EXPECT_EQ(files.currentDirectory(), named == root.path("EAW") ? current : named);
    }
    qputenv("PWD", pwd);
    QDir::setCurrent(startedFrom);
    EXPECT_EQ(files.separator(), u'/');
    // The system's own words for its errors.
    EXPECT_EQ(PlatformError::fromSystem(ENOENT).description(), "No such file or directory");
#else
    EXPECT_EQ(files.separator(), u'\\');
    // A drive root keeps its separator, C:\, and lists as any folder, also with
    // the separator doubled, as the library's paths double it there.
    const QString drive = current.left(3);
    ASSERT_TRUE(QDir::setCurrent(drive));
    const QString atRoot = files.currentDirectory();
    QDir::setCurrent(startedFrom);
    EXPECT_EQ(atRoot, drive);
    EXPECT_FALSE(files.listDirectory(drive).isEmpty());
    EXPECT_EQ(files.listDirectory(drive + u'\\'), files.listDirectory(drive));
#endif
}

#ifndef _WIN32

TEST(CaseResolution, FindsComponentsSpelledInAnotherCase)
{
    Scratch root;
    root.write("FrontLine(1)/FL#1(Default).jpg", "picture");
    root.write("Workfiles/AxisActive1.TXT", "Caen");

    LocalFileSystem files;
    EXPECT_EQ(files.resolvePath(root.path("Frontline(1)/fl#1(default).JPG")),
              root.path("FrontLine(1)/FL#1(Default).jpg"));
    EXPECT_EQ(files.readFile(root.path("WORKFILES/axisactive1.txt")), QByteArray("Caen"));
    // The doubled separator of a library at the root, too.
    EXPECT_EQ(files.readFile(root.path() + "//Workfiles//axisactive1.txt"), QByteArray("Caen"));

    // Only ASCII letters fold; a component found in no spelling keeps its
    // own, and so does everything after it.
    EXPECT_EQ(files.resolvePath(root.path("frontline(1)/Missing/x.txt")),
              root.path("FrontLine(1)/Missing/x.txt"));
    EXPECT_PLATFORM_ERROR(files.readFile(root.path("Frontline(1)/missing.jpg")), ENOENT);
}

TEST(CaseResolution, ExactSpellingWinsAndAmbiguityIsSettledByByteOrder)
{
    Scratch root;
    root.write("Frontline(2)/FRNTLINE.DAT", "exact");
    root.write("FRONTLINE(2)/FRNTLINE.DAT", "upper");
    root.write("frontline(3)/FRNTLINE.DAT", "lower");
    root.write("FRONTLINE(3)/FRNTLINE.DAT", "upper");

    LocalFileSystem files;
    EXPECT_EQ(files.readFile(root.path("Frontline(2)/FRNTLINE.DAT")), QByteArray("exact"));
    for (int run = 0; run < 3; ++run)
        EXPECT_EQ(files.readFile(root.path("Frontline(3)/frntline.dat")), QByteArray("upper"));
}

TEST(CaseResolution, PathThatExistsAsSpelledListsNoFolder)
{
    Scratch root;
    root.write("FrontLine(1)/FRNTLINE.DAT", "x");
    LocalFileSystem files;

    files.readFile(root.path("FrontLine(1)/FRNTLINE.DAT"));
    files.listDirectory(root.path("FrontLine(1)"));
    EXPECT_EQ(files.resolutionScans(), 0);

    files.readFile(root.path("Frontline(1)/FRNTLINE.DAT"));
    EXPECT_EQ(files.resolutionScans(), 1);
}

#endif

TEST(LocalFileSystem, RefusesWhatIsNotARegularFileAtOnce)
{
    // As a list, read-me or preview (all read whole) and as a set file: a
    // pipe with no writer would block an open for ever, and a device would
    // never end.
    Scratch root;
#ifndef _WIN32
    ASSERT_EQ(mkfifo(QFile::encodeName(root.path("pipe")).constData(), 0644), 0);
    ASSERT_TRUE(QFile::link("/dev/zero", root.path("zero")));
#else
    // A named pipe, with an instance waiting for each of the two opens below.
    const QString pipe = QString("\\\\.\\pipe\\tarvane-test-%1").arg(GetCurrentProcessId());
    HANDLE instances[2];
    for (HANDLE& instance : instances) {
        instance = CreateNamedPipeW(pipe.toStdWString().c_str(), PIPE_ACCESS_DUPLEX,
                                    PIPE_TYPE_BYTE | PIPE_WAIT, 2, 0, 0, 0, nullptr);
        ASSERT_NE(instance, INVALID_HANDLE_VALUE);
    }
#endif
    root.makeFolder("folder");
    root.write("set/AIRFIELD.DAT", "new airfields");
    root.write("game/FRNTLINE.DAT", "old frontline");
    root.write("game/AIRFIELD.DAT", "old airfields");
    const QMap<QString, QByteArray> game = snapshot(root.path("game"));

    LocalFileSystem files;
    const struct
    {
        QString path;
        int error;
    } inputs[] = {
#ifndef _WIN32
        {root.path("pipe"), SystemError::NotAFile},
        {root.path("zero"), SystemError::NotAFile},
#else
        {pipe, SystemError::NotAFile},
        {"\\\\.\\NUL", SystemError::NotAFile},
#endif
        {root.path("folder"), SystemError::IsAFolder}};
    for (const auto& input : inputs) {
        SCOPED_TRACE(qPrintable(input.path));
        QElapsedTimer timer;
        timer.start();
        EXPECT_PLATFORM_ERROR(files.readFile(input.path), input.error);
        EXPECT_PLATFORM_ERROR(
            files.copyFiles({{input.path, root.path("game/FRNTLINE.DAT")},
                             {root.path("set/AIRFIELD.DAT"), root.path("game/AIRFIELD.DAT")}}),
            input.error);
        EXPECT_LT(timer.elapsed(), 1000);
        EXPECT_EQ(snapshot(root.path("game")), game);
    }
#ifdef _WIN32
    for (HANDLE instance : instances)
        CloseHandle(instance);
#endif
}

TEST(LocalFileSystem, ReadsUpToItsLimitAndRefusesMore)
{
    Scratch root;
    for (const auto& [name, size] : {std::pair{"limit.txt", LocalFileSystem::MaxReadSize},
                                     {"over.txt", LocalFileSystem::MaxReadSize + 1}}) {
        QFile file(root.path(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.resize(size)) << name;
    }
    LocalFileSystem files;
    EXPECT_EQ(files.readFile(root.path("limit.txt")).size(), LocalFileSystem::MaxReadSize);
    EXPECT_PLATFORM_ERROR(files.readFile(root.path("over.txt")), SystemError::TooLarge);
    EXPECT_PLATFORM_ERROR(files.copyFiles({{root.path("over.txt"), root.path("copy.txt")}}),
                          SystemError::TooLarge);
#ifndef _WIN32
    // A "regular" file that says it is empty, and whose reads go on and on:
    // the report names it, not the file it was copied to.
    try {
        files.copyFiles({{"/proc/self/pagemap", root.path("copy.txt")}});
        ADD_FAILURE() << "copied";
    } catch (const PlatformError& error) {
        EXPECT_EQ(error.number(), SystemError::TooLarge);
        EXPECT_EQ(error.path(), "/proc/self/pagemap");
    }
#endif
    EXPECT_FALSE(root.exists("copy.txt"));
    EXPECT_FALSE(files.sameContent(root.path("over.txt"), root.path("over.txt")));
}

#ifndef _WIN32
TEST(FileNames, NamesThatAreNotUtf8RoundTripAndStayDistinct)
{
    const QByteArray names[] = {"FrontLine(1)",
                                "caf\xC3\xA9",     // café in UTF-8
                                "caf\xE9",         // café in Latin-1
                                "caf\xEF\xBF\xBD", // caf and U+FFFD
                                "\xED\xB2\x80",    // an encoded surrogate
                                "\xC0\xAF",        // an overlong slash
                                "\xF0\x9F\x98\x80\xFF",
                                "\xF4\x90\x80\x80", // past U+10FFFF
                                "\xE2\x82",         // cut short
                                "\xEF\xBB\xBF"
                                "a",                 // a byte-order mark
                                "\xFF\xEF\xBB\xBF"}; // the same after a bad byte
    QSet<QString> decoded;
    for (const QByteArray& name : names) {
        const QString text = decodeFileName(name);
        EXPECT_EQ(encodeFileName(text), name) << name.toHex().constData();
        decoded.insert(text);
    }
    EXPECT_EQ(decoded.size(), qsizetype(std::size(names)));
    EXPECT_EQ(decodeFileName("caf\xC3\xA9"), QString::fromUtf8("café"));
    EXPECT_EQ(decodeFileName("caf\xE9"), QString("caf") + QChar(0xDCE9));
}
#endif
