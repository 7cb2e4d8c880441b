// Entry point of the core tests: a private profile, a QCoreApplication (so
// that queued invocations and timers can run), then every GoogleTest case.
#include "PrivateProfile.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    UsePrivateProfile();
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
