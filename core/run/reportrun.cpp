#include "core/run/reportrun.h"

#include "core/lines/filepath.h"
#include "core/run/filecheck.h"
#include "core/run/pacer.h"
#include "core/run/scanpool.h"

#include <cstdio>
#include <deque>
#include <functional>
#include <memory>

namespace {

using Clock = std::chrono::steady_clock;

// The output file is written out at least this often while files are checked, also inside
// a long file.
constexpr std::chrono::milliseconds FLUSH_INTERVAL{100};
// Events are drained at least this far apart while the strings file is read.
constexpr std::chrono::milliseconds LOAD_DRAIN_INTERVAL{20};
// Files handed to the workers at most this far ahead of the one being written: far more than
// they start ahead (see CScanPool), and few enough that a list of millions is not held twice.
constexpr size_t POOL_LEAD = 4096;

// The list as it is handed to the pool, up to POOL_LEAD files ahead of the one being written:
// a growing list (folders being walked) is waited for only when the report needs its next
// file, and the files written are dropped from the front, so that a long list keeps no path it
// is done with.
class CPoolFeed {
  public:
    // A file of the list: as it is opened (without a file opened ahead: the worker's copy holds
    // that), as the report names it, and as it was given.
    struct CFile {
        CListedFile open;
        std::string shown, given;
    };
    // next(file, bWait): the list's next file, waited for with bWait. prepare(file, shown): the
    // file as it is opened.
    using Next = std::function<CFileSource::ENext(CListedFile&, bool bWait)>;
    using Prepare = std::function<CListedFile(CListedFile, const std::string& shown)>;

    CPoolFeed(CScanPool& pool, const std::string& directory, Next next, Prepare prepare)
        : m_pool(pool), m_directory(directory), m_next(std::move(next)),
          m_prepare(std::move(prepare)) {}

    // Hands the pool the files the list holds by now; with bWait, the first is waited for.
    void Take(bool bWait) {
        std::vector<CListedFile> added;
        CListedFile file;
        while (!m_bComplete && m_files.size() < POOL_LEAD) {
            const CFileSource::ENext next = m_next(file, bWait && added.empty());
            if (next != CFileSource::ENext::FILE) {
                m_bComplete = next == CFileSource::ENext::END;
                break;
            }
            std::string shown = BuildReportPath(m_directory, file.name);
            std::string given = file.name;
            added.push_back(m_prepare(std::move(file), shown));
            m_files.push_back({added.back(), std::move(shown), std::move(given)});
            m_files.back().open.opened.reset();
        }
        m_pool.Add(std::move(added));
    }
    // Every file of the list has been handed over.
    bool Complete() const { return m_bComplete; }
    bool Empty() const { return m_files.empty(); }
    // The file being written, and done with it.
    const CFile& Front() const { return m_files.front(); }
    void PopFront() { m_files.pop_front(); }

  private:
    CScanPool& m_pool;
    const std::string& m_directory;
    Next m_next;
    Prepare m_prepare;
    std::deque<CFile> m_files;
    bool m_bComplete = false;
};

// The state of one run: the inputs, the host, the sinks, the output file, the matcher and the
// counters.
class CReportRun {
  public:
    CReportRun(const CRunInputs& inputs, CReportHost& host, CReportSink& view,
               const CRunOptions& options)
        : m_in(inputs), m_host(host), m_view(view), m_options(options), m_outputSink(m_output) {
        m_report.Add(view);
    }
    CReportResult Run();

  private:
    bool Stopped() const { return m_in.stop.load(std::memory_order_relaxed) != 0; }
    void CheckStringsAndFiles(CLineFile& strings);
    std::string InputError(const CFileId& stringsId) const;
    bool LoadStrings(CLineFile& strings);
    void CheckFiles();
    void CheckFilesInParallel();
    // File i of the list, as the pool checked it: its hits written as they come, a stop taking
    // effect at the lines shown, the output file checked here in order.
    void WriteFromPool(CScanPool& pool, size_t i, const CPoolFeed::CFile& file, CHitBuffer& hits);
    // A file-list entry as it is opened: a walked file beneath its walk's root; a relative
    // name as it is when the run's directory is the process's own (so that no path limit
    // applies to the joined path); else by its path.
    CListedFile ToOpen(CListedFile listed, const std::string& path) const;
    void ScanFile(const CListedFile& file);
    // Lines from, from + 1, ... up to to of a block whose first line has the number base + 1,
    // none of them a hit: with progress after every line each is shown. Returns the lines of
    // the block passed, to unless a stop came first.
    size_t PassLines(long base, size_t from, size_t to);
    void EndFile(ECheckState outcome, const CFileCounts& counts);
    // Progress after a line on the time budget; false once the run is stopped.
    bool AfterLine(long lineNumber);
    // The one pace of the run's showing: the drain interval has passed since the last drain.
    bool ProgressDue() const { return m_pacer.Due(); }
    // Shows the lines checked and drains; false once the run is stopped.
    bool ShowProgress(long lineNumber);
    // Writes out what waits for the output file and in the view.
    void FlushOutput();
    void FlushOutputNowAndThen();
    void NoteOutputFailure();
    // An error of the run: to the sink given (the view, or the whole report), and the result.
    void Error(CReportSink& sink, const std::string& text);
    // The list's next file; false at its end or after a stop.
    bool NextFile(CListedFile& file);

    const CRunInputs& m_in;
    CReportHost& m_host;
    CReportSink& m_view;
    const CRunOptions m_options;
    CLineFile m_output;
    CLineFileSink m_outputSink;
    CTeeSink m_report; // the view and, once created, the output file
    CFileId m_outputId;
    bool m_bDirectoryIsOwn = false;
    bool m_bWriteErrorShown = false;
    std::unique_ptr<CSearchMatcher> m_pMatcher;
    std::unique_ptr<CFileCheck> m_pCheck;
    CReportResult m_result;
    CPacer m_pacer{m_options.drainInterval};
    Clock::time_point m_lastFlush;
};

} // namespace

CReportResult RunReport(const CRunInputs& inputs, CReportHost& host, CReportSink& view,
                        const CRunOptions& options) {
    return CReportRun(inputs, host, view, options).Run();
}

CReportResult CReportRun::Run() {
    m_host.BeginReporting();

    // The strings file is opened first and read from what was opened: an output file that
    // is the strings file under any name would empty it, and one created where a missing
    // strings file was named would be read as strings.
    CLineFile strings;
    CFileId stringsId;
    if (m_options.stringsFd >= 0 ? strings.OpenStream(m_options.stringsFd)
                                 : strings.OpenRead(m_in.stringsPath))
        stringsId.bKnown = strings.Identity(stringsId.dev, stringsId.ino);
    // A reader of the output file that takes nothing now (a pipe, a FIFO) does not hold the
    // program: its events go on at the run's pace while the write waits, so that a stop can be
    // asked for, and after a stop the write gives up.
    m_output.SetWriteWait([this] {
        if (!Stopped() && ProgressDue()) {
            m_host.DrainMessageQueue();
            m_pacer.Drained();
        }
        const StopFlag* signal = m_options.pStopSignal;
        return Stopped() || (signal != nullptr && signal->load(std::memory_order_relaxed) != 0);
    });
    const std::string inputError = m_options.bOutputFile ? InputError(stringsId) : std::string();
    CLineFile::ECreate created = CLineFile::ECreate::FAILED;
    if (!m_options.bOutputFile) {
        CheckStringsAndFiles(strings);
    } else if (!inputError.empty()) {
        Error(m_view, inputError);
    } else if (created = m_output.CreateLocked(m_in.outputPath);
               created == CLineFile::ECreate::IN_USE) {
        m_result.bOutputInUse = true;
        Error(m_view, "Error: The output file is locked by another process or report run");
    } else if (created == CLineFile::ECreate::FAILED) {
        Error(m_view, "Error: Failed to create output file");
    } else {
        m_result.bOutputCreated = true;
        m_outputId.bKnown = m_output.Identity(m_outputId.dev, m_outputId.ino);
        m_report.Add(m_outputSink);
        CheckStringsAndFiles(strings);
    }

    m_result.bCancelled = Stopped();
    // A write that failed is told before the end line, so that the end line is the last line
    // of every report; one that fails with the end line or at the close is the result's only.
    FlushOutput();
    m_report.RunEnd(m_result.bCancelled);
    if (m_result.bOutputCreated && !m_output.Close() && !m_result.bOutputWriteFailed) {
        m_result.bOutputWriteFailed = true;
        m_result.errors.push_back("Error: Failed to write output file");
    }

    m_host.EndReporting();
    return m_result;
}

// The header, the strings, and the files.
void CReportRun::CheckStringsAndFiles(CLineFile& strings) {
    m_report.RunBegin({m_in.clock(), m_options.bOutputFile, m_in.outputPath, m_in.stringsPath});
    FlushOutput();
    if (!LoadStrings(strings)) {
        Error(m_report, "Error: Unable to open string file");
        return;
    }
    m_result.bStringsOpened = true;
    m_report.StringsLoaded(m_in.strings);
    if (!Stopped()) {
        m_pMatcher = std::make_unique<CSearchMatcher>(m_in.strings);
        m_pMatcher->SetFindsMarkers(m_options.bMarkers);
        m_pacer.Drained();
        if (m_options.nJobs > 1)
            CheckFilesInParallel();
        else
            CheckFiles();
    }
}

// The error of an output file that is a file the run reads (under any name), else "": it would
// be emptied before it is read.
std::string CReportRun::InputError(const CFileId& stringsId) const {
    if (stringsId.bKnown && NamesFile(m_in.outputPath, stringsId.dev, stringsId.ino))
        return "Error: The output file is the search string file";
    for (const CRunOptions::CInput& input : m_options.inputs)
        if (input.id.bKnown && NamesFile(m_in.outputPath, input.id.dev, input.id.ino))
            return input.error;
    return {};
}

void CReportRun::FlushOutput() {
    m_lastFlush = Clock::now();
    if (m_result.bOutputCreated && !m_output.Flush())
        NoteOutputFailure();
    m_view.Flush();
}

// A list that has no next file yet and has been quiet for a moment has what was written reach
// its readers before the run waits on: not at every wait, as a walk catches up with the run at
// nearly every folder.
bool CReportRun::NextFile(CListedFile& file) {
    CFileSource::ENext next = m_in.files.Next(file, FLUSH_INTERVAL);
    if (next == CFileSource::ENext::WAITING) {
        FlushOutput();
        next = m_in.files.Next(file, std::chrono::milliseconds::max());
    }
    return next == CFileSource::ENext::FILE && !Stopped();
}

// After a file: the output is written out now and then, not after every file, which would
// cost a write for each of many small files.
void CReportRun::FlushOutputNowAndThen() {
    if (Clock::now() - m_lastFlush >= FLUSH_INTERVAL)
        FlushOutput();
}

// A write of the output file failed: shown once, in the view only.
void CReportRun::NoteOutputFailure() {
    m_result.bOutputWriteFailed = true;
    if (!m_bWriteErrorShown) {
        m_bWriteErrorShown = true;
        Error(m_view, "Error: Failed to write output file");
    }
}

void CReportRun::Error(CReportSink& sink, const std::string& text) {
    m_result.errors.push_back(text);
    sink.Error(text);
}

// A huge strings file is read with the window kept alive, and a stop ends the reading. A
// strings file of the usual size is read before the first look.
bool CReportRun::LoadStrings(CLineFile& strings) {
    m_pacer.Drained();
    return LoadSearchStrings(m_in.strings, strings, [this] {
        // A stop that broke a read of a pipe is seen at once: the pipe may say nothing more
        // for long.
        if (!Stopped() && m_pacer.Due(LOAD_DRAIN_INTERVAL)) {
            m_host.DrainMessageQueue();
            m_pacer.Drained();
        }
        return !Stopped();
    });
}

CListedFile CReportRun::ToOpen(CListedFile listed, const std::string& path) const {
    if (!listed.root && !(m_bDirectoryIsOwn && !listed.name.empty() && listed.name[0] != '/')) {
        if (listed.name != path)
            listed.opened.reset(); // opened by another name
        listed.name = path;
    }
    return listed;
}

void CReportRun::CheckFiles() {
    m_bDirectoryIsOwn = m_in.directory == CurrentDirectory();
    for (CListedFile listed; NextFile(listed);) {
        const std::string path = BuildReportPath(m_in.directory, listed.name);
        m_report.FileBegin(path, listed.name);
        ScanFile(ToOpen(std::move(listed), path));
        FlushOutputNowAndThen();
    }
}

// The files are scanned by workers, and written here in list order as with one thread: the
// report is the same byte for byte. A stop ends the file being written with the lines checked
// so far, as it would with one thread, and drops the files after it.
void CReportRun::CheckFilesInParallel() {
    m_bDirectoryIsOwn = m_in.directory == CurrentDirectory();
    CScanPool pool(*m_pMatcher, SCAN_LINE_MAX, m_options.nJobs, m_outputId);
    pool.SetPause(m_options.pPause);
    pool.SetStop(&m_in.stop);
    if (!pool.Started()) {
        CheckFiles();
        return;
    }

    CPoolFeed feed(
        pool, m_in.directory,
        [this](CListedFile& file, bool bWait) {
            if (bWait)
                return NextFile(file) ? CFileSource::ENext::FILE : CFileSource::ENext::END;
            return m_in.files.Next(file, {});
        },
        [this](CListedFile file, const std::string& shown) {
            return ToOpen(std::move(file), shown);
        });
    feed.Take(false);
    CHitBuffer hits;
    for (size_t i = 0; !Stopped(); ++i) {
        if (i > 0) // the file before is written
            feed.PopFront();
        while (feed.Empty() && !feed.Complete())
            feed.Take(true);
        if (feed.Complete())
            pool.EndOfFiles();
        if (feed.Empty())
            break;
        feed.Take(false); // what was listed meanwhile
        WriteFromPool(pool, i, feed.Front(), hits);
    }
}

void CReportRun::WriteFromPool(CScanPool& pool, size_t i, const CPoolFeed::CFile& file,
                               CHitBuffer& hits) {
    const auto wait = std::max(m_pacer.Interval(), std::chrono::milliseconds(1));
    m_report.FileBegin(file.shown, file.given);
    CFileCounts counts;
    ECheckState outcome;
    do {
        outcome = pool.Take(i, wait, hits, counts);
        hits.ForEach([this](const CHit& hit) { m_report.Hit(hit); },
                     [this](const CHit& line) { m_report.Marker(line); });
        // A stop ends the file at the lines just shown, as with one thread: what the workers
        // checked meanwhile is left out.
        if (Stopped() || (ProgressDue() && !ShowProgress(counts.nLines))) {
            pool.Stop();
            if (outcome == ECheckState::SCANNING)
                outcome = ECheckState::SCANNED;
        }
    } while (outcome == ECheckState::SCANNING);

    if (outcome == ECheckState::OUTPUT_FILE) {
        ScanFile(file.open); // in order, so that it ends where the report stood
    } else {
        if (outcome != ECheckState::OPEN_FAILED && !Stopped() && ProgressDue())
            ShowProgress(counts.nLines);
        EndFile(outcome, counts);
    }
    FlushOutputNowAndThen();
}

void CReportRun::ScanFile(const CListedFile& file) {
    if (!m_pCheck)
        m_pCheck = std::make_unique<CFileCheck>(*m_pMatcher, SCAN_LINE_MAX);
    CFileCheck& check = *m_pCheck; // its buffers serve every file
    ECheckState outcome = check.Open(file, m_outputId);
    if (outcome == ECheckState::OPEN_FAILED) {
        CFileCounts failed;
        failed.pszReason = check.FailReason();
        EndFile(outcome, failed);
        return;
    }
    if (outcome == ECheckState::OUTPUT_FILE) {
        // The report's own output file: written out first to where the report stands, and
        // checked up to there.
        FlushOutput();
        check.LimitToPresentLength();
    }

    // Lines are read and matched a block at a time; the report, the progress and a stop still
    // go line by line: a stop takes effect after the line at which it was asked for.
    const bool everyLine = m_pacer.EveryLine();
    const auto take = [&](const CFileCheck& block, const CFileCounts& before) {
        CFileCheck::CTaken taken{0, 0, true}; // taken.nLines: lines of the block checked
        size_t k = 0;                         // the lone markers in line order among the hits
        for (size_t j = 0; taken.bGoOn && j < block.HitCount(); ++j) {
            const size_t line = block.HitLine(j);
            taken.nLines = PassLines(before.nLines, taken.nLines, line);
            taken.bGoOn = taken.nLines == line;
            for (; k < block.LoneMarkerCount() && block.LoneMarkerLine(k) < taken.nLines; ++k)
                m_report.Marker(block.LoneMarker(k, before.nLines));
            if (taken.bGoOn) {
                const CHit hit = block.Hit(j, before.nLines);
                ++taken.nLines;
                m_report.Hit(hit);
                ++taken.nHits;
                taken.bGoOn = AfterLine(hit.nLine);
            }
        }
        if (taken.bGoOn)
            taken.nLines = PassLines(before.nLines, taken.nLines, block.LineCount());
        for (; k < block.LoneMarkerCount() && block.LoneMarkerLine(k) < taken.nLines; ++k)
            m_report.Marker(block.LoneMarker(k, before.nLines));
        return taken;
    };
    const auto taken = [&](const CFileCounts& after) {
        if (!everyLine && ProgressDue())
            ShowProgress(after.nLines);
        return !Stopped();
    };
    CFileCounts counts;
    outcome = ECheckState::SCANNED;
    if (!Stopped())
        outcome = check.CheckBlocks(counts, take, taken);
    else
        check.Close();
    EndFile(outcome, counts);
}

size_t CReportRun::PassLines(long base, size_t from, size_t to) {
    if (!m_pacer.EveryLine())
        return to; // progress goes by the time budget: nothing to do line by line
    while (from < to)
        if (!ShowProgress(base + static_cast<long>(++from)))
            break;
    return from;
}

// The one writer of a file's end: the counts of the result, and the sinks' lines.
void CReportRun::EndFile(ECheckState outcome, const CFileCounts& counts) {
    if (outcome == ECheckState::OPEN_FAILED) {
        ++m_result.nFilesFailed;
    } else {
        ++m_result.nFilesChecked;
        m_result.nFilesFailed += outcome == ECheckState::READ_FAILED;
        m_result.nProblems += counts.nProblems;
    }
    m_report.FileEnd(ReportedOutcome(outcome), counts);
}

bool CReportRun::ShowProgress(long lineNumber) {
    // A long file does not hold back what was written before it.
    FlushOutputNowAndThen();
    char text[64];
    std::snprintf(text, sizeof text, "%ld line(s) checked", lineNumber);
    m_host.SetStatusText(text);
    m_host.DrainMessageQueue();
    m_pacer.Shown();
    return !Stopped();
}

bool CReportRun::AfterLine(long lineNumber) {
    if (m_pacer.EveryLine())
        return ShowProgress(lineNumber);
    // A stop from outside the run (a signal) ends the file after the line just reported.
    if (!m_pacer.LineLooks())
        return !Stopped();
    return ProgressDue() ? ShowProgress(lineNumber) : !Stopped();
}
