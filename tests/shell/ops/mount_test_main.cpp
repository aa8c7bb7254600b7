// The main of the tests that mount file systems. They run in a mount namespace
// of their own, made before any thread starts so that every thread shares it:
// nothing they mount is seen outside, and it all goes when the process ends.
#include "tests/shell/ops/mount_support.h"

#include <QGuiApplication>
#include <clocale>
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>

namespace kelvora::test {
bool mountsAvailable = false;
}

int main(int argc, char** argv) {
    std::setlocale(LC_ALL, "");
    kelvora::test::mountsAvailable =
        ::unshare(CLONE_NEWNS) == 0 &&
        ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
