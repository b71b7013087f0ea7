// SPDX-License-Identifier: GPL-3.0-or-later
#include "copyout/WorkerMessageBridge.h"

#include <QMetaObject>
#include <QThread>

#include <utility>

namespace korvello {

WorkerMessageBridge::WorkerMessageBridge(QObject* parent) : QObject(parent) {}

WorkerMessageBridge::~WorkerMessageBridge() {
    std::lock_guard lock(mutex_);
    closing_ = true;
    ReleaseAllLocked();
}

void WorkerMessageBridge::ReleaseAllLocked() {
    for (const auto& pending : queue_)
        pending->released = true;
    queue_.clear();
    // A sender whose message is being handled right now is let go as well: the window may
    // be abandoning the job from inside that very handler.
    if (current_)
        current_->released = true;
    released_.notify_all();
}

void WorkerMessageBridge::SetHandler(Handler handler) {
    handler_ = std::move(handler);
}

void WorkerMessageBridge::SendMessage(unsigned msg, std::intptr_t wParam, std::intptr_t lParam) {
    if (QThread::currentThread() == thread()) {
        // Waiting here would wait for ourselves.
        if (handler_)
            handler_(msg, wParam, lParam);
        return;
    }
    auto pending = std::make_shared<Pending>(Pending{msg, wParam, lParam, false});
    std::unique_lock lock(mutex_);
    if (cancelled_ || closing_ || (dropProgress_ && msg != CM_PROGRESSFINISH))
        return;
    queue_.push_back(pending);
    ScheduleDelivery();
    released_.wait(lock, [&] { return pending->released; });
}

std::size_t WorkerMessageBridge::QueuedSends() {
    std::lock_guard lock(mutex_);
    return queue_.size();
}

void WorkerMessageBridge::ScheduleDelivery() {
    // Queued to this object's thread; dropped by Qt if the bridge is gone by then.
    QMetaObject::invokeMethod(
        this, [this] { Deliver(); }, Qt::QueuedConnection);
}

void WorkerMessageBridge::Deliver() {
    for (;;) {
        std::shared_ptr<Pending> pending;
        {
            std::lock_guard lock(mutex_);
            // A handler that opens a modal window runs a nested event loop; a delivery
            // started there must wait for the outer one so messages stay one at a time.
            if (held_ || current_ || queue_.empty())
                return;
            pending = queue_.front();
            queue_.pop_front();
            current_ = pending;
        }
        // Release the sender even when the handler throws, so the worker never hangs.
        struct ReleaseOnExit {
            WorkerMessageBridge& bridge;
            Pending& pending;
            ~ReleaseOnExit() {
                std::lock_guard lock(bridge.mutex_);
                bridge.current_.reset();
                pending.released = true;
                bridge.released_.notify_all();
            }
        } release{*this, *pending};
        if (handler_)
            handler_(pending->msg, pending->wParam, pending->lParam);
    }
}

void WorkerMessageBridge::OpenForJob() {
    std::lock_guard lock(mutex_);
    cancelled_ = false;
    dropProgress_ = false;
}

void WorkerMessageBridge::DropProgress() {
    std::lock_guard lock(mutex_);
    dropProgress_ = true;
    std::erase_if(queue_, [](const std::shared_ptr<Pending>& pending) {
        if (pending->msg == CM_PROGRESSFINISH)
            return false;
        pending->released = true;
        return true;
    });
    released_.notify_all();
}

void WorkerMessageBridge::HoldMessages(bool held) {
    std::lock_guard lock(mutex_);
    held_ = held;
    if (!held && !queue_.empty())
        ScheduleDelivery();
}

void WorkerMessageBridge::CancelSends() {
    std::lock_guard lock(mutex_);
    cancelled_ = true;
    ReleaseAllLocked();
}

} // namespace korvello
