#pragma once
// SPDX-License-Identifier: GPL-3.0-or-later
// A group frame with a caption: a rounded frame line that the caption cuts, drawn
// off-screen on the box's own colour.

#include <QColor>
#include <QGroupBox>
#include <QImage>

namespace korvello {

class TXP_GroupBox : public QGroupBox {
    Q_OBJECT

public:
    explicit TXP_GroupBox(QWidget* parent = nullptr) : TXP_GroupBox(QString(), parent) {}
    TXP_GroupBox(const QString& caption, QWidget* parent);

    QColor BorderColor() const { return borderColor_; }
    void SetBorderColor(const QColor& colour);
    QColor CaptionColor() const { return captionColor_; }
    void SetCaptionColor(const QColor& colour);
    QColor Color() const { return color_; }
    void SetColor(const QColor& colour);

    QImage PaintBox() const;

Q_SIGNALS:
    void Click();
    void DblClick();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    QColor borderColor_{208, 208, 191};
    QColor captionColor_{2, 70, 207};
    QColor color_{248, 246, 230};
};

} // namespace korvello
