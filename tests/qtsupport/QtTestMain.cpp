// The main of the Qt tests: Qt runs on the offscreen platform, whatever the environment says,
// and one application object lives for the whole run.
#include <QApplication>
#include <cstdlib>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    QApplication::setApplicationName("Quillar");
    return RUN_ALL_TESTS();
}
