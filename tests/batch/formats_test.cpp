// kavel-report's inputs and outputs for trees and pipelines: lists of names, and standard
// output as grep lines, JSON Lines or a SARIF log, the same for every number of jobs.
#include "batch/formats.h"
#include "support/json.h"
#include "support/reporttool.h"
#include "support/testfiles.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <set>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

TEST(JsonString, EscapesWhatJsonCannotHoldAndKeepsUtf8) {
    const std::pair<std::string, std::string> cases[] = {
        {"plain text", "\"plain text\""},
        {"q\"b\\s", "\"q\\\"b\\\\s\""},
        {"\r\n\t\x01\x1f\x7f", "\"\\r\\n\\t\\u0001\\u001f\x7f\""},
        {"caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80",
         "\"caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80\""},
        // Not UTF-8: a lone byte above 0x7F, a cut sequence, an overlong form, a surrogate.
        {"\xff\xe9t\xe9", "\"\\u00ff\\u00e9t\\u00e9\""},
        {"\xe2\x82", "\"\\u00e2\\u0082\""},
        {"\xc0\x80", "\"\\u00c0\\u0080\""},
        {"\xed\xa0\x80", "\"\\u00ed\\u00a0\\u0080\""},
    };
    for (const auto& [bytes, json] : cases) {
        EXPECT_EQ(JsonString(bytes), json);
        CJson value;
        EXPECT_TRUE(ParseJson(JsonString(bytes), value)) << json;
    }
}

TEST(UriReference, RelativeBelowTheDirectoryElseAFileUri) {
    EXPECT_EQ(UriReference("/w/src/a.c", "/w"), "src/a.c");
    EXPECT_EQ(UriReference("/w/src/a.c", "/w/"), "src/a.c");
    EXPECT_EQ(UriReference("/wx/a.c", "/w"), "file:///wx/a.c");
    EXPECT_EQ(UriReference("/w/a b%#?\xc3\xa9.c", "/w"), "a%20b%25%23%3F%C3%A9.c");
    EXPECT_EQ(RelativePath("/w/src/a.c", "/w"), "src/a.c");
    EXPECT_EQ(RelativePath("/elsewhere/a.c", "/w"), "/elsewhere/a.c");
}

struct ToolFixture : ::testing::Test {
    CTempDir dir;
    CToolOptions options;
    std::string strings = dir / "y2k.str", output = dir / "report.txt";

    void SetUp() override {
        options.program = KAVEL_REPORT_PATH;
        options.cwd = dir.Path();
        WriteWholeFile(strings, "year\n19\nDATE\n");
    }
    CToolRun Run(std::vector<std::string> args) {
        args.insert(args.begin(), {"--strings", strings, "--output", output});
        return FinishReportTool(dir, StartReportTool(dir, options, args));
    }
};

// A tree with hits (one line holding two strings), a file that cannot be opened and one that
// cannot be read.
struct FormatFixture : ToolFixture {
    void SetUp() override {
        ToolFixture::SetUp();
        std::filesystem::create_directories(dir / "src/sub");
        WriteWholeFile(dir / "src/a.c", "int year = 1999;\nok\n\"q\" date\t\xff\n");
        WriteWholeFile(dir / "src/sub/b.c", "nothing\r\n");
        WriteWholeFile(dir / "src/sp ace.c", "19\n");
        ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
    }
    std::vector<std::string> Args(const char* format, const char* jobs) {
        return {"--format", format, "--jobs", jobs, "src", "fifo", "/proc/self/mem"};
    }
};

TEST_F(FormatFixture, GrepLinesAreAsGrepPrintsThem) {
    const CToolRun run = Run(Args("grep", "1"));
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.out, "src/a.c:1:int year = 1999;\n"
                       "src/a.c:3:\"q\" date\t\xff\n"
                       "src/sp ace.c:1:19\n");
    EXPECT_NE(run.err.find("fifo: Failed to open file."), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("/proc/self/mem: Failed to read file."), std::string::npos);
    // The output file keeps the report.
    EXPECT_NE(ReadWholeFile(output).find("  Potential problem in line 3:\r\n  >\"q\" date"),
              std::string::npos);
}

TEST_F(FormatFixture, JsonLinesAreEachAValidObject) {
    const CToolRun run = Run(Args("json", "1"));
    EXPECT_EQ(run.status, 2);
    std::vector<CJson> objects;
    for (size_t start = 0; start < run.out.size();) {
        const size_t end = run.out.find('\n', start);
        ASSERT_NE(end, std::string::npos);
        objects.emplace_back();
        ASSERT_TRUE(ParseJson(run.out.substr(start, end - start), objects.back()))
            << run.out.substr(start, end - start);
        start = end + 1;
    }
    std::vector<std::string> types;
    for (const CJson& o : objects)
        types.push_back(o.Get("type")->text);
    // src/a.c, "src/sp ace.c", src/sub/b.c, fifo, /proc/self/mem.
    EXPECT_EQ(types, (std::vector<std::string>{"hit", "hit", "file", "hit", "file", "file", "file",
                                               "file", "summary"}));
    EXPECT_EQ(objects[1].Get("path")->text, dir / "src/a.c");
    EXPECT_EQ(objects[1].Get("line")->number, 3);
    EXPECT_EQ(objects[1].Get("text")->text, "\"q\" date\t\xc3\xbf"); // the byte 0xFF as U+00FF
    EXPECT_EQ(objects[2].Get("lines")->number, 3);
    EXPECT_EQ(objects[2].Get("problems")->number, 2);
    EXPECT_EQ(objects[2].Get("status")->text, "ok");
    EXPECT_EQ(objects[6].Get("status")->text, "failed-open");
    EXPECT_EQ(objects[7].Get("status")->text, "failed-read");
    const CJson& summary = objects.back();
    EXPECT_EQ(summary.Get("files")->number, 5);
    EXPECT_EQ(summary.Get("failed")->number, 2);
    EXPECT_EQ(summary.Get("problems")->number, 3);
    EXPECT_FALSE(summary.Get("cancelled")->b);
    // The failed files are named on standard error too, as in every format.
    EXPECT_NE(run.err.find("fifo: Failed to open file."), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("/proc/self/mem: Failed to read file."), std::string::npos);
}

// The members that SARIF 2.1.0 requires, and what code scanning needs to place a result.
TEST_F(FormatFixture, SarifIsOneLogWithAResultPerStringOnItsLine) {
    const CToolRun run = Run(Args("sarif", "1"));
    EXPECT_EQ(run.status, 2);
    CJson log;
    ASSERT_TRUE(ParseJson(run.out, log)) << run.out;
    EXPECT_EQ(log.Get("version")->text, "2.1.0");
    ASSERT_EQ(log.Get("runs")->items.size(), 1u);
    const CJson& sarifRun = log.Get("runs")->items[0];
    EXPECT_EQ(sarifRun.At("tool/driver/name")->text, "Kavel 2000");
    EXPECT_EQ(sarifRun.At("tool/driver/version")->text, "1.0.0");
    std::set<std::string> ruleIds;
    for (const CJson& rule : sarifRun.At("tool/driver/rules")->items) {
        EXPECT_TRUE(ruleIds.insert(rule.Get("id")->text).second);
        EXPECT_FALSE(rule.At("shortDescription/text")->text.empty());
    }
    // Slots: 1 year, 2 19, 3 DATE. Line 1 of a.c holds "year" and "19".
    EXPECT_EQ(ruleIds, (std::set<std::string>{"S1", "S2", "S3"}));
    std::vector<std::string> found;
    for (const CJson& result : sarifRun.Get("results")->items) {
        ASSERT_TRUE(ruleIds.count(result.Get("ruleId")->text));
        EXPECT_FALSE(result.At("message/text")->text.empty());
        const CJson* location = result.At("locations/0/physicalLocation");
        ASSERT_NE(location, nullptr);
        found.push_back(location->At("artifactLocation/uri")->text + ":" +
                        std::to_string(int(location->At("region/startLine")->number)) + ":" +
                        result.Get("ruleId")->text);
    }
    EXPECT_EQ(found, (std::vector<std::string>{"src/a.c:1:S1", "src/a.c:1:S2", "src/a.c:3:S3",
                                               "src/sp%20ace.c:1:S2"}));
    EXPECT_FALSE(sarifRun.At("invocations/0/executionSuccessful")->b);
    EXPECT_EQ(sarifRun.At("invocations/0/toolExecutionNotifications")->items.size(), 2u);
    EXPECT_EQ(sarifRun.At("originalUriBaseIds/SRCROOT/uri")->text, "file://" + dir.Path() + "/");
}

TEST_F(FormatFixture, EveryFormatIsTheSameForAnyNumberOfJobs) {
    for (const char* format : {"report", "grep", "json", "sarif"}) {
        const CToolRun one = Run(Args(format, "1"));
        const std::string report = ReadWholeFile(output);
        const CToolRun two = Run(Args(format, "2"));
        const auto body = [](const std::string& text) { // the report's time is its own
            const size_t created = text.find("Created: ");
            return created == std::string::npos ? text : text.substr(text.find('\n', created));
        };
        EXPECT_EQ(body(one.out), body(two.out)) << format;
        EXPECT_EQ(body(report), body(ReadWholeFile(output))) << format;
        EXPECT_EQ(one.status, two.status) << format;
    }
}

// A run that fails before it checks anything is no successful execution: a strings file that
// is missing, or that holds no string. The base of relative URIs is a well-formed file URI,
// also for the root folder.
TEST_F(ToolFixture, SarifTellsARunThatFailed) {
    WriteWholeFile(dir / "a.c", "year\n");
    for (const bool bEmpty : {false, true}) {
        if (bEmpty)
            WriteWholeFile(strings, "");
        else
            std::filesystem::remove(strings);
        const CToolRun run = Run({"--format", "sarif", "a.c"});
        EXPECT_EQ(run.status, 2);
        CJson log;
        ASSERT_TRUE(ParseJson(run.out, log)) << run.out;
        const CJson* invocation = log.At("runs/0/invocations/0");
        ASSERT_NE(invocation, nullptr);
        EXPECT_FALSE(invocation->Get("executionSuccessful")->b) << bEmpty;
        ASSERT_NE(invocation->Get("toolExecutionNotifications"), nullptr);
        EXPECT_EQ(invocation->Get("toolExecutionNotifications")->items.size(), 1u);
    }
    WriteWholeFile(strings, "year\n");
    options.cwd = "/";
    const CToolRun root = Run({"--format", "sarif", dir / "a.c"});
    CJson log;
    ASSERT_TRUE(ParseJson(root.out, log)) << root.out;
    const CJson* base = log.At("runs/0/originalUriBaseIds/SRCROOT/uri");
    const CJson* uri = log.At("runs/0/results/0/locations/0/physicalLocation/artifactLocation/uri");
    ASSERT_TRUE(base != nullptr && uri != nullptr);
    EXPECT_EQ(base->text, "file:///");
    EXPECT_EQ(uri->text, (dir / "a.c").substr(1));
}

// Names read from a pipe are checked as they come and shown while the list keeps quiet, and a
// stop ends the run whole (as stopped, not as a complete list) while the list has nothing more
// to say: while its writer is not there yet, and while it keeps quiet.
TEST_F(ToolFixture, AListFromAPipeIsCheckedAsItComesAndAStopEndsIt) {
    WriteWholeFile(dir / "a.c", "year\n");
    const std::string fifo = dir / "names";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::vector<std::string> args{"--strings", strings, "--output",     output,
                                        "--format",  "json",  "--files-from", fifo};
    pid_t pid = StartReportTool(dir, options, args);
    std::this_thread::sleep_for(std::chrono::milliseconds(200)); // waits for a writer
    ::kill(pid, SIGTERM);
    EXPECT_EQ(FinishReportTool(dir, pid).status, 130);

    pid = StartReportTool(dir, options, args);
    const int writer = ::open(fifo.c_str(), O_WRONLY);
    ASSERT_GE(writer, 0);
    ASSERT_EQ(::write(writer, "a.c\n", 4), 4);
    // Both outputs show the file while the run waits for the next name.
    WaitForFileStart(output, "a.c\r\n  Potential problem in line 1:");
    WaitForFileStart(dir / "stdout", "{\"type\":\"file\"");
    EXPECT_NE(ReadWholeFile(output).find("a.c\r\n  Potential problem in line 1:"), std::string::npos);
    EXPECT_NE(ReadWholeFile(dir / "stdout").find("{\"type\":\"file\""), std::string::npos);
    ::kill(pid, SIGTERM);
    const CToolRun run = FinishReportTool(dir, pid);
    ::close(writer);
    EXPECT_EQ(run.status, 130);
    const size_t last = run.out.rfind('\n', run.out.size() - 2) + 1;
    CJson summary;
    ASSERT_TRUE(ParseJson(run.out.substr(last), summary)) << run.out;
    EXPECT_TRUE(summary.Get("cancelled")->b);
    EXPECT_EQ(summary.Get("files")->number, 1);
}

// The walk starts once the output file is there: a walk of the folder that holds it lists it
// on every run (it was missed now and then when the walk went first).
TEST_F(ToolFixture, AnOutputFileInTheWalkIsListedOnEveryRun) {
    WriteWholeFile(dir / "a.c", "none\n");
    for (int i = 0; i < 20; ++i) {
        std::filesystem::remove(dir / "new.txt");
        const CToolRun run = Run({"--output", "new.txt", "--format", "json", "."});
        ASSERT_NE(run.out.find("\"path\":\"" + dir.Path() + "/./new.txt\""), std::string::npos)
            << i << run.out;
    }
}

// A stopped run still ends each format whole: the JSON summary says so, the SARIF log is one
// valid document.
TEST_F(ToolFixture, AStoppedRunEndsEveryFormatWhole) {
    std::string big;
    for (int i = 1; i <= 200000; ++i)
        big += i % 10 == 0 ? "year " + std::to_string(i) + "\n" : "text\n";
    WriteWholeFile(dir / "big.txt", big);
    for (const char* format : {"json", "sarif"}) {
        std::vector<std::string> args{"--strings", strings, "--output", output, "--format", format};
        for (int i = 0; i < 300; ++i)
            args.push_back("big.txt");
        const pid_t pid = StartReportTool(dir, options, args);
        WaitForFileStart(output, "Using Search");
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        ::kill(pid, SIGTERM);
        const CToolRun run = FinishReportTool(dir, pid);
        EXPECT_EQ(run.status, 130) << format;
        if (std::string(format) == "json") {
            const size_t last = run.out.rfind('\n', run.out.size() - 2) + 1;
            CJson summary;
            ASSERT_TRUE(ParseJson(run.out.substr(last), summary)) << run.out.substr(last);
            EXPECT_TRUE(summary.Get("cancelled")->b);
        } else {
            CJson log;
            ASSERT_TRUE(ParseJson(run.out, log));
            EXPECT_FALSE(log.At("runs/0/invocations/0/executionSuccessful")->b);
        }
    }
}

// Names from a list: LF or CR LF lines, NUL-separated, on standard input, and many of them.
TEST_F(ToolFixture, NamesComeFromAListAfterThoseOnTheCommandLine) {
    WriteWholeFile(dir / "a.c", "year\n");
    WriteWholeFile(dir / "b c.c", "none\n");
    std::filesystem::create_directory(dir / "d");
    WriteWholeFile(dir / "d/e.c", "19\n");
    const std::string expected = "a.c:1:year\nd/e.c:1:19\n";
    WriteWholeFile(dir / "list", "b c.c\r\nd\n\n");
    CToolRun run = Run({"--format", "grep", "a.c", "--files-from", dir / "list"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, expected);
    EXPECT_NE(ReadWholeFile(output).find(dir / "b c.c\r\n  1 line(s) checked"), std::string::npos);

    WriteWholeFile(dir / "list0", std::string("a.c\0b c.c\0d", 11));
    run = Run({"--format", "grep", "--null", "--files-from", dir / "list0"});
    EXPECT_EQ(run.out, expected);
    options.stdinFile = dir / "list0";
    run = Run({"--format", "grep", "--null", "--files-from", "-"});
    EXPECT_EQ(run.out, expected);
    options.stdinFile.clear();

    std::string many;
    for (int i = 0; i < 100000; ++i)
        many += i % 2 ? "a.c\n" : "b c.c\n";
    WriteWholeFile(dir / "many", many);
    run = Run({"--quiet", "--files-from", dir / "many"});
    EXPECT_EQ(run.status, 1);
    const std::string report = ReadWholeFile(output);
    size_t files = 0;
    for (size_t at = report.find(" line(s) checked"); at != std::string::npos;
         at = report.find(" line(s) checked", at + 1))
        ++files;
    EXPECT_EQ(files, 100000u);

    run = Run({"--files-from", dir / "missing"});
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.err.find("cannot read the list"), std::string::npos);
}

} // namespace
