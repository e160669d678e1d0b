// main() of the widget tests: headless platform and private settings and runtime folders,
// set before the QApplication exists so that no test touches the real home directory.
#include <QApplication>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

int main(int argc, char** argv) {
    if (std::getenv("QT_QPA_PLATFORM") == nullptr)
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    std::string base = "/tmp/kavel-guitest-XXXXXX";
    if (::mkdtemp(base.data()) == nullptr)
        return 2;
    const std::string config = base + "/config", runtime = base + "/runtime";
    ::mkdir(config.c_str(), 0700);
    ::mkdir(runtime.c_str(), 0700);
    ::setenv("XDG_CONFIG_HOME", config.c_str(), 1);
    ::setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    ::setenv("HOME", base.c_str(), 1);

    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    const int result = RUN_ALL_TESTS();
    std::string remove = "rm -rf '" + base + "'";
    if (std::system(remove.c_str()) != 0)
        return result ? result : 1;
    return result;
}
