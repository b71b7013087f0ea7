// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/LumoProgressBar.h"

#include "ui/Skin.h"

#include <QPainter>

#include <algorithm>
#include <cfenv>
#include <cmath>

namespace korvello {

TLumoProgressBar::TLumoProgressBar(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void TLumoProgressBar::SetMin(int value) {
    if (min_ != value) {
        min_ = value;
        update();
    }
}

void TLumoProgressBar::SetMax(int value) {
    if (max_ != value) {
        max_ = value;
        update();
    }
}

void TLumoProgressBar::SetPosition(int value) {
    if (position_ != value) {
        position_ = value;
        update();
        Q_EMIT valueChanged(value);
    }
}

void TLumoProgressBar::setRange(int low, int high) {
    SetMin(low);
    SetMax(high);
}

int TLumoProgressBar::FillWidth() const {
    if (max_ == min_)
        return 0;
    const double exact = static_cast<double>(width()) / (static_cast<double>(max_) - min_) *
                         (static_cast<double>(position_) - min_);
    // nearbyint rounds in the current mode, which is to nearest with ties to even unless
    // someone changed it; say so explicitly.
    const int saved = std::fegetround();
    std::fesetround(FE_TONEAREST);
    const double rounded = std::nearbyint(exact);
    std::fesetround(saved);
    return static_cast<int>(std::clamp(rounded, 0.0, static_cast<double>(width())));
}

QImage TLumoProgressBar::PaintBar() const {
    QImage buffer(size(), QImage::Format_ARGB32_Premultiplied);
    buffer.fill(Qt::black);
    QPainter p(&buffer);
    const QImage gray = SkinImage("LumoProgress_GRAY");
    if (!gray.isNull())
        p.drawImage(0, 0, ScaleKeepEdges(gray, size()));
    if (position_ > min_) {
        const QImage colour = SkinImage("LumoProgress_COLOR");
        const int step = std::max(1, colour.width());
        const int fill = FillWidth();
        int x = 0;
        while (x < fill) {
            const int right = std::min(x + step, width());
            p.drawImage(QRect(x, 0, right - x, height()), colour);
            x += step;
        }
        p.drawImage(x, 0, SkinImage("LumoProgress_ARR"));
    }
    return buffer;
}

void TLumoProgressBar::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.drawImage(0, 0, PaintBar());
}

} // namespace korvello
