// Columns counted in characters: the fast count agrees with the plain reading (a valid
// sequence one, any other byte one), and a line cut into pieces anywhere, a character cut
// among them, gives every byte the column the whole line gives it.
#include "core/text/utf8.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

long PlainColumns(std::string_view bytes) {
    long columns = 0;
    for (size_t i = 0; i < bytes.size(); ++columns) {
        const size_t n = Utf8Length(bytes.substr(i));
        i += n > 0 ? n : 1;
    }
    return columns;
}

// Lines mostly ASCII, with valid characters of every length and the faults that differ
// from them in one byte: overlong forms, surrogates, past U+10FFFF, cut and stray bytes.
std::string RandomLine(std::mt19937& random, size_t length) {
    static const char* const PARTS[] = {"\xc3\xa9",
                                        "\xe2\x82\xac",
                                        "\xf0\x9f\x98\x80",
                                        "\xe0\xa0\x80",
                                        "\xed\x9f\xbf",
                                        "\xf4\x8f\xbf\xbf",
                                        "\xf1\x80\x80\x80",
                                        "\xed\xa0\x80",
                                        "\xc0\x80",
                                        "\xe0\x9f\xbf",
                                        "\xf4\x90\x80\x80",
                                        "\xff",
                                        "\x80",
                                        "\xe2\x82",
                                        "\xc2",
                                        "\t"};
    std::string line;
    while (line.size() < length)
        line += random() % 3 != 0 ? std::string(1, static_cast<char>('a' + random() % 26))
                                  : PARTS[random() % std::size(PARTS)];
    return line;
}

TEST(Utf8Columns, AgreeWithThePlainReading) {
    std::mt19937 random(2000);
    for (int round = 0; round < 20000; ++round) {
        const std::string line = RandomLine(random, random() % 300);
        ASSERT_EQ(Utf8Columns(line), PlainColumns(line)) << round;
    }
    EXPECT_EQ(Utf8Columns(std::string(200, 'x')), 200);
    EXPECT_EQ(Utf8CutTail("ab\xe2\x82"), 2u);
    EXPECT_EQ(Utf8CutTail("ab\xf0\x9f\x98"), 3u);
    EXPECT_EQ(Utf8CutTail("ab\xe2\x82\xac"), 0u); // whole
    EXPECT_EQ(Utf8CutTail("ab\xe0\x80"), 0u);     // an overlong form cannot go on
    EXPECT_EQ(Utf8CutTail("ab\x80\x80"), 0u);
}

TEST(Utf8Columns, PiecesOfALineCountAsTheWholeLine) {
    std::mt19937 random(1999);
    for (int round = 0; round < 3000; ++round) {
        const std::string line = RandomLine(random, 1 + random() % 400);
        // The column of each character's first byte, read over the whole line.
        std::vector<long> column(line.size(), 0);
        for (size_t i = 0, n = 1; i < line.size(); ++n) {
            column[i] = static_cast<long>(n);
            const size_t length = Utf8Length(std::string_view(line).substr(i));
            i += length > 0 ? length : 1;
        }
        CPieceColumns columns;
        for (size_t at = 0; at < line.size();) {
            // Pieces as the scan cuts them: each longer than a character, but the last.
            const size_t length = std::min<size_t>(line.size() - at, 4 + random() % 70);
            const std::string_view piece(line.data() + at, length);
            const CPieceStart start = columns.Start(piece, at > 0);
            // Every character's first byte in the piece has the whole line's column.
            for (size_t i = start.nContinued; i < length; ++i) {
                if (column[at + i] != 0) {
                    ASSERT_EQ(PieceColumn(piece, start, i), column[at + i]) << round << " " << i;
                }
            }
            columns.End(piece, start, true);
            at += length;
        }
    }
}

} // namespace
