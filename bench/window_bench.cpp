// Usage: kavel-window-bench CORPUS_DIR STRINGS_FILE [ROUNDS [KAVEL_REPORT]]
// Times a report run in the main window (headless, every file under CORPUS_DIR selected, seen
// through one folder of links since the window lists one folder) against
// kavel-report on the same files in the same order (with one job and with one per processor),
// alternating, and prints the best time of each and their ratios. Both outputs must hold the same
// report apart from the two header lines that name the output file and the time.
#include "core/lines/linefile.h"
#include "core/run/scanpool.h"
#include "core/text/resource.h"
#include "gui/base/controlids.h"
#include "gui/widgets/filebrowser.h"
#include "gui/window/mainframe.h"
#include "gui/window/settings.h"

#include <QApplication>
#include <QListWidget>
#include <QTest>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <spawn.h>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#ifndef KAVEL_REPORT_PATH
#define KAVEL_REPORT_PATH "kavel-report"
#endif

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point from) {
    return std::chrono::duration<double>(Clock::now() - from).count();
}

double CpuSeconds(const rusage& usage) {
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// This process's processor time so far, all threads.
double OwnCpuSeconds() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return CpuSeconds(usage);
}

// Runs the batch tool; returns its wall time (and its processor time in cpu), or a negative
// number when it could not run.
double RunBatch(const std::string& tool, const std::string& strings, const std::string& output,
                const std::vector<std::string>& files, const char* jobs, double& cpu) {
    std::vector<std::string> args = {tool,   "--strings", strings,  "--output",
                                     output, "--quiet",   "--jobs", jobs};
    args.insert(args.end(), files.begin(), files.end());
    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    // posix_spawn rather than fork: a fork would leave this process's pages copy-on-write, and
    // the window's next run would pay a page fault for each page it writes.
    const Clock::time_point start = Clock::now();
    pid_t pid = -1;
    if (::posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0)
        return -1;
    int status = 0;
    rusage usage{};
    if (::wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) || WEXITSTATUS(status) > 1)
        return -1;
    cpu = CpuSeconds(usage);
    return Seconds(start);
}

// The report without the lines that differ by nature: the time and the output file's name.
std::string ComparableReport(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::string line, result;
    while (std::getline(in, line))
        if (line.rfind("Created: ", 0) != 0 && line.rfind("Writing to output file: ", 0) != 0)
            result += line + "\n";
    return result;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s CORPUS_DIR STRINGS_FILE [ROUNDS [KAVEL_REPORT]]\n",
                     argv[0]);
        return 2;
    }
    const std::string corpus = argv[1];
    char resolved[4096];
    if (::realpath(argv[2], resolved) == nullptr) {
        std::fprintf(stderr, "cannot find the strings file %s\n", argv[2]);
        return 2;
    }
    const std::string strings = resolved;
    const int rounds = argc > 3 ? std::max(1, std::atoi(argv[3])) : 3;
    const std::string tool = argc > 4 ? argv[4] : KAVEL_REPORT_PATH;

    if (std::getenv("QT_QPA_PLATFORM") == nullptr)
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    std::string work = "/tmp/kavel-window-bench-XXXXXX";
    if (::mkdtemp(work.data()) == nullptr)
        return 2;
    ::setenv("XDG_CONFIG_HOME", work.c_str(), 1);
    QApplication app(argc, argv);

    const std::string windowOutput = work + "/window.txt", batchOutput = work + "/batch.txt";
    CSettingsStore store(QString::fromStdString(work + "/settings.conf"));
    store.WriteSettingString("Application", "Output", windowOutput);
    store.WriteSettingString("Application", "SearchStrings", strings);
    // Every file of the corpus, its folders included, as a link in one folder.
    const std::string flat = work + "/files";
    std::error_code error;
    std::filesystem::create_directory(flat, error);
    for (const auto& entry : std::filesystem::recursive_directory_iterator(corpus, error)) {
        if (!entry.is_regular_file())
            continue;
        std::string name = std::filesystem::relative(entry.path(), corpus).string();
        std::replace(name.begin(), name.end(), '/', '_');
        std::filesystem::create_symlink(std::filesystem::absolute(entry.path()), flat + "/" + name,
                                        error);
    }
    if (error || EnterDirectory(flat) != 0) {
        std::fprintf(stderr, "cannot list %s\n", corpus.c_str());
        return 2;
    }
    CMainFrame frame(store);
    frame.resize(1024, 768);
    frame.show();
    if (!QTest::qWaitForWindowExposed(&frame))
        return 2;
    auto* list = frame.findChild<QListWidget*>(QStringLiteral("IDC_FILE_LIST"));
    list->selectAll();
    std::vector<std::string> files;
    for (int i = 0; i < list->count(); ++i)
        files.push_back(FileListEntryName(list->item(i)));
    std::printf("%zu files in %s\n", files.size(), corpus.c_str());

    // The window checks the files on every processor, as kavel-report does by default;
    // kavel-report --jobs 1 shows what one thread does.
    const std::string processors = std::to_string(ProcessorCount());
    double bestWindow = 1e30, bestWindowCpu = 1e30;
    double bestBatch[2] = {1e30, 1e30}, bestBatchCpu[2] = {1e30, 1e30};
    const char* const jobs[2] = {"1", processors.c_str()};
    double cpu = 0;
    RunBatch(tool, strings, batchOutput, files, "1", cpu); // warms the page cache
    bool same = true;
    for (int round = 0; round < rounds; ++round) {
        for (int j = 0; j < 2; ++j) {
            const double batch = RunBatch(tool, strings, batchOutput, files, jobs[j], cpu);
            if (batch < 0) {
                std::fprintf(stderr, "%s failed\n", tool.c_str());
                return 2;
            }
            std::printf("round %d: kavel-report --jobs %s %.3f s (cpu %.3f s)\n", round + 1,
                        jobs[j], batch, cpu);
            bestBatch[j] = std::min(bestBatch[j], batch);
            bestBatchCpu[j] = std::min(bestBatchCpu[j], cpu);
        }
        frame.RunCommand(ID_EDIT_CLEAR_SCREEN);
        const double cpuBefore = OwnCpuSeconds();
        const Clock::time_point start = Clock::now();
        frame.RunCommand(ID_FILE_START_REPORTING);
        const double window = Seconds(start);
        const double windowCpu = OwnCpuSeconds() - cpuBefore;
        std::printf("round %d: window %.3f s (cpu %.3f s)\n", round + 1, window, windowCpu);
        bestWindow = std::min(bestWindow, window);
        bestWindowCpu = std::min(bestWindowCpu, windowCpu);
        same = same && ComparableReport(windowOutput) == ComparableReport(batchOutput);
    }
    std::printf("best: window %.3f s (cpu %.3f s)\n", bestWindow, bestWindowCpu);
    for (int j = 0; j < 2; ++j)
        std::printf("best: kavel-report --jobs %s %.3f s (cpu %.3f s); window / batch = %.3f "
                    "(cpu %.3f)\n",
                    jobs[j], bestBatch[j], bestBatchCpu[j], bestWindow / bestBatch[j],
                    bestWindowCpu / bestBatchCpu[j]);
    std::printf("reports %s\n", same ? "agree" : "DIFFER");
    const std::string remove = "rm -rf '" + work + "'";
    if (std::system(remove.c_str()) != 0)
        std::fprintf(stderr, "could not remove %s\n", work.c_str());
    return same ? 0 : 1;
}
