// SPDX-License-Identifier: GPL-3.0-or-later
#include "Artwork.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QTransform>

#include <array>
#include <cmath>
#include <functional>

namespace korvello::artwork {

namespace {

// The program's colours: the dark window, the light panels and the yellow of the
// captions; the blues are the skin's own.
const QColor kWindow(41, 43, 55);
const QColor kPanel(219, 219, 229);
const QColor kYellow(245, 255, 91);
const QColor kNavy(28, 40, 92);
const QColor kBlue(2, 70, 207);
const QColor kArrowGrey(65, 67, 64);

QImage Blank(int w, int h) {
    QImage image(w, h, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    return image;
}

QLinearGradient Vertical(qreal top, qreal bottom, const QColor& a, const QColor& b) {
    QLinearGradient g(0, top, 0, bottom);
    g.setColorAt(0, a);
    g.setColorAt(1, b);
    return g;
}

QImage Mirrored(const QImage& image) {
    return image.mirrored(true, false);
}

// ---- Window strips --------------------------------------------------------------------

const QColor kStripTop(64, 70, 100);
const QColor kStripBottom(26, 28, 40);

QImage TitleBack(int w) {
    QImage image = Blank(w, 37);
    QPainter p(&image);
    p.fillRect(image.rect(), Vertical(0, 37, kStripTop, kStripBottom));
    p.fillRect(0, 0, w, 1, QColor(110, 118, 160));
    p.fillRect(0, 35, w, 1, QColor(96, 90, 40));
    p.fillRect(0, 36, w, 1, QColor(16, 18, 26));
    return image;
}

QImage TitleEnd() {
    QImage image = Blank(9, 31);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(110, 118, 160), 1));
    p.setBrush(Vertical(0, 31, kStripTop, kStripBottom));
    p.drawRoundedRect(QRectF(0.5, 0.5, 20, 30), 7, 7);
    p.fillRect(QRectF(5, 8, 1, 15), kYellow);
    return image;
}

QImage TitleCentre() {
    QImage image = Blank(289, 37);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(96, 108, 168), 1));
    p.setBrush(Vertical(1, 31, QColor(10, 14, 32), QColor(24, 32, 66)));
    p.drawRoundedRect(QRectF(1.5, 1.5, 286, 29), 7, 7);
    return image;
}

QImage Ornament() {
    QImage image = Blank(32, 32);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QRadialGradient glow(QPointF(13, 13), 14);
    glow.setColorAt(0, QColor(255, 255, 190));
    glow.setColorAt(1, QColor(220, 180, 0));
    p.setPen(QPen(kNavy, 2));
    p.setBrush(glow);
    p.drawEllipse(QRectF(4, 4, 24, 24));
    p.setPen(Qt::NoPen);
    p.setBrush(kNavy);
    p.drawEllipse(QRectF(11, 11, 10, 10));
    p.setBrush(kYellow);
    p.drawEllipse(QRectF(14, 14, 4, 4));
    return image;
}

QImage Cap(int w, int h) {
    QImage image = Blank(w, h);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(kYellow, 1));
    p.setBrush(Vertical(0, h, QColor(70, 104, 204), QColor(20, 32, 96)));
    p.drawRoundedRect(QRectF(0.5, 0.5, 2 * w + 4, h - 1), w - 2, w - 2);
    return image;
}

QImage BottomPiece(int w, bool leftEnd, bool rightEnd) {
    QImage image = Blank(w, 18);
    QPainter p(&image);
    p.fillRect(image.rect(), Vertical(0, 18, kStripBottom, kStripTop));
    p.fillRect(0, 0, w, 1, QColor(16, 18, 26));
    p.fillRect(0, 1, w, 1, QColor(96, 90, 40));
    if (leftEnd)
        p.fillRect(5, 6, 1, 6, kYellow);
    if (rightEnd)
        p.fillRect(w - 6, 6, 1, 6, kYellow);
    return image;
}

QImage SideLine() {
    QImage image(1, 421, QImage::Format_ARGB32);
    image.fill(QColor(84, 90, 124));
    return image;
}

// A corner of a light panel on the dark window: outside the quarter ellipse the window
// shows, inside the panel. Each pixel's share is sampled on a fixed 8x8 grid.
QImage PanelCorner(int w, int h, bool right, bool bottom) {
    QImage image(w, h, QImage::Format_ARGB32);
    const double cx = right ? 0 : w;
    const double cy = bottom ? 0 : h;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            int inside = 0;
            for (int sy = 0; sy < 8; ++sy) {
                for (int sx = 0; sx < 8; ++sx) {
                    const double dx = (x + (sx + 0.5) / 8 - cx) / w;
                    const double dy = (y + (sy + 0.5) / 8 - cy) / h;
                    if (dx * dx + dy * dy <= 1.0)
                        ++inside;
                }
            }
            const double a = inside / 64.0;
            auto mix = [a](int in, int out) {
                return static_cast<int>(std::lround(in * a + out * (1 - a)));
            };
            image.setPixelColor(x, y,
                                QColor(mix(kPanel.red(), kWindow.red()),
                                       mix(kPanel.green(), kWindow.green()),
                                       mix(kPanel.blue(), kWindow.blue())));
        }
    }
    return image;
}

// ---- The labels of the search box and the selector: a small pixel font ----------------

using Glyph = std::array<const char*, 7>;

const Glyph* GlyphFor(char c) {
    static const Glyph S = {" ###", "#   ", "#   ", " ## ", "   #", "   #", "### "};
    static const Glyph e = {"    ", "    ", " ## ", "#  #", "####", "#   ", " ###"};
    static const Glyph a = {"    ", "    ", " ## ", "   #", " ###", "#  #", " ###"};
    static const Glyph r = {"    ", "    ", "# ##", "##  ", "#   ", "#   ", "#   "};
    static const Glyph c_ = {"    ", "    ", " ###", "#   ", "#   ", "#   ", " ###"};
    static const Glyph h = {"#   ", "#   ", "### ", "#  #", "#  #", "#  #", "#  #"};
    static const Glyph i = {"#", " ", "#", "#", "#", "#", "#"};
    static const Glyph P = {"### ", "#  #", "#  #", "### ", "#   ", "#   ", "#   "};
    static const Glyph o = {"    ", "    ", " ## ", "#  #", "#  #", "#  #", " ## "};
    static const Glyph d = {"   #", "   #", " ###", "#  #", "#  #", "#  #", " ###"};
    switch (c) {
    case 'S':
        return &S;
    case 'e':
        return &e;
    case 'a':
        return &a;
    case 'r':
        return &r;
    case 'c':
        return &c_;
    case 'h':
        return &h;
    case 'i':
        return &i;
    case 'P':
        return &P;
    case 'o':
        return &o;
    case 'd':
        return &d;
    default:
        return nullptr;
    }
}

QImage PixelText(int w, int h, const char* text, const QColor& colour) {
    QImage image = Blank(w, h);
    int x = 1;
    const int top = (h - 7) / 2;
    for (const char* t = text; *t != '\0'; ++t) {
        const Glyph* glyph = GlyphFor(*t);
        if (glyph == nullptr)
            continue;
        int width = 0;
        for (int row = 0; row < 7; ++row) {
            const char* line = (*glyph)[row];
            for (int col = 0; line[col] != '\0'; ++col) {
                width = std::max(width, col + 1);
                if (line[col] == '#')
                    image.setPixelColor(x + col, top + row, colour);
            }
        }
        x += width + 1;
    }
    return image;
}

QImage SearchFrame() {
    QImage image = Blank(126, 21);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(132, 140, 176), 1));
    p.setBrush(Qt::white);
    p.drawRoundedRect(QRectF(0.5, 0.5, 125, 20), 2, 2);
    return image;
}

QImage PlayIcon() {
    QImage image = Blank(16, 16);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(kNavy, 1));
    p.setBrush(Vertical(1, 15, QColor(90, 130, 230), QColor(30, 50, 140)));
    p.drawEllipse(QRectF(1, 1, 14, 14));
    p.setPen(Qt::NoPen);
    p.setBrush(kYellow);
    p.drawPolygon(QPolygonF({QPointF(6, 4.5), QPointF(12, 8), QPointF(6, 11.5)}));
    return image;
}

// ---- Button strips: five frames side by side -----------------------------------------
// 1 normal, 2 pressed, 3 disabled, 4 mouse over, 5 keyboard focus.

struct FrameLook {
    QColor top, bottom, border;
    QColor inner; // an inner one-pixel line; transparent for none
};

QImage Strip(int frameW, int h, const std::array<FrameLook, 5>& looks, qreal radius,
             bool squareBottom) {
    QImage image = Blank(5 * frameW, h);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    for (int n = 0; n < 5; ++n) {
        const FrameLook& look = looks[static_cast<std::size_t>(n)];
        p.save();
        p.setClipRect(n * frameW, 0, frameW, h);
        p.translate(n * frameW, 0);
        const QRectF outer(0.5, 0.5, frameW - 1, squareBottom ? h + radius : h - 1);
        p.setPen(QPen(look.border, 1));
        p.setBrush(Vertical(0, h, look.top, look.bottom));
        p.drawRoundedRect(outer, radius, radius);
        if (look.inner.alpha() > 0) {
            p.setPen(QPen(look.inner, 1));
            p.setBrush(Qt::NoBrush);
            p.drawRoundedRect(outer.adjusted(1, 1, -1, squareBottom ? 0 : -1), radius - 1,
                              radius - 1);
        }
        p.restore();
    }
    return image;
}

QImage PushButtonStrip() {
    const QColor edge(10, 16, 46);
    const QColor shine(130, 160, 236, 170);
    return Strip(
        16, 29,
        {{{QColor(64, 98, 200), QColor(20, 34, 100), edge, shine},
          {QColor(16, 26, 78), QColor(48, 76, 170), edge, Qt::transparent},
          {QColor(206, 206, 214), QColor(168, 168, 178), QColor(120, 120, 128), Qt::transparent},
          {QColor(92, 130, 232), QColor(34, 56, 146), edge, shine},
          {QColor(64, 98, 200), QColor(20, 34, 100), edge, kYellow}}},
        4, false);
}

QImage TitleButtonStrip() {
    const QColor edge(104, 112, 156);
    return Strip(25, 22,
                 {{{QColor(66, 72, 104), QColor(30, 34, 52), edge, Qt::transparent},
                   {QColor(20, 24, 40), QColor(50, 56, 86), edge, Qt::transparent},
                   {QColor(120, 120, 128), QColor(92, 92, 100), edge, Qt::transparent},
                   {QColor(74, 108, 210), QColor(30, 48, 130), edge, Qt::transparent},
                   {QColor(66, 72, 104), QColor(30, 34, 52), edge, kYellow}}},
                 4, false);
}

QImage TabStrip() {
    const QColor edge(140, 146, 176);
    return Strip(
        16, 16,
        {{{QColor(246, 248, 254), QColor(198, 204, 226), edge, Qt::transparent},
          {QColor(188, 196, 222), QColor(228, 232, 244), edge, Qt::transparent},
          {QColor(228, 228, 228), QColor(206, 206, 206), QColor(170, 170, 170), Qt::transparent},
          {QColor(255, 255, 238), QColor(238, 232, 170), edge, Qt::transparent},
          {QColor(246, 248, 254), QColor(198, 204, 226), edge, kBlue}}},
        4, true);
}

// ---- Progress pictures ----------------------------------------------------------------

QImage ProgressGray() {
    QImage image(4, 11, QImage::Format_ARGB32);
    image.fill(QColor(18, 20, 32));
    QPainter p(&image);
    p.setPen(QColor(84, 92, 128));
    p.drawRect(0, 0, 3, 10);
    return image;
}

QImage ProgressColor() {
    QImage image(1, 10, QImage::Format_ARGB32);
    QPainter p(&image);
    p.fillRect(image.rect(), Vertical(0, 10, QColor(255, 255, 200), QColor(214, 180, 0)));
    return image;
}

QImage ProgressHead() {
    QImage image(4, 12, QImage::Format_ARGB32);
    QPainter p(&image);
    p.fillRect(image.rect(), Vertical(0, 12, QColor(255, 255, 255), QColor(255, 236, 120)));
    p.fillRect(3, 0, 1, 12, QColor(200, 150, 0));
    return image;
}

QImage ComboArrow(const QColor& colour) {
    QImage image = Blank(11, 11);
    QPainter p(&image);
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    // A solid down-pointing triangle, five pixels wide at the top.
    for (int row = 0; row < 3; ++row)
        p.fillRect(3 + row, 4 + row, 5 - 2 * row, 1, colour);
    return image;
}

QImage GlyphMinimize() {
    QImage image = Blank(10, 10);
    QPainter p(&image);
    p.fillRect(1, 7, 8, 2, kYellow);
    return image;
}

QImage GlyphClose() {
    QImage image = Blank(10, 10);
    for (int i = 1; i < 9; ++i) {
        for (int d = 0; d < 2; ++d) {
            const int x = std::min(8, i + d);
            image.setPixelColor(x, i, kYellow);
            image.setPixelColor(9 - x, i, kYellow);
        }
    }
    return image;
}

} // namespace

std::vector<Picture> DrawAll() {
    std::vector<Picture> all;
    auto add = [&all](const char* name, QImage image) {
        all.push_back({QString::fromLatin1(name), std::move(image)});
    };
    // Main window: title strip.
    add("TitleBack", TitleBack(705));
    add("TitleEndLeft", TitleEnd());
    add("TitleEndRight", Mirrored(TitleEnd()));
    add("TitleCentre", TitleCentre());
    add("OrnamentLeft", Ornament());
    add("OrnamentRight", Mirrored(Ornament()));
    add("TitleCapLeft", Cap(13, 24));
    add("TitleCapRight", Mirrored(Cap(13, 24)));
    // Panels.
    add("PanelCornerTopLeft", PanelCorner(3, 3, false, false));
    add("PanelCornerTopRight", PanelCorner(3, 3, true, false));
    add("PanelCornerBottomLeft", PanelCorner(5, 4, false, true));
    add("PanelCornerBottomRight", PanelCorner(5, 4, true, true));
    add("SearchLabel", PixelText(32, 10, "Search", kNavy));
    add("SearchFrame", SearchFrame());
    add("iPodLabel", PixelText(19, 10, "iPod", kNavy));
    // Bottom row and border.
    add("ButtonCapLeft", Cap(13, 29));
    add("ButtonCapRight", Mirrored(Cap(13, 29)));
    add("BottomLeft", BottomPiece(13, true, false));
    add("BottomBack", BottomPiece(679, false, false));
    add("BottomRight", BottomPiece(13, false, true));
    add("SideLine", SideLine());
    add("PlayIcon", PlayIcon());
    // Widgets.
    add("LumoBUTTON", PushButtonStrip());
    add("LumoBUTTONSMALL", TitleButtonStrip());
    add("LumoBUTTONLIST", TabStrip());
    add("LumoProgress_GRAY", ProgressGray());
    add("LumoProgress_COLOR", ProgressColor());
    add("LumoProgress_ARR", ProgressHead());
    add("COMBUTTONUP", ComboArrow(kBlue));
    add("COMBUTTONOVER", ComboArrow(kArrowGrey));
    add("GlyphMinimize", GlyphMinimize());
    add("GlyphClose", GlyphClose());
    return all;
}

} // namespace korvello::artwork
