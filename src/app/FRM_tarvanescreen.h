// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright the Tarvane developers

#pragma once

#include "errors/ErrorReport.h"
#include "library/FrontlineState.h"

#include <QPixmap>
#include <QWidget>

class CaptionButton;
class PreviewBox;
class FileSystem;
class GameProbe;
struct GameFolderFacts;
class MessageBoxes;
class ProgramExit;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
enum class TrailingSpaces;

// Tarvane's one window: the preview of the displayed set, its airfield
// lists, the notes box and the buttons. It owns the program's state.
class FRM_tarvanescreen : public QWidget
{
    Q_OBJECT

public:
    FRM_tarvanescreen(FileSystem& files, const GameProbe& game, MessageBoxes& boxes,
                      ProgramExit& exit, QWidget* parent = nullptr);

    // The start-up sequence, run once before the window is shown. Deriving
    // the paths is unguarded: its failure reaches the caller.
    void Form_Load();

    const FrontlineState& state() const { return m_state; }

    // Button handlers, each run from its button's click.
    void CMD_Next_Click();
    void CMD_prev_Click();
    void CMD_exit_Click();
    void CMD_View_Notes_Click();
    void CMD_View_ReadMe_Click();
    void CMD_load_Click();
    void CMD_restore_defaut_Click();
    void CMD_delete_Click();

    void LoadAxisAirfields();
    void LoadAlliedAirfields();

private:
    void createControls();
    void setTabOrder();
    void connectButtons();
    void centreOnScreen();
    void refreshDisplay();
    void showPicture(const QPixmap& picture);
    void showPreviewOrDesignPicture();
    void showWhetherInstalled();
    void showWhetherInstalled(const GameFolderFacts& game);
    // A read-me or list into its box; a failure ends the program through the
    // fatal report, with a line on what to do where the program can tell
    // (`whereToHaveIt`, for a file that is not there).
    void loadReadMe(const QString& fileName, const QString& whereToHaveIt = {});
    void loadTextInto(QPlainTextEdit* box, const QString& path, TrailingSpaces trailingSpaces,
                      const QString& whereToHaveIt = {});

    FileSystem& m_files;
    const GameProbe& m_game;
    MessageBoxes& m_boxes;
    ProgramExit& m_exit;
    ErrorReport m_report;
    FrontlineState m_state;

    QPlainTextEdit* TXT_Axis_Airfields = nullptr;
    QPlainTextEdit* TXT_Allied_airfields = nullptr;
    CaptionButton* CMD_Next = nullptr;
    CaptionButton* CMD_load = nullptr;
    CaptionButton* CMD_restore_defaut = nullptr;
    CaptionButton* CMD_prev = nullptr;
    CaptionButton* CMD_exit = nullptr;
    CaptionButton* CMD_delete = nullptr;
    CaptionButton* CMD_View_Notes = nullptr;
    CaptionButton* CMD_View_ReadMe = nullptr;
    QPlainTextEdit* TXT_Airfield_Notes = nullptr;
    QLineEdit* TXT_filename = nullptr;
    QLabel* LBL_Airfields_Axis = nullptr;
    QLabel* LBL_Airfields_Allied = nullptr;
    QLabel* LBL_comments = nullptr;
    QLabel* LBL_frontline_num = nullptr;
    PreviewBox* frontline_image1 = nullptr;
};
