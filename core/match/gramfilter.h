#pragma once
// A prefilter for the matcher: finds where in a block a search string may occur by looking up
// the letter-folded group of up to four bytes at every s-th byte in a table of the groups that
// the strings hold. Most text holds none of them, so the automaton reads only the few lines
// that the prefilter names.
//
// Why it finds every occurrence: each string of length m holds s groups of g bytes that start
// at s consecutive offsets (g + s - 1 <= m), and every run of s consecutive positions of the
// block holds one that is looked at. So wherever the string occurs, one of its groups is looked
// up at a position inside the occurrence.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class CGramFilter {
  public:
    // The bits of a group's hash: the table of hashes takes a byte for each value.
    static constexpr unsigned HASH_BITS = 16;
    // The ways of running the lookups; each finds the same positions.
    enum class Kind { Plain, Avx2 };
    static bool Runs(Kind kind);
    // The widest kind this processor runs.
    static Kind Best();
    // How common a byte is in source text, a letter's case folded, roughly (per mille): the
    // rarest bytes of a string are the ones it is looked up by.
    static uint32_t Commonness(unsigned char byte);

    // Builds the table for the strings (each 1 to 30 bytes). False when a string holds a NUL,
    // CR or LF, whose meaning depends on where a line ends: the automaton reads those alone.
    bool Build(const std::vector<std::string>& strings);
    // Bytes a group holds (1 to 4) and the distance between two positions looked at (1 to 4).
    unsigned GroupBytes() const { return m_nGroup; }
    unsigned Stride() const { return m_nStride; }

    // Appends to positions, in order, every position p of the len bytes at data with p a
    // multiple of Stride() and p + GroupBytes() <= len whose group is one of the table's.
    // Reads no byte outside the len bytes.
    void Find(Kind kind, const unsigned char* data, size_t len,
              std::vector<uint32_t>& positions) const;
    // True when one of the strings occurs at some q with from <= q and q + its length <= to
    // whose group at position at (one that Find named) is one the string was looked up by.
    // Every occurrence in [from, to) is confirmed at one of the positions Find names in it.
    // Reads no byte outside [from, to).
    bool Confirms(const unsigned char* data, size_t at, size_t from, size_t to) const;

  private:
    // Letter case folded away (and some control bytes with it: a prefilter may name too much,
    // never too little), the bytes beyond the group cleared.
    uint32_t Fold(uint32_t group) const { return (group | 0x20202020u) & m_nMask; }
    static uint32_t Hash(uint32_t folded) { return (folded * 0x9E3779B1u) >> (32 - HASH_BITS); }
    uint32_t SlotOf(uint32_t folded) const { return (folded * 0x85EBCA6Bu) >> (32 - m_nSlotBits); }
    // The slot of a group of the table, or null.
    struct CSlot {
        uint32_t nGroup = 0; // 0: empty
        uint32_t nFirst = 0; // its strings in m_refs
        uint32_t nCount = 0;
    };
    const CSlot* Holds(uint32_t folded) const;
    void FindPlain(const unsigned char* data, size_t from, size_t len,
                   std::vector<uint32_t>& positions) const;

    unsigned m_nGroup = 4;
    unsigned m_nStride = 1;
    uint32_t m_nMask = ~0u;
    // A byte per hash value: set when a group of the table has that hash. A hit is confirmed in
    // m_slots, the groups by a second hash (open addressing), each with the strings (in upper
    // case) and the offsets in them where it was taken.
    struct CRef {
        uint16_t nString;
        uint8_t nOffset;
    };
    std::unique_ptr<uint8_t[]> m_hashed;
    std::vector<CSlot> m_slots;
    std::vector<CRef> m_refs;
    std::vector<std::string> m_strings;
    unsigned m_nSlotBits = 4;
    uint32_t m_nSlotMask = 15;
};
