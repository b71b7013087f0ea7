// SPDX-License-Identifier: GPL-3.0-or-later
// The window's side of copying, with scripted answers: the job built from the marked rows,
// the Stop and close questions, the report, and the window back at rest afterwards.
#include "browser/ITunesStringGrid.h"
#include "copyout/CopyThread.h"
#include "copyout/FrmReport.h"
#include "core/FrmMain.h"
#include "platform/Text.h"
#include "support/AppFixture.h"
#include "support/PumpUntil.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTableView>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

namespace korvello::test {
namespace {

using ::testing::ElementsAre;

struct ReportSeen {
    std::vector<std::string> titles, targets;
    std::string status;
    int shown = 0;
};

class CopyCommandTest : public ::testing::Test {
protected:
    AppFixture fx;
    std::unique_ptr<TFormMain> form;
    std::unique_ptr<TFormReport> report;
    ReportSeen seen;
    std::string out;

    void Start(int songs, std::size_t bytes) {
        std::vector<DemoSong> list;
        for (int i = 1; i <= songs; ++i) {
            DemoSong s;
            s.id = 1000 + i;
            s.title = "Song " + std::to_string(i);
            s.artist = "Artist";
            s.file = "F0" + std::to_string(i % 3) + "/S" + std::to_string(i) + ".mp3";
            s.bytes = bytes + static_cast<std::size_t>(i);
            list.push_back(s);
        }
        fx.MapDrive("e:", fx.MakeiPod("IPOD", list));
        out = fx.root + "/out";
        MakeDirs(out);
        form = std::make_unique<TFormMain>(*fx.platform, fx.dialogs);
        report = std::make_unique<TFormReport>(*fx.platform, form.get());
        form->SetForms(nullptr, report.get());
        form->show();
        fx.dialogs.onModal = [this](QWidget* w) {
            auto* r = qobject_cast<TFormReport*>(w);
            ASSERT_NE(r, nullptr);
            seen.titles = *r->TitleList;
            seen.targets = *r->TargetList;
            seen.status = form->StatusText();
            ++seen.shown;
        };
    }
    void Mark(std::initializer_list<int> rows) {
        for (int r : rows)
            form->AdvStringGridSong->SetRowMarked(r, true);
    }
    std::string Ipod(int i) const {
        return ReadFile(fx.tmp / ("IPOD/iPod_Control/Music/F0" + std::to_string(i % 3) + "/S" +
                                  std::to_string(i) + ".mp3"));
    }
};

TEST_F(CopyCommandTest, MarkedRowsEnterTheJobInRowOrderAndTheWindowReturnsToRest) {
    Start(10, 3000);
    // Rows marked in the order 7, 2, 9.
    Mark({7, 2, 9});
    fx.dialogs.saves.push_back(out + "/whatever.mp3");
    form->ButtonCopyClick();

    ASSERT_EQ(fx.dialogs.Count("save"), 1);
    const auto& save = fx.dialogs.calls.back();
    EXPECT_EQ(save.title, "Select Directory...");
    EXPECT_EQ(save.text, "Song 2.mp3") << "the first marked row's cleaned title";
    EXPECT_EQ(save.extra, ".mp3");
    EXPECT_TRUE(form->CopyRunning);
    EXPECT_EQ(form->ButtonCopy->text(), "Stop");

    ASSERT_TRUE(PumpUntil([&] { return seen.shown == 1 && !form->CopyRunning; }));
    EXPECT_THAT(seen.titles, ElementsAre("Song 2", "Song 7", "Song 9"));
    ASSERT_EQ(seen.targets.size(), 3u);
    EXPECT_EQ(fx.platform->DisplayPath(seen.targets[0]), out + "/Song 2.mp3");
    EXPECT_EQ(seen.status, " Copy Finished ");
    EXPECT_EQ(ReadFile(out + "/Song 7.mp3"), Ipod(7));
    EXPECT_EQ(ReadFile(out + "/Song 9.mp3"), Ipod(9));

    EXPECT_EQ(form->ButtonCopy->text(), "Copy");
    EXPECT_TRUE(form->SourceList.empty());
    EXPECT_TRUE(form->TargetList.empty());
    EXPECT_TRUE(form->TitleList.empty());
    EXPECT_EQ(form->StatusText(), "1 iPod detected.");
}

TEST_F(CopyCommandTest, NothingMarkedNoIPodOrACancelledDialogStartNothing) {
    Start(3, 100);
    form->ProgressBarItunes->setValue(40);
    form->CopyoutSongClick();
    EXPECT_EQ(form->ProgressBarItunes->value(), 0);
    EXPECT_EQ(fx.dialogs.Count("save"), 0);

    Mark({1});
    form->CopyoutSongClick(); // the dialog is cancelled
    EXPECT_EQ(fx.dialogs.Count("save"), 1);
    EXPECT_FALSE(form->CopyRunning);
    EXPECT_TRUE(form->SourceList.empty());
    EXPECT_EQ(form->ButtonCopy->text(), "Copy");

    form->iPod.SetDrivePath("");
    form->CopyoutSongClick();
    EXPECT_EQ(fx.dialogs.Count("save"), 1);
}

TEST_F(CopyCommandTest, AFolderHoldingABackslashIsRefusedAndATypedNameDoesNotMoveTheCopy) {
    Start(2, 100);
    // "a\b" is one folder on Linux, but two names in the program's own path form: the
    // copy would go to out/a/b, which here exists too.
    const std::string odd = out + "/a\\b";
    MakeDirs(odd);
    MakeDirs(out + "/a/b");
    Mark({1, 2});
    fx.dialogs.saves.push_back(odd + "/Song 1.mp3");
    form->ButtonCopyClick();

    ASSERT_EQ(fx.dialogs.Count("error"), 1);
    EXPECT_EQ(fx.dialogs.calls.back().title, "Korvello A");
    EXPECT_NE(fx.dialogs.calls.back().text.find(odd), std::string::npos);
    EXPECT_FALSE(form->CopyRunning);
    EXPECT_TRUE(form->SourceList.empty());
    EXPECT_EQ(form->ButtonCopy->text(), "Copy");
    EXPECT_TRUE(std::filesystem::is_empty(out + "/a/b"));
    EXPECT_TRUE(std::filesystem::is_empty(odd));

    // A name typed with "\" in a plain folder: only the folder counts, and it is used
    // exactly.
    fx.dialogs.saves.push_back(out + "/x\\Song 1.mp3");
    form->ButtonCopyClick();
    ASSERT_TRUE(PumpUntil([&] { return seen.shown == 1 && !form->CopyRunning; }));
    EXPECT_EQ(ReadFile(out + "/Song 1.mp3"), Ipod(1));
    EXPECT_EQ(ReadFile(out + "/Song 2.mp3"), Ipod(2));
    EXPECT_EQ(fx.dialogs.Count("error"), 1);
}

TEST_F(CopyCommandTest, StopAnsweredNoGoesOnAndYesTerminatesTheRest) {
    Start(4, 300000);
    Mark({1, 2, 3, 4});
    fx.dialogs.saves.push_back(out + "/x.mp3");
    form->CopyoutSongClick();
    // The worker waits in its first message until the window handles it, so the job is
    // still at its first song when Stop is chosen.
    fx.dialogs.answers.push_back(IDialogs::Answer::No);
    form->StopCopyOutClick();
    EXPECT_EQ(fx.dialogs.calls.back().text, "Stop copy file?");
    EXPECT_TRUE(form->CopyRunning);
    ASSERT_TRUE(PumpUntil([&] { return seen.shown == 1; }));
    EXPECT_EQ(seen.status, " Copy Finished ");
    for (const std::string& t : seen.targets)
        EXPECT_NE(t, " Copy Terminated.");
    ASSERT_TRUE(PumpUntil([&] { return !form->CopyRunning; }));

    // A second job, stopped for real.
    Mark({1, 2, 3, 4});
    const std::string out2 = fx.root + "/out2";
    MakeDirs(out2);
    fx.dialogs.saves.push_back(out2 + "/x.mp3");
    form->CopyoutSongClick();
    ASSERT_TRUE(form->CopyRunning);
    fx.dialogs.answers.push_back(IDialogs::Answer::Yes);
    form->StopCopyOutClick();
    EXPECT_EQ(form->StatusText(), "4 Files found in your iPod.");
    EXPECT_FALSE(form->CopyRunning);
    EXPECT_EQ(form->ButtonCopy->text(), "Copy");
    // The worker's first status text was waiting while the question was open; it belongs
    // to the stopped job and is dropped, so the status and the bar stay as the stop left
    // them until the end of the job is shown.
    std::vector<std::string> statuses;
    int barMoved = 0;
    const auto watch = [&] {
        if (seen.shown < 2 && (statuses.empty() || statuses.back() != form->StatusText()))
            statuses.push_back(form->StatusText());
        barMoved += seen.shown < 2 && form->ProgressBarItunes->value() != 0 ? 1 : 0;
        return seen.shown == 2;
    };
    watch();
    // A new job cannot start before the stopped one has ended.
    Mark({1});
    form->CopyoutSongClick();
    EXPECT_EQ(fx.dialogs.Count("save"), 2);

    ASSERT_TRUE(PumpUntil(watch));
    EXPECT_THAT(statuses, ElementsAre("4 Files found in your iPod."));
    EXPECT_EQ(barMoved, 0);
    EXPECT_EQ(seen.status, " Copy Terminated ");
    ASSERT_EQ(seen.targets.size(), 4u);
    EXPECT_EQ(seen.targets[3], " Copy Terminated.");
    // Nothing half written stays behind; whatever was finished is whole.
    for (int i = 1; i <= 4; ++i) {
        const std::string copy = out2 + "/Song " + std::to_string(i) + ".mp3";
        if (Exists(copy)) {
            EXPECT_EQ(ReadFile(copy), Ipod(i)) << copy;
        }
    }
    ASSERT_TRUE(PumpUntil([&] { return form->StatusText() == "1 iPod detected."; }));
}

TEST_F(CopyCommandTest, CloseDuringACopyAsksFirst) {
    Start(3, 200000);
    Mark({1, 2, 3});
    fx.dialogs.saves.push_back(out + "/x.mp3");
    form->CopyoutSongClick();
    fx.dialogs.answers.push_back(IDialogs::Answer::No);
    form->XP_ButtonSmall3Click();
    EXPECT_EQ(fx.dialogs.calls.back().text, "Ignore copying file and quit?");
    EXPECT_TRUE(form->isVisible());
    // The desktop's own close asks the same question.
    fx.dialogs.answers.push_back(IDialogs::Answer::No);
    form->close();
    EXPECT_EQ(fx.dialogs.Count("ask"), 2);
    EXPECT_TRUE(form->isVisible());
    ASSERT_TRUE(PumpUntil([&] { return seen.shown == 1; }));

    ASSERT_TRUE(PumpUntil([&] { return !form->CopyRunning; }));
    Mark({1, 2, 3});
    const std::string out2 = fx.root + "/out2";
    MakeDirs(out2);
    fx.dialogs.saves.push_back(out2 + "/x.mp3");
    form->CopyoutSongClick();
    fx.dialogs.answers.push_back(IDialogs::Answer::Yes);
    form->XP_ButtonSmall3Click();
    EXPECT_FALSE(form->isVisible());
    // The job was abandoned: once its thread has ended and what it posted was handled,
    // there is no report, and destroying the window does not wait or crash.
    ASSERT_TRUE(PumpUntil([&] { return !form->CopyThread || form->CopyThread->Finished(); }));
    QCoreApplication::processEvents();
    EXPECT_EQ(seen.shown, 1);
    report.reset(); // a child of the main window
    form.reset();
}

TEST_F(CopyCommandTest, TheReportShowsLinuxPathsOpensTheFirstFolderAndToggles) {
    Start(1, 10);
    const std::vector<std::string> titles{"Lost", "Yesterday", "Root"};
    const std::string folder = fx.platform->ToProgramPath(out);
    const std::vector<std::string> targets{" This song not found in your iPod.",
                                           folder + "\\Yesterday.mp3", "c:\\\\Root.mp3"};
    report->TitleList = &titles;
    report->TargetList = &targets;
    report->show();
    const QAbstractItemModel& shown = *report->Reporter->model();
    const auto cell = [&](int row, int column) {
        return shown.index(row, column).data().toString().toStdString();
    };
    ASSERT_EQ(shown.rowCount(), 3);
    EXPECT_EQ(cell(0, 1), " This song not found in your iPod.");
    EXPECT_EQ(cell(1, 0), "Yesterday");
    EXPECT_EQ(cell(1, 1), out + "/Yesterday.mp3");
    EXPECT_EQ(cell(2, 1), fx.root + "/Root.mp3");

    // Open Directory opens the folder of the first entry that is a path.
    report->OpenDir->click();
    ASSERT_EQ(fx.opened.size(), 1u);
    EXPECT_EQ(fx.opened[0], out);

    const int height = report->height();
    EXPECT_TRUE(report->Memo1->isHidden());
    report->Label1Click();
    EXPECT_EQ(report->height(), height + 201);
    EXPECT_FALSE(report->Memo1->isHidden());
    EXPECT_EQ(report->Memo1->toPlainText().split('\n').size(), 14);
    EXPECT_TRUE(report->Memo1->toPlainText().startsWith(
        "Most important of all, the flashing icon \"Do Not Disconnect \" on your \n"));
    report->Label1Click();
    EXPECT_EQ(report->height(), height);
    EXPECT_TRUE(report->Memo1->isHidden());
    // The title strip's close button closes the report like its Close button.
    auto* close = report->findChild<QPushButton*>(QStringLiteral("TitleCloseButton"));
    ASSERT_NE(close, nullptr);
    close->click();
    EXPECT_FALSE(report->isVisible());
}

// A second job's report holds only that job's rows, made from its own copies of the
// lists (the main window's lists may be gone before the table is drawn), and keeps the
// column widths the user gave the first.
TEST_F(CopyCommandTest, EachReportShowsItsOwnJobAndKeepsTheColumnWidths) {
    Start(1, 10);
    const std::string folder = fx.platform->ToProgramPath(out);
    {
        std::vector<std::string> titles, targets;
        for (int i = 0; i < 300; ++i) {
            titles.push_back("Song " + std::to_string(i));
            targets.push_back(folder + "\\Song " + std::to_string(i) + ".mp3");
        }
        report->TitleList = &titles;
        report->TargetList = &targets;
        report->show();
        report->Reporter->scrollToBottom();
        report->Reporter->selectRow(299);
        report->Reporter->setColumnWidth(0, 120);
        QCoreApplication::processEvents();
        report->hide();
    }
    {
        std::vector<std::string> titles{"Alone", "No outcome"};
        std::vector<std::string> targets{folder + "\\Alone.mp3"};
        report->TitleList = &titles;
        report->TargetList = &targets;
        report->show();
    }
    report->TitleList = nullptr;
    report->TargetList = nullptr;
    report->Reporter->viewport()->repaint();
    const QAbstractItemModel& shown = *report->Reporter->model();
    const auto cell = [&](int row, int column) {
        return shown.index(row, column).data().toString().toStdString();
    };
    ASSERT_EQ(shown.rowCount(), 2);
    EXPECT_EQ(cell(0, 0), "Alone");
    EXPECT_EQ(cell(0, 1), out + "/Alone.mp3");
    EXPECT_EQ(cell(1, 0), "No outcome");
    EXPECT_EQ(cell(1, 1), "");
    EXPECT_EQ(shown.index(2, 0).data().toString(), QString());
    EXPECT_EQ(report->Reporter->columnWidth(0), 120);
    EXPECT_FALSE(report->Reporter->selectionModel()->hasSelection());
    EXPECT_EQ(shown.headerData(1, Qt::Horizontal).toString(), QStringLiteral("Copy path"));
}

} // namespace
} // namespace korvello::test
