// SPDX-License-Identifier: GPL-3.0-or-later
// The main window on a fake machine: start-up with no, one and two iPods, device
// arrivals, the selector, the database backup, the status line and the settings store.
#include "browser/ITunesStringGrid.h"
#include "browser/SongColumns.h"
#include "copyout/CopyThread.h"
#include "core/FrmMain.h"
#include "core/KorvelloApplication.h"
#include "platform/Text.h"
#include "support/AppFixture.h"
#include "support/ForwardingPlatform.h"
#include "support/PumpUntil.h"
#include "ui/LumoProgressBar.h"

#include <QAbstractItemView>
#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QTest>
#include <QWheelEvent>

#include <QCoreApplication>
#include <QElapsedTimer>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <future>
#include <thread>

#include <gtest/gtest.h>

#include <filesystem>

using namespace korvello;
using namespace korvello::test;

namespace {

std::vector<std::string> SelectorEntries(const TFormMain& form) {
    std::vector<std::string> out;
    for (int i = 0; i < form.iPodSelectorCom->count(); ++i)
        out.push_back(form.iPodSelectorCom->itemText(i).toStdString());
    return out;
}

class FormMainTest : public ::testing::Test {
protected:
    AppFixture fx;

    std::unique_ptr<TFormMain> Start() {
        auto form = std::make_unique<TFormMain>(*fx.platform, fx.dialogs);
        form->show(); // the first showing runs FormShow
        return form;
    }
};

TEST_F(FormMainTest, StartWithoutAnIPodOffersThePlaceholder) {
    auto form = Start();
    EXPECT_EQ(SelectorEntries(*form), std::vector<std::string>{"Please connect your iPod"});
    EXPECT_EQ(form->StatusText(), "Please connect your iPod");
    EXPECT_FALSE(form->iPodFound);
    EXPECT_TRUE(form->CurrentDrive.empty());
    // The song table is set up but empty: the header and one blank row.
    EXPECT_EQ(form->AdvStringGridSong->RowCount(), 2);
    EXPECT_EQ(form->AdvStringGridSong->Cells(kTitleColumn, 0), "Title");
    EXPECT_EQ(form->AdvStringGridSong->Cells(kTitleColumn, 1), "");
    EXPECT_EQ(form->ArtistList->RowCount(), 1);
    EXPECT_FALSE(Exists(fx.InAppFolder("Idb.ant")));
    EXPECT_EQ(fx.Log(), "");
    // Without an iPod the menus offer nothing but the song menu's Stop.
    form->SunPopupMenuListPopup(form->SunPopupMenuAlbum);
    for (QAction* action : form->SunPopupMenuAlbum->actions())
        EXPECT_FALSE(action->isEnabled());
    form->SunPopupMenuSongsPopup();
    for (QAction* action : form->SunPopupMenuSongs->actions())
        EXPECT_EQ(action->isEnabled(), action == form->StopCopyOut);
}

TEST_F(FormMainTest, StartWithOneIPodLoadsItAndBacksUpItsDatabase) {
    const std::string ipod = fx.MakeiPod("IPOD", AppFixture::SampleSongs());
    fx.MapDrive("e:", ipod);
    auto form = Start();

    EXPECT_EQ(SelectorEntries(*form), std::vector<std::string>{" [ipod]  e:"});
    EXPECT_EQ(ToUtf8(form->CurrentDrive), "e:");
    EXPECT_TRUE(form->iPodFound);
    EXPECT_EQ(form->iPod.SongCount(), 5);
    // The song table's fill replaces the scan's status with the song count.
    EXPECT_EQ(form->StatusText(), "5 Files found in your iPod.");
    EXPECT_EQ(form->AdvStringGridSong->RowCount(), 6);
    EXPECT_EQ(form->ArtistList->Cells(kListEntryColumn, 0), "All ...");
    // The copy waits for the filled window's first paint, so it never holds the window
    // back; then it is the database byte for byte, beside the program.
    EXPECT_FALSE(form->BackupDone);
    EXPECT_FALSE(Exists(fx.InAppFolder("Idb.ant")));
    ASSERT_TRUE(PumpUntil([&] { return form->BackupFinished(); }));
    EXPECT_EQ(ReadFile(fx.InAppFolder("Idb.ant")),
              ReadFile(ipod + "/iPod_Control/iTunes/iTunesDB"));
}

TEST_F(FormMainTest, AWindowClosedBeforeItsFirstPaintStillBacksUpTheDatabase) {
    const std::string ipod = fx.MakeiPod("IPOD", AppFixture::SampleSongs());
    fx.MapDrive("e:", ipod);
    auto form = Start();
    form->close();
    EXPECT_TRUE(form->BackupDone);
    form->WaitForBackup();
    EXPECT_EQ(ReadFile(fx.InAppFolder("Idb.ant")),
              ReadFile(ipod + "/iPod_Control/iTunes/iTunesDB"));
    // Once is all: the paint that may still come copies nothing again.
    std::filesystem::remove(fx.InAppFolder("Idb.ant"));
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    EXPECT_FALSE(Exists(fx.InAppFolder("Idb.ant")));
}

// Holds the database copy until the test lets it go on (or ten seconds have passed, so
// that a copy made on the window's thread fails the test instead of hanging it).
class GatedCopyPlatform : public ForwardingPlatform {
public:
    using ForwardingPlatform::ForwardingPlatform;
    bool CopyFile(const std::string& source, const std::string& dest) override {
        gate_.wait_for(std::chrono::seconds(10));
        return ForwardingPlatform::CopyFile(source, dest);
    }
    void Open() { opened_.set_value(); }

private:
    std::promise<void> opened_;
    std::shared_future<void> gate_ = opened_.get_future().share();
};

// The copy is made on a thread of its own once the window has been painted: the window
// answers and closes while it is under way, the program's end waits for it, and the
// backup is then the whole database under its name, with nothing else left beside it.
TEST_F(FormMainTest, AWindowClosedWhileTheCopyIsMadeLeavesAWholeBackup) {
    const std::string ipod = fx.MakeiPod("IPOD", AppFixture::SampleSongs());
    fx.MapDrive("e:", ipod);
    GatedCopyPlatform gated(*fx.platform);
    TFormMain form(gated, fx.dialogs);
    form.show();
    ASSERT_TRUE(PumpUntil([&] { return form.BackupDone; }));
    QCoreApplication::processEvents();
    EXPECT_FALSE(form.BackupFinished()) << "the copy held up the window";
    form.close();
    EXPECT_FALSE(form.isVisible());
    EXPECT_FALSE(Exists(fx.InAppFolder("Idb.ant")));
    // Let go only once the end has begun to wait (or has failed to).
    std::thread opener([&gated] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        gated.Open();
    });
    EndWithoutHungWorker(form, 0, std::chrono::seconds(30));
    const bool finishedAtTheEnd = form.BackupFinished();
    opener.join();
    form.WaitForBackup();
    EXPECT_TRUE(finishedAtTheEnd) << "the end did not wait for the copy";
    EXPECT_EQ(ReadFile(fx.InAppFolder("Idb.ant")),
              ReadFile(ipod + "/iPod_Control/iTunes/iTunesDB"));
    for (const auto& entry : std::filesystem::directory_iterator(fx.programDir))
        EXPECT_FALSE(entry.path().filename().string().find("Idb.ant") != std::string::npos &&
                     entry.path().filename() != "Idb.ant")
            << "left over: " << entry.path();
}

TEST_F(FormMainTest, TwoIPodsAreListedInLetterOrderAndTheFirstIsLoaded) {
    const std::string a =
        fx.MakeiPod("Alpha", {{1, "One", "", "", "", "", "", "", "F00/A.mp3", 10}});
    const std::string b =
        fx.MakeiPod("Beta", {{2, "Two", "", "", "", "", "", "", "F00/B.mp3", 10},
                             {3, "Three", "", "", "", "", "", "", "F00/C.mp3", 10}});
    fx.MapDrive("g:", b);
    fx.MapDrive("e:", a);
    auto form = Start();

    EXPECT_EQ(SelectorEntries(*form), (std::vector<std::string>{" [alpha]  e:", " [beta]  g:"}));
    EXPECT_EQ(form->iPodSelectorCom->currentIndex(), 0);
    EXPECT_EQ(ToUtf8(form->CurrentDrive), "e:");
    EXPECT_EQ(form->iPod.SongCount(), 1);
    EXPECT_TRUE(form->GetiPodDriver());
    EXPECT_EQ(form->StatusText(), "2 iPod detected.");

    // Choosing the second entry loads that iPod.
    form->iPodSelectorCom->setCurrentIndex(1);
    form->iPodSelectorComCloseUp();
    EXPECT_EQ(ToUtf8(form->CurrentDrive), "g:");
    EXPECT_EQ(form->iPod.SongCount(), 2);
    EXPECT_EQ(form->AdvStringGridSong->Cells(kTitleColumn, 1), "Two");
}

TEST_F(FormMainTest, OnlyAChoiceInTheOpenSelectorListSwitchesIPods) {
    fx.MapDrive("e:", fx.MakeiPod("Alpha", {{1, "One", "", "", "", "", "", "", "F00/A.mp3", 10}}));
    fx.MapDrive("g:", fx.MakeiPod("Beta", {{2, "Two", "", "", "", "", "", "", "F00/B.mp3", 10},
                                           {3, "Three", "", "", "", "", "", "", "F00/C.mp3", 10}}));
    auto form = Start();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    QComboBox* selector = form->iPodSelectorCom;
    ASSERT_EQ(form->iPod.SongCount(), 1);

    // A wheel tick and an arrow key over the closed box move its shown entry, and load
    // nothing.
    const QPointF centre = QRectF(selector->rect()).center();
    QWheelEvent wheel(centre, selector->mapToGlobal(centre), QPoint(), QPoint(0, -120),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(selector, &wheel);
    EXPECT_EQ(selector->currentIndex(), 1) << "the wheel reached the box";
    QTest::keyClick(selector, Qt::Key_Up);
    QTest::keyClick(selector, Qt::Key_Down);
    QCoreApplication::processEvents();
    EXPECT_EQ(ToUtf8(form->CurrentDrive), "e:");
    EXPECT_EQ(form->iPod.SongCount(), 1);
    EXPECT_EQ(form->AdvStringGridSong->Cells(kTitleColumn, 1), "One");

    // A list opened and closed with Escape chooses nothing, and the next wheel tick still
    // loads nothing.
    selector->showPopup();
    QTest::keyClick(selector->view(), Qt::Key_Escape);
    QCoreApplication::processEvents();
    QCoreApplication::sendEvent(selector, &wheel);
    EXPECT_EQ(form->iPod.SongCount(), 1);

    // Enter on an entry of the open list is a choice.
    selector->setCurrentIndex(0);
    selector->showPopup();
    ASSERT_TRUE(selector->view()->isVisible());
    selector->view()->setCurrentIndex(selector->model()->index(1, 0));
    QTest::keyClick(selector->view(), Qt::Key_Return);
    EXPECT_EQ(ToUtf8(form->CurrentDrive), "g:");
    EXPECT_EQ(form->iPod.SongCount(), 2);
    EXPECT_EQ(form->AdvStringGridSong->Cells(kTitleColumn, 1), "Two");
}

// Another program holding the database open: the open fails.
class HeldDatabasePlatform : public ForwardingPlatform {
public:
    using ForwardingPlatform::ForwardingPlatform;
    std::unique_ptr<IFile> OpenRead(const std::string& path, std::string& error) override {
        if (path.ends_with("itunesdb")) {
            error = "Resource temporarily unavailable";
            return nullptr;
        }
        return ForwardingPlatform::OpenRead(path, error);
    }
};

TEST_F(FormMainTest, AnUnopenableDatabaseIsLoggedAndTheWindowStaysUsable) {
    fx.MapDrive("e:", fx.MakeiPod("IPOD", AppFixture::SampleSongs()));
    HeldDatabasePlatform held(*fx.platform);
    TFormMain form(held, fx.dialogs);
    form.show();

    EXPECT_NE(fx.Log().find("FormShow:Cannot open file e:\\iPod_Control\\iTunes\\itunesdb"),
              std::string::npos)
        << fx.Log();
    EXPECT_EQ(form.iPod.SongCount(), 0);
    EXPECT_FALSE(Exists(fx.InAppFolder("Idb.ant")));
    EXPECT_EQ(form.StatusText(), "1 iPod detected.");
    // The same failure through the selector reaches the error box, with a full stop, and
    // the window carries on.
    form.RunUnguarded([&] { form.iPodSelectorComCloseUp(); });
    ASSERT_EQ(fx.dialogs.Count("error"), 1);
    EXPECT_EQ(fx.dialogs.calls.back().title, "Korvello A");
    EXPECT_EQ(fx.dialogs.calls.back().text, "Cannot open file e:\\iPod_Control\\iTunes\\itunesdb.");
    form.ShowStatus("still here");
    EXPECT_EQ(form.StatusText(), "still here");
}

TEST_F(FormMainTest, ADeviceArrivalRebuildsTheSelectorAndKeepsTheLoadedIPod) {
    const std::string first = fx.MakeiPod("First", AppFixture::SampleSongs());
    fx.MapDrive("f:", first);
    auto form = Start();
    ASSERT_EQ(form->iPod.SongCount(), 5);

    const std::string second =
        fx.MakeiPod("Second", {{9, "Other", "", "", "", "", "", "", "F00/Z.mp3", 5}});
    fx.MapDrive("e:", second);
    form->WindowMessage(WM_DEVICECHANGE, DBT_DEVICEARRIVAL, 0);

    EXPECT_EQ(SelectorEntries(*form), (std::vector<std::string>{" [second]  e:", " [first]  f:"}));
    EXPECT_EQ(form->iPodSelectorCom->currentIndex(), 0);
    EXPECT_EQ(ToUtf8(form->CurrentDrive), "f:");
    EXPECT_EQ(form->iPod.SongCount(), 5);
    EXPECT_EQ(form->AdvStringGridSong->Cells(kTitleColumn, 1), "Yesterday");

    // Removals are not arrivals.
    form->WindowMessage(WM_DEVICECHANGE, DBT_DEVICEREMOVECOMPLETE, 0);
    EXPECT_EQ(form->iPodSelectorCom->count(), 2);
}

TEST_F(FormMainTest, TheLoadedIPodGoneAndAnotherDeviceArrivingKeepsTheEarlierSongs) {
    const std::string first = fx.MakeiPod("First", AppFixture::SampleSongs());
    fx.MapDrive("e:", first);
    auto form = Start();
    fx.UnmapDrive("e:");
    const std::string stick = fx.tmp / "Stick";
    MakeDirs(stick);
    fx.MapDrive("g:", stick);
    form->WMDeviceChange(DBT_DEVICEARRIVAL);

    EXPECT_EQ(SelectorEntries(*form), std::vector<std::string>{"Please connect your iPod"});
    EXPECT_TRUE(form->iPodFound);
    EXPECT_EQ(ToUtf8(form->CurrentDrive), "e:");
    EXPECT_EQ(form->iPod.SongCount(), 5);
    EXPECT_EQ(form->AdvStringGridSong->RowCount(), 6);
    // Choosing the placeholder now names no drive and changes nothing.
    form->iPodSelectorComCloseUp();
    EXPECT_EQ(ToUtf8(form->CurrentDrive), "e:");
    EXPECT_EQ(fx.dialogs.Count("error"), 0);
}

TEST_F(FormMainTest, ARepluggedIPodKeepsItsLetterAndTheReloadFindsItsSongs) {
    namespace fs = std::filesystem;
    // A USB stick in the fake sysfs with a file-system UUID; it is mounted, pulled, and
    // mounted again under another device name, as a re-plug does.
    auto plug = [&](const std::string& device, int minor) {
        const std::string part = "devices/pci0000:00/usb1/1-1/block/" + device.substr(0, 3);
        const std::string classLink = fx.tmp / ("sys/class/block/" + device);
        MakeDirs(fx.tmp / ("sys/" + part + "/" + device));
        MakeDirs(fx.tmp / "sys/class/block");
        fs::remove(classLink);
        fs::create_symlink("../../" + part + "/" + device, classLink);
        MakeDirs(fx.tmp / "by-uuid");
        fs::remove(fx.tmp / "by-uuid/1234-ABCD");
        fs::create_symlink("../../" + device, fx.tmp / "by-uuid/1234-ABCD");
        WriteFile(fx.tmp / "mountinfo", "21 1 8:2 / / rw - ext4 /dev/sda2 rw\n"
                                        "40 21 8:" +
                                            std::to_string(minor) +
                                            " / /media/u/IPOD rw - vfat /dev/" + device + " rw\n");
    };
    fx.MakeiPod("root/media/u/IPOD", AppFixture::SampleSongs());
    plug("sdb1", 17);
    auto form = Start();
    ASSERT_EQ(ToUtf8(form->CurrentDrive), "d:");
    ASSERT_EQ(form->iPod.SongCount(), 5);

    WriteFile(fx.tmp / "mountinfo", "21 1 8:2 / / rw - ext4 /dev/sda2 rw\n");
    EXPECT_FALSE(fx.platform->PollDeviceArrival()) << "a removal is no arrival";
    // Songs were changed on another computer meanwhile.
    fx.MakeiPod("root/media/u/IPOD", {{7, "Seven", "", "", "", "", "", "", "F00/S.mp3", 10},
                                      {8, "Eight", "", "", "", "", "", "", "F00/E.mp3", 10}});
    plug("sdc1", 33);
    ASSERT_TRUE(fx.platform->PollDeviceArrival());
    form->WMDeviceChange(DBT_DEVICEARRIVAL);

    EXPECT_EQ(SelectorEntries(*form), std::vector<std::string>{" [ipod]  d:"});
    EXPECT_EQ(ToUtf8(form->CurrentDrive), "d:");
    EXPECT_EQ(form->iPod.SongCount(), 2);
    EXPECT_EQ(form->AdvStringGridSong->Cells(kTitleColumn, 1), "Seven");
}

TEST_F(FormMainTest, ALabelHoldingABracketDoesNotNameADrive) {
    const std::string ipod = fx.MakeiPod("my]pod", AppFixture::SampleSongs());
    fx.MapDrive("e:", ipod);
    auto form = Start();
    ASSERT_EQ(SelectorEntries(*form), std::vector<std::string>{" [my]pod]  e:"});
    form->iPodSelectorComCloseUp(); // the cut gives "od", which is no drive
    EXPECT_EQ(ToUtf8(form->CurrentDrive), "e:");
    EXPECT_EQ(form->iPod.SongCount(), 5);
}

TEST_F(FormMainTest, StatusLineIsCutAtFortySixCharacters) {
    auto form = Start();
    const std::string t46(46, 'x');
    form->ShowStatus(t46);
    EXPECT_EQ(form->StatusText(), t46);
    form->ShowStatus(t46 + "y");
    EXPECT_EQ(form->StatusText(), t46 + "...");
    // Counted in characters: 47 Japanese characters keep 46 whole ones.
    std::string jp;
    for (int i = 0; i < 47; ++i)
        jp += "\xE6\x97\xA5";
    form->ShowStatus(jp);
    EXPECT_EQ(form->StatusText(), jp.substr(0, 46 * 3) + "...");
}

TEST_F(FormMainTest, WorkerMessagesDriveTheProgressBarAndStatus) {
    auto form = Start();
    form->WindowMessage(0x408, 450, 0);
    form->WindowMessage(0x406, 120, 0);
    const char* text = "(1/2) Copying Yesterday.mp3";
    form->WindowMessage(0x412, reinterpret_cast<std::intptr_t>(text), 0);
    EXPECT_EQ(form->StatusText(), text);
    EXPECT_EQ(form->ProgressBarItunes->value(), 120);
    EXPECT_EQ(form->ProgressBarItunes->maximum(), 450);
}

TEST_F(FormMainTest, WorkerMessagesArriveInOrderEachHandledBeforeTheSenderGoesOn) {
    auto form = Start();
    std::vector<int> positions;
    QObject::connect(form->ProgressBarItunes, &TLumoProgressBar::valueChanged,
                     [&](int value) { positions.push_back(value); });
    std::atomic<bool> done{false};
    std::thread sender([&] {
        IWindowMessageSink& sink = form->MessageSink();
        sink.SendMessage(CM_PROGRESSMAX, 450, 0);
        char text[32];
        for (int k = 1; k <= 300; ++k) {
            sink.SendMessage(CM_PROGRESS, k, 0);
            std::snprintf(text, sizeof text, "(%d/300) Copying x.mp3", k);
            sink.SendMessage(CM_PROGRESSTEXT, reinterpret_cast<std::intptr_t>(text), 0);
            // The text is the sender's: once the send returns, the window must be done
            // with it.
            std::strcpy(text, "gone");
        }
        done = true;
    });
    ASSERT_TRUE(PumpUntil([&] { return done.load(); })) << "the sender is stuck";
    sender.join();
    ASSERT_EQ(positions.size(), 300u);
    for (int k = 1; k <= 300; ++k)
        EXPECT_EQ(positions[k - 1], k);
    EXPECT_EQ(form->ProgressBarItunes->maximum(), 450);
    EXPECT_EQ(form->StatusText(), "(300/300) Copying x.mp3");
}

TEST_F(FormMainTest, AnIPodMappedWhileRunningArrivesThroughTheDeviceWatch) {
    auto form = Start();
    ASSERT_FALSE(form->iPodFound);
    fx.MapDrive("e:", fx.MakeiPod("Later", AppFixture::SampleSongs()));
    // The drives folder's watch fires; the window rescans and loads the new iPod.
    PumpUntil([&] { return form->iPod.SongCount() > 0; });
    EXPECT_EQ(SelectorEntries(*form), std::vector<std::string>{" [later]  e:"});
    EXPECT_EQ(ToUtf8(form->CurrentDrive), "e:");
    EXPECT_EQ(form->iPod.SongCount(), 5);
    EXPECT_EQ(form->AdvStringGridSong->RowCount(), 6);
    // No backup for an iPod that arrived after start-up.
    EXPECT_FALSE(Exists(fx.InAppFolder("Idb.ant")));
}

} // namespace
