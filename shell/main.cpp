// kavel32: the window program. It reads no command-line arguments.
#include "shell/app.h"
#include "toolkit/helpcall.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace {

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
    if (ShowHelpFile())
        return 0;
    CMainApp app(argc, argv);
    if (!app.InitInstance())
        return app.ExitInstance();
    CMainApp::exec();
    return app.ExitInstance();
}
