// The client window of a private installation: the remembered address,
// the preferences entry and the settings window.
#include "WindowFixture.h"

#include "client/app/CrossfadeSegue.h"
#include "client/app/EmailEntry.h"
#include "client/app/Error.h"
#include "client/app/ReleaseCodeResult.h"
#include "client/app/Settings.h"
#include "client/app/Upload.h"
#include "client/core/ConfigFiles.h"
#include "client/support/ClientLogReader.h"

#include <QAction>
#include <QFile>
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

namespace {
bool shown(QWidget *widget)
{
    return widget && widget->isVisibleTo(widget->window());
}

void addressRows()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<bool>("valid");
    QTest::newRow("two letters after the dot") << QStringLiteral("ann@example.co") << true;
    QTest::newRow("one letter after the dot") << QStringLiteral("ann@example.c") << false;
    QTest::newRow("trailing blank") << QStringLiteral("ann@example.com ") << false;
    QTest::newRow("no at sign") << QStringLiteral("ann.example.com") << false;
    QTest::newRow("dots, plus and digits") << QStringLiteral("ann.b+print7@mail.example.org") << true;
}
} // namespace

class TestPrivateInstall : public QObject
{
    Q_OBJECT

private slots:
    void rememberedAddressGoesStraightToTheUpload()
    {
        WindowFixture f(true, {}, {{QStringLiteral("owneremail"), QStringLiteral("carol@example.com")}});
        QVERIFY(f.started);
        // A title is shown as the characters it has, never read as markup.
        f.open(f.jobArguments(QStringLiteral("<b>Plan</b> & notes.pdf")));
        QVERIFY(f.screen<Upload>());
        QVERIFY(!f.appDelegate->Preferences()->isVisible());
        auto *owner = f.control<QLabel>(QStringLiteral("ownerEmailString"));
        QTRY_VERIFY(shown(owner));
        QTextDocument document;
        document.setHtml(owner->text());
        QVERIFY(document.toPlainText().contains(QStringLiteral("carol@example.com.")));
        QVERIFY(owner->text().contains(QStringLiteral("color:#0a64d8;\">carol@example.com</span>")));
        QVERIFY(owner->text().startsWith(QStringLiteral("<div align=\"center\"")));
        QVERIFY(shown(f.control<QWidget>(QStringLiteral("preferences"))));

        auto *result = f.waitFor<ReleaseCodeResult>();
        QVERIFY2(result, qPrintable(ClientLogReader::dump()));
        // Back from the job, the preferences entry returns; nothing closes by itself.
        QVERIFY(f.appDelegate->Preferences()->isVisible());
        QVERIFY(!result->closeTimer().isActive());
        auto *name = f.control<QLabel>(QStringLiteral("fileName"));
        QTRY_COMPARE(name->text(), QStringLiteral("<b>Plan</b> & notes.pdf"));
        QCOMPARE(name->textFormat(), Qt::PlainText);
        QVERIFY(shown(f.control<QWidget>(QStringLiteral("preferences"))));
        QVERIFY(f.service->jobs().front().ownerJson.find("carol@example.com") != std::string::npos);
    }

    void errorScreenOffersThePreferencesAgain()
    {
        WindowFixture f(true, {}, {{QStringLiteral("owneremail"), QStringLiteral("carol@example.com")}});
        f.service->setFault(Call::CreateJob, Fault::withStatus(500));
        f.open(f.jobArguments());
        QVERIFY(f.waitFor<Error>());
        QTRY_VERIFY(f.appDelegate->Preferences()->isVisible());
        QVERIFY(shown(f.control<QWidget>(QStringLiteral("preferences"))));
    }

    void nextRemembersTheAddressAndSkipDoesNot_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("remembered");
        QTest::newRow("next") << QStringLiteral("next") << QStringLiteral("dave@example.com");
        QTest::newRow("skip") << QStringLiteral("skip") << QString();
    }

    void nextRemembersTheAddressAndSkipDoesNot()
    {
        QFETCH(QString, button);
        QFETCH(QString, remembered);
        WindowFixture f(true);
        f.open(f.jobArguments());
        QVERIFY(f.screen<EmailEntry>());
        QVERIFY(shown(f.control<QWidget>(QStringLiteral("preferences"))));
        QTest::keyClicks(f.control<QLineEdit>(QStringLiteral("email")), QStringLiteral("dave@example.com"));
        QTest::mouseClick(f.control<QPushButton>(button), Qt::LeftButton);
        QTRY_VERIFY(f.screen<Upload>());
        QCOMPARE(f.screen<Upload>()->ownerEmail(), remembered);
        QCOMPARE(f.configFiles().parseConfig().owneremail, remembered);
        // Remembered in the user's own file, never in the shared bundle.
        QCOMPARE(QFileInfo::exists(f.root.userConfigFile()), !remembered.isEmpty());
        QVERIFY(!f.root.readText(QStringLiteral("/resources/TavorenClient.plist")).contains(QStringLiteral("dave")));
        // The next job of this installation skips the question.
        if (!remembered.isEmpty())
            QCOMPARE(ViewController::firstScreenIdentifier(f.appDelegate->environment(), {QStringLiteral("a"), QStringLiteral("b")}, f.configFiles().parseConfig()),
                     QStringLiteral("loaderViewController"));
    }

    void typingSwitchesNext_data() { addressRows(); }

    void typingSwitchesNext()
    {
        QFETCH(QString, address);
        QFETCH(bool, valid);
        WindowFixture f(true);
        f.open(f.jobArguments());
        auto *email = f.control<QLineEdit>(QStringLiteral("email"));
        auto *next = f.control<QPushButton>(QStringLiteral("next"));
        QTest::keyClicks(email, address);
        QCOMPARE(next->isEnabled(), valid);
        // Pressed anyway, an invalid address never leaves the screen.
        QTest::keyClick(email, Qt::Key_Return);
        QCOMPARE(f.window->findChildren<CrossfadeSegue *>().size(), valid ? 1 : 0);
        QTRY_COMPARE(f.screen<EmailEntry>() == nullptr, valid);
    }

    void typingSwitchesOkAndApply_data()
    {
        addressRows();
        QTest::newRow("cleared") << QString() << true;
    }

    void typingSwitchesOkAndApply()
    {
        QFETCH(QString, address);
        QFETCH(bool, valid);
        WindowFixture f(true, {}, {{QStringLiteral("owneremail"), QStringLiteral("x@example.com")}});
        f.open({QStringLiteral("/app/client")});
        f.appDelegate->Preferences()->trigger();
        Settings *settings = f.appDelegate->settingsWindow();
        QVERIFY(settings);
        auto *email = settings->findChild<QLineEdit *>(QStringLiteral("email"));
        QCOMPARE(email->text(), QStringLiteral("x@example.com"));
        email->selectAll();
        QTest::keyClick(email, Qt::Key_Backspace);
        QTest::keyClicks(email, address);
        QCOMPARE(settings->findChild<QPushButton *>(QStringLiteral("ok"))->isEnabled(), valid);
        QCOMPARE(settings->findChild<QPushButton *>(QStringLiteral("apply"))->isEnabled(), valid);
    }

    void settingsSaveApplyAndCancel()
    {
        WindowFixture f(true, {}, {{QStringLiteral("owneremail"), QStringLiteral("old@example.com")}});
        f.open({QStringLiteral("/app/client")});
        f.appDelegate->Preferences()->trigger();
        Settings *settings = f.appDelegate->settingsWindow();
        QVERIFY(QTest::qWaitForWindowExposed(settings));
        QTRY_VERIFY(Settings::checkLaunch);
        // One settings window at a time.
        f.appDelegate->openPreferences();
        QCOMPARE(f.appDelegate->settingsWindow(), settings);

        auto *email = settings->findChild<QLineEdit *>(QStringLiteral("email"));
        auto *apply = settings->findChild<QPushButton *>(QStringLiteral("apply"));
        email->clear();
        QTest::keyClicks(email, QStringLiteral("new@example.com"));
        QTest::mouseClick(apply, Qt::LeftButton);
        QCOMPARE(f.configFiles().parseConfig().owneremail, QStringLiteral("new@example.com"));
        QVERIFY(f.root.readText(QStringLiteral("/resources/TavorenClient.plist")).contains(QStringLiteral("old@example.com")));
        QFile userFile(f.root.userConfigFile());
        QVERIFY(userFile.open(QIODevice::ReadOnly));
        QVERIFY(userFile.readAll().contains("new@example.com"));
        QVERIFY(!apply->isEnabled());
        QVERIFY(settings->isVisible());

        // Cancel only closes: what Apply saved stays.
        QTest::keyClicks(email, QStringLiteral("x"));
        QTest::mouseClick(settings->findChild<QPushButton *>(QStringLiteral("cancel")), Qt::LeftButton);
        QTRY_VERIFY(!f.appDelegate->settingsWindow());
        QVERIFY(!Settings::checkLaunch);
        QCOMPARE(f.configFiles().parseConfig().owneremail, QStringLiteral("new@example.com"));

        // A cleared address is saved by OK, and the e-mail question returns.
        f.appDelegate->Preferences()->trigger();
        settings = f.appDelegate->settingsWindow();
        email = settings->findChild<QLineEdit *>(QStringLiteral("email"));
        QCOMPARE(email->text(), QStringLiteral("new@example.com"));
        email->selectAll();
        QTest::keyClick(email, Qt::Key_Backspace);
        QTest::mouseClick(settings->findChild<QPushButton *>(QStringLiteral("ok")), Qt::LeftButton);
        QTRY_VERIFY(!f.appDelegate->settingsWindow());
        QCOMPARE(f.configFiles().parseConfig().owneremail, QString());
        QCOMPARE(f.terminations, 0);
        QCOMPARE(ViewController::firstScreenIdentifier(f.appDelegate->environment(), {QStringLiteral("a"), QStringLiteral("b")}, f.configFiles().parseConfig()),
                 QStringLiteral("emailEntryViewController"));
    }
};

QTEST_MAIN(TestPrivateInstall)
#include "tst_privateinstall.moc"
