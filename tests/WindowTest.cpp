// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright the Tarvane developers

#include "Fixtures.h"
#include "GTestSupport.h"
#include "Identity.h"
#include "PlatformFakes.h"
#include "Previews.h"
#include "SystemErrors.h"
#include "app/Appearance.h"
#include "app/FRM_tarvanescreen.h"
#include "app/PreviewBox.h"
#include "app/Program.h"
#include "platform/disk/LocalFileSystem.h"
#include "platform/disk/PairJournal.h"
#include "platform/game/GameProbe.h"
#include "platform/screen/PictureLoader.h"
#include "platform/screen/QtMessageBoxes.h"
#include "textview/TextDisplay.h"

#include <QApplication>
#include <QBuffer>
#include <QDialogButtonBox>
#include <QDir>
#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QMap>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <cerrno>
#include <functional>
#include <memory>
#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace {

class MainWindow : public testing::Test
{
protected:
    static void SetUpTestSuite() { prepareApplication(*qApp); }
    explicit MainWindow(const QString& parent = {}) : game(3, parent) { drawPreviews(game); }

    void open(const QString& startedIn = {})
    {
        files = std::make_unique<StartedIn>(startedIn.isEmpty() ? game.libraryRoot() : startedIn);
        window = std::make_unique<FRM_tarvanescreen>(*files, probe, boxes, exit);
        window->Form_Load();
        window->show();
    }

    template <typename T = QWidget> T* control(const char* name) const
    {
        T* widget = window->findChild<T*>(QLatin1String(name));
        if (!widget)
            ADD_FAILURE() << "no control " << name;
        return widget;
    }

    void click(const char* button)
    {
        QTest::mouseClick(control<QPushButton>(button), Qt::LeftButton);
    }
    QString text(const char* box) const { return control<QPlainTextEdit>(box)->toPlainText(); }
    QString title() const { return control<QLineEdit>("TXT_filename")->text(); }

    QImage picture() const { return control<QLabel>("frontline_image1")->pixmap().toImage(); }

    bool showsPreviewOf(int set) const
    {
        const QImage image = picture();
        const QColor shown = image.pixelColor(image.width() / 2, image.height() / 2);
        const QColor wanted = previewColour(set);
        return qAbs(shown.red() - wanted.red()) < 24 && qAbs(shown.green() - wanted.green()) < 24 &&
               qAbs(shown.blue() - wanted.blue()) < 24;
    }

    bool showsDesignPicture() const
    {
        return picture() == QPixmap(":/tarvane/design-picture.jpg").toImage();
    }

    GameFolder game;
    RecordingMessageBoxes boxes;
    RecordingExit exit;
    std::unique_ptr<StartedIn> files;
    LocalGameProbe probe;
    std::unique_ptr<FRM_tarvanescreen> window;
};

// What a list box shows of a set's Axis or Allied list: the text layer's
// reading of that file, without trailing spaces (its own tests say how it
// reads one), with line ends as QPlainTextEdit hands them back.
QString listOf(const GameFolder& game, const char* side, int set)
{
    const QString path = game.scratch().path(
        QString("EAW/Frontlines/Workfiles/%1Active%2.txt").arg(QLatin1String(side)).arg(set));
    return readDisplayText(LocalFileSystem(), path, TrailingSpaces::Remove).replace("\r\n", "\n");
}

} // namespace

TEST_F(MainWindow, FirstDisplayShowsTheDefaultSet)
{
    open();
    EXPECT_EQ(title(), "Frontline #1 (Default)");
    EXPECT_EQ(text("TXT_Axis_Airfields"), listOf(game, "Axis", 1));
    EXPECT_EQ(text("TXT_Allied_airfields"), listOf(game, "Allied", 1));
    EXPECT_TRUE(text("TXT_Airfield_Notes").isEmpty());
    EXPECT_TRUE(showsPreviewOf(1));
    EXPECT_EQ(window->state().NumFolders, 3);
    EXPECT_EQ(window->state().FrontlineNum, 1);
    EXPECT_TRUE(boxes.shown.isEmpty());
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    EXPECT_EQ(QApplication::focusWidget(), control("TXT_filename"));
}

TEST_F(MainWindow, NextAndPrevPageThroughTheSetsWithWrapAround)
{
    open();
    const struct
    {
        const char* button;
        int set;
        const char* title;
    } steps[] = {
        {"CMD_Next", 2, "Frontline #2"},           {"CMD_Next", 3, "Frontline #3"},
        {"CMD_Next", 1, "Frontline #1 (Default)"}, {"CMD_prev", 3, "Frontline #3"},
        {"CMD_prev", 2, "Frontline #2"},           {"CMD_prev", 1, "Frontline #1 (Default)"}};
    for (const auto& step : steps) {
        SCOPED_TRACE(step.title);
        click(step.button);
        EXPECT_EQ(title(), step.title);
        EXPECT_EQ(text("TXT_Axis_Airfields"), listOf(game, "Axis", step.set));
        EXPECT_EQ(text("TXT_Allied_airfields"), listOf(game, "Allied", step.set));
        EXPECT_TRUE(showsPreviewOf(step.set));
    }
    EXPECT_TRUE(boxes.shown.isEmpty());
    EXPECT_FALSE(exit.ended());
}

TEST_F(MainWindow, ReadMeButtonsReplaceEachOthersTextOrSayWhereToHaveIt)
{
    open();
    const QString notes = "Notes for makers   \nline 2\n";
    const QString readMe = "Tarvane read-me\n";
    click("CMD_View_Notes");
    EXPECT_EQ(text("TXT_Airfield_Notes"), notes);
    click("CMD_View_ReadMe");
    EXPECT_EQ(text("TXT_Airfield_Notes"), readMe);
    click("CMD_View_Notes");
    EXPECT_EQ(text("TXT_Airfield_Notes"), notes);

    // Whatever was typed into the box goes with the next load.
    QTest::keyClicks(control("TXT_Airfield_Notes"), "typed");
    click("CMD_View_ReadMe");
    EXPECT_EQ(text("TXT_Airfield_Notes"), readMe);

    // Tarvane's own read-me missing, the report says where it comes from.
    QFile::remove(game.scratch().path("EAW/Frontlines/ReadMe/TarvaneReadMe.txt"));
    click("CMD_View_ReadMe");
    EXPECT_EQ(fatalReportIn(boxes.shown),
              fatalReport(SystemError::FileNotFound,
                          {game.scratch().path("EAW/Frontlines/ReadMe/TarvaneReadMe.txt"),
                           OwnReadMeSource}));
}

// A list missing, at start-up or after Next, ends the program through the
// fatal report, which names the file, so a player can see what is missing;
// its box stays empty.
TEST_F(MainWindow, MissingListFileEndsThroughTheFatalReportWithTheBoxEmpty)
{
    const QString axis1 = game.scratch().path("EAW/Frontlines/Workfiles/AxisActive1.txt");
    const QString allied2 = game.scratch().path("EAW/Frontlines/Workfiles/AlliedActive2.txt");
    QFile::remove(axis1);
    QFile::remove(allied2);
    open();
    EXPECT_TRUE(text("TXT_Axis_Airfields").isEmpty());
    EXPECT_EQ(fatalReportIn(boxes.shown), fatalReport(SystemError::FileNotFound, {axis1}));

    boxes.shown.clear();
    click("CMD_Next");
    EXPECT_EQ(text("TXT_Axis_Airfields"), listOf(game, "Axis", 2));
    EXPECT_TRUE(text("TXT_Allied_airfields").isEmpty());
    EXPECT_EQ(fatalReportIn(boxes.shown), fatalReport(SystemError::FileNotFound, {allied2}));
    EXPECT_EQ(exit.statuses.first(), ErrorReport::FailureStatus);
}

// While a Load waits for another holder of the game folder's lock, the
// window is painted and shows the wait cursor; the report follows.
TEST_F(MainWindow, PaintedWhileALoadWaitsForTheLock)
{
    open();
    files->onWaitingForLock(showWaitingForLock);
    const std::unique_ptr<ChangeFolder> held = openChangeFolder(game.scratch().path("EAW"));
    ASSERT_EQ(held->lock(PairJournal::LockName, {}), ChangeFolder::Lock::Taken);
    struct Paints final : QObject
    {
        int count = 0;
        bool eventFilter(QObject*, QEvent* event) override
        {
            count += event->type() == QEvent::Paint;
            return false;
        }
    } paints;
    window->installEventFilter(&paints);
    bool waitCursor = false;
    QTimer::singleShot(500, [&] {
        waitCursor = QApplication::overrideCursor() &&
                     QApplication::overrideCursor()->shape() == Qt::WaitCursor;
        window->update();
    });
    window->CMD_load_Click();
    EXPECT_GT(paints.count, 0);
    EXPECT_TRUE(waitCursor);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    ASSERT_EQ(boxes.shown.size(), 2);
    EXPECT_TRUE(boxes.shown[1].text.startsWith(QString("Error %1:").arg(SystemError::Busy)));
}

// Started where there is no library (where a download was unpacked), the
// report says where Tarvane must be started, and where it was.
TEST_F(MainWindow, StartedOutsideALibraryTheReportSaysWhereToStart)
{
    game.scratch().makeFolder("Downloads/Tarvane");
    open(game.scratch().path("Downloads/Tarvane"));
    EXPECT_EQ(fatalReportIn(boxes.shown),
              fatalReport(SystemError::PathNotFound,
                          {game.scratch().path("Downloads/Frontlines/Workfiles/AxisActive1.txt"),
                           "Tarvane works in the game's Frontlines folder and must be started "
                           "there (from a shortcut or a desktop entry: with that folder as the "
                           "one it starts in). It was started in",
                           game.scratch().path("Downloads/Tarvane")}));
    EXPECT_TRUE(exit.ended());
}

TEST_F(MainWindow, MissingOrBrokenPictureShowsTheDesignTimePicture)
{
    QFile::remove(game.scratch().path("EAW/Frontlines/FrontLine(1)/FL#1(Default).jpg"));
    game.scratch().write("EAW/Frontlines/FrontLine(3)/FL#3.jpg", "not a picture");
    open();
    EXPECT_TRUE(showsDesignPicture());
    EXPECT_EQ(title(), "Frontline #1 (Default)");
    EXPECT_EQ(text("TXT_Axis_Airfields"), listOf(game, "Axis", 1));

    click("CMD_Next");
    EXPECT_TRUE(showsPreviewOf(2));
    click("CMD_Next");
    EXPECT_TRUE(showsDesignPicture());
    EXPECT_EQ(title(), "Frontline #3");
    EXPECT_EQ(text("TXT_Axis_Airfields"), listOf(game, "Axis", 3));
    click("CMD_prev");
    EXPECT_TRUE(showsPreviewOf(2));
    EXPECT_TRUE(boxes.shown.isEmpty());
    EXPECT_FALSE(exit.ended());
}

TEST_F(MainWindow, StartUpFailuresAfterThePathsAreSkipped)
{
    // No library root: the count fails before its guard and is skipped, the
    // lists still end the program through their own guard.
    QDir(game.libraryRoot()).removeRecursively();
    open();
    EXPECT_EQ(window->state().NumFolders, 0);
    EXPECT_EQ(title(), "Frontline #1 (Default)");
    EXPECT_TRUE(showsDesignPicture());
    EXPECT_EQ(boxes.shown.size(), 4); // one fatal report for each list
}

TEST_F(MainWindow, StartUpDirectoryWithoutSeparatorReachesTheCaller)
{
    StartedIn nowhere("Frontlines");
    FRM_tarvanescreen frm(nowhere, probe, boxes, exit);
    EXPECT_PLATFORM_ERROR(frm.Form_Load(), SystemError::InvalidArgument);
    EXPECT_TRUE(boxes.shown.isEmpty());
}

TEST_F(MainWindow, ExitEndsTheProgramAtOnce)
{
    open();
    click("CMD_exit");
    EXPECT_EQ(exit.statuses, QList<int>{0});
    EXPECT_TRUE(boxes.shown.isEmpty());
}

TEST_F(MainWindow, ControlsAsLaidOut)
{
    open();
    const struct
    {
        const char* name;
        const char* kind;
        QString caption;
        QString toolTip;
        QRect pixels;
    } table[] = {
        {"TXT_Axis_Airfields", "QPlainTextEdit", {}, {}, {616, 36, 177, 237}},
        {"TXT_Allied_airfields", "QPlainTextEdit", {}, {}, {616, 328, 177, 237}},
        {"CMD_Next", "CaptionButton", "Next", "Display next Frontline file", {504, 16, 85, 53}},
        {"CMD_load",
         "CaptionButton",
         "Load this Frontline",
         "Loads the currently displayed Frontline file from your EAW folder",
         {504, 144, 85, 53}},
        {"CMD_restore_defaut",
         "CaptionButton",
         "Restore Default",
         "Restores the default EAW Frontline file to the EAW folder",
         {504, 208, 85, 53}},
        {"CMD_prev", "CaptionButton", "Prev", "Display prior Frontline file", {504, 80, 85, 53}},
        {"CMD_exit", "CaptionButton", "Exit", "Exits this program", {504, 336, 85, 53}},
        {"CMD_delete",
         "CaptionButton",
         "Remove Frontline File",
         "Removes the Frontline file from the EAW folder (Multiplayer use)",
         {504, 272, 85, 53}},
        {"CMD_View_Notes",
         "CaptionButton",
         "View VORSK's Notes on AIRFIELD.DAT",
         "A MUST view for campaign makers",
         {492, 512, 117, 53}},
        {"CMD_View_ReadMe",
         "CaptionButton",
         "View Tarvane ReadMe",
         "View Tarvane's Read Me file",
         {492, 448, 117, 49}},
        {"TXT_Airfield_Notes", "QPlainTextEdit", {}, {}, {8, 372, 473, 201}},
        {"TXT_filename", "QLineEdit", {}, {}, {488, 416, 121, 21}},
        {"LBL_Airfields_Axis", "QLabel", "Axis Airfields", {}, {636, 20, 137, 21}},
        {"LBL_Airfields_Allied", "QLabel", "Allied Airfields", {}, {636, 312, 137, 21}},
        {"LBL_comments", "QLabel", {}, {}, {8, 340, 485, 29}},
        {"LBL_frontline_num", "QLabel", "FrontLine Number", {}, {488, 396, 125, 13}},
        {"frontline_image1", "PreviewBox", {}, {}, {8, 4, 488, 328}},
    };
    EXPECT_EQ(window->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly).size(), 17);
    for (const auto& row : table) {
        SCOPED_TRACE(row.name);
        QWidget* widget = control(row.name);
        ASSERT_NE(widget, nullptr);
        EXPECT_STREQ(widget->metaObject()->className(), row.kind);
        EXPECT_EQ(widget->geometry(), row.pixels);
        EXPECT_EQ(widget->toolTip(), row.toolTip);
        if (auto* button = qobject_cast<QPushButton*>(widget)) {
            EXPECT_EQ(button->text(), row.caption);
        } else if (auto* label = qobject_cast<QLabel*>(widget); label && !row.caption.isEmpty()) {
            EXPECT_EQ(label->text(), row.caption);
        }
        if (row.caption.isEmpty() && QByteArray(row.kind) != "QLabel") {
            EXPECT_FALSE(widget->accessibleName().isEmpty());
        }
    }
    EXPECT_TRUE(control<QLabel>("LBL_comments")
                    ->text()
                    .contains(QString(6, ' ') + "Version 2.5" + QString(15, ' ') +
                              "See Readme File for instructions"));
    EXPECT_FALSE(control("frontline_image1")->accessibleName().isEmpty());

    EXPECT_EQ(window->windowTitle(), "Tarvane");
    EXPECT_EQ(window->size(), QSize(805, 581));
    EXPECT_EQ(window->minimumSize(), window->maximumSize());
    EXPECT_FALSE(window->windowFlags() &
                 (Qt::WindowMaximizeButtonHint | Qt::WindowMinimizeButtonHint));
    EXPECT_EQ(window->palette().color(QPalette::Window), QColor(128, 128, 255));
    EXPECT_EQ(control("CMD_load")->palette().color(QPalette::Button), QColor(0, 255, 0));
    EXPECT_EQ(control("TXT_Axis_Airfields")->palette().color(QPalette::Text), QColor(255, 0, 0));
    EXPECT_EQ(control("TXT_filename")->palette().color(QPalette::Text), QColor(192, 0, 0));
    EXPECT_EQ(control("LBL_frontline_num")->palette().color(QPalette::WindowText),
              QColor(192, 255, 192));
    EXPECT_TRUE(control("LBL_comments")->font().italic());
    EXPECT_FALSE(control("TXT_Airfield_Notes")->font().bold());
    EXPECT_TRUE(control("TXT_Axis_Airfields")->font().bold());
    // Point sizes a screen reader can report, at the designed pixel sizes,
    // in a face that scales without steps.
    EXPECT_EQ(window->font().family(), WindowFontFamily);
    EXPECT_TRUE(QFontDatabase::isSmoothlyScalable(QFontInfo(window->font()).family()));
    EXPECT_EQ(window->font().pointSizeF(), 9.75);
    EXPECT_EQ(QFontInfo(window->font()).pixelSize(), 13);
    EXPECT_EQ(control("TXT_filename")->font().pointSizeF(), 8.25);
    EXPECT_EQ(QFontInfo(control("TXT_filename")->font()).pixelSize(), 11);
    EXPECT_EQ(control<QLabel>("LBL_Airfields_Axis")->buddy(), control("TXT_Axis_Airfields"));
    EXPECT_EQ(control<QLabel>("LBL_Airfields_Allied")->buddy(), control("TXT_Allied_airfields"));

    const char* tabOrder[] = {"TXT_filename",   "TXT_Airfield_Notes",   "CMD_View_ReadMe",
                              "CMD_View_Notes", "CMD_delete",           "CMD_exit",
                              "CMD_prev",       "CMD_restore_defaut",   "CMD_load",
                              "CMD_Next",       "TXT_Allied_airfields", "TXT_Axis_Airfields"};
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    control(tabOrder[0])->setFocus();
    for (size_t i = 1; i < std::size(tabOrder); ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        EXPECT_EQ(QApplication::focusWidget(), control(tabOrder[i])) << "after " << tabOrder[i - 1];
    }
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), control(tabOrder[0]));
}

TEST_F(MainWindow, NoCaptionIsClipped)
{
    open();
    for (QPushButton* button : window->findChildren<QPushButton*>()) {
        SCOPED_TRACE(button->objectName().toStdString());
        const QRect room = button->rect().adjusted(3, 3, -3, -3);
        const QRect needed =
            QFontMetrics(button->font())
                .boundingRect(room, Qt::AlignCenter | Qt::TextWordWrap, button->text());
        EXPECT_TRUE(room.contains(needed)) << needed.width() << "x" << needed.height();
    }
    for (QLabel* label : window->findChildren<QLabel*>()) {
        if (label->text().isEmpty())
            continue;
        SCOPED_TRACE(label->objectName().toStdString());
        const QRect needed =
            QFontMetrics(label->font())
                .boundingRect(label->contentsRect(), label->alignment() | Qt::TextWordWrap,
                              label->text());
        EXPECT_LE(needed.width(), label->contentsRect().width());
        EXPECT_LE(needed.height(), label->contentsRect().height() + 2);
    }
}

TEST(RealMessageBox, ShowsTitleTextIconAndOneOkButton)
{
    QString seenTitle, seenText;
    QMessageBox::Icon seenIcon = QMessageBox::NoIcon;
    QList<QAbstractButton*> seenButtons;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        seenTitle = box->windowTitle();
        seenText = box->text();
        seenIcon = box->icon();
        seenButtons = box->buttons();
        ASSERT_EQ(seenButtons.size(), 1);
        EXPECT_EQ(box->standardButton(seenButtons.first()), QMessageBox::Ok);
        QTest::mouseClick(seenButtons.first(), Qt::LeftButton);
    });
    QtMessageBoxes boxes;
    boxes.showMessage("tarvane", "Error 2:\r\nNo such file or directory", MessageIcon::Information);
    EXPECT_EQ(seenTitle, "tarvane");
    EXPECT_EQ(seenText, "Error 2:\r\nNo such file or directory");
    EXPECT_EQ(seenIcon, QMessageBox::Information);
    EXPECT_EQ(seenButtons.size(), 1);
}

TEST_F(MainWindow, HugeListsAreShownWhole)
{
    // A list of many lines, one long line with nowhere to wrap, and a great
    // many empty lines: the box takes them in pieces and groups (so that
    // they are laid out promptly: bench/ measures how promptly), and shows
    // every line.
    QByteArray lines;
    QString shownLines;
    for (int i = 0; i < 50000; ++i) {
        lines += "Airfield " + QByteArray::number(i) + (i % 2 ? " \r\n" : "\n");
        shownLines += QString("Airfield %1").arg(i);
    }
    const struct
    {
        QByteArray bytes;
        QString shownWithoutBreaks;
        qsizetype breaks; // -1: any number
    } lists[] = {{lines, shownLines, 50000},
                 {QByteArray(1024 * 1024, 'x'), QString(1024 * 1024, u'x'), -1},
                 {QByteArray(4 * 1024 * 1024, '\n'), QString(), 4 * 1024 * 1024}};
    open();
    for (const auto& list : lists) {
        game.scratch().write("EAW/Frontlines/Workfiles/AxisActive2.txt", list.bytes);
        click("CMD_Next");
        control<QPlainTextEdit>("TXT_Axis_Airfields")->repaint();
        QString shown = text("TXT_Axis_Airfields");
        if (list.breaks >= 0) {
            EXPECT_EQ(shown.count(u'\n'), list.breaks);
        }
        EXPECT_EQ(shown.remove(u'\n'), list.shownWithoutBreaks);
        EXPECT_TRUE(boxes.shown.isEmpty());
        click("CMD_prev");
    }
}

TEST(EndToEnd, NextTwiceThenLoadInstallsTheThirdSet)
{
    prepareApplication(*qApp);
    GameFolder game(4);
    drawPreviews(game);
    const QString startedFrom = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(game.libraryRoot()));

    LocalFileSystem files;
    QtMessageBoxes boxes;
    RecordingExit exit;
    const LocalGameProbe probe;
    FRM_tarvanescreen window(files, probe, boxes, exit);
    window.Form_Load();
    window.show();

    auto* next = window.findChild<QPushButton*>("CMD_Next");
    QTest::mouseClick(next, Qt::LeftButton);
    QTest::mouseClick(next, Qt::LeftButton);
    QString confirmation;
    QTimer::singleShot(0, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            confirmation = box->windowTitle() + ": " + box->text();
            QTest::mouseClick(box->button(QMessageBox::Ok), Qt::LeftButton);
        }
    });
    QTest::mouseClick(window.findChild<QPushButton*>("CMD_load"), Qt::LeftButton);
    QDir::setCurrent(startedFrom);

    EXPECT_EQ(confirmation, "tarvane: Frontline and Airfield files loaded");
    EXPECT_EQ(game.scratch().read("EAW/FRNTLINE.DAT"), GameFolder::frontlineBytes(3));
    EXPECT_EQ(game.scratch().read("EAW/AIRFIELD.DAT"), GameFolder::airfieldBytes(3));
    EXPECT_FALSE(exit.ended());
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
    EXPECT_PLATFORM_ERROR(loadPicture(files, root.path("FrontLine(3)/FL#3.jpg")),
                          PlatformError::of(PlatformError::Failure::InvalidData).number());
    EXPECT_PLATFORM_ERROR(loadPicture(files, root.path("FrontLine(4)/FL#4.jpg")),
                          SystemError::PathNotFound);
}

namespace {

struct MarkerCase
{
    const char* name;
    // Prepares the game folder (before the window opens) and acts on the
    // window (after).
    std::function<void(const GameFolder&)> prepare;
    std::function<void(MainWindow&)> act;
    bool installed;
    // Windows: the game folder under one that only administrators may change.
    bool underProtectedFolder = false;
};

void PrintTo(const MarkerCase& c, std::ostream* out)
{
    *out << c.name;
}

void gamePairOf(const GameFolder& game, int frontlineSet, int airfieldSet)
{
    game.scratch().write("EAW/FRNTLINE.DAT", GameFolder::frontlineBytes(frontlineSet));
    game.scratch().write("EAW/AIRFIELD.DAT", GameFolder::airfieldBytes(airfieldSet));
}

class InstalledMarker : public MainWindow, public testing::WithParamInterface<MarkerCase>
{
public:
    InstalledMarker() : MainWindow(GetParam().underProtectedFolder ? protectedFolder() : QString())
    {}
    using MainWindow::boxes;
    using MainWindow::click;
    using MainWindow::control;
    using MainWindow::game;
};

} // namespace

TEST_P(InstalledMarker, FollowsTheGameFolder)
{
    const MarkerCase& c = GetParam();
    c.prepare(game);
    open();
    if (c.act)
        c.act(*this);

    auto* preview = control<PreviewBox>("frontline_image1");
    EXPECT_EQ(preview->isInstalled(), c.installed);
    EXPECT_EQ(preview->accessibleDescription().contains(" is installed"), c.installed)
        << qPrintable(preview->accessibleDescription());
    // The mark is drawn over the picture in its top left corner, nowhere
    // else, and mostly in the buttons' colour.
    const QImage shown = preview->grab().toImage();
    preview->setInstalled(false);
    const QImage plain = preview->grab().toImage();
    QRect marked;
    QMap<QRgb, int> colours;
    for (int y = 0; y < shown.height(); ++y)
        for (int x = 0; x < shown.width(); ++x)
            if (shown.pixel(x, y) != plain.pixel(x, y))
                marked |= QRect(x, y, 1, 1), ++colours[shown.pixel(x, y)];
    EXPECT_EQ(!marked.isEmpty(), c.installed);
    if (c.installed) {
        EXPECT_TRUE(QRect(QPoint(0, 0), shown.size() / 3).contains(marked));
        EXPECT_EQ(std::max_element(colours.begin(), colours.end()).key(),
                  control("CMD_load")->palette().color(QPalette::Button).rgb());
    }
    EXPECT_FALSE(exit.ended());
}

const std::vector<MarkerCase> markerCases = [] {
    std::vector<MarkerCase> cases = {
        MarkerCase{"GamePairIsTheDisplayedSet",
                   [](const GameFolder& game) { gamePairOf(game, 1, 1); },
                   {},
                   true},
        MarkerCase{"GamePairMissing",
                   [](const GameFolder& game) {
                       QFile::remove(game.scratch().path("EAW/FRNTLINE.DAT"));
                       QFile::remove(game.scratch().path("EAW/AIRFIELD.DAT"));
                   },
                   {},
                   false},
        MarkerCase{
            "OneFileDiffers", [](const GameFolder& game) { gamePairOf(game, 1, 2); }, {}, false},
        MarkerCase{"SameSizeOtherBytes",
                   [](const GameFolder& game) {
                       gamePairOf(game, 1, 1);
                       QByteArray bytes = GameFolder::airfieldBytes(1);
                       bytes[bytes.size() - 1] = 'x';
                       game.scratch().write("EAW/AIRFIELD.DAT", bytes);
                   },
                   {},
                   false},
        MarkerCase{"GameFileIsAFolder",
                   [](const GameFolder& game) {
                       gamePairOf(game, 1, 1);
                       QFile::remove(game.scratch().path("EAW/AIRFIELD.DAT"));
                       game.scratch().makeFolder("EAW/AIRFIELD.DAT");
                   },
                   {},
                   false},
        MarkerCase{"NextToAnotherSet", [](const GameFolder& game) { gamePairOf(game, 1, 1); },
                   [](MainWindow& w) { static_cast<InstalledMarker&>(w).click("CMD_Next"); },
                   false},
        MarkerCase{"AfterLoad", [](const GameFolder&) {},
                   [](MainWindow& w) {
                       auto& window = static_cast<InstalledMarker&>(w);
                       window.click("CMD_Next");
                       window.click("CMD_load");
                   },
                   true},
        MarkerCase{
            "AfterRestoreDefault", [](const GameFolder&) {},
            [](MainWindow& w) { static_cast<InstalledMarker&>(w).click("CMD_restore_defaut"); },
            true},
        MarkerCase{"AfterRemove", [](const GameFolder& game) { gamePairOf(game, 1, 1); },
                   [](MainWindow& w) { static_cast<InstalledMarker&>(w).click("CMD_delete"); },
                   false},
        // A Load of set 2 over set 1 killed between its two renames: the
        // window opens on set 1's pair, whole again, and no temporary.
        MarkerCase{"AfterACrashMidLoad",
                   [](const GameFolder& game) {
                       gamePairOf(game, 2, 1);
                       game.scratch().write("EAW/.FRNTLINE.DAT.tarvane-old",
                                            GameFolder::frontlineBytes(1));
                       game.scratch().write("EAW/.AIRFIELD.DAT.tarvane-new",
                                            GameFolder::airfieldBytes(2));
                   },
                   [](MainWindow& w) {
                       EXPECT_EQ(static_cast<InstalledMarker&>(w).game.scratch().entries("EAW"),
                                 (QStringList{"AIRFIELD.DAT", "FRNTLINE.DAT", "Frontlines"}));
                   },
                   true}};
#ifdef _WIN32
    // Windows gives the game its own copies of set 2's pair, from the
    // VirtualStore of its folder under Program Files: the mark follows them,
    // Load says so, and they stay as they are.
    const auto virtualStore = [](const GameFolder& game) -> QString {
        return qEnvironmentVariable("LOCALAPPDATA") + "\\VirtualStore" +
               game.scratch().path("EAW").mid(2);
    };
    cases.push_back(MarkerCase{
        "WhatTheGameReadsFromTheVirtualStore",
        [=](const GameFolder& game) {
            gamePairOf(game, 1, 1);
            Scratch::writeFile(virtualStore(game) + "\\FRNTLINE.DAT",
                               GameFolder::frontlineBytes(2));
            Scratch::writeFile(virtualStore(game) + "\\AIRFIELD.DAT", GameFolder::airfieldBytes(2));
        },
        [=](MainWindow& w) {
            auto& window = static_cast<InstalledMarker&>(w);
            const auto installed = [&] {
                return window.control<PreviewBox>("frontline_image1")->isInstalled();
            };
            EXPECT_FALSE(installed());
            window.click("CMD_Next");
            EXPECT_TRUE(installed());
            window.click("CMD_Next");
            window.click("CMD_load");
            EXPECT_EQ(window.boxes.shown.value(0).text,
                      "Frontline and Airfield files loaded\r\nWindows gives the game its own "
                      "copies of these files first: delete them for the game to use the game "
                      "folder's files. Windows keeps them in\r\n" +
                          virtualStore(window.game));
            const QString copies = virtualStore(window.game);
            EXPECT_EQ(Scratch::readFile(copies + "\\FRNTLINE.DAT"), GameFolder::frontlineBytes(2));
            EXPECT_EQ(Scratch::readFile(copies + "\\AIRFIELD.DAT"), GameFolder::airfieldBytes(2));
            QDir(copies).removeRecursively();
        },
        false, true});
#else
    cases.push_back(MarkerCase{"GameFileIsAPipe",
                               [](const GameFolder& game) {
                                   gamePairOf(game, 1, 1);
                                   const QString pipe = game.scratch().path("EAW/FRNTLINE.DAT");
                                   QFile::remove(pipe);
                                   mkfifo(QFile::encodeName(pipe).constData(), 0644);
                               },
                               {},
                               false});
#endif
    return cases;
}();

INSTANTIATE_TEST_SUITE_P(Window, InstalledMarker, testing::ValuesIn(markerCases),
                         [](const testing::TestParamInfo<MarkerCase>& info) {
                             return std::string(info.param.name);
                         });
