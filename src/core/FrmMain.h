#pragma once
// SPDX-License-Identifier: GPL-3.0-or-later
// TFormMain, the main window: it owns all of the program's state (the catalogue of the
// attached iPod, the copy job, the settings) and drives every other part from window
// events. Its operations are spread over the folders of their subsystems: discovery in
// device/, the song table, lists and search in browser/, the copy command in copyout/,
// the settings store in settings/; this file declares them all in one place.
//
// Failures: most operations run inside a guard that writes "<Operation>:<text>" to the
// error log and ends the operation quietly. The selector choice and the device arrival
// have no guard of their own; a failure there reaches RunUnguarded, which shows it in an
// error box titled "Korvello A" and carries on.

#include "copyout/CopyNaming.h"
#include "musicdb/iPodcomponent.h"
#include "ui/LumoProgressBar.h"

#include <QPixmap>
#include <QWidget>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

class QComboBox;
class QLabel;
class QLineEdit;
class QMenu;
class QAction;
class QPushButton;
class QSocketNotifier;
class QFont;
class QFrame;

namespace korvello {

class IDialogs;
class IPlatform;
class IWindowMessageSink;
class TCopyThread;
class TFormOption;
class TFormReport;
class TITunesStringGrid;
class WindowChrome;
class WorkerMessageBridge;

// The modes in which the song table is filled.
enum class SongListMode { AllSongs, AlbumSongs, ArtistSongs, FileTypeSongs, NoSongs, SearchSongs };

inline constexpr const char* kApplicationTitle = "Korvello A";
inline constexpr unsigned WM_DEVICECHANGE = 0x219;
inline constexpr unsigned DBT_DEVICEARRIVAL = 0x8000;
inline constexpr unsigned DBT_DEVICEREMOVECOMPLETE = 0x8004;
inline constexpr int kStatusMaxChars = 46;

class TFormMain : public QWidget {
    Q_OBJECT

public:
    TFormMain(IPlatform& platform, IDialogs& dialogs, QWidget* parent = nullptr);
    ~TFormMain() override;

    // The windows created after this one; the program entry hands them over.
    void SetForms(TFormOption* option, TFormReport* report);
    // The drive ("f:") the window selects at its first showing when it holds an iPod: the
    // folder named on the command line. Without it, the first iPod found is loaded.
    void SetStartDrive(const std::string& root) { startDrive_ = root; }

    // ---- State ------------------------------------------------------------------------
    std::string AppFolder;
    std::u16string CurrentDrive;
    bool iPodFound = false;
    bool CopyRunning = false;
    std::unique_ptr<TCopyThread> CopyThread;
    bool BackupDone = false;
    bool PlayOnDoubleClick = false;
    std::atomic<bool> OverwriteExisting{false}; // also read by the copy worker
    TCopyNaming CopyNaming = kDefaultCopyNaming;
    std::atomic<bool> SkipCopiedFiles{false};   // also read by the copy worker
    std::atomic<bool> WriteTagsToCopies{false}; // likewise
    // Whether the files the iPod's database does not name are listed as songs too.
    bool ListUnlistedFiles = false;
    // While the songs of an iPod are read from its files: Stop (the copy button) sets the
    // flag, and the selector and device arrival wait for the end.
    bool ScanRunning = false;
    std::atomic<bool> ScanStopRequested{false};
    // What the last reading of song files did (the files whose tags were read, and
    // whether it was stopped), for the status line and the tests.
    std::int64_t LastScanTagsRead = 0;
    bool LastScanStopped = false;
    std::vector<std::string> ColumnWidths;
    std::vector<std::string> SourceList, TargetList, TitleList;
    // The rest of a job, for its playlist: each song's artist, the copy found for a song
    // already copied, and the folder the user chose.
    std::vector<std::string> JobArtists, JobFound;
    std::string JobFolder;
    // The record of each entry's song (entry i of SourceList belongs to JobSongs[i]).
    std::vector<TSong> JobSongs;
    // The catalogue position of each entry's song (-1: none), for the exports of the
    // iPod's playlists and library, whose playlists name songs by position.
    std::vector<std::int32_t> JobPositions;
    TiPod iPod;

    // ---- Controls, by their designer names --------------------------------------------
    QLabel* Label2 = nullptr;
    QLabel* Notifier = nullptr;
    TLumoProgressBar* ProgressBarItunes = nullptr;
    QPushButton* XP_ButtonSmall1 = nullptr;
    QPushButton* XP_ButtonSmall3 = nullptr;
    QFrame* Panel1 = nullptr;
    QFrame* Panel2 = nullptr;
    QFrame* Panel3 = nullptr;
    TITunesStringGrid* AdvStringGridSong = nullptr;
    QLabel* Image2 = nullptr; // hidden; holds the icon of column 0 of every song row
    QLabel* Image3 = nullptr;
    QLabel* Image4 = nullptr;
    QLabel* Image21 = nullptr;
    QLineEdit* Edit1 = nullptr;
    QComboBox* iPodSelectorCom = nullptr;
    QPushButton* LumoButtonSmall1 = nullptr;
    QPushButton* LumoButtonSmall2 = nullptr;
    QPushButton* LumoButtonSmall3 = nullptr;
    TITunesStringGrid* ArtistList = nullptr;
    TITunesStringGrid* AlbumList = nullptr;
    TITunesStringGrid* FileTypeList = nullptr;
    QPushButton* XP_Button3 = nullptr;
    QPushButton* ButtonCopy = nullptr;

    // ---- Window chrome ----------------------------------------------------------------
    // The frameless rounded outline and the move by dragging. The window's background,
    // the title and bottom strips, the side lines, Label2, Notifier, ProgressBarItunes, the
    // three panels and Image3, Image4, Image21 move the window; a picture added to the
    // window's frame joins them with Chrome().AddDragSource(picture).
    WindowChrome& Chrome() { return *chrome_; }
    // After a move: the song table, then each visible category list, drawn afresh.
    void AfterWindowMove();
    // The title bar's minimise button: every window of the program goes down together.
    void XP_ButtonSmall1Click();

    // ---- Core -------------------------------------------------------------------------
    void ShowStatus(const std::string& text);
    std::string StatusText() const;
    void LoadCurrentDrive();
    void FormShow();
    void FormClose();
    // Runs an unguarded handler: a failure is shown in an error box and the program
    // carries on.
    void RunUnguarded(const std::function<void()>& handler);

    // The one dispatch point of the worker's messages (and of device changes).
    void WindowMessage(unsigned msg, std::intptr_t wParam, std::intptr_t lParam);
    void CMProgress(std::intptr_t wParam);
    void CMProgressMax(std::intptr_t wParam);
    void CMProgressText(std::intptr_t wParam);
    void CMProgressFinish(std::intptr_t wParam);

    // ---- Discovery (device/) ----------------------------------------------------------
    bool GetiPodDriver();
    void GetVolumInformation(char letter, std::u16string& label);
    void iPodSelectorComCloseUp();
    void WMDeviceChange(unsigned wParam);
    void BackupDatabase();
    // True once this run's database copy has ended (made or failed); it runs on a thread
    // of its own, after the first paint.
    bool BackupFinished() const { return backupFinished_; }
    // Waits for the database copy, when one is under way.
    void WaitForBackup();
    // After a load: tells the user (status line) and the log when the chosen iPod has a
    // database folder but no database that could be read.
    void ShowDatabaseProblem();
    // After a load: the songs of an iPod without a readable database are read from the
    // files in its music folders (and with ListUnlistedFiles, the files a readable
    // database does not name are added), with progress on the status line.
    void LoadSongsOfFiles();

    // ---- Song table, category lists, search and selection (browser/) -----------------
    void DisPlaySongsInit();
    void DisPlaySongs(SongListMode mode, const std::vector<std::string>* names);
    void AddSongRow(int index);
    void EndSongRows();
    void SongRowTexts(std::int32_t index, std::vector<std::string>& texts) const;
    void AdvStringGridSongCanSort(int col, bool& allow);
    void AdvStringGridSongRightClickCell(int row, int col);
    void AdvStringGridSongMouseUp();
    void AdvStringGridSongKeyDown(int key, Qt::KeyboardModifiers shift);
    void AdvStringGridSongDblClickCell(int row, int col);

    void DisPlayOtherInit();
    void DisPlayOther();
    void DisPlayCurrentArtistSongs();
    void DisPlayCurrentAlbumSongs();
    void DisPlayCurrentFileTypeSongs();
    // Shows the songs of the iPod's playlist at `index` of iPod.Playlists() in the song
    // table, in the playlist's order, each song once at its first place. Like the list
    // filters it does nothing without an iPod or while a copy runs.
    void DisPlayPlaylistSongs(std::size_t index);
    void ArtistListClick();
    void AlbumListClick();
    void FileTypeListClick();
    void LumoButtonSmall1Click();
    void LumoButtonSmall2Click();
    void LumoButtonSmall3Click();

    static bool SearchFunc(const std::string& pattern, const std::string& subject);
    void Edit1KeyDown(int key, Qt::KeyboardModifiers shift);
    void ShowSelectedCount();
    void SelectAllSongClick();
    void InvertSelectSongClick();
    void ClearSelectSongClick();
    void SelectAllListClick(TITunesStringGrid* list);
    void InvertSelectListClick(TITunesStringGrid* list);
    void ClearSelectListClick(TITunesStringGrid* list);
    void SunPopupMenuSongsPopup();
    void SunPopupMenuListPopup(QMenu* menu);

    QMenu* SunPopupMenuSongs = nullptr;
    QMenu* SunPopupMenuArtist = nullptr;
    QMenu* SunPopupMenuAlbum = nullptr;
    QMenu* SunPopupMenuFileType = nullptr;
    QAction* CopyoutSong = nullptr;
    QAction* StopCopyOut = nullptr;

    // ---- Copy command (copyout/) -------------------------------------------------------
    void CopyoutSongClick();
    void ButtonCopyClick();
    void StopCopyOutClick();
    void XP_ButtonSmall3Click();
    void XP_Button3Click();

    // ---- Settings (settings/) ---------------------------------------------------------
    void ReadRegistry();
    void WriteRegistry();
    void ReadIniFile();
    void WriteIniFile();
    void SetPlayOnDoubleClick(bool value);
    void SetOverwriteExisting(bool value);
    void SetCopyNaming(const TCopyNaming& value);
    void SetSkipCopiedFiles(bool value);
    void SetWriteTagsToCopies(bool value);
    // Stores the setting; a change lists the songs of the iPod afresh.
    void SetListUnlistedFiles(bool value);

    // The window's side of the copy worker's synchronous hand-over.
    IWindowMessageSink& MessageSink();

    IPlatform& Platform() { return platform_; }
    IDialogs& Dialogs() { return dialogs_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    // The database copy of the first showing, once (BackupDatabase), if still due.
    void MakeDueBackup();
    // The window's widgets, area by area (core/), then the browser's wiring (browser/).
    void BuildLayout();
    std::vector<QWidget*> BuildFramePictures();
    void BuildTitleStrip(const QFont& base);
    void BuildSongPanel();
    void BuildSearchPanel(const QFont& base);
    void BuildCategoryPanel(const QFont& bold);
    void BuildCommandButtons(const QFont& bold);
    void AddDragSources(const std::vector<QWidget*>& frame);
    void OrderTabs();
    void SelectStartDrive();
    void ConnectBrowser();
    void ConnectSongTable();
    void BuildSongMenu();
    void ConnectCategoryLists();
    void ConnectCategoryList(TITunesStringGrid* list, void (TFormMain::*click)());
    QMenu* BuildListMenu(TITunesStringGrid* list, const char* menuName, const char* itemPrefix);
    void ConnectListTabs();
    // DisPlaySongs' steps: the rows of the mode, then the status line.
    void AddSongRows(SongListMode mode, const std::vector<std::string>& list);
    void AddSongRowsNamed(TNameField field, const std::vector<std::string>& names);
    void AddSongRowsMatching(const std::string& pattern);
    void ShowSongListStatus(SongListMode mode, const std::vector<std::string>& list);
    void FilterByList(TITunesStringGrid* list, SongListMode mode, const char* prefix);
    void ListFilter(TITunesStringGrid* list);
    void ListClick(TITunesStringGrid* list);
    void ListRightClickCell(TITunesStringGrid* list, int row);
    void ListKeyDown(TITunesStringGrid* list, int key, Qt::KeyboardModifiers shift);
    void ShowList(TITunesStringGrid* list);
    void StyleTab(QPushButton* tab, bool active);
    // CopyoutSongClick's steps.
    std::string AskCopyFolder();
    void StartCopyJob(const std::string& folder, int marked);
    void PauseCopy();
    void ResumeCopy();
    void WatchDevices();
    void OnDeviceNotifier();

    IPlatform& platform_;
    IDialogs& dialogs_;
    TFormOption* formOption_ = nullptr;
    TFormReport* formReport_ = nullptr;
    WindowChrome* chrome_ = nullptr;
    bool shown_ = false;
    // The first showing found an iPod: its database is copied once the window has been
    // painted, so the copy never holds back the window's first appearance (or on closing,
    // if the window was never painted).
    bool backupDue_ = false;
    bool backupQueued_ = false;
    std::atomic<bool> backupFinished_ = false;
    std::jthread backupCopy_;
    std::string startDrive_;
    bool closeConfirmed_ = false; // quitting during a copy was confirmed
    int songRowCounter_ = 0;
    QPixmap playIcon_;
    std::unique_ptr<WorkerMessageBridge> bridge_;
    bool copyFinishPending_ = false; // a worker was started and its end not yet handled
    std::vector<QSocketNotifier*> deviceNotifiers_;
};

} // namespace korvello
