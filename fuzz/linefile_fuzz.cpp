// ReadTextLine, ReadWholeTextLine and the bulk splitters SplitTextLines and FindLfLines against
// the byte-wise line rule, on any bytes, with any maximum, and with the bytes placed across the
// reader's buffer boundary or handed to the splitters in pieces.
#include "core/lines/linefile.h"
#include "core/lines/linesplit.h"
#include "fuzz/memfile.h"
#include "support/plainrule.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

namespace {

// Maximum lengths worth trying: tiny ones cut often, 1024 is the scan's; 0 stands for one
// longer than the input, which never cuts.
const unsigned MAXIMA[] = {1, 2, 3, 4, 5, 7, 8, 16, 30, 31, 64, 299, 1024, 0};

// A first line that fills the reader's buffer up to `room` bytes before its end, so that
// the bytes under test cross a refill.
const std::string& Padding(size_t room) {
    static std::string pads[64];
    if (pads[room].empty())
        pads[room] = std::string(CLineFile::BUFFER_SIZE - room - 2, 'p') + "\r\n";
    return pads[room];
}

// The lines of both readers against the model's, after a first line that fills the buffer.
void CheckReaders(const CMemFile& mem, const std::string& bytes, bool padded, unsigned maxChars,
                  unsigned keep) {
    std::vector<std::string> pieces, wholes;
    for (const std::string& piece : PlainLines(bytes, maxChars))
        pieces.push_back(UpToNul(piece));
    for (const std::string& whole : PlainLines(bytes, UINT_MAX)) // never cut
        wholes.push_back(whole.substr(0, keep));
    for (const bool whole : {false, true}) {
        CLineFile file;
        FUZZ_CHECK(file.OpenRead(mem.Path()));
        std::string skipped;
        if (padded)
            FUZZ_CHECK(ReadWholeTextLine(file, skipped, 0) == 0 && skipped.empty());
        FUZZ_CHECK(ReadLines(file, whole ? keep : maxChars, whole) == (whole ? wholes : pieces));
    }
}

// Hands the bytes to SplitTextLines in pieces of the given size (grown while a piece holds no
// whole line), at most maxLines lines a call, and compares every span with the model's line.
void CheckSplitTextLines(const std::string& bytes, unsigned maxChars, size_t piece,
                         size_t maxLines) {
    std::vector<CLineSpan> spans(maxLines);
    size_t pos = 0, modelPos = 0;
    bool cutAtCr = false;
    while (pos < bytes.size()) {
        const size_t len = std::min(piece, bytes.size() - pos);
        const bool atEnd = pos + len == bytes.size();
        // Exactly the piece, so a read past its end is caught.
        std::unique_ptr<char[]> exact(new char[len]);
        std::memcpy(exact.get(), bytes.data() + pos, len);
        // The fast finder: the lines it finds as bits are the model's next lines, none cut.
        std::vector<uint64_t> lfBits(len / 64 + 1, 0);
        size_t lfLines = 0;
        const size_t lfUsed =
            FindLfLines(exact.get(), len, maxChars, cutAtCr, lfBits.data(), lfLines);
        size_t lfPos = modelPos;
        bool lfCut = cutAtCr;
        for (size_t i = 0; i < lfLines; ++i) {
            ModelLine(bytes, lfPos, maxChars, lfCut);
            FUZZ_CHECK(bytes[lfPos - 1] == '\n' && !lfCut);
        }
        FUZZ_CHECK(lfPos - pos == lfUsed && (lfUsed == 0) == (lfLines == 0));
        for (size_t at = 0; at < lfUsed; ++at)
            FUZZ_CHECK(((lfBits[at / 64] >> (at % 64)) & 1) == (exact[at] == '\n'));

        size_t count = 99999;
        const size_t used = SplitTextLines(exact.get(), len, atEnd, maxChars, cutAtCr, spans.data(),
                                           maxLines, count);
        FUZZ_CHECK(count <= maxLines && used <= len);
        size_t end = 0;
        for (size_t i = 0; i < count; ++i) {
            const std::string expected = ModelLine(bytes, modelPos, maxChars, cutAtCr);
            FUZZ_CHECK(spans[i].nOffset >= end && spans[i].nOffset + spans[i].nLength <= used);
            FUZZ_CHECK(std::string(exact.get() + spans[i].nOffset, spans[i].nLength) == expected);
            end = spans[i].nOffset + spans[i].nLength;
        }
        FUZZ_CHECK(modelPos == pos + used);
        if (count == 0) {
            FUZZ_CHECK(!atEnd);
            piece *= 2;
        }
        pos += used;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static CMemFile mem;
    if (size < 2)
        return 0;
    unsigned maxChars = MAXIMA[data[0] % (sizeof MAXIMA / sizeof MAXIMA[0])];
    if (maxChars == 0)
        maxChars = static_cast<unsigned>(size);
    // The second byte: bit 7 places the input behind a buffer-filling first line, its low six
    // bits choose how close to the buffer's end the input starts; bit 6 gives ReadWholeTextLine
    // the same maximum, else one of 0 to 3.
    const bool padded = (data[1] & 0x80) != 0;
    const std::string bytes(reinterpret_cast<const char*>(data) + 2, size - 2);
    if (padded) {
        const std::string& pad = Padding(data[1] & 0x3f);
        mem.Set(pad.data(), pad.size(), bytes.data(), bytes.size());
    } else {
        mem.Set(bytes.data(), bytes.size());
    }
    CheckReaders(mem, bytes, padded, maxChars, (data[1] & 0x40) != 0 ? maxChars : data[0] % 4);
    CheckSplitTextLines(bytes, maxChars, 1 + data[1] % 37 * (data[0] % 3 == 0 ? 97 : 1),
                        1 + data[0] % 5);
    return 0;
}
