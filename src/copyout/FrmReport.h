#pragma once
// SPDX-License-Identifier: GPL-3.0-or-later
// TFormReport, the copy report: after every copy job it lists each song of the job with
// what became of it (the path of the copy, or why it was not copied), opens the
// destination folder on request and explains why songs may be reported as not found.

#include "export/JobCopies.h"

#include <QDialog>

#include <optional>
#include <string>
#include <vector>

class QLabel;
class QPlainTextEdit;
class QPushButton;
class QTableView;
class QMenu;
class QFrame;

namespace korvello {

class IDialogs;
class IPlatform;
class ReportRows;
class WindowChrome;

class TFormReport : public QDialog {
    Q_OBJECT

public:
    TFormReport(IPlatform& platform, QWidget* mainWindow);

    // Set by the main window before each showing; owned by the main window.
    const std::vector<std::string>* TitleList = nullptr;
    const std::vector<std::string>* TargetList = nullptr;
    // For the job's playlist: each song's artist, the copy found for a song already
    // copied (both may be missing or shorter), the folder the user chose, and the dialogs
    // the playlist's file is chosen and questions asked through.
    const std::vector<std::string>* ArtistList = nullptr;
    const std::vector<std::string>* FoundList = nullptr;
    std::string JobFolder;
    // Temporary files of earlier jobs that this job removed (shown with the counts).
    int LeftoversRemoved = 0;
    IDialogs* Dialogs = nullptr;
    // For the exports of the iPod's playlists and library: each entry's song (a position
    // in the catalogue) and the catalogue the job was taken from.
    const std::vector<std::int32_t>* PositionList = nullptr;
    TCatalogueView Catalogue;

    QTableView* Reporter = nullptr;
    QLabel* Label1 = nullptr;
    QPushButton* OpenDir = nullptr;
    QPushButton* CloseButton = nullptr;
    QPlainTextEdit* Memo1 = nullptr;
    QMenu* SunPopupreport = nullptr;
    QLabel* SummaryLabel = nullptr;          // the counts of the job, under the help link
    QPushButton* MinimizeButton = nullptr;   // title bar: minimise the application
    QPushButton* TitleCloseButton = nullptr; // title bar: close the report

    // The frameless rounded outline, which follows the window's height, and the move by
    // dragging the background; the title and bottom strip pictures and the right side
    // line join with Chrome().AddDragSource(picture).
    WindowChrome& Chrome() { return *chrome_; }
    // After a move: the report table drawn afresh.
    void AfterWindowMove();

    void FormShow();
    void OpenDirClick();
    void Label1Click();
    void CloseButtonClick();
    // "Save playlist...": an M3U8 file of the job's songs, where the user chooses.
    void SavePlaylistClick();
    // "Save iPod playlists...": each of the iPod's playlists as an M3U8 file of the job's
    // copies, in a folder the user chooses.
    void SaveIpodPlaylistsClick();
    // "Save library file...": the iTunes-style library file of the job's copies.
    void SaveLibraryFileClick();

    // The fourteen lines of the help text.
    static const char* const kHelpLines[14];

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    // The constructor's steps, one area of the window each.
    void BuildFrame();
    void BuildTable();
    void BuildTableMenu();
    void BuildHelpLink();
    void BuildSummary();
    void BuildButtons();
    void BuildTitleButtons();
    void BuildHelpText();
    void ShowSummary();
    TJobCopies JobCopies();
    std::string ProposedFolder();
    std::optional<std::string> AskFileToSave(const std::string& title, const std::string& proposed,
                                             const std::string& extension);

    IPlatform& platform_;
    QWidget* mainWindow_;
    ReportRows* rows_ = nullptr;
    QFrame* buttonPanel_ = nullptr;
    WindowChrome* chrome_ = nullptr;
};

} // namespace korvello
