// The help file read without a window: topics from anchor to anchor in the body, titles from
// their first heading, keywords from their comment, the style and title of the document.
#include "gui/base/helpfile.h"

#include <gtest/gtest.h>

namespace {

TEST(ParseHelpFile, TopicsRunFromAnchorToAnchorInTheBody) {
    const QString html = QStringLiteral(
        "<html><head><TITLE>Kavel <b>Help</b></TITLE><style>h1 { color: red }</style>\n"
        "<!-- <a name=\"head\"></a> is no topic --></head><BODY>\n"
        "<a name=\"contents\"></a><h1 class=\"x\">Contents &amp; more</h1><p>a</p>\n<hr>\n"
        "<a name=\"3000\"></a><h1>Main\nwindow</h1>\n"
        "<!-- keywords: report; Main window; ; output file -->\n<p>b</p>\n"
        "<a name=\"7\"></a><p>no heading</p></body>\n<a name=\"after\"></a>");
    const CHelpFile help = ParseHelpFile(html);
    ASSERT_TRUE(help.title.has_value());
    EXPECT_EQ(*help.title, "Kavel Help");
    EXPECT_EQ(help.strStyle, "h1 { color: red }");
    ASSERT_EQ(help.topics.size(), 3u); // not the anchor of the head, nor one after the body
    EXPECT_EQ(help.topics.at("contents").strTitle, "Contents & more");
    EXPECT_EQ(help.topics.at("contents").strHtml,
              "<h1 class=\"x\">Contents &amp; more</h1><p>a</p>"); // the rule at its end goes
    EXPECT_EQ(help.topics.at("3000").strTitle, "Main window");
    EXPECT_EQ(help.topics.at("7").strTitle, "7");
    const std::vector<std::pair<QString, QString>> keywords = {{"Contents & more", "contents"},
                                                               {"Main window", "3000"},
                                                               {"report", "3000"},
                                                               {"output file", "3000"},
                                                               {"7", "7"}};
    EXPECT_EQ(help.keywords, keywords); // a keyword that is the title is not listed twice

    const CHelpFile bare = ParseHelpFile(QStringLiteral("<p>no topic</p>"));
    EXPECT_FALSE(bare.title.has_value());
    EXPECT_TRUE(bare.topics.empty());
}

} // namespace
