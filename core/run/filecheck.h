#pragma once
// One checked file: opened read-only when it is a regular file, told apart when it is the
// report's own output file, read no further than its length when the check began (0 too), and its
// lines scanned a block at a time. The run and the scan pool's workers check files alike.

#include "core/lines/linefile.h"
#include "core/match/matcher.h"
#include "core/run/filescan.h"

#include <string>
#include <string_view>
#include <sys/types.h>
#include <utility>

// What became of a checked file.
enum class EFileOutcome {
    SCANNING,    // lines are being checked
    SCANNED,     // all lines checked, or as many as a stop allowed
    OPEN_FAILED, // the file could not be opened
    READ_FAILED, // the lines up to a read error checked
    OUTPUT_FILE, // the run's own output file
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

// A file's device and inode, to know it under any name.
struct CFileId {
    bool bKnown = false;
    dev_t dev{};
    ino_t ino{};
};

class CFileCheck {
  public:
    // The matcher must outlive the check; maxChars is the line maximum of the scan.
    CFileCheck(const CSearchMatcher& matcher, unsigned maxChars);

    // Opens the file (a check serves one file after another, its buffers kept). OPEN_FAILED,
    // with FailReason saying why;
    // OUTPUT_FILE when it is the output file, then it is read to
    // its end unless LimitToPresentLength is called (after the output has been written out to
    // where the report stands); else SCANNING.
    EFileOutcome Open(const CListedFile& file, const CFileId& output);
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
    EFileOutcome CheckBlocks(CFileCounts& counts, Take take, Taken taken) {
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
        const EFileOutcome outcome =
            ReadFailed() ? EFileOutcome::READ_FAILED : EFileOutcome::SCANNED;
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
