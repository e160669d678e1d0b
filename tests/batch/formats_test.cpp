// The formats of kavel-report's standard output: grep lines, JSON Lines and a SARIF log point at
// the files' own lines, name files as given, cannot be forged, and tell a failed run as failed;
// a SARIF baseline fails a check on new results only.
#include "core/report/formats.h"
#include "core/report/json.h"
#include "support/reporttext.h"
#include "support/reporttool.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <set>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using namespace std::string_literals;

TEST(FormatTexts, KeepEveryByteAndBreakNoRecord) {
    // Messages: control characters escaped, bytes that are not UTF-8 as their Latin-1 reading.
    const std::pair<std::string, std::string> json[] = {
        {"q\"b\\s\r\n\t\x01\x7f", "\"q\\\"b\\\\s\\r\\n\\t\\u0001\x7f\""},
        {"caf\xc3\xa9 \xf0\x9f\x98\x80", "\"caf\xc3\xa9 \xf0\x9f\x98\x80\""},
        {"\xff\xe2\x82\xc0\x80\xed\xa0\x80\xe0\x9f\xbf",
         "\"\\u00ff\\u00e2\\u0082\\u00c0\\u0080\\u00ed\\u00a0\\u0080\\u00e0\\u009f\\u00bf\""},
    };
    for (const auto& [bytes, text] : json) {
        EXPECT_EQ(JsonString(bytes), text);
        CJson value;
        EXPECT_TRUE(ParseJson(JsonString(bytes), value)) << text;
    }
    CJson raw; // the reader is as strict: a control character must be escaped
    EXPECT_FALSE(ParseJson("\"a\nb\"", raw));
    // Names and texts: a JSON string when UTF-8, else their bytes in base64.
    EXPECT_EQ(JsonBytesMember("path", "l\xc3\xbf"), "\"path\":\"l\xc3\xbf\"");
    EXPECT_EQ(JsonBytesMember("path", "l\xff"), "\"path_bytes\":\"bP8=\"");
    EXPECT_EQ(JsonBytesMember("text", "\xed\xa0\x80x"), "\"text_bytes\":\"7aCAeA==\"");
    // Control characters but TAB, and DEL, as "?": every byte alone and among others.
    std::string all, shown;
    for (int b = 0; b < 256; ++b) {
        all += static_cast<char>(b);
        shown += (b < 0x20 && b != '\t') || b == 0x7F ? '?' : static_cast<char>(b);
        EXPECT_EQ(SafeText(all.substr(b)), shown.substr(b));
    }
    EXPECT_EQ(SafeText(all), shown);
    EXPECT_EQ(RecordText("\nyear"), "year");
    EXPECT_EQ(RecordText("year\n"), "year\n");

    const std::tuple<const char*, const char*, const char*> uris[] = {
        {"/w/src/a.c", "/w", "src/a.c"}, {"/w//src/./a.c", "/w/", "src/a.c"},
        {"/w/./d/a", "/w", "d/a"},       {"/wx/a.c", "/w", "file:///wx/a.c"},
        {"//d/a", "/w", "file:///d/a"},  {"/w/a b%#?\xc3\xa9.c", "/w", "a%20b%25%23%3F%C3%A9.c"}};
    for (const auto& [path, base, uri] : uris)
        EXPECT_EQ(UriReference(path, base), uri) << path;

    // FNV-1a 64 (its published test values) gives rule ids that ignore letter case.
    EXPECT_EQ(Fnv1a64(""), 0xcbf29ce484222325ull);
    EXPECT_EQ(Fnv1a64("a"), 0xaf63dc4c8601ec8cull);
    EXPECT_EQ(RuleId("a"), "KAVEL-" + std::string("af63fc4c860222ec"));
    EXPECT_EQ(RuleId("year"), RuleId("YeAr"));
    EXPECT_NE(RuleId("year"), RuleId("year "));
}

TEST(FormatTexts, UriOfAPathThatLeavesTheCurrentDirectoryIsAbsolute) {
    // A ".." segment can climb out of the current directory: such a path is not below it, so it
    // gets a file:// URI, never a relative one that resolves outside SRCROOT.
    for (const char* path : {"/w/../x/a.c", "/w/d/../../x/a.c", "/w/.."})
        EXPECT_EQ(UriReference(path, "/w").rfind("file:///", 0), 0u) << UriReference(path, "/w");
}

// JSON Lines, each a valid object.
std::vector<CJson> JsonLines(const std::string& out) {
    std::vector<CJson> objects;
    std::istringstream in(out);
    for (std::string line; std::getline(in, line);)
        EXPECT_TRUE(ParseJson(line, objects.emplace_back())) << line;
    return objects;
}

// A tree whose lines the report cuts into pieces: a line of 1500 bytes before a hit, a long
// line with hits in two of its pieces, a cut between a CR and its LF with a hit after it; a
// name that would forge a grep record, a name and a line that are not UTF-8; a file that
// cannot be opened and one that cannot be read.
struct FormatFixture : ReportToolTest {
    const std::string forged = "nl\nmain.c:7:forged";
    void SetUp() override {
        ReportToolTest::SetUp();
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
    EXPECT_EQ(run.err, "kavel-report: fifo: Failed to open file: is a FIFO\n"
                       "kavel-report: /proc/self/mem: Failed to read file: Input/output error\n");
    // The output file keeps the report and its piece numbers: line 4 of a.c is its pieces 4
    // to 6; line 2 of b.c starts in piece 2 with the LF of the cut CR LF.
    const std::string report = ReadWholeFile(output);
    EXPECT_NE(report.find("  Potential problem in line 3:\r\n  >int year"), std::string::npos);
    EXPECT_NE(report.find("  Potential problem in line 6:\r\n  >-"), std::string::npos);
    EXPECT_NE(report.find("  Potential problem in line 2:\r\n  >\nyear after"), std::string::npos);
    // Nor can a name forge a line of the report.
    EXPECT_NE(
        report.find("\r\n" + dir.Path() + "/nl?main.c:7:forged\r\n  Potential problem in line 1:"),
        std::string::npos);
}

TEST_F(FormatFixture, JsonNamesEveryFileByItsBytesAndEndsWithTheSummary) {
    const CToolRun run = Run(Args("json", "1"));
    EXPECT_EQ(run.status, 2);
    const std::vector<CJson> objects = JsonLines(run.out);
    std::vector<std::string> shape;
    for (const CJson& o : objects) {
        std::string row = o.Get("type")->text;
        for (const char* key : {"path", "path_bytes", "line", "text", "text_bytes", "lines",
                                "problems", "status", "reason", "files", "failed"})
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
                         "file path=fifo lines=0 problems=0 status=failed-open reason=is a FIFO",
                         "file path=/proc/self/mem lines=0 problems=0 status=failed-read "
                         "reason=Input/output error",
                         "summary lines=9 problems=5 files=7 failed=2"}));
    EXPECT_FALSE(objects.back().Get("cancelled")->b);
}

// The results as code scanning reads them: the rule, the URI and the file's own line, and a
// fingerprint that follows the line when lines are inserted above it. The lines are counted
// without the `above` lines inserted at the files' start.
std::vector<std::string> SarifResults(const CJson& log, int above = 0) {
    std::vector<std::string> found;
    for (const CJson& result : log.At("runs/0/results")->items) {
        const CJson* location = result.At("locations/0/physicalLocation");
        found.push_back(result.Get("ruleId")->text + " " +
                        location->At("artifactLocation/uri")->text + ":" +
                        std::to_string(int(location->At("region/startLine")->number) - above) +
                        " " + result.Get("partialFingerprints")->Get("kavelLine/v1")->text);
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
    // Relative URIs against SRCROOT, which the log leaves to its reader: no path of this machine
    // but the file outside the current folder.
    EXPECT_EQ(sarifRun.Get("originalUriBaseIds"), nullptr);
    EXPECT_EQ(run.out.find(dir.Path()), std::string::npos);
    EXPECT_NE(run.out.find("\"uri\":\"file:///proc/self/mem\"}"), std::string::npos);

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
    EXPECT_EQ(SarifResults(log, 1), std::vector(before.begin(), before.begin() + 5)); // a.c, b.c
    // A string in two pieces of one line is one result of that line.
    WriteWholeFile(dir / "src/a.c", "year" + std::string(1100, '-') + "YEAR\n");
    run = Run({"--format", "sarif", "src/a.c"});
    ASSERT_TRUE(ParseJson(run.out, log)) << run.out;
    EXPECT_EQ(SarifResults(log).size(), 1u);
}

// Every exit status 2 says why on standard error, in every format and with --quiet, and the
// formats that carry a verdict carry it: SARIF's executionSuccessful, JSON's error records.
TEST_F(ReportToolTest, EveryFailureIsToldOnStandardErrorAndInTheVerdict) {
    WriteWholeFile(dir / "a.c", "year\n");
    std::filesystem::create_directory(dir / "adir");
    std::string many, manyErr;
    for (int i = 0; i < 25; ++i) {
        many += "gone" + std::to_string(i) + "\n";
        if (i < 20)
            manyErr += "kavel-report: gone" + std::to_string(i) +
                       ": Failed to open file: No such file or directory\n";
    }
    WriteWholeFile(dir / "many", many);
    const std::string create = "kavel-report: Error: Failed to create output file\n";
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"--strings", dir / "none.str", "a.c"},
         "kavel-report: Error: Unable to open string file\n"},
        {{"--output", dir / "no/dir/out.txt", "a.c"}, create},
        {{"--output", "adir", "a.c"}, create},
        {{"--output", strings, "a.c"},
         "kavel-report: Error: The output file is the search string file\n"},
        {{"--output", "/dev/full", "a.c"}, "kavel-report: Error: Failed to write output file\n"},
        {{"--files-from", "adir"}, "kavel-report: cannot read the list adir\n"},
        {{"gone\r.c", "a.c"},
         "kavel-report: gone?.c: Failed to open file: No such file or directory\n"},
        {{"--files-from", "many"},
         manyErr + "kavel-report: and 5 more files that could not be checked\n"},
    };
    for (const auto& [caseArgs, err] : cases) {
        for (const std::string format : {"report", "json", "sarif", "quiet"}) {
            std::vector<std::string> args = caseArgs;
            args.insert(args.end(), {format == "quiet" ? "--quiet" : "--format",
                                     format == "quiet" ? "--jobs=1" : format});
            const CToolRun run = Run(args);
            EXPECT_EQ(run.status, 2) << err << format;
            EXPECT_EQ(run.err, err) << format;
            if (format == "sarif") {
                CJson log;
                ASSERT_TRUE(ParseJson(run.out, log)) << run.out;
                EXPECT_FALSE(log.At("runs/0/invocations/0/executionSuccessful")->b) << err;
                EXPECT_EQ(run.out.find(dir.Path()), std::string::npos) << run.out;
            } else if (format == "json") {
                const std::vector<CJson> objects = JsonLines(run.out);
                ASSERT_FALSE(objects.empty());
                EXPECT_EQ(objects.back().Get("type")->text, "summary");
            } else if (format == "report" && run.out.size() > 25) {
                EXPECT_TRUE(run.out.ends_with(END_LINE)) << err;
            }
        }
    }
}

// The least log that a baseline takes: one result, of src/a.c, of the string "year".
const std::string SMALL_LOG =
    R"({"version":"2.1.0","runs":[{"results":[{"ruleId":"KAVEL-0000000000000001",)"
    R"("message":{"text":"m"},"locations":[{"physicalLocation":{"artifactLocation":)"
    R"({"uri":"src/a.c","uriBaseId":"SRCROOT"},"region":{"startLine":1,"snippet":)"
    R"({"text":"year"}}}}],"partialFingerprints":{"kavelLine/v1":"0123456789abcdef"}}],)"
    R"("tool":{"driver":{"name":"Kavel 2000"}}}]})";

// A stop signal ends the load of a baseline, in its read and in the reading of the JSON.
TEST_F(ReportToolTest, AStopEndsTheLoadOfABaseline) {
    WriteWholeFile(dir / "b.sarif", SMALL_LOG);
    for (const int stop : {1, 0}) {
        const StopFlag flag{stop};
        CBaseline baseline;
        std::string message = "x";
        EXPECT_EQ(baseline.Load(dir / "b.sarif", message, &flag), stop == 0) << message;
        EXPECT_EQ(message, "");
    }
    const StopFlag flag{1};
    CJson value;
    std::string array = "[0";
    for (int i = 0; i < 10000; ++i)
        array += ",0";
    EXPECT_EQ(ParseJsonBounded(array + "]", value, SIZE_MAX, &flag), EJsonRead::STOPPED);
    EXPECT_EQ(ParseJsonBounded(array + "]", value, SIZE_MAX, nullptr), EJsonRead::OK);
}

// The judge stands in front of the format it judges for, with or without one: its rules come
// from the strings when they are loaded (strings that match alike are one rule), it counts the
// new lines with no format behind it (--quiet), and a format that shows results gets a judge
// of its own when it is given none.
TEST(CJudgedSink, JudgesWithOrWithoutAFormat) {
    SearchStringTable table{};
    for (const char* s : {"year", "YEAR", "date"})
        std::strcpy(table[CountSearchStrings(table)], s);
    const auto feed = [&table](CFormatSink& sink) {
        sink.StringsLoaded(table);
        sink.FileBegin("/d/a.c", "a.c");
        sink.Hit({1, 1, "a Year", {}});
        sink.Hit({2, 2, "date and year", {}});
        sink.FileEnd(EFileOutcome::SCANNED, {3, 2, 3});
        sink.RunEnd(false);
        return sink.Finish({});
    };
    auto made = std::make_unique<CResultJudge>("/d", nullptr);
    CJudgedSink quiet(std::move(made), nullptr);
    EXPECT_TRUE(feed(quiet).empty());
    EXPECT_EQ(quiet.Judge().Rules().size(), 2u);
    EXPECT_EQ(quiet.Judge().NewResults(), 2);

    std::string log;
    {
        int pipes[2];
        ASSERT_EQ(::pipe(pipes), 0);
        {
            CByteOutput out(pipes[1], nullptr);
            const std::unique_ptr<CFormatSink> sarif =
                MakeFormatSink(EOutputFormat::SARIF, {out, "/d", "1"});
            feed(*sarif);
        }
        ::close(pipes[1]);
        char buffer[4096];
        for (ssize_t n; (n = ::read(pipes[0], buffer, sizeof buffer)) > 0;)
            log.append(buffer, static_cast<size_t>(n));
        ::close(pipes[0]);
    }
    CJson sarif;
    ASSERT_TRUE(ParseJson(log, sarif)) << log;
    EXPECT_EQ(sarif.At("runs/0/results")->items.size(), 3u);
    EXPECT_EQ(sarif.At("runs/0/tool/driver/rules")->items.size(), 2u);
    EXPECT_EQ(sarif.At("runs/0/results/0/locations/0/physicalLocation/artifactLocation/uri")->text,
              "a.c");
}

// The formats' sinks fed a run by hand: a.c checked whole, then a stop in the middle of b.c,
// and c.c never reached. b.c says it was cancelled, not ok, and only a.c's results that
// nothing matched are absent: the others' files were not read to their end. A run that is not
// stopped has every file's untaken results absent, those of a file it did not check too.
TEST_F(ReportToolTest, ResultsOfAFileNotReadToItsEndAreNotAbsent) {
    std::string log = SMALL_LOG, result = log.substr(log.find("{\"ruleId\""));
    result.resize(result.find("}],\"tool\"") + 1);
    for (const char* uri : {"src/b.c", "src/c.c"}) {
        std::string other = result;
        log.insert(log.find("],\"tool\""), "," + other.replace(other.find("src/a.c"), 7, uri));
    }
    WriteWholeFile(dir / "b.sarif", log);
    WriteWholeFile(strings, "year\n");
    SearchStringTable table{};
    ASSERT_TRUE(LoadSearchStrings(table, strings));
    for (const bool stop : {true, false})
        for (const EOutputFormat format : {EOutputFormat::JSON, EOutputFormat::SARIF}) {
            StopFlag flag{0};
            CBaseline baseline;
            std::string message;
            ASSERT_TRUE(baseline.Load(dir / "b.sarif", message)) << message;
            const int fd = ::open((dir / "out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            {
                CByteOutput out(fd, nullptr);
                const std::unique_ptr<CFormatSink> sink =
                    MakeFormatSink(format, {out, dir.Path(), "1", true, &flag},
                                   std::make_unique<CResultJudge>(dir.Path(), &baseline, &flag));
                CFormatSink& run = *sink;
                run.StringsLoaded(table);
                for (const char* name : {"src/a.c", "src/b.c", "src/c.c"}) {
                    if (stop && name[4] == 'c')
                        break;
                    run.FileBegin(dir / name, name);
                    run.Hit({1, 1, "a year", {}});
                    flag = stop && name[4] == 'b';
                    run.FileEnd(EFileOutcome::SCANNED, {2, 1, 2});
                }
                run.RunEnd(stop);
                sink->Finish({});
            }
            ::close(fd);
            const std::string text = ReadWholeFile(dir / "out");
            std::vector<std::string> states;
            if (format == EOutputFormat::JSON) {
                for (const CJson& o : JsonLines(text))
                    if (o.Get("type")->text == "file")
                        states.push_back(o.Get("path")->text + " " + o.Get("status")->text);
                using Names = std::vector<std::string>;
                EXPECT_EQ(states, (stop ? Names{"src/a.c ok", "src/b.c cancelled"}
                                        : Names{"src/a.c ok", "src/b.c ok", "src/c.c ok"}));
                continue;
            }
            CJson sarif;
            ASSERT_TRUE(ParseJson(text, sarif)) << text;
            for (const CJson& r : sarif.At("runs/0/results")->items)
                if (r.Get("baselineState")->text == "absent")
                    states.push_back(
                        r.At("locations/0/physicalLocation/artifactLocation/uri")->text);
            using Names = std::vector<std::string>;
            EXPECT_EQ(states, (stop ? Names{"src/a.c"} : Names{"src/a.c", "src/b.c", "src/c.c"}));
        }
}

// A baseline of an earlier run's SARIF log: only results that are not in it fail the check.
// Results are matched by rule, file and the line's text, one to one in order, whatever the
// line's number or the order of the strings file.
TEST_F(ReportToolTest, ABaselineFailsOnlyOnNewResults) {
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
    // SARIF as code scanning takes it: the new results only, in a log that is no baseline;
    // with --baseline-all every result with its state, and those that are gone.
    const auto sarifResults = [](const CToolRun& sarif) {
        CJson log;
        EXPECT_TRUE(ParseJson(sarif.out, log)) << sarif.out;
        std::vector<std::string> results;
        if (const CJson* items = log.At("runs/0/results"))
            for (const CJson& r : items->items)
                results.push_back(
                    r.At("locations/0/physicalLocation/artifactLocation/uri")->text + ":" +
                    std::to_string(
                        int(r.At("locations/0/physicalLocation/region/startLine")->number)) +
                    " " + r.Get("baselineState")->text);
        return results;
    };
    run = Run({"--format", "sarif", "--baseline", "base.sarif", "src"});
    EXPECT_EQ(sarifResults(run),
              (std::vector<std::string>{"src/a.c:2 new", "src/a.c:6 new", "src/c.c:1 new"}));
    WriteWholeFile(dir / "new-only.sarif", run.out);
    const CToolRun refusedLog = Run({"--baseline", "new-only.sarif", "src"});
    EXPECT_EQ(refusedLog.status, 2);
    EXPECT_EQ(refusedLog.err, "kavel-report: new-only.sarif holds only the new results of a run "
                              "with --baseline or --changed-since: it is no baseline; record "
                              "one without them (or with --baseline-all)\n");
    run = Run({"--format", "sarif", "--baseline", "base.sarif", "--baseline-all", "src"});
    std::vector<std::string> results = sarifResults(run);
    EXPECT_EQ(results, (std::vector<std::string>{"src/a.c:2 new", "src/a.c:4 unchanged",
                                                 "src/a.c:5 unchanged", "src/a.c:6 new",
                                                 "src/c.c:1 new", "src/a.c:1 absent",
                                                 "src/a.c:5 absent", "src/b.c:1 absent"}));
    // A file that cannot be opened (here a FIFO named as a PATH) was not read: its results are
    // not absent.
    std::filesystem::rename(dir / "src/a.c", dir / "a.c");
    ASSERT_EQ(::mkfifo((dir / "src/a.c").c_str(), 0600), 0);
    const CToolRun unread = Run(
        {"--format", "sarif", "--baseline", "base.sarif", "--baseline-all", "src/a.c", "src/b.c"});
    CJson unreadLog;
    ASSERT_TRUE(ParseJson(unread.out, unreadLog)) << unread.out;
    results.clear();
    for (const CJson& r : unreadLog.At("runs/0/results")->items)
        results.push_back(r.At("locations/0/physicalLocation/artifactLocation/uri")->text + " " +
                          r.Get("baselineState")->text);
    EXPECT_EQ(results, (std::vector<std::string>{"src/b.c absent"}));
    std::filesystem::remove(dir / "src/a.c");
    std::filesystem::rename(dir / "a.c", dir / "src/a.c");

    // That log as the next baseline: what it holds as absent is new when it comes back, and one
    // new result fails the check.
    WriteWholeFile(dir / "next.sarif", run.out);
    WriteWholeFile(dir / "src/b.c", "date\n");
    run = Run({"--format", "grep", "--baseline", "next.sarif", "src"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "src/b.c:1:date\n");

    // A baseline that cannot be read, or is no log of this tool, fails the check: so does one
    // with a line that no log of it holds, which would come back into the next log.
    WriteWholeFile(dir / "other.sarif", "{\"version\":\"2.1.0\",\"runs\":[]}");
    for (const char* line : {"0", "2.5", "1e300", "\"2\""}) {
        std::string log = ReadWholeFile(dir / "next.sarif");
        WriteWholeFile(dir / "line.sarif", log.replace(log.find("\"startLine\":") + 12, 1, line));
        run = Run({"--baseline", "line.sarif", "src"});
        EXPECT_EQ(run.err, "kavel-report: line.sarif is not a SARIF log of kavel-report\n") << line;
    }
    // Logs that look like ours and are not: a name given twice (readers differ on which one
    // wins), a URI that is no URI path or a base that is not ours (an absent result comes back
    // into the next log as it stands), an object where an array belongs, members of another kind.
    WriteWholeFile(dir / "small.sarif", SMALL_LOG);
    run = Run({"--baseline", "small.sarif", "src"});
    EXPECT_EQ(run.status, 1) << run.err;
    EXPECT_EQ(run.err, "");
    std::vector<std::vector<std::pair<std::string, std::string>>> edits = {
        {{R"("results":[)", R"("results":[],"results":[)"}},
        {{R"("text":"m")", R"("text":"m","text":"n")"}},
        {{"src/a.c", "src/a c"}},
        {{"src/a.c", "src/a%2"}},
        {{"src/a.c", "src/a%zz"}},
        {{"src/a.c", "src/\u00e9"}},
        {{"src/a.c", ""}},
        {{R"("SRCROOT")", R"("ROOT")"}},
        {{R"("SRCROOT")", "7"}},
        {{R"("runs":[{)", R"("runs":{"0":{)"}, {"}}}]}", "}}}}}"}},
        {{R"("locations":[{)", R"("locations":{"0":{)"}, {"}}}}],", "}}}}},"}},
        {{R"("locations":[{)", R"("locations":[7,{)"}},
        {{R"("text":"m")", R"("text":7)"}},
        {{R"({"text":"year"})", R"("year")"}},
        {{R"("partialFingerprints")", R"("baselineState":1,"partialFingerprints")"}},
    };
    for (const char* c : {"#", "?", "<", ">", "\\\"", "{", "}", "|", "\\\\", "^", "`"})
        edits.push_back({{"src/a.c", std::string("src/a") + c + ".c"}});
    for (const auto& edit : edits) {
        std::string log = SMALL_LOG;
        for (const auto& [from, to] : edit)
            log.replace(log.find(from), from.size(), to);
        WriteWholeFile(dir / "bad.sarif", log);
        run = Run({"--baseline", "bad.sarif", "src"});
        EXPECT_EQ(run.err, "kavel-report: bad.sarif is not a SARIF log of kavel-report\n") << log;
    }

    // The limits, at them and past them: the bytes as they are read (a file of the kernel's
    // says it is empty), and the values of the tree; memory that runs out is told too.
    const auto limit = [](const char* what, const std::string& path) {
        return "kavel-report: the baseline " + path + " " + what +
               ", the most a baseline may hold\n";
    };
    const std::string tooLarge = limit("is larger than 64 MiB", "big.sarif");
    for (const off_t size : {CBaseline::BYTES_MAX, CBaseline::BYTES_MAX + 1}) {
        WriteWholeFile(dir / "big.sarif", "");
        ASSERT_EQ(::truncate((dir / "big.sarif").c_str(), size), 0);
        run = Run({"--baseline", "big.sarif", "src"});
        EXPECT_EQ(run.err, size > CBaseline::BYTES_MAX
                               ? tooLarge
                               : "kavel-report: big.sarif is not a SARIF log of kavel-report\n");
    }
    run = Run({"--baseline", "/proc/self/pagemap", "src"});
    EXPECT_EQ(run.err, limit("is larger than 64 MiB", "/proc/self/pagemap"));
    for (const size_t values : {CBaseline::VALUES_MAX, CBaseline::VALUES_MAX + 1}) {
        std::string array = "[0";
        for (size_t i = 2; i < values; ++i)
            array += ",0";
        WriteWholeFile(dir / "big.sarif", array + "]");
        run = Run({"--baseline", "big.sarif", "src"});
        EXPECT_EQ(run.err, values > CBaseline::VALUES_MAX
                               ? limit("holds more than 2097152 JSON values", "big.sarif")
                               : "kavel-report: big.sarif is not a SARIF log of kavel-report\n");
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
        if (values == CBaseline::VALUES_MAX) {
            options.memoryLimit = 192 << 20;
            run = Run({"--baseline", "big.sarif", "src"});
            options.memoryLimit = 0;
            EXPECT_EQ(run.status, 2);
            EXPECT_EQ(run.err, "kavel-report: the baseline big.sarif does not fit in memory\n");
        }
#endif
    }
    std::filesystem::remove(dir / "big.sarif");

    const std::pair<std::vector<std::string>, std::string> refused[] = {
        {{"--baseline", "none.sarif", "src"},
         "kavel-report: cannot read the baseline none.sarif\n"},
        {{"--baseline", "other.sarif", "src"},
         "kavel-report: other.sarif is not a SARIF log of kavel-report\n"},
        {{"--baseline", "src", "src"}, "kavel-report: cannot read the baseline src\n"},
    };
    for (const auto& [args, err] : refused) {
        run = Run(args);
        EXPECT_EQ(run.status, 2) << err;
        EXPECT_EQ(run.err, err);
    }
}

} // namespace
