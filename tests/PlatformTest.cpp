#include "TestSupport.h"
#include "platform/LocalFileSystem.h"
#include "platform/PictureLoader.h"

#include <QBuffer>
#include <QDir>
#include <QImage>
#include <algorithm>
#include <cerrno>

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

    EXPECT_PLATFORM_ERROR(files.listDirectory(root.path("missing")), ENOENT);
    EXPECT_PLATFORM_ERROR(files.listDirectory(root.path("plain.txt")), ENOTDIR);
    EXPECT_PLATFORM_ERROR(files.readFile(root.path("missing.txt")), ENOENT);
    EXPECT_PLATFORM_ERROR(files.readFile(root.path()), EISDIR);
    EXPECT_PLATFORM_ERROR(files.removeFiles({root.path("missing.txt")}), ENOENT);

    files.removeFiles({root.path("plain.txt")});
    EXPECT_FALSE(root.exists("plain.txt"));
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
    LocalFileSystem files;
    EXPECT_EQ(files.currentDirectory(), QDir::currentPath());
    EXPECT_EQ(files.separator(), QDir::separator());
}

TEST(CaseResolution, FindsComponentsSpelledInAnotherCase)
{
    Scratch root;
    root.write("FrontLine(1)/FL#1(Default).jpg", "picture");
    root.write("Workfiles/AxisActive1.TXT", "Caen");

    LocalFileSystem files;
    EXPECT_EQ(files.resolvePath(root.path("Frontline(1)/fl#1(default).JPG")),
              root.path("FrontLine(1)/FL#1(Default).jpg"));
    EXPECT_EQ(files.readFile(root.path("WORKFILES/axisactive1.txt")), QByteArray("Caen"));

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

TEST(CaseResolution, DoubledSeparatorOfARootLibraryStillResolves)
{
    Scratch root;
    root.write("FrontLine(1)/FRNTLINE.DAT", "x");
    LocalFileSystem files;
    EXPECT_EQ(files.readFile(root.path() + "//Frontline(1)//FRNTLINE.DAT"), QByteArray("x"));
}

TEST(Pictures, DecodesAJpegAndRejectsWhatIsNotOne)
{
    Scratch root;
    QImage image(64, 48, QImage::Format_RGB32);
    image.fill(Qt::darkGreen);
    QByteArray jpeg;
    QBuffer buffer(&jpeg);
    buffer.open(QIODevice::WriteOnly);
    ASSERT_TRUE(image.save(&buffer, "JPEG"));
    root.write("FrontLine(2)/FL#2.jpg", jpeg);
    root.write("FrontLine(3)/FL#3.jpg", QByteArray("\xFF\xD8 not really", 13));

    LocalFileSystem files;
    EXPECT_EQ(loadPicture(files, root.path("Frontline(2)/FL#2.jpg")).size(), QSize(64, 48));
    EXPECT_PLATFORM_ERROR(loadPicture(files, root.path("FrontLine(3)/FL#3.jpg")), EINVAL);
    EXPECT_PLATFORM_ERROR(loadPicture(files, root.path("FrontLine(4)/FL#4.jpg")), ENOENT);
}
