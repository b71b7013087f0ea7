// SPDX-License-Identifier: GPL-3.0-or-later
// Quitting while the copy worker sits in a read that the device never answers (a stalled
// USB disk): the window hides at once, and the program ends after its short grace instead
// of waiting for the device. The device is the one fake here: every read of a song file
// blocks for good. The window and the ending run in a child process (a death test), so the
// test sees whether that process ends.
#include "browser/ITunesStringGrid.h"
#include "copyout/CopyThread.h"
#include "core/FrmMain.h"
#include "core/KorvelloApplication.h"
#include "support/AppFixture.h"
#include "support/ForwardingPlatform.h"
#include "support/PumpUntil.h"

#include <gtest/gtest.h>

#include <atomic>
#include <future>

#include <unistd.h>

namespace korvello::test {
namespace {

// A song file on a device that stopped answering: the first read never returns.
class HangingFile final : public IFile {
public:
    explicit HangingFile(std::atomic<bool>& reading) : reading_(reading) {}
    std::int64_t Read(void*, std::int64_t) override {
        reading_ = true;
        std::promise<void>().get_future().wait();
        return -1;
    }
    std::int64_t Write(const void*, std::int64_t) override { return -1; }
    std::int64_t Size() override { return 1 << 20; }
    bool Close() override { return true; }
    std::error_code Error() const override { return std::make_error_code(std::errc::io_error); }

private:
    std::atomic<bool>& reading_;
};

class HangingSongsPlatform final : public ForwardingPlatform {
public:
    using ForwardingPlatform::ForwardingPlatform;
    std::atomic<bool> reading{false};

    std::unique_ptr<IFile> OpenRead(const std::string& path, std::string& error) override {
        if (path.find("\\Music\\") != std::string::npos)
            return std::make_unique<HangingFile>(reading);
        return ForwardingPlatform::OpenRead(path, error);
    }
};

// Everything from the window's start to the program's end, in the child. Each step that
// cannot happen ends the child with its own code, so a failure says where it stopped.
[[noreturn]] void QuitWhileTheDeviceHangs() {
    // Should the program wait for the worker after all, the child would hang: this ends it.
    ::alarm(150);
    AppFixture fx;
    DemoSong song;
    song.id = 7;
    song.title = "Stuck";
    song.file = "F00/STUCK.mp3";
    song.bytes = 1 << 20;
    fx.MapDrive("e:", fx.MakeiPod("IPOD", {song}));
    const std::string out = fx.root + "/out";
    MakeDirs(out);
    HangingSongsPlatform device(*fx.platform);
    {
        TFormMain form(device, fx.dialogs);
        form.show();
        if (!PumpUntil([&] { return form.AdvStringGridSong->RowCount() == 2; }))
            std::_Exit(10);
        form.AdvStringGridSong->SetRowMarked(1, true);
        fx.dialogs.saves.push_back(out + "/x.mp3");
        form.CopyoutSongClick();
        if (!PumpUntil([&] { return device.reading.load(); }))
            std::_Exit(11);
        // Closing asks first; Yes abandons the job and hides the window without waiting.
        fx.dialogs.answers.push_back(IDialogs::Answer::Yes);
        form.close();
        if (form.isVisible() || fx.dialogs.Count("ask") != 1)
            std::_Exit(12);
        // What the program does once its message loop has returned.
        EndWithoutHungWorker(form, 3, std::chrono::milliseconds(300));
        std::_Exit(13); // it came back although the worker is still in its read
    }
}

TEST(QuitDuringCopy, TheProgramEndsWhileTheWorkerWaitsOnAHungDevice) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    // Exit code 3 is the status handed to the ending; 10 to 13 name the step that failed,
    // and SIGALRM means the process waited for the device.
    EXPECT_EXIT(QuitWhileTheDeviceHangs(), ::testing::ExitedWithCode(3), "");
}

} // namespace
} // namespace korvello::test
