#pragma once
// One checked file: opened read-only when it is a regular file, told apart when it is the
// report's own output file, read no further than its length when the check began (0 too), and its
// lines scanned a block at a time. The run and the scan pool's workers check files alike.

#include "core/lines/linefile.h"
#include "core/match/matcher.h"
#include "core/report/reportsink.h"
#include "core/run/filescan.h"

#include <string>
#include <string_view>
#include <sys/types.h>
#include <utility>

// Where a file's check stands: still scanning, at one of the ends the report hears, or the
// run's own output file (left to the run, which checks it in order).
enum class ECheckState {
    SCANNING,    // lines are being checked
    SCANNED,     // all lines checked, or as many as a stop allowed
    OPEN_FAILED, // the file could not be opened
    READ_FAILED, // the lines up to a read error checked
    OUTPUT_FILE, // the run's own output file
};

// The end the report hears of a check that has ended (SCANNED, OPEN_FAILED or READ_FAILED).
constexpr EFileOutcome ReportedOutcome(ECheckState state) {
    return state == ECheckState::OPEN_FAILED   ? EFileOutcome::OPEN_FAILED
           : state == ECheckState::READ_FAILED ? EFileOutcome::READ_FAILED
                                               : EFileOutcome::SCANNED;
}

class CFileCheck {
  public:
    // The matcher must outlive the check; maxChars is the line maximum of the scan.
    CFileCheck(const CSearchMatcher& matcher, unsigned maxChars);

    // Opens the file (a check serves one file after another, its buffers kept). OPEN_FAILED,
    // with FailReason saying why;
    // OUTPUT_FILE when it is the output file, then it is read to
    // its end unless LimitToPresentLength is called (after the output has been written out to
    // where the report stands); else SCANNING.
    ECheckState Open(const CListedFile& file, const CFileId& output);
    // Reads no further than the file's present length (see CLineFile::LimitToLength).
    void LimitToPresentLength() { m_file.LimitToLength(false); }

    // The next block of lines; false at the end of the file or at a read error.
    bool NextBlock() { return m_scanner.NextBlock(m_file); }
    size_t LineCount() const { return m_scanner.LineCount(); }
    // The block's lines that hold a search string, in order: hit j is line HitLine(j) of the
    // block (from 0), with the text HitText(j) as the report prints it.
    size_t HitCount() const { return m_scanner.HitCount(); }
    size_t HitLine(size_t j) const { return m_scanner.HitLine(j); }
    std::string_view HitText(size_t j) const { return m_scanner.HitText(j); }
    // The file's own line in which line i of the block lies (see CFileScanner).
    long PhysicalLine(size_t i) const { return m_scanner.PhysicalLine(i); }
    CPieceStart LineStart(size_t i) const { return m_scanner.LineStart(i); }
    bool HitMarked(size_t j) const { return m_scanner.HitMarked(j); }
    // Hit j of the block, or its lone marker k, as the sinks hear it: its report line number
    // counted after the base lines of the blocks before. The one place a block's hits are
    // numbered, for the run and the pool alike.
    CHit Hit(size_t j, long base) const {
        const size_t line = HitLine(j);
        return {base + static_cast<long>(line) + 1, PhysicalLine(line), HitText(j), LineStart(line),
                HitMarked(j)};
    }
    CHit LoneMarker(size_t k, long base) const {
        const size_t line = LoneMarkerLine(k);
        return {base + static_cast<long>(line) + 1, PhysicalLine(line), LoneMarkerText(k),
                LineStart(line), true};
    }
    size_t LoneMarkerCount() const { return m_scanner.LoneMarkerCount(); }
    size_t LoneMarkerLine(size_t k) const { return m_scanner.LoneMarkerLine(k); }
    std::string_view LoneMarkerText(size_t k) const { return m_scanner.LoneMarkerText(k); }
    // True when the lines ended at a read error rather than at the end of the file.
    bool ReadFailed() const { return m_file.ReadFailed(); }
    // Why the open or a read failed (see CLineFile::FailReason).
    const char* FailReason() const { return m_file.FailReason(); }
    // Done with the file (the next Open closes it too).
    void Close() { m_file.Close(); }

    // What a reader of a block took of it: its first nLines lines, holding nHits hits. bGoOn
    // false ends the file's check after them (a stop).
    struct CTaken {
        size_t nLines;
        size_t nHits;
        bool bGoOn;
    };
    // The file's check, a block at a time, to its end or a stop: the one loop of the run at
    // one job and of the pool's workers. take(check, counts) hands on the block's hits
    // (counts: the file's so far, before the block) and says what it took; the counts then
    // include that, and taken(counts), after a block taken whole, may end the check too by
    // returning false. Returns SCANNED, or READ_FAILED when a read error ended the lines; the
    // file is closed.
    template <typename Take, typename Taken>
    ECheckState CheckBlocks(CFileCounts& counts, Take take, Taken taken) {
        while (NextBlock()) {
            const CTaken block = take(static_cast<const CFileCheck&>(*this), std::as_const(counts));
            counts.nLines += static_cast<long>(block.nLines);
            counts.nProblems += static_cast<long>(block.nHits);
            if (block.nLines > 0)
                counts.nPhysical = PhysicalLine(block.nLines - 1);
            const bool whole = block.nLines == LineCount();
            if (!(whole && taken(std::as_const(counts))) || !block.bGoOn)
                break;
        }
        const ECheckState outcome = ReadFailed() ? ECheckState::READ_FAILED : ECheckState::SCANNED;
        counts.bShrank = m_file.Shrank();
        if (ReadFailed())
            counts.pszReason = FailReason();
        Close();
        return outcome;
    }

  private:
    CLineFile m_file;
    CFileScanner m_scanner;
};
