// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright the Tarvane developers

#include "app/FRM_tarvanescreen.h"

#include "Identity.h"
#include "app/Appearance.h"
#include "app/CaptionButton.h"
#include "app/PreviewBox.h"
#include "errors/Guard.h"
#include "install/Installer.h"
#include "library/FrontlineLibrary.h"
#include "platform/disk/FileSystem.h"
#include "platform/screen/PictureLoader.h"
#include "textview/TextDisplay.h"

#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScreen>

namespace {

// The layout is measured in twips, 15 to a pixel at 96 DPI; every value in
// it is a multiple of 15. Qt's device-independent pixels are 96 DPI pixels,
// so a high-DPI screen scales the whole window.
constexpr int TwipsPerPixel = 15;

QRect twips(int left, int top, int width, int height)
{
    return QRect(left / TwipsPerPixel, top / TwipsPerPixel, width / TwipsPerPixel,
                 height / TwipsPerPixel);
}

// Point sizes, as the window was designed: at 96 DPI, 9.75 and 8.25 points
// are 13 and 11 pixels. Qt keeps its logical DPI at 96 on a high-DPI screen
// and scales the whole window instead, so the text keeps its size relative
// to the controls.
QFont windowFont(qreal points, bool bold, bool italic = false)
{
    QFont font(WindowFontFamily);
    font.setPointSizeF(points);
    font.setBold(bold);
    font.setItalic(italic);
    return font;
}

const QString CreditCaption = QStringLiteral("Tarvane, by the Tarvane developers") +
                              QString(6, u' ') + QStringLiteral("Version ") + ApplicationVersion +
                              QString(15, u' ') +
                              QStringLiteral("See Readme File for instructions");

} // namespace

FRM_tarvanescreen::FRM_tarvanescreen(FileSystem& files, const GameProbe& game, MessageBoxes& boxes,
                                     ProgramExit& exit, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                          Qt::MSWindowsFixedSizeDialogHint),
      m_files(files), m_game(game), m_boxes(boxes), m_exit(exit), m_report(boxes, exit)
{
    setObjectName(QStringLiteral("FRM_tarvanescreen"));
    setWindowTitle(QStringLiteral("Tarvane"));
    setFixedSize(twips(0, 0, 12075, 8715).size());
    setFont(windowFont(9.75, true));
    setAutoFillBackground(true);
    setColours(this, QPalette::Window, FormBackground, QPalette::WindowText, Qt::black);

    createControls();
    setTabOrder();
    connectButtons();
    TXT_filename->setFocus();
}

void FRM_tarvanescreen::createControls()
{
    const auto textBox = [this](const char* name, const QRect& geometry, const QString& reads) {
        auto* box = new QPlainTextEdit(this);
        box->setObjectName(QLatin1String(name));
        box->setGeometry(geometry);
        box->setAccessibleName(reads);
        box->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        box->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        box->setTabChangesFocus(true);
        setColours(box, QPalette::Base, BoxBackground, QPalette::Text, ListText);
        // The selection stays visible when the box loses focus.
        QPalette palette = box->palette();
        palette.setColor(QPalette::Inactive, QPalette::Highlight,
                         palette.color(QPalette::Active, QPalette::Highlight));
        palette.setColor(QPalette::Inactive, QPalette::HighlightedText,
                         palette.color(QPalette::Active, QPalette::HighlightedText));
        box->setPalette(palette);
        return box;
    };
    const auto button = [this](const char* name, const QString& caption, const QString& toolTip,
                               const QRect& geometry) {
        auto* button = new CaptionButton(caption, this);
        button->setObjectName(QLatin1String(name));
        button->setToolTip(toolTip);
        button->setGeometry(geometry);
        button->setAutoDefault(false);
        setColours(button, QPalette::Button, ButtonGreen, QPalette::ButtonText, Qt::black);
        return button;
    };
    const auto label = [this](const char* name, const QString& caption, const QRect& geometry,
                              Qt::Alignment alignment) {
        auto* label = new QLabel(caption, this);
        label->setObjectName(QLatin1String(name));
        label->setTextFormat(Qt::PlainText);
        label->setGeometry(geometry);
        label->setAlignment(alignment);
        return label;
    };

    // In the order the window creates them.
    TXT_Axis_Airfields =
        textBox("TXT_Axis_Airfields", twips(9240, 540, 2655, 3555), tr("Axis airfields"));
    TXT_Allied_airfields =
        textBox("TXT_Allied_airfields", twips(9240, 4920, 2655, 3555), tr("Allied airfields"));
    CMD_Next = button("CMD_Next", QStringLiteral("Next"),
                      QStringLiteral("Display next Frontline file"), twips(7560, 240, 1275, 795));
    CMD_load =
        button("CMD_load", QStringLiteral("Load this Frontline"),
               QStringLiteral("Loads the currently displayed Frontline file from your EAW folder"),
               twips(7560, 2160, 1275, 795));
    CMD_restore_defaut =
        button("CMD_restore_defaut", QStringLiteral("Restore Default"),
               QStringLiteral("Restores the default EAW Frontline file to the EAW folder"),
               twips(7560, 3120, 1275, 795));
    CMD_prev = button("CMD_prev", QStringLiteral("Prev"),
                      QStringLiteral("Display prior Frontline file"), twips(7560, 1200, 1275, 795));
    CMD_exit = button("CMD_exit", QStringLiteral("Exit"), QStringLiteral("Exits this program"),
                      twips(7560, 5040, 1275, 795));
    CMD_delete =
        button("CMD_delete", QStringLiteral("Remove Frontline File"),
               QStringLiteral("Removes the Frontline file from the EAW folder (Multiplayer use)"),
               twips(7560, 4080, 1275, 795));
    CMD_View_Notes =
        button("CMD_View_Notes", QStringLiteral("View VORSK's Notes on AIRFIELD.DAT"),
               QStringLiteral("A MUST view for campaign makers"), twips(7380, 7680, 1755, 795));
    CMD_View_ReadMe =
        button("CMD_View_ReadMe", QStringLiteral("View Tarvane ReadMe"),
               QStringLiteral("View Tarvane's Read Me file"), twips(7380, 6720, 1755, 735));
    TXT_Airfield_Notes =
        textBox("TXT_Airfield_Notes", twips(120, 5580, 7095, 3015), tr("Notes and read-me text"));
    TXT_Airfield_Notes->setFont(windowFont(9.75, false));

    TXT_filename = new QLineEdit(this);
    TXT_filename->setObjectName(QStringLiteral("TXT_filename"));
    TXT_filename->setGeometry(twips(7320, 6240, 1815, 315));
    TXT_filename->setAccessibleName(tr("Displayed frontline"));
    TXT_filename->setFont(windowFont(8.25, false));
    setColours(TXT_filename, QPalette::Base, BoxBackground, QPalette::Text, FileNameText);

    LBL_Airfields_Axis = label("LBL_Airfields_Axis", QStringLiteral("Axis Airfields"),
                               twips(9540, 300, 2055, 315), Qt::AlignHCenter | Qt::AlignTop);
    LBL_Airfields_Axis->setBuddy(TXT_Axis_Airfields);
    LBL_Airfields_Allied = label("LBL_Airfields_Allied", QStringLiteral("Allied Airfields"),
                                 twips(9540, 4680, 2055, 315), Qt::AlignHCenter | Qt::AlignTop);
    LBL_Airfields_Allied->setBuddy(TXT_Allied_airfields);
    LBL_comments = label("LBL_comments", CreditCaption, twips(120, 5100, 7275, 435),
                         Qt::AlignLeft | Qt::AlignTop);
    LBL_comments->setWordWrap(true);
    LBL_comments->setFont(windowFont(8.25, true, true));
    LBL_frontline_num = label("LBL_frontline_num", QStringLiteral("FrontLine Number"),
                              twips(7320, 5940, 1875, 195), Qt::AlignHCenter | Qt::AlignTop);
    setColours(LBL_frontline_num, QPalette::Window, FormBackground, QPalette::WindowText,
               NumberLabelText);

    frontline_image1 = new PreviewBox(this);
    frontline_image1->setObjectName(QStringLiteral("frontline_image1"));
    frontline_image1->setGeometry(twips(120, 60, 7320, 4920));
    frontline_image1->setFrameStyle(QFrame::Box | QFrame::Plain);
    frontline_image1->setLineWidth(1);
    frontline_image1->setScaledContents(true);
    frontline_image1->setAccessibleName(tr("Frontline preview map"));
}

void FRM_tarvanescreen::setTabOrder()
{
    // Tab indexes 0 to 13; the labels' indexes (1, 2, 14, 15) take no focus.
    const QList<QWidget*> order = {TXT_filename,   TXT_Airfield_Notes,   CMD_View_ReadMe,
                                   CMD_View_Notes, CMD_delete,           CMD_exit,
                                   CMD_prev,       CMD_restore_defaut,   CMD_load,
                                   CMD_Next,       TXT_Allied_airfields, TXT_Axis_Airfields};
    for (qsizetype i = 1; i < order.size(); ++i)
        QWidget::setTabOrder(order[i - 1], order[i]);
}

void FRM_tarvanescreen::connectButtons()
{
    const auto wire = [this](CaptionButton* button, void (FRM_tarvanescreen::*handler)()) {
        connect(button, &QPushButton::clicked, this,
                [this, handler] { runHandler(m_report, [this, handler] { (this->*handler)(); }); });
    };
    wire(CMD_Next, &FRM_tarvanescreen::CMD_Next_Click);
    wire(CMD_prev, &FRM_tarvanescreen::CMD_prev_Click);
    wire(CMD_exit, &FRM_tarvanescreen::CMD_exit_Click);
    wire(CMD_View_Notes, &FRM_tarvanescreen::CMD_View_Notes_Click);
    wire(CMD_View_ReadMe, &FRM_tarvanescreen::CMD_View_ReadMe_Click);
    wire(CMD_load, &FRM_tarvanescreen::CMD_load_Click);
    wire(CMD_restore_defaut, &FRM_tarvanescreen::CMD_restore_defaut_Click);
    wire(CMD_delete, &FRM_tarvanescreen::CMD_delete_Click);
}

void FRM_tarvanescreen::Form_Load()
{
    deriveStartupPaths(m_state, m_files.currentDirectory(), m_files.separator());

    // From here on a failing step is skipped; the list loaders and the count
    // still end the program through their own fatal guards. A change to the
    // game folder that a crash cut short is put right before anything is
    // shown; where that cannot be done, the next change reports why.
    const ResumeNext next;
    next([&] { finishInterruptedChange(m_state, m_files); });
    next([&] { centreOnScreen(); });
    next([&] { m_state.FrontlineNum = 1; });
    next([&] { derivePerSetPaths(m_state); });
    next([&] { m_state.ThisAFListPath = axisListPath(m_state); });
    next([&] { LoadAxisAirfields(); });
    next([&] { m_state.ThisAFListPath = alliedListPath(m_state); });
    next([&] { LoadAlliedAirfields(); });
    next([&] { CountFrontlineFolders(m_state, m_files, m_report); });
    next([&] { showPreviewOrDesignPicture(); });
    next([&] { showWhetherInstalled(); });
    next([&] { TXT_filename->setText(frontlineTitle(m_state.FrontlineNum, true)); });
}

void FRM_tarvanescreen::centreOnScreen()
{
    if (windowState() & (Qt::WindowMinimized | Qt::WindowMaximized))
        return;
    const QScreen* screen = this->screen();
    if (!screen)
        return;
    const QRect screenArea = screen->geometry();
    const QSize outer = frameGeometry().size();
    const double left = (screenArea.width() - outer.width()) / 2.0;
    const double top = (screenArea.height() - outer.height()) / 2.0;
    move(screenArea.x() + qRound(left), screenArea.y() + qRound(top));
}

void FRM_tarvanescreen::CMD_Next_Click()
{
    stepForward(m_state);
    refreshDisplay();
}

void FRM_tarvanescreen::CMD_prev_Click()
{
    stepBack(m_state);
    refreshDisplay();
}

void FRM_tarvanescreen::CMD_exit_Click()
{
    m_exit.endProgram(0);
}

void FRM_tarvanescreen::CMD_load_Click()
{
    const GameFolderFacts game = lookAtGameFolder(m_state, m_files, m_game, Look::ForAChange);
    if (installDisplayedSet(m_state, game, m_files, m_boxes, m_report))
        showWhetherInstalled(game);
}

void FRM_tarvanescreen::CMD_restore_defaut_Click()
{
    const GameFolderFacts game = lookAtGameFolder(m_state, m_files, m_game, Look::ForAChange);
    if (restoreDefaultSet(m_state, game, m_files, m_boxes, m_report))
        showWhetherInstalled(game);
}

void FRM_tarvanescreen::CMD_delete_Click()
{
    const GameFolderFacts game = lookAtGameFolder(m_state, m_files, m_game, Look::ForAChange);
    if (removeGamePair(m_state, game, m_files, m_boxes, m_report))
        showWhetherInstalled(game);
}

void FRM_tarvanescreen::showWhetherInstalled()
{
    showWhetherInstalled(lookAtGameFolder(m_state, m_files, m_game, Look::ForTheMark));
}

void FRM_tarvanescreen::showWhetherInstalled(const GameFolderFacts& game)
{
    frontline_image1->setInstalled(isDisplayedSetInstalled(m_state, game, m_files));
}

void FRM_tarvanescreen::refreshDisplay()
{
    derivePerSetPaths(m_state);
    m_state.ThisAFListPath = axisListPath(m_state);
    LoadAxisAirfields();
    m_state.ThisAFListPath = alliedListPath(m_state);
    LoadAlliedAirfields();
    showPreviewOrDesignPicture();
    showWhetherInstalled();
    TXT_filename->setText(frontlineTitle(m_state.FrontlineNum, m_state.FrontlineNum == 1));
}

void FRM_tarvanescreen::showPreviewOrDesignPicture()
{
    // The design-time picture shows while a set has no readable preview: at
    // start-up, and (rather than ending the program) after Next or Prev. It
    // is decoded only when it is needed.
    try {
        showPicture(QPixmap::fromImage(loadPicture(m_files, m_state.ThisPicPath)));
    } catch (const PlatformError&) {
        showPicture(QPixmap(QStringLiteral(":/tarvane/design-picture.jpg")));
    }
}

void FRM_tarvanescreen::showPicture(const QPixmap& picture)
{
    frontline_image1->setPixmap(picture);
}

void FRM_tarvanescreen::LoadAxisAirfields()
{
    loadTextInto(TXT_Axis_Airfields, m_state.ThisAFListPath, TrailingSpaces::Remove);
}

void FRM_tarvanescreen::LoadAlliedAirfields()
{
    loadTextInto(TXT_Allied_airfields, m_state.ThisAFListPath, TrailingSpaces::Remove);
}

void FRM_tarvanescreen::CMD_View_Notes_Click()
{
    loadReadMe(QStringLiteral("To_campaign_makers.txt"));
}

void FRM_tarvanescreen::CMD_View_ReadMe_Click()
{
    loadReadMe(QStringLiteral("TarvaneReadMe.txt"), OwnReadMeSource);
}

void FRM_tarvanescreen::loadReadMe(const QString& fileName, const QString& whereToHaveIt)
{
    const QChar separator = m_files.separator();
    loadTextInto(TXT_Airfield_Notes,
                 m_state.MainPath + separator + QStringLiteral("ReadMe") + separator + fileName,
                 TrailingSpaces::Keep, whereToHaveIt);
}

void FRM_tarvanescreen::loadTextInto(QPlainTextEdit* box, const QString& path,
                                     TrailingSpaces trailingSpaces, const QString& whereToHaveIt)
{
    box->clear();
    box->setEnabled(true);
    fatalGuard(m_report, [&] {
        try {
            box->setPlainText(boxText(readDisplayText(m_files, path, trailingSpaces)));
        } catch (const PlatformError& error) {
            // What the player can do about it, where the program can tell:
            // looked at only once something failed.
            if (!startedInALibrary(m_state, m_files))
                throw error.withAdvice(whereToStart(m_state));
            if (!whereToHaveIt.isEmpty() && !m_files.exists(path))
                throw error.withAdvice(whereToHaveIt);
            throw;
        }
        box->setEnabled(true);
    });
}
