// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's side of copying: the Copy and Stop commands, the close question
// during a copy, and the handling of the worker's end.
#include "browser/ITunesStringGrid.h"
#include "browser/SongColumns.h"
#include "copyout/CopyJob.h"
#include "copyout/CopyThread.h"
#include "copyout/FrmReport.h"
#include "copyout/Naming.h"
#include "copyout/WorkerMessageBridge.h"
#include "core/ErrorLog.h"
#include "core/FrmMain.h"
#include "platform/Platform.h"
#include "platform/Text.h"
#include "ui/Dialogs.h"

#include <QComboBox>
#include <QProgressBar>
#include <QPushButton>

#include <algorithm>
#include <filesystem>

namespace korvello {

namespace {

std::int32_t SongIdOfRow(const std::string& text) {
    std::int32_t id = 0;
    if (!TryStrToInt(text, id, /*allowHex=*/false))
        throw EKorvelloError("'" + text + "' is not a valid integer value");
    return id;
}

// The folder of the dialog's confirmed Linux path in program form (see DestinationFolder);
// empty when it cannot be used. Only the folder counts; the file name typed in the dialog
// is not used.
std::string ChosenFolder(IPlatform& platform, const std::string& confirmed) {
    const std::size_t slash = confirmed.rfind('/');
    if (slash == std::string::npos)
        return {};
    return DestinationFolder(platform, slash == 0 ? std::string("/") : confirmed.substr(0, slash));
}

} // namespace

std::vector<TSong> MarkedSongs(const TITunesStringGrid& grid, const TiPod& ipod, int marked) {
    std::vector<TSong> songs;
    songs.reserve(static_cast<std::size_t>(std::max(marked, 0)));
    for (int row = 1; row < grid.RowCount() && static_cast<int>(songs.size()) < marked; ++row) {
        if (!grid.RowMarked(row))
            continue;
        TSong& song = songs.emplace_back();
        ipod.FindSongById(SongIdOfRow(grid.Cells(kSongIdColumn, row)), song);
    }
    return songs;
}

TCopyJob BuildCopyJob(const TITunesStringGrid& grid, const TiPod& ipod, const std::string& folder,
                      int marked, const TCopyNaming& naming) {
    return BuildCopyJob(MarkedSongs(grid, ipod, marked), folder, naming);
}

void TFormMain::CopyoutSongClick() {
    ProgressBarItunes->setValue(0);
    // A stopped job is not over until its worker's end has been handled: the job lists
    // and the worker are still in use until then.
    if (iPod.DrivePath().empty() || CopyRunning || copyFinishPending_)
        return;
    Guard("CopyoutClick:", [&] {
        const int marked = AdvStringGridSong->MarkedRowCount();
        if (marked == 0)
            return;
        const std::string folder = AskCopyFolder();
        if (folder.empty())
            return;
        StartCopyJob(folder, marked);
    });
}

// The folder to copy into, asked with the first marked song's name as the proposal;
// empty when the user cancels or the folder cannot be used (then said in an error box).
std::string TFormMain::AskCopyFolder() {
    TITunesStringGrid* grid = AdvStringGridSong;
    int first = -1;
    for (int row = 1; row < grid->RowCount(); ++row) {
        if (grid->RowMarked(row)) {
            first = row;
            break;
        }
    }
    if (first < 0)
        return {};
    TSong firstSong;
    iPod.FindSongById(SongIdOfRow(grid->Cells(kSongIdColumn, first)), firstSong);
    const std::string firstLocation = ToUtf8(firstSong.Location);
    const std::optional<std::string> chosen =
        dialogs_.SaveFile(this, "Select Directory...", ProposedNamedFileName(CopyNaming, firstSong),
                          SongFileExt(firstLocation));
    if (!chosen)
        return {};
    const std::string folder = ChosenFolder(platform_, *chosen);
    if (folder.empty()) {
        dialogs_.ShowError(this, kApplicationTitle,
                           "Cannot copy to " + *chosen +
                               ": a folder whose name holds \"\\\" cannot be used. "
                               "Please choose another folder.");
        return {};
    }
    return folder;
}

// The job of the marked rows becomes the window's job lists, and a worker starts on them.
void TFormMain::StartCopyJob(const std::string& folder, int marked) {
    TCopyJob job = BuildCopyJob(*AdvStringGridSong, iPod, folder, marked, CopyNaming);
    SourceList = std::move(job.sources);
    TargetList = std::move(job.targets);
    TitleList = std::move(job.titles);
    JobArtists = std::move(job.artists);
    JobSongs = std::move(job.songs);
    JobFound.assign(SourceList.size(), std::string());
    JobFolder = folder;

    CopyRunning = true;
    ButtonCopy->setText(QStringLiteral("Stop"));
    CopyThread = std::make_unique<TCopyThread>(platform_, *bridge_, OverwriteExisting);
    CopyThread->SourceList = &SourceList;
    CopyThread->TargetList = &TargetList;
    CopyThread->ChosenFolder = folder;
    CopyThread->SkipCopiedFiles = &SkipCopiedFiles;
    CopyThread->FoundList = &JobFound;
    CopyThread->SongList = &JobSongs;
    CopyThread->WriteTags = &WriteTagsToCopies;
    copyFinishPending_ = true;
    CopyThread->Start();
}

void TFormMain::ButtonCopyClick() {
    if (ScanRunning) {
        ScanStopRequested = true; // the songs read so far are shown
        return;
    }
    const QString caption = ButtonCopy->text();
    if (caption == QStringLiteral("Copy"))
        CopyoutSongClick();
    else if (caption == QStringLiteral("Stop"))
        StopCopyOutClick();
}

void TFormMain::StopCopyOutClick() {
    if (!CopyRunning || !CopyThread)
        return;
    PauseCopy();
    if (dialogs_.AskYesNo(this, "Stop copy file?") == IDialogs::Answer::Yes) {
        CopyThread->StopRequested = true;
        // What the worker had queued while the question was open belongs to the job that
        // was just stopped; the bar and status stay as the stop leaves them.
        bridge_->DropProgress();
        ShowStatus(std::to_string(iPod.SongCount()) + " Files found in your iPod.");
        CopyRunning = false;
        ProgressBarItunes->setValue(0);
        ButtonCopy->setText(QStringLiteral("Copy"));
    }
    ResumeCopy();
}

void TFormMain::XP_ButtonSmall3Click() {
    if (!CopyRunning || !CopyThread) {
        close();
        return;
    }
    PauseCopy();
    if (dialogs_.AskYesNo(this, "Ignore copying file and quit?") == IDialogs::Answer::Yes) {
        // The job is abandoned where it stood: the worker writes nothing more.
        CopyThread->Abandon();
        closeConfirmed_ = true;
        close();
        return;
    }
    ResumeCopy();
}

void TFormMain::CMProgressFinish(std::intptr_t wParam) {
    Guard("CMProgressFinish:", [&] {
        copyFinishPending_ = false;
        if (wParam == 1) {
            ShowStatus(" Copy Finished ");
        } else if (wParam == 2) {
            ShowStatus(" Copy Terminated ");
            const std::string current = CopyThread ? CopyThread->CurrentTarget() : std::string();
            if (!current.empty() && platform_.FindFile(current))
                platform_.DeleteFile(current);
        }
        if (formReport_ != nullptr) {
            formReport_->TitleList = &TitleList;
            formReport_->TargetList = &TargetList;
            formReport_->ArtistList = &JobArtists;
            formReport_->FoundList = &JobFound;
            formReport_->JobFolder = JobFolder;
            formReport_->LeftoversRemoved = CopyThread ? CopyThread->LeftoversRemoved() : 0;
            formReport_->Dialogs = &dialogs_;
            dialogs_.ShowModal(formReport_);
            formReport_->TitleList = nullptr;
            formReport_->TargetList = nullptr;
            formReport_->ArtistList = nullptr;
            formReport_->FoundList = nullptr;
        }
        ProgressBarItunes->setValue(0);
        CopyRunning = false;
        ButtonCopy->setText(QStringLiteral("Copy"));
        SourceList.clear();
        TargetList.clear();
        TitleList.clear();
        JobArtists.clear();
        JobSongs.clear();
        JobFound.clear();
        ShowStatus(std::to_string(iPodSelectorCom->count()) + " iPod detected.");
    });
}

// The worker's gate also holds back a message it had already posted, so nothing of the
// job is handled while the question is open.
void TFormMain::PauseCopy() {
    if (CopyThread)
        CopyThread->Suspend();
}

void TFormMain::ResumeCopy() {
    if (CopyThread)
        CopyThread->Resume();
}

} // namespace korvello
