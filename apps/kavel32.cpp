// kavel32: the window program. Of its command line it reads only --help and --version.
#include "gui/base/helpcall.h"
#include "gui/window/app.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

#ifndef KAVEL_VERSION
#define KAVEL_VERSION "0"
#endif

namespace {

const char USAGE[] = "Usage: kavel32 [--help | --version]\n"
                     "Kavel 2000, the window program: checks the files chosen in its window for\n"
                     "lines that hold search strings and writes a report. It needs a display;\n"
                     "any other argument is ignored.\n"
                     "For scripts and pipelines, kavel-report makes the same report without a\n"
                     "window (see kavel-report --help).\n"
                     "\n"
                     "  --help     show this help and exit\n"
                     "  --version  show the version and exit\n";

// --help and --version are answered before anything of the window system is touched, so that
// packaging scripts and headless checks can ask; the first of them counts. false: neither.
bool AnswerCommandLine(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            std::fputs("kavel32 " KAVEL_VERSION "\n", stdout);
            return true;
        }
        if (std::strcmp(argv[i], "--help") == 0) {
            std::fputs(USAGE, stdout);
            return true;
        }
    }
    return false;
}

// With KAVEL32_SHOW_HELP_FILE set, the program only prints the help file a help call would
// show and ends: the install checks use it to see that an installed program finds its help.
bool ShowHelpFile() {
    if (std::getenv("KAVEL32_SHOW_HELP_FILE") == nullptr)
        return false;
    std::string self(4096, '\0');
    const ssize_t n = ::readlink("/proc/self/exe", self.data(), self.size());
    self.resize(n > 0 ? static_cast<size_t>(n) : 0);
    std::printf("%s\n", FirstHelpFile(HelpFileCandidates(self)).c_str());
    return true;
}

} // namespace

int main(int argc, char** argv) {
    if (ShowHelpFile() || AnswerCommandLine(argc, argv))
        return std::fflush(stdout) == 0 ? 0 : 2;
    CMainApp app(argc, argv);
    if (!app.InitInstance())
        return app.ExitInstance();
    CMainApp::exec();
    return app.ExitInstance();
}
