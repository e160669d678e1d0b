// main() of the widget tests: headless platform and private settings and runtime folders,
// set before the QApplication exists so that no test touches the real home directory.
#include "support/testfiles.h"

#include <QApplication>
#include <gtest/gtest.h>

#include <cstdlib>
#include <sys/stat.h>

int main(int argc, char** argv) {
    if (std::getenv("QT_QPA_PLATFORM") == nullptr)
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    const CTempDir home; // removed with all it holds when the tests end
    for (const char* name : {"config", "runtime"})
        ::mkdir((home / name).c_str(), 0700);
    ::setenv("XDG_CONFIG_HOME", (home / "config").c_str(), 1);
    ::setenv("XDG_RUNTIME_DIR", (home / "runtime").c_str(), 1);
    ::setenv("HOME", home.Path().c_str(), 1);
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
