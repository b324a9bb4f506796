// Held jobs' markers and how long a held job waits: the marker folder as
// other users may have prepared it, the administrator's setting however it
// is written, and what the scheduler is asked to do.
#include "printer-backend/HeldJobExpiry.h"
#include "printer-backend/HeldJobs.h"
#include "printer-backend/JobScheduler.h"
#include "shared/HandOff.h"
#include "shared/InstalledPaths.h"
#include "shared/SystemPath.h"

#include "support/PlistWriter.h"
#include "support/TestRoot.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

using tavoren::printerbackend::HeldJobExpiry;
using tavoren::printerbackend::HeldJobs;
using tavoren::printerbackend::JobScheduler;
using tavoren::shared::HandOff;
using tavoren::testsupport::PlistWriter;
using tavoren::testsupport::TestRoot;

namespace {
constexpr long day = 24 * 60 * 60;

// Answers from a table and records what it is asked.
class FakeScheduler final : public JobScheduler
{
public:
    std::string description() const override { return "the fake scheduler"; }
    tavoren::shared::Expected<Listing> unfinishedJobs(const std::string &queue) override
    {
        ++listings;
        queues.push_back(queue);
        if (listingFailure)
            return tavoren::shared::Error::because("ask", "the fake scheduler", *listingFailure);
        return Listing{jobs, complete};
    }
    tavoren::shared::Expected<void> cancel(const std::string &queue, int jobId) override
    {
        queues.push_back(queue);
        cancelled.push_back(jobId);
        if (cancelFailure)
            return tavoren::shared::Error::because("cancel", "the fake scheduler", *cancelFailure);
        return {};
    }

    std::vector<Job> jobs;
    bool complete = true;
    std::optional<std::string> listingFailure;
    std::optional<std::string> cancelFailure;
    int listings = 0;
    QList<int> cancelled;
    std::vector<std::string> queues;
};

QString heldFolder(const TestRoot &root)
{
    return root.system(QString::fromLatin1(HandOff::heldJobsFolder));
}

QString adminFile(const TestRoot &root)
{
    return root.system(QString::fromLatin1(tavoren::shared::InstalledPaths::adminFile));
}

// A marker `age` seconds old, as an earlier hold left it.
bool placeMarker(const TestRoot &root, int jobId, long age)
{
    const HeldJobs held(HeldJobs::folderInForce());
    return held.hold(std::to_string(jobId)) && TestRoot::setTimesBack(heldFolder(root) + QLatin1Char('/') + QString::number(jobId), age);
}

QStringList markerNames(const TestRoot &root)
{
    return QDir(heldFolder(root)).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
}

QByteArray adminWith(const QVariant &days)
{
    QVariantMap entries = PlistWriter::adminDefaults();
    entries.insert(QString::fromLatin1(HandOff::heldJobDaysKey), days);
    return PlistWriter::xml(entries);
}

struct Run
{
    HeldJobExpiry::Result result;
    QStringList log;
};

Run expire(FakeScheduler &scheduler)
{
    Run run;
    const HeldJobs held(HeldJobs::folderInForce());
    const auto log = [&run](const std::string &line) { run.log << QString::fromStdString(line); };
    run.result = HeldJobExpiry(held, scheduler, HandOff::queueName, tavoren::shared::SystemPath::resolve(tavoren::shared::InstalledPaths::adminFile), log).run();
    return run;
}

uid_t nobody()
{
    const passwd *entry = ::getpwnam("nobody");
    return entry ? entry->pw_uid : uid_t(-1);
}
} // namespace

class TestHeldJobExpiry : public QObject
{
    Q_OBJECT

private slots:
    // Root's folder and file, whatever was in their place; the first
    // hold's time stays.
    void markerFolder_data()
    {
        QTest::addColumn<QString>("before");
        QTest::newRow("nothing") << QString();
        QTest::newRow("a link to another folder") << QStringLiteral("link");
        QTest::newRow("another user's folder") << QStringLiteral("foreign");
        QTest::newRow("a file") << QStringLiteral("file");
        QTest::newRow("a link in the marker's place") << QStringLiteral("marker link");
        QTest::newRow("a folder in the marker's place") << QStringLiteral("marker folder");
        QTest::newRow("held before") << QStringLiteral("held");
    }

    void markerFolder()
    {
        QFETCH(QString, before);
        TestRoot root;
        const QString folder = heldFolder(root);
        const QString elsewhere = root.makeDir(QStringLiteral("/elsewhere"));
        const QByteArray folderPath = QFile::encodeName(folder);
        const bool asRoot = ::geteuid() == 0;
        if (!asRoot && (before == QStringLiteral("link") || before == QStringLiteral("foreign") || before == QStringLiteral("file")))
            QSKIP("only root's backend replaces what is in the folder's place");
        if (before == QStringLiteral("link")) {
            QVERIFY(QFile::link(elsewhere, folder));
        } else if (before == QStringLiteral("foreign")) {
            QVERIFY(QDir().mkpath(folder));
            root.writeFile(QString::fromLatin1(HandOff::heldJobsFolder) + QStringLiteral("/42"), "planted");
            QVERIFY(::chown(folderPath.constData(), nobody(), 0) == 0 && ::chmod(folderPath.constData(), 0777) == 0);
        } else if (before == QStringLiteral("file")) {
            root.writeFile(QString::fromLatin1(HandOff::heldJobsFolder), "x");
        } else if (before == QStringLiteral("marker link")) {
            QVERIFY(QDir().mkpath(folder));
            QVERIFY(QFile::link(elsewhere + QStringLiteral("/target"), folder + QStringLiteral("/42")));
        } else if (before == QStringLiteral("marker folder")) {
            QVERIFY(QDir().mkpath(folder + QStringLiteral("/42/inner")));
        } else if (before == QStringLiteral("held")) {
            QVERIFY(placeMarker(root, 42, 3 * day));
        }

        const HeldJobs held(HeldJobs::folderInForce());
        const auto marked = held.hold("42");
        QVERIFY2(marked, marked ? "" : marked.error().description().c_str());

        struct stat status{};
        QVERIFY(::lstat(folderPath.constData(), &status) == 0);
        QVERIFY(S_ISDIR(status.st_mode));
        QCOMPARE(status.st_uid, ::geteuid());
        QCOMPARE(status.st_mode & 07777, mode_t(0755));
        QVERIFY(::lstat(QFile::encodeName(folder + QStringLiteral("/42")).constData(), &status) == 0);
        QVERIFY(S_ISREG(status.st_mode));
        QCOMPARE(status.st_uid, ::geteuid());
        QCOMPARE(status.st_mode & 07777, mode_t(0644));
        QCOMPARE(status.st_size, off_t(0));
        const long age = long(std::time(nullptr) - status.st_mtim.tv_sec);
        if (before == QStringLiteral("held"))
            QVERIFY2(age >= 3 * day && age < 3 * day + 600, qPrintable(QString::number(age)));
        else
            QVERIFY2(age < 600, qPrintable(QString::number(age)));
        // What a link led to is as it was.
        QCOMPARE(QDir(elsewhere).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());

        const auto markers = held.markers();
        QVERIFY(markers);
        QCOMPARE(markers->size(), std::size_t(1));
        QCOMPARE(markers->front().jobId, 42);
        QVERIFY(held.release("42"));
        QCOMPARE(markerNames(root), QStringList());
        // Releasing what is not held is no failure.
        QVERIFY(held.release("42"));
    }

    // How long held jobs wait, however the administrator's file is written:
    // a job held `age` seconds is given up or kept.
    void expiry_data()
    {
        QTest::addColumn<QString>("kind"); // how the file is laid out
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<long>("age");
        QTest::addColumn<bool>("cancelled");
        QTest::addColumn<bool>("defaulted"); // the default applies, and the log says why
        const QByteArray one = adminWith(1);
        const QByteArray none;
        QTest::newRow("no file, older than the default") << QStringLiteral("absent") << none << 7 * day + 3600 << true << true;
        QTest::newRow("no file, younger than the default") << QStringLiteral("absent") << none << 7 * day - 3600 << false << true;
        QTest::newRow("2 days, held 3") << QStringLiteral("file") << adminWith(2) << 3 * day << true << false;
        QTest::newRow("2 days, held 1") << QStringLiteral("file") << adminWith(2) << 1 * day << false << false;
        QTest::newRow("30 days, held 8") << QStringLiteral("file") << adminWith(30) << 8 * day << false << false;
        QTest::newRow("binary, 2 days, held 3") << QStringLiteral("file")
            << PlistWriter::binary({{QString::fromLatin1(HandOff::heldJobDaysKey), 2}}) << 3 * day << true << false;
        QTest::newRow("no key, held 8") << QStringLiteral("file") << PlistWriter::xml(PlistWriter::adminDefaults()) << 8 * day << true << true;
        // Taken as written, 0 or less would give up every held job at once.
        QTest::newRow("zero, held 1") << QStringLiteral("file") << adminWith(0) << 1 * day << false << true;
        QTest::newRow("negative, held 1") << QStringLiteral("file") << adminWith(-1) << 1 * day << false << true;
        QTest::newRow("a text, held 2") << QStringLiteral("file") << adminWith(QStringLiteral("1")) << 2 * day << false << true;
        QTest::newRow("damaged, held 2") << QStringLiteral("file") << one.left(one.indexOf("</dict>")) << 2 * day << false << true;
        QTest::newRow("nested too deep, held 2") << QStringLiteral("file")
            << QByteArray("<plist><dict><key>heldjobdays</key><integer>1</integer><key>deep</key>" + QByteArray("<array>").repeated(40)
                          + QByteArray("</array>").repeated(40) + "</dict></plist>")
            << 2 * day << false << true;
        QTest::newRow("over 1 MiB, held 2") << QStringLiteral("file")
            << adminWith(1).replace(QByteArray("<dict>\n"), QByteArray("<dict>\n\t<key>padding</key>\n\t<string>" + QByteArray(1 << 20, 'p') + "</string>\n"))
            << 2 * day << false << true;
        QTest::newRow("a link, held 2") << QStringLiteral("link") << one << 2 * day << false << true;
        QTest::newRow("a FIFO, held 2") << QStringLiteral("fifo") << none << 2 * day << false << true;
        QTest::newRow("not root's, held 2") << QStringLiteral("foreign") << one << 2 * day << false << true;
    }

    void expiry()
    {
        QFETCH(QString, kind);
        QFETCH(QByteArray, content);
        QFETCH(long, age);
        QFETCH(bool, cancelled);
        QFETCH(bool, defaulted);
        TestRoot root;
        const QString admin = adminFile(root);
        if (kind == QStringLiteral("file") || kind == QStringLiteral("foreign")) {
            root.writeFile(QString::fromLatin1(tavoren::shared::InstalledPaths::adminFile), content);
        } else if (kind == QStringLiteral("link")) {
            QVERIFY(QFile::link(root.writeFile(QStringLiteral("/elsewhere/admin.plist"), content), admin));
        } else if (kind == QStringLiteral("fifo")) {
            QVERIFY(::mkfifo(QFile::encodeName(admin).constData(), 0644) == 0);
        }
        if (kind == QStringLiteral("foreign")) {
            if (::geteuid() != 0)
                QSKIP("only root can give the file to another user");
            QVERIFY(::chown(QFile::encodeName(admin).constData(), nobody(), 0) == 0);
        }
        QVERIFY(placeMarker(root, 7, age));
        FakeScheduler scheduler;
        scheduler.jobs = {{7, HeldJobExpiry::heldState}, {42, "processing"}};

        const Run run = expire(scheduler);
        QVERIFY(run.result.checked);
        QCOMPARE(scheduler.cancelled, cancelled ? QList<int>{7} : QList<int>{});
        QCOMPARE(markerNames(root), cancelled ? QStringList() : QStringList{QStringLiteral("7")});
        for (const std::string &queue : scheduler.queues)
            QCOMPARE(queue, std::string(HandOff::queueName));
        // Whatever kept the setting from being used is on the log.
        QCOMPARE(run.log.filter(QStringLiteral("; held jobs wait 7 days")).size(), qsizetype(defaulted ? 1 : 0));
    }

    // Only a held job is given up; one on its way to a backend is left to it.
    void onlyHeldJobsAreCancelled_data()
    {
        QTest::addColumn<QString>("state");
        QTest::addColumn<bool>("cancelled");
        QTest::newRow("held") << QStringLiteral("pending-held") << true;
        QTest::newRow("released, waiting") << QStringLiteral("pending") << false;
        QTest::newRow("printing") << QStringLiteral("processing") << false;
    }

    void onlyHeldJobsAreCancelled()
    {
        QFETCH(QString, state);
        QFETCH(bool, cancelled);
        TestRoot root;
        QVERIFY(placeMarker(root, 7, 30 * day));
        FakeScheduler scheduler;
        scheduler.jobs = {{7, state.toStdString()}};
        expire(scheduler);
        QCOMPARE(scheduler.cancelled, cancelled ? QList<int>{7} : QList<int>{});
        QCOMPARE(markerNames(root).isEmpty(), cancelled);
    }

    // A marker whose job the scheduler no longer has goes, unless the list
    // could not say so.
    void markersOfJobsGone_data()
    {
        QTest::addColumn<bool>("complete");
        QTest::newRow("every job listed") << true;
        QTest::newRow("more jobs than listed") << false;
    }

    void markersOfJobsGone()
    {
        QFETCH(bool, complete);
        TestRoot root;
        QVERIFY(placeMarker(root, 5, 1 * day));
        QVERIFY(placeMarker(root, 6, 1 * day));
        FakeScheduler scheduler;
        scheduler.jobs = {{6, HeldJobExpiry::heldState}};
        scheduler.complete = complete;
        const Run run = expire(scheduler);
        QCOMPARE(scheduler.cancelled, QList<int>());
        QCOMPARE(run.result.removed, std::size_t(complete ? 1 : 0));
        QCOMPARE(markerNames(root), complete ? QStringList{QStringLiteral("6")} : (QStringList{QStringLiteral("5"), QStringLiteral("6")}));
    }

    // A scheduler that cannot be asked, or refuses, changes nothing: the
    // next run tries again.
    void schedulerFailures_data()
    {
        QTest::addColumn<bool>("listingFails");
        QTest::newRow("cannot be reached") << true;
        QTest::newRow("refuses the cancel") << false;
    }

    void schedulerFailures()
    {
        QFETCH(bool, listingFails);
        TestRoot root;
        QVERIFY(placeMarker(root, 5, 30 * day));
        QVERIFY(placeMarker(root, 6, 30 * day));
        FakeScheduler scheduler;
        scheduler.jobs = {{6, HeldJobExpiry::heldState}};
        if (listingFails)
            scheduler.listingFailure = "no socket: No such file or directory";
        else
            scheduler.cancelFailure = "Not authorized";
        const Run run = expire(scheduler);
        QCOMPARE(run.result.checked, !listingFails);
        QCOMPARE(run.result.cancelled, std::size_t(0));
        QCOMPARE(scheduler.cancelled, listingFails ? QList<int>() : QList<int>{6});
        // 5 is gone from a list that was had.
        QCOMPARE(markerNames(root), listingFails ? (QStringList{QStringLiteral("5"), QStringLiteral("6")}) : QStringList{QStringLiteral("6")});
        const QString why = listingFails ? QStringLiteral("Held jobs not checked: the fake scheduler: no socket")
                                         : QStringLiteral("Job 6 held longer than 7 days, not cancelled: Not authorized");
        QVERIFY2(run.log.filter(why).size() == 1, qPrintable(run.log.join(u'\n')));
    }

    // With nothing held the scheduler is not bothered.
    void nothingHeld()
    {
        TestRoot root;
        FakeScheduler scheduler;
        const Run run = expire(scheduler);
        QCOMPARE(scheduler.listings, 0);
        QVERIFY(!run.result.checked);
        QVERIFY(run.log.isEmpty());
        // Nor with a folder of someone else's, which only a hold replaces.
        if (::geteuid() == 0) {
            const QByteArray folder = QFile::encodeName(root.makeDir(QString::fromLatin1(HandOff::heldJobsFolder)));
            root.writeFile(QString::fromLatin1(HandOff::heldJobsFolder) + QStringLiteral("/9"), QByteArray());
            QVERIFY(::chown(folder.constData(), nobody(), 0) == 0);
            const Run foreign = expire(scheduler);
            QCOMPARE(scheduler.listings, 0);
            QCOMPARE(foreign.log.filter(QStringLiteral("Held jobs not checked")).size(), qsizetype(1));
        }
    }
};

QTEST_GUILESS_MAIN(TestHeldJobExpiry)
#include "tst_heldjobexpiry.moc"
