// Test main shared by every test executable: a headless Qt application around GoogleTest.
#include <QApplication>
#include <QDir>
#include <csignal>
#include <cstdlib>
#include <gtest/gtest.h>

#include "tests/common/test_support.h"

int main(int argc, char** argv)
{
    // Test discovery runs the binary without the test's environment.
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    // As the program does: a write over a file-size limit fails instead of ending the process.
    signal(SIGXFSZ, SIG_IGN);
    // The user's settings are not the tests': before the application reads or writes any.
    const orvix_test::ScopedPrivateHome home;
    // Test processes run side by side: each is a group of program instances of its own, so
    // that no test's instance handshake meets another test's program. The folder is in the
    // private temporary folder, removed with the home.
    if (!getenv("ORVIX_INSTANCES"))
        setenv("ORVIX_INSTANCES", orvix_test::MakeTempDir("orvix-instances").c_str(), 1);
    testing::InitGoogleTest(&argc, argv);
    int result;
    {
        QApplication app(argc, argv);
        result = RUN_ALL_TESTS();
    }
    return result;
}
