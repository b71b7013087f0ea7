// SPDX-License-Identifier: GPL-3.0-or-later
// What a user meets first: the window opened on a folder named on the command line, the
// keyboard with the song table, the title bar's buttons last in the Tab order, and a long
// status kept clear of the status line's end pictures.
#include "browser/ITunesStringGrid.h"
#include "browser/SongColumns.h"
#include "core/ApplicationWindows.h"
#include "core/FrmMain.h"
#include "core/StartFolder.h"
#include "platform/Text.h"
#include "support/AppFixture.h"
#include "ui/StatusPanel.h"

#include <QApplication>
#include <QComboBox>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

using namespace korvello;
using namespace korvello::test;
namespace fs = std::filesystem;

namespace {

class StartTest : public ::testing::Test {
protected:
    AppFixture fx;
    std::unique_ptr<PosixPlatform> platform;
    std::unique_ptr<TApplicationWindows> windows;

    TFormMain& Main() { return windows->FormMain; }

    // Starts the program as `korvello FOLDER` does: the folder mapped, the window opened
    // on it. Returns the drive it got ("" when refused, with `error` set).
    std::string StartOn(const std::string& folder, std::string* error = nullptr) {
        PosixRoots roots = fx.platform->Roots();
        std::string problem;
        const std::string drive = MapStartFolder(roots, folder, problem);
        if (error != nullptr)
            *error = problem;
        platform = std::make_unique<PosixPlatform>(roots);
        Open(*platform, drive);
        return drive;
    }

    void Open(IPlatform& on, const std::string& startDrive = {}) {
        windows = std::make_unique<TApplicationWindows>(on, fx.dialogs);
        Main().SetStartDrive(startDrive);
        Main().show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&Main()));
    }

    std::vector<std::string> Entries() {
        std::vector<std::string> out;
        for (int i = 0; i < Main().iPodSelectorCom->count(); ++i)
            out.push_back(Main().iPodSelectorCom->itemText(i).toStdString());
        return out;
    }
};

TEST_F(StartTest, AFolderOnTheCommandLineTakesTheNextFreeLetterAndIsOpened) {
    fx.MapDrive("d:", fx.MakeiPod("first", {{1, "One", "", "", "", "", "", "", "F00/A.mp3", 10}}));
    // A link whose folder is gone still holds its letter.
    fx.MapDrive("e:", (fx.tmp / "gone"));
    const std::string folder = fx.MakeiPod("IPOD", AppFixture::SampleSongs());

    EXPECT_EQ(StartOn(folder), "f:");
    // The user's own drive is still there, and the folder's iPod is the one loaded.
    EXPECT_EQ(Entries(), (std::vector<std::string>{" [first]  d:", " [ipod]  f:"}));
    EXPECT_EQ(Main().iPodSelectorCom->currentIndex(), 1);
    EXPECT_EQ(ToUtf8(Main().CurrentDrive), "f:");
    EXPECT_EQ(Main().iPod.SongCount(), 5);
    EXPECT_EQ(Main().AdvStringGridSong->RowCount(), 6);
    // Mapped for this run only: the drives folder holds the user's two links, no more.
    std::vector<std::string> links;
    for (const auto& entry : fs::directory_iterator(fx.configHome + "/korvello/drives"))
        links.push_back(entry.path().filename().string());
    std::sort(links.begin(), links.end());
    EXPECT_EQ(links, (std::vector<std::string>{"d:", "e:"}));
}

TEST_F(StartTest, AFolderThatIsADriveAlreadyKeepsItsLetter) {
    const std::string second = fx.MakeiPod("second", AppFixture::SampleSongs());
    fx.MapDrive("d:", fx.MakeiPod("first", {{1, "One", "", "", "", "", "", "", "F00/A.mp3", 10}}));
    fx.MapDrive("g:", second);
    // Named with a trailing slash and a detour: still the same folder.
    EXPECT_EQ(StartOn(second + "/iPod_Control/../"), "g:");
    EXPECT_EQ(Entries(), (std::vector<std::string>{" [first]  d:", " [second]  g:"}));
    EXPECT_EQ(ToUtf8(Main().CurrentDrive), "g:");
    EXPECT_EQ(Main().iPod.SongCount(), 5);
}

TEST_F(StartTest, AFolderWithoutAnIpodIsMappedButTheFirstIpodIsLoaded) {
    fx.MapDrive("e:", fx.MakeiPod("ipod", AppFixture::SampleSongs()));
    const std::string empty = (fx.tmp / "empty");
    fs::create_directories(empty);
    EXPECT_EQ(StartOn(empty), "d:");
    EXPECT_EQ(Entries(), std::vector<std::string>{" [ipod]  e:"});
    EXPECT_EQ(ToUtf8(Main().CurrentDrive), "e:");
}

TEST_F(StartTest, AMissingFolderOrAFileIsRefused) {
    PosixRoots roots = fx.platform->Roots();
    std::string error;
    EXPECT_EQ(MapStartFolder(roots, (fx.tmp / "nowhere"), error), "");
    EXPECT_EQ(error, "no such folder: " + (fx.tmp / "nowhere"));
    const std::string file = (fx.tmp / "file.txt");
    WriteFile(file, "x");
    EXPECT_EQ(MapStartFolder(roots, file, error), "");
    EXPECT_TRUE(roots.mappedFolders.empty());
}

TEST_F(StartTest, EveryLetterTakenLeavesNoneForTheFolder) {
    PosixRoots roots = fx.platform->Roots();
    for (char letter = 'd'; letter <= 'z'; ++letter)
        roots.mappedFolders.emplace_back(letter, (fx.tmp / "gone"));
    const std::string folder = (fx.tmp / "music");
    fs::create_directories(folder);
    std::string error;
    EXPECT_EQ(MapStartFolder(roots, folder, error), "");
    EXPECT_EQ(error, "no free drive letter for " + folder);
}

TEST_F(StartTest, TheKeyboardStartsWithTheSongsAndReachesTheTitleBarLast) {
    fx.MapDrive("e:", fx.MakeiPod("ipod", AppFixture::SampleSongs()));
    Open(*fx.platform);
    Main().activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&Main()));
    EXPECT_EQ(QApplication::focusWidget(), Main().AdvStringGridSong);

    // Return and Space at start act on the songs: the window stays as it was.
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    EXPECT_FALSE(Main().isMinimized());
    EXPECT_TRUE(Main().isVisible());

    // Tab runs through the window and comes to the title bar's two buttons last.
    std::vector<QWidget*> visited;
    for (int i = 0; i < 20 && (visited.empty() || QApplication::focusWidget() != visited[0]); ++i) {
        visited.push_back(QApplication::focusWidget());
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    ASSERT_GE(visited.size(), 4u);
    EXPECT_EQ(QApplication::focusWidget(), Main().AdvStringGridSong) << "Tab did not come round";
    EXPECT_EQ(visited[visited.size() - 2], Main().XP_ButtonSmall1);
    EXPECT_EQ(visited.back(), Main().XP_ButtonSmall3);
    EXPECT_EQ(visited[visited.size() - 3], Main().ButtonCopy);
}

// The columns of a picture of the status line that differ from the empty line's.
std::pair<int, int> InkColumns(const QImage& empty, const QImage& shown) {
    int first = -1;
    int last = -1;
    for (int x = 0; x < shown.width(); ++x)
        for (int y = 0; y < shown.height(); ++y)
            if (shown.pixel(x, y) != empty.pixel(x, y)) {
                if (first < 0)
                    first = x;
                last = x;
                break;
            }
    return {first, last};
}

TEST_F(StartTest, ALongStatusKeepsClearOfTheEndsAndIsElidedByWidth) {
    Open(*fx.platform);
    TFormMain& form = Main();
    const QRect line = form.Notifier->geometry();
    const auto picture = [&] {
        QApplication::processEvents();
        return form.grab(line).toImage();
    };
    form.ShowStatus("");
    const QImage empty = picture();

    // Forty-six wide letters: cut at 46 characters first, then drawn elided to fit.
    const std::string wide(60, 'W');
    form.ShowStatus(wide);
    EXPECT_EQ(form.StatusText(), std::string(46, 'W') + "...");
    auto* panel = dynamic_cast<TStatusPanel*>(form.Notifier);
    ASSERT_NE(panel, nullptr);
    EXPECT_TRUE(panel->ShownText().endsWith(QStringLiteral("\u2026")))
        << panel->ShownText().toStdString();
    const auto [first, last] = InkColumns(empty, picture());
    ASSERT_GE(first, 0) << "nothing drawn";
    EXPECT_GE(first, TStatusPanel::kMargin);
    EXPECT_LE(last, line.width() - 1 - TStatusPanel::kMargin);

    // A short status is drawn whole, centred.
    form.ShowStatus(" iPod detected.");
    EXPECT_EQ(panel->ShownText(), QStringLiteral(" iPod detected."));
    const auto [left, right] = InkColumns(empty, picture());
    EXPECT_NEAR(left + right, line.width() - 1, 6);
}

} // namespace
