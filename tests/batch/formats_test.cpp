// kavel-report's inputs and outputs for trees and pipelines: lists of names, and standard
// output as grep lines, JSON Lines or a SARIF log that point at the files' own lines, name
// files as given, cannot be forged, and tell a failed run as failed.
#include "core/report/formats.h"
#include "core/report/json.h"
#include "support/reporttool.h"
#include "support/testfiles.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <map>
#include <set>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

using namespace std::string_literals;

TEST(FormatTexts, KeepEveryByteAndBreakNoRecord) {
    // Messages: control characters escaped, bytes that are not UTF-8 as their Latin-1 reading.
    const std::pair<std::string, std::string> json[] = {
        {"q\"b\\s\r\n\t\x01\x7f", "\"q\\\"b\\\\s\\r\\n\\t\\u0001\x7f\""},
        {"caf\xc3\xa9 \xf0\x9f\x98\x80", "\"caf\xc3\xa9 \xf0\x9f\x98\x80\""},
        {"\xff\xe2\x82\xc0\x80\xed\xa0\x80",
         "\"\\u00ff\\u00e2\\u0082\\u00c0\\u0080\\u00ed\\u00a0\\u0080\""},
    };
    for (const auto& [bytes, text] : json) {
        EXPECT_EQ(JsonString(bytes), text);
        CJson value;
        EXPECT_TRUE(ParseJson(JsonString(bytes), value)) << text;
    }
    // Names and texts: a JSON string when UTF-8, else their bytes in base64.
    EXPECT_EQ(JsonBytesMember("path", "l\xc3\xbf"), "\"path\":\"l\xc3\xbf\"");
    EXPECT_EQ(JsonBytesMember("path", "l\xff"), "\"path_bytes\":\"bP8=\"");
    EXPECT_EQ(JsonBytesMember("text", "\xed\xa0\x80x"), "\"text_bytes\":\"7aCAeA==\"");
    EXPECT_EQ(SafeText("a\nb\r\x1b[2J\tc\x7f\xe9"), "a?b??[2J\tc?\xe9");
    EXPECT_EQ(RecordText("\nyear"), "year");
    EXPECT_EQ(RecordText("year\n"), "year\n");

    EXPECT_EQ(UriReference("/w/src/a.c", "/w"), "src/a.c");
    EXPECT_EQ(UriReference("/w//src/./a.c", "/w/"), "src/a.c");
    EXPECT_EQ(UriReference("/w/./d/a", "/w"), "d/a");
    EXPECT_EQ(UriReference("/wx/a.c", "/w"), "file:///wx/a.c");
    EXPECT_EQ(UriReference("//d/a", "/w"), "file:///d/a");
    EXPECT_EQ(UriReference("/w/a b%#?\xc3\xa9.c", "/w"), "a%20b%25%23%3F%C3%A9.c");

    // FNV-1a 64 (its published test values) gives rule ids that ignore letter case.
    EXPECT_EQ(Fnv1a64(""), 0xcbf29ce484222325ull);
    EXPECT_EQ(Fnv1a64("a"), 0xaf63dc4c8601ec8cull);
    EXPECT_EQ(RuleId("a"), "KAVEL-" + std::string("af63fc4c860222ec"));
    EXPECT_EQ(RuleId("year"), RuleId("YeAr"));
    EXPECT_NE(RuleId("year"), RuleId("year "));
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

// JSON Lines, each a valid object.
std::vector<CJson> JsonLines(const std::string& out) {
    std::vector<CJson> objects;
    for (size_t start = 0; start < out.size();) {
        const size_t end = out.find('\n', start);
        if (end == std::string::npos)
            break;
        objects.emplace_back();
        EXPECT_TRUE(ParseJson(out.substr(start, end - start), objects.back()))
            << out.substr(start, end - start);
        start = end + 1;
    }
    return objects;
}

// A tree whose lines the report cuts into pieces: a line of 1500 bytes before a hit, a long
// line with hits in two of its pieces, a cut between a CR and its LF with a hit after it; a
// name that would forge a grep record, a name and a line that are not UTF-8; a file that
// cannot be opened and one that cannot be read.
struct FormatFixture : ToolFixture {
    const std::string forged = "nl\nmain.c:7:forged";
    void SetUp() override {
        ToolFixture::SetUp();
        std::filesystem::create_directories(dir / "src/sub");
        WriteWholeFile(dir / "src/a.c", std::string(1500, 'x') + "\nint year = 1999;\nok\n" +
                                            std::string(1100, '-') + "date" +
                                            std::string(1100, '-') + "year\n");
        WriteWholeFile(dir / "src/b.c", std::string(1023, 'c') + "\r\nyear after the cut\r\n");
        WriteWholeFile(dir / "src/sub/c.c", "nothing\r\n");
        WriteWholeFile(dir / "src/l\xff.c", "\"q\" date\t\xff\n");
        WriteWholeFile(dir / forged, "year\n");
        ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
    }
    std::vector<std::string> Args(const char* format, const char* jobs) {
        return {"--format", format, "--jobs", jobs, "src", forged, "fifo", "/proc/self/mem"};
    }
};

TEST_F(FormatFixture, GrepPointsAtTheFilesOwnLinesAndCannotBeForged) {
    const CToolRun run = Run(Args("grep", "1"));
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.out, "src/a.c:2:int year = 1999;\n"
                       "src/a.c:4:" +
                           std::string(76, '-') + "date" + std::string(944, '-') +
                           "\n"
                           "src/b.c:2:year after the cut\n"
                           "src/l\xff.c:1:\"q\" date\t\xff\n"
                           "nl?main.c:7:forged:1:year\n");
    EXPECT_EQ(run.err, "kavel-report: fifo: Failed to open file.\n"
                       "kavel-report: /proc/self/mem: Failed to read file.\n");
    // The output file keeps the report and its piece numbers: line 4 of a.c is its pieces 4
    // to 6; line 2 of b.c starts in piece 2 with the LF of the cut CR LF.
    const std::string report = ReadWholeFile(output);
    EXPECT_NE(report.find("  Potential problem in line 3:\r\n  >int year"), std::string::npos);
    EXPECT_NE(report.find("  Potential problem in line 6:\r\n  >-"), std::string::npos);
    EXPECT_NE(report.find("  Potential problem in line 2:\r\n  >\nyear after"), std::string::npos);

    // vim's quickfix reads each record as one entry of its file and line (errorformat %f:%l:%m).
    if (::access("/usr/bin/vim.basic", X_OK) == 0 || ::access("/usr/bin/vim", X_OK) == 0) {
        WriteWholeFile(dir / "records", run.out);
        const std::string script = dir / "qf.vim";
        WriteWholeFile(script, "set errorformat=%f:%l:%m\ncgetfile " + dir / "records" +
                                   "\nlet n = 0\nfor e in getqflist()\n if e.valid\n  let n += 1\n"
                                   " endif\nendfor\ncall writefile([n], '" +
                                   dir / "count" + "')\nqa!\n");
        EXPECT_EQ(std::system(
                      ("vim -u NONE -N -es -S " + script + " </dev/null >/dev/null 2>&1").c_str()),
                  0);
        EXPECT_EQ(ReadWholeFile(dir / "count"), "5\n");
    }
}

TEST_F(FormatFixture, JsonNamesEveryFileByItsBytesAndEndsWithTheSummary) {
    const CToolRun run = Run(Args("json", "1"));
    EXPECT_EQ(run.status, 2);
    const std::vector<CJson> objects = JsonLines(run.out);
    std::vector<std::string> shape;
    for (const CJson& o : objects) {
        std::string row = o.Get("type")->text;
        for (const char* key :
             {"path", "path_bytes", "line", "text", "text_bytes", "lines", "problems", "status"})
            if (const CJson* v = o.Get(key))
                row += std::string(" ") + key + "=" +
                       (v->kind == CJson::EKind::NUMBER ? std::to_string(int(v->number)) : v->text);
        shape.push_back(row);
    }
    const std::string wide = std::string(76, '-') + "date" + std::string(944, '-');
    EXPECT_EQ(shape, (std::vector<std::string>{
                         "hit path=src/a.c line=2 text=int year = 1999;",
                         "hit path=src/a.c line=4 text=" + wide,
                         "file path=src/a.c lines=4 problems=2 status=ok",
                         "hit path=src/b.c line=2 text=year after the cut",
                         "file path=src/b.c lines=2 problems=1 status=ok",
                         "hit path_bytes=c3JjL2z/LmM= line=1 text_bytes=InEiIGRhdGUJ/w==",
                         "file path_bytes=c3JjL2z/LmM= lines=1 problems=1 status=ok",
                         "file path=src/sub/c.c lines=1 problems=0 status=ok",
                         "hit path=" + forged + " line=1 text=year",
                         "file path=" + forged + " lines=1 problems=1 status=ok",
                         "file path=fifo lines=0 problems=0 status=failed-open",
                         "file path=/proc/self/mem lines=0 problems=0 status=failed-read",
                         "summary lines=9 problems=5"}));
    const CJson& summary = objects.back();
    EXPECT_EQ(summary.Get("files")->number, 7);
    EXPECT_EQ(summary.Get("failed")->number, 2);
    EXPECT_EQ(summary.Get("lines")->number, 9);
    EXPECT_FALSE(summary.Get("cancelled")->b);

    // An error of the run comes before the summary, which stays the last line.
    std::filesystem::remove(strings);
    const CToolRun failed = Run({"--format", "json", "--quiet", "src"});
    EXPECT_EQ(failed.out, "");
    EXPECT_EQ(failed.err, "kavel-report: Error: Unable to open string file\n");
    const std::vector<CJson> last = JsonLines(Run({"--format", "json", "src"}).out);
    ASSERT_EQ(last.size(), 2u);
    EXPECT_EQ(last[0].Get("type")->text, "error");
    EXPECT_EQ(last[1].Get("type")->text, "summary");
}

// The results as code scanning reads them: the rule, the URI and the file's own line, and a
// fingerprint that follows the line when lines are inserted above it.
std::vector<std::string> SarifResults(const CJson& log) {
    std::vector<std::string> found;
    for (const CJson& result : log.At("runs/0/results")->items) {
        const CJson* location = result.At("locations/0/physicalLocation");
        found.push_back(result.Get("ruleId")->text + " " +
                        location->At("artifactLocation/uri")->text + ":" +
                        std::to_string(int(location->At("region/startLine")->number)) + " " +
                        result.Get("partialFingerprints")->Get("kavelLine/v1")->text);
    }
    return found;
}

TEST_F(FormatFixture, SarifRulesAndFingerprintsStayWhenStringsAndLinesMove) {
    CToolRun run = Run(Args("sarif", "1"));
    EXPECT_EQ(run.status, 2);
    CJson log;
    ASSERT_TRUE(ParseJson(run.out, log)) << run.out;
    EXPECT_EQ(log.Get("version")->text, "2.1.0");
    const CJson& sarifRun = log.Get("runs")->items[0];
    EXPECT_EQ(sarifRun.At("tool/driver/name")->text, "Kavel 2000");
    std::set<std::string> ruleIds;
    for (const CJson& rule : sarifRun.At("tool/driver/rules")->items) {
        EXPECT_TRUE(ruleIds.insert(rule.Get("id")->text).second);
        EXPECT_FALSE(rule.At("shortDescription/text")->text.empty());
    }
    const std::string year = RuleId("year"), n19 = RuleId("19"), date = RuleId("date");
    EXPECT_EQ(ruleIds, (std::set<std::string>{year, n19, date}));
    std::vector<std::string> rows;
    for (const std::string& row : SarifResults(log))
        rows.push_back(row.substr(0, row.rfind(' ')));
    // One result per string per line of the file: line 4 of a.c holds "date" and "year" in
    // different pieces.
    EXPECT_EQ(rows, (std::vector<std::string>{year + " src/a.c:2", n19 + " src/a.c:2",
                                              date + " src/a.c:4", year + " src/a.c:4",
                                              year + " src/b.c:2", date + " src/l%FF.c:1",
                                              year + " nl%0Amain.c%3A7%3Aforged:1"}));
    EXPECT_FALSE(sarifRun.At("invocations/0/executionSuccessful")->b);
    EXPECT_EQ(sarifRun.At("invocations/0/toolExecutionNotifications")->items.size(), 2u);
    EXPECT_EQ(sarifRun.At("originalUriBaseIds/SRCROOT/uri")->text, "file://" + dir.Path() + "/");

    // The strings reordered, a string that matches as another one does, a line inserted above
    // each hit, and the names given another way: the same rules and fingerprints, the lines
    // one further down.
    const std::vector<std::string> before = SarifResults(log);
    WriteWholeFile(strings, "DATE\nYEAR\n19\nyEaR\n");
    const std::string a = ReadWholeFile(dir / "src/a.c");
    WriteWholeFile(dir / "src/a.c", "new first line\n" + a);
    WriteWholeFile(dir / "src/b.c",
                   "new\n" + std::string(1023, 'c') + "\r\nyear after the cut\r\n");
    run = Run({"--format", "sarif", "--jobs", "2", "./src//a.c", dir / "src/./b.c"});
    ASSERT_TRUE(ParseJson(run.out, log)) << run.out;
    EXPECT_TRUE(log.At("runs/0/invocations/0/executionSuccessful")->b);
    EXPECT_EQ(log.At("runs/0/tool/driver/rules")->items.size(), 3u);
    std::vector<std::string> moved;
    for (const std::string& row : before)
        if (row.find(" src/a.c:") != std::string::npos ||
            row.find(" src/b.c:") != std::string::npos) {
            const size_t colon = row.find(':');
            const size_t space = row.find(' ', colon);
            moved.push_back(row.substr(0, colon + 1) +
                            std::to_string(std::stoi(row.substr(colon + 1)) + 1) +
                            row.substr(space));
        }
    EXPECT_EQ(SarifResults(log), moved);
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
        EXPECT_EQ(one.err, two.err) << format;
    }
}

// Every exit status 2 says why on standard error, in every format and with --quiet, and the
// formats that carry a verdict carry it: SARIF's executionSuccessful, JSON's error records.
TEST_F(ToolFixture, EveryFailureIsToldOnStandardErrorAndInTheVerdict) {
    WriteWholeFile(dir / "a.c", "year\n");
    std::filesystem::create_directory(dir / "adir");
    std::string many;
    for (int i = 0; i < 25; ++i)
        many += "gone" + std::to_string(i) + "\n";
    WriteWholeFile(dir / "many", many);
    struct Case {
        std::vector<std::string> args;
        std::string err;
    };
    const std::vector<Case> cases = {
        {{"--strings", dir / "none.str", "a.c"},
         "kavel-report: Error: Unable to open string file\n"},
        {{"--output", dir / "no/dir/out.txt", "a.c"},
         "kavel-report: Error: Failed to create output file\n"},
        {{"--output", strings, "a.c"},
         "kavel-report: Error: The output file is the search string file\n"},
        {{"--output", "/dev/full", "a.c"}, "kavel-report: Error: Failed to write output file\n"},
        {{"--files-from", "adir"}, "kavel-report: cannot read the list adir\n"},
        {{"gone\r.c", "a.c"}, "kavel-report: gone?.c: Failed to open file.\n"},
        {{"--files-from", "many"},
         "kavel-report: gone0: Failed to open file.\n"
         "kavel-report: gone1: Failed to open file.\n"
         "kavel-report: gone2: Failed to open file.\n"
         "kavel-report: gone3: Failed to open file.\n"
         "kavel-report: gone4: Failed to open file.\n"
         "kavel-report: gone5: Failed to open file.\n"
         "kavel-report: gone6: Failed to open file.\n"
         "kavel-report: gone7: Failed to open file.\n"
         "kavel-report: gone8: Failed to open file.\n"
         "kavel-report: gone9: Failed to open file.\n"
         "kavel-report: gone10: Failed to open file.\n"
         "kavel-report: gone11: Failed to open file.\n"
         "kavel-report: gone12: Failed to open file.\n"
         "kavel-report: gone13: Failed to open file.\n"
         "kavel-report: gone14: Failed to open file.\n"
         "kavel-report: gone15: Failed to open file.\n"
         "kavel-report: gone16: Failed to open file.\n"
         "kavel-report: gone17: Failed to open file.\n"
         "kavel-report: gone18: Failed to open file.\n"
         "kavel-report: gone19: Failed to open file.\n"
         "kavel-report: and 5 more files that could not be checked\n"},
    };
    for (const Case& c : cases) {
        for (const char* format : {"report", "json", "sarif", "quiet"}) {
            std::vector<std::string> args{"--strings", strings, "--output", output};
            args.insert(args.end(), c.args.begin(), c.args.end());
            args.insert(args.end(), {std::string(format) == "quiet" ? "--quiet" : "--format",
                                     std::string(format) == "quiet" ? "--jobs=1" : format});
            const CToolRun run = FinishReportTool(dir, StartReportTool(dir, options, args));
            EXPECT_EQ(run.status, 2) << c.err << format;
            EXPECT_EQ(run.err, c.err) << format;
            if (std::string(format) == "sarif") {
                CJson log;
                ASSERT_TRUE(ParseJson(run.out, log)) << run.out;
                EXPECT_FALSE(log.At("runs/0/invocations/0/executionSuccessful")->b) << c.err;
            } else if (std::string(format) == "json") {
                const std::vector<CJson> objects = JsonLines(run.out);
                ASSERT_FALSE(objects.empty());
                EXPECT_EQ(objects.back().Get("type")->text, "summary");
            } else if (std::string(format) == "report" && run.out.size() > 25) {
                EXPECT_TRUE(run.out.ends_with("*** End of Report ***\r\n\r\n")) << c.err;
            }
        }
    }
}

// What a CI job needs: no report file, strings from a pipe or standard input.
TEST_F(ToolFixture, ACheckNeedsNoReportFileAndTakesStringsFromAPipe) {
    WriteWholeFile(dir / "a.c", "int year;\n");
    CToolRun run =
        FinishReportTool(dir, StartReportTool(dir, options, {"--strings", strings, "a.c"}));
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out.find("Writing to output file"), std::string::npos);
    EXPECT_NE(run.out.find("Using Search String file: " + strings + "\r\n\r\n" + dir / "a.c"),
              std::string::npos)
        << run.out;

    run = Run({"--output", "-", "a.c"});
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.err, "kavel-report: --output - is not supported: --format writes standard "
                       "output; leave --output out\n");
    EXPECT_FALSE(std::filesystem::exists(dir / "-"));

    // A FIFO, as a process substitution gives, and standard input.
    const std::string fifo = dir / "strings.fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::thread writer([&] { WriteWholeFile(fifo, "# not a comment\nYEAR\n"); });
    run = FinishReportTool(
        dir, StartReportTool(dir, options, {"--strings", fifo, "--format", "grep", "a.c"}));
    writer.join();
    EXPECT_EQ(run.status, 1) << run.err;
    EXPECT_EQ(run.out, "a.c:1:int year;\n");
    options.stdinFile = strings;
    run = FinishReportTool(
        dir, StartReportTool(dir, options, {"--strings", "-", "--format", "grep", "a.c"}));
    EXPECT_EQ(run.out, "a.c:1:int year;\n");
    run = FinishReportTool(dir,
                           StartReportTool(dir, options, {"--strings", "-", "--files-from", "-"}));
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.err, "kavel-report: standard input cannot hold both the strings and the list\n");
}

// A baseline of an earlier run's SARIF log: only results that are not in it fail the check.
// Results are matched by rule, file and the line's text, one to one in order, whatever the
// line's number or the order of the strings file.
TEST_F(ToolFixture, ABaselineFailsOnlyOnNewResults) {
    std::filesystem::create_directory(dir / "src");
    WriteWholeFile(dir / "src/a.c", "int year;\nok\nyear dup\nyear dup\ngone 19\n");
    WriteWholeFile(dir / "src/b.c", "date\n");
    WriteWholeFile(dir / "src/c.c", "");
    CToolRun run = Run({"--format", "sarif", "src"});
    ASSERT_EQ(run.status, 1);
    WriteWholeFile(dir / "base.sarif", run.out);

    // Unchanged but moved down, and with the strings reordered: nothing new.
    WriteWholeFile(strings, "DATE\n19\nYeAr\n");
    WriteWholeFile(dir / "src/a.c", "top\nint year;\nok\nyear dup\nyear dup\ngone 19\n");
    run = Run({"--format", "grep", "--baseline", "base.sarif", "src"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "");

    // A line duplicated, one changed, one deleted, one moved to another file.
    WriteWholeFile(dir / "src/a.c", "top\nint year = 0;\nok\nyear dup\nyear dup\nyear dup\n");
    WriteWholeFile(dir / "src/b.c", "");
    WriteWholeFile(dir / "src/c.c", "date\n");
    run = Run({"--format", "grep", "--baseline", "base.sarif", "src"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "src/a.c:2:int year = 0;\nsrc/a.c:6:year dup\nsrc/c.c:1:date\n");
    run = Run({"--format", "json", "--baseline", "base.sarif", "--baseline-all", "src"});
    std::vector<std::string> states;
    for (const CJson& o : JsonLines(run.out))
        if (o.Get("type")->text == "hit")
            states.push_back(std::to_string(int(o.Get("line")->number)) + " " +
                             o.Get("baseline")->text);
    EXPECT_EQ(states,
              (std::vector<std::string>{"2 new", "4 unchanged", "5 unchanged", "6 new", "1 new"}));
    run = Run({"--format", "sarif", "--baseline", "base.sarif", "src"});
    CJson log;
    ASSERT_TRUE(ParseJson(run.out, log)) << run.out;
    std::vector<std::string> results;
    for (const CJson& r : log.At("runs/0/results")->items)
        results.push_back(
            r.At("locations/0/physicalLocation/artifactLocation/uri")->text + ":" +
            std::to_string(int(r.At("locations/0/physicalLocation/region/startLine")->number)) +
            " " + r.Get("baselineState")->text);
    EXPECT_EQ(results, (std::vector<std::string>{"src/a.c:2 new", "src/a.c:4 unchanged",
                                                 "src/a.c:5 unchanged", "src/a.c:6 new",
                                                 "src/c.c:1 new", "src/a.c:1 absent",
                                                 "src/a.c:5 absent", "src/b.c:1 absent"}));

    // A baseline that cannot be read, or is no log of this tool, fails the check.
    WriteWholeFile(dir / "other.sarif", "{\"version\":\"2.1.0\",\"runs\":[]}");
    const std::pair<std::vector<std::string>, std::string> refused[] = {
        {{"--baseline", "none.sarif", "src"},
         "kavel-report: cannot read the baseline none.sarif\n"},
        {{"--baseline", "other.sarif", "src"},
         "kavel-report: other.sarif is not a SARIF log of kavel-report\n"},
        {{"--baseline", "src", "src"}, "kavel-report: cannot read the baseline src\n"},
        {{"--baseline-all", "src"},
         "kavel-report: --baseline-all needs --baseline FILE (see kavel-report --help)\n"},
    };
    for (const auto& [args, err] : refused) {
        run = Run(args);
        EXPECT_EQ(run.status, 2) << err;
        EXPECT_EQ(run.err, err);
    }
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
    EXPECT_NE(ReadWholeFile(output).find("a.c\r\n  Potential problem in line 1:"),
              std::string::npos);
    EXPECT_NE(ReadWholeFile(dir / "stdout").find("{\"type\":\"file\""), std::string::npos);
    ::kill(pid, SIGTERM);
    const CToolRun run = FinishReportTool(dir, pid);
    ::close(writer);
    EXPECT_EQ(run.status, 130);
    const std::vector<CJson> objects = JsonLines(run.out);
    ASSERT_FALSE(objects.empty());
    EXPECT_TRUE(objects.back().Get("cancelled")->b);
    EXPECT_EQ(objects.back().Get("files")->number, 1);
}

// The walk starts once the output file is there: a walk of the folder that holds it lists it
// on every run (it was missed now and then when the walk went first).
TEST_F(ToolFixture, AnOutputFileInTheWalkIsListedOnEveryRun) {
    WriteWholeFile(dir / "a.c", "none\n");
    for (int i = 0; i < 20; ++i) {
        std::filesystem::remove(dir / "new.txt");
        const CToolRun run = Run({"--output", "new.txt", "--format", "json", "."});
        ASSERT_NE(run.out.find("\"path\":\"./new.txt\""), std::string::npos) << i << run.out;
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
            const std::vector<CJson> objects = JsonLines(run.out);
            ASSERT_FALSE(objects.empty());
            EXPECT_TRUE(objects.back().Get("cancelled")->b);
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

    WriteWholeFile(dir / "list0", "a.c\0b c.c\0d"s);
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
