#pragma once
// Where a report goes. A sink receives the report as the run makes it, event by event: the
// text report (the output file, the report view) is one kind of sink, and a tee hands every
// event to several.

#include "core/lines/linefile.h"
#include "core/match/searchstrings.h"
#include "core/text/utf8.h"

#include <ctime>
#include <string>
#include <string_view>
#include <vector>

// A line of a checked file that holds a search string.
struct CHit {
    long nLine;     // its number as the report counts lines: pieces of at most 1024 bytes
    long nPhysical; // the number of the file's own line it lies in, counted by LF from 1
    // Its text up to a NUL. It starts with a LF where a cut fell between a CR and its LF:
    // that LF is data to the report, and lies on the line before (see nPhysical).
    std::string_view text;
    // Where the text (after such a LF) starts in the file's own line: a line longer than a
    // piece goes on in the next hit's or in pieces without a hit.
    CPieceStart start;
    // The text holds a marker's word (see core/match/markers.h), when the scan looks for them.
    bool bMarker = false;
};

// How a checked file ended, as the report hears it.
enum class EFileOutcome {
    SCANNED,     // all lines checked, or as many as a stop allowed
    OPEN_FAILED, // the file could not be opened
    READ_FAILED, // the lines up to a read error checked
};

// True for the outcomes of a file that could not be checked whole.
constexpr bool IsFailure(EFileOutcome outcome) {
    return outcome == EFileOutcome::OPEN_FAILED || outcome == EFileOutcome::READ_FAILED;
}

// What a checked file came to, as far as it was checked.
struct CFileCounts {
    long nLines = 0;      // lines as the report counts them
    long nProblems = 0;   // lines reported
    long nPhysical = 0;   // the file's own lines reached, the last one whole or not
    bool bShrank = false; // it ended before its length at the start of its check (truncated)
    // Why it could not be opened or read whole (see CLineFile::FailReason); nullptr otherwise.
    const char* pszReason = nullptr;
};

// What a run's header says.
struct CRunHeader {
    std::tm created{};       // when the run began, in local time
    bool bOutputFile = true; // false: the report goes to the view only
    std::string outputPath;
    std::string stringsPath;
};

// The events come in this order: RunBegin; StringsLoaded once the strings file is read; then
// for each checked file FileBegin, its hits in line order and FileEnd; then RunEnd, after which
// nothing follows. Errors may come before the first file and between a file's FileEnd and the
// next FileBegin.
class CReportSink {
  public:
    virtual ~CReportSink() = default;
    // The run has begun: a sink that shows a header shows it now.
    virtual void RunBegin(const CRunHeader&) {}
    // The strings file is read (the table may hold no string): a sink that needs the strings
    // takes them now. The table lasts until RunEnd. No file is checked without this event.
    virtual void StringsLoaded(const SearchStringTable&) {}
    // A run's error, as the report words it ("Error: Unable to open string file").
    virtual void Error(std::string_view text) = 0;
    // A checked file's path, as the report names it (bytes as they are), and its name as it
    // was given (on a command line, in a list, or found by a walk below a name given).
    virtual void FileBegin(const std::string& path, const std::string& name) = 0;
    // A line of the file that holds a search string.
    virtual void Hit(const CHit& hit) = 0;
    // A line (a piece of one) that holds a marker's word and no string: no part of the report,
    // it comes among the hits in line order when the scan looks for markers.
    virtual void Marker(const CHit&) {}
    // How the file ended: its outcome (SCANNED, OPEN_FAILED or READ_FAILED) and its counts,
    // with the reason of a failure.
    virtual void FileEnd(EFileOutcome outcome, const CFileCounts& counts) = 0;
    // The run has ended, completely or by a stop.
    virtual void RunEnd(bool bCancelled) = 0;
    // What the sink holds back is written out: the run does so now and then, and before it
    // waits for a list that is still coming, so that a reader sees the files checked so far.
    virtual void Flush() {}
};

// The report as lines of text: every event becomes the lines it stands for, each handed to
// WriteLine without the CR LF that follows it.
class CTextReportSink : public CReportSink {
  public:
    void RunBegin(const CRunHeader& header) override;
    void Error(std::string_view text) override { WriteLine(text); }
    void FileBegin(const std::string& path, const std::string& name) override;
    void Hit(const CHit& hit) override;
    void FileEnd(EFileOutcome outcome, const CFileCounts& counts) override;
    void RunEnd(bool bCancelled) override;

  protected:
    virtual void WriteLine(std::string_view text) = 0;
    // The two lines of a hit: "  Potential problem in line N:" and "  >" with the text. By
    // default two calls of WriteLine; a sink that gathers text may put them straight into
    // its buffer.
    virtual void WriteHit(long lineNumber, std::string_view text);

  private:
    std::string m_strHit; // scratch for the second line of a hit
};

// Puts the first line of a hit, "  Potential problem in line N:", at heading; returns its
// length.
constexpr size_t HIT_HEADING_MAX = 56;
size_t FormatHitHeading(long lineNumber, char (&heading)[HIT_HEADING_MAX]);

// A report that nobody sees.
class CNullSink : public CReportSink {
  public:
    void Error(std::string_view) override {}
    void FileBegin(const std::string&, const std::string&) override {}
    void Hit(const CHit&) override {}
    void FileEnd(EFileOutcome, const CFileCounts&) override {}
    void RunEnd(bool) override {}
};

// Every event to each sink in turn. The sinks must outlive the tee.
class CTeeSink : public CReportSink {
  public:
    CTeeSink() = default;
    explicit CTeeSink(std::vector<CReportSink*> sinks) : m_sinks(std::move(sinks)) {}
    void Add(CReportSink& sink) { m_sinks.push_back(&sink); }

    void RunBegin(const CRunHeader& header) override;
    void StringsLoaded(const SearchStringTable& strings) override;
    void Error(std::string_view text) override;
    void FileBegin(const std::string& path, const std::string& name) override;
    void Hit(const CHit& hit) override;
    void Marker(const CHit& line) override;
    void FileEnd(EFileOutcome outcome, const CFileCounts& counts) override;
    void RunEnd(bool bCancelled) override;
    void Flush() override;

  private:
    std::vector<CReportSink*> m_sinks;
};

// The text report written to a file, every line followed by CR LF, a hit's two lines in one
// write. A write that fails is remembered by the file (CLineFile::WriteFailed); nothing more
// is written then.
class CLineFileSink : public CTextReportSink {
  public:
    explicit CLineFileSink(CLineFile& file) : m_file(file) {}

  protected:
    void WriteLine(std::string_view text) override;
    void WriteHit(long lineNumber, std::string_view text) override;

  private:
    CLineFile& m_file;
};
