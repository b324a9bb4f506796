// tavoren-submit as a process: the job runner on a terminal, against the
// substitute service, also through a proxy from the environment.
#include "client/support/ClientLogReader.h"
#include "client/support/ClientSetup.h"
#include "client/support/JobFixture.h"
#include "support/ForwardProxy.h"

#include <QFileInfo>
#include <QProcess>
#include <QTest>

using namespace tavoren;
using clienttest::ClientLogReader;
using clienttest::ClientSetup;
using clienttest::JobFixture;
using releaseservice::Call;
using releaseservice::Fault;

namespace {
struct Outcome
{
    int exitCode = -1;
    QString out;
    QString err;
};

Outcome submit(const testsupport::TestRoot &root, const QStringList &arguments, const QMap<QString, QString> &env = {})
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("TAVOREN_ROOT"), root.path());
    for (auto it = env.cbegin(); it != env.cend(); ++it)
        environment.insert(it.key(), it.value());
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(TAVOREN_BUNDLE_BIN_DIR "/tavoren-submit"), arguments);
    // Keep the event loop turning: the service and proxy of the test live in it.
    if (!QTest::qWaitFor([&] { return process.state() == QProcess::NotRunning; }, 60000))
        process.kill();
    Outcome outcome;
    outcome.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    outcome.out = QString::fromUtf8(process.readAllStandardOutput());
    outcome.err = QString::fromUtf8(process.readAllStandardError());
    return outcome;
}
} // namespace

class TestSubmit : public QObject
{
    Q_OBJECT

private slots:
    void submitsAndPrintsTheReleaseCode_data()
    {
        QTest::addColumn<bool>("secure");
        QTest::addColumn<QString>("proxyVariable"); // empty: no proxy
        QTest::newRow("https") << true << QString();
        QTest::newRow("http") << false << QString();
        QTest::newRow("https through https_proxy") << true << QStringLiteral("https_proxy");
        QTest::newRow("http through http_proxy") << false << QStringLiteral("http_proxy");
    }

    void submitsAndPrintsTheReleaseCode()
    {
        QFETCH(bool, secure);
        QFETCH(QString, proxyVariable);
        JobFixture f(secure);
        QVERIFY(f.started);
        // Through a proxy the service goes by a made-up name the proxy routes
        // to loopback; the client would not use a proxy for a local address.
        const QString host = proxyVariable.isEmpty() ? f.host() : QStringLiteral("release.test:%1").arg(f.service->port());
        ClientSetup::writeAdminConfig(f.root, host, secure);
        testsupport::ForwardProxy proxy;
        QVERIFY(proxy.start());
        QMap<QString, QString> env;
        if (!proxyVariable.isEmpty())
            env.insert(proxyVariable, QStringLiteral("http://127.0.0.1:%1").arg(proxy.port()));

        const QByteArray content = JobFixture::pdfBytes(64 * 1024);
        const QString path = ClientSetup::makeSpoolFile(f.root, QStringLiteral("job7"), content);
        const Outcome outcome = submit(f.root, {QStringLiteral("Invoice 7.pdf:: ::") + path}, env);
        QVERIFY2(outcome.exitCode == 0, qPrintable(outcome.err));
        QCOMPARE(f.service->jobs().size(), size_t(1));
        const QString code = JobFixture::text(f.service->jobs().front().docId);
        QVERIFY(outcome.out.contains(QStringLiteral("Release code: ") + code));
        QVERIFY(outcome.out.contains(QStringLiteral("Document: Invoice 7.pdf")));
        QVERIFY(outcome.err.contains(QStringLiteral("Uploading 100%")));
        QVERIFY(!QFileInfo::exists(QFileInfo(path).path()));
        // The same log lines as the screen writes.
        QVERIFY(ClientLogReader::contains(QStringLiteral("Status"), QStringLiteral("file uploading started"), QString()));
        QVERIFY(ClientLogReader::contains(QStringLiteral("Status"), QStringLiteral("file converted"), QString()));
        QVERIFY(ClientLogReader::contains(QStringLiteral("Debug"), QStringLiteral("pdf"), QStringLiteral("<-fileextension")));

        const QByteArrayList lines = proxy.requestLines();
        if (proxyVariable.isEmpty()) {
            QVERIFY(lines.isEmpty());
        } else if (secure) {
            QVERIFY2(lines.contains(QStringLiteral("CONNECT %1 HTTP/1.1").arg(host).toLatin1()), lines.join('\n').constData());
        } else {
            QVERIFY2(lines.contains(QStringLiteral("POST http://%1/api/v2/drns/ HTTP/1.1").arg(host).toLatin1()),
                     lines.join('\n').constData());
        }
    }

    void failureExitsWithTheErrorText()
    {
        JobFixture f;
        QVERIFY(f.started);
        f.service->setFault(Call::ServerTime, Fault::withStatus(503));
        const QString path = ClientSetup::makeSpoolFile(f.root, QStringLiteral("job7"), "%PDF-1.4");
        const Outcome outcome = submit(f.root, {QStringLiteral("a.pdf:: ::") + path});
        QCOMPARE(outcome.exitCode, 1);
        // The status-page placeholder becomes the status page of the installation.
        QVERIFY2(outcome.err.contains(QStringLiteral("Error: We could not reach the print service.")), qPrintable(outcome.err));
        QVERIFY(outcome.err.contains(QStringLiteral("http://status.test")));
        QVERIFY(outcome.out.isEmpty());
        QVERIFY(ClientLogReader::contains(QStringLiteral("Error"), QStringLiteral("503"),
                                          QStringLiteral("Status Code <- Error in get servertime ")));
        QVERIFY(!QFileInfo::exists(QFileInfo(path).path()));
    }

    void withoutJobItQuits_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("level");
        QTest::newRow("no argument") << QStringList() << "Debug";
        QTest::newRow("no separator") << QStringList{QStringLiteral("just a name")} << "Error";
    }

    void withoutJobItQuits()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, level);
        JobFixture f;
        QVERIFY(f.started);
        const Outcome outcome = submit(f.root, arguments);
        QCOMPARE(outcome.exitCode, 2);
        QCOMPARE(ClientLogReader::countLevel(level), 1);
        QVERIFY(f.service->requests().empty());
    }
};

QTEST_GUILESS_MAIN(TestSubmit)
#include "tst_submit.moc"
