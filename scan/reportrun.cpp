#include "scan/reportrun.h"

#include "scan/filescan.h"
#include "resources/resource.h"
#include "resources/stringtable.h"
#include "toolkit/messagetext.h"

#include <charconv>
#include <cstdio>
#include <cstring>
#include <memory>

namespace {

using Clock = std::chrono::steady_clock;

// Lines checked between two looks at the clock.
constexpr int LINES_PER_CLOCK_CHECK = 32;

// The state of one run: the host, the output file, the matcher and the counters.
class CReportRun {
  public:
    explicit CReportRun(CReportHost& host) : m_host(host) {}
    CReportResult Run();

  private:
    void WriteReportLine(std::string_view text);
    void ScanFile(const std::string& path);
    void AfterLine(long lineNumber);
    void AfterBlock(long lineNumber);
    void ReportHit(long lineNumber, std::string_view text);
    void ShowProgress(long lineNumber);
    void NoteOutputFailure();

    CReportHost& m_host;
    CLineFile m_output;
    bool m_bOutputOpen = false;
    bool m_bWriteErrorShown = false;
    std::unique_ptr<CSearchMatcher> m_pMatcher;
    CReportResult m_result;
    Clock::time_point m_lastDrain;
    int m_nLinesSinceClockCheck = 0;
    std::string m_strLine; // scratch for the report lines of a hit
};

std::string Printf(const char* format, long a) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, format, a);
    return buffer;
}

std::string Printf(const char* format, long a, long b) {
    char buffer[128];
    std::snprintf(buffer, sizeof buffer, format, a, b);
    return buffer;
}

void AppendNumber(std::string& text, long n) {
    char digits[24];
    text.append(digits, std::to_chars(digits, digits + sizeof digits, n).ptr);
}

} // namespace

std::string BuildReportPath(const std::string& currentDirectory, const std::string& name) {
    if (!name.empty() && name[0] == '/')
        return name;
    std::string path = currentDirectory;
    AddTrailingBackslash(path);
    path += name;
    return path;
}

CReportResult RunReport(CReportHost& host) { return CReportRun(host).Run(); }

void CReportRun::NoteOutputFailure() {
    m_result.bOutputWriteFailed = true;
    if (!m_bWriteErrorShown) {
        m_bWriteErrorShown = true;
        m_host.AppendReportLine("Error: Failed to write output file");
    }
}

void CReportRun::WriteReportLine(std::string_view text) {
    m_host.AppendReportLine(text);
    if (m_bOutputOpen && !m_output.WriteFailed())
        WriteTextLine(m_output, text.data(), text.size());
}

CReportResult CReportRun::Run() {
    m_host.m_bReporting = 1;
    m_host.BeginReporting();

    const std::string outputPath = m_host.GetOutputPath();
    const std::string stringsPath = m_host.GetSearchStringsPath();

    if (!m_output.Create(outputPath)) {
        m_host.AppendReportLine("Error: Failed to create output file");
    } else {
        m_bOutputOpen = true;
        m_result.bOutputCreated = true;
        const LocalClock clock = [this] { return m_host.GetLocalTime(); };

        WriteReportLine("");
        // The title and the notice come from one shared buffer: copy each at once.
        std::string line = "*** ";
        line += LoadMessageText(IDS_APP_TITLE);
        line += " - ";
        line += LoadMessageText(IDS_ABOUT_NOTICE);
        line += " ***\r\n";
        WriteReportLine(line);
        WriteReportLine("Report: Check of files for year 2000 compliance");
        WriteReportLine("Created: " + FormatDateStamp(1, 5, clock) + " at " +
                        FormatTimeStamp(0, clock) + "\r\n\r\n");
        WriteReportLine("Writing to output file: " + outputPath);
        WriteReportLine("Using Search String file: " + stringsPath + "\r\n");
        if (!m_output.Flush())
            NoteOutputFailure();

        if (!LoadSearchStrings(m_host.m_szSearchStrings, stringsPath)) {
            WriteReportLine("Error: Unable to open string file");
        } else {
            m_result.bStringsOpened = true;
            m_pMatcher = std::make_unique<CSearchMatcher>(m_host.m_szSearchStrings);
            m_lastDrain = Clock::now();
            for (int i = 0; m_host.m_bReporting == 1; ++i) {
                if (i >= m_host.GetFileCount())
                    break;
                if (!m_host.IsFileSelected(i))
                    continue;
                const std::string path =
                    BuildReportPath(m_host.GetCurrentDirectory(), m_host.GetFileName(i));
                WriteReportLine(path);
                ScanFile(path);
                WriteReportLine("");
                if (!m_output.Flush())
                    NoteOutputFailure();
            }
        }
    }

    m_result.bCancelled = m_host.m_bReporting != 1;
    WriteReportLine(m_result.bCancelled ? "*** Report Cancelled ***\r\n"
                                        : "*** End of Report ***\r\n");
    if (m_bOutputOpen) {
        m_bOutputOpen = false;
        if (!m_output.Close())
            NoteOutputFailure();
    }

    m_host.m_bReporting = 0;
    m_host.EndReporting();
    m_host.SetStatusText(LoadStringResource(IDS_READY, 80));
    return m_result;
}

void CReportRun::ShowProgress(long lineNumber) {
    m_host.SetStatusText(Printf("%ld line(s) checked", lineNumber));
    m_host.DrainMessageQueue();
    m_lastDrain = Clock::now();
    m_nLinesSinceClockCheck = 0;
}

void CReportRun::AfterLine(long lineNumber) {
    if (m_host.m_drainInterval.count() <= 0) {
        ShowProgress(lineNumber);
        return;
    }
    if (++m_nLinesSinceClockCheck < LINES_PER_CLOCK_CHECK)
        return;
    m_nLinesSinceClockCheck = 0;
    if (Clock::now() - m_lastDrain >= m_host.m_drainInterval)
        ShowProgress(lineNumber);
}

void CReportRun::AfterBlock(long lineNumber) {
    m_nLinesSinceClockCheck = 0;
    if (Clock::now() - m_lastDrain >= m_host.m_drainInterval)
        ShowProgress(lineNumber);
}

void CReportRun::ReportHit(long lineNumber, std::string_view text) {
    m_strLine.assign("  Potential problem in line ");
    AppendNumber(m_strLine, lineNumber);
    m_strLine.push_back(':');
    WriteReportLine(m_strLine);
    m_strLine.assign("  >");
    m_strLine.append(text);
    WriteReportLine(m_strLine);
}

void CReportRun::ScanFile(const std::string& path) {
    CLineFile file;
    if (!file.OpenRead(path)) {
        ++m_result.nFilesFailed;
        WriteReportLine("  Failed to open file.");
        return;
    }
    ++m_result.nFilesChecked;

    // The output file itself: scan only what the report held when the scan opened it, so
    // the report's own lines cannot feed the scan without end.
    dev_t outDev, inDev;
    ino_t outIno, inIno;
    if (m_bOutputOpen && m_output.Identity(outDev, outIno) && file.Identity(inDev, inIno) &&
        outDev == inDev && outIno == inIno) {
        if (!m_output.Flush())
            NoteOutputFailure();
        off_t length = 0;
        file.Identity(inDev, inIno, &length);
        file.LimitReadLength(length);
    }

    // Lines are read and matched a block at a time; the report, the progress and a stop still
    // go line by line: a stop takes effect after the line at which it was asked for.
    const bool everyLine = m_host.m_drainInterval.count() <= 0;
    CFileScanner scanner(*m_pMatcher, SCAN_LINE_MAX);
    long lineNumber = 0;
    long problems = 0;
    while (m_host.m_bReporting == 1 && scanner.NextBlock(file)) {
        const size_t count = scanner.LineCount();
        size_t i = 0;
        while (i < count && m_host.m_bReporting == 1) {
            const long number = lineNumber + static_cast<long>(i) + 1;
            if (scanner.IsHit(i)) {
                ReportHit(number, scanner.LineText(i));
                ++problems;
                AfterLine(number);
            } else if (everyLine) {
                ShowProgress(number);
            }
            ++i;
        }
        lineNumber += static_cast<long>(i);
        if (!everyLine && i == count)
            AfterBlock(lineNumber);
    }
    file.Close();
    if (!everyLine && m_host.m_bReporting == 1)
        ShowProgress(lineNumber);
    m_result.nProblems += problems;
    WriteReportLine(
        Printf("  %ld line(s) checked, %ld potential compliance problem(s) identified",
               lineNumber, problems));
}
