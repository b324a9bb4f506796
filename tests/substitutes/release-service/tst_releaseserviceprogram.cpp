// The tavoren-release-service program as the demo and benchmarks run it.
#include "release-service/CommandLine.h"

#include <httplib.h>

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

using tavoren::releaseservice::Call;
using tavoren::releaseservice::CommandLine;

class TestReleaseServiceProgram : public QObject
{
    Q_OBJECT

private slots:
    void commandLine_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("error"); // empty: accepted
        QTest::newRow("none") << QStringList() << QString();
        QTest::newRow("everything") << QStringList{QStringLiteral("--address=::1"), QStringLiteral("--port"), QStringLiteral("8443"),
                                                   QStringLiteral("--status-sequence"), QStringLiteral("1,2,2,4"),
                                                   QStringLiteral("--clock-offset"), QStringLiteral("-3600"),
                                                   QStringLiteral("--window"), QStringLiteral("60"),
                                                   QStringLiteral("--fault"), QStringLiteral("status:http=429,from=5")}
                                    << QString();
        QTest::newRow("port too large") << QStringList{QStringLiteral("--port"), QStringLiteral("65536")} << "bad port: 65536";
        QTest::newRow("sequence with a gap") << QStringList{QStringLiteral("--status-sequence"), QStringLiteral("1,,4")}
                                             << "bad status sequence: 1,,4";
        QTest::newRow("negative window") << QStringList{QStringLiteral("--window=-1")} << "bad window: -1";
        QTest::newRow("value missing") << QStringList{QStringLiteral("--storage")} << "--storage needs a value";
        QTest::newRow("fault for no call") << QStringList{QStringLiteral("--fault"), QStringLiteral("other:drop")}
                                           << "a fault reads CALL:ITEMS with CALL servertime, create or status: other:drop";
        QTest::newRow("bad fault item") << QStringList{QStringLiteral("--fault=create:http=99")} << "bad status code: 99";
        QTest::newRow("shaped faults") << QStringList{QStringLiteral("--fault"), QStringLiteral("status:inflate=1GiB,chunked,trickle=10"),
                                                      QStringLiteral("--fault=servertime:chunked=200MiB,gzip")}
                                       << QString();
        QTest::newRow("bad length") << QStringList{QStringLiteral("--fault=status:chunked=1x")} << "bad length: 1x";
        QTest::newRow("unknown option") << QStringList{QStringLiteral("--verbose"), QStringLiteral("1")} << "unknown option --verbose";
    }

    void commandLine()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, error);
        std::vector<std::string> args;
        for (const QString &argument : arguments)
            args.push_back(argument.toStdString());
        const auto line = CommandLine::parse(args);
        QCOMPARE(line ? std::string() : line.error().text, error.toStdString());
        QCOMPARE(line.hasValue(), error.isEmpty());
        if (qstrcmp(QTest::currentDataTag(), "everything") == 0) {
            QCOMPARE(line->options.address, std::string("::1"));
            QCOMPARE(line->options.port, 8443);
            QCOMPARE(line->options.statusSequence, (std::vector<std::int64_t>{1, 2, 2, 4}));
            QCOMPARE(line->options.clockOffsetSeconds, std::int64_t(-3600));
            QCOMPARE(line->options.timestampWindowSeconds, std::int64_t(60));
            QCOMPARE(line->faults.size(), std::size_t(1));
            QCOMPARE(line->faults.front().first, Call::JobStatus);
            QCOMPARE(line->faults.front().second.fromRequest, 5u);
            QCOMPARE(line->faults.front().second.status, std::optional<int>(429));
        }
        if (qstrcmp(QTest::currentDataTag(), "shaped faults") == 0) {
            QCOMPARE(line->faults.size(), std::size_t(2));
            QCOMPARE(line->faults.front().first, Call::JobStatus);
            QCOMPARE(line->faults.front().second.paddedLength, std::optional<std::uint64_t>(1ull << 30));
            QVERIFY(line->faults.front().second.gzip && line->faults.front().second.chunkedTransfer);
            QCOMPARE(line->faults.back().first, Call::ServerTime);
        }
    }

    void runsUntilSignalled_data()
    {
        QTest::addColumn<int>("signal");
        QTest::newRow("SIGTERM") << int(SIGTERM);
        QTest::newRow("SIGINT") << int(SIGINT);
    }

    void runsUntilSignalled()
    {
        QFETCH(int, signal);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString portFile = dir.filePath(QStringLiteral("port"));
        QProcess program;
        program.start(QStringLiteral(TAVOREN_TOOLS_DIR "/tavoren-release-service"),
                      {QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--port-file"), portFile,
                       QStringLiteral("--storage"), dir.filePath(QStringLiteral("service")),
                       QStringLiteral("--clock-offset"), QStringLiteral("3600"),
                       QStringLiteral("--fault"), QStringLiteral("servertime:http=503,times=1")});
        QVERIFY(program.waitForStarted());
        // The ready line comes after the port file is in place.
        QVERIFY(program.waitForReadyRead(10000));
        const QByteArray ready = program.readLine();
        QFile file(portFile);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const int port = file.readAll().trimmed().toInt();
        QVERIFY(port > 0);
        const QByteArray url = "http://127.0.0.1:" + QByteArray::number(port);
        QVERIFY2(ready.contains(url), ready.constData());

        httplib::Client client("127.0.0.1", port);
        QCOMPARE(client.Get("/api/v2/servertime")->status, 503);
        const auto result = client.Get("/api/v2/servertime");
        QCOMPARE(result->status, 200);
        const qint64 serverTime = QJsonDocument::fromJson(QByteArray::fromStdString(result->body))
                                      .object().value(QLatin1String("ServerTime")).toInteger();
        QVERIFY(qAbs(serverTime - (std::time(nullptr) + 3600)) <= 1);

        ::kill(pid_t(program.processId()), signal);
        QVERIFY(program.waitForFinished(10000));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), 0);
        const QByteArray log = program.readAllStandardOutput();
        QVERIFY2(log.contains("GET /api/v2/servertime -> 503 (injected fault)\n"), log.constData());
        QVERIFY2(log.endsWith("stopped\n"), log.constData());
    }

    void refusesBadOptions()
    {
        QProcess program;
        program.start(QStringLiteral(TAVOREN_TOOLS_DIR "/tavoren-release-service"), {QStringLiteral("--cert"), QStringLiteral("a.pem")});
        QVERIFY(program.waitForFinished(10000));
        QCOMPARE(program.exitCode(), 1);
        QVERIFY(program.readAllStandardError().contains("HTTPS needs both a certificate and a key"));
    }
};

QTEST_GUILESS_MAIN(TestReleaseServiceProgram)
#include "tst_releaseserviceprogram.moc"
