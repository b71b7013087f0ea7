#pragma once
// SPDX-License-Identifier: GPL-3.0-or-later
// The error log and the failure guard every guarded operation runs inside.
//
// Failures of the program's operations are not shown to the user: the guard writes the
// operation's log prefix ("GetiPodDriver:") followed directly by the failure's text into
// the error log "apces.cnt" in AppFolder, section "Error Log", keyed by the local date
// and time, and the operation ends with whatever it had done left in place.

#include <ctime>
#include <exception>
#include <stdexcept>
#include <string>
#include <utility>

namespace korvello {

class IPlatform;

// The program's own failure type: an exception that carries an 8-bit (UTF-8) text.
class EKorvelloError : public std::runtime_error {
public:
    explicit EKorvelloError(const std::string& text) : std::runtime_error(text) {}
};

// Carries the error-log writer. It has no state of its own; WriteLog is a class operation
// that reads the configured platform and AppFolder.
class TLogClass {
public:
    TLogClass() = delete;

    // Set once at start-up (the platform) and whenever AppFolder changes.
    static void SetPlatform(IPlatform* platform);
    static void SetAppFolder(const std::string& appFolder);
    static std::string AppFolder();

    // Writes one message under the current local date and time. Never fails: any failure
    // inside it is swallowed. Calls from several threads are serialised, so the file is
    // never corrupted; two messages within one second leave the later one.
    static void WriteLog(const std::string& message) noexcept;

    // The message as the log line holds it: CR, LF and NUL, which a profile value cannot
    // hold, become "^M", "^J" and "^@".
    static std::string LoggableText(const std::string& message);

    // The key a message is written under at the given local time: short date, a blank and
    // long time; at exactly midnight the blank and the time are left out.
    static std::string TimestampKey(IPlatform& platform, const std::tm& local);
};

// Runs `body` inside a failure guard. A failure (the program's failure type or any other
// std::exception) is logged as prefix + text and swallowed; returns false then.
template <class Body> bool Guard(const char* prefix, Body&& body) noexcept {
    try {
        std::forward<Body>(body)();
        return true;
    } catch (const std::exception& e) {
        TLogClass::WriteLog(std::string(prefix) + e.what());
    } catch (...) {
        TLogClass::WriteLog(std::string(prefix));
    }
    return false;
}

} // namespace korvello
