#pragma once
// Finds whether a line holds any search string, ASCII letters compared without case.

#include "core/lines/linesplit.h"
#include "core/match/byteclass.h"
#include "core/match/gramfilter.h"
#include "core/match/searchstrings.h"
#include "core/match/shortfilter.h"
#include "core/text/ascii.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// A line of a block that holds a search string: its number in the block (from 0) and where it
// lies.
struct CLineHit {
    uint32_t nLine;
    CLineSpan span;
};

// An automaton over byte classes that reads a line once, whatever the number of strings. A NUL
// ends what it sees of a line. Read-only after construction: one matcher may serve threads.
class CSearchMatcher {
  public:
    // Takes the strings of the table up to its first empty slot.
    explicit CSearchMatcher(const SearchStringTable& table);
    // True when the len bytes at line, up to the first NUL, hold at least one of the strings as
    // a contiguous run.
    bool Matches(const char* line, size_t len) const;
    // Sets hits[i] to 1 when line i of the block at base holds a string, else to 0. The spans
    // are in order and do not overlap. Lines separated by their line ends (LF or CR LF), as
    // most are, are read in one stream, eight parts of the block at a time.
    void MatchLines(const char* base, const CLineSpan* lines, size_t count, uint8_t* hits) const;
    // The same for a block of len bytes in which every LF ends a line, as FindLfLines finds
    // them: lfBits has a bit for each LF. Appends the lines that hold a string to hits, in order.
    void MatchLfLines(const char* base, size_t len, const uint64_t* lfBits,
                      std::vector<CLineHit>& hits) const;
    bool Empty() const { return m_table16.empty() && m_table32.empty(); }
    // Whether a scan with this matcher also finds the lines that hold a marker's word
    // (FindMarkerWords): they are no hits of its own, set before the scan begins.
    bool FindsMarkers() const { return m_bMarkers; }
    void SetFindsMarkers(bool bMarkers) { m_bMarkers = bMarkers; }

    // The ways MatchLines and MatchLfLines find the lines that hold a string; each finds the
    // same lines. Stream: the automaton reads the whole block. Prefilter: the prefilters name
    // the few places where a string may occur (with plain or vector lookups), the gram filter
    // for the strings of 5 bytes and more, the short filter for the others, and the places are
    // confirmed in the lines that hold them; a block with too many places is read as a stream.
    enum class EPath { Stream, PrefilterPlain, PrefilterAvx2 };
    // True when the path runs on this processor and serves these strings (the prefilter serves
    // strings of 2 bytes and more).
    bool Runs(EPath path) const;
    // The path taken, chosen from the strings (ChoosePath in matcherbuild.cpp). SetPath takes
    // one that Runs (for tests and benchmarks).
    EPath Path() const { return m_path; }
    // Appends the places the prefilters name in the len bytes at data, the gram filter's (in
    // order) before the short filter's (in order); returns the number of the gram filter's.
    // With the vector lookups unless the path is the prefilter's plain ones.
    size_t FindPlaces(const char* data, size_t len, std::vector<uint32_t>& places) const;
    // What the prefilter looks up, in words (for benchmarks): the filters and their windows.
    std::string Describe() const;
    void SetPath(EPath path) {
        if (Runs(path))
            m_path = path;
    }

  private:
    bool m_bMarkers = false;
    // The classes of the bytes that the scan treats apart.
    static constexpr uint32_t CLASS_NUL = 1, CLASS_CR = 2, CLASS_LF = 3;

    // The build (matcherbuild.cpp): byte classes for the strings (returns their number), and
    // the table from the trie with its failure links filled in.
    static uint32_t AssignClasses(const std::vector<std::string>& strings, uint8_t (&classOf)[256]);
    void LayOutTable(const std::vector<int32_t>& next, const std::vector<uint8_t>& accepts,
                     const std::vector<int32_t>& order);

    template <typename Entry>
    void MatchLines(const Entry* table, const char* base, const CLineSpan* lines, size_t count,
                    uint8_t* hits) const;
    template <typename Entry>
    void MatchLfLines(const Entry* table, const char* base, size_t len, const uint64_t* lfBits,
                      std::vector<CLineHit>& hits) const;
    // Reads the eight parts [from[k], from[k + 1]) of a block side by side, each from the start
    // state, and notes in marks where a signal state was met (see below). Returns the end state
    // of the last part that is not empty, or the start state.
    template <typename Entry>
    size_t ReadParts(const Entry* table, const unsigned char* bytes, const uint32_t* from,
                     std::vector<uint32_t>& marks) const;
    // Reads again, from the states before, the GROUP bytes at at of the parts (their classes
    // CHUNK apart) whose states after them, read with the table's copy, are signal states;
    // notes the signals in marks and leaves the true end states in states. Apart from
    // ReadParts: few groups meet a signal state.
    template <typename Entry>
    [[gnu::noinline]] void ReadGroup(const Entry* table, const uint8_t* classes,
                                     const size_t* before, size_t* states, const uint32_t* from,
                                     size_t at, std::vector<uint32_t>& marks) const;
    // Reads one line by the matching rule alone, from the start state.
    template <typename Entry> bool MatchesLine(const Entry* table, const char* p, size_t n) const;
    // The prefilter's positions in the len bytes at data, as marks to be read again (offset by
    // base); false when they are too many for reading their lines one by one to pay.
    bool PrefilterMarks(const char* data, size_t len, uint32_t base,
                        std::vector<uint32_t>& marks) const;
    // The hits of MatchLines from the stream's marks of a block (see ReadParts), in any order.
    template <typename Entry>
    void HitsFromMarks(const Entry* table, const char* base, const CLineSpan* lines, size_t count,
                       const std::vector<uint32_t>& marks, uint8_t* hits) const;
    // The hits of MatchLfLines from the marks, in the order of the lines: the stream's marks
    // (see ReadParts), or the prefilter's places to confirm.
    template <typename Entry>
    void LfHitsFromMarks(const Entry* table, const char* base, size_t len, const uint64_t* lfBits,
                         const std::vector<uint32_t>& sorted, bool confirm,
                         std::vector<CLineHit>& hits) const;
    // True when a string occurs in the line text [from, to) of the block at base, found by the
    // prefilter's place (SHORT_PLACE set or not).
    bool PrefilterConfirms(const char* base, uint32_t place, size_t from, size_t to) const;

    // States are row offsets into the table (row number times m_nClasses). In the table, a CR
    // leads from every state to CR_SEEN, and a LF from every state back to the start state:
    // lines separated by LF or CR LF can be read in one stream. A line that holds a CR of its
    // own is read again with m_crColumn, the true transitions on CR; a line read by itself
    // takes a LF (data, first in a line after a cut) by m_lfColumn.
    static constexpr uint32_t CR_SEEN = 0; // the last byte was a CR
    uint32_t m_nSwallow = 0;               // the line is marked already: wait for its LF
    uint32_t m_nStart = 0;
    // When a block is read as one stream, the states with m_nSignal set mark the line they
    // occur in: a line whose first mark is m_nMatch holds a string, any other is read again by
    // itself. Each of them is left on the next byte, so that a line is marked once or a few
    // times. Every other state lies below m_nSignal, a power of two.
    uint32_t m_nSignal = 0;
    uint32_t m_nMatch = 0;     // a string was found
    uint32_t m_nDead = 0;      // a NUL was read: the rest of the line is not seen
    uint32_t m_nUncertain = 0; // a CR inside the line was read
    uint32_t m_nCrAgain = 0;   // a CR right after a CR

    // The table has 16-bit entries when they suffice (half the cache it takes), else 32-bit.
    std::vector<uint16_t> m_table16;
    size_t m_nTableSize = 0; // entries of the table (a 16-bit one is followed by its copy)
    std::vector<uint32_t> m_table32;
    std::vector<uint32_t> m_crColumn; // by row number
    std::vector<uint32_t> m_lfColumn; // by row number
    CByteClassMap m_classes;
    uint32_t m_nClasses = 0;
    // The prefilters: the gram filter serves the strings of 5 bytes and more without CR or LF,
    // the short filter the others; either may have no strings. Places named by the short
    // filter carry SHORT_PLACE.
    static constexpr uint32_t SHORT_PLACE = 0x80000000;
    CGramFilter m_grams;
    CShortFilter m_short;
    bool m_bGrams = false;     // the gram filter has strings
    bool m_bShort = false;     // the short filter has strings
    bool m_bPrefilter = false; // the two serve every string
    EPath m_path = EPath::Stream;
    // Chooses the path from the strings and the prefilters built for them.
    void ChoosePath(const std::vector<std::string>& strings);
    // True when a string of the prefilter that named the place at (SHORT_PLACE set or not)
    // occurs in [from, to) with its window or group there.
    bool FilterConfirms(const unsigned char* data, uint32_t place, size_t from, size_t to) const {
        return (place & SHORT_PLACE) != 0 ? m_short.Confirms(data, place & ~SHORT_PLACE, from, to)
                                          : m_grams.Confirms(data, place, from, to);
    }
};
