#include "gui/base/helpfile.h"

#include <QRegularExpression>

QString StripTags(QString html) {
    html.remove(QRegularExpression("<[^>]*>"));
    html.replace("&amp;", "&").replace("&lt;", "<").replace("&gt;", ">");
    return html.simplified();
}

CHelpFile ParseHelpFile(const QString& html) {
    CHelpFile help;

    const QRegularExpression style("<style[^>]*>(.*?)</style>",
                                   QRegularExpression::DotMatchesEverythingOption |
                                       QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch styleMatch = style.match(html);
    if (styleMatch.hasMatch())
        help.strStyle = styleMatch.captured(1);
    const QRegularExpression title("<title>(.*?)</title>",
                                   QRegularExpression::DotMatchesEverythingOption |
                                       QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch titleMatch = title.match(html);
    if (titleMatch.hasMatch())
        help.title = StripTags(titleMatch.captured(1));

    // Topics lie in the body; the head may speak of anchors in its comments.
    qsizetype begin = html.indexOf("<body", 0, Qt::CaseInsensitive);
    if (begin < 0)
        begin = 0;
    qsizetype end = html.indexOf("</body>", begin, Qt::CaseInsensitive);
    if (end < 0)
        end = html.size();
    const QRegularExpression anchor("<a name=\"([^\"]+)\"></a>");
    const QRegularExpression heading("<h1[^>]*>(.*?)</h1>",
                                     QRegularExpression::DotMatchesEverythingOption |
                                         QRegularExpression::CaseInsensitiveOption);
    const QRegularExpression keywords("<!--\\s*keywords:(.*?)-->",
                                      QRegularExpression::DotMatchesEverythingOption);
    std::vector<QRegularExpressionMatch> starts;
    for (auto it = anchor.globalMatch(html, begin); it.hasNext();) {
        QRegularExpressionMatch match = it.next();
        if (match.capturedStart() < end)
            starts.push_back(match);
    }
    for (size_t i = 0; i < starts.size(); ++i) {
        const qsizetype from = starts[i].capturedEnd();
        const qsizetype to = i + 1 < starts.size() ? starts[i + 1].capturedStart() : end;
        CHelpTopic topic;
        topic.strHtml = html.mid(from, to - from);
        topic.strHtml.remove(QRegularExpression("(\\s|<hr\\s*/?>)*$"));
        const QRegularExpressionMatch head = heading.match(topic.strHtml);
        const QString name = starts[i].captured(1);
        topic.strTitle = head.hasMatch() ? StripTags(head.captured(1)) : name;
        help.keywords.emplace_back(topic.strTitle, name);
        const QRegularExpressionMatch words = keywords.match(topic.strHtml);
        if (words.hasMatch()) {
            for (QString word : words.captured(1).split(';', Qt::SkipEmptyParts)) {
                word = word.trimmed();
                if (!word.isEmpty() && word.compare(topic.strTitle, Qt::CaseInsensitive) != 0)
                    help.keywords.emplace_back(word, name);
            }
        }
        help.topics[name] = topic;
    }
    return help;
}
