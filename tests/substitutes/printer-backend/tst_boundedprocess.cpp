// Work run in a child bounded in memory: what comes back, however it ends.
#include "printer-backend/BoundedProcess.h"

#include <QTest>

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <unistd.h>
#include <vector>

using tavoren::printerbackend::BoundedProcess;
using tavoren::printerbackend::Cancellation;

Q_DECLARE_METATYPE(BoundedProcess::End)

namespace {
constexpr std::uint64_t mebibyte = 1024 * 1024;

// Memory the child really takes, page by page.
std::string touch(std::size_t bytes)
{
    std::vector<char> block(bytes);
    for (std::size_t at = 0; at < block.size(); at += 4096)
        block[at] = char(at);
    return "held " + std::to_string(block.size());
}
} // namespace

class TestBoundedProcess : public QObject
{
    Q_OBJECT

private slots:
    void ends_data()
    {
        QTest::addColumn<QString>("work");
        QTest::addColumn<BoundedProcess::End>("end");
        QTest::addColumn<QByteArray>("report");
        using E = BoundedProcess::End;
        QTest::newRow("report") << QStringLiteral("report") << E::Reported << QByteArray("done");
        QTest::newRow("long report cut") << QStringLiteral("long") << E::Reported
                                         << QByteArray(int(BoundedProcess::maximumReport), 'r');
        // The bound counts from what the process already has, however much
        // that is (this one has the test framework loaded).
        QTest::newRow("within the bound") << QStringLiteral("within") << E::Reported << QByteArray("held 33554432");
        QTest::newRow("beyond the bound") << QStringLiteral("beyond") << E::OutOfMemory << QByteArray();
        QTest::newRow("crash") << QStringLiteral("crash") << E::Crashed << QByteArray();
        QTest::newRow("escaped exception") << QStringLiteral("throw") << E::Failed << QByteArray();
        QTest::newRow("cancelled while running") << QStringLiteral("cancel") << E::Cancelled << QByteArray();
    }

    void ends()
    {
        QFETCH(QString, work);
        QFETCH(BoundedProcess::End, end);
        QFETCH(QByteArray, report);
        if (!BoundedProcess::boundsMemory && (work == QStringLiteral("beyond") || work == QStringLiteral("within")))
            QSKIP("no address-space bound in a sanitizer build");
        int cancel[2];
        QVERIFY(::pipe2(cancel, O_CLOEXEC) == 0);
        const int cancelWrite = cancel[1];
        const BoundedProcess process(64 * mebibyte, Cancellation(cancel[0]));
        const BoundedProcess::Outcome outcome = process.run([&]() -> std::string {
            if (work == QStringLiteral("long"))
                return std::string(2 * BoundedProcess::maximumReport, 'r');
            if (work == QStringLiteral("within"))
                return touch(32 * mebibyte);
            if (work == QStringLiteral("beyond"))
                return touch(128 * mebibyte);
            if (work == QStringLiteral("crash")) {
                // Without the test framework's handler, which would report a crash of its own.
                std::signal(SIGABRT, SIG_DFL);
                std::abort();
            }
            if (work == QStringLiteral("throw"))
                throw std::runtime_error("escaped");
            if (work == QStringLiteral("cancel")) {
                // Asked for from inside, so the backend is surely waiting.
                [[maybe_unused]] const ssize_t written = ::write(cancelWrite, "x", 1);
                for (;;)
                    ::pause();
            }
            return "done";
        });
        ::close(cancel[0]);
        ::close(cancel[1]);
        QCOMPARE(outcome.end, end);
        QCOMPARE(QByteArray::fromStdString(outcome.report), report);
        QCOMPARE(outcome.detail.empty(), end == BoundedProcess::End::Reported || end == BoundedProcess::End::Cancelled);
        QVERIFY(outcome.peakKiB > 0);
    }

    // Requested before, nothing runs.
    void cancelledBefore()
    {
        int cancel[2];
        QVERIFY(::pipe2(cancel, O_CLOEXEC) == 0);
        QCOMPARE(::write(cancel[1], "x", 1), ssize_t(1));
        const BoundedProcess::Outcome outcome = BoundedProcess(64 * mebibyte, Cancellation(cancel[0])).run([] {
            return std::string("done");
        });
        ::close(cancel[0]);
        ::close(cancel[1]);
        QCOMPARE(outcome.end, BoundedProcess::End::Cancelled);
        // No child was waited for.
        QCOMPARE(outcome.peakKiB, 0L);
    }
};

QTEST_GUILESS_MAIN(TestBoundedProcess)
#include "tst_boundedprocess.moc"
