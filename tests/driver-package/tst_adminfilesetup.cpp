// The administrator's file as an installation leaves it: made from the
// package's defaults, or kept with only new keys added, so an upgrade keeps
// what the administrator set.
#include "driver-package/tools/AdminFileSetup.h"
#include "support/PlistReader.h"
#include "support/PlistWriter.h"
#include "support/TestRoot.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

using tavoren::driverpackage::AdminFileSetup;
using namespace tavoren::testsupport;

namespace {
const QString adminPath = QStringLiteral("/Library/Preferences/CorvaneTavorenAdmin.plist");

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class TestAdminFileSetup : public QObject
{
    Q_OBJECT

private slots:
    void install_data()
    {
        QTest::addColumn<QByteArray>("before"); // empty: no file
        QTest::addColumn<QStringList>("after");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QStringList>("added");
        const QByteArray defaults = PlistWriter::xml({{QStringLiteral("host"), QStringLiteral("default.example")},
                                                      {QStringLiteral("secure_connect"), 1},
                                                      {QStringLiteral("heldjobdays"), 7}});
        const QStringList fresh{QStringLiteral("heldjobdays=7"), QStringLiteral("host=default.example"), QStringLiteral("secure_connect=1")};
        QTest::newRow("no file") << QByteArray() << fresh << int(AdminFileSetup::Outcome::Kind::Made) << QStringList();
        // The administrator's values stay; only the new key comes.
        QTest::newRow("an older version's, edited")
            << PlistWriter::xml({{QStringLiteral("host"), QStringLiteral("print.shop.example:8443")},
                                 {QStringLiteral("secure_connect"), 0},
                                 {QStringLiteral("IsPrivateInstall"), false}})
            << QStringList{QStringLiteral("IsPrivateInstall=false"), QStringLiteral("heldjobdays=7"),
                           QStringLiteral("host=print.shop.example:8443"), QStringLiteral("secure_connect=0")}
            << int(AdminFileSetup::Outcome::Kind::Kept) << QStringList{QStringLiteral("heldjobdays")};
        QTest::newRow("this version's, nothing new") << defaults << fresh << int(AdminFileSetup::Outcome::Kind::Kept) << QStringList();
        QTest::newRow("binary") << PlistWriter::binary({{QStringLiteral("host"), QStringLiteral("bin.example")}})
                                << QStringList{QStringLiteral("heldjobdays=7"), QStringLiteral("host=bin.example"), QStringLiteral("secure_connect=1")}
                                << int(AdminFileSetup::Outcome::Kind::Kept)
                                << QStringList{QStringLiteral("heldjobdays"), QStringLiteral("secure_connect")};
        // What cannot be kept is moved aside, not lost.
        QTest::newRow("damaged") << QByteArray("<?xml version=\"1.0\"?><plist><dict><key>host") << fresh
                                 << int(AdminFileSetup::Outcome::Kind::Replaced) << QStringList();
        QTest::newRow("an array at its root") << QByteArray("<?xml version=\"1.0\"?><plist version=\"1.0\"><array><string>x</string></array></plist>") << fresh
                                              << int(AdminFileSetup::Outcome::Kind::Replaced) << QStringList();
        QTest::newRow("nested too deep")
            << QByteArray("<plist><dict><key>x</key>" + QByteArray("<array>").repeated(100) + QByteArray("</array>").repeated(100) + "</dict></plist>")
            << fresh << int(AdminFileSetup::Outcome::Kind::Replaced) << QStringList();
    }

    void install()
    {
        if (::geteuid() != 0)
            QSKIP("the admin file is root's");
        QFETCH(QByteArray, before);
        QFETCH(QStringList, after);
        QFETCH(int, kind);
        QFETCH(QStringList, added);
        TestRoot root;
        const QString defaults = root.writeFile(QStringLiteral("/Library/Printers/CorvaneTavoren/CorvaneTavorenAdmin.defaults.plist"),
                                                PlistWriter::xml({{QStringLiteral("host"), QStringLiteral("default.example")},
                                                                  {QStringLiteral("secure_connect"), 1},
                                                                  {QStringLiteral("heldjobdays"), 7}}));
        const QString admin = root.system(adminPath);
        if (!before.isEmpty())
            root.writeFile(adminPath, before);

        const auto outcome = AdminFileSetup::install(root.path().toStdString(), defaults.toStdString());
        QVERIFY2(outcome, outcome ? "" : outcome.error().description().c_str());
        QCOMPARE(int(outcome->kind), kind);
        QStringList keys;
        for (const std::string &key : outcome->added)
            keys << QString::fromStdString(key);
        keys.sort();
        QCOMPARE(keys, added);
        QCOMPARE(PlistReader::entries(readFile(admin)), after);
        struct stat status{};
        QCOMPARE(::lstat(QFile::encodeName(admin).constData(), &status), 0);
        QCOMPARE(status.st_mode & 07777, mode_t(0644));
        QCOMPARE(status.st_uid, uid_t(0));
        const bool replaced = kind == int(AdminFileSetup::Outcome::Kind::Replaced);
        QCOMPARE(readFile(admin + QStringLiteral(".old")), replaced ? before : QByteArray());
        QVERIFY(!AdminFileSetup::describe(*outcome).empty());
        // Nothing but the file (and what was kept aside) in the folder.
        QCOMPARE(QDir(QFileInfo(admin).path()).entryList(QDir::Files | QDir::Hidden).size(), replaced ? 2 : 1);
    }

    // A link in the file's place is never written through.
    void linkInItsPlace()
    {
        if (::geteuid() != 0)
            QSKIP("the admin file is root's");
        TestRoot root;
        const QString defaults = root.writeFile(QStringLiteral("/defaults.plist"), PlistWriter::xml({{QStringLiteral("host"), QStringLiteral("d")}}));
        const QString victim = root.writeFile(QStringLiteral("/victim.plist"), PlistWriter::xml({{QStringLiteral("x"), 1}}));
        const QByteArray victimBefore = readFile(victim);
        QVERIFY(QFile::link(victim, root.system(adminPath)));
        const auto outcome = AdminFileSetup::install(root.path().toStdString(), defaults.toStdString());
        QVERIFY(outcome);
        QCOMPARE(int(outcome->kind), int(AdminFileSetup::Outcome::Kind::Replaced));
        QCOMPARE(readFile(victim), victimBefore);
        QVERIFY(!QFileInfo(root.system(adminPath)).isSymLink());
        QCOMPARE(PlistReader::entries(readFile(root.system(adminPath))), QStringList{QStringLiteral("host=d")});
    }
};

QTEST_GUILESS_MAIN(TestAdminFileSetup)
#include "tst_adminfilesetup.moc"
