// SPDX-License-Identifier: GPL-3.0-or-later
// Songs read from an iPod's own files: where it has no readable database, or for the files
// its database does not name. The reading runs on the window's thread between event
// rounds, so the status line shows how far it is and Stop can end it.
#include "core/ErrorLog.h"
#include "core/FrmMain.h"
#include "musicdb/MusicFolderScan.h"
#include "tags/Tagger.h"

#include <QCoreApplication>
#include <QLocale>
#include <QPushButton>

#include <chrono>

namespace korvello {

void TFormMain::LoadSongsOfFiles() {
    LastScanTagsRead = 0;
    LastScanStopped = false;
    Guard("LoadSongsOfFiles:", [&] {
        ScanRunning = true;
        ScanStopRequested = false;
        const QString caption = ButtonCopy->text();
        ButtonCopy->setText(QStringLiteral("Stop"));
        struct Restore {
            TFormMain& form;
            QString caption;
            ~Restore() {
                form.ScanRunning = false;
                form.ButtonCopy->setText(caption);
                form.ProgressBarItunes->setValue(0);
            }
        } restore{*this, caption};

        TScanOptions options;
        options.stop = &ScanStopRequested;
        options.cacheFile = SongTagsCacheFile(platform_);
        using Clock = std::chrono::steady_clock;
        auto next = Clock::now();
        options.progress = [&](std::int64_t done, std::int64_t total) {
            // A tenth of a second between updates: painting costs more than a cached song.
            if (Clock::now() < next && done < total)
                return;
            next = Clock::now() + std::chrono::milliseconds(100);
            const QLocale locale;
            ShowStatus("Reading song files: " + locale.toString(done).toStdString() + " of " +
                       locale.toString(total).toStdString());
            ProgressBarItunes->setValue(total > 0 ? static_cast<int>(done * 100 / total) : 0);
            QCoreApplication::processEvents();
        };
        const std::unique_ptr<ITagger> tagger = MakeTagLibTagger(platform_);
        const TScanResult result =
            AddSongsOfFiles(iPod, platform_, *tagger, ListUnlistedFiles, options);
        LastScanTagsRead = result.tagsRead;
        LastScanStopped = result.stopped;
    });
}

} // namespace korvello
