#pragma once
// The report run: header, strings file, every selected file line by line, summaries, end line.
// The same run serves the main window, the batch tool and the tests: the program supplies the
// run's inputs (the settings, a file source, a stop), a host (status and event draining) and a
// sink for the report as it shows it.

#include "core/lines/stopflag.h"
#include "core/match/searchstrings.h"
#include "core/report/reportsink.h"
#include "core/run/runpause.h"
#include "core/text/datestamp.h"

#include <chrono>
#include <ctime>
#include <string>
#include <vector>

// The most characters of a checked line that one read returns; a longer line is cut.
constexpr unsigned SCAN_LINE_MAX = 1024;

// Where a run's files come from: the selected files of a list, in its order, each handed over
// once (a long list may keep none of them).
class CFileSource {
  public:
    enum class ENext { FILE, WAITING, END };
    virtual ~CFileSource() = default;
    // The next file, into file. A list that grows while the run goes (folders being walked)
    // waits at most wait for it, and says WAITING when wait passed first (milliseconds::max():
    // no limit); END once the list is complete and handed over, or the run's stop is set.
    virtual ENext Next(CListedFile& file, std::chrono::milliseconds wait) = 0;
};

// What one run checks, given by the program at its start.
struct CRunInputs {
    std::string outputPath;  // the two settings ("" when not set)
    std::string stringsPath; //
    std::string directory;   // the directory that relative file names are taken from
    CFileSource& files;
    // The search string table, filled anew by the run.
    SearchStringTable& strings;
    // The run's stop, shared by the run, its workers and a walk: nonzero ends the run after the
    // line being checked. A signal handler may set it, or the host inside DrainMessageQueue.
    const StopFlag& stop;
    // The clock of the header's date and time stamps.
    LocalClock clock = ReadLocalTime;
};

// What a run shows its program while it goes. Every call comes from the thread that called
// RunReport; none of them may start another run.
class CReportHost {
  public:
    virtual ~CReportHost() = default;
    virtual void SetStatusText(const std::string& text) = 0;
    // Lets the program handle what waits (painting, commands, a stop request).
    virtual void DrainMessageQueue() = 0;
    // The run begins (controls to lock) and ends (controls to unlock, the window's "Ready").
    virtual void BeginReporting() {}
    virtual void EndReporting() {}
};

// How a run goes about its work; the report is the same whatever they are.
struct CRunOptions {
    // Files checked at the same time by worker threads. 1 checks them one after the other on
    // the calling thread. With more, the file list is read once at the start of the file loop,
    // and progress and stops go by the time budget alone.
    int nJobs = 1;
    // Progress is shown and DrainMessageQueue called this far apart while files are checked
    // (the one pace of a run's showing, CPacer in core/run/pacer.h); zero means after every
    // line.
    std::chrono::milliseconds drainInterval{40};
    // When set, nonzero once a stop signal came: a write of the output file that cannot go on
    // then gives up within about a second instead of holding the stop.
    const StopFlag* pStopSignal = nullptr;
    // When set, the workers wait while it holds (the window holds it while a dialog is open).
    CRunPause* pPause = nullptr;
    // Files the output file must not be: those the run reads besides the strings file (a list
    // of names), and the files its standard output and error write to. An output file that is
    // one of them is not created, and the run ends with the error given.
    struct CInput {
        CFileId id;
        std::string error;
    };
    std::vector<CInput> inputs;
    // False: no output file; the report goes to the view only, and its header leaves out the
    // line that names the output file.
    bool bOutputFile = true;
    // When not -1, the strings are read from this descriptor (a pipe, standard input) instead
    // of the strings file's path, which the header still names. The run does not close it.
    int stringsFd = -1;
    // The scan also finds the lines that hold an in-source marker (core/match/markers.h), and
    // hands them to the sinks as markers.
    bool bMarkers = false;
};

// What became of a run; the window ignores it, the batch tool turns it into its exit status.
struct CReportResult {
    bool bOutputCreated = false;
    bool bOutputInUse = false; // another run holds the output file
    bool bOutputWriteFailed = false;
    bool bStringsOpened = false;
    bool bCancelled = false;
    int nFilesChecked = 0;
    int nFilesFailed = 0; // selected files that could not be opened or read to their end
    long nProblems = 0;   // lines reported, over all files
    // The run's error lines, as the report words them, in order; a failure to write the output
    // file that came after the end line (at its close) is here only.
    std::vector<std::string> errors;
};

// Performs one whole run; returns when it has ended, normally or by a stop. The view receives
// the whole report as the program shows it, errors about the output file included; the output
// file receives the report as the run writes it.
CReportResult RunReport(const CRunInputs& inputs, CReportHost& host, CReportSink& view,
                        const CRunOptions& options = {});
