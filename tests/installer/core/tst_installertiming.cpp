// The installer's waits as the environment sets them: whole numbers from 0
// up to a year, anything else keeps the default. A huge limit must not wrap
// the clock's count and end an installation at once as stalled.
#include "installer/core/InstallerTiming.h"

#include <QTest>

#include <cstdlib>

using tavoren::installer::InstallerTiming;

namespace {
constexpr const char *variables[] = {"TAVOREN_INSTALLER_POLL_MS", "TAVOREN_INSTALLER_WAIT_MS",
                                     "TAVOREN_INSTALLER_STALL_SECONDS", "TAVOREN_INSTALLER_REPLY_SECONDS"};
const InstallerTiming defaults;
} // namespace

class TestInstallerTiming : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        for (const char *variable : variables)
            ::unsetenv(variable);
    }
    void cleanup() { init(); }

    void fromEnvironment_data()
    {
        QTest::addColumn<QByteArray>("variable");
        QTest::addColumn<QByteArray>("value");
        // What each setting reads as, in milliseconds: poll, wait, pause after a removal, stall, reply.
        QTest::addColumn<QList<qlonglong>>("read");
        const qlonglong poll = defaults.pollInterval.count();
        const qlonglong wait = defaults.missingProgressFileWait.count();
        const qlonglong pause = defaults.uninstallCompletePause.count();
        const qlonglong stall = defaults.stallTimeout.count() * 1000;
        const qlonglong reply = defaults.helperReplyTimeout.count() * 1000;
        const qlonglong year = 365LL * 24 * 3600;
        QTest::newRow("poll") << QByteArray("TAVOREN_INSTALLER_POLL_MS") << QByteArray("5")
                              << QList<qlonglong>{5, wait, pause, stall, reply};
        QTest::newRow("no wait") << QByteArray("TAVOREN_INSTALLER_WAIT_MS") << QByteArray("0")
                                 << QList<qlonglong>{poll, 0, 0, stall, reply};
        QTest::newRow("stall") << QByteArray("TAVOREN_INSTALLER_STALL_SECONDS") << QByteArray("1")
                               << QList<qlonglong>{poll, wait, pause, 1000, reply};
        QTest::newRow("stall of a year") << QByteArray("TAVOREN_INSTALLER_STALL_SECONDS") << QByteArray::number(year)
                                         << QList<qlonglong>{poll, wait, pause, year * 1000, reply};
        QTest::newRow("stall beyond a year") << QByteArray("TAVOREN_INSTALLER_STALL_SECONDS")
                                             << QByteArray::number(year + 1)
                                             << QList<qlonglong>{poll, wait, pause, stall, reply};
        QTest::newRow("stall past the clock's count") << QByteArray("TAVOREN_INSTALLER_STALL_SECONDS")
                                                      << QByteArray("10000000000")
                                                      << QList<qlonglong>{poll, wait, pause, stall, reply};
        QTest::newRow("reply past the clock's count") << QByteArray("TAVOREN_INSTALLER_REPLY_SECONDS")
                                                      << QByteArray("9223372036854775807")
                                                      << QList<qlonglong>{poll, wait, pause, stall, reply};
        QTest::newRow("negative") << QByteArray("TAVOREN_INSTALLER_POLL_MS") << QByteArray("-1")
                                  << QList<qlonglong>{poll, wait, pause, stall, reply};
        QTest::newRow("not a number") << QByteArray("TAVOREN_INSTALLER_REPLY_SECONDS") << QByteArray("soon")
                                      << QList<qlonglong>{poll, wait, pause, stall, reply};
        QTest::newRow("empty") << QByteArray("TAVOREN_INSTALLER_WAIT_MS") << QByteArray()
                               << QList<qlonglong>{poll, wait, pause, stall, reply};
    }

    void fromEnvironment()
    {
        QFETCH(QByteArray, variable);
        QFETCH(QByteArray, value);
        QFETCH(QList<qlonglong>, read);
        ::setenv(variable.constData(), value.constData(), 1);
        const InstallerTiming timing = InstallerTiming::fromEnvironment();
        using std::chrono::milliseconds;
        const QList<qlonglong> actual{timing.pollInterval.count(), timing.missingProgressFileWait.count(),
                                      timing.uninstallCompletePause.count(),
                                      std::chrono::duration_cast<milliseconds>(timing.stallTimeout).count(),
                                      std::chrono::duration_cast<milliseconds>(timing.helperReplyTimeout).count()};
        QCOMPARE(actual, read);
    }
};

QTEST_GUILESS_MAIN(TestInstallerTiming)
#include "tst_installertiming.moc"
