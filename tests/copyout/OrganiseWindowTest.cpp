// SPDX-License-Identifier: GPL-3.0-or-later
// Organised copies through the window: the folder dialog's proposed name follows the
// naming, a second job finds the songs already copied, and the report shows the counts
// of the job and saves its playlist.
#include "browser/ITunesStringGrid.h"
#include "copyout/FrmReport.h"
#include "core/FrmMain.h"
#include "support/AppFixture.h"
#include "support/PumpUntil.h"

#include <QAction>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QMenu>
#include <QPushButton>

#include <gtest/gtest.h>

#include <array>
#include <functional>

namespace korvello::test {
namespace {

class OrganiseWindowTest : public ::testing::Test {
protected:
    AppFixture fx;
    std::unique_ptr<TFormMain> form;
    std::unique_ptr<TFormReport> report;
    std::string out;
    std::function<void(TFormReport&)> whileReported;
    int reports = 0;

    void SetUp() override {
        std::vector<DemoSong> songs;
        const std::vector<std::array<const char*, 3>> tags = {{"Jóga", "Björk", "Homogenic"},
                                                              {"Intro", "The xx", "xx"},
                                                              {"Intro", "The xx", "xx"},
                                                              {"Loose", "", ""}};
        for (std::size_t i = 0; i < tags.size(); ++i) {
            DemoSong s;
            s.id = 10 + static_cast<int>(i);
            s.title = tags[i][0];
            s.artist = tags[i][1];
            s.album = tags[i][2];
            s.file = "F00/S" + std::to_string(i) + ".mp3";
            s.bytes = 3000 + i;
            songs.push_back(s);
        }
        fx.MapDrive("e:", fx.MakeiPod("IPOD", songs));
        out = fx.root + "/My Music";
        MakeDirs(out);
        form = std::make_unique<TFormMain>(*fx.platform, fx.dialogs);
        report = std::make_unique<TFormReport>(*fx.platform, form.get());
        form->SetForms(nullptr, report.get());
        form->show();
        fx.dialogs.onModal = [this](QWidget* w) {
            auto* r = qobject_cast<TFormReport*>(w);
            ASSERT_NE(r, nullptr);
            r->show();
            ++reports;
            if (whileReported)
                whileReported(*r);
            r->hide();
        };
    }

    // Marks every song, confirms the folder and waits for the report to close.
    void CopyAll() {
        for (int row = 1; row < form->AdvStringGridSong->RowCount(); ++row)
            form->AdvStringGridSong->SetRowMarked(row, true);
        const int before = reports;
        fx.dialogs.saves.push_back(out + "/anything.mp3");
        form->ButtonCopyClick();
        ASSERT_TRUE(PumpUntil([&] { return reports > before && !form->CopyRunning; }))
            << "the job did not end";
    }
    static QAction* SavePlaylist(TFormReport& r) {
        const QList<QAction*> actions = r.SunPopupreport->actions();
        return actions.size() == 2 ? actions[1] : nullptr;
    }
};

TEST_F(OrganiseWindowTest, SortedCopiesThenAllFoundAgainWithCountsAndPlaylist) {
    form->SetCopyNaming(PresetNaming(2));
    form->SetSkipCopiedFiles(true);
    std::string summary;
    whileReported = [&](TFormReport& r) {
        summary = r.SummaryLabel->text().toStdString();
        ASSERT_NE(SavePlaylist(r), nullptr);
        EXPECT_EQ(r.SunPopupreport->actions()[0]->text(), "Open directory");
        EXPECT_EQ(SavePlaylist(r)->text(), "Save playlist...");
        fx.dialogs.saves.push_back(out + "/Korvello.m3u8");
        SavePlaylist(r)->trigger();
    };
    CopyAll();
    // Which row comes first depends on the table's order; the dialog proposes that song's
    // file name as the naming gives it: the title alone for artist and album folders.
    const auto& proposal = fx.dialogs.calls[fx.dialogs.calls.size() - 3];
    ASSERT_EQ(proposal.kind, "save");
    EXPECT_TRUE(proposal.text == "Jóga.mp3" || proposal.text == "Intro.mp3" ||
                proposal.text == "Loose.mp3")
        << proposal.text;
    const auto& playlistSave = fx.dialogs.calls[fx.dialogs.calls.size() - 1];
    EXPECT_EQ(playlistSave.kind, "save");
    EXPECT_EQ(playlistSave.text, out + "/Korvello.m3u8");
    EXPECT_EQ(playlistSave.extra, ".m3u8");
    EXPECT_EQ(summary.substr(0, 9), "4 copied,") << summary;
    EXPECT_TRUE(Exists(out + "/Björk/Homogenic/Jóga.mp3"));
    EXPECT_TRUE(Exists(out + "/The xx/xx/Intro.mp3"));
    EXPECT_TRUE(Exists(out + "/The xx/xx/Intro(1).mp3"));
    EXPECT_TRUE(Exists(out + "/Unknown Artist/Unknown Album/Loose.mp3"));
    const std::string playlist = ReadFile(out + "/Korvello.m3u8");
    EXPECT_EQ(playlist.rfind("#EXTM3U\n", 0), 0u) << playlist;
    EXPECT_NE(playlist.find("#EXTINF:-1,Björk - Jóga\nBjörk/Homogenic/Jóga.mp3\n"),
              std::string::npos)
        << playlist;
    EXPECT_NE(playlist.find("#EXTINF:-1,Loose\nUnknown Artist/Unknown Album/Loose.mp3\n"),
              std::string::npos)
        << playlist;

    // The second job copies nothing. Saving its playlist over an earlier one asks first:
    // No keeps the file, Yes replaces it with the same songs, found where they were.
    const std::string mine = "#EXTM3U\nmine.mp3\n";
    WriteFile(out + "/Korvello.m3u8", mine);
    std::vector<std::string> outcomes;
    whileReported = [&](TFormReport& r) {
        summary = r.SummaryLabel->text().toStdString();
        outcomes = *r.TargetList;
        fx.dialogs.saves.push_back(out + "/Korvello.m3u8");
        fx.dialogs.answers.push_back(IDialogs::Answer::No);
        SavePlaylist(r)->trigger();
        EXPECT_EQ(ReadFile(out + "/Korvello.m3u8"), mine);
        fx.dialogs.saves.push_back(out + "/Korvello.m3u8");
        fx.dialogs.answers.push_back(IDialogs::Answer::Yes);
        SavePlaylist(r)->trigger();
        // A song is no playlist: even with Yes it stays, and the refusal is shown.
        fx.dialogs.saves.push_back(out + "/Unknown Artist/Unknown Album/Loose.mp3");
        fx.dialogs.answers.push_back(IDialogs::Answer::Yes);
        SavePlaylist(r)->trigger();
    };
    const std::string loose = ReadFile(out + "/Unknown Artist/Unknown Album/Loose.mp3");
    CopyAll();
    EXPECT_EQ(outcomes, std::vector<std::string>(4, " Already copied."));
    EXPECT_EQ(summary.rfind("0 copied, 4 already copied", 0), 0u) << summary;
    EXPECT_EQ(ReadFile(out + "/Korvello.m3u8"), playlist);
    EXPECT_EQ(fx.dialogs.Count("ask"), 3);
    ASSERT_EQ(fx.dialogs.Count("error"), 1);
    EXPECT_NE(fx.dialogs.calls.back().text.find("not a playlist"), std::string::npos)
        << fx.dialogs.calls.back().text;
    EXPECT_EQ(ReadFile(out + "/Unknown Artist/Unknown Album/Loose.mp3"), loose);
}

TEST_F(OrganiseWindowTest, TheSummaryFitsUnderTheLinkWithoutTouchingTheButtons) {
    const std::vector<std::string> titles(6, "x");
    const std::vector<std::string> targets = {"c:\\a.mp3",
                                              " Already copied.",
                                              " This song not found in your iPod.",
                                              " Diskspace is not enough, please recopy the file.",
                                              " Copy failed: Input/output error.",
                                              " Copy Terminated."};
    report->TitleList = &titles;
    report->TargetList = &targets;
    report->show();
    const QLabel* label = report->SummaryLabel;
    EXPECT_EQ(label->toolTip().toStdString(),
              "1 copied, 1 already copied, 1 not found, 1 not enough space, 1 failed, 1 stopped");
    EXPECT_LE(label->fontMetrics().horizontalAdvance(label->text()), label->width());
    EXPECT_GE(label->geometry().top(), report->Label1->geometry().bottom() - 2);
    EXPECT_LE(label->geometry().bottom(), report->OpenDir->mapTo(report.get(), QPoint(0, 0)).y());
    EXPECT_TRUE(report->rect().contains(label->geometry()));
}

} // namespace
} // namespace korvello::test
