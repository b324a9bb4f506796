// The client window of a public (store) installation, driven as a user
// would, against the substitute service: the whole job, every error key,
// Cancel, the launch modes, the timed close and the links.
#include "WindowFixture.h"

#include "client/app/DockerError.h"
#include "client/app/EmailEntry.h"
#include "client/app/Error.h"
#include "client/app/ReleaseCodeResult.h"
#include "client/app/Storyboard.h"
#include "client/app/Upload.h"
#include "client/core/Constants.h"
#include "client/core/DisplayText.h"
#include "client/support/ClientLogReader.h"
#include "client/support/ClientSetup.h"

#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTextDocument>

using namespace tavoren;
using namespace tavoren::client;
using clienttest::ClientLogReader;
using clienttest::WindowFixture;
using releaseservice::Call;
using releaseservice::Fault;
using namespace std::chrono_literals;

namespace {
QString plain(const QString &richText)
{
    QTextDocument document;
    document.setHtml(richText);
    return document.toPlainText();
}

QString text(const std::string &value)
{
    return QString::fromStdString(value);
}

bool shown(QWidget *widget)
{
    return widget && widget->isVisibleTo(widget->window());
}
} // namespace

class TestPublicInstall : public QObject
{
    Q_OBJECT

private slots:
    void wholeJobFromEmailEntryToReleaseCode()
    {
        const QString entryText = QString(QLatin1Char('e')).repeated(400);
        const QString releaseText = QString(QLatin1Char('r')).repeated(200);
        WindowFixture f(false, {}, {{QStringLiteral("emailentrytext"), entryText},
                                    {QStringLiteral("releasecodetext"), releaseText}});
        QVERIFY(f.started);
        f.open(f.jobArguments(QStringLiteral("Quarterly report for the board meeting.pdf")));
        auto *entry = f.screen<EmailEntry>();
        QVERIFY(entry);
        QCOMPARE(f.control<QLabel>(QStringLiteral("emailEntryText"))->text(), entryText.left(360));
        // A store computer offers no preferences at all.
        QVERIFY(!shown(f.control<QWidget>(QStringLiteral("preferences"))));
        QVERIFY(!shown(f.control<QWidget>(QStringLiteral("preferencesDivider"))));
        QVERIFY(!f.appDelegate->Preferences()->isVisible());

        auto *email = f.control<QLineEdit>(QStringLiteral("email"));
        auto *next = f.control<QPushButton>(QStringLiteral("next"));
        QTest::keyClicks(email, QStringLiteral("alice@example.com"));
        QVERIFY(next->isEnabled());
        QTest::mouseClick(next, Qt::LeftButton);

        QTRY_VERIFY(f.screen<Upload>());
        QCOMPARE(f.window->viewController().childCount(), 1);
        QCOMPARE(f.screen<Upload>()->ownerEmail(), QStringLiteral("alice@example.com"));

        auto *result = f.waitFor<ReleaseCodeResult>();
        QVERIFY2(result, qPrintable(ClientLogReader::dump()));
        QCOMPARE(f.window->viewController().childCount(), 1);
        const auto jobs = f.service->jobs();
        QCOMPARE(jobs.size(), std::size_t(1));
        const QString code = text(jobs.front().docId);
        QTRY_COMPARE(f.control<QLabel>(QStringLiteral("releaseCode"))->text(),
                     code.left(4) + QLatin1Char(' ') + code.mid(4));
        QCOMPARE(f.control<QLabel>(QStringLiteral("fileName"))->text(),
                 QStringLiteral("Quarterly r...oard meeting.pdf"));
        QCOMPARE(f.control<QLabel>(QStringLiteral("releaseCodeText"))->text(), releaseText.left(180));
        QVERIFY(text(jobs.front().ownerJson).contains(QStringLiteral("alice@example.com")));
        QVERIFY(!QFileInfo::exists(QFileInfo(f.spoolFile).path()));
        // A public installation remembers nobody.
        QFile clientFile(f.root.resourceDir() + QStringLiteral("/TavorenClient.plist"));
        QVERIFY(clientFile.open(QIODevice::ReadOnly));
        QVERIFY(!clientFile.readAll().contains("alice"));
        QVERIFY(!QFileInfo::exists(f.root.userConfigFile()));

        QVERIFY(!shown(f.control<QWidget>(QStringLiteral("preferences"))));
        QVERIFY(!shown(f.control<QWidget>(QStringLiteral("preferencesDivider"))));
        // It closes by itself after five minutes.
        QVERIFY(result->closeTimer().isActive());
        QCOMPARE(result->closeTimer().intervalAsDuration(), std::chrono::milliseconds(300s));
        QCOMPARE(f.terminations, 0);
        result->closeTimer().start(0);
        QTRY_COMPARE(f.terminations, 1);
    }

    void everyErrorKeyEndsOnTheErrorScreen_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("how");
        QTest::newRow("busy service") << "limit_reached" << "servertime 429";
        QTest::newRow("no service") << "connection_not_established" << "stopped";
        QTest::newRow("file outside the spool folder") << "failed_to_prepare" << "outside";
        QTest::newRow("too large") << "size_exceeds" << "limit 0";
        QTest::newRow("upload refused") << "unable_to_accept" << "upload 500";
        QTest::newRow("conversion failed") << "unable_to_process_document" << "status 5";
    }

    void everyErrorKeyEndsOnTheErrorScreen()
    {
        QFETCH(QString, key);
        QFETCH(QString, how);
        QVariantMap admin;
        if (how == QLatin1String("limit 0"))
            admin.insert(QStringLiteral("filesizelimitinmb"), 0);
        WindowFixture f(false, admin);
        QVERIFY(f.started);
        // Sizes count in whole megabytes: one of them is over a limit of 0.
        QStringList arguments = how == QLatin1String("limit 0")
            ? f.jobArguments(QStringLiteral("Report.pdf"), QByteArray(1024 * 1024, 'x'))
            : f.jobArguments();
        if (how == QLatin1String("servertime 429"))
            f.service->setFault(Call::ServerTime, Fault::withStatus(429));
        else if (how == QLatin1String("stopped"))
            f.service->stop();
        else if (how == QLatin1String("upload 500"))
            f.service->setFault(Call::CreateJob, Fault::withStatus(500));
        else if (how == QLatin1String("status 5"))
            f.service->setFault(Call::JobStatus, Fault::withMember("Status", "5"));
        else if (how == QLatin1String("outside"))
            arguments[1] = QStringLiteral("Report.pdf:: ::") + f.root.writeFile(QStringLiteral("/home/u/Report.pdf"), "x");

        f.open(arguments);
        QTest::mouseClick(f.control<QPushButton>(QStringLiteral("skip")), Qt::LeftButton);
        QVERIFY2(f.waitFor<Error>(), qPrintable(ClientLogReader::dump()));

        const QString statusPage = f.strings->lookup(QStringLiteral("status_page"));
        QString expected = f.strings->lookup(key);
        const bool pointsToStatusPage = expected.contains(QStringLiteral("{0}"));
        expected.replace(QStringLiteral("{0}"), statusPage);
        auto *message = f.control<QLabel>(QStringLiteral("error"));
        QTRY_COMPARE(plain(message->text()), expected);
        QCOMPARE(message->alignment() & Qt::AlignHCenter, Qt::AlignHCenter);
        QVERIFY(ClientLogReader::contains(QStringLiteral("Debug"), expected,
                                          QStringLiteral("<- error message from error screen")));
        QCOMPARE(Constants::isStatusPage(), pointsToStatusPage);
        QCOMPARE(message->text().contains(QStringLiteral("<a ")), pointsToStatusPage);
        if (how != QLatin1String("outside"))
            QVERIFY(!QFileInfo::exists(QFileInfo(f.spoolFile).path()));

        // Only a message that points to the status page opens it.
        QTest::mouseClick(message, Qt::LeftButton);
        QCOMPARE(f.opened.size(), pointsToStatusPage ? 1 : 0);
        if (pointsToStatusPage)
            QCOMPARE(f.opened.first(), QUrl(QStringLiteral("http://status.test")));
        // And by keys alone: the message is then a Tab stop Space opens.
        QCOMPARE(message->focusPolicy() != Qt::NoFocus, pointsToStatusPage);
        message->setFocus(Qt::TabFocusReason);
        QTest::keyClick(message, Qt::Key_Space);
        QCOMPARE(f.opened.size(), pointsToStatusPage ? 2 : 0);

        QVERIFY(!shown(f.control<QWidget>(QStringLiteral("preferences"))));
        QVERIFY(!f.appDelegate->Preferences()->isVisible());
        QTest::mouseClick(f.control<QPushButton>(QStringLiteral("okButton")), Qt::LeftButton);
        QCOMPARE(f.terminations, 1);
    }

    void statusPageLinkIsTheFirstOfTwo()
    {
        WindowFixture f(false);
        f.open({QStringLiteral("/app/client")});
        std::unique_ptr<Screen> screen(f.appDelegate->storyboard().instantiateController(QStringLiteral("errorViewController")));
        auto *error = qobject_cast<Error *>(screen.get());
        QVERIFY(error);
        error->errorText = QStringLiteral("See {0}, or {0}.");
        error->loadViewIfNeeded();
        auto *message = error->findChild<QLabel *>(QStringLiteral("error"));
        const QString statusPage = f.strings->lookup(QStringLiteral("status_page"));
        QTRY_COMPARE(plain(message->text()), QStringLiteral("See %1, or %1.").arg(statusPage));
        QCOMPARE(message->text().count(QStringLiteral("<a ")), 1);
        QVERIFY(message->text().indexOf(QStringLiteral("<a ")) < message->text().indexOf(QStringLiteral(", or ")));
        QVERIFY(Constants::isStatusPage());
    }

    void errorScreenSpeaksFrench()
    {
        WindowFixture f(false);
        f.service->setFault(Call::ServerTime, Fault::withStatus(429));
        f.open(f.jobArguments(), QLocale(QLocale::French, QLocale::France));
        QCOMPARE(f.control<QPushButton>(QStringLiteral("skip"))->text(), QStringLiteral("Ignorer"));
        QTest::mouseClick(f.control<QPushButton>(QStringLiteral("skip")), Qt::LeftButton);
        QVERIFY(f.waitFor<Error>());
        QTRY_VERIFY(plain(f.control<QLabel>(QStringLiteral("error"))->text()).startsWith(QStringLiteral("Le service")));
    }

    void cancelDeletesOnlyTheSpoolFile()
    {
        WindowFixture f(false);
        // The service clock answers late, so the job is still cancellable.
        f.service->setFault(Call::ServerTime, Fault::delayed(5000ms));
        f.open(f.jobArguments());
        QTest::mouseClick(f.control<QPushButton>(QStringLiteral("skip")), Qt::LeftButton);
        QVERIFY(f.waitFor<Upload>());
        // No address: the owner label keeps its hidden resource state.
        QTRY_VERIFY(!shown(f.control<QWidget>(QStringLiteral("preferences"))));
        QVERIFY(!shown(f.control<QWidget>(QStringLiteral("ownerEmailString"))));
        auto *cancel = f.control<QPushButton>(QStringLiteral("cancelOutlet"));
        QVERIFY(cancel->isEnabled());
        QTest::mouseClick(cancel, Qt::LeftButton);
        QCOMPARE(f.terminations, 1);
        QVERIFY(!QFileInfo::exists(f.spoolFile));
        QVERIFY(QFileInfo(QFileInfo(f.spoolFile).path()).isDir());
        QVERIFY(f.service->jobs().empty());
    }

    void closingTheWindowMidJobLeavesNoStepBehind()
    {
        WindowFixture f(false);
        f.service->setFault(Call::ServerTime, Fault::delayed(300ms));
        f.open(f.jobArguments());
        QTest::mouseClick(f.control<QPushButton>(QStringLiteral("skip")), Qt::LeftButton);
        QVERIFY(f.waitFor<Upload>());
        // The window goes while the clock request and the label step are queued.
        f.window.reset();
        QTRY_COMPARE(f.service->requestsInProgress(), 0);
        // What was queued runs now, and ends nothing.
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
        QCOMPARE(f.terminations, 0);
        QVERIFY(f.service->jobs().empty());
    }

    void launchModes_data()
    {
        QTest::addColumn<int>("argumentCount");
        QTest::addColumn<QString>("owneremail");
        QTest::addColumn<QString>("firstScreen");
        QTest::newRow("no job") << 1 << QString() << QString::fromLatin1(Constants::dockerError);
        QTest::newRow("job") << 2 << QString() << QString::fromLatin1(Constants::emailEntryViewController);
        QTest::newRow("job, a remembered address") << 2 << QStringLiteral("bob@example.com")
                                                   << QString::fromLatin1(Constants::emailEntryViewController);
        QTest::newRow("job and a further argument") << 3 << QString()
                                                    << QString::fromLatin1(Constants::emailEntryViewController);
    }

    void launchModes()
    {
        QFETCH(int, argumentCount);
        QFETCH(QString, owneremail);
        QFETCH(QString, firstScreen);
        WindowFixture f(false, {}, {{QStringLiteral("owneremail"), owneremail}});
        QStringList arguments = f.jobArguments();
        arguments.append(QStringLiteral("ignored"));
        f.open(arguments.mid(0, argumentCount));
        QVERIFY(f.current());
        QCOMPARE(f.current()->identifier(), firstScreen);
        QCOMPARE(ClientLogReader::contains(QStringLiteral("Debug"), QString(),
                                           QStringLiteral("Trying to launch from the doc or app")),
                 argumentCount == 1);
        QCOMPARE(f.window->minimumSize(), f.window->maximumSize());
        QCOMPARE(f.terminations, 0);
    }

    void closingTheMainWindowEndsTheProcess()
    {
        WindowFixture f(false);
        f.open({QStringLiteral("/app/client")});
        f.appDelegate->openPreferences();
        QVERIFY(f.window->close());
        QCOMPARE(f.terminations, 1);
    }

    void malformedJobQuitsFromTheUploadScreen()
    {
        WindowFixture f(false);
        f.open({QStringLiteral("/app/client"), QStringLiteral("Report.pdf /spool/x.pdf")});
        QVERIFY(f.screen<EmailEntry>());
        QTest::mouseClick(f.control<QPushButton>(QStringLiteral("skip")), Qt::LeftButton);
        QTRY_COMPARE(f.terminations, 1);
        QVERIFY(ClientLogReader::contains(QStringLiteral("Error"), QStringLiteral("/app/clientReport.pdf /spool/x.pdf"),
                                          QStringLiteral(" <- commandline agrs filepath not found ")));
        QVERIFY(f.service->requests().empty());
    }

    void launchedWithoutAJobExplainsHowToPrint()
    {
        WindowFixture f(false);
        f.open({QStringLiteral("/app/client")});
        QVERIFY(f.screen<DockerError>());
        auto *instructions = f.control<QLabel>(QStringLiteral("instructions"));
        const QString shownText = plain(instructions->text());
        for (const char *key : {"file_print", "KYR_Tavoren123", "enter_email_address", "next",
                                "Corvane_Eng_Tavoren123", "Corvane_Fr_Tavoren123"})
            QVERIFY2(shownText.contains(f.strings->lookup(QLatin1String(key))), key);
        QVERIFY(!shownText.contains(QStringLiteral("{")));
        QVERIFY(instructions->text().contains(QStringLiteral("font-weight:700")));
        QVERIFY(!shown(f.control<QWidget>(QStringLiteral("preferences"))));
        QVERIFY(!f.appDelegate->Preferences()->isVisible());
        QTest::mouseClick(f.control<QPushButton>(QStringLiteral("quitButton")), Qt::LeftButton);
        QCOMPARE(f.terminations, 1);
    }

    void linksOpenOnlyValidAddresses_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<bool>("opens");
        QTest::newRow("https page") << QStringLiteral("https://legal.test/legal/terms-of-use/") << true;
        QTest::newRow("blank inside") << QStringLiteral("https://legal.test/terms of use") << false;
        QTest::newRow("no scheme") << QStringLiteral("legal.test/terms") << false;
        QTest::newRow("empty") << QString() << false;
    }

    void linksOpenOnlyValidAddresses()
    {
        QFETCH(QString, address);
        QFETCH(bool, opens);
        WindowFixture f(false, {{QStringLiteral("termsofuse"), address},
                                {QStringLiteral("privacypolicy"), address},
                                {QStringLiteral("helpurl"), address}});
        f.open({QStringLiteral("/app/client")});
        QTest::mouseClick(f.window->findChild<QPushButton *>(QStringLiteral("terms")), Qt::LeftButton);
        QTest::mouseClick(f.window->findChild<QPushButton *>(QStringLiteral("privacy")), Qt::LeftButton);
        f.appDelegate->helpAction()->trigger();
        QCOMPARE(f.opened.size(), opens ? 3 : 0);
        for (const QUrl &url : std::as_const(f.opened))
            QCOMPARE(url, QUrl(address));
    }

    void configuredLogosReplaceOnlyTheImagesThatLoad()
    {
        WindowFixture f(false);
        QImage image(40, 20, QImage::Format_RGB32);
        image.fill(Qt::red);
        const QString big = f.root.system(QStringLiteral("/brand/big.png"));
        QDir().mkpath(QFileInfo(big).path());
        QVERIFY(image.save(big));
        clienttest::ClientSetup::writeClientConfig(f.root, {{QStringLiteral("tavorenlogobig"), big},
                                                            {QStringLiteral("tavorenlogosmall"), QString()}});
        f.open({QStringLiteral("/app/client")});
        auto *bigLogo = f.window->findChild<QLabel *>(QStringLiteral("tavorenLogoBig"));
        auto *smallLogo = f.window->findChild<QLabel *>(QStringLiteral("tavorenByKyrLogo"));
        QCOMPARE(bigLogo->pixmap().size(), QSize(40, 20));
        QCOMPARE(bigLogo->pixmap().toImage().pixelColor(1, 1), QColor(Qt::red));
        QVERIFY(!smallLogo->pixmap().isNull());
        QVERIFY(smallLogo->pixmap().toImage().pixelColor(1, 1) != QColor(Qt::red));
    }
};

QTEST_MAIN(TestPublicInstall)
#include "tst_publicinstall.moc"
