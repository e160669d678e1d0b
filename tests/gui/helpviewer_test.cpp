#include "gui/window/helpviewer.h"
#include "guitest.h"

#include <QPointer>
#include <QTextBrowser>

#include <sys/stat.h>

namespace {

const std::string HELP_FILE = KAVEL_HELP_SOURCE;

CHelpViewer* FindViewer() {
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (auto* viewer = dynamic_cast<CHelpViewer*>(widget); viewer && viewer->isVisible())
            return viewer;
    return nullptr;
}

QString PageText(CHelpViewer* viewer) {
    return viewer->findChild<QTextBrowser*>("helpText")->toPlainText();
}

struct HelpViewerTest : BoxRecorder {
    void TearDown() override {
        CallHelp(HELP_QUIT, 0);
        EXPECT_TRUE(QTest::qWaitFor([] { return FindViewer() == nullptr; }, 2000));
    }
};

// While the help file cannot be read the viewer says so on its page; a help file put in place
// later is read at the next call. Every call reaches one viewer until it quits.
TEST_F(HelpViewerTest, HelpCommandsReachOneViewerThatReadsTheFileWhenItComes) {
    CTempDir dir;
    InstallHelpViewer(dir / "kavel.html");
    EXPECT_TRUE(CallHelp(HELP_CONTEXT, 3000));
    const QPointer<CHelpViewer> first = FindViewer();
    ASSERT_NE(first, nullptr);
    EXPECT_TRUE(PageText(first).contains(QString::fromStdString(dir / "kavel.html")));
    EXPECT_TRUE(PageText(first).contains("../share/kavel2000/")); // both places it is looked for
    EXPECT_TRUE(CallHelp(HELP_PARTIALKEY, 0));
    WriteWholeFile(dir / "kavel.html", ReadWholeFile(HELP_FILE));
    const std::tuple<unsigned, unsigned long, const char*> calls[] = {
        {HELP_CONTEXT, 3000, "3000"},
        {HELP_INDEX, 0, "contents"},
        {HELP_CONTEXT, 0x20005, "131077"},
        {HELP_HELPONHELP, 0, "usinghelp"}};
    for (const auto& [command, data, topic] : calls) {
        EXPECT_TRUE(CallHelp(command, data));
        ASSERT_EQ(FindViewer(), first.data());
        EXPECT_EQ(first->CurrentTopic(), topic);
    }
    EXPECT_TRUE(CallHelp(HELP_QUIT, 0));
    EXPECT_TRUE(QTest::qWaitFor([&] { return first.isNull(); }, 2000));
    EXPECT_TRUE(CallHelp(HELP_CONTEXT, 0x20003));
    ASSERT_NE(FindViewer(), nullptr);
    EXPECT_EQ(FindViewer()->CurrentTopic(), "131075");
}

// Help files that cannot serve: the viewer says so on its page and every topic can be asked
// for. Files without topics load.
TEST_F(HelpViewerTest, HelpFilesThatCannotServeAreReportedOnThePage) {
    CTempDir dir;
    ASSERT_EQ(::mkdir((dir / "adir.html").c_str(), 0755), 0);
    ASSERT_EQ(::mkfifo((dir / "fifo.html").c_str(), 0644), 0);
    // A viewer that opened the FIFO would hang here until the test's time limit ends it.
    std::string garbage;
    for (int i = 0; i < 200000; ++i)
        garbage.push_back(static_cast<char>(i * 7919 % 251));
    const std::pair<const char*, std::string> files[] = {
        {"missing.html", ""},
        {"adir.html", ""},
        {"fifo.html", ""},
        {"empty", ""},
        {"binary", garbage},
        {"not UTF-8", "<html><body>\xff\xfe<a name=\"\xe9\"></a><h1>\x80</h1></body></html>"},
        {"unclosed", "<body><a name=\"contents\"></a><h1>Contents<!-- keywords: a;"}};
    for (const auto& [name, bytes] : files) {
        const bool bUnreadable = std::string(name).ends_with(".html");
        if (!bUnreadable)
            WriteWholeFile(dir / name, bytes);
        CHelpViewer viewer(dir / name);
        EXPECT_EQ(viewer.Load(), !bUnreadable) << name;
        viewer.ShowContext(3000);
        viewer.ShowContext(0xFFFFFFFFul);
        viewer.ShowContents();
        viewer.ShowUsingHelp();
        viewer.ShowSearch();
        EXPECT_EQ(PageText(&viewer).contains("cannot be read"), bUnreadable) << name;
        EXPECT_FALSE(PageText(&viewer).isEmpty()) << name;
    }
}

} // namespace
