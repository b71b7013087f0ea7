// SPDX-License-Identifier: GPL-3.0-or-later
// The main of every window test: a QApplication on the offscreen platform, so tests of
// windows can create real widgets and send real events, then GoogleTest.
#include <QApplication>
#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
