// kavel32: the window program. It reads no command-line arguments.
#include "shell/app.h"

int main(int argc, char** argv) {
    CMainApp app(argc, argv);
    if (!app.InitInstance())
        return app.ExitInstance();
    CMainApp::exec();
    return app.ExitInstance();
}
