// The documents of a job of several files, as the print scheduler's filters
// put them one after another, become one document with every page in order.
#include "printer-backend/BoundedProcess.h"
#include "printer-backend/DocumentMerger.h"

#include "PdfSamples.h"
#include "support/TestRoot.h"

#include <QDir>
#include <QFile>
#include <QTest>

#include <fcntl.h>
#include <unistd.h>

using tavoren::printerbackend::BoundedProcess;
using tavoren::printerbackend::Cancellation;
using tavoren::printerbackend::DocumentMerger;
using tavoren::testsupport::PdfSamples;
using tavoren::testsupport::TestRoot;

Q_DECLARE_METATYPE(DocumentMerger::Outcome)

namespace {
QStringList entries(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
}
} // namespace

class TestDocumentMerger : public QObject
{
    Q_OBJECT

private slots:
    // Wherever the chunks of the scan end, the file takes the merged
    // document's place under its own name and nothing else stays in the
    // folder; a file that cannot be merged stays as it came.
    void prepare_data()
    {
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<int>("chunkSize");
        QTest::addColumn<bool>("cancelled");
        QTest::addColumn<DocumentMerger::Outcome>("outcome");
        QTest::addColumn<int>("documents");
        QTest::addColumn<QList<int>>("widths"); // of the merged pages
        using O = DocumentMerger::Outcome;
        const QByteArray a = PdfSamples::document({101, 102, 103});
        const QByteArray b = PdfSamples::document({201});
        // Comments in a page's content: headers that are no boundary.
        const QByteArray c = PdfSamples::document({301, 302}, "q\n%PDF-1.7 alone\n% x%%EOF\n%PDF-1.5 after its end\nQ\n");
        for (const int chunk : {int(DocumentMerger::defaultChunkSize), 1, 7, 13}) {
            QTest::addRow("single, chunk %d", chunk) << a << chunk << false << O::Single << 1 << QList<int>();
            QTest::addRow("two, chunk %d", chunk) << a + b << chunk << false << O::Merged << 2 << QList<int>{101, 102, 103, 201};
            QTest::addRow("three, CRLF, headers inside a stream, chunk %d", chunk)
                << PdfSamples::withFinalLineEnd(b, "\r\n") + PdfSamples::withFinalLineEnd(c, "\r\n") + a << chunk << false
                << O::Merged << 3 << QList<int>{201, 301, 302, 101, 102, 103};
            QTest::addRow("two, CR, chunk %d", chunk) << PdfSamples::withFinalLineEnd(c, "\r") + b << chunk << false << O::Merged << 2
                                                      << QList<int>{301, 302, 201};
        }
        const int chunk = int(DocumentMerger::defaultChunkSize);
        const QByteArray damaged = "%PDF-1.4\n1 0 obj << /Type /Catalog >> endobj\ntrailer << /Root 1 0 R >>\n%%EOF\n";
        QTest::newRow("damaged second") << a + damaged << chunk << false << O::KeptWhole << 2 << QList<int>();
        QTest::newRow("a boundary inside a stream") << PdfSamples::document({401}, "q\n% x\n%%EOF\n%PDF-1.4\nQ\n") << chunk << false
                                                    << O::KeptWhole << 2 << QList<int>();
        // More than may be open at once.
        QByteArray many;
        for (std::size_t i = 0; i <= DocumentMerger::maximumDocuments; ++i)
            many += b;
        QTest::newRow("too many") << many << chunk << false << O::TooMany << int(DocumentMerger::maximumDocuments + 1) << QList<int>();
        QTest::newRow("plain text") << QByteArray("Dear all,\n%%EOF\n%PDF-1.4\n") << 7 << false << O::NotPdf << 0 << QList<int>();
        QTest::newRow("header not at the start") << " " + a + b << chunk << false << O::NotPdf << 0 << QList<int>();
        QTest::newRow("empty") << QByteArray() << chunk << false << O::NotPdf << 0 << QList<int>();
        QTest::newRow("cancelled") << a + b << chunk << true << O::Cancelled << 2 << QList<int>();
    }

    void prepare()
    {
        QFETCH(QByteArray, input);
        QFETCH(int, chunkSize);
        QFETCH(bool, cancelled);
        QFETCH(DocumentMerger::Outcome, outcome);
        QFETCH(int, documents);
        QFETCH(QList<int>, widths);
        TestRoot root;
        const QString folder = root.makeDir(QStringLiteral("/job"));
        root.writeFile(QStringLiteral("/job/.job1.pdf.part"), input);
        int cancel[2];
        QVERIFY(::pipe2(cancel, O_CLOEXEC) == 0);
        if (cancelled)
            QCOMPARE(::write(cancel[1], "x", 1), ssize_t(1));
        const int folderFd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        QVERIFY(folderFd >= 0);
        const DocumentMerger merger{Cancellation(cancel[0]), std::size_t(chunkSize)};
        const DocumentMerger::Result result = merger.prepare(folderFd, ".job1.pdf.part");
        for (const int fd : {folderFd, cancel[0], cancel[1]})
            ::close(fd);

        QCOMPARE(result.outcome, outcome);
        QCOMPARE(result.documents, std::size_t(documents));
        QCOMPARE(QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 QStringList{QStringLiteral(".job1.pdf.part")});
        QFile file(folder + QStringLiteral("/.job1.pdf.part"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray after = file.readAll();
        if (outcome != DocumentMerger::Outcome::Merged) {
            QCOMPARE(after, input);
            return;
        }
        QCOMPARE(result.pages, std::size_t(widths.size()));
        QCOMPARE(PdfSamples::pageWidths(after), std::optional<QList<int>>(widths));
        QCOMPARE(file.permissions() & (QFile::ReadGroup | QFile::ReadOther | QFile::WriteGroup | QFile::WriteOther),
                 QFile::Permissions());
    }

    // Each page and each object the copies take counts once, pages
    // included; one over either limit leaves the file as it came, whatever
    // the page tree claims and however the input slips past the counts.
    void limits_data()
    {
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<int>("pages");
        QTest::addColumn<int>("objects");
        QTest::addColumn<int>("memoryMiB");
        QTest::addColumn<DocumentMerger::Outcome>("outcome");
        QTest::addColumn<int>("objectsTaken");
        QTest::addColumn<QByteArray>("why"); // the start of the refusal's detail
        using O = DocumentMerger::Outcome;
        // Three pages and their contents, then one page and its contents.
        const QByteArray a = PdfSamples::document({101, 102, 103});
        const QByteArray b = PdfSamples::document({201});
        const int memory = int(DocumentMerger::defaultLimits.memoryBytes >> 20);
        QTest::newRow("at both limits") << a + b << 4 << 8 << memory << O::Merged << 8 << QByteArray();
        QTest::newRow("a page over") << a + b << 3 << 100 << memory << O::TooLarge << 0
                                     << QByteArray("document 2 of 2 brings the pages the page trees claim to 4; the limit is 3");
        QTest::newRow("over in the first document") << a + b << 2 << 100 << memory << O::TooLarge << 0
                                                    << QByteArray("document 1 of 2 brings the pages the page trees claim to 3; the limit is 2");
        QTest::newRow("an object over") << a + b << 100 << 7 << memory << O::TooLarge << 0
                                        << QByteArray("document 2 of 2 has more than 1 objects, after 6; the limit is 7");
        QTest::newRow("an object over in the first document") << a + b << 100 << 5 << memory << O::TooLarge << 0
                                                              << QByteArray("document 1 of 2 has more than 5 objects");
        // One content stream for three pages.
        QTest::newRow("shared content counts once") << PdfSamples::document({101, 102, 103}, "q Q\n", true) + b << 4 << 6 << memory
                                                    << O::Merged << 6 << QByteArray();
        QByteArray undercounted = a;
        QVERIFY(undercounted.contains("/Count 3 "));
        undercounted.replace("/Count 3 ", "/Count 1 ");
        QTest::newRow("page tree claiming fewer pages") << undercounted + b << 2 << 100 << memory << O::TooLarge << 0
                                                        << QByteArray("document 1 of 2 has 3 pages, after 0; the limit is 2");
        // Its table takes about 150 MiB; the bound counts from what the test
        // process has already mapped, some of it free.
        QTest::newRow("cross-reference bomb") << PdfSamples::crossReferenceBomb(2000000) + b << 100 << 100 << 32 << O::TooLarge << 0
                                              << QByteArray("the merge ended early: the child reached its bound of 32 MiB");
    }

    void limits()
    {
        QFETCH(QByteArray, input);
        QFETCH(int, pages);
        QFETCH(int, objects);
        QFETCH(int, memoryMiB);
        QFETCH(DocumentMerger::Outcome, outcome);
        QFETCH(int, objectsTaken);
        QFETCH(QByteArray, why);
        if (!BoundedProcess::boundsMemory && QByteArray(QTest::currentDataTag()) == "cross-reference bomb")
            QSKIP("no address-space bound in a sanitizer build");
        TestRoot root;
        const QString folder = root.makeDir(QStringLiteral("/job"));
        root.writeFile(QStringLiteral("/job/.job1.pdf.part"), input);
        const int folderFd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        QVERIFY(folderFd >= 0);
        const DocumentMerger::Limits limits{std::size_t(pages), std::size_t(objects), std::uint64_t(memoryMiB) << 20};
        const DocumentMerger::Result result = DocumentMerger(Cancellation(), limits).prepare(folderFd, ".job1.pdf.part");
        ::close(folderFd);

        QVERIFY2(result.outcome == outcome, result.detail.c_str());
        QCOMPARE(result.documents, std::size_t(2));
        QVERIFY(result.peakKiB > 0);
        QCOMPARE(entries(folder), QStringList{QStringLiteral(".job1.pdf.part")});
        QFile file(folder + QStringLiteral("/.job1.pdf.part"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        if (outcome == DocumentMerger::Outcome::Merged) {
            QCOMPARE(result.objects, std::size_t(objectsTaken));
            QCOMPARE(PdfSamples::pageWidths(file.readAll()), std::optional<QList<int>>({101, 102, 103, 201}));
        } else {
            QVERIFY2(QByteArray::fromStdString(result.detail).startsWith(why), result.detail.c_str());
            QCOMPARE(file.readAll(), input);
        }
    }
};

QTEST_GUILESS_MAIN(TestDocumentMerger)
#include "tst_documentmerger.moc"
