#include "core/report/reportsink.h"

#include "core/lines/filepath.h"
#include "core/text/datestamp.h"
#include "core/text/messagetext.h"
#include "core/text/resource.h"

#include <charconv>
#include <cstdio>

size_t FormatHitHeading(long lineNumber, char (&heading)[HIT_HEADING_MAX]) {
    static constexpr std::string_view START = "  Potential problem in line ";
    START.copy(heading, START.size());
    char* end =
        std::to_chars(heading + START.size(), heading + HIT_HEADING_MAX - 1, lineNumber).ptr;
    *end++ = ':';
    return static_cast<size_t>(end - heading);
}

void CTextReportSink::RunBegin(const CRunHeader& header) {
    const LocalClock clock = [&header] { return header.created; };
    WriteLine("");
    // The title and the notice come from one shared buffer: copy each at once.
    std::string line = "*** ";
    line += LoadMessageText(IDS_APP_TITLE);
    line += " - ";
    line += LoadMessageText(IDS_ABOUT_NOTICE);
    line += " ***\r\n";
    WriteLine(line);
    WriteLine("Report: Check of files for year 2000 compliance");
    WriteLine("Created: " + FormatDateStamp(1, 5, clock) + " at " + FormatTimeStamp(0, clock) +
              "\r\n\r\n");
    if (header.bOutputFile)
        WriteLine("Writing to output file: " + ReportPathText(header.outputPath));
    WriteLine("Using Search String file: " + ReportPathText(header.stringsPath) + "\r\n");
}

void CTextReportSink::FileBegin(const std::string& path, const std::string&) {
    WriteLine(ReportPathText(path));
}

void CTextReportSink::Hit(const CHit& hit) {
    WriteHit(hit.nLine, hit.text);
}

void CTextReportSink::WriteHit(long lineNumber, std::string_view text) {
    char heading[HIT_HEADING_MAX];
    WriteLine(std::string_view(heading, FormatHitHeading(lineNumber, heading)));
    m_strHit.assign("  >");
    m_strHit.append(text);
    WriteLine(m_strHit);
}

void CTextReportSink::FileEnd(EFileOutcome outcome, const CFileCounts& counts) {
    if (outcome == EFileOutcome::OPEN_FAILED) {
        WriteLine("  Failed to open file."); // no summary: nothing was checked
    } else {
        if (outcome == EFileOutcome::READ_FAILED)
            WriteLine("  Failed to read file.");
        char summary[128];
        std::snprintf(summary, sizeof summary,
                      "  %ld line(s) checked, %ld potential compliance problem(s) identified",
                      counts.nLines, counts.nProblems);
        WriteLine(summary);
    }
    WriteLine("");
}

void CTextReportSink::RunEnd(bool bCancelled) {
    WriteLine(bCancelled ? "*** Report Cancelled ***\r\n" : "*** End of Report ***\r\n");
}

void CTeeSink::RunBegin(const CRunHeader& header) {
    for (CReportSink* sink : m_sinks)
        sink->RunBegin(header);
}

void CTeeSink::StringsLoaded(const SearchStringTable& strings) {
    for (CReportSink* sink : m_sinks)
        sink->StringsLoaded(strings);
}

void CTeeSink::Error(std::string_view text) {
    for (CReportSink* sink : m_sinks)
        sink->Error(text);
}

void CTeeSink::FileBegin(const std::string& path, const std::string& name) {
    for (CReportSink* sink : m_sinks)
        sink->FileBegin(path, name);
}

void CTeeSink::Hit(const CHit& hit) {
    for (CReportSink* sink : m_sinks)
        sink->Hit(hit);
}

void CTeeSink::Marker(const CHit& line) {
    for (CReportSink* sink : m_sinks)
        sink->Marker(line);
}

void CTeeSink::FileEnd(EFileOutcome outcome, const CFileCounts& counts) {
    for (CReportSink* sink : m_sinks)
        sink->FileEnd(outcome, counts);
}

void CTeeSink::RunEnd(bool bCancelled) {
    for (CReportSink* sink : m_sinks)
        sink->RunEnd(bCancelled);
}

void CTeeSink::Flush() {
    for (CReportSink* sink : m_sinks)
        sink->Flush();
}

void CLineFileSink::WriteLine(std::string_view text) {
    if (!m_file.WriteFailed())
        WriteTextLine(m_file, text.data(), text.size());
}

void CLineFileSink::WriteHit(long lineNumber, std::string_view text) {
    if (m_file.WriteFailed())
        return;
    char heading[HIT_HEADING_MAX];
    m_file.Write(heading, FormatHitHeading(lineNumber, heading));
    m_file.Write("\r\n  >", 5);
    WriteTextLine(m_file, text.data(), text.size());
}
