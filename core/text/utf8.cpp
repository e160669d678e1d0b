#include "core/text/utf8.h"

#include <algorithm>
#include <cstring>

namespace {

// The length of the sequence that the lead byte c begins (2 to 4), and the range of its second
// byte; 0 when c begins none.
size_t LeadLength(unsigned char c, unsigned& lo, unsigned& hi) {
    lo = 0x80;
    hi = 0xBF;
    if (c >= 0xC2 && c <= 0xDF)
        return 2;
    if (c >= 0xE0 && c <= 0xEF) {
        lo = c == 0xE0 ? 0xA0 : 0x80; // no overlong forms
        hi = c == 0xED ? 0x9F : 0xBF; // no surrogates
        return 3;
    }
    if (c >= 0xF0 && c <= 0xF4) {
        lo = c == 0xF0 ? 0x90 : 0x80;
        hi = c == 0xF4 ? 0x8F : 0xBF; // nothing past U+10FFFF
        return 4;
    }
    return 0;
}

// True when the bytes (fewer than their lead asks for) are how a valid sequence begins.
bool IsUtf8Prefix(std::string_view bytes) {
    unsigned lo, hi;
    const size_t n = LeadLength(static_cast<unsigned char>(bytes[0]), lo, hi);
    if (n <= bytes.size())
        return false;
    for (size_t i = 1; i < bytes.size(); ++i) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        if (b < (i == 1 ? lo : 0x80) || b > (i == 1 ? hi : 0xBF))
            return false;
    }
    return true;
}

} // namespace

size_t Utf8Length(std::string_view bytes) {
    if (bytes.empty())
        return 0;
    const auto c = static_cast<unsigned char>(bytes[0]);
    if (c < 0x80)
        return 1;
    unsigned lo, hi;
    const size_t n = LeadLength(c, lo, hi);
    if (n == 0 || bytes.size() < n)
        return 0;
    const auto b = [&](size_t i) { return static_cast<unsigned char>(bytes[i]); };
    if (b(1) < lo || b(1) > hi)
        return 0;
    for (size_t i = 2; i < n; ++i)
        if (b(i) < 0x80 || b(i) > 0xBF)
            return 0;
    return n;
}

bool IsUtf8(std::string_view bytes) {
    for (size_t i = 0; i < bytes.size();) {
        const size_t n = Utf8Length(bytes.substr(i));
        if (n == 0)
            return false;
        i += n;
    }
    return true;
}

long Utf8Columns(std::string_view bytes) {
    long columns = 0;
    for (size_t i = 0; i < bytes.size(); ++columns) {
        if (static_cast<unsigned char>(bytes[i]) < 0x80) {
            ++i;
            continue;
        }
        i += std::max<size_t>(1, Utf8Length(bytes.substr(i)));
    }
    return columns;
}

size_t Utf8CutTail(std::string_view bytes) {
    for (size_t k = 1; k <= 3 && k <= bytes.size(); ++k) {
        const auto c = static_cast<unsigned char>(bytes[bytes.size() - k]);
        if (c < 0x80 || c > 0xBF) // a character's first byte: it begins the tail or none
            return IsUtf8Prefix(bytes.substr(bytes.size() - k)) ? k : 0;
    }
    return 0;
}

CPieceStart CPieceColumns::Start(std::string_view piece, bool bContinuesLine) const {
    if (!bContinuesLine)
        return {};
    CPieceStart start{m_nNext, 0};
    if (m_nTail == 0)
        return start;
    char sequence[4];
    std::memcpy(sequence, m_tail, m_nTail);
    const size_t taken = std::min<size_t>(piece.size(), 4 - m_nTail);
    std::memcpy(sequence + m_nTail, piece.data(), taken);
    const size_t n = Utf8Length({sequence, m_nTail + taken});
    if (n > m_nTail) { // the cut character, whole: counted once, where it began
        start.nColumn += 1;
        start.nContinued = static_cast<unsigned>(n - m_nTail);
    } else {
        start.nColumn += m_nTail; // bytes that are no character: one each
    }
    return start;
}

void CPieceColumns::End(std::string_view piece, CPieceStart start, bool bCut) {
    m_nTail = 0;
    if (!bCut)
        return;
    piece.remove_prefix(std::min<size_t>(start.nContinued, piece.size()));
    const size_t tail = Utf8CutTail(piece);
    m_nNext = start.nColumn + Utf8Columns(piece.substr(0, piece.size() - tail));
    std::memcpy(m_tail, piece.data() + piece.size() - tail, tail);
    m_nTail = static_cast<unsigned>(tail);
}

long PieceColumn(std::string_view piece, CPieceStart start, size_t offset) {
    const size_t from = std::min<size_t>(start.nContinued, piece.size());
    offset = std::min(offset, piece.size());
    return start.nColumn + (offset > from ? Utf8Columns(piece.substr(from, offset - from)) : 0);
}
