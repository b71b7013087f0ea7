#pragma once
// A temporary machine for copy jobs: drive c: is a temporary folder, songs lie in
// c:\ipod, copies go to c:\out, the error log to c:\log\apces.cnt. The platform is the
// real Linux backend behind FreeSpacePlatform, so only the free-space figure is faked.

#include "FreeSpacePlatform.h"

#include "copyout/CopyThread.h"
#include "core/ErrorLog.h"
#include "platform/posix/PosixPlatform.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace korvello::test {

// One message as the window saw it.
struct Message {
    unsigned msg = 0;
    std::intptr_t wParam = 0;
    std::intptr_t lParam = 0;
    std::string text; // the status text of CM_PROGRESSTEXT
};

// Handles every message on the worker's own thread and records it; a hook sees each one
// while the worker waits, as the window would.
class RecordingSink final : public IWindowMessageSink {
public:
    std::function<void(const Message&)> onMessage;

    void SendMessage(unsigned msg, std::intptr_t wParam, std::intptr_t lParam) override {
        Message m{msg, wParam, lParam, {}};
        if (msg == CM_PROGRESSTEXT)
            m.text = reinterpret_cast<const char*>(wParam);
        {
            std::lock_guard lock(mutex_);
            messages_.push_back(m);
        }
        if (onMessage)
            onMessage(m);
    }
    void Clear() {
        std::lock_guard lock(mutex_);
        messages_.clear();
    }
    std::vector<Message> Messages() const {
        std::lock_guard lock(mutex_);
        return messages_;
    }
    std::vector<Message> Only(unsigned msg) const {
        std::vector<Message> out;
        for (const Message& m : Messages()) {
            if (m.msg == msg)
                out.push_back(m);
        }
        return out;
    }

private:
    mutable std::mutex mutex_;
    std::vector<Message> messages_;
};

inline PosixRoots RootsIn(const TempDir& tmp) {
    WriteFile(tmp / "mountinfo", "");
    MakeDirs(tmp / "sys");
    MakeDirs(tmp / "bylabel");
    PosixRoots roots;
    roots.rootDir = tmp.path();
    roots.mountinfo = tmp / "mountinfo";
    roots.sysfs = tmp / "sys";
    roots.byLabel = tmp / "bylabel";
    roots.configHome = tmp / "config";
    roots.dataHome = tmp / "data";
    roots.programPath = tmp / "opt/k/korvello";
    roots.shellOpen = [](const std::string&) {
    };
    return roots;
}

// Song content that differs from song to song and from block to block.
inline std::string SongBytes(std::size_t bytes, int seed) {
    std::string data(bytes, '\0');
    for (std::size_t i = 0; i < bytes; ++i)
        data[i] =
            static_cast<char>((i * 31 + i / 2048 + static_cast<std::size_t>(seed) * 7) & 0xFF);
    return data;
}

class CopyJobTest : public ::testing::Test {
protected:
    CopyJobTest() : real(RootsIn(tmp)), platform(real) {
        MakeDirs(tmp / "out");
        MakeDirs(tmp / "log");
        TLogClass::SetPlatform(&real);
        TLogClass::SetAppFolder("c:\\log");
    }
    ~CopyJobTest() override {
        TLogClass::SetPlatform(nullptr);
        TLogClass::SetAppFolder("");
    }

    // Writes a song of `bytes` bytes into c:\ipod and returns its program path.
    std::string Song(const std::string& name, std::size_t bytes, int seed = 1) {
        WriteFile(tmp / ("ipod/" + name), SongBytes(bytes, seed));
        return "c:\\ipod\\" + name;
    }
    static std::string Out(const std::string& name) { return "c:\\out\\" + name; }
    std::string OutFile(const std::string& name) const { return tmp / ("out/" + name); }
    std::string IpodFile(const std::string& name) const { return tmp / ("ipod/" + name); }

    void Add(const std::string& source, const std::string& target) {
        sources.push_back(source);
        targets.push_back(target);
    }

    // Runs the job on a fresh worker and waits for it to end.
    void Run() {
        sink.Clear();
        worker = std::make_unique<TCopyThread>(platform, sink, overwrite);
        worker->SourceList = &sources;
        worker->TargetList = &targets;
        if (stopBeforeStart)
            worker->StopRequested = true;
        worker->Start();
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (!worker->Finished() && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        ASSERT_TRUE(worker->Finished()) << "the job did not end";
    }

    std::string Log() const { return ReadFile(tmp / "log/apces.cnt"); }

    std::vector<std::int64_t> Positions() const {
        std::vector<std::int64_t> out;
        for (const Message& m : sink.Only(CM_PROGRESS))
            out.push_back(m.wParam);
        return out;
    }

    TempDir tmp;
    PosixPlatform real;
    FreeSpacePlatform platform;
    RecordingSink sink;
    std::atomic<bool> overwrite{false};
    bool stopBeforeStart = false;
    std::vector<std::string> sources;
    std::vector<std::string> targets;
    std::unique_ptr<TCopyThread> worker;
};

} // namespace korvello::test
