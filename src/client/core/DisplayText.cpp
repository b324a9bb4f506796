#include "client/core/DisplayText.h"

#include <QList>
#include <QTextBoundaryFinder>

namespace tavoren::client {

namespace {
constexpr qsizetype documentNameLimit = 30;
constexpr qsizetype documentNameHead = 11;
constexpr qsizetype documentNameTail = 16;

// The positions where user-perceived characters begin, and the text's end.
QList<qsizetype> boundaries(const QString &text)
{
    QList<qsizetype> positions{0};
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    while (finder.toNextBoundary() > 0)
        positions.append(finder.position());
    if (positions.last() != text.size())
        positions.append(text.size());
    return positions;
}

QString first(const QString &text, const QList<qsizetype> &positions, qsizetype count)
{
    const qsizetype available = positions.size() - 1;
    return count >= available ? text : text.left(positions.at(count));
}

QString last(const QString &text, const QList<qsizetype> &positions, qsizetype count)
{
    const qsizetype available = positions.size() - 1;
    return count >= available ? text : text.mid(positions.at(available - count));
}
} // namespace

qsizetype DisplayText::length(const QString &text)
{
    return text.isEmpty() ? 0 : boundaries(text).size() - 1;
}

QString DisplayText::truncated(const QString &text, std::int64_t limit)
{
    if (limit <= 0)
        return QString();
    if (text.size() <= limit)
        return text;
    return first(text, boundaries(text), qsizetype(limit));
}

QString DisplayText::releaseCode(const QString &docID)
{
    if (docID.isEmpty())
        return QStringLiteral(" ");
    const QList<qsizetype> positions = boundaries(docID);
    const qsizetype count = positions.size() - 1;
    const qsizetype split = positions.at((count + 1) / 2);
    return docID.left(split) + QLatin1Char(' ') + docID.mid(split);
}

QString DisplayText::documentName(const QString &name)
{
    if (name.isEmpty())
        return name;
    const QList<qsizetype> positions = boundaries(name);
    if (positions.size() - 1 <= documentNameLimit)
        return name;
    return first(name, positions, documentNameHead) + QStringLiteral("...")
        + last(name, positions, documentNameTail);
}

} // namespace tavoren::client
