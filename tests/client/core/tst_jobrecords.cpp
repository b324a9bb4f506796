#include "client/core/DRN.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

using namespace tavoren::client;

namespace {
QJsonObject document()
{
    return QJsonObject{{QStringLiteral("Created"), QStringLiteral("2026-12-08T10:00:00Z")},
                       {QStringLiteral("DocumentType"), 1},
                       {QStringLiteral("ErrorCode"), 0},
                       {QStringLiteral("FileSize"), 123456},
                       {QStringLiteral("Name"), QStringLiteral("Report.pdf")},
                       {QStringLiteral("PageCount"), 3},
                       {QStringLiteral("PdfFileSize"), 120000},
                       {QStringLiteral("Status"), 4},
                       {QStringLiteral("StatusUpdated"), QStringLiteral("2026-12-08T10:00:05Z")},
                       {QStringLiteral("Url"), QStringLiteral("https://files.test/x")}};
}

QJsonObject job()
{
    return QJsonObject{{QStringLiteral("DocID"), QStringLiteral("K7PQ2M9X")},
                       {QStringLiteral("Documents"), QJsonArray{document()}},
                       {QStringLiteral("EmailNotificationSent"), false},
                       {QStringLiteral("EmailTo"), QStringLiteral("print@service.test")},
                       {QStringLiteral("Expiration"), QStringLiteral("2026-12-15")},
                       {QStringLiteral("IsNotificationRequired"), true},
                       {QStringLiteral("NotificationStatus"), 0},
                       {QStringLiteral("NotificationStatusUpdated"), QJsonValue::Null},
                       {QStringLiteral("OwnerEmail"), QStringLiteral("a@b.test")},
                       {QStringLiteral("Status"), 4},
                       {QStringLiteral("UploadClient"), 5}};
}

QByteArray bytes(const QJsonObject &object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}
} // namespace

class TestJobRecords : public QObject
{
    Q_OBJECT

private slots:
    void decodesCompleteRecord()
    {
        const auto drn = DRN::decode(bytes(job()));
        QVERIFY2(drn, drn ? "" : drn.error().description().c_str());
        QCOMPARE(drn->DocID, QStringLiteral("K7PQ2M9X"));
        QCOMPARE(drn->Status, 4);
        QCOMPARE(drn->UploadClient, 5);
        QCOMPARE(drn->EmailTo, std::optional<QString>(QStringLiteral("print@service.test")));
        QCOMPARE(drn->NotificationStatusUpdated, std::nullopt);
        QCOMPARE(drn->Documents.size(), 1);
        QCOMPARE(drn->Documents.first().PageCount, 3);
        QCOMPARE(drn->Documents.first().Name, std::optional<QString>(QStringLiteral("Report.pdf")));
        // Encoding gives back what decodes to the same record.
        const auto again = DRN::decode(drn->encode());
        QVERIFY(again);
        QCOMPARE(*again, *drn);
    }

    void acceptsVariants_data()
    {
        QTest::addColumn<QJsonObject>("record");
        QJsonObject nullEmail = job();
        nullEmail.insert(QStringLiteral("EmailTo"), QJsonValue::Null);
        QTest::newRow("EmailTo null") << nullEmail;
        QJsonObject noOptionals = job();
        for (const char *key : {"EmailTo", "Expiration", "NotificationStatusUpdated", "OwnerEmail"})
            noOptionals.remove(QString::fromLatin1(key));
        QTest::newRow("optional members absent") << noOptionals;
        QJsonObject empty = job();
        empty.insert(QStringLiteral("Documents"), QJsonArray());
        QTest::newRow("no documents") << empty;
        QJsonObject extra = job();
        extra.insert(QStringLiteral("Unlisted"), QJsonObject{{QStringLiteral("x"), 1}});
        QTest::newRow("unlisted member") << extra;
        QJsonObject wholeFloat = job();
        wholeFloat.insert(QStringLiteral("Status"), 2.0);
        QTest::newRow("status as 2.0") << wholeFloat;
        QJsonObject bigInteger = job();
        bigInteger.insert(QStringLiteral("NotificationStatus"), qint64(9007199254740993LL));
        QTest::newRow("integer beyond 2^53") << bigInteger;
    }

    void acceptsVariants()
    {
        QFETCH(QJsonObject, record);
        const auto drn = DRN::decode(bytes(record));
        QVERIFY2(drn, drn ? "" : drn.error().description().c_str());
        QCOMPARE(drn->EmailTo.has_value(), record.value(QStringLiteral("EmailTo")).isString());
        QCOMPARE(drn->NotificationStatus, record.value(QStringLiteral("NotificationStatus")).toInteger());
    }

    void rejects_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<QString>("reasonMentions");

        auto without = [](const char *key) {
            QJsonObject record = job();
            record.remove(QString::fromLatin1(key));
            return bytes(record);
        };
        auto with = [](const char *key, const QJsonValue &value) {
            QJsonObject record = job();
            record.insert(QString::fromLatin1(key), value);
            return bytes(record);
        };
        QJsonObject badDocument = document();
        badDocument.remove(QStringLiteral("PageCount"));

        QTest::newRow("no UploadClient") << without("UploadClient") << QStringLiteral("UploadClient");
        QTest::newRow("no Status") << without("Status") << QStringLiteral("Status");
        QTest::newRow("no Documents") << without("Documents") << QStringLiteral("Documents");
        QTest::newRow("numeric DocID") << with("DocID", 1234) << QStringLiteral("DocID");
        QTest::newRow("Status as text") << with("Status", QStringLiteral("4")) << QStringLiteral("Status");
        QTest::newRow("Status fraction") << with("Status", 4.5) << QStringLiteral("Status");
        QTest::newRow("required null") << with("IsNotificationRequired", QJsonValue::Null) << QStringLiteral("IsNotificationRequired");
        QTest::newRow("Boolean as number") << with("EmailNotificationSent", 0) << QStringLiteral("EmailNotificationSent");
        QTest::newRow("optional wrong type") << with("EmailTo", 7) << QStringLiteral("EmailTo");
        QTest::newRow("document lacks PageCount") << with("Documents", QJsonArray{badDocument}) << QStringLiteral("PageCount");
        QTest::newRow("document not an object") << with("Documents", QJsonArray{3}) << QStringLiteral("Documents");
        QTest::newRow("array") << QByteArray("[1,2]") << QStringLiteral("object");
        QTest::newRow("not JSON") << QByteArray("<html>busy</html>") << QStringLiteral("JSON");
        QTest::newRow("empty") << QByteArray() << QStringLiteral("JSON");
    }

    void rejects()
    {
        QFETCH(QByteArray, json);
        QFETCH(QString, reasonMentions);
        const auto drn = DRN::decode(json);
        QVERIFY(!drn);
        const QString error = QString::fromStdString(drn.error().text);
        QVERIFY2(error.contains(reasonMentions), qPrintable(error));
    }
};

QTEST_GUILESS_MAIN(TestJobRecords)
#include "tst_jobrecords.moc"
