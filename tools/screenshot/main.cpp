// SPDX-License-Identifier: GPL-3.0-or-later
// Takes the README's pictures of Korvello as a user sees it: the same windows as the
// program, on whatever drives the environment maps (scripts/screenshot.sh maps the demo
// iPod), grabbed off-screen with QWidget::grab() and cut to the windows' rounded outline.
//
//   korvello-screenshot MAIN.png OPTIONS.png REPORT.png COPY_FOLDER [NAMING.png
//                       [PLAYLIST.png [REPORT_MENU.png]]]
//
// MAIN: songs filtered by an artist, a few marked, a copy under way (the window is fed the
// copy worker's own progress messages). OPTIONS: the options window as the Option button
// opens it. REPORT: the report of a real copy into COPY_FOLDER of every song of an artist
// one of whose songs has lost its file, with the report's help text open. NAMING: the
// options window with its "Name copies" list open. PLAYLIST: the song table showing one
// of the iPod's playlists, chosen in the artist list's popup menu, which is drawn open.
// REPORT_MENU: the report of that copy with its popup menu open.
#include "browser/ITunesStringGrid.h"
#include "browser/SongColumns.h"
#include "copyout/CopyThread.h"
#include "copyout/FrmReport.h"
#include "core/ApplicationWindows.h"
#include "core/ErrorLog.h"
#include "core/FrmMain.h"
#include "platform/Text.h"
#include "platform/posix/PosixPlatform.h"
#include "settings/FrmOption.h"
#include "ui/Dialogs.h"
#include "ui/WindowChrome.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QElapsedTimer>
#include <QImage>
#include <QMenu>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QTableView>

#include <clocale>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace {

void Settle(int ms) {
    QElapsedTimer settle;
    settle.start();
    while (settle.elapsed() < ms)
        QApplication::processEvents(QEventLoop::AllEvents, 20);
}

// The window's picture with everything outside its rounded outline left transparent.
bool SaveWindow(QWidget& window, const char* path) {
    const QPixmap grabbed = window.grab();
    QImage out(grabbed.size(), QImage::Format_ARGB32);
    out.fill(Qt::transparent);
    QPainter p(&out);
    p.setClipRegion(korvello::WindowChrome::RoundedRegion(window.width(), window.height()));
    p.drawPixmap(0, 0, grabbed);
    p.end();
    if (!out.save(QString::fromLocal8Bit(path))) {
        std::fprintf(stderr, "korvello-screenshot: cannot write %s\n", path);
        return false;
    }
    return true;
}

// The window's picture with the popups (menus, lists: windows of their own) drawn over it
// where they lie on screen; the picture grows to hold them.
bool SaveWithPopups(QWidget& window, const std::vector<QWidget*>& popups, const char* path) {
    const QPixmap grabbed = window.grab();
    QRect whole(QPoint(0, 0), grabbed.size());
    std::vector<std::pair<QPoint, QPixmap>> pictures;
    for (QWidget* popup : popups) {
        const QPoint at = popup->mapToGlobal(QPoint(0, 0)) - window.mapToGlobal(QPoint(0, 0));
        pictures.emplace_back(at, popup->grab());
        whole |= QRect(at, pictures.back().second.size());
    }
    QImage out(whole.size(), QImage::Format_ARGB32);
    out.fill(Qt::transparent);
    QPainter p(&out);
    p.translate(-whole.topLeft());
    p.setClipRegion(korvello::WindowChrome::RoundedRegion(window.width(), window.height()));
    p.drawPixmap(0, 0, grabbed);
    p.setClipping(false);
    for (const auto& [at, picture] : pictures)
        p.drawPixmap(at, picture);
    p.end();
    if (!out.save(QString::fromLocal8Bit(path))) {
        std::fprintf(stderr, "korvello-screenshot: cannot write %s\n", path);
        return false;
    }
    return true;
}

// Shows the songs of the artist with the most songs and marks a few of them; returns the
// marked songs' titles.
std::vector<std::string> ShowOneArtistMarked(korvello::TFormMain& formMain) {
    korvello::TITunesStringGrid* artists = formMain.ArtistList;
    korvello::TITunesStringGrid* songs = formMain.AdvStringGridSong;
    const auto showArtist = [&](int row) {
        for (int r = 0; r < artists->RowCount(); ++r)
            artists->SetRowMarked(r, r == row);
        formMain.DisPlayCurrentArtistSongs();
    };
    int bestRow = -1;
    int bestCount = 0;
    for (int row = 1; row < artists->RowCount(); ++row) {
        showArtist(row);
        if (songs->RowCount() > bestCount) {
            bestCount = songs->RowCount();
            bestRow = row;
        }
    }
    if (bestRow > 0)
        showArtist(bestRow);
    std::vector<std::string> marked;
    for (int row : {1, 2, 4}) {
        if (row < songs->RowCount()) {
            songs->SetRowMarked(row, true);
            marked.push_back(songs->Cells(korvello::kTitleColumn, row));
        }
    }
    return marked;
}

// The main window during a copy: it shows what the worker's messages tell it.
bool SaveCopyUnderWay(korvello::TFormMain& formMain, const std::vector<std::string>& marked,
                      const char* path) {
    const std::string current = marked.empty() ? std::string("song") : marked[1 % marked.size()];
    const std::string status = "(2/" + std::to_string(marked.size()) + ") Copying " + current;
    formMain.ButtonCopy->setText(QStringLiteral("Stop"));
    formMain.WindowMessage(korvello::CM_PROGRESSMAX, 1000, 0);
    formMain.WindowMessage(korvello::CM_PROGRESS, 430, 0);
    formMain.WindowMessage(korvello::CM_PROGRESSTEXT,
                           reinterpret_cast<std::intptr_t>(status.c_str()), 0);
    Settle(100);
    const bool ok = SaveWindow(formMain, path);
    formMain.ButtonCopy->setText(QStringLiteral("Copy"));
    return ok;
}

// The options window as the Option button opens it.
bool SaveOptions(korvello::TApplicationWindows& windows, const char* path) {
    korvello::TFormOption& options = windows.FormOption;
    options.SetInitialOverWrite(windows.FormMain.OverwriteExisting);
    options.SetInitialPlaySong(windows.FormMain.PlayOnDoubleClick);
    options.show();
    Settle(100);
    const bool ok = SaveWindow(options, path);
    options.hide();
    return ok;
}

// Answers the windows' questions as a user copying songs would: the copy goes into one
// folder, and the report, when it opens, is photographed with its help text open.
class ShotDialogs final : public korvello::IDialogs {
public:
    ShotDialogs(std::string folder, std::string reportPath, std::string reportMenuPath)
        : folder_(std::move(folder)), reportPath_(std::move(reportPath)),
          reportMenuPath_(std::move(reportMenuPath)) {}

    Answer AskYesNo(QWidget*, const std::string&) override { return Answer::No; }
    void ShowError(QWidget*, const std::string& title, const std::string& text) override {
        std::fprintf(stderr, "korvello-screenshot: %s: %s\n", title.c_str(), text.c_str());
    }
    std::optional<std::string> SaveFile(QWidget*, const std::string&,
                                        const std::string& proposedName,
                                        const std::string& extension) override {
        return folder_ + "/" + proposedName + extension;
    }
    std::optional<std::string> ChooseFolder(QWidget*, const std::string&,
                                            const std::string&) override {
        return std::nullopt;
    }
    void ShowInfo(QWidget*, const std::string& title, const std::string& text) override {
        std::fprintf(stderr, "korvello-screenshot: %s: %s\n", title.c_str(), text.c_str());
    }
    void ShowModal(QWidget* window) override {
        auto* report = dynamic_cast<korvello::TFormReport*>(window);
        window->show();
        Settle(100);
        if (report != nullptr) {
            report->Label1Click();
            Settle(100);
            reportSaved_ = SaveWindow(*report, reportPath_.c_str());
            report->Label1Click();
            if (!reportMenuPath_.empty()) {
                Settle(100);
                QMenu* menu = report->SunPopupreport;
                menu->popup(report->Reporter->viewport()->mapToGlobal(QPoint(140, 40)));
                Settle(200);
                reportSaved_ =
                    SaveWithPopups(*report, {menu}, reportMenuPath_.c_str()) && reportSaved_;
                menu->hide();
            }
        }
        window->hide();
    }
    bool ReportSaved() const { return reportSaved_; }

private:
    std::string folder_;
    std::string reportPath_;
    std::string reportMenuPath_;
    bool reportSaved_ = false;
};

// Marks every song of the first artist one of whose songs has lost its file on the iPod,
// so that the report shows both outcomes; false when no artist has such a song.
bool MarkArtistWithALostSong(korvello::TFormMain& formMain, korvello::IPlatform& platform) {
    korvello::TITunesStringGrid* artists = formMain.ArtistList;
    korvello::TITunesStringGrid* songs = formMain.AdvStringGridSong;
    for (int row = 1; row < artists->RowCount(); ++row) {
        for (int r = 0; r < artists->RowCount(); ++r)
            artists->SetRowMarked(r, r == row);
        formMain.DisPlayCurrentArtistSongs();
        bool lost = false;
        for (int song = 1; song < songs->RowCount() && !lost; ++song) {
            korvello::TSong found;
            formMain.iPod.FindSongById(std::stoi("0" + songs->Cells(korvello::kSongIdColumn, song)),
                                       found);
            const std::string location = korvello::ToUtf8(found.Location);
            lost = !location.empty() && !platform.FindFile(location);
        }
        if (!lost)
            continue;
        for (int song = 1; song < songs->RowCount(); ++song)
            songs->SetRowMarked(song, true);
        return true;
    }
    return false;
}

// Copies the marked songs as the Copy button does and waits for the report to close.
bool CopyMarkedSongs(korvello::TFormMain& formMain) {
    formMain.CopyoutSongClick();
    QElapsedTimer timer;
    timer.start();
    while (formMain.CopyRunning && timer.elapsed() < 60000)
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    return !formMain.CopyRunning;
}

// The options window with the "Name copies" list open: the list is a window of its own, so
// it is drawn onto the options window's picture where it lies on screen.
bool SaveNamingList(korvello::TApplicationWindows& windows, const char* path) {
    korvello::TFormOption& options = windows.FormOption;
    options.SetInitialCopyNaming(korvello::PresetNaming(3));
    options.show();
    Settle(100);
    options.NameCopies->showPopup();
    Settle(200);
    QWidget* popup = options.NameCopies->view()->window();
    const bool ok = SaveWithPopups(options, {popup}, path);
    options.NameCopies->hidePopup();
    options.hide();
    options.SetInitialCopyNaming(korvello::kDefaultCopyNaming);
    return ok;
}

// The song table showing one of the iPod's playlists ("Night Drive" where there is one),
// with the artist list's popup menu and its playlists open over the window as a click
// leaves them just before the choice.
bool SavePlaylistShown(korvello::TFormMain& formMain, const char* path) {
    const std::vector<korvello::TPlaylist>& playlists = formMain.iPod.Playlists();
    std::size_t chosen = playlists.size();
    for (std::size_t i = 0; i < playlists.size(); ++i) {
        if (!playlists[i].Songs.empty() &&
            (chosen == playlists.size() || korvello::ToUtf8(playlists[i].Name) == "Night Drive"))
            chosen = i;
    }
    if (chosen == playlists.size()) {
        std::fprintf(stderr, "korvello-screenshot: the iPod has no playlist to show\n");
        return false;
    }
    formMain.DisPlayPlaylistSongs(chosen);
    QMenu* menu = formMain.SunPopupMenuArtist;
    menu->popup(formMain.ArtistList->viewport()->mapToGlobal(QPoint(40, 30)));
    Settle(200);
    QMenu* list = menu->findChild<QMenu*>(QString(), Qt::FindDirectChildrenOnly);
    if (list == nullptr || list->actions().size() != static_cast<int>(playlists.size())) {
        std::fprintf(stderr, "korvello-screenshot: the list menu offers no playlists\n");
        menu->hide();
        return false;
    }
    menu->setActiveAction(list->menuAction());
    list->popup(menu->mapToGlobal(menu->actionGeometry(list->menuAction()).topRight()));
    list->setActiveAction(list->actions().at(static_cast<int>(chosen)));
    Settle(200);
    const bool ok = SaveWithPopups(formMain, {menu, list}, path);
    list->hide();
    menu->hide();
    return ok;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 5 || argc > 8) {
        std::fprintf(stderr, "usage: korvello-screenshot MAIN.png OPTIONS.png REPORT.png "
                             "COPY_FOLDER [NAMING.png [PLAYLIST.png [REPORT_MENU.png]]]\n");
        return 2;
    }
    QApplication app(argc, argv);
    std::setlocale(LC_ALL, "");
    QApplication::setApplicationDisplayName(QString::fromLatin1(korvello::kApplicationTitle));

    korvello::PosixPlatform platform;
    korvello::TLogClass::SetPlatform(&platform);
    ShotDialogs dialogs(argv[4], argv[3], argc > 7 ? argv[7] : "");
    korvello::TApplicationWindows windows(platform, dialogs);
    windows.FormMain.show();
    Settle(300);

    const std::vector<std::string> marked = ShowOneArtistMarked(windows.FormMain);
    bool ok = SaveCopyUnderWay(windows.FormMain, marked, argv[1]);
    ok = SaveOptions(windows, argv[2]) && ok;
    if (argc > 5)
        ok = SaveNamingList(windows, argv[5]) && ok;
    if (!MarkArtistWithALostSong(windows.FormMain, platform) ||
        !CopyMarkedSongs(windows.FormMain) || !dialogs.ReportSaved()) {
        std::fprintf(stderr, "korvello-screenshot: no report of a copy to take\n");
        ok = false;
    }
    if (argc > 6)
        ok = SavePlaylistShown(windows.FormMain, argv[6]) && ok;

    korvello::TLogClass::SetPlatform(nullptr);
    return ok ? 0 : 1;
}
