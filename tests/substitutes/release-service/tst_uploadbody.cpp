// The upload layout on buffers first, then through a file as the service
// uses it.
#include "release-service/UploadBody.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using tavoren::releaseservice::UploadBody;

namespace {
const QByteArray boundary = "Boundary-0C1D2E3F-4A5B-6C7D-8E9F-A0B1C2D3E4F5";
const QByteArray owner = R"({"UploadClient":5,"EmailTo":"print@release.test","OwnerEmail":"me@home.test"})";

QByteArray layout(const QByteArray &file, const QByteArray &ownerJson = owner, const QByteArray &name = "Quarterly report")
{
    return "--" + boundary + "\r\nContent-Disposition: form-data; name=\"Owner\"\r\nContent-Type: application/json\r\n\r\n"
        + ownerJson + "\r\n--" + boundary
        + "\r\nContent-Disposition: form-data; name=\"file\"; filename=\"Untitled.pdf\"\r\nContent-Description: " + name
        + "\r\nContent-Type: application/pdf\r\n\r\n" + file + "\r\n--" + boundary + "--\r\n";
}

QByteArray replaced(QByteArray body, const QByteArray &from, const QByteArray &to)
{
    const qsizetype at = body.indexOf(from);
    return at < 0 ? QByteArray("pattern not found") : body.replace(at, from.size(), to);
}

UploadBody::Result parse(const QByteArray &body, std::string_view *file = nullptr)
{
    return UploadBody::parse(std::string_view(body.constData(), std::size_t(body.size())), boundary.toStdString(), file);
}
} // namespace

class TestUploadBody : public QObject
{
    Q_OBJECT

private slots:
    void acceptsFileBytes_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("PDF text") << QByteArray("%PDF-1.4\n%%EOF\n");
        QTest::newRow("CR LF and NUL") << QByteArray("\r\n\0\r\n\r\n\xff", 8);
        QTest::newRow("ends in CR LF") << QByteArray("x\r\n");
        QTest::newRow("boundary without CR LF before it") << "x--" + boundary + "--\r\n";
        QTest::newRow("another boundary") << QByteArray("\r\n--Boundary-00000000-0000-0000-0000-000000000000\r\n");
        QTest::newRow("shorter boundary") << "\r\n--" + boundary.left(20) + "\r\n";
    }

    void acceptsFileBytes()
    {
        QFETCH(QByteArray, file);
        const QByteArray body = layout(file); // the extracted view points into it
        std::string_view extracted;
        const UploadBody::Result result = parse(body, &extracted);
        QCOMPARE(result.error, std::string());
        QCOMPARE(QByteArray(extracted.data(), qsizetype(extracted.size())), file);
        QCOMPARE(result.fileSize, std::uint64_t(file.size()));
        QCOMPARE(result.contentDescription, std::string("Quarterly report"));
        QCOMPARE(result.ownerJson, owner.toStdString());
        QCOMPARE(result.emailTo, std::string("print@release.test"));
        QCOMPARE(result.ownerEmail, std::optional<std::string>("me@home.test"));
    }

    void refusesOtherLayouts_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("problem");
        const QByteArray good = layout("%PDF");
        QTest::newRow("nothing") << QByteArray() << "expected opening boundary";
        QTest::newRow("other boundary") << replaced(good, "--" + boundary + "\r\n", "--Boundary-X\r\n") << "expected opening boundary";
        QTest::newRow("header name case") << replaced(good, "Content-Disposition: form-data; name=\"Owner\"", "content-disposition: form-data; name=\"Owner\"")
                                          << "expected Owner part disposition";
        QTest::newRow("owner as text") << replaced(good, "Content-Type: application/json", "Content-Type: text/plain")
                                       << "expected Owner part content type";
        QTest::newRow("other file name") << replaced(good, "Untitled.pdf", "Report.pdf") << "expected file part disposition";
        QTest::newRow("no description") << replaced(good, "Content-Description: Quarterly report\r\n", "") << "expected Content-Description line";
        QTest::newRow("bare LF in description") << layout("%PDF", owner, "a\nb") << "line break inside Content-Description";
        QTest::newRow("file as octets") << replaced(good, "application/pdf", "application/octet-stream") << "expected file part content type";
        QTest::newRow("no empty line") << replaced(good, "application/pdf\r\n\r\n", "application/pdf\r\n") << "expected file part content type";
        QTest::newRow("no closing boundary") << good.chopped(4) << "expected closing boundary at the end";
        QTest::newRow("no final CR LF") << good.chopped(2) << "expected closing boundary at the end";
        QTest::newRow("bytes after closing") << good + "x" << "expected closing boundary at the end";
        QTest::newRow("file starts with the delimiter") << layout("--" + boundary + "\r\n") << "boundary inside the file part";
        QTest::newRow("a second file part") << layout("a\r\n--" + boundary + "\r\nContent-Type: application/pdf\r\n\r\nb")
                                            << "boundary inside the file part";
        QTest::newRow("owner not JSON") << layout("%PDF", "{UploadClient:5}") << "owner part is not a JSON object";
        QTest::newRow("owner array") << layout("%PDF", "[5]") << "owner part is not a JSON object";
        QTest::newRow("UploadClient 4") << layout("%PDF", R"({"UploadClient":4,"EmailTo":""})") << "owner part needs UploadClient 5";
        QTest::newRow("UploadClient as text") << layout("%PDF", R"({"UploadClient":"5","EmailTo":""})") << "owner part needs UploadClient 5";
        QTest::newRow("no EmailTo") << layout("%PDF", R"({"UploadClient":5})") << "owner part needs a text EmailTo";
        QTest::newRow("empty OwnerEmail") << layout("%PDF", R"({"UploadClient":5,"EmailTo":"","OwnerEmail":""})")
                                          << "owner part has an empty or non-text OwnerEmail";
        QTest::newRow("unknown owner member") << layout("%PDF", R"({"UploadClient":5,"EmailTo":"","Name":"x"})")
                                              << "owner part has unknown member Name";
    }

    void refusesOtherLayouts()
    {
        QFETCH(QByteArray, body);
        QFETCH(QString, problem);
        QCOMPARE(parse(body).error, problem.toStdString());
    }

    void boundaryFromContentType_data()
    {
        QTest::addColumn<QString>("contentType");
        QTest::addColumn<QString>("expected"); // empty: refused
        QTest::newRow("client form") << QStringLiteral("multipart/form-data; boundary=") + QString::fromLatin1(boundary)
                                      << QString::fromLatin1(boundary);
        QTest::newRow("no boundary") << "multipart/form-data" << QString();
        QTest::newRow("empty boundary") << "multipart/form-data; boundary=" << QString();
        QTest::newRow("quoted") << "multipart/form-data; boundary=\"B\"" << QString();
        QTest::newRow("no space") << "multipart/form-data;boundary=B" << QString();
        QTest::newRow("json") << "application/json" << QString();
        QTest::newRow("70 characters") << QStringLiteral("multipart/form-data; boundary=") + QString(70, QLatin1Char('b'))
                                        << QString(70, QLatin1Char('b'));
        QTest::newRow("71 characters") << QStringLiteral("multipart/form-data; boundary=") + QString(71, QLatin1Char('b'))
                                        << QString();
    }

    void boundaryFromContentType()
    {
        QFETCH(QString, contentType);
        QFETCH(QString, expected);
        const auto boundaryText = UploadBody::boundaryFrom(contentType.toStdString());
        QCOMPARE(boundaryText.value_or(std::string()), expected.toStdString());
    }

    void extractsToANewFile()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        QByteArray file(3 * 1024 * 1024 + 7, Qt::Uninitialized);
        for (qsizetype i = 0; i < file.size(); ++i)
            file[i] = char((i * 7919) >> 3);
        const QString bodyPath = dir.filePath(QStringLiteral("body"));
        QFile body(bodyPath);
        QVERIFY(body.open(QIODevice::WriteOnly));
        QVERIFY(body.write(layout(file)) > 0);
        body.close();

        const std::string target = dir.filePath(QStringLiteral("job.pdf")).toStdString();
        QCOMPARE(UploadBody::extract(bodyPath.toStdString(), boundary.toStdString(), target).error, std::string());
        QFile stored(QString::fromStdString(target));
        QVERIFY(stored.open(QIODevice::ReadOnly));
        QVERIFY(stored.readAll() == file);
        // Never over an existing file: each job gets a file of its own.
        QCOMPARE(UploadBody::extract(bodyPath.toStdString(), boundary.toStdString(), target).error,
                 std::string("cannot store the file"));
        QCOMPARE(UploadBody::extract(dir.filePath(QStringLiteral("absent")).toStdString(), boundary.toStdString(),
                                     dir.filePath(QStringLiteral("other.pdf")).toStdString())
                     .error,
                 std::string("cannot read the received body"));
    }
};

QTEST_GUILESS_MAIN(TestUploadBody)
#include "tst_uploadbody.moc"
