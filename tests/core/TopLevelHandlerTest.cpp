// SPDX-License-Identifier: GPL-3.0-or-later
// The top-level handler: a failure that escapes an unguarded handler of the real window
// shows the error box titled "Korvello A" and the program goes on handling events.
//
// This binary has its own main: the handler is the application object itself, so the
// tests run under TKorvelloApplication instead of the plain QApplication of the others.
#include "core/ApplicationWindows.h"
#include "core/KorvelloApplication.h"
#include "support/AppFixture.h"

#include <QMetaObject>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <cstdlib>
#include <stdexcept>

using namespace korvello;
using namespace korvello::test;

namespace {

TKorvelloApplication* App() {
    return static_cast<TKorvelloApplication*>(QCoreApplication::instance());
}

class TopLevelHandlerTest : public ::testing::Test {
protected:
    AppFixture fx;
    TApplicationWindows windows{*fx.platform, fx.dialogs};

    void SetUp() override {
        App()->SetDialogs(&fx.dialogs);
        windows.FormMain.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&windows.FormMain));
    }
    void TearDown() override { App()->SetDialogs(nullptr); }

    std::vector<FakeDialogs::Call> Errors() const {
        std::vector<FakeDialogs::Call> out;
        for (const auto& c : fx.dialogs.calls)
            if (c.kind == "error")
                out.push_back(c);
        return out;
    }
};

TEST_F(TopLevelHandlerTest, AThrowingButtonHandlerShowsTheBoxAndTheWindowStaysUsable) {
    // The options button has no guard of its own: a failure while its window is shown
    // escapes the click handler.
    int shown = 0;
    fx.dialogs.onModal = [&](QWidget*) {
        if (++shown == 1)
            throw std::runtime_error("Options window broke");
    };
    QTest::mouseClick(windows.FormMain.XP_Button3, Qt::LeftButton);

    const auto errors = Errors();
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].title, "Korvello A");
    EXPECT_EQ(errors[0].text, "Options window broke.");

    // The program carried on: the same button works again, and so does the status line.
    QTest::mouseClick(windows.FormMain.XP_Button3, Qt::LeftButton);
    EXPECT_EQ(shown, 2);
    EXPECT_EQ(fx.dialogs.Count("error"), 1);
    EXPECT_TRUE(windows.FormMain.isVisible());
}

TEST_F(TopLevelHandlerTest, QueuedWorkAfterAFailureStillRunsAndTheFullStopRuleHolds) {
    // Events queued for the window (as the worker's messages are) keep being handled
    // after one of them fails; a text already ending in a character that sorts before
    // "." keeps its end.
    bool after = false;
    auto* form = &windows.FormMain;
    QMetaObject::invokeMethod(
        form, [] { throw std::runtime_error("Disk gone!"); }, Qt::QueuedConnection);
    QMetaObject::invokeMethod(
        form, [] { throw std::runtime_error("Path too long"); }, Qt::QueuedConnection);
    QMetaObject::invokeMethod(
        form, [&] { after = true; }, Qt::QueuedConnection);
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();

    EXPECT_TRUE(after);
    const auto errors = Errors();
    ASSERT_EQ(errors.size(), 2u);
    EXPECT_EQ(errors[0].text, "Disk gone!");
    EXPECT_EQ(errors[1].text, "Path too long.");
    EXPECT_EQ(TopLevelErrorText(""), "");
    EXPECT_EQ(TopLevelErrorText("ends."), "ends.");
}

} // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    TKorvelloApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
