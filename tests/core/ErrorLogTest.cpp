// SPDX-License-Identifier: GPL-3.0-or-later
// The error log on real profile files in a fake tree.
#include "core/ErrorLog.h"
#include "support/MachineFixture.h"

#include <gtest/gtest.h>

#include <chrono>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <optional>
#include <thread>

using namespace korvello;
using namespace korvello::test;

namespace {

int CountOf(const std::string& text, const std::string& what) {
    int n = 0;
    for (std::size_t pos = text.find(what); pos != std::string::npos;
         pos = text.find(what, pos + 1))
        ++n;
    return n;
}

TEST(ErrorLog, GuardWritesPrefixAndTextAndSwallowsTheFailure) {
    MachineFixture fx;
    const std::string app = fx.platform->ToProgramPath(fx.programDir);
    TLogClass::SetAppFolder(app);
    bool after = false;
    EXPECT_FALSE(Guard("SearchFunc:", [] { throw EKorvelloError(""); }));
    EXPECT_TRUE(Guard("GetiPodDriver:", [&] { after = true; }));
    EXPECT_TRUE(after);
    const std::string log = fx.Log();
    EXPECT_NE(log.find("[Error Log]"), std::string::npos) << log;
    // An empty failure text leaves the prefix alone as the value.
    EXPECT_NE(log.find("=SearchFunc:\n"), std::string::npos) << log;

    // Any standard failure is caught too.
    EXPECT_FALSE(Guard("DisPlaySongs:", [] { throw std::out_of_range("index 7"); }));
    EXPECT_NE(fx.Log().find("DisPlaySongs:index 7"), std::string::npos);
}

TEST(ErrorLog, LineBreaksAndNulsInATextAreWrittenVisibly) {
    MachineFixture fx;
    TLogClass::SetAppFolder(fx.platform->ToProgramPath(fx.programDir));
    // A song whose name holds a newline, and a text that would otherwise add a section.
    EXPECT_FALSE(Guard("Execute:", [] {
        throw EKorvelloError("Cannot open c:\\music\\a\nb.mp3\r\n[Visible]\nSearchBox=0");
    }));
    const std::string log = fx.Log();
    EXPECT_NE(log.find("=Execute:Cannot open c:\\music\\a^Jb.mp3^M^J[Visible]^JSearchBox=0\n"),
              std::string::npos)
        << log;
    EXPECT_EQ(CountOf(log, "\n"), 2) << log; // the section line and the one entry
    TLogClass::WriteLog(std::string("PlaySong:d:\\x\0y", 15));
    EXPECT_NE(fx.Log().find("=PlaySong:d:\\x^@y\n"), std::string::npos) << fx.Log();
}

TEST(ErrorLog, TwoMessagesInOneSecondLeaveTheLaterOne) {
    MachineFixture fx;
    TLogClass::SetAppFolder(fx.platform->ToProgramPath(fx.programDir));
    // Retry until both writes fall into the same second.
    for (int attempt = 0; attempt < 5; ++attempt) {
        std::remove(fx.InAppFolder("apces.cnt").c_str());
        const std::time_t before = std::time(nullptr);
        TLogClass::WriteLog("first");
        TLogClass::WriteLog("second");
        if (std::time(nullptr) != before)
            continue;
        const std::string log = fx.Log();
        EXPECT_EQ(CountOf(log, "first"), 0) << log;
        EXPECT_EQ(CountOf(log, "=second"), 1) << log;
        return;
    }
    GTEST_SKIP() << "could not fit two writes into one second";
}

// The date and time functions' locale and zone for one test: the "C" locale's texts and
// a zone five and a half hours east of UTC, whatever the machine chose.
class FixedClockSettings {
public:
    FixedClockSettings() : time_(std::setlocale(LC_TIME, nullptr)) {
        if (const char* tz = std::getenv("TZ"))
            tz_ = tz;
        std::setlocale(LC_TIME, "C");
        ::setenv("TZ", "KST-5:30", 1);
        ::tzset();
    }
    ~FixedClockSettings() {
        std::setlocale(LC_TIME, time_.c_str());
        if (tz_)
            ::setenv("TZ", tz_->c_str(), 1);
        else
            ::unsetenv("TZ");
        ::tzset();
    }
    static constexpr std::chrono::minutes kEastOfUtc{5 * 60 + 30};

private:
    std::string time_;
    std::optional<std::string> tz_;
};

TEST(ErrorLog, KeyIsShortDateAndLongTimeWithoutTimeAtMidnight) {
    MachineFixture fx;
    const FixedClockSettings clock;
    std::tm noon{};
    noon.tm_year = 126;
    noon.tm_mon = 11;
    noon.tm_mday = 9;
    noon.tm_hour = 12;
    noon.tm_min = 3;
    noon.tm_sec = 4;
    EXPECT_EQ(TLogClass::TimestampKey(*fx.platform, noon), "12/09/26 12:03:04");
    std::tm midnight = noon;
    midnight.tm_hour = midnight.tm_min = midnight.tm_sec = 0;
    EXPECT_EQ(TLogClass::TimestampKey(*fx.platform, midnight), "12/09/26");
    std::tm second = midnight;
    second.tm_sec = 1;
    EXPECT_EQ(TLogClass::TimestampKey(*fx.platform, second), "12/09/26 00:00:01");
}

// The key of a message written now is the local time, worked out here from the clock with
// the calendar's own arithmetic rather than the C library's date functions.
TEST(ErrorLog, AMessageIsKeyedByTheLocalDateAndTimeItWasWritten) {
    using namespace std::chrono;
    MachineFixture fx;
    TLogClass::SetAppFolder(fx.platform->ToProgramPath(fx.programDir));
    const FixedClockSettings clock;
    for (int attempt = 0; attempt < 5; ++attempt) {
        std::remove(fx.InAppFolder("apces.cnt").c_str());
        // The clock the log reads: std::time may trail system_clock by a few milliseconds
        // (a coarse clock), so a second taken from system_clock can be one the log never saw.
        const auto before = system_clock::from_time_t(std::time(nullptr));
        TLogClass::WriteLog("now");
        const auto local = before + FixedClockSettings::kEastOfUtc;
        const auto day = floor<days>(local);
        const year_month_day date{day};
        const hh_mm_ss time{local - day};
        if (system_clock::from_time_t(std::time(nullptr)) != before || time.to_duration() == 0s)
            continue; // the second changed, or it is midnight: try again
        char expected[32];
        std::snprintf(expected, sizeof expected, "%02u/%02u/%02d %02d:%02d:%02d",
                      static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                      static_cast<int>(date.year()) % 100, static_cast<int>(time.hours().count()),
                      static_cast<int>(time.minutes().count()),
                      static_cast<int>(time.seconds().count()));
        EXPECT_EQ(fx.Log(), "[Error Log]\n" + std::string(expected) + "=now\n");
        return;
    }
    GTEST_SKIP() << "could not write within one second, away from midnight";
}

TEST(ErrorLog, AnUnwritableFolderIsSilentAndAnEmptyFolderMeansTheRootOfC) {
    MachineFixture fx;
    // A folder path that runs through a regular file cannot be written, even by root.
    WriteFile(fx.root + "/blocked", "file");
    TLogClass::SetAppFolder("c:\\blocked\\sub");
    EXPECT_NO_THROW(TLogClass::WriteLog("lost"));
    EXPECT_FALSE(Guard("x:", [] { throw EKorvelloError("y"); }));

    TLogClass::SetAppFolder("");
    TLogClass::WriteLog("before start-up");
    EXPECT_NE(ReadFile(fx.root + "/apces.cnt").find("=before start-up"), std::string::npos);
}

TEST(ErrorLog, ConcurrentWritersNeverCorruptTheFile) {
    MachineFixture fx;
    TLogClass::SetAppFolder(fx.platform->ToProgramPath(fx.programDir));
    WriteFile(fx.InAppFolder("apces.cnt"), "[Other]\nkeep=1\n");
    auto writer = [](const char* who) {
        for (int i = 0; i < 150; ++i)
            TLogClass::WriteLog(std::string(who) + std::to_string(i));
    };
    std::thread a(writer, "worker");
    std::thread b(writer, "window");
    a.join();
    b.join();
    const std::string log = fx.Log();
    EXPECT_NE(log.find("[Other]\nkeep=1\n"), std::string::npos) << log;
    EXPECT_EQ(CountOf(log, "[Error Log]"), 1) << log;
    // Every line is either a section, the kept key or one whole log entry.
    std::size_t start = 0;
    while (start < log.size()) {
        const std::size_t end = log.find('\n', start);
        const std::string line = log.substr(start, end - start);
        const bool ok = line.empty() || line.front() == '[' || line == "keep=1" ||
                        line.find("=worker") != std::string::npos ||
                        line.find("=window") != std::string::npos;
        EXPECT_TRUE(ok) << "bad line: " << line;
        if (end == std::string::npos)
            break;
        start = end + 1;
    }
    // The last message of at least one writer survives.
    EXPECT_TRUE(log.find("=worker149") != std::string::npos ||
                log.find("=window149") != std::string::npos);
}

} // namespace
