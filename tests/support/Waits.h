#pragma once
// SPDX-License-Identifier: GPL-3.0-or-later
// The tests' waits for something another thread or the event loop brings about. Each
// waits on the condition itself, never for a fixed time, and gives up only at one long
// deadline: a wait that needs it has failed on any machine, however loaded.

#include <chrono>
#include <thread>

namespace korvello::test {

inline constexpr std::chrono::seconds kWaitDeadline{60};

// Waits, without running an event loop, until `done` holds; false when the deadline
// passed first.
template <class Done> bool WaitUntil(Done done) {
    const auto deadline = std::chrono::steady_clock::now() + kWaitDeadline;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

} // namespace korvello::test
