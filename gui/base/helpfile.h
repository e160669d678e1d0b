#pragma once
// The help file's topics, read from its HTML without a window.
//
// The help file is one HTML document. A topic starts at an empty anchor, <a name="N"></a>,
// and runs to the next one; N is a help context number in decimal, or "contents" (the
// contents topic) or "usinghelp" (the topic on using the viewer). A topic's title is its
// first <h1>; a comment <!-- keywords: a; b --> inside it lists its keywords for the search.
// Links to "#N" go to topic N.

#include <QString>

#include <map>
#include <optional>
#include <utility>
#include <vector>

struct CHelpTopic {
    QString strTitle;
    QString strHtml;
};

// What the viewer shows of a help file: its title and style, its topics by name, and the
// keywords of the search, each with the topic it leads to, in the file's order.
struct CHelpFile {
    std::optional<QString> title; // the <title>'s text, when the file has one
    QString strStyle;             // the <style>'s rules
    std::map<QString, CHelpTopic> topics;
    std::vector<std::pair<QString, QString>> keywords;
};

CHelpFile ParseHelpFile(const QString& html);

// The text of HTML: its tags dropped, &amp; &lt; &gt; read, blanks made single.
QString StripTags(QString html);
