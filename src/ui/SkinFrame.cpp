#include "ui/SkinFrame.h"

#include "ui/LumoButton.h"
#include "ui/Skin.h"
#include "ui/SunImage.h"

#include <QLabel>

namespace korvello {

namespace {

TSunImage* Picture(QWidget* parent, const char* picture, int x, int y, int w, int h,
                   bool stretch = false) {
    auto* image = new TSunImage(parent);
    image->setObjectName(QString::fromLatin1(picture));
    image->SetPicture(picture, stretch);
    image->setGeometry(x, y, w, h);
    return image;
}

} // namespace

std::vector<QWidget*> AddTitleStrip(QWidget* window, const QString& title, QLabel** titleLabel) {
    const int w = window->width();
    std::vector<QWidget*> pictures = {
        Picture(window, "TitleBack", 0, 0, w, 37, true),
        Picture(window, "TitleEndLeft", 0, 0, 9, 31),
        Picture(window, "TitleEndRight", w - 9, 0, 9, 31),
        Picture(window, "OrnamentLeft", 8, 1, 32, 32),
        Picture(window, "TitleCapLeft", 42, 5, 13, 24),
    };
    auto* label = new QLabel(window);
    label->setObjectName(QStringLiteral("TitleText"));
    label->setTextFormat(Qt::PlainText);
    label->setText(title);
    label->setFont(SkinFont("MS Sans Serif", 9, true));
    QPalette pal = label->palette();
    pal.setColor(QPalette::WindowText, QColor(245, 255, 91));
    label->setPalette(pal);
    label->setGeometry(60, 5, w / 2, 24);
    label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    label->setAttribute(Qt::WA_TransparentForMouseEvents);
    if (titleLabel != nullptr)
        *titleLabel = label;
    return pictures;
}

std::vector<QWidget*> AddBottomStrip(QWidget* window) {
    const int w = window->width();
    const int top = window->height() - 18;
    return {
        Picture(window, "BottomLeft", 0, top, 13, 18),
        Picture(window, "BottomBack", 13, top, w - 26, 18, true),
        Picture(window, "BottomRight", w - 13, top, 13, 18),
    };
}

TLumoButtonSmall* MakeTitleBarButton(QWidget* parent, const char* glyph) {
    auto* button = new TLumoButtonSmall(parent);
    button->SetPicture(SkinPixmap(glyph));
    button->SetPicPos(TLumoButtonBase::pLeft);
    button->SetPicOffSet(0);
    button->resize(18, 18);
    return button;
}

} // namespace korvello
