// Entry point of the widget tests: a private profile, a QApplication on the
// offscreen platform, then every GoogleTest case.
#include "PrivateProfile.h"

#include <QApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    UsePrivateProfile();
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
