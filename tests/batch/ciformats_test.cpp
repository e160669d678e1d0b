// The formats that CI systems read: SARIF's columns and rules as code scanning takes them,
// GitHub's workflow commands as the runner parses them, GitLab's Code Quality report as a
// strict JSON reader does, and one rule of what is new across every machine format.
#include "core/report/formats.h"
#include "core/report/json.h"
#include "support/reporttool.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <map>
#include <set>
#include <sstream>
#include <unistd.h>

namespace {

// A workflow command as the runner reads it: the command, its properties and its message,
// each unescaped as the runner undoes them.
struct CCommand {
    std::string name;
    std::map<std::string, std::string> properties;
    std::string message;
};

std::string Unescape(std::string text, bool property) {
    std::vector<std::pair<std::string, std::string>> escapes = {
        {"%0D", "\r"}, {"%0A", "\n"}, {"%25", "%"}};
    if (property)
        escapes.insert(escapes.end(), {{"%3A", ":"}, {"%2C", ","}});
    std::string out;
    for (size_t i = 0; i < text.size();) {
        bool done = false;
        for (const auto& [from, to] : escapes)
            if (!done && text.compare(i, from.size(), from) == 0) {
                out += to;
                i += from.size();
                done = true;
            }
        if (!done)
            out += text[i++];
    }
    return out;
}

// The runner's reading of a log: lines end at CR, LF or CR LF; a command is "::name
// key=value,...::message", its properties ended by the first "::".
std::vector<CCommand> RunnerCommands(const std::string& log) {
    std::vector<std::string> lines(1);
    for (size_t i = 0; i < log.size(); ++i) {
        if (log[i] != '\r' && log[i] != '\n')
            lines.back() += log[i];
        else if (!(log[i] == '\n' && i > 0 && log[i - 1] == '\r'))
            lines.emplace_back();
    }
    if (lines.back().empty())
        lines.pop_back();
    std::vector<CCommand> commands;
    for (const std::string& line : lines) {
        EXPECT_TRUE(line.starts_with("::")) << line;
        const size_t end = line.find("::", 2);
        if (!line.starts_with("::") || end == std::string::npos)
            continue;
        const std::string info = line.substr(2, end - 2);
        CCommand& command = commands.emplace_back();
        command.name = info.substr(0, info.find(' '));
        command.message = Unescape(line.substr(end + 2), false);
        if (info.find(' ') == std::string::npos)
            continue;
        std::istringstream properties(info.substr(info.find(' ') + 1));
        for (std::string property; std::getline(properties, property, ',');)
            command.properties[property.substr(0, property.find('='))] =
                Unescape(property.substr(property.find('=') + 1), true);
    }
    return commands;
}

// Each line's region of the rule's first result there, as "line:start-end".
std::vector<std::string> SarifRegions(const std::string& out) {
    CJson log;
    EXPECT_TRUE(ParseJson(out, log)) << out;
    EXPECT_EQ(log.At("runs/0/columnKind")->text, "unicodeCodePoints");
    std::vector<std::string> regions;
    for (const CJson& r : log.At("runs/0/results")->items) {
        const CJson* region = r.At("locations/0/physicalLocation/region");
        regions.push_back(std::to_string(long(region->Get("startLine")->number)) + ":" +
                          std::to_string(long(region->Get("startColumn")->number)) + "-" +
                          std::to_string(long(region->Get("endColumn")->number)));
    }
    return regions;
}

// Columns count characters over the whole line, the pieces without a string among them: a TAB
// and a byte that is not UTF-8 one each, a character cut by a piece's end once. The same at
// any job count, LF or CR LF, and in the annotations.
TEST_F(ReportToolTest, ColumnsCountTheCharactersBeforeTheStringOnItsLine) {
    WriteWholeFile(strings, "year\n19\n");
    std::string e600;
    for (int i = 0; i < 600; ++i)
        e600 += "\xc3\xa9";
    const std::vector<std::string> lines = {
        "\tyear",
        "\xc3\xa9 year",
        "\xff\xfe year \xe2\x82",
        "x 19 and 19",
        std::string(1030, '-') + "year",
        std::string(1023, '-') + "\xe2\x82\xac" + "year",
        e600 + "year",
        "a" + e600 + "year",
        std::string(2100, '-') + "year",
        e600 + std::string(300000, '-') + e600 + "year", // past a block of the file's buffer
    };
    const std::vector<std::string> regions = {
        "1:2-6",       "2:3-7",     "3:4-8",     "4:3-5",       "5:1031-1035",
        "6:1025-1029", "7:601-605", "8:602-606", "9:2101-2105", "10:301201-301205"};
    for (const char* end : {"\n", "\r\n"}) {
        std::string text;
        for (const std::string& line : lines)
            text += line + end;
        for (int i = 0; i < 300; ++i) // blocks of short lines after the long ones
            text += "nothing here" + std::string(end);
        text += std::string(1500, 'z') + "\xf0\x9f\x98" + end; // a cut character at the end
        WriteWholeFile(dir / "a.c", text);
        for (const char* jobs : {"1", "2"}) {
            const CToolRun sarif = Run({"--format", "sarif", "--jobs", jobs, "a.c"});
            EXPECT_EQ(SarifRegions(sarif.out), regions) << jobs << (end[1] ? " CR LF" : " LF");
            const CToolRun github = Run({"--format", "github", "--jobs", jobs, "a.c"});
            std::vector<std::string> annotated;
            for (const CCommand& c : RunnerCommands(github.out))
                annotated.push_back(c.properties.at("line") + ":" + c.properties.at("col") + "-" +
                                    c.properties.at("endColumn"));
            EXPECT_EQ(annotated, regions);
        }
    }
}

// Names and strings that would end a command early, start another or stop the runner's
// command processing come through as they are; failures are errors after the warnings, and a
// stop ends the log as cancelled.
TEST_F(ReportToolTest, AnnotationsReadAsTheRunnerReadsThem) {
    WriteWholeFile(strings, "year\n%0A,x:y\n");
    const std::vector<std::string> names = {"a,b=c.c",         "a:b.c",      "100%0A%.c",
                                            "cr\rname.c",      "lf\nname.c", "::stop-commands::t",
                                            "x::warning::y.c", "l\xff.c"};
    std::vector<std::string> args = {"--format", "github"};
    for (const std::string& name : names) {
        WriteWholeFile(dir / name, "ok\nthe year %0A,X:Y\n");
        args.push_back(name);
    }
    args.push_back("missing.c");
    const CToolRun run = Run(args);
    EXPECT_EQ(run.status, 2);
    const std::vector<CCommand> commands = RunnerCommands(run.out);
    ASSERT_EQ(commands.size(), names.size() + 1) << run.out;
    for (size_t i = 0; i < names.size(); ++i) {
        const CCommand& c = commands[i];
        EXPECT_EQ(c.name, "warning");
        EXPECT_EQ(c.properties.at("file"), names[i]);
        EXPECT_EQ(c.properties.at("line"), "2");
        EXPECT_EQ(c.properties.at("col"), "5");
        EXPECT_EQ(c.properties.at("endColumn"), "9");
        EXPECT_EQ(c.properties.at("title"), "Kavel 2000: \"year\"");
        EXPECT_EQ(c.message, "Potential problem: the line holds \"year\" and \"%0A,x:y\"");
    }
    EXPECT_EQ(commands.back().name, "error");
    EXPECT_EQ(commands.back().properties.at("file"), "missing.c");
    EXPECT_EQ(commands.back().message, "Failed to open file: No such file or directory");
    EXPECT_EQ(run.err.find("GitHub shows"), std::string::npos);
    // The same names in GitLab's report, read strictly: as they are, or their Latin-1 reading.
    args[1] = "gitlab";
    CJson report;
    ASSERT_TRUE(ParseJson(Run(args).out, report));
    ASSERT_EQ(report.items.size(), 2 * names.size());
    for (size_t i = 0; i < names.size(); ++i)
        EXPECT_EQ(report.items[2 * i].At("location/path")->text,
                  names[i] == "l\xff.c" ? "l\xc3\xbf.c" : names[i]);
    // More than a step shows: standard error says how many the log holds.
    std::string many;
    for (int i = 0; i < 11; ++i)
        many += "year\n";
    WriteWholeFile(dir / "many.c", many);
    EXPECT_EQ(Run({"--format", "github", "many.c"}).err,
              "kavel-report: 11 warnings and 0 errors: GitHub shows at most 10 warnings and 10 "
              "errors of a step as annotations (50 of a job); the step's log holds them all\n");

    // Absolute names: relative to the current folder, outside it as given.
    CTempDir other;
    WriteWholeFile(other / "o.c", "year\n");
    CToolRun absolute = Run({"--format", "github", dir / "a:b.c", other / "o.c"});
    std::vector<std::string> files;
    for (const CCommand& c : RunnerCommands(absolute.out))
        files.push_back(c.properties.at("file"));
    EXPECT_EQ(files, (std::vector<std::string>{"a:b.c", other / "o.c"}));

    // A stop: the warnings so far, then the run's end as cancelled.
    const std::string fifo = dir / "names";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    for (const char* format : {"github", "gitlab"}) {
        std::filesystem::remove(output); // the wait below reads the new run's report
        const pid_t pid = StartReportTool(
            dir, options,
            {"--strings", strings, "--output", output, "--format", format, "--files-from", fifo});
        const int writer = ::open(fifo.c_str(), O_WRONLY);
        ASSERT_GE(writer, 0);
        ASSERT_EQ(::write(writer, "a:b.c\n", 6), 6);
        EXPECT_TRUE(WaitForFileStart(output, "a:b.c\r\n  Potential problem in line 2:"));
        ::kill(pid, SIGTERM);
        const CToolRun stopped = FinishReportTool(dir, pid);
        ::close(writer);
        EXPECT_EQ(stopped.status, 130);
        if (format[4] == 'u') {
            const std::vector<CCommand> told = RunnerCommands(stopped.out);
            ASSERT_EQ(told.size(), 2u) << stopped.out << stopped.err;
            EXPECT_EQ(told[1].name + ":" + told[1].message, "error:Report Cancelled");
        } else {
            CJson report;
            ASSERT_TRUE(ParseJson(stopped.out, report)) << stopped.out;
            EXPECT_EQ(report.items.size(), 2u);
        }
    }
}

// GitLab's report: one strict JSON array however the run ends, an issue per new result whose
// fingerprint follows the line, not its number, and keeps two equal lines two issues.
TEST_F(ReportToolTest, CodeQualityIsOneArrayWithAFingerprintPerResult) {
    const auto issues = [](const CToolRun& run) {
        CJson report;
        EXPECT_TRUE(ParseJson(run.out, report)) << run.out;
        EXPECT_EQ(report.kind, CJson::EKind::ARRAY);
        std::vector<std::string> found;
        for (const CJson& i : report.items) {
            EXPECT_EQ(i.Get("severity")->text, "minor");
            EXPECT_TRUE(i.Get("check_name")->text.starts_with("KAVEL-"));
            EXPECT_EQ(i.Get("description")->text.substr(0, 18), "Potential problem:");
            found.push_back(i.At("location/path")->text + ":" +
                            std::to_string(long(i.At("location/lines/begin")->number)) + " " +
                            i.Get("fingerprint")->text);
        }
        return found;
    };
    WriteWholeFile(dir / "a,b:c.c", "year 19\nok\nyear 19\n");
    const std::vector<std::string> before = issues(Run({"--format", "gitlab", "a,b:c.c"}));
    ASSERT_EQ(before.size(), 4u);
    EXPECT_EQ(std::set<std::string>(before.begin(), before.end()).size(), 4u);
    WriteWholeFile(dir / "a,b:c.c", "new\nyear 19\nok\nyear 19\n");
    std::vector<std::string> after = issues(Run({"--format", "gitlab", "a,b:c.c"}));
    ASSERT_EQ(after.size(), 4u);
    for (size_t i = 0; i < after.size(); ++i)
        EXPECT_EQ(after[i].substr(after[i].find(' ')), before[i].substr(before[i].find(' ')));
    EXPECT_EQ(after[0].substr(0, after[0].find(' ')), "a,b:c.c:2");

    // Nothing found, a file that failed, a baseline refused before the run: an array still.
    WriteWholeFile(dir / "clean.c", "ok\n");
    EXPECT_EQ(Run({"--format", "gitlab", "clean.c"}).out, "[]\n");
    EXPECT_EQ(issues(Run({"--format", "gitlab", "missing.c", "a,b:c.c"})).size(), 4u);
    const CToolRun refused = Run({"--format", "gitlab", "--baseline", "none.sarif", "a,b:c.c"});
    EXPECT_EQ(refused.status, 2);
    EXPECT_EQ(refused.out, "[]\n");
}

// What is new is judged once: every machine format shows the new results only, and with
// --baseline-all grep, JSON and SARIF show them all (annotations and issues never do). The
// rules of results that are gone are defined from the baseline, their strings gone too.
TEST_F(ReportToolTest, EveryMachineFormatShowsWhatIsNew) {
    WriteWholeFile(strings, "year\n19\nDATE\n");
    WriteWholeFile(dir / "a.c", "old year\nold 19\ngone date\n");
    WriteWholeFile(dir / "base.sarif", Run({"--format", "sarif", "a.c"}).out);
    WriteWholeFile(strings, "year\n19\n");
    WriteWholeFile(dir / "a.c", "old year\nold 19\nnew year 19\n");
    const auto shown = [&](const char* format, bool all) {
        std::vector<std::string> args = {"--format", format, "--baseline", "base.sarif", "a.c"};
        if (all)
            args.push_back("--baseline-all");
        const CToolRun run = Run(args);
        EXPECT_EQ(run.status, 1) << format << run.err;
        const std::string& out = run.out;
        if (std::string(format) == "sarif") {
            CJson log;
            EXPECT_TRUE(ParseJson(out, log));
            std::set<std::string> texts;
            for (const CJson& rule : log.At("runs/0/tool/driver/rules")->items) {
                texts.insert(rule.At("shortDescription/text")->text);
                EXPECT_FALSE(rule.At("fullDescription/text")->text.empty());
                EXPECT_NE(rule.At("help/markdown")->text.find("--baseline"), std::string::npos);
            }
            EXPECT_EQ(texts.count("Search string \"DATE\""), all ? 1u : 0u);
            return long(log.At("runs/0/results")->items.size());
        }
        if (std::string(format) == "gitlab") {
            CJson report;
            EXPECT_TRUE(ParseJson(out, report));
            return long(report.items.size());
        }
        return long(std::count(out.begin(), out.end(), '\n')) -
               (std::string(format) == "json" ? 2 : 0); // the file and summary records
    };
    const std::map<std::string, std::pair<long, long>> expected = {{"grep", {1, 3}},
                                                                   {"json", {1, 3}},
                                                                   {"sarif", {2, 5}},
                                                                   {"github", {1, 1}},
                                                                   {"gitlab", {2, 2}}};
    for (const auto& [format, counts] : expected) {
        EXPECT_EQ(shown(format.c_str(), false), counts.first) << format;
        EXPECT_EQ(shown(format.c_str(), true), counts.second) << format;
    }
}

// More results than code scanning takes: standard error says so; the log stays as it is.
TEST_F(ReportToolTest, ARunPastCodeScanningsLimitSaysSo) {
    std::string text;
    for (int i = 0; i < 25001; ++i)
        text += "year\n";
    WriteWholeFile(dir / "a.c", text);
    CToolRun run = Run({"--format", "sarif", "a.c"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "kavel-report: 25001 results: code scanning takes at most 25,000 in a "
                       "run; use a baseline or excludes\n");
    WriteWholeFile(dir / "a.c", text.substr(5));
    EXPECT_EQ(Run({"--format", "sarif", "a.c"}).err, "");
}

} // namespace
