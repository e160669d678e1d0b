// In-source markers: a hit accepted where it stands, found by the scan on any line, in any
// piece of a long line, on the line before; stale ones told in file order; accepted results
// out of every machine format and the exit status, and out of a baseline made from them.
#include "core/report/json.h"
#include "support/reporttool.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

namespace {

struct MarkerTest : ReportToolTest {
    void SetUp() override { WriteWholeFile(strings, "year\n19\nDATE\n"); }
    // The grep records of a run on the files, and its exit status.
    std::string Grep(const std::vector<std::string>& files, int& status,
                     std::vector<std::string> extra = {}) {
        std::vector<std::string> args = {"--format", "grep"};
        args.insert(args.end(), extra.begin(), extra.end());
        args.insert(args.end(), files.begin(), files.end());
        const CToolRun run = Run(args);
        status = run.status;
        return run.out;
    }
};

TEST_F(MarkerTest, AMarkerAcceptsWhatItNamesOnItsLineOrTheNext) {
    const std::string cut(1100, '-');
    for (const char* end : {"\n", "\r\n"}) {
        const auto lines = [end](std::initializer_list<std::string> all) {
            std::string text;
            for (const std::string& line : all)
                text += line + end;
            return text;
        };
        WriteWholeFile(dir / "a.c",
                       lines({
                           "int year; // kavel-ignore",               // 1 all on the line
                           "year 19 /* KAVEL-IGNORE: Year */",        // 2 only "year"
                           "// kavel-ignore-next-line: 19, date -->", // 3 for line 4
                           "19 and date",                             // 4 accepted
                           "year " + cut + " kavel-ignore",           // 5 another piece
                           "// kavel-ignore-next-line",               // 6 for line 7
                           "year",                                    // 7 accepted
                           "# kavel-ignore: year",                    // 8 only in it
                           "date",                                    // 9 no marker
                       }));
        int status;
        for (const char* jobs : {"1", "2"}) {
            EXPECT_EQ(Grep({"a.c"}, status, {"--jobs", jobs}),
                      "a.c:2:year 19 /* KAVEL-IGNORE: Year */\na.c:9:date\n")
                << jobs;
            EXPECT_EQ(status, 1);
        }
        // The report still shows every line that holds a string, and --no-markers every one.
        EXPECT_NE(ReadWholeFile(output).find("kavel-ignore-next-line: 19"), std::string::npos);
        const std::string all = Grep({"a.c"}, status, {"--no-markers"});
        EXPECT_EQ(std::count(all.begin(), all.end(), '\n'), 8);
        // A marker in a piece of its own before the line's string: the string is the line's.
        WriteWholeFile(dir / "c.c",
                       lines({"kavel-ignore: foo " + std::string(1100, 'x') + " year"}));
        EXPECT_EQ(Grep({"c.c"}, status).substr(0, 6), "c.c:1:");
        EXPECT_EQ(status, 1);
        // All accepted: the check passes.
        WriteWholeFile(dir / "b.c", lines({"year // kavel-ignore", "19"}) +
                                        "// kavel-ignore-next-line\n" + "19");
        EXPECT_EQ(Grep({"b.c"}, status), "b.c:2:19\n");
        WriteWholeFile(dir / "b.c", lines({"year // kavel-ignore"}));
        EXPECT_EQ(Grep({"b.c"}, status), "");
        EXPECT_EQ(status, 0);
    }
}

// Stale markers on standard error, in file order at any job count and with --quiet; the exit
// status changes only with --strict-markers.
TEST_F(MarkerTest, StaleMarkersAreToldAndFailOnlyWhenStrict) {
    WriteWholeFile(dir / "a.c", "ok // kavel-ignore\nyear // kavel-ignore: 19, year\n"
                                "// kavel-ignore-next-line: date\nyear\nclean\n"
                                "// kavel-ignore-next-line\n");
    // An item cannot forge a line of standard error or fill it.
    WriteWholeFile(dir / "b.c",
                   "nothing\n// kavel-ignore:\n// kavel-ignore: \x1b]0;x" + std::string(50, 'a'));
    const std::string told = "kavel-report: a.c:1: stale marker: accepts nothing\n"
                             "kavel-report: a.c:2: stale marker: \"19\" is not on the line\n"
                             "kavel-report: a.c:3: stale marker: \"date\" is not on the line\n"
                             "kavel-report: a.c:6: stale marker: accepts nothing\n"
                             "kavel-report: b.c:2: stale marker: accepts nothing\n"
                             "kavel-report: b.c:3: stale marker: \"?]0;x" +
                             std::string(35, 'a') + "...\" is not on the line\n";
    for (const char* jobs : {"1", "2"}) {
        CToolRun run = Run({"--quiet", "--jobs", jobs, "a.c", "b.c"});
        EXPECT_EQ(run.err, told);
        EXPECT_EQ(run.status, 1); // line 4's "year"
    }
    // A tree of stale markers: the first thousand named, the rest counted.
    std::string many;
    for (int i = 0; i < 1002; ++i)
        many += "// kavel-ignore\n";
    WriteWholeFile(dir / "a.c", many);
    CToolRun run = Run({"--quiet", "--strict-markers", "a.c"});
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1001);
    EXPECT_TRUE(run.err.ends_with("a.c:1000: stale marker: accepts nothing\n"
                                  "kavel-report: and 2 more stale markers\n"));
    EXPECT_EQ(run.status, 1);
    WriteWholeFile(dir / "a.c", "ok // kavel-ignore\nyear // kavel-ignore\n");
    EXPECT_EQ(Run({"--quiet", "a.c"}).status, 0);
    EXPECT_EQ(Run({"--quiet", "--strict-markers", "a.c"}).status, 1);
    EXPECT_EQ(Run({"--quiet", "--no-markers", "a.c"}).err, "");
}

// With --all-results the accepted ones show, marked; a baseline made so skips them, so that a
// marker removed later makes its hit new.
TEST_F(MarkerTest, AcceptedResultsAreMarkedAndNoPartOfABaseline) {
    WriteWholeFile(dir / "a.c", "// kavel-ignore-next-line: 19\nyear 19\n");
    CToolRun run = Run({"--format", "json", "--all-results", "a.c"});
    EXPECT_NE(run.out.find(R"("accepted":["19"])"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find(R"("problems":1,"new":1)"), std::string::npos) << run.out;
    run = Run({"--format", "sarif", "--all-results", "a.c"});
    CJson log;
    ASSERT_TRUE(ParseJson(run.out, log));
    const auto& results = log.At("runs/0/results")->items;
    ASSERT_EQ(results.size(), 2u);
    EXPECT_EQ(results[0].Get("suppressions"), nullptr);
    EXPECT_EQ(results[1].At("suppressions/0/kind")->text, "inSource");
    WriteWholeFile(dir / "base.sarif", run.out);
    WriteWholeFile(dir / "a.c", "year 19\n"); // the marker gone, the line as it was
    run = Run({"--format", "sarif", "--baseline", "base.sarif", "a.c"});
    ASSERT_TRUE(ParseJson(run.out, log));
    ASSERT_EQ(log.At("runs/0/results")->items.size(), 1u);
    EXPECT_EQ(log.At("runs/0/results/0/message/text")->text,
              "Potential problem: the line holds \"19\"");
    EXPECT_EQ(run.status, 1);
}

// A line is judged piece by piece: a marker far along a long line still accepts what came
// before it, and a line longer than memory allows is no longer held whole.
TEST_F(MarkerTest, AMarkerFarAlongALongLineAcceptsItsStringsAndTheLineIsNotHeld) {
    std::string line;
    while (line.size() < (40 << 20))
        line += "year is ";
    WriteWholeFile(dir / "long.c", line + "// kavel-ignore: year, 19\n19\n");
    CToolRun run = Run({"--quiet", "--jobs", "1", "long.c"});
    EXPECT_EQ(run.err, "kavel-report: long.c:1: stale marker: \"19\" is not on the line\n");
    EXPECT_EQ(run.status, 1); // line 2
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
    options.memoryLimit = 32 << 20;
    run = Run({"--format", "sarif", "--jobs", "1", "long.c"});
    EXPECT_EQ(run.status, 1) << run.err;
    EXPECT_NE(run.out.find("\"startLine\":2,"), std::string::npos);
    EXPECT_EQ(run.out.find("\"startLine\":1,"), std::string::npos);
#endif
    std::filesystem::remove(dir / "long.c");
}

} // namespace
