#include "scan/reportrun.h"

#include "scan/filepath.h"
#include "scan/filescan.h"
#include "scan/scanpool.h"
#include "resources/resource.h"
#include "resources/stringtable.h"
#include "toolkit/dirlisting.h"
#include "toolkit/messagetext.h"

#include <charconv>
#include <cstdio>
#include <cstring>
#include <memory>

namespace {

using Clock = std::chrono::steady_clock;

// Lines checked between two looks at the clock.
constexpr int LINES_PER_CLOCK_CHECK = 32;
// Events are drained at least this far apart while the strings file is read.
constexpr std::chrono::milliseconds LOAD_DRAIN_INTERVAL{20};

// The state of one run: the host, the output file, the matcher and the counters.
class CReportRun {
  public:
    explicit CReportRun(CReportHost& host) : m_host(host) {}
    CReportResult Run();

  private:
    void WriteReportLine(std::string_view text);
    bool LoadStrings(const std::string& stringsPath);
    void CheckFiles();
    void CheckFilesInParallel();
    // The name to open a file-list entry by: a relative name as it is when the run's directory
    // is the process's own (so that no path limit applies to the joined path), else the path.
    const std::string& OpenName(const std::string& name, const std::string& path) const;
    void ScanFile(const std::string& path);
    void WriteSummary(long lines, long problems);
    void AfterLine(long lineNumber);
    void AfterBlock(long lineNumber);
    void ReportHit(long lineNumber, std::string_view text);
    void ShowProgress(long lineNumber);
    void NoteOutputFailure();

    CReportHost& m_host;
    bool m_bDirectoryIsOwn = false;
    CLineFile m_output;
    bool m_bOutputOpen = false;
    // The output file's device and inode, to recognise it among the checked files.
    bool m_bOutputKnown = false;
    dev_t m_outputDev{};
    ino_t m_outputIno{};
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

    // Creating the output file would empty the strings file before it is read.
    m_output.SetStopSignal(m_host.m_pStopSignal);
    if (IsSameFile(outputPath, stringsPath)) {
        m_host.AppendReportLine("Error: The output file is the search string file");
    } else if (!m_output.Create(outputPath)) {
        m_host.AppendReportLine("Error: Failed to create output file");
    } else {
        m_bOutputOpen = true;
        m_bOutputKnown = m_output.Identity(m_outputDev, m_outputIno);
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
        WriteReportLine("Writing to output file: " + ReportPathText(outputPath));
        WriteReportLine("Using Search String file: " + ReportPathText(stringsPath) + "\r\n");
        if (!m_output.Flush())
            NoteOutputFailure();

        if (!LoadStrings(stringsPath)) {
            WriteReportLine("Error: Unable to open string file");
        } else if (m_result.bStringsOpened = true; m_host.m_bReporting == 1) {
            m_pMatcher = std::make_unique<CSearchMatcher>(m_host.m_szSearchStrings);
            m_lastDrain = Clock::now();
            if (m_host.m_nJobs > 1)
                CheckFilesInParallel();
            else
                CheckFiles();
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

// A huge strings file is read with the window kept alive, and a stop ends the reading. A
// strings file of the usual size is read before the first look.
bool CReportRun::LoadStrings(const std::string& stringsPath) {
    m_lastDrain = Clock::now();
    const auto interval = std::max(m_host.m_drainInterval, LOAD_DRAIN_INTERVAL);
    return LoadSearchStrings(m_host.m_szSearchStrings, stringsPath, [this, interval] {
        if (Clock::now() - m_lastDrain >= interval) {
            m_host.DrainMessageQueue();
            m_lastDrain = Clock::now();
        }
        return m_host.m_bReporting == 1;
    });
}

const std::string& CReportRun::OpenName(const std::string& name, const std::string& path) const {
    return m_bDirectoryIsOwn && !name.empty() && name[0] != '/' ? name : path;
}

void CReportRun::CheckFiles() {
    const std::string directory = m_host.GetCurrentDirectory();
    m_bDirectoryIsOwn = directory == CurrentDirectory();
    for (int i = 0; m_host.m_bReporting == 1; ++i) {
        if (i >= m_host.GetFileCount())
            break;
        if (!m_host.IsFileSelected(i))
            continue;
        const std::string name = m_host.GetFileName(i);
        const std::string path = BuildReportPath(directory, name);
        WriteReportLine(ReportPathText(path));
        ScanFile(OpenName(name, path));
        WriteReportLine("");
        if (!m_output.Flush())
            NoteOutputFailure();
    }
}

// The files are scanned by workers, and written here in list order as with one thread: the
// report is the same byte for byte. A stop ends the file being written with the lines checked
// so far, as it would with one thread, and drops the files after it.
void CReportRun::CheckFilesInParallel() {
    std::vector<std::string> paths, shown; // to open, and as the report shows them
    const std::string directory = m_host.GetCurrentDirectory();
    m_bDirectoryIsOwn = directory == CurrentDirectory();
    for (int i = 0; i < m_host.GetFileCount(); ++i)
        if (m_host.IsFileSelected(i)) {
            const std::string name = m_host.GetFileName(i);
            const std::string path = BuildReportPath(directory, name);
            paths.push_back(OpenName(name, path));
            shown.push_back(ReportPathText(path));
        }
    CScanPool pool(*m_pMatcher, SCAN_LINE_MAX, paths, m_host.m_nJobs,
                   m_bOutputOpen && m_bOutputKnown, m_outputDev, m_outputIno);
    if (!pool.Started()) {
        CheckFiles();
        return;
    }

    const auto wait = std::max(m_host.m_drainInterval, std::chrono::milliseconds(1));
    CHitBuffer hits;
    for (size_t i = 0; i < paths.size() && m_host.m_bReporting == 1; ++i) {
        WriteReportLine(shown[i]);
        long lines = 0, problems = 0;
        EFileOutcome outcome;
        do {
            outcome = pool.Take(i, wait, hits, lines, problems);
            hits.ForEach([this](long number, std::string_view text) { ReportHit(number, text); });
            if (m_host.m_bReporting == 1 && Clock::now() - m_lastDrain >= m_host.m_drainInterval) {
                ShowProgress(lines);
                if (m_host.m_bReporting != 1)
                    pool.Stop();
            }
        } while (outcome == EFileOutcome::SCANNING);

        if (outcome == EFileOutcome::OPEN_FAILED) {
            ++m_result.nFilesFailed;
            WriteReportLine("  Failed to open file.");
        } else if (outcome == EFileOutcome::OUTPUT_FILE) {
            ScanFile(paths[i]); // in order, so that it ends where the report stood
        } else {
            ++m_result.nFilesChecked;
            if (outcome == EFileOutcome::READ_FAILED) {
                ++m_result.nFilesFailed;
                WriteReportLine("  Failed to read file.");
            }
            if (m_host.m_bReporting == 1)
                ShowProgress(lines);
            m_result.nProblems += problems;
            WriteSummary(lines, problems);
        }
        WriteReportLine("");
        if (!m_output.Flush())
            NoteOutputFailure();
    }
}

void CReportRun::WriteSummary(long lines, long problems) {
    WriteReportLine(
        Printf("  %ld line(s) checked, %ld potential compliance problem(s) identified", lines,
               problems));
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
    // Both report lines in one piece, written to the output file at once.
    m_strLine.assign("  Potential problem in line ");
    AppendNumber(m_strLine, lineNumber);
    m_strLine.push_back(':');
    const size_t firstEnd = m_strLine.size();
    m_strLine.append("\r\n  >");
    m_strLine.append(text);
    const std::string_view both = m_strLine;
    m_host.AppendReportLine(both.substr(0, firstEnd));
    m_host.AppendReportLine(both.substr(firstEnd + 2));
    if (m_bOutputOpen && !m_output.WriteFailed())
        WriteTextLine(m_output, both.data(), both.size());
}

void CReportRun::ScanFile(const std::string& path) {
    CLineFile file;
    if (!file.OpenRead(path)) {
        ++m_result.nFilesFailed;
        WriteReportLine("  Failed to open file.");
        return;
    }
    ++m_result.nFilesChecked;

    // A file is checked as far as it reached when its check began, so one that grows
    // meanwhile (a log being written, the report's own output file) cannot keep the run
    // going. The report's own output file is first written out to where the report stands.
    // A size of 0 (the kernel's /proc files) says nothing: such a file is read to its end.
    dev_t inDev;
    ino_t inIno;
    off_t length = 0;
    bool known = file.Identity(inDev, inIno, &length);
    if (known && m_bOutputOpen && m_bOutputKnown && inDev == m_outputDev && inIno == m_outputIno) {
        if (!m_output.Flush())
            NoteOutputFailure();
        known = file.Identity(inDev, inIno, &length);
    }
    if (known && length > 0)
        file.LimitReadLength(length);

    // Lines are read and matched a block at a time; the report, the progress and a stop still
    // go line by line: a stop takes effect after the line at which it was asked for.
    const bool everyLine = m_host.m_drainInterval.count() <= 0;
    CFileScanner scanner(*m_pMatcher, SCAN_LINE_MAX);
    long lineNumber = 0;
    long problems = 0;
    while (m_host.m_bReporting == 1 && scanner.NextBlock(file)) {
        const size_t count = scanner.LineCount();
        size_t i = 0; // lines of the block done
        size_t hit = 0;
        if (everyLine) {
            for (; i < count && m_host.m_bReporting == 1; ++i) {
                const long number = lineNumber + static_cast<long>(i) + 1;
                if (hit < scanner.HitCount() && scanner.HitLine(hit) == i) {
                    ReportHit(number, scanner.HitText(hit++));
                    ++problems;
                    AfterLine(number);
                } else {
                    ShowProgress(number);
                }
            }
        } else if (m_host.m_bReporting == 1) {
            // Lines without a hit need nothing more: from hit to hit, and the block is done
            // unless a stop came with one.
            i = count;
            for (; hit < scanner.HitCount(); ++hit) {
                const size_t line = scanner.HitLine(hit);
                const long number = lineNumber + static_cast<long>(line) + 1;
                ReportHit(number, scanner.HitText(hit));
                ++problems;
                AfterLine(number);
                if (m_host.m_bReporting != 1) {
                    i = line + 1;
                    break;
                }
            }
        }
        lineNumber += static_cast<long>(i);
        if (!everyLine && i == count)
            AfterBlock(lineNumber);
    }
    // A read error ends the file like its end would; the report says so, and the lines
    // read up to it stay counted.
    if (file.ReadFailed()) {
        ++m_result.nFilesFailed;
        WriteReportLine("  Failed to read file.");
    }
    file.Close();
    if (!everyLine && m_host.m_bReporting == 1)
        ShowProgress(lineNumber);
    m_result.nProblems += problems;
    WriteSummary(lineNumber, problems);
}
