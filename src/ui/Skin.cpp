// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/Skin.h"

#include <QAbstractItemView>
#include <QFontDatabase>
#include <QHash>
#include <QMenu>
#include <QPainter>
#include <QString>
#include <QStringList>

static void InitSkinResources() {
    // The pictures live in a static library; the resource must be registered by hand.
    Q_INIT_RESOURCE(skin);
}

namespace korvello {

QImage SkinImage(const char* name) {
    static const bool registered = (InitSkinResources(), true);
    (void)registered;
    static QHash<QString, QImage> cache;
    const QString key = QString::fromLatin1(name);
    auto found = cache.constFind(key);
    if (found != cache.constEnd())
        return *found;
    QImage image(QStringLiteral(":/skin/%1.png").arg(key));
    if (!image.isNull())
        image = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    cache.insert(key, image);
    return image;
}

QPixmap SkinPixmap(const char* name) {
    return QPixmap::fromImage(SkinImage(name));
}

QImage CutFrame(const QImage& strip, int n) {
    const int frameWidth = strip.width() / 5;
    return strip.copy((n - 1) * frameWidth, 0, frameWidth, strip.height());
}

QImage ScaleKeepEdges(const QImage& picture, QSize target) {
    const int w = picture.width();
    const int h = picture.height();
    const int W = target.width();
    const int H = target.height();
    if (w <= 0 || h <= 0 || W <= 0 || H <= 0)
        return QImage();

    // Horizontally into a W x h intermediate.
    QImage wide(W, h, QImage::Format_ARGB32_Premultiplied);
    wide.fill(Qt::transparent);
    {
        QPainter p(&wide);
        p.setCompositionMode(QPainter::CompositionMode_Source);
        const int half = w / 2;
        if (W - 2 * half > 0)
            p.drawImage(QRect(half, 0, W - 2 * half, h), picture, QRect(half, 0, 1, h));
        p.drawImage(QPoint(0, 0), picture, QRect(0, 0, half, h));
        p.drawImage(QPoint(W - half, 0), picture, QRect(w - half, 0, half, h));
    }

    // Vertically into the result.
    QImage result(W, H, QImage::Format_ARGB32_Premultiplied);
    result.fill(Qt::transparent);
    QPainter p(&result);
    p.setCompositionMode(QPainter::CompositionMode_Source);
    const int half = h / 2;
    const int bottomRows = half + 1;
    const int middle = H - half - bottomRows;
    if (middle > 0)
        p.drawImage(QRect(0, half, W, middle), wide, QRect(0, half, W, 1));
    p.drawImage(QPoint(0, 0), wide, QRect(0, 0, W, half));
    p.drawImage(QRect(0, H - bottomRows, W, bottomRows), wide, QRect(0, half, W, h - half));
    return result;
}

namespace {

// The first installed family of a list of candidates, or the last candidate.
QString FirstInstalled(const QStringList& candidates) {
    const QStringList families = QFontDatabase::families();
    for (const QString& family : candidates)
        if (families.contains(family, Qt::CaseInsensitive))
            return family;
    return candidates.last();
}

} // namespace

void InstallFontSubstitutes() {
    static bool done = false;
    if (done)
        return;
    done = true;
    // Noto Sans is close to the width of the old bitmap faces; DejaVu Sans, wider, is the
    // fallback that every Debian has.
    const QString sans =
        FirstInstalled({QStringLiteral("Noto Sans"), QStringLiteral("DejaVu Sans")});
    const QString korean =
        FirstInstalled({QStringLiteral("Noto Sans CJK KR"), QStringLiteral("Noto Sans"),
                        QStringLiteral("DejaVu Sans")});
    QFont::insertSubstitutions(QStringLiteral("MS Sans Serif"),
                               {sans, QStringLiteral("DejaVu Sans")});
    QFont::insertSubstitutions(QStringLiteral("Tahoma"), {sans, QStringLiteral("DejaVu Sans")});
    QFont::insertSubstitutions(QStringLiteral("@Gulim"), {korean, sans});
    QFont::insertSubstitutions(QStringLiteral("Gulim"), {korean, sans});
}

QFont SkinFont(const char* family, int pointSize, bool bold) {
    InstallFontSubstitutes();
    QFont font(QString::fromLatin1(family));
    font.setPointSize(pointSize);
    font.setBold(bold);
    return font;
}

void ApplySkinMenuLook(QMenu* menu) {
    menu->setFont(SkinFont("MS Sans Serif", 8));
    const auto rgb = [](const QColor& c) {
        return QStringLiteral("rgb(%1,%2,%3)").arg(c.red()).arg(c.green()).arg(c.blue());
    };
    menu->setStyleSheet(
        QStringLiteral("QMenu { background-color: %1; border: 1px solid %2; padding: 2px; }"
                       "QMenu::item { padding: 3px 20px 3px 16px; color: black;"
                       " background-color: transparent; }"
                       "QMenu::item:selected { background-color: %3; color: black; }"
                       "QMenu::item:disabled { color: rgb(128,128,128); }"
                       "QMenu::separator { height: 1px; background: rgb(160,160,164);"
                       " margin: 2px 4px; }")
            .arg(rgb(SkinPanelColour()), rgb(SkinFrameColour()), rgb(SkinMarkColour())));
}

void ApplySkinListLook(QAbstractItemView* view) {
    view->setFont(SkinFont("MS Sans Serif", 8));
    QPalette pal = view->palette();
    for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
        pal.setColor(group, QPalette::Highlight, SkinMarkColour());
        pal.setColor(group, QPalette::HighlightedText, Qt::black);
    }
    view->setPalette(pal);
}

} // namespace korvello
