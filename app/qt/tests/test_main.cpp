#include "engine/frame.h"

#include <QApplication>
#include <gtest/gtest.h>

int main(int argc, char *argv[]) {
    // Widget tests need no display: Qt draws into memory.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    build_analysis_tables();
    return RUN_ALL_TESTS();
}
