// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/SkinFrame.h"

#include "ui/LumoButton.h"
#include "ui/Skin.h"
#include "ui/SunImage.h"

#include <QEvent>
#include <QLabel>

#include <utility>

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

constexpr int kTitleHeight = 37;
constexpr int kBottomHeight = 18;

// Keeps the bottom strip and side lines of a window in place when its size changes.
class FrameKeeper : public QObject {
public:
    explicit FrameKeeper(QWidget* window) : QObject(window), window_(window) {
        setObjectName(QStringLiteral("SkinFrameKeeper"));
        window->installEventFilter(this);
    }
    static FrameKeeper* Of(QWidget* window) {
        auto* keeper = window->findChild<FrameKeeper*>(QStringLiteral("SkinFrameKeeper"),
                                                       Qt::FindDirectChildrenOnly);
        return keeper != nullptr ? keeper : new FrameKeeper(window);
    }
    void SetBottom(std::vector<QWidget*> pieces) {
        bottom_ = std::move(pieces);
        Place();
    }
    void AddLine(QWidget* line, bool right) {
        lines_.push_back({line, right});
        Place();
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == window_ && event->type() == QEvent::Resize)
            Place();
        return false;
    }

private:
    void Place() {
        const int w = window_->width();
        const int h = window_->height();
        if (bottom_.size() == 3) {
            bottom_[0]->setGeometry(0, h - kBottomHeight, 13, kBottomHeight);
            bottom_[1]->setGeometry(13, h - kBottomHeight, w - 26, kBottomHeight);
            bottom_[2]->setGeometry(w - 13, h - kBottomHeight, 13, kBottomHeight);
        }
        for (const auto& [line, right] : lines_)
            line->setGeometry(right ? w - 1 : 0, kTitleHeight, 1, h - kTitleHeight - kBottomHeight);
    }

    QWidget* window_;
    std::vector<QWidget*> bottom_;
    std::vector<std::pair<QWidget*, bool>> lines_;
};

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
    std::vector<QWidget*> pieces = {
        Picture(window, "BottomLeft", 0, 0, 13, kBottomHeight),
        Picture(window, "BottomBack", 0, 0, 1, kBottomHeight, true),
        Picture(window, "BottomRight", 0, 0, 13, kBottomHeight),
    };
    FrameKeeper::Of(window)->SetBottom(pieces);
    return pieces;
}

QWidget* AddSideLine(QWidget* window, bool right) {
    QWidget* line = Picture(window, "SideLine", 0, 0, 1, 1, true);
    FrameKeeper::Of(window)->AddLine(line, right);
    return line;
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
