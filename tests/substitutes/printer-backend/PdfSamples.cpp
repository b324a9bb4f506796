#include "PdfSamples.h"

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFLogger.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFWriter.hh>

#include <optional>

namespace tavoren::testsupport {

QByteArray PdfSamples::document(const QList<int> &pageWidths, const QByteArray &content, bool shared)
{
    QPDF pdf;
    pdf.emptyPDF();
    QPDFPageDocumentHelper pages(pdf);
    const QPDFObjectHandle sharedContent = QPDFObjectHandle::newStream(&pdf, content.toStdString());
    for (const int width : pageWidths) {
        QPDFObjectHandle page = pdf.makeIndirectObject(QPDFObjectHandle::parse(
            "<< /Type /Page /MediaBox [0 0 " + std::to_string(width) + " 200] /Resources << >> >>"));
        page.replaceKey("/Contents", shared ? sharedContent : QPDFObjectHandle::newStream(&pdf, content.toStdString()));
        pages.addPage(QPDFPageObjectHelper(page), false);
    }
    QPDFWriter writer(pdf);
    writer.setOutputMemory();
    // The content stays readable in the file, as a test may need.
    writer.setCompressStreams(false);
    writer.setStaticID(true);
    writer.write();
    const auto buffer = writer.getBufferSharedPointer();
    return QByteArray(reinterpret_cast<const char *>(buffer->getBuffer()), qsizetype(buffer->getSize()));
}

QByteArray PdfSamples::crossReferenceBomb(int objects)
{
    QByteArray pdf = "%PDF-1.5\n";
    const qsizetype catalog = pdf.size();
    pdf += "1 0 obj\n<< /Type /Catalog /Pages 2 0 R >>\nendobj\n2 0 obj\n<< /Type /Pages /Kids [] /Count 0 >>\nendobj\n";
    // Every entry: an object at the catalog's offset.
    QByteArray entry(6, '\0');
    entry[0] = 1;
    entry[4] = char(catalog);
    // Without the four bytes of length in front, a zlib stream.
    const QByteArray data = qCompress(entry.repeated(objects), 9).mid(4);
    const qsizetype xref = pdf.size();
    pdf += "3 0 obj\n<< /Type /XRef /Size " + QByteArray::number(objects)
           + " /W [1 4 1] /Root 1 0 R /Filter /FlateDecode /Length " + QByteArray::number(data.size()) + " >>\nstream\n"
           + data + "\nendstream\nendobj\nstartxref\n" + QByteArray::number(xref) + "\n%%EOF\n";
    return pdf;
}

QByteArray PdfSamples::withFinalLineEnd(QByteArray pdf, const QByteArray &lineEnd)
{
    const qsizetype end = pdf.lastIndexOf("%%EOF");
    if (end < 0)
        return pdf;
    return pdf.left(end + 5) + lineEnd;
}

std::optional<QList<int>> PdfSamples::pageWidths(const QByteArray &pdf)
{
    auto logger = QPDFLogger::create();
    logger->setWarn(logger->discard());
    logger->setError(logger->discard());
    try {
        QPDF document;
        document.setLogger(logger);
        document.setAttemptRecovery(false);
        document.processMemoryFile("sample", pdf.constData(), std::size_t(pdf.size()));
        QList<int> widths;
        for (QPDFPageObjectHelper &page : QPDFPageDocumentHelper(document).getAllPages())
            widths.append(int(page.getMediaBox().getArrayItem(2).getNumericValue()));
        return widths;
    } catch (const std::exception &) {
        return std::nullopt;
    }
}

} // namespace tavoren::testsupport
