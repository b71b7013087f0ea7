#pragma once
// SPDX-License-Identifier: GPL-3.0-or-later
// Hands the copy worker's messages to the window's thread, one at a time and in the order
// sent, and makes the worker wait until each has been handled there.
//
// The bridge lives on the window's thread (the thread that created it). The window sets
// one handler; the worker calls SendMessage from its own thread, which queues the message,
// wakes the window's event loop and blocks until the handler has returned. Called on the
// window's thread itself, SendMessage runs the handler directly.
//
// Pausing goes through the worker: TCopyThread::Suspend() closes the worker's gate and
// calls HoldMessages(true) here, so a message already queued is not handled, even by the
// nested event loop of a modal message box, until TCopyThread::Resume() releases it; it is
// then handled from the event loop, not from inside Resume().
//
// Destroying the bridge, or CancelSends() (TCopyThread::Abandon), releases a waiting
// worker without handling its message. Destroy the worker before the bridge.

#include "copyout/CopyThread.h"

#include <QObject>

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>

namespace korvello {

class WorkerMessageBridge final : public QObject, public IWindowMessageSink {
    Q_OBJECT

public:
    using Handler = std::function<void(unsigned msg, std::intptr_t wParam, std::intptr_t lParam)>;

    explicit WorkerMessageBridge(QObject* parent = nullptr);
    ~WorkerMessageBridge() override;

    // Set on the window's thread before a job starts.
    void SetHandler(Handler handler);

    void SendMessage(unsigned msg, std::intptr_t wParam, std::intptr_t lParam) override;
    void OpenForJob() override;
    void HoldMessages(bool held) override;
    void CancelSends() override;
    // The user confirmed a stop: progress messages (CM_PROGRESS, CM_PROGRESSMAX,
    // CM_PROGRESSTEXT) already waiting, and any the worker sends before it notices the
    // stop, are dropped unhandled, so the bar and the status line stay as the stop left
    // them. CM_PROGRESSFINISH is still handled. Lasts until the next job (OpenForJob).
    void DropProgress();
    // Messages a worker has posted that are not yet being handled: each one's sender
    // waits in SendMessage. Any thread.
    std::size_t QueuedSends();

private:
    struct Pending {
        unsigned msg = 0;
        std::intptr_t wParam = 0;
        std::intptr_t lParam = 0;
        bool released = false; // handled, or dropped; the sender may go on
    };

    // Handles queued messages on the window's thread while none is held back.
    void Deliver();
    void ScheduleDelivery();
    void ReleaseAllLocked();

    Handler handler_;
    std::mutex mutex_;
    std::condition_variable released_;
    std::deque<std::shared_ptr<Pending>> queue_;
    bool held_ = false;
    bool cancelled_ = false;           // CancelSends until the next OpenForJob
    bool dropProgress_ = false;        // DropProgress until the next OpenForJob
    std::shared_ptr<Pending> current_; // being handled (maybe inside a nested event loop)
    bool closing_ = false;             // the destructor runs
};

} // namespace korvello
