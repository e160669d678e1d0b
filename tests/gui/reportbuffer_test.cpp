// The report view's byte arithmetic without the widget: what it holds, what it drops, and what
// the widget is told to change.
#include "gui/window/reportlines.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// A line as a test shows it: a long run of one byte as the byte and its count.
std::string Shown(const std::string& line) {
    if (line.size() > 20 && line.find_first_not_of(line[0]) == std::string::npos)
        return line.substr(0, 1) + "*" + std::to_string(line.size());
    return line;
}

std::vector<std::string> Held(const CReportBuffer& buffer) {
    std::vector<std::string> lines;
    for (size_t i = 0; i < buffer.Lines().Size(); ++i)
        lines.push_back(Shown(buffer.Lines()[i]));
    return lines;
}

struct BufferCase {
    const char* name;
    std::vector<std::string> appended;
    std::vector<std::string> held; // the view's lines afterwards
    int length;                    // characters, each line with its CR LF
};

TEST(CReportBuffer, KeepsTheNewestWholeLinesWithinTheLimit) {
    const std::string big(REPORT_VIEW_LIMIT - 8, 'b'); // with its CR LF, 6 short of the limit
    const std::string huge(REPORT_VIEW_LIMIT + 500, 'h'), limit(REPORT_VIEW_LIMIT - 2, 'e');
    // clang-format off
    const BufferCase cases[] = {
        {"a few lines", {"one", "", "three"}, {"one", "", "three"}, 5 + 2 + 7},
        {"CR LF inside a text makes lines of the view", {"a\r\nb", "c"}, {"a", "b", "c"}, 6 + 3},
        {"the oldest lines make room", {"x", "yy", big}, {"yy", Shown(big)}, REPORT_VIEW_LIMIT - 2},
        {"exactly the limit stays", {limit}, {Shown(limit)}, REPORT_VIEW_LIMIT},
        {"a line longer than the view is kept alone", {"x", huge, "tail"}, {"tail"}, 6},
        {"and is the whole view while newest", {"x", huge}, {Shown(huge)}, REPORT_VIEW_LIMIT + 502},
    };
    // clang-format on
    for (const BufferCase& c : cases) {
        // Line by line, and all waiting as in a run then taken in at once: the same view.
        for (const bool bWait : {false, true}) {
            int nLength = -1;
            CReportBuffer buffer(nLength);
            buffer.Clear();
            for (const std::string& text : c.appended)
                buffer.Append(text, bWait);
            if (bWait) {
                EXPECT_TRUE(buffer.Lines().Empty()) << c.name;
                buffer.TakePending();
            }
            EXPECT_EQ(Held(buffer), c.held) << c.name << (bWait ? " (run)" : "");
            EXPECT_EQ(nLength, c.length) << c.name << (bWait ? " (run)" : "");
        }
    }
}

} // namespace
