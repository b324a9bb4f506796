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
    // page's content stream, stored as it is: one stream each, or one that
    // every page shares.
    static QByteArray document(const QList<int> &pageWidths, const QByteArray &content = "q Q\n", bool shared = false);
    // A few kilobytes whose cross-reference stream unpacks to `objects`
    // entries, about 80 bytes each in the library's table: it builds that
    // table before any count of the document can be read.
    static QByteArray crossReferenceBomb(int objects);
    // The document with the line end after its final "%%EOF" replaced.
    static QByteArray withFinalLineEnd(QByteArray pdf, const QByteArray &lineEnd);
    // The widths of the pages of a PDF, in order; nullopt when the
    // library cannot load it without repairs.
    static std::optional<QList<int>> pageWidths(const QByteArray &pdf);
};

} // namespace tavoren::testsupport
