#include "support/reporttool.h"

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <grp.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

constexpr uid_t NOBODY = 65534;

} // namespace

bool RunningAsRoot() {
    return ::geteuid() == 0;
}

pid_t StartReportTool(const CTempDir& dir, const CToolOptions& options,
                      const std::vector<std::string>& args) {
    const std::string out = dir / "stdout", err = dir / "stderr";
    pid_t pid = ::fork();
    if (pid != 0)
        return pid;
    // The child: only async-signal-safe calls from here on.
    int outFd = options.stdoutFd >= 0 ? options.stdoutFd
                                      : ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
    int errFd = options.stderrFd >= 0 ? options.stderrFd
                                      : ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
    ::dup2(outFd, 1);
    ::dup2(errFd, 2);
    if (!options.stdinFile.empty()) {
        const int inFd = ::open(options.stdinFile.c_str(), O_RDONLY);
        ::dup2(inFd, 0);
    }
    if (options.bUnprivileged &&
        (::setgroups(0, nullptr) != 0 || ::setgid(NOBODY) != 0 || ::setuid(NOBODY) != 0))
        ::_exit(TOOL_CANNOT_DROP_PRIVILEGES);
    if (::chdir(options.cwd.c_str()) != 0)
        ::_exit(99);
    for (const std::string& below : options.cwdBelow)
        if (::chdir(below.c_str()) != 0)
            ::_exit(99);
    if (options.bCloseStdout)
        ::close(1);
    if (options.bIgnoreHangup)
        ::signal(SIGHUP, SIG_IGN);
    if (options.fileSizeLimit > 0) {
        const rlimit size{static_cast<rlim_t>(options.fileSizeLimit),
                          static_cast<rlim_t>(options.fileSizeLimit)};
        ::setrlimit(RLIMIT_FSIZE, &size);
        ::signal(SIGXFSZ, SIG_IGN); // a write past the limit fails instead
    }
    if (options.memoryLimit > 0) {
        const rlimit memory{static_cast<rlim_t>(options.memoryLimit),
                            static_cast<rlim_t>(options.memoryLimit)};
        ::setrlimit(RLIMIT_AS, &memory);
    }
    if (options.stackLimitKb > 0) {
        const rlimit stack{static_cast<rlim_t>(options.stackLimitKb) * 1024,
                           static_cast<rlim_t>(options.stackLimitKb) * 1024};
        ::setrlimit(RLIMIT_STACK, &stack);
    }
    std::vector<char*> argv{const_cast<char*>(options.program.c_str())};
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    ::execv(options.program.c_str(), argv.data());
    ::_exit(98);
}

CToolRun FinishReportTool(const CTempDir& dir, pid_t pid, int timeoutSeconds) {
    CToolRun run;
    int status = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
    pid_t done;
    while ((done = ::waitpid(pid, &status, WNOHANG)) == 0 &&
           std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    if (done == 0) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, &status, 0);
    } else {
        run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    run.out = ReadWholeFile(dir / "stdout");
    run.err = ReadWholeFile(dir / "stderr");
    return run;
}
