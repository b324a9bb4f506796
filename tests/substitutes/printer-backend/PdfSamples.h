#pragma once

#include <QByteArray>
#include <QList>

#include <optional>

namespace tavoren::testsupport {

// Small PDF documents made with the PDF library, and what it reads back.
// Each page is as wide as its number says, so the order of pages after a
// merge can be told.
class PdfSamples
{
public:
    // A document whose pages have the given widths; `content` is every
    // page's content stream, stored as it is.
    static QByteArray document(const QList<int> &pageWidths, const QByteArray &content = "q Q\n");
    // The document with the line end after its final "%%EOF" replaced.
    static QByteArray withFinalLineEnd(QByteArray pdf, const QByteArray &lineEnd);
    // The widths of the pages of a PDF, in order; nullopt when the
    // library cannot load it without repairs.
    static std::optional<QList<int>> pageWidths(const QByteArray &pdf);
};

} // namespace tavoren::testsupport
