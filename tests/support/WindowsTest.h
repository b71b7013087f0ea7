#pragma once
// SPDX-License-Identifier: GPL-3.0-or-later
// The program's three windows on the fake machine, made as the program entry makes them,
// for tests of what the user meets in them.

#include "copyout/FrmReport.h"
#include "core/ApplicationWindows.h"
#include "core/FrmMain.h"
#include "settings/FrmOption.h"
#include "support/AppFixture.h"

#include <QApplication>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace korvello::test {

class WindowsTest : public ::testing::Test {
protected:
    AppFixture fx;
    std::unique_ptr<TApplicationWindows> windows;

    TFormMain& Main() { return windows->FormMain; }
    TFormOption& Options() { return windows->FormOption; }
    TFormReport& Report() { return windows->FormReport; }

    // Makes the windows and shows the main one; with `sampleIpod`, the sample songs are
    // on an iPod mapped as e: first.
    void OpenWindows(bool sampleIpod) {
        if (sampleIpod)
            fx.MapDrive("e:", fx.MakeiPod("ipod", AppFixture::SampleSongs()));
        windows = std::make_unique<TApplicationWindows>(*fx.platform, fx.dialogs);
        Main().show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&Main()));
    }

    // Opens the options window with the Option button and runs `step` while it is shown.
    void WithOptions(const std::function<void()>& step) {
        fx.dialogs.onModal = [&](QWidget* window) {
            window->show();
            QApplication::processEvents();
            step();
            window->hide();
        };
        const auto before = fx.dialogs.Count("modal");
        QTest::mouseClick(Main().XP_Button3, Qt::LeftButton);
        ASSERT_EQ(fx.dialogs.Count("modal"), before + 1)
            << "the Option button did not open the window";
    }
};

} // namespace korvello::test
