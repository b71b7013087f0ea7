#pragma once
// SPDX-License-Identifier: GPL-3.0-or-later
// The skinned progress bar: an empty bar scaled to the widget with its edges kept, a
// filled part of one-column pictures laid side by side, and a head picture at its end.
// Setting a value repaints only when the value changes.

#include <QImage>
#include <QWidget>

namespace korvello {

class TLumoProgressBar : public QWidget {
    Q_OBJECT

public:
    explicit TLumoProgressBar(QWidget* parent = nullptr);

    int Min() const { return min_; }
    int Max() const { return max_; }
    int Position() const { return position_; }
    void SetMin(int value);
    void SetMax(int value);
    void SetPosition(int value);

    // The same values under the names callers of a Qt progress bar use.
    int minimum() const { return min_; }
    int maximum() const { return max_; }
    int value() const { return position_; }
    void setMinimum(int value) { SetMin(value); }
    void setMaximum(int value) { SetMax(value); }
    void setValue(int value) { SetPosition(value); }
    void setRange(int low, int high);

    // Width in pixels of the filled part: width / (Max - Min) * (Position - Min), rounded
    // to the nearest integer with ties to even; 0 for an empty range, and never more than
    // the bar.
    int FillWidth() const;
    // The bar as it is painted now.
    QImage PaintBar() const;

Q_SIGNALS:
    void valueChanged(int value);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int min_ = 0;
    int max_ = 100;
    int position_ = 0;
};

} // namespace korvello
