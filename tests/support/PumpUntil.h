#pragma once
// SPDX-License-Identifier: GPL-3.0-or-later
// The window tests' wait: handles the window thread's events until a condition holds.

#include "support/Waits.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

namespace korvello::test {

// Handles events until `done` holds; false when the deadline passed first.
template <class Done> bool PumpUntil(Done done) {
    QElapsedTimer timer;
    timer.start();
    const auto deadline = std::chrono::duration_cast<std::chrono::milliseconds>(kWaitDeadline);
    while (!done()) {
        if (timer.elapsed() > deadline.count())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(1);
    }
    return true;
}

} // namespace korvello::test
