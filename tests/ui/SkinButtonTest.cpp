// SPDX-License-Identifier: GPL-3.0-or-later
// How the skinned buttons and the selector behave under real mouse and key events.
#include "ui/LumoButton.h"
#include "ui/SunSimpleComboBox.h"

#include <QApplication>
#include <QDialog>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

using namespace korvello;

namespace {

void SendMouse(QWidget* widget, QEvent::Type type, QPoint at, Qt::MouseButtons held) {
    const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent event(type, QPointF(at), QPointF(widget->mapToGlobal(at)), button, held,
                      Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
}

struct ButtonInWindow {
    QWidget window;
    TLumoButton* button = new TLumoButton(QStringLiteral("Copy"), &window);
    ButtonInWindow() {
        window.resize(200, 100);
        button->setGeometry(20, 20, 56, 29);
        window.show();
        window.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&window));
    }
};

TEST(SkinButton, PressThenMoveOffThenReleaseDoesNotClick) {
    ButtonInWindow w;
    QSignalSpy clicks(w.button, &QAbstractButton::clicked);
    const QPoint inside(28, 14);
    const QPoint outside(120, 14);
    SendMouse(w.button, QEvent::MouseButtonPress, inside, Qt::LeftButton);
    EXPECT_EQ(w.button->CurrentLook(), TLumoButtonBase::LookPressed);
    EXPECT_TRUE(w.button->hasFocus());
    SendMouse(w.button, QEvent::MouseMove, outside, Qt::LeftButton);
    EXPECT_EQ(w.button->CurrentLook(), TLumoButtonBase::LookNormal);
    SendMouse(w.button, QEvent::MouseButtonRelease, outside, Qt::NoButton);
    EXPECT_EQ(clicks.count(), 0);

    // Back on the button before the release, the press still counts.
    SendMouse(w.button, QEvent::MouseButtonPress, inside, Qt::LeftButton);
    SendMouse(w.button, QEvent::MouseMove, outside, Qt::LeftButton);
    SendMouse(w.button, QEvent::MouseMove, inside, Qt::LeftButton);
    EXPECT_EQ(w.button->CurrentLook(), TLumoButtonBase::LookPressed);
    SendMouse(w.button, QEvent::MouseButtonRelease, inside, Qt::NoButton);
    EXPECT_EQ(clicks.count(), 1);
    EXPECT_EQ(w.button->CurrentLook(), TLumoButtonBase::LookNormal);
}

TEST(SkinButton, AQuickDoubleClickClicksOnce) {
    ButtonInWindow w;
    QSignalSpy clicks(w.button, &QAbstractButton::clicked);
    const QPoint inside(28, 14);
    SendMouse(w.button, QEvent::MouseButtonPress, inside, Qt::LeftButton);
    SendMouse(w.button, QEvent::MouseButtonRelease, inside, Qt::NoButton);
    SendMouse(w.button, QEvent::MouseButtonDblClick, inside, Qt::LeftButton);
    EXPECT_EQ(w.button->CurrentLook(), TLumoButtonBase::LookPressed);
    SendMouse(w.button, QEvent::MouseButtonRelease, inside, Qt::NoButton);
    EXPECT_EQ(clicks.count(), 1);
}

TEST(SkinButton, DisabledButtonIgnoresPresses) {
    ButtonInWindow w;
    QSignalSpy clicks(w.button, &QAbstractButton::clicked);
    w.button->setEnabled(false);
    const QPoint inside(28, 14);
    SendMouse(w.button, QEvent::MouseButtonPress, inside, Qt::LeftButton);
    SendMouse(w.button, QEvent::MouseButtonRelease, inside, Qt::NoButton);
    EXPECT_EQ(clicks.count(), 0);
    EXPECT_EQ(w.button->EffectiveLook(w.button->CurrentLook()), TLumoButtonBase::LookDisabled);
}

TEST(SkinButton, EnterAndSpaceClickTheFocusedButtonOnRelease) {
    ButtonInWindow w;
    QSignalSpy clicks(w.button, &QAbstractButton::clicked);
    w.button->setFocus();
    for (Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Space}) {
        const int before = clicks.count();
        QTest::keyPress(w.button, key);
        EXPECT_EQ(w.button->CurrentLook(), TLumoButtonBase::LookPressed);
        EXPECT_EQ(clicks.count(), before) << "clicked on the key's press";
        QTest::keyRelease(w.button, key);
        EXPECT_EQ(clicks.count(), before + 1);
        EXPECT_EQ(w.button->CurrentLook(), TLumoButtonBase::LookNormal);
    }
    // Other keys do nothing.
    QTest::keyClick(w.button, Qt::Key_A);
    EXPECT_EQ(clicks.count(), 3);
}

TEST(SkinButton, AnAcceleratorFocusesAndClicksAnEnabledButton) {
    ButtonInWindow w;
    auto* other = new TLumoButton(QStringLiteral("&Go"), &w.window);
    other->setGeometry(100, 20, 56, 29);
    other->show();
    QSignalSpy clicks(other, &QAbstractButton::clicked);
    w.button->setFocus();
    QTest::keyClick(&w.window, Qt::Key_G, Qt::AltModifier);
    QTRY_COMPARE(clicks.count(), 1);
    EXPECT_TRUE(other->hasFocus());

    other->setEnabled(false);
    QTest::keyClick(&w.window, Qt::Key_G, Qt::AltModifier);
    QApplication::processEvents();
    EXPECT_FALSE(other->hasFocus());
    EXPECT_EQ(clicks.count(), 1);
}

TEST(SkinButton, FocusedButtonShowsTheFocusFrameUnlessPressedOrHovered) {
    ButtonInWindow w;
    w.button->clearFocus();
    EXPECT_EQ(w.button->EffectiveLook(TLumoButtonBase::LookNormal), TLumoButtonBase::LookNormal);
    w.button->setFocus();
    EXPECT_EQ(w.button->EffectiveLook(TLumoButtonBase::LookNormal), TLumoButtonBase::LookFocus);
    EXPECT_EQ(w.button->EffectiveLook(TLumoButtonBase::LookOver), TLumoButtonBase::LookOver);
    EXPECT_EQ(w.button->EffectiveLook(TLumoButtonBase::LookPressed), TLumoButtonBase::LookPressed);
}

TEST(SkinButton, ModalResultClosesTheDialogAfterTheClickHandler) {
    QDialog dialog;
    auto* button = new TLumoButton(QStringLiteral("Save"), &dialog);
    button->SetModalResult(QDialog::Accepted);
    bool visibleInHandler = false;
    QObject::connect(button, &QAbstractButton::clicked,
                     [&] { visibleInHandler = dialog.isVisible(); });
    dialog.open();
    button->click();
    EXPECT_TRUE(visibleInHandler);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    QApplication::processEvents();
    EXPECT_FALSE(dialog.isVisible());

    // Without a result the dialog stays.
    auto* other = new TLumoButton(QStringLiteral("Other"), &dialog);
    dialog.open();
    other->click();
    QApplication::processEvents();
    EXPECT_TRUE(dialog.isVisible());
    dialog.close();
}

TEST(SkinButton, GlyphAboveTheCaptionIsCentredAsABlock) {
    QWidget window;
    window.setStyleSheet(QString());
    TLumoButton button(QStringLiteral("Go"), &window);
    button.resize(60, 60);
    QPixmap glyph(10, 10);
    glyph.fill(QColor(255, 0, 255));
    button.SetPicture(glyph);
    const int textHeight = QFontMetrics(button.font()).height();
    const int top = (60 - (10 + 2 + textHeight)) / 2;
    QImage face = button.PaintFace(TLumoButtonBase::LookNormal);
    EXPECT_EQ(face.pixel(25, top) & 0xffffff, 0xff00ffu);
    EXPECT_EQ(face.pixel(34, top + 9) & 0xffffff, 0xff00ffu);
    EXPECT_NE(face.pixel(24, top) & 0xffffff, 0xff00ffu);
    EXPECT_NE(face.pixel(25, top - 1) & 0xffffff, 0xff00ffu);

    // Its transparent colour lets the frame through; disabled, it is a flat silhouette.
    button.SetPicTrans(true);
    button.SetPicTransColor(QColor(255, 0, 255));
    face = button.PaintFace(TLumoButtonBase::LookNormal);
    EXPECT_NE(face.pixel(25, top) & 0xffffff, 0xff00ffu);
}

TEST(SkinButton, TheSelectorsDropButtonFollowsTheList) {
    QWidget panel;
    panel.resize(200, 100);
    auto* combo = new TSunSimpleComboBox(&panel);
    combo->setObjectName(QStringLiteral("iPodSelectorCom"));
    combo->setGeometry(49, 59, 127, 21);
    panel.show();
    QApplication::processEvents();

    auto* button = panel.findChild<TComboButton*>(QStringLiteral("iPodSelectorComListButton"));
    ASSERT_NE(button, nullptr);
    EXPECT_EQ(button->parentWidget(), &panel);
    EXPECT_EQ(button->geometry(), QRect(49 + 127 - 20, 59 + 2, 18, 17));
    EXPECT_STREQ(button->ArrowName(), "COMBUTTONOVER");

    combo->setGeometry(10, 5, 100, 25);
    EXPECT_EQ(button->geometry(), QRect(90, 7, 18, 21));
    combo->setVisible(false);
    EXPECT_TRUE(button->isHidden());
    combo->setVisible(true);
    EXPECT_FALSE(button->isHidden());
}

} // namespace
