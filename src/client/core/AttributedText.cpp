#include "client/core/AttributedText.h"

namespace tavoren::client {

AttributedText::AttributedText(QString text)
    : m_text(std::move(text))
    , m_attributes(m_text.size())
{
}

template<typename Change>
bool AttributedText::applyToFirst(const QString &needle, Change change)
{
    if (needle.isEmpty())
        return false;
    const qsizetype start = m_text.indexOf(needle);
    if (start < 0)
        return false;
    for (qsizetype i = start; i < start + needle.size(); ++i)
        change(m_attributes[i]);
    return true;
}

bool AttributedText::emboldenFirst(const QString &needle, int pointSize)
{
    return applyToFirst(needle, [pointSize](Attributes &a) {
        a.bold = true;
        a.pointSize = pointSize;
    });
}

bool AttributedText::colourFirst(const QString &needle, const QString &colour)
{
    return applyToFirst(needle, [&colour](Attributes &a) { a.colour = colour; });
}

bool AttributedText::colourAndLinkFirst(const QString &needle, const QString &colour)
{
    return applyToFirst(needle, [&colour](Attributes &a) {
        a.colour = colour;
        a.link = true;
    });
}

bool AttributedText::isBoldAt(qsizetype position) const
{
    return m_attributes.value(position).bold;
}

QString AttributedText::colourAt(qsizetype position) const
{
    return m_attributes.value(position).colour;
}

bool AttributedText::isLinkAt(qsizetype position) const
{
    return m_attributes.value(position).link;
}

QString AttributedText::toHtml() const
{
    // Blanks are kept as they are in the text.
    QString html = m_centred ? QStringLiteral("<div align=\"center\" style=\"white-space:pre-wrap;\">")
                             : QStringLiteral("<div style=\"white-space:pre-wrap;\">");
    qsizetype start = 0;
    while (start < m_text.size()) {
        const Attributes &run = m_attributes.at(start);
        qsizetype end = start + 1;
        while (end < m_text.size() && m_attributes.at(end) == run)
            ++end;

        QString piece = m_text.mid(start, end - start).toHtmlEscaped();
        piece.replace(QLatin1Char('\n'), QStringLiteral("<br/>"));
        QString style;
        if (run.bold)
            style += QStringLiteral("font-weight:700;");
        if (run.pointSize > 0)
            style += QStringLiteral("font-size:%1pt;").arg(run.pointSize);
        if (!run.colour.isEmpty())
            style += QStringLiteral("color:%1;").arg(run.colour);
        if (!style.isEmpty())
            piece = QStringLiteral("<span style=\"%1\">%2</span>").arg(style, piece);
        // The target stays empty: the field that shows the text handles clicks.
        if (run.link)
            piece = QStringLiteral("<a href=\"\" style=\"color:%1;\">%2</a>").arg(run.colour, piece);
        html += piece;
        start = end;
    }
    return html + QStringLiteral("</div>");
}

} // namespace tavoren::client
