// One cleaning pass over a spool root on disk.
#include "agent/AgentConstants.h"
#include "agent/SpoolCleaner.h"

#include "support/TestRoot.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>

#include <pwd.h>
#include <set>
#include <unistd.h>

using tavoren::agent::SpoolCleaner;
using tavoren::testsupport::TestRoot;

namespace {
const long old = tavoren::agent::JOB_FOLDER_GRACE_SECONDS + 60;

// ".DS_Store" is made a file; any other entry a job folder with a file and a
// subfolder with a file, older than the grace period unless its name ends
// in "*" (which is dropped).
void layOut(const QString &root, const QStringList &entries)
{
    for (QString entry : entries) {
        const bool fresh = entry.endsWith(QLatin1Char('*'));
        if (fresh)
            entry.chop(1);
        const QString path = root + QLatin1Char('/') + entry;
        if (entry == QStringLiteral(".DS_Store")) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            continue;
        }
        QVERIFY(QDir().mkpath(path + QStringLiteral("/pages")));
        QFile file(path + QStringLiteral("/job.pdf"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("%PDF-1.4");
        QFile inner(path + QStringLiteral("/pages/1"));
        QVERIFY(inner.open(QIODevice::WriteOnly));
        QVERIFY(fresh || TestRoot::setTimesBack(path, old));
    }
}

QStringList entriesOf(const QString &root)
{
    QStringList names = QDir(root).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    names.sort();
    return names;
}
} // namespace

class TestSpoolCleaner : public QObject
{
    Q_OBJECT

private slots:
    void jobFolderName_data()
    {
        QTest::addColumn<QString>("argument");
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("named");
        QTest::newRow("job file") << "Report.pdf:: ::/spool/job17/Report.pdf" << "job17" << true;
        QTest::newRow("third piece ignored") << "R:: ::/spool/job17/R.pdf:: ::/x/y/z" << "job17" << true;
        QTest::newRow("no separator") << "/spool/job17/Report.pdf" << QString() << false;
        QTest::newRow("empty path") << "Report.pdf:: ::" << QString() << false;
        QTest::newRow("empty record") << QString() << QString() << false;
        QTest::newRow("file without folder") << "R:: ::R.pdf" << QString() << true;
        QTest::newRow("file in the file system root") << "R:: ::/R.pdf" << QString() << true;
        QTest::newRow("trailing slash") << "R:: ::/spool/job17/R.pdf/" << "job17" << true;
    }

    void jobFolderName()
    {
        QFETCH(QString, argument);
        QFETCH(QString, name);
        QFETCH(bool, named);
        const auto result = SpoolCleaner::jobFolderName(argument.toStdString());
        QCOMPARE(result.has_value(), named);
        if (named)
            QCOMPARE(QString::fromStdString(*result), name);
    }

    void pass_data()
    {
        QTest::addColumn<QStringList>("entries");
        QTest::addColumn<QStringList>("kept");
        QTest::addColumn<QStringList>("left");
        QTest::addColumn<int>("removed");
        QTest::newRow("keeps the current job and .DS_Store")
            << QStringList{QStringLiteral("job12"), QStringLiteral("job17"), QStringLiteral(".DS_Store")}
            << QStringList{QStringLiteral("job17")}
            << QStringList{QStringLiteral(".DS_Store"), QStringLiteral("job17")} << 1;
        QTest::newRow("current job folder already gone")
            << QStringList{QStringLiteral("job12"), QStringLiteral("job13")} << QStringList{QStringLiteral("job17")}
            << QStringList() << 2;
        QTest::newRow("several kept")
            << QStringList{QStringLiteral("job1"), QStringLiteral("job2"), QStringLiteral("job3")}
            << QStringList{QStringLiteral("job1"), QStringLiteral("job3")}
            << QStringList{QStringLiteral("job1"), QStringLiteral("job3")} << 1;
        QTest::newRow("hidden job folder") << QStringList{QStringLiteral(".job9")} << QStringList{QStringLiteral("job17")}
                                           << QStringList() << 1;
        QTest::newRow("empty root") << QStringList() << QStringList{QStringLiteral("job17")} << QStringList() << 0;
        // Written by the backend, not yet in the record.
        QTest::newRow("folder within the grace period")
            << QStringList{QStringLiteral("job12"), QStringLiteral("job18*")} << QStringList{QStringLiteral("job17")}
            << QStringList{QStringLiteral("job18")} << 1;
    }

    void pass()
    {
        QFETCH(QStringList, entries);
        QFETCH(QStringList, kept);
        QFETCH(QStringList, left);
        QFETCH(int, removed);
        TestRoot root;
        layOut(root.spoolRoot(), entries);
        std::set<std::string> keptNames;
        for (const QString &name : kept)
            keptNames.insert(name.toStdString());
        SpoolCleaner cleaner(root.spoolRoot().toStdString());
        const auto result = cleaner.run(keptNames);
        QVERIFY2(result, result ? "" : result.error().description().c_str());
        QCOMPARE(int(cleaner.removedFolders()), removed);
        QCOMPARE(entriesOf(root.spoolRoot()), left);
        for (const QString &name : left) {
            if (name != QStringLiteral(".DS_Store"))
                QVERIFY(QFileInfo::exists(root.spoolRoot() + QLatin1Char('/') + name + QStringLiteral("/pages/1")));
        }
    }

    // Links inside a job folder go, what they point at stays.
    void linksInsideAJobAreNotFollowed()
    {
        TestRoot root;
        const QString outside = root.makeDir(QStringLiteral("/home/alice/Documents"));
        QFile precious(outside + QStringLiteral("/thesis.tex"));
        QVERIFY(precious.open(QIODevice::WriteOnly));
        precious.close();
        layOut(root.spoolRoot(), {QStringLiteral("job12")});
        const QString job = root.spoolRoot() + QStringLiteral("/job12");
        QVERIFY(QFile::link(outside, job + QStringLiteral("/documents")));
        QVERIFY(QFile::link(outside + QStringLiteral("/thesis.tex"), job + QStringLiteral("/pages/thesis.tex")));
        QVERIFY(TestRoot::setTimesBack(job, old));

        SpoolCleaner cleaner(root.spoolRoot().toStdString());
        const auto result = cleaner.run({QStringLiteral("job17").toStdString()});
        QVERIFY(result);
        QCOMPARE(int(cleaner.removedFolders()), 1);
        QVERIFY(!QFileInfo::exists(job));
        QVERIFY(QFileInfo::exists(outside + QStringLiteral("/thesis.tex")));
    }

    // An entry of the root that is not a folder ends the pass with its
    // error; a link to a folder outside is such an entry and is never entered.
    void entryThatIsNoFolderEndsThePass_data()
    {
        QTest::addColumn<bool>("link");
        QTest::newRow("plain file") << false;
        QTest::newRow("link to a folder outside") << true;
    }

    void entryThatIsNoFolderEndsThePass()
    {
        QFETCH(bool, link);
        TestRoot root;
        const QString outside = root.makeDir(QStringLiteral("/home/alice"));
        QFile precious(outside + QStringLiteral("/keep.txt"));
        QVERIFY(precious.open(QIODevice::WriteOnly));
        precious.close();
        const QString entry = root.spoolRoot() + QStringLiteral("/stray");
        if (link) {
            QVERIFY(QFile::link(outside, entry));
        } else {
            QFile file(entry);
            QVERIFY(file.open(QIODevice::WriteOnly));
        }
        SpoolCleaner cleaner(root.spoolRoot().toStdString());
        const auto result = cleaner.run({QStringLiteral("job17").toStdString()});
        QVERIFY(!result);
        QCOMPARE(QString::fromStdString(result.error().description()),
                 QStringLiteral("Could not list \"") + entry + QStringLiteral("\": Not a directory"));
        QVERIFY(QFileInfo::exists(outside + QStringLiteral("/keep.txt")));
        QVERIFY(QFileInfo(entry).isSymLink() == link);
        QVERIFY(QFileInfo::exists(entry));
    }

    // A root that is missing, or a link (whatever it leads to), is a failure
    // and nothing is removed.
    void unusableRootIsAFailure_data()
    {
        QTest::addColumn<bool>("link");
        QTest::addColumn<QString>("reason"); // empty: no failure
        // No job was ever spooled: nothing to clean, nothing to say.
        QTest::newRow("missing") << false << QString();
        QTest::newRow("link to a folder with old job folders") << true << QStringLiteral("Not a directory");
    }

    void unusableRootIsAFailure()
    {
        QFETCH(bool, link);
        QFETCH(QString, reason);
        TestRoot root;
        QVERIFY(QDir(root.spoolRoot()).removeRecursively());
        const QString elsewhere = root.makeDir(QStringLiteral("/elsewhere"));
        layOut(elsewhere, {QStringLiteral("job12")});
        if (link)
            QVERIFY(QFile::link(elsewhere, root.spoolRoot()));
        SpoolCleaner cleaner(root.spoolRoot().toStdString());
        const auto result = cleaner.run({"job17"});
        QCOMPARE(!result, !reason.isEmpty());
        if (!result)
            QCOMPARE(QString::fromStdString(result.error().description()),
                     QStringLiteral("Could not list \"") + root.spoolRoot() + QStringLiteral("\": ") + reason);
        QCOMPARE(int(cleaner.removedFolders()), 0);
        QVERIFY(QFileInfo::exists(elsewhere + QStringLiteral("/job12/pages/1")));
    }

    // A removal that fails ends the pass, with its error.
    void failedRemovalEndsThePass()
    {
        if (::geteuid() == 0)
            QSKIP("root removes files from folders without write permission");
        TestRoot root;
        layOut(root.spoolRoot(), {QStringLiteral("job12")});
        const QString pages = root.spoolRoot() + QStringLiteral("/job12/pages");
        QVERIFY(QFile::setPermissions(pages, QFileDevice::ReadOwner | QFileDevice::ExeOwner));
        SpoolCleaner cleaner(root.spoolRoot().toStdString());
        const auto result = cleaner.run({"job17"});
        QFile::setPermissions(pages, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        QVERIFY(!result);
        QCOMPARE(QString::fromStdString(result.error().description()),
                 QStringLiteral("Could not remove \"") + pages + QStringLiteral("/1\": Permission denied"));
        QCOMPARE(int(cleaner.removedFolders()), 0);
        QVERIFY(QFileInfo::exists(pages + QStringLiteral("/1")));
    }

    // The spool root is shared; another user's job is left to their agent.
    void otherUsersFoldersAreLeft()
    {
        if (::geteuid() != 0)
            QSKIP("only root can give a folder to another user");
        const passwd *nobody = ::getpwnam("nobody");
        QVERIFY(nobody);
        TestRoot root;
        layOut(root.spoolRoot(), {QStringLiteral("job12"), QStringLiteral("job13")});
        QVERIFY(::chown(QFile::encodeName(root.spoolRoot() + QStringLiteral("/job13")).constData(), nobody->pw_uid, nobody->pw_gid) == 0);
        SpoolCleaner cleaner(root.spoolRoot().toStdString());
        const auto result = cleaner.run({"job17"});
        QVERIFY(result);
        QCOMPARE(int(cleaner.removedFolders()), 1);
        QCOMPARE(entriesOf(root.spoolRoot()), QStringList{QStringLiteral("job13")});
    }
};

QTEST_GUILESS_MAIN(TestSpoolCleaner)
#include "tst_spoolcleaner.moc"
