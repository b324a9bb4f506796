// From the package installer's output to the phases and percentages of the
// progress: the examined line, the phase table, the accumulator, and the
// last two lines of the progress message file.
#include "installer/core/ProgressFile.h"
#include "installer/core/ProgressTracker.h"
#include "installer/core/WorkingFolder.h"
#include "support/TestRoot.h"

#include <QFile>
#include <QTest>

#include <unistd.h>

using namespace tavoren::installer;
using tavoren::testsupport::TestRoot;

class TestProgressTracking : public QObject
{
    Q_OBJECT

private slots:
    void examinedLine_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QString>("examined");
        QTest::newRow("blanks at both ends") << QByteArray(" \tinstaller:PHASE:Writing files\xE2\x80\xA6\n")
                                              << QStringLiteral("installer:PHASE:Writing files\u2026\n");
        QTest::newRow("blanks before the line end stay") << QByteArray("text  \n") << QStringLiteral("text  \n");
        QTest::newRow("blanks at the end without line end") << QByteArray("text \t ") << QStringLiteral("text");
        QTest::newRow("cut at 1023 bytes") << QByteArray(1100, 'x') << QString(1023, QLatin1Char('x'));
        QTest::newRow("a character cut in two") << QByteArray(1022, 'x') + "\xC3\xA9"
                                                 << QString(1022, QLatin1Char('x')) + QChar(0xFFFD);
    }
    void examinedLine()
    {
        QFETCH(QByteArray, line);
        QFETCH(QString, examined);
        QCOMPARE(ProgressTracker::examinedLine(line), examined);
    }

    // One pass of a fresh tracker over one line.
    void pass_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<bool>("installFailed");
        QTest::addColumn<QString>("status");
        QTest::addColumn<int>("percent");
        QTest::addColumn<bool>("sawFailure");
        const QString phase = QStringLiteral("installer:PHASE:");
        const QString status = QStringLiteral("installer:STATUS:");
        const QString dots = QStringLiteral("\u2026\n");
        QTest::newRow("writing files") << phase + QStringLiteral("Writing files") + dots << false
                                       << "PHASE_WriteFiles" << 14 << false;
        QTest::newRow("preparing the disk") << phase + QStringLiteral("Preparing the disk") + dots << false
                                            << "PHASE_PrepareDisk" << 14 << false;
        QTest::newRow("preparing for installation") << phase + QStringLiteral("Preparing for installation") + dots
                                                    << false << "PHASE_PrepareInstall" << 14 << false;
        QTest::newRow("preparing the product") << phase + QStringLiteral("Preparing Corvane Tavoren Driver") + dots
                                               << false << "PHASE_PrepareInstall" << 14 << false;
        QTest::newRow("waiting") << phase + QStringLiteral("Waiting for other installations to complete") + dots
                                 << false << "PHASE_Wait" << 14 << false;
        QTest::newRow("configuring") << phase + QStringLiteral("Configuring the installation") + dots << false
                                     << "PHASE_Configure" << 14 << false;
        QTest::newRow("scripts") << phase + QStringLiteral("Running package scripts") + dots << false
                                 << "PHASE_RunScripts" << 14 << false;
        QTest::newRow("validating") << phase + QStringLiteral("Validating packages") + dots << false
                                    << "PHASE_ValidatePkgs" << 14 << false;
        QTest::newRow("registering") << phase + QStringLiteral("Registering updated applications") + dots << false
                                     << "PHASE_Registering" << 14 << false;
        QTest::newRow("finishing") << phase + QStringLiteral("Finishing the Installation") + dots << false
                                   << "PHASE_FinishInstall" << 14 << false;
        QTest::newRow("moving items") << status + QStringLiteral("Moving items into place") + dots << false
                                      << "PHASE_MovingItems" << 14 << false;
        QTest::newRow("receipts are not files") << status + QStringLiteral("Writing package receipts") + dots << false
                                                << "PHASE_WritingPkg" << 14 << false;
        QTest::newRow("cleaning up") << status + QStringLiteral("Cleaning up") + dots << false << "PHASE_Cleaning"
                                     << 14 << false;
        QTest::newRow("installer actions") << status + QStringLiteral("Running installer actions") + dots << false
                                           << "PHASE_RunInstallActions" << 14 << false;
        QTest::newRow("optimising") << status + QStringLiteral("Optimising system for installed software") + dots
                                    << false << "PHASE_Optimising" << 14 << false;
        QTest::newRow("percentage line") << QStringLiteral("installer:%44.198345\n") << false << "PHASE_RunScripts"
                                         << 14 << false;
        QTest::newRow("unlisted status keeps its line end")
            << status + QStringLiteral("Frobnicating\n") << false << "Frobnicating\n" << 14 << false;
        QTest::newRow("success phase says nothing")
            << phase + QStringLiteral("The software was successfully installed.\n") << false << QString() << 10 << false;
        QTest::newRow("success line says nothing") << QStringLiteral("installer: The install was successful.\n") << false
                                                   << QString() << 10 << false;
        QTest::newRow("empty file") << QString() << false << QString() << 10 << false;
        QTest::newRow("flag set, nothing new") << QString() << true << "InstallFailed" << 14 << false;
        QTest::newRow("install failed, anywhere in the line")
            << QStringLiteral("2026 installer: The install failed. (The disk is full.)\n") << false << "InstallFailed"
            << 14 << true;
        QTest::newRow("upgrade failed") << QStringLiteral("installer: The upgrade failed. (x)\n") << false
                                        << "InstallFailed" << 14 << true;
        QTest::newRow("untrusted certificate")
            << QStringLiteral("installer: Certificate used to sign package is not trusted\n") << false << "InstallFailed"
            << 14 << true;
        QTest::newRow("invalid package path")
            << QStringLiteral("installer: Error - the package path specified was invalid: '/x.pkg'.\n") << false
            << "InstallFailed" << 14 << true;
    }
    void pass()
    {
        QFETCH(QString, line);
        QFETCH(bool, installFailed);
        QFETCH(QString, status);
        QFETCH(int, percent);
        QFETCH(bool, sawFailure);
        ProgressTracker tracker;
        const ProgressTracker::Pass result = tracker.pass(line, installFailed);
        QCOMPARE(result.status, status);
        QCOMPARE(result.percent, percent);
        QCOMPARE(result.sawFailure, sawFailure);
    }

    void repeatedLinesClimbToTheCeiling()
    {
        ProgressTracker tracker;
        const QString line = QStringLiteral("installer:PHASE:Writing files\u2026\n");
        QList<int> percents;
        for (int i = 0; i < 3; ++i)
            percents.append(tracker.pass(line, false).percent);
        QCOMPARE(percents, (QList<int>{14, 18, 22}));
        // Quiet passes hold the value.
        QCOMPARE(tracker.pass(QString(), false).percent, 22);
        int last = 0;
        for (int i = 0; i < 40; ++i) {
            last = tracker.pass(line, false).percent;
            QVERIFY(last <= 88);
        }
        QCOMPARE(last, 88);
        QCOMPARE(tracker.accumulator(), 88.0);
    }

    void installationDone_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<int>("status"); // -2: not a done line
        QTest::newRow("success") << QByteArray("Installation_Done 0\n") << 0;
        QTest::newRow("failure") << QByteArray("Installation_Done 1") << 1;
        QTest::newRow("no number") << QByteArray("Installation_Done\n") << -1;
        QTest::newRow("other line") << QByteArray("installer: The install was successful.\n") << -2;
        QTest::newRow("must begin the line") << QByteArray(" Installation_Done 0\n") << -2;
    }
    void installationDone()
    {
        QFETCH(QByteArray, line);
        QFETCH(int, status);
        QCOMPARE(ProgressTracker::installationDoneStatus(line).value_or(-2), status);
    }

    // As "tail -2 | head -1" and "tail -1" would show them.
    void lastTwoLines_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QByteArray>("secondToLast");
        QTest::addColumn<QByteArray>("last");
        QTest::newRow("empty") << QByteArray() << QByteArray() << QByteArray();
        QTest::newRow("one line") << QByteArray("a\n") << QByteArray("a\n") << QByteArray("a\n");
        QTest::newRow("one line without end") << QByteArray("a") << QByteArray("a") << QByteArray("a");
        QTest::newRow("two lines") << QByteArray("a\nb\n") << QByteArray("a\n") << QByteArray("b\n");
        QTest::newRow("last line unfinished") << QByteArray("a\nb") << QByteArray("a\n") << QByteArray("b");
        QTest::newRow("three lines") << QByteArray("a\nb\nc\n") << QByteArray("b\n") << QByteArray("c\n");
        QTest::newRow("empty last line") << QByteArray("a\n\n") << QByteArray("a\n") << QByteArray("\n");
        QTest::newRow("only line ends") << QByteArray("\n\n\n") << QByteArray("\n") << QByteArray("\n");
    }
    void lastTwoLines()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QByteArray, secondToLast);
        QFETCH(QByteArray, last);
        QByteArray second, final;
        ProgressFile::lastTwoLines(bytes, &second, &final);
        QCOMPARE(second, secondToLast);
        QCOMPARE(final, last);
    }

    // Lines longer than the first bite from the end are read whole; the
    // file is reached through the working folder, never through a link.
    void readsTheFileThroughTheFolder()
    {
        TestRoot root;
        const QString folderPath = root.makeDir(QStringLiteral("/var/tmp/kyr"));
        const auto folder = WorkingFolder::open(folderPath.toStdString());
        QVERIFY(folder);

        QVERIFY(!ProgressFile::read(*folder, "progress.log").exists);
        const QByteArray longLine = "installer:PHASE:" + QByteArray(20000, 'w') + '\n';
        root.writeFile(QStringLiteral("/var/tmp/kyr/progress.log"), "first\n" + longLine + "Installation_Done 0\n");
        ProgressFile::Tail tail = ProgressFile::read(*folder, "progress.log");
        QVERIFY(tail.exists);
        QCOMPARE(tail.secondToLast, longLine);
        QCOMPARE(tail.last, QByteArray("Installation_Done 0\n"));

    }

    // What another user may put in the shared folder under the file's name
    // says nothing: it counts as no progress file at all.
    void plantedFilesAreNoProgress_data()
    {
        QTest::addColumn<QString>("planted");
        QTest::newRow("a link") << QStringLiteral("link");
        QTest::newRow("a hard link") << QStringLiteral("hard link");
        QTest::newRow("another user's file") << QStringLiteral("foreign");
    }
    void plantedFilesAreNoProgress()
    {
        QFETCH(QString, planted);
        if (planted != QLatin1String("link") && ::geteuid() != 0)
            QSKIP("planting as another user needs root");
        TestRoot root;
        const QString folderPath = root.makeDir(QStringLiteral("/var/tmp/kyr"));
        const auto folder = WorkingFolder::open(folderPath.toStdString());
        QVERIFY(folder);
        const QString forged = root.writeFile(QStringLiteral("/elsewhere.log"), "a\nInstallation_Done 0\n");
        const QString name = folderPath + QStringLiteral("/progress.log");
        if (planted == QLatin1String("link")) {
            QVERIFY(QFile::link(forged, name));
        } else if (planted == QLatin1String("hard link")) {
            QVERIFY(::link(QFile::encodeName(forged).constData(), QFile::encodeName(name).constData()) == 0);
        } else {
            QVERIFY(QFile::copy(forged, name));
            QVERIFY(::chown(QFile::encodeName(name).constData(), 65534, 65534) == 0);
        }
        const ProgressFile::Tail tail = ProgressFile::read(*folder, "progress.log");
        QVERIFY(!tail.exists);
        QVERIFY(tail.last.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestProgressTracking)
#include "tst_progresstracking.moc"
