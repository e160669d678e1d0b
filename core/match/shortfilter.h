#pragma once
// A prefilter for short strings (2 bytes and more), and for those that hold a CR or a LF, which
// the gram filter leaves to the automaton: finds every position whose window of 2 to 4 bytes,
// letter case folded, may be the window that one of the strings is looked up by.
//
// Each string is looked up by one window inside it, of its length up to 4 bytes, the run of its
// rarest bytes. The windows are put in 8 buckets, each as wide as its narrowest window; for
// each byte j of a window, two tables of 16 give the buckets whose windows hold that low nibble
// and that high nibble at j (every bucket narrower than j + 1 holds them all). A position passes
// when some bucket holds every nibble of the 4 bytes from it; with vector shuffles, 32 positions
// are looked at in a few instructions.
//
// Why it finds every occurrence: where a string occurs, its window lies at one position inside
// the occurrence; the folded bytes there are the window's own, so each of their nibbles is in
// its bucket's bit of every table up to the bucket's width, beyond which the bucket takes any
// byte (or none, at the end of the bytes), and the position passes.

#include "core/match/gramfilter.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class CShortFilter {
  public:
    static constexpr unsigned BUCKETS = 8;
    // The ways of running the lookups (those of the gram filter); each finds the same positions.
    using Kind = CGramFilter::Kind;

    static constexpr unsigned WIDEST = 4;
    // Builds the tables for the strings (each 2 to 255 bytes, any bytes but NUL). False when a
    // string is shorter or there are none or too many.
    bool Build(const std::vector<std::string>& strings);
    // The narrowest and the widest bucket's window, in bytes (2 to 4).
    unsigned NarrowestWindow() const { return m_nNarrowest; }
    unsigned WidestWindow() const { return m_nWidest; }
    // The share of positions of source text that pass, as the byte frequencies of source text
    // foretell it: what the filter costs in places to confirm.
    double ExpectedPassRate() const { return m_passRate; }

    // Appends to positions, in order, every position p of the len bytes at data with
    // p + NarrowestWindow() <= len that passes. Reads no byte outside the len bytes.
    void Find(Kind kind, const unsigned char* data, size_t len,
              std::vector<uint32_t>& positions) const;
    // True when one of the strings occurs at some q with from <= q and q + its length <= to whose
    // window lies at position at. Reads no byte outside [from, to).
    bool Confirms(const unsigned char* data, size_t at, size_t from, size_t to) const;

  private:
    // The buckets that the window at p (of the len bytes at data) may belong to, as bits.
    unsigned BucketsAt(const unsigned char* data, size_t p, size_t len) const {
        unsigned bits = 0xFF;
        for (unsigned j = 0; j < m_nWidest; ++j)
            bits &= p + j < len ? m_byteBuckets[j][data[p + j]] : m_narrower[j];
        return bits;
    }

    unsigned m_nNarrowest = 2;
    unsigned m_nWidest = 2;
    double m_passRate = 0;
    // By window byte: the buckets by low nibble and by high nibble of the byte with bit 5 set (a
    // letter's case folded, and some other bytes with it), and both looked up by any byte.
    alignas(16) uint8_t m_low[WIDEST][16] = {};
    alignas(16) uint8_t m_high[WIDEST][16] = {};
    uint8_t m_byteBuckets[WIDEST][256] = {};
    uint8_t m_narrower[WIDEST] = {}; // the buckets narrower than j + 1 bytes
    // Each bucket's strings (in upper case) with the offset of their window.
    struct CRef {
        uint16_t nString;
        uint8_t nOffset;
    };
    std::vector<CRef> m_refs;
    uint32_t m_first[BUCKETS + 1] = {};
    std::vector<std::string> m_strings;
};
