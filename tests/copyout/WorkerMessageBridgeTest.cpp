// SPDX-License-Identifier: GPL-3.0-or-later
// The hand-over between the worker's thread and the window's: delivery on the window's
// thread in order, holding a message back while the window asks a question, releasing a
// waiting worker when the job is abandoned, and the worker's pause seen from the window.
#include "CopyJobFixture.h"

#include "copyout/WorkerMessageBridge.h"
#include "support/PumpUntil.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <QTimer>

#include <gmock/gmock.h>

#include <filesystem>

namespace korvello::test {
namespace {

using ::testing::ElementsAre;

// Runs the event loop for a while, as a modal message box would.
void SpinFor(int ms) {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(1);
    }
}

// A worker thread that sends one message and notes when the send returned.
class Sender {
public:
    Sender(WorkerMessageBridge& bridge, unsigned msg) : bridge_(bridge) {
        thread_ = std::thread([this, msg] {
            bridge_.SendMessage(msg, 7, 0);
            returned_ = true;
        });
    }
    ~Sender() { thread_.join(); }
    // Waits, without running the event loop, until the message is posted and its sender
    // waits for it to be handled.
    bool WaitUntilSending() {
        return WaitUntil([this] { return bridge_.QueuedSends() > 0; });
    }
    bool Returned() const { return returned_; }

private:
    WorkerMessageBridge& bridge_;
    std::atomic<bool> returned_{false};
    std::thread thread_;
};

TEST(WorkerMessageBridge, DeliversOnTheWindowThreadInOrderAndWaitsForEach) {
    WorkerMessageBridge bridge;
    std::vector<std::intptr_t> seen;
    std::atomic<int> handled{0};
    bool allOnWindowThread = true;
    bridge.SetHandler([&](unsigned, std::intptr_t wParam, std::intptr_t) {
        allOnWindowThread &= QThread::currentThread() == qApp->thread();
        seen.push_back(wParam);
        ++handled;
    });
    std::atomic<bool> sendsWaited{true};
    std::atomic<bool> done{false};
    std::thread worker([&] {
        for (int i = 0; i < 100; ++i) {
            bridge.SendMessage(CM_PROGRESS, i, 0);
            if (handled != i + 1)
                sendsWaited = false;
        }
        done = true;
    });
    const bool finished = PumpUntil([&] { return done.load(); });
    worker.join();
    ASSERT_TRUE(finished);
    ASSERT_EQ(seen.size(), 100u);
    for (int i = 0; i < 100; ++i)
        EXPECT_EQ(seen[i], i);
    EXPECT_TRUE(allOnWindowThread);
    EXPECT_TRUE(sendsWaited) << "a send returned before its message was handled";
}

TEST(WorkerMessageBridge, MessageWaitingWhenHeldIsHandledOnlyAfterTheRelease) {
    WorkerMessageBridge bridge;
    int handled = 0;
    bridge.SetHandler([&](unsigned, std::intptr_t, std::intptr_t) { ++handled; });
    Sender sender(bridge, CM_PROGRESS);
    EXPECT_TRUE(sender.WaitUntilSending()); // posted; the window has not run its loop yet
    bridge.HoldMessages(true);
    SpinFor(150); // a modal question's nested event loop
    EXPECT_EQ(handled, 0);
    EXPECT_FALSE(sender.Returned());
    bridge.HoldMessages(false);
    EXPECT_EQ(handled, 0) << "released from the event loop, not from inside the release";
    EXPECT_TRUE(PumpUntil([&] { return sender.Returned(); }));
    EXPECT_EQ(handled, 1);
}

TEST(WorkerMessageBridge, CancelReleasesTheWaitingSenderUnhandledUntilTheNextJob) {
    WorkerMessageBridge bridge;
    int handled = 0;
    bridge.SetHandler([&](unsigned, std::intptr_t, std::intptr_t) { ++handled; });
    bridge.HoldMessages(true);
    {
        Sender sender(bridge, CM_PROGRESS);
        EXPECT_TRUE(sender.WaitUntilSending());
        bridge.CancelSends();
    } // joins: the sender was let go
    {
        Sender late(bridge, CM_PROGRESS); // a send after the cancel returns at once
    }
    bridge.HoldMessages(false);
    // Both senders have returned, so whatever they posted waits in the event queue.
    QCoreApplication::processEvents();
    EXPECT_EQ(handled, 0);

    bridge.OpenForJob();
    Sender next(bridge, CM_PROGRESSFINISH);
    EXPECT_TRUE(PumpUntil([&] { return next.Returned(); }));
    EXPECT_EQ(handled, 1);
}

// ---- The worker through the bridge, with a real event loop --------------------------------

class BridgedJobTest : public CopyJobTest {
protected:
    BridgedJobTest() {
        bridge.SetHandler([this](unsigned msg, std::intptr_t wParam, std::intptr_t lParam) {
            ++handled;
            if (msg == CM_PROGRESSFINISH)
                finish = wParam;
            if (msg == CM_PROGRESS)
                positions.push_back(wParam);
            if (onMessage)
                onMessage(msg, wParam, lParam);
        });
    }

    void Start() {
        worker = std::make_unique<TCopyThread>(platform, bridge, overwrite);
        worker->SourceList = &sources;
        worker->TargetList = &targets;
        worker->Start();
    }

    // The paused worker waits at its check, or inside a send the bridge holds back.
    bool WorkerStandsStill() { return worker->WaitingAtPause() || bridge.QueuedSends() > 0; }

    std::int64_t SizeOf(const std::string& name) const {
        std::error_code ec;
        const auto size = std::filesystem::file_size(OutFile(name), ec);
        return ec ? -1 : static_cast<std::int64_t>(size);
    }

    WorkerMessageBridge bridge;
    std::function<void(unsigned, std::intptr_t, std::intptr_t)> onMessage;
    int handled = 0;
    std::intptr_t finish = 0;
    std::vector<std::intptr_t> positions;
};

// The window's Stop and close buttons pause the worker, ask (a nested event loop) and act
// on the answer, from an ordinary event, outside any message handler: a timer here.
TEST_F(BridgedJobTest, PausedWorkerCopiesNothingAndNoMessageIsHandled) {
    Add(Song("A.mp3", 4 << 20, 1), Out("A.mp3"));
    int handledBefore = -1, handledAfter = -1;
    std::int64_t sizeBefore = -1, sizeAfter = -1;
    onMessage = [&](unsigned msg, std::intptr_t, std::intptr_t) {
        if (msg != CM_PROGRESS || positions.size() != 20)
            return;
        QTimer::singleShot(0, [&] {
            worker->Suspend();
            // A block under way is finished, then the worker waits.
            ASSERT_TRUE(PumpUntil([&] { return WorkerStandsStill(); }));
            handledBefore = handled;
            sizeBefore = SizeOf(".A.mp3.korvello-part"); // written under its temporary name
            SpinFor(250);
            handledAfter = handled;
            sizeAfter = SizeOf(".A.mp3.korvello-part");
            worker->Resume();
        });
    };
    Start();
    ASSERT_TRUE(PumpUntil([&] { return worker->Finished(); }));
    EXPECT_EQ(handledAfter, handledBefore);
    EXPECT_EQ(sizeAfter, sizeBefore);
    EXPECT_GE(sizeBefore, 0);
    EXPECT_LT(sizeBefore, 4 << 20);
    // It went on exactly where it was: every position once, the whole song.
    EXPECT_EQ(finish, 1);
    ASSERT_EQ(positions.size(), 450u);
    for (std::size_t i = 0; i < positions.size(); ++i)
        EXPECT_EQ(positions[i], static_cast<std::intptr_t>(i + 1));
    EXPECT_EQ(ReadFile(OutFile("A.mp3")), SongBytes(4 << 20, 1));
}

TEST_F(BridgedJobTest, AbandonedJobStopsWhereItStoodAndIsSafeToDestroy) {
    Add(Song("A.mp3", 4 << 20, 1), Out("A.mp3"));
    Add(Song("B.mp3", 1000, 2), Out("B.mp3"));
    std::int64_t sizeWhenAbandoned = -1;
    onMessage = [&](unsigned msg, std::intptr_t, std::intptr_t) {
        if (msg != CM_PROGRESS || positions.size() != 20)
            return;
        QTimer::singleShot(0, [&] {
            worker->Suspend();
            ASSERT_TRUE(PumpUntil([&] { return WorkerStandsStill(); }));
            // The song is being written under its temporary name.
            sizeWhenAbandoned = SizeOf(".A.mp3.korvello-part");
            worker->Abandon(); // "Ignore copying file and quit?" answered Yes: no resume
            worker.reset();
        });
    };
    Start();
    ASSERT_TRUE(PumpUntil([&] { return worker == nullptr; }));
    // The worker's thread was joined: anything it posted waits in the event queue.
    QCoreApplication::processEvents();
    EXPECT_EQ(finish, 0) << "an abandoned job sends no end";
    // The lists are not touched; the half-written song was no song and is gone, and no
    // file lies under the song's name.
    EXPECT_THAT(targets, ElementsAre(Out("A.mp3"), Out("B.mp3")));
    EXPECT_GE(sizeWhenAbandoned, 0);
    EXPECT_FALSE(Exists(OutFile("A.mp3")));
    EXPECT_FALSE(Exists(OutFile(".A.mp3.korvello-part")));
    EXPECT_FALSE(Exists(OutFile("B.mp3")));
}

TEST_F(BridgedJobTest, WorkerReleasedInsideItsFinishHandlerLeavesTheBridgeUsable) {
    Add(Song("A.mp3", 3000, 1), Out("A.mp3"));
    onMessage = [&](unsigned msg, std::intptr_t, std::intptr_t) {
        if (msg == CM_PROGRESSFINISH)
            worker.reset(); // the worker is still waiting in this very send
    };
    Start();
    ASSERT_TRUE(PumpUntil([&] { return worker == nullptr; }));
    EXPECT_EQ(finish, 1);

    // The next job on the same bridge is delivered as usual.
    onMessage = nullptr;
    finish = 0;
    sources.clear();
    targets.clear();
    Add(Song("B.mp3", 3000, 2), Out("B.mp3"));
    Start();
    ASSERT_TRUE(PumpUntil([&] { return worker->Finished(); }));
    EXPECT_EQ(finish, 1);
    EXPECT_EQ(ReadFile(OutFile("B.mp3")), SongBytes(3000, 2));
}

} // namespace
} // namespace korvello::test
