// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <QApplication>

// Widgets need one QApplication for the whole run; no display is needed to run the tests.
int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
