#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>

// The window tests need one QApplication for the whole process; without a display they run on
// the offscreen platform.
int main(int argc, char** argv) {
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
