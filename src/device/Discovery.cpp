// SPDX-License-Identifier: GPL-3.0-or-later
// iPod discovery: finding iPod volumes among the drive letters, the iPod selector, the
// device arrival and the once-per-run copy of the iPod's database.
#include "browser/ITunesStringGrid.h"
#include "core/ErrorLog.h"
#include "core/FrmMain.h"
#include "musicdb/IpodLayout.h"
#include "musicdb/MusicFolderScan.h"
#include "platform/Platform.h"
#include "platform/Text.h"

#include <QComboBox>
#include <QLocale>

namespace korvello {

namespace {
constexpr const char* kPlaceholder = "Please connect your iPod";
constexpr const char* kNoReadableDatabase = "No readable music database on this iPod";
} // namespace

bool TFormMain::GetiPodDriver() {
    bool found = false;
    Guard("GetiPodDriver:", [&] {
        iPodSelectorCom->clear();
        for (const std::string& root : FindIpodRoots(platform_)) {
            const char letter = root[0];
            std::u16string label;
            GetVolumInformation(letter, label);
            const QString entry = QString::fromStdString(ToUtf8(label) + root);
            if (iPodSelectorCom->findText(entry, Qt::MatchExactly | Qt::MatchCaseSensitive) >= 0)
                continue;
            if (CurrentDrive.empty())
                CurrentDrive = ToUtf16(root);
            iPodSelectorCom->addItem(entry);
            iPodSelectorCom->setCurrentIndex(0);
            iPodFound = true;
            found = true;
        }
    });
    if (iPodSelectorCom->count() == 0) {
        iPodSelectorCom->addItem(QString::fromLatin1(kPlaceholder));
        iPodSelectorCom->setCurrentIndex(0);
        ShowStatus(kPlaceholder);
    } else {
        ShowStatus(std::to_string(iPodSelectorCom->count()) + " iPod detected.");
    }
    return found;
}

void TFormMain::GetVolumInformation(char letter, std::u16string& label) {
    Guard("GetVolumInformation:", [&] {
        const unsigned oldMode = platform_.SetErrorMode(SEM_FAILCRITICALERRORS);
        std::string name;
        if (!platform_.GetVolumeInformation(std::string(1, letter) + ":\\", name))
            name.clear();
        name = letter >= 'a' ? platform_.LowerCase(name) : platform_.UpperCase(name);
        label = ToUtf16(" [" + name + "]  ");
        platform_.SetErrorMode(oldMode);
    });
}

void TFormMain::iPodSelectorComCloseUp() {
    if (!iPodFound)
        return;
    const std::string text = iPodSelectorCom->currentText().toStdString();
    const std::size_t bracket = text.find(']');
    if (bracket == std::string::npos)
        return; // the placeholder names no drive
    const std::size_t start = bracket + 3;
    if (start + 2 > text.size())
        return;
    const std::string drive = text.substr(start, 2);
    // Only a letter and a colon name a drive; anything else (a label holding "]") would
    // load a database from a nonsense path.
    const char letter = drive[0];
    if (!((letter >= 'a' && letter <= 'z') || (letter >= 'A' && letter <= 'Z')) || drive[1] != ':')
        return;
    if (ScanRunning)
        return; // the songs of the iPod being read come first
    CurrentDrive = ToUtf16(drive);
    // The song table's rows not yet read hold numbers of the songs about to go.
    AdvStringGridSong->WriteWaitingRows();
    iPod.SetDrivePath(drive);
    iPod.LoadDatabase();
    LoadSongsOfFiles();
    DisPlaySongs(SongListMode::AllSongs, nullptr);
    DisPlayOther();
    ShowDatabaseProblem();
}

void TFormMain::WMDeviceChange(unsigned wParam) {
    if (wParam != DBT_DEVICEARRIVAL || ScanRunning)
        return;
    ShowStatus("Detecting New iPod...");
    GetiPodDriver();
    LoadCurrentDrive();
    DisPlaySongs(SongListMode::AllSongs, nullptr);
    DisPlayOther();
    ShowDatabaseProblem();
}

void TFormMain::BackupDatabase() {
    if (BackupDone)
        return;
    BackupDone = true; // before copying, so a failed copy is not retried in this run
    // The file the songs were read from: on later iPods that is the iTunesCDB.
    const std::string& read = iPod.DatabaseStatus().path;
    std::string from = read.empty() ? DatabasePath(iPod.DrivePath()) : read;
    std::string to = AppFolder + "\\Idb.ant";
    // A database of a few hundred megabytes takes a good part of a second to copy and
    // flush: the copy runs on a thread of its own, so the window answers meanwhile. The
    // platform writes it under a temporary name and renames it when it is whole, so a copy
    // cut short by the program's end never leaves a partial backup under its name.
    backupCopy_ = std::jthread([this, from = std::move(from), to = std::move(to)] {
        Guard("FormShow:", [&] { platform_.CopyFile(from, to); });
        backupFinished_ = true;
    });
}

void TFormMain::WaitForBackup() {
    if (backupCopy_.joinable())
        backupCopy_.join();
}

void TFormMain::ShowDatabaseProblem() {
    const TDatabaseStatus& status = iPod.DatabaseStatus();
    if (status.Damaged()) {
        // The songs that could be read are shown; the status line says the rest are lost.
        // The status line holds some 47 characters: the full sentence goes to the log.
        TLogClass::WriteLog("LoadDatabase:" + status.path + ": " + DamagedDatabaseText(status));
        ShowStatus("Damaged database: " + std::to_string(status.readSongs) + " of " +
                   std::to_string(status.declaredSongs) + " songs read.");
        return;
    }
    if (status.Readable())
        return;
    if (iPod.SongsFromFiles() > 0) {
        const std::string count = QLocale().toString(iPod.SongsFromFiles()).toStdString();
        TLogClass::WriteLog("LoadDatabase:" + ITunesFolder(iPod.DrivePath()) + ": " +
                            ScannedSongsText(count) + " (" + status.problem + ")");
        ShowStatus((LastScanStopped ? "Stopped: " : "No database: ") + count +
                   " songs read from files.");
        return;
    }
    // A volume that is no longer an iPod (unplugged, another device on its letter) keeps
    // the earlier songs without a word, as a missing database always has.
    if (!HoldsITunesFolder(platform_, iPod.DrivePath()))
        return;
    const std::string folder = ITunesFolder(iPod.DrivePath());
    TLogClass::WriteLog("LoadDatabase:No readable music database in " + folder + " (" +
                        status.problem + ")");
    ShowStatus(kNoReadableDatabase);
}

} // namespace korvello
