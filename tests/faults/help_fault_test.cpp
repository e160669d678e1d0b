// Help files that cannot serve: the viewer says so on its page, every help call still
// succeeds, and the program goes on; a help file put in place later is read at the next call.
#include "core/text/helpcall.h"
#include "gui/window/helpviewer.h"
#include "support/testfiles.h"

#include <QApplication>
#include <QPointer>
#include <QTest>
#include <QTextBrowser>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

QString PageText(CHelpViewer& viewer) {
    return viewer.findChild<QTextBrowser*>("helpText")->toPlainText();
}

// Every way of asking the viewer for something.
void AskForEverything(CHelpViewer& viewer) {
    viewer.ShowContext(3000);
    viewer.ShowContext(0xFFFFFFFFul);
    viewer.ShowContents();
    viewer.ShowUsingHelp();
    viewer.ShowSearch();
}

TEST(HelpFileFaults, AFileThatCannotBeReadIsReportedOnThePage) {
    CTempDir dir;
    ASSERT_EQ(::mkdir((dir / "adir.html").c_str(), 0755), 0);
    ASSERT_EQ(::mkfifo((dir / "fifo.html").c_str(), 0644), 0);
    // Should the viewer open the FIFO, a writer comes along to let it go again, and the test
    // fails instead of hanging.
    std::atomic<bool> done{false};
    std::thread unblock([&] {
        while (!done) {
            int fd = ::open((dir / "fifo.html").c_str(), O_WRONLY | O_NONBLOCK);
            if (fd >= 0)
                ::close(fd);
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    });
    for (const char* name : {"missing.html", "adir.html", "fifo.html"}) {
        CHelpViewer viewer(dir / name);
        EXPECT_FALSE(viewer.Load()) << name;
        AskForEverything(viewer);
        EXPECT_TRUE(PageText(viewer).contains("cannot be read")) << name;
        EXPECT_TRUE(PageText(viewer).contains(QString::fromStdString(dir / name))) << name;
    }
    done = true;
    unblock.join();
}

TEST(HelpFileFaults, FilesWithoutTopicsLoadAndSaySo) {
    CTempDir dir;
    std::mt19937 rng(3000);
    std::string garbage;
    for (int i = 0; i < 200000; ++i)
        garbage.push_back(static_cast<char>(rng()));
    std::string manyAnchors;
    for (int i = 0; i < 20000; ++i)
        manyAnchors += "<a name=\"3000\"></a><h1>";
    const std::pair<const char*, std::string> files[] = {
        {"empty", ""},
        {"binary", garbage},
        {"not UTF-8", "<html><body>\xff\xfe<a name=\"\xe9\"></a><h1>\x80</h1></body></html>"},
        {"unclosed tags", "<body><a name=\"contents\"></a><h1>Contents<!-- keywords: a;"},
        {"one topic many times, unclosed", manyAnchors},
    };
    for (const auto& [name, bytes] : files) {
        WriteWholeFile(dir / "kavel.html", bytes);
        CHelpViewer viewer(dir / "kavel.html");
        EXPECT_TRUE(viewer.Load()) << name;
        AskForEverything(viewer);
        EXPECT_FALSE(PageText(viewer).isEmpty()) << name;
    }
}

TEST(HelpFileFaults, HelpCallsGoOnAndAFileAddedLaterIsRead) {
    CTempDir dir;
    InstallHelpViewer(dir / "kavel.html");
    EXPECT_TRUE(CallHelp(HELP_CONTEXT, 3000));
    EXPECT_TRUE(CallHelp(HELP_PARTIALKEY, 0));
    EXPECT_TRUE(CallHelp(HELP_INDEX, 0));
    WriteWholeFile(dir / "kavel.html",
                   "<body><a name=\"3000\"></a><h1>Main window</h1>here</body>");
    EXPECT_TRUE(CallHelp(HELP_CONTEXT, 3000));
    QPointer<CHelpViewer> viewer;
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (auto* found = dynamic_cast<CHelpViewer*>(widget); found && found->isVisible())
            viewer = found;
    ASSERT_FALSE(viewer.isNull());
    EXPECT_EQ(viewer->CurrentTopic(), "3000");
    EXPECT_TRUE(CallHelp(HELP_QUIT, 0));
    EXPECT_TRUE(QTest::qWaitFor([&] { return viewer.isNull() || !viewer->isVisible(); }, 2000));
    SetHelpHandler({});
}

} // namespace
