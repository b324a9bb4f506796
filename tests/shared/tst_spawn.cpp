// What a spawned child starts with: its descriptors and its signals.
#include "shared/Spawn.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

using tavoren::shared::Spawn;

namespace {
// The exit status of a child started with `spawn`, or -1.
int statusOf(Spawn &spawn, const std::vector<std::string> &arguments)
{
    const auto started = spawn.start(arguments);
    if (!started)
        return -1;
    int status = 0;
    if (::waitpid(*started, &status, 0) != *started || !WIFEXITED(status))
        return -1;
    return WEXITSTATUS(status);
}
} // namespace

class TestSpawn : public QObject
{
    Q_OBJECT

private slots:
    void missingProgramIsAFailure()
    {
        Spawn spawn;
        const auto started = spawn.start({"/nonexistent/program"});
        QVERIFY(!started);
        QCOMPARE(started.error().code, ENOENT);
        QCOMPARE(QString::fromStdString(started.error().subject), QStringLiteral("/nonexistent/program"));
        Spawn none;
        QVERIFY(!none.start({}));
    }

    // Output goes where the file actions put it, error output along with it.
    void outputFollowsTheFileActions()
    {
        QTemporaryDir dir;
        const std::string path = QString(dir.path() + QStringLiteral("/out")).toStdString();
        Spawn spawn;
        spawn.open(STDOUT_FILENO, path.c_str(), O_WRONLY | O_CREAT | O_TRUNC);
        spawn.duplicate(STDOUT_FILENO, STDERR_FILENO);
        QCOMPARE(statusOf(spawn, {"/bin/sh", "-c", "echo out; echo err >&2"}), 0);
        QFile file(QString::fromStdString(path));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("out\nerr\n"));
    }

    // A signal the parent blocks or ignores is back at its default in the
    // child only when reset.
    void signalsStartAtTheirDefaults_data()
    {
        QTest::addColumn<bool>("reset");
        QTest::addColumn<int>("status");
        QTest::newRow("reset: the child dies of it") << true << -1;
        QTest::newRow("kept: the child ignores it") << false << 0;
    }

    void signalsStartAtTheirDefaults()
    {
        QFETCH(bool, reset);
        QFETCH(int, status);
        struct sigaction ignore{};
        ignore.sa_handler = SIG_IGN;
        struct sigaction previous{};
        QVERIFY(::sigaction(SIGUSR2, &ignore, &previous) == 0);
        Spawn spawn;
        if (reset)
            spawn.resetSignals({SIGUSR2});
        const int result = statusOf(spawn, {"/bin/sh", "-c", "kill -USR2 $$; exit 0"});
        ::sigaction(SIGUSR2, &previous, nullptr);
        QCOMPARE(result, status);
    }
};

QTEST_GUILESS_MAIN(TestSpawn)
#include "tst_spawn.moc"
