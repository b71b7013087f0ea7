#pragma once
// SPDX-License-Identifier: GPL-3.0-or-later
// The status line's panel: a one-line text centred between margins that keep it off the
// pictures at either end. A text wider than the room between the margins is drawn with
// its end cut off and "..." in its place; text() is always the whole text given.

#include <QLabel>

namespace korvello {

class TStatusPanel : public QLabel {
    Q_OBJECT

public:
    static constexpr int kMargin = 6;

    explicit TStatusPanel(QWidget* parent = nullptr);

    // The text as it is drawn: the whole text, or its elided form.
    QString ShownText() const;

protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace korvello
