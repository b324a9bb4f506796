// The installer core's failure paths, as any user: every platform piece is a
// fake the test sets to fail (a helper channel that refuses, hangs, closes
// halfway, answers late, refuses or fails the command; an authorisation
// dismissed, refused or unable to bless), and time moves only when the test
// moves the fake clock.
#include "installer/core/KYInstaller.h"
#include "support/FakePlatform.h"
#include "support/RecordingFrontEnd.h"

#include <QTest>

using namespace tavoren::installer;
using namespace tavoren::testsupport;

using Behaviour = FakeHelperChannel::Behaviour;
Q_DECLARE_METATYPE(Behaviour)
using Answer = FakeHelperAuthorization::Answer;
Q_DECLARE_METATYPE(Answer)
using ScriptAnswer = FakeScriptRunner::Answer;
Q_DECLARE_METATYPE(ScriptAnswer)

namespace {
constexpr int patience = 20000;
const QString probe = QStringLiteral("ls /Applications/");

// One installer on the fakes, with a front-end that records.
struct Installer
{
    explicit Installer(FakePlatform::Package package = FakePlatform::Package::Present)
        : platform(package)
        , installer(frontEnd, platform.environment())
    {
    }

    bool detect(const QStringList &arguments = {QStringLiteral("TavorenInstaller")})
    {
        installer.start(arguments);
        return QTest::qWaitFor([&] { return installer.state().isInitializationComplete.load(); }, patience);
    }
    bool finish() { return QTest::qWaitFor([&] { return frontEnd.finished(); }, patience); }
    // Once the installation's progress loop has made its first pass.
    bool following()
    {
        return QTest::qWaitFor([&] { return frontEnd.calls.contains(QStringLiteral("bar"))
                                            && frontEnd.calls.mid(frontEnd.calls.indexOf(QStringLiteral("bar")))
                                                   .contains(QStringLiteral("10:")); },
                               patience);
    }
    QString log() { return installer.log().internalLog(); }
    // `first` is logged, and later `then`.
    bool logsInOrder(const QString &first, const QString &then)
    {
        const QString text = log();
        const qsizetype at = text.indexOf(first);
        return at >= 0 && text.indexOf(then, at + first.size()) > at;
    }

    FakePlatform platform;
    RecordingFrontEnd frontEnd;
    KYInstaller installer;
};
} // namespace

class TestInstallerFailures : public QObject
{
    Q_OBJECT

private slots:
    // The probe before every installation fails: the helper is blessed
    // again and the installation goes on. A reply that comes after the
    // installer gave up on it changes nothing.
    void probeFailures_data()
    {
        QTest::addColumn<Behaviour>("behaviour");
        QTest::addColumn<QString>("line");
        QTest::newRow("no connection object") << Behaviour::CannotCreate << QStringLiteral("Failed to create XPC connection.");
        QTest::newRow("refused") << Behaviour::Refuses << QStringLiteral("XPC connection invalid, releasing.");
        QTest::newRow("closes halfway") << Behaviour::ClosesHalfway << QStringLiteral("XPC connection interupted.");
        QTest::newRow("not a reply") << Behaviour::AnswersGarbage
                                     << QStringLiteral("Unexpected XPC connection event.: <html>not a reply</html>");
        QTest::newRow("refused by the helper") << Behaviour::AnswersRefused
                                               << QStringLiteral("Received response: refused: ls /Applications/.");
        QTest::newRow("failed in the helper") << Behaviour::AnswersFailed
                                              << QStringLiteral("Received response: failed: ls /Applications/.");
        QTest::newRow("hangs") << Behaviour::Hangs << QStringLiteral("No answer from the helper tool within 120 seconds");
        QTest::newRow("answers late") << Behaviour::AnswersLate
                                      << QStringLiteral("No answer from the helper tool within 120 seconds");
    }
    void probeFailures()
    {
        QFETCH(Behaviour, behaviour);
        QFETCH(QString, line);
        Installer i;
        i.platform.channel->push(behaviour);
        QVERIFY(i.detect());
        i.installer.proceedWithInstallation();
        if (behaviour == Behaviour::Hangs || behaviour == Behaviour::AnswersLate) {
            // The probe's wait is the only one; nothing ends it but time.
            QVERIFY(QTest::qWaitFor([&] { return i.platform.clock->longWaits() == 1; }, patience));
            QCOMPARE(i.platform.authorization->blessings(), 0);
            i.platform.clock->advance(std::chrono::seconds(120));
        }
        QVERIFY(i.finish());
        QVERIFY(i.frontEnd.calls.contains(QStringLiteral("finished:ok")));
        QVERIFY2(i.logsInOrder(line, QStringLiteral("Authorization successful")), qPrintable(i.log()));
        QCOMPARE(i.platform.authorization->blessings(), 1);
        QVERIFY(!i.log().contains(QLatin1String("Received response: done: ls /Applications/.")));
        QVERIFY(!i.installer.state().installFailed);
        QCOMPARE(i.platform.channel->commands().filter(QStringLiteral("/usr/sbin/installer -pkg ")).size(), 1);
    }

    // The installation command fails in each way the helper's channel can:
    // the result is a failure, the last pass says InstallFailed, and the
    // log says why. An answer that only comes late is followed to success.
    void installationFailures_data()
    {
        QTest::addColumn<Behaviour>("behaviour");
        QTest::addColumn<int>("exitStatus");
        QTest::addColumn<QString>("line");
        QTest::addColumn<bool>("failed");
        QTest::newRow("no connection object") << Behaviour::CannotCreate << 0
                                              << QStringLiteral("Failed to create XPC connection.") << true;
        QTest::newRow("refused") << Behaviour::Refuses << 0 << QStringLiteral("XPC connection invalid, releasing.") << true;
        QTest::newRow("closes halfway") << Behaviour::ClosesHalfway << 0 << QStringLiteral("XPC connection interupted.")
                                        << true;
        QTest::newRow("not a reply") << Behaviour::AnswersGarbage << 0
                                     << QStringLiteral("Unexpected XPC connection event.: <html>") << true;
        QTest::newRow("refused by the helper") << Behaviour::AnswersRefused << 0
                                               << QStringLiteral("Received response: refused: /usr/sbin/installer -pkg \"")
                                               << true;
        QTest::newRow("failed in the helper") << Behaviour::AnswersFailed << 0
                                              << QStringLiteral("Received response: failed: /usr/sbin/installer -pkg \"")
                                              << true;
        QTest::newRow("the package installer fails") << Behaviour::Completes << 1
                                                     << QStringLiteral("The package installer ended with exit status 1")
                                                     << true;
        QTest::newRow("hangs") << Behaviour::Hangs << 0
                               << QStringLiteral("No progress for 7200 seconds: the installation is taken as failed") << true;
        QTest::newRow("answers late") << Behaviour::AnswersLate << 0 << QStringLiteral("Installation successful...")
                                      << false;
    }
    void installationFailures()
    {
        QFETCH(Behaviour, behaviour);
        QFETCH(int, exitStatus);
        QFETCH(QString, line);
        QFETCH(bool, failed);
        Installer i;
        i.platform.channel->push(Behaviour::Completes);
        i.platform.channel->push(behaviour);
        i.platform.channel->setInstallationExitStatus(exitStatus);
        QVERIFY(i.detect());
        i.installer.proceedWithInstallation();
        if (behaviour == Behaviour::Hangs) {
            QVERIFY(i.following());
            i.platform.clock->advance(std::chrono::seconds(7200));
        } else if (behaviour == Behaviour::AnswersLate) {
            QVERIFY(i.following());
            QVERIFY(QTest::qWaitFor([&] { return i.platform.channel->heldReplies() == 1; }, patience));
            i.platform.channel->release();
        }
        QVERIFY(i.finish());
        QVERIFY2(i.log().contains(line), qPrintable(i.log()));
        QCOMPARE(i.frontEnd.calls.contains(QStringLiteral("finished:failed")), failed);
        const QStringList passes = i.frontEnd.calls.filter(QStringLiteral(":InstallFailed"));
        QCOMPARE(!passes.isEmpty(), failed);
        QVERIFY(!i.installer.state().installationInProgress);
        QCOMPARE(i.frontEnd.calls.mid(i.frontEnd.calls.size() - 2).first(), QStringLiteral("100:"));
    }

    // Blessing the helper tool fails: nothing starts, the screen stays, and
    // Install can be pressed again.
    void authorizationFailures_data()
    {
        QTest::addColumn<Answer>("answer");
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("error");
        QTest::newRow("dismissed") << Answer::Dismissed
                                   << QStringLiteral("Failed to create AuthorizationRef. Error code: 126")
                                   << QStringLiteral("(null)");
        QTest::newRow("not authorised") << Answer::NotAuthorized
                                        << QStringLiteral("Failed to create AuthorizationRef. Error code: 127")
                                        << QStringLiteral("(null)");
        QTest::newRow("blessing fails") << Answer::BlessingFails << QStringLiteral("Authorization successful")
                                        << QString::fromLatin1(FakeHelperAuthorization::blessingFailure);
    }
    void authorizationFailures()
    {
        QFETCH(Answer, answer);
        QFETCH(QString, line);
        QFETCH(QString, error);
        Installer i;
        i.platform.authorization->setBlessed(false);
        i.platform.authorization->setAnswer(answer);
        QVERIFY(i.detect());
        i.frontEnd.calls.clear();
        i.installer.proceedWithInstallation();
        QVERIFY(QTest::qWaitFor([&] { return i.frontEnd.calls.contains(QStringLiteral("helper failed")); }, patience));
        QVERIFY2(i.logsInOrder(line, QStringLiteral("Failed to install the Helper Tool. Error: ") + error + QLatin1Char('\n')),
                 qPrintable(i.log()));
        QCOMPARE(i.frontEnd.calls, QStringList{QStringLiteral("helper failed")});
        QCOMPARE(i.platform.channel->commands(), QStringList{probe});
        QVERIFY(!i.installer.state().installationInProgress && !i.installer.state().uninstallationInProgress);

        i.platform.authorization->setAnswer(Answer::Blesses);
        i.installer.proceedWithInstallation();
        QVERIFY(i.finish());
        QVERIFY(i.frontEnd.calls.contains(QStringLiteral("finished:ok")));
        QCOMPARE(i.platform.authorization->blessings(), 2);
    }

    // Silent mode removes an installed version itself when it runs as root,
    // through the helper tool otherwise; whatever the script comes to, the
    // installation follows.
    void silentRemoval_data()
    {
        QTest::addColumn<bool>("root");
        QTest::addColumn<ScriptAnswer>("answer");
        QTest::addColumn<QString>("line");
        QTest::newRow("as root, the script runs")
            << true << ScriptAnswer::Runs << QStringLiteral("Removed the installed files\nThe removal script ended with exit status 3");
        QTest::newRow("as root, a script others may change")
            << true << ScriptAnswer::Untrusted << QStringLiteral(" is not a file only root can change: it is not run");
        QTest::newRow("as root, a script that cannot start")
            << true << ScriptAnswer::CannotStart << QStringLiteral(" cannot be run: No such file or directory");
        QTest::newRow("as a user, through the helper")
            << false << ScriptAnswer::Runs
            << QStringLiteral("Received response: done: /bin/sh \"/Library/Printers/CorvaneTavoren/Uninstall.sh\".");
    }
    void silentRemoval()
    {
        QFETCH(bool, root);
        QFETCH(ScriptAnswer, answer);
        QFETCH(QString, line);
        Installer i;
        i.platform.installVersion(QStringLiteral("1.0"));
        i.platform.user->setRoot(root);
        i.platform.scriptRunner->setAnswer(answer, {3, "  Removed the installed files\n"});
        i.installer.start({QStringLiteral("TavorenInstaller"), QStringLiteral("-s"), QStringLiteral("admin")});
        QVERIFY(i.finish());
        QVERIFY2(i.logsInOrder(QStringLiteral("Will delete existing Corvane Tavoren Driver."), line), qPrintable(i.log()));
        QVERIFY(i.logsInOrder(line, QStringLiteral("Installing ")));
        QVERIFY(i.frontEnd.calls.contains(QStringLiteral("finished:ok")));

        const QString script = i.platform.root().system(QStringLiteral("/Library/Printers/CorvaneTavoren/Uninstall.sh"));
        QCOMPARE(i.platform.scriptRunner->runs(), root ? QStringList{script + QStringLiteral(" --upgrade")} : QStringList());
        QCOMPARE(i.platform.channel->commands().filter(QStringLiteral("/bin/sh")).size(), root ? 0 : 1);
        // Standard output: the first line, then one line a pass, none failed.
        const QStringList lines = i.platform.output->lines();
        QCOMPARE(lines.value(0), QStringLiteral("5:PHASE_PrepareInstall"));
        QVERIFY(lines.size() >= 2);
        QVERIFY(lines.filter(QStringLiteral("InstallFailed")).isEmpty());
    }

    // Closing the installer while it waits, however long the wait, ends
    // every thread at once: nothing more reaches the front-end.
    void stopEndsEveryWait_data()
    {
        QTest::addColumn<int>("hangingRequest"); // 0: the probe, 1: the installation
        QTest::newRow("waiting for the probe's reply") << 0;
        QTest::newRow("following a hanging installation") << 1;
    }
    void stopEndsEveryWait()
    {
        QFETCH(int, hangingRequest);
        RecordingFrontEnd frontEnd;
        FakePlatform platform;
        {
            KYInstaller installer(frontEnd, platform.environment());
            if (hangingRequest == 1)
                platform.channel->push(Behaviour::Completes);
            platform.channel->push(Behaviour::Hangs);
            installer.start({QStringLiteral("TavorenInstaller")});
            QVERIFY(QTest::qWaitFor([&] { return installer.state().isInitializationComplete.load(); }, patience));
            installer.proceedWithInstallation();
            QVERIFY(QTest::qWaitFor([&] { return platform.channel->heldReplies() == 1; }, patience));
            if (hangingRequest == 0)
                QVERIFY(QTest::qWaitFor([&] { return platform.clock->longWaits() == 1; }, patience));
        }
        QCOMPARE(platform.channel->heldReplies(), 0);
        QCOMPARE(platform.clock->longWaits(), 0);
        const qsizetype seen = frontEnd.calls.size();
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
        QCOMPARE(frontEnd.calls.size(), seen);
        QVERIFY(!frontEnd.finished());
    }
};

QTEST_GUILESS_MAIN(TestInstallerFailures)
#include "tst_installerfailures.moc"
