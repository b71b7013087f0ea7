#pragma once
// SPDX-License-Identifier: GPL-3.0-or-later
// A temporary machine for copy jobs: drive c: is a temporary folder, songs lie in
// c:\ipod, copies go to c:\out, the error log to c:\log\apces.cnt. Messages are handled
// on the worker's thread by a recording sink, with a hook standing in for the window.

#include "FreeSpacePlatform.h"

#include "copyout/CopyThread.h"
#include "core/ErrorLog.h"
#include "platform/posix/PosixPlatform.h"
#include "support/Backdate.h"
#include "support/FakeRoots.h"
#include "support/TempDir.h"
#include "support/Waits.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <thread>

#include <sys/time.h>

namespace korvello::test {

struct Message {
    unsigned msg = 0;
    std::intptr_t wParam = 0, lParam = 0;
    std::string text; // CM_PROGRESSTEXT's status text
};

class RecordingSink final : public IWindowMessageSink {
public:
    std::function<void(const Message&)> onMessage;
    std::vector<Message> messages; // read once the job has ended

    void SendMessage(unsigned msg, std::intptr_t wParam, std::intptr_t lParam) override {
        Message m{msg, wParam, lParam, {}};
        if (msg == CM_PROGRESSTEXT)
            m.text = reinterpret_cast<const char*>(wParam);
        messages.push_back(m);
        if (onMessage)
            onMessage(m);
    }
    std::vector<std::intptr_t> Params(unsigned msg) const {
        std::vector<std::intptr_t> out;
        for (const Message& m : messages)
            if (m.msg == msg)
                out.push_back(m.wParam);
        return out;
    }
    std::vector<std::string> Texts() const {
        std::vector<std::string> out;
        for (const Message& m : messages)
            if (m.msg == CM_PROGRESSTEXT)
                out.push_back(m.text);
        return out;
    }
};

// Content that differs from song to song and from block to block.
inline std::string SongBytes(std::size_t bytes, int seed) {
    std::string data(bytes, '\0');
    for (std::size_t i = 0; i < bytes; ++i)
        data[i] = static_cast<char>((i * 31 + i / 2048 + static_cast<std::size_t>(seed)) & 0xFF);
    return data;
}

class CopyJobTest : public ::testing::Test {
protected:
    CopyJobTest() : real(FakeMachineRoots(tmp, {.drive = "", .home = ""})), platform(real) {
        for (const char* folder : {"ipod", "out", "log"})
            MakeDirs(tmp / folder);
        TLogClass::SetPlatform(&real);
        TLogClass::SetAppFolder("c:\\log");
    }
    ~CopyJobTest() override { TLogClass::SetPlatform(nullptr); }

    // Writes a song into c:\ipod and returns its program path.
    std::string Song(const std::string& name, std::size_t bytes, int seed = 1) {
        WriteFile(tmp / ("ipod/" + name), SongBytes(bytes, seed));
        return "c:\\ipod\\" + name;
    }
    static std::string Out(const std::string& name) { return "c:\\out\\" + name; }
    std::string OutFile(const std::string& name) const { return tmp / ("out/" + name); }
    void Add(const std::string& source, const std::string& target) {
        sources.push_back(source);
        targets.push_back(target);
    }
    std::string Log() const { return ReadFile(tmp / "log/apces.cnt"); }
    std::intptr_t Finish() const {
        return sink.messages.empty() || sink.messages.back().msg != CM_PROGRESSFINISH
                   ? 0
                   : sink.messages.back().wParam;
    }

    // What a test class adds to each worker before it starts (tags, ...).
    virtual void Configure(TCopyThread& /*worker*/) {}

    // Runs the job on a fresh worker and waits for it to end; `through` stands between
    // the worker and `platform` when given.
    void Run(IPlatform* through = nullptr) {
        sink.messages.clear();
        worker = std::make_unique<TCopyThread>(through ? *through : platform, sink, overwrite);
        worker->SourceList = &sources;
        worker->TargetList = &targets;
        worker->StopRequested = stopBeforeStart;
        if (!organisedInto.empty()) {
            foundCopies.assign(sources.size(), {});
            worker->ChosenFolder = organisedInto;
            worker->SkipCopiedFiles = &skipCopiedSongs;
            worker->FoundList = &foundCopies;
        }
        Configure(*worker);
        worker->Start();
        ASSERT_TRUE(WaitUntil([this] { return worker->Finished(); })) << "the job did not end";
    }

    TempDir tmp;
    PosixPlatform real;
    FreeSpacePlatform platform;
    RecordingSink sink;
    std::atomic<bool> overwrite{false};
    bool stopBeforeStart = false;
    // Organised copies: set organisedInto to copy into folders below it.
    std::string organisedInto;
    std::atomic<bool> skipCopiedSongs{false};
    std::vector<std::string> foundCopies;
    std::vector<std::string> sources, targets;
    std::unique_ptr<TCopyThread> worker;
};

} // namespace korvello::test
