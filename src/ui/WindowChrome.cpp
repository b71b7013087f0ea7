// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/WindowChrome.h"

#include <QApplication>
#include <QMouseEvent>
#include <QTimer>
#include <QWidget>
#include <QWindow>

#include <algorithm>
#include <utility>

namespace korvello {

namespace {
constexpr int kCornerEllipse = 25;
// A move the desktop drives reports no end to the program; it counts as over once the
// window has not moved for this long.
constexpr int kSettleMs = 250;
} // namespace

WindowChrome::WindowChrome(QWidget* window, std::function<void()> afterMove)
    : QObject(window), window_(window), afterMove_(std::move(afterMove)) {
    setObjectName(QStringLiteral("WindowChrome"));
    window_->setWindowFlag(Qt::FramelessWindowHint, true);
    window_->installEventFilter(this);
    settleTimer_ = new QTimer(this);
    settleTimer_->setSingleShot(true);
    settleTimer_->setInterval(kSettleMs);
    connect(settleTimer_, &QTimer::timeout, this, [this] { FinishMove(); });
}

void WindowChrome::AddDragSource(QWidget* source) {
    if (source == nullptr || IsDragSource(source))
        return;
    sources_.emplace_back(source);
    source->installEventFilter(this);
}

bool WindowChrome::IsDragSource(const QWidget* widget) const {
    if (widget == window_)
        return true;
    return std::any_of(sources_.begin(), sources_.end(),
                       [widget](const QPointer<QWidget>& s) { return s.data() == widget; });
}

QRegion WindowChrome::RoundedRegion(int width, int height) {
    if (width <= 0 || height <= 0)
        return QRegion();
    const int e = std::min({kCornerEllipse, width, height});
    const int r = e / 2;
    // The cross of the two full bands, then the four corner ellipses.
    QRegion region(r, 0, width - 2 * r, height);
    region += QRegion(0, r, width, height - 2 * r);
    region += QRegion(0, 0, e, e, QRegion::Ellipse);
    region += QRegion(width - e, 0, e, e, QRegion::Ellipse);
    region += QRegion(0, height - e, e, e, QRegion::Ellipse);
    region += QRegion(width - e, height - e, e, e, QRegion::Ellipse);
    return region;
}

void WindowChrome::ApplyRoundedShape() {
    window_->setMask(RoundedRegion(window_->width(), window_->height()));
}

void WindowChrome::MinimizeApplication() {
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (window->isVisible() && !window->isMinimized() &&
            !(window->windowType() == Qt::Popup || window->windowType() == Qt::ToolTip))
            window->showMinimized();
    }
}

bool WindowChrome::PressStartsDrag(const QPoint& globalPos) const {
    const QPoint local = window_->mapFromGlobal(globalPos);
    if (!window_->rect().contains(local))
        return false;
    const QWidget* hit = window_->childAt(local);
    return hit == nullptr || IsDragSource(hit);
}

void WindowChrome::BeginMove(const QPoint& globalPos) {
    moving_ = true;
    QWindow* handle = window_->windowHandle();
    systemMove_ = handle != nullptr && handle->startSystemMove();
    if (systemMove_) {
        // The desktop has the mouse now; no release reaches the window.
        armed_ = false;
        settleTimer_->start();
        return;
    }
    window_->move(windowAtPress_ + (globalPos - pressGlobal_));
}

void WindowChrome::FinishMove() {
    settleTimer_->stop();
    const bool wasMoving = moving_;
    moving_ = false;
    systemMove_ = false;
    armed_ = false;
    if (wasMoving && afterMove_)
        afterMove_();
}

bool WindowChrome::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
    case QEvent::MouseButtonPress: {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() != Qt::LeftButton)
            break;
        const QPoint global = mouse->globalPosition().toPoint();
        armed_ = PressStartsDrag(global);
        if (armed_) {
            pressGlobal_ = global;
            windowAtPress_ = window_->pos();
        }
        break; // the source still sees its press
    }
    case QEvent::MouseMove: {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (!armed_ || !(mouse->buttons() & Qt::LeftButton))
            break;
        const QPoint global = mouse->globalPosition().toPoint();
        if (!moving_)
            BeginMove(global);
        else if (!systemMove_)
            window_->move(windowAtPress_ + (global - pressGlobal_));
        return true; // the move is the window's, not the widget's
    }
    case QEvent::MouseButtonRelease: {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() != Qt::LeftButton)
            break;
        if (moving_)
            FinishMove();
        armed_ = false;
        break;
    }
    case QEvent::Move:
        if (watched == window_ && systemMove_)
            settleTimer_->start();
        break;
    case QEvent::Resize:
        if (watched == window_ && followResize_)
            ApplyRoundedShape();
        break;
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}

} // namespace korvello
