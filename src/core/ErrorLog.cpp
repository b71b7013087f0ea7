// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/ErrorLog.h"

#include "platform/Platform.h"

#include <atomic>
#include <ctime>
#include <mutex>

namespace korvello {

namespace {

struct LogState {
    std::mutex mutex; // serialises writers and guards appFolder
    std::atomic<IPlatform*> platform{nullptr};
    std::string appFolder;
};

LogState& State() {
    static LogState state;
    return state;
}

} // namespace

std::string TLogClass::LoggableText(const std::string& message) {
    // A profile line cannot hold a line break or a NUL; a failure whose text has one (a
    // path with a newline in it) is written with the control character in caret notation,
    // as cat -v shows it, rather than lost.
    std::string text;
    text.reserve(message.size());
    for (const char c : message) {
        switch (c) {
        case '\r':
            text += "^M";
            break;
        case '\n':
            text += "^J";
            break;
        case '\0':
            text += "^@";
            break;
        default:
            text += c;
        }
    }
    return text;
}

void TLogClass::SetPlatform(IPlatform* platform) {
    State().platform = platform;
}

void TLogClass::SetAppFolder(const std::string& appFolder) {
    std::lock_guard lock(State().mutex);
    State().appFolder = appFolder;
}

std::string TLogClass::AppFolder() {
    std::lock_guard lock(State().mutex);
    return State().appFolder;
}

std::string TLogClass::TimestampKey(IPlatform& platform, const std::tm& local) {
    std::string key = platform.ShortDate(local);
    if (local.tm_hour != 0 || local.tm_min != 0 || local.tm_sec != 0)
        key += " " + platform.LongTime(local);
    return key;
}

void TLogClass::WriteLog(const std::string& message) noexcept {
    try {
        IPlatform* platform = State().platform.load();
        if (platform == nullptr)
            return;
        std::lock_guard lock(State().mutex);
        const std::time_t now = std::time(nullptr);
        std::tm local{};
        localtime_r(&now, &local);
        const std::string file = State().appFolder + "\\apces.cnt";
        platform->WritePrivateProfileString("Error Log", TimestampKey(*platform, local),
                                            LoggableText(message), file);
    } catch (...) {
        // The log never fails its caller.
    }
}

} // namespace korvello
