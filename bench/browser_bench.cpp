// Times the file browser's refill in a directory of many files (default 100,000):
// browser_bench [count]. Prints the time of the fills alone and of the fills with the
// visible lists laid out and painted, best and median of several rounds.
#include "gui/widgets/filebrowser.h"

#include <QApplication>
#include <QListWidget>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

const int ROUNDS = 7;

double Milliseconds(std::chrono::steady_clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

void Print(const char* what, std::vector<double> times) {
    std::sort(times.begin(), times.end());
    std::printf("%-34s best %8.1f ms   median %8.1f ms\n", what, times.front(),
                times[times.size() / 2]);
}

} // namespace

int main(int argc, char** argv) {
    const int nFiles = argc > 1 ? std::atoi(argv[1]) : 100000;
    if (std::getenv("QT_QPA_PLATFORM") == nullptr)
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    std::string dir = "/tmp/kavel-bench-XXXXXX";
    if (::mkdtemp(dir.data()) == nullptr || ::chdir(dir.c_str()) != 0) {
        std::perror("temporary folder");
        return 2;
    }
    for (int i = 0; i < nFiles; ++i) {
        // Mixed case and lengths, in no sorted order.
        const std::string name =
            (i % 3 ? "file" : "Data") + std::to_string(i * 7919 % nFiles) + (i % 5 ? ".txt" : ".C");
        const int fd = ::open(name.c_str(), O_CREAT | O_WRONLY, 0644);
        if (fd < 0) {
            std::perror(name.c_str());
            return 2;
        }
        ::close(fd);
    }
    for (const char* sub : {"src", "lib", "old.src"})
        ::mkdir(sub, 0755);

    QApplication app(argc, argv);
    QListWidget files, dirs;
    files.setSelectionMode(QAbstractItemView::ExtendedSelection);
    files.resize(400, 600);
    dirs.resize(200, 600);
    files.show();
    dirs.show();
    QApplication::processEvents();

    std::vector<double> fills, shown;
    for (int round = 0; round < ROUNDS; ++round) {
        const auto start = std::chrono::steady_clock::now();
        FillDirectoryList(&dirs);
        FillFileList(&files, "*.*");
        const auto filled = std::chrono::steady_clock::now();
        files.viewport()->repaint();
        dirs.viewport()->repaint();
        QApplication::processEvents();
        const auto painted = std::chrono::steady_clock::now();
        fills.push_back(Milliseconds(filled - start));
        shown.push_back(Milliseconds(painted - start));
    }
    std::printf("%d files, %d entries listed\n", nFiles, files.count());
    Print("fill directory and file lists", fills);
    Print("fill, lay out and paint", shown);

    const std::string remove = "rm -rf '" + dir + "'";
    return std::system(remove.c_str()) == 0 && files.count() == nFiles ? 0 : 1;
}
