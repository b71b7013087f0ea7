#pragma once
// SPDX-License-Identifier: GPL-3.0-or-later
// The frame that every Korvello window draws for itself: no system frame, an outline with
// rounded corners (25 x 25 pixel corner ellipses) and a move by dragging the window's
// background or its frame pictures.
//
// A window makes one WindowChrome and registers the widgets that move it:
//
//     chrome_ = new WindowChrome(this, [this] { RepaintAfterMove(); });
//     chrome_->AddDragSource(Notifier);
//
// The window itself always counts as a source (its bare background). A press counts only
// when the widget directly under the mouse is a registered source, so the controls that
// lie on a source (grids, buttons, a panel's corner pictures) never move the window, even
// when they let the press fall through to the panel beneath. A child inside a source that
// should move the window too must be registered itself (or be transparent for the mouse).
//
// The move starts on the first mouse move with the left button held after such a press.
// It is the desktop's own interactive move (QWindow::startSystemMove) where the desktop
// offers one; elsewhere (an X server without a window manager, some Wayland compositors,
// the offscreen platform) the window follows the mouse's movement itself until the button
// is released. When the move is over, the window's after-move step runs once.

#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QRegion>

#include <functional>
#include <vector>

class QTimer;
class QWidget;

namespace korvello {

class WindowChrome : public QObject {
    Q_OBJECT

public:
    // Makes `window` frameless. `afterMove` runs each time a move of the window has ended.
    explicit WindowChrome(QWidget* window, std::function<void()> afterMove = {});

    // The widget moves the window when dragged with the left button.
    void AddDragSource(QWidget* source);
    bool IsDragSource(const QWidget* widget) const;

    // Sets the rounded outline for the window's current size.
    void ApplyRoundedShape();
    // Re-applies the outline whenever the window's size changes.
    void SetFollowResize(bool follow) { followResize_ = follow; }

    // The rounded outline of a window of this size: the rectangle without what lies
    // outside the four 25 x 25 corner ellipses.
    static QRegion RoundedRegion(int width, int height);
    // Minimises every visible window of the program.
    static void MinimizeApplication();

    // Whether a move is in progress (from the first dragging move to its end).
    bool Moving() const { return moving_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool PressStartsDrag(const QPoint& globalPos) const;
    void BeginMove(const QPoint& globalPos);
    void FinishMove();

    QWidget* window_;
    std::function<void()> afterMove_;
    std::vector<QPointer<QWidget>> sources_;
    bool followResize_ = false;
    bool armed_ = false;            // the left button went down on a source
    bool moving_ = false;           // a move is in progress
    bool systemMove_ = false;       // ... and the desktop drives it
    QPoint pressGlobal_;            // where the mouse was at the start of the move
    QPoint windowAtPress_;          // where the window was then
    QTimer* settleTimer_ = nullptr; // ends a desktop-driven move once the window rests
};

} // namespace korvello
