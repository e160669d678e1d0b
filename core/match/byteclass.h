#pragma once
// Maps bytes to small class numbers through a table of 256, many bytes at a time.

#include <cstddef>
#include <cstdint>

class CByteClassMap {
  public:
    // The ways a run of bytes can be mapped, narrowest first. Each gives the same classes.
    enum class Kind { Bytewise, Avx2, Avx512 };
    static bool Runs(Kind kind);
    // The widest kind this processor runs.
    static Kind Best();

    // Takes the table and prepares the widest kind for it.
    void Assign(const uint8_t (&classes)[256]);
    uint8_t operator[](unsigned char byte) const { return m_classes[byte]; }

    // Writes the classes of n bytes from each of count parts, starting at offset at in each,
    // to out: part after part, n classes each. n is a multiple of 64.
    void Map(const unsigned char* const* parts, size_t count, size_t at, uint8_t* out,
             size_t n) const {
        MapWith(m_kind, parts, count, at, out, n);
    }
    // The same with a given kind, which must run here.
    void MapWith(Kind kind, const unsigned char* const* parts, size_t count, size_t at,
                 uint8_t* out, size_t n) const;

  private:
    alignas(64) uint8_t m_classes[256] = {};
    // For 32 bytes at a time: a row of classes by low nibble for every high nibble that has a
    // class other than 0.
    alignas(16) uint8_t m_rows[16][16] = {};
    uint8_t m_rowNibbles[16] = {};
    unsigned m_nRows = 0;
    Kind m_kind = Kind::Bytewise;
};
