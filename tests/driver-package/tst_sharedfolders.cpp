// The folders every user shares, made by the driver package's postinstall as
// root: what another user puts in their place is replaced, never adopted,
// and nothing outside them changes, however he swaps folders and links.
#include "support/SecondUser.h"
#include "support/TestRoot.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

using namespace tavoren::testsupport;

namespace {
const QString socketRoot = QStringLiteral("/private/tmp/Corvane_Tavoren_Socket");
const QStringList sharedFolders{QStringLiteral("/var/log/cups/corvanetavorencups/Corvane_Tavoren_Driver"), socketRoot,
                                QStringLiteral("/private/var/log/cups/tavorencups")};

struct Entry
{
    bool exists = false;
    bool link = false;
    uid_t owner = 0;
    mode_t mode = 0;
    bool operator==(const Entry &) const = default;
};

Entry entry(const QString &path)
{
    struct stat status{};
    if (::lstat(QFile::encodeName(path).constData(), &status) != 0)
        return {};
    return {true, S_ISLNK(status.st_mode), status.st_uid, mode_t(status.st_mode & 07777)};
}

bool give(const QString &path)
{
    return ::lchown(QFile::encodeName(path).constData(), SecondUser::uid(), SecondUser::gid()) == 0;
}

// postinstall as the package installer runs it, with the package's tool in place.
int postinstall(const TestRoot &root, QByteArray *output = nullptr)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(QStringLiteral("/bin/sh"), {QStringLiteral(TAVOREN_SOURCE_DIR "/src/driver-package/scripts/postinstall"),
                                              QStringLiteral("/medium/x.pkg"), root.path(), root.path()});
    if (!process.waitForFinished(60000))
        return -1;
    if (output)
        *output = process.readAll();
    return process.exitCode();
}

bool placeTool(const TestRoot &root)
{
    const QString tool = root.system(QStringLiteral("/Library/Printers/CorvaneTavoren/tavoren-setup"));
    const QString queue = QFileInfo(tool).path() + QStringLiteral("/PrintQueue.sh");
    return QDir().mkpath(QFileInfo(tool).path()) && QFile::copy(QStringLiteral(TAVOREN_SETUP_TOOL), tool)
           && QFile::copy(QStringLiteral(TAVOREN_SOURCE_DIR "/src/driver-package/CorvaneTavorenAdmin.plist"),
                          QFileInfo(tool).path() + QStringLiteral("/CorvaneTavorenAdmin.defaults.plist"))
           && QFile::copy(QStringLiteral(TAVOREN_SOURCE_DIR "/src/driver-package/PrintQueue.sh"), queue)
           && QFile::setPermissions(queue, QFile::permissions(queue) | QFile::ExeOwner);
}

// A root with the package's tool, where /private/tmp is writable by
// everyone, like /tmp, so another user can reach the socket root's place;
// a folder of root's and one of his that nothing may change.
struct Scene
{
    TestRoot root;
    QString place = root.system(socketRoot);
    QString victim = root.makeDir(QStringLiteral("/victim"));
    QString his = root.makeDir(QStringLiteral("/his"));
    Entry victimBefore;
    Entry hisBefore;

    bool prepare()
    {
        if (!placeTool(root) || !root.makeSharedFolder(QStringLiteral("/private/tmp")) || !give(his))
            return false;
        victimBefore = entry(victim);
        hisBefore = entry(his);
        return true;
    }
    bool untouched() const { return entry(victim) == victimBefore && entry(his) == hisBefore; }
};
} // namespace

class TestSharedFolders : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        if (::geteuid() != 0)
            QSKIP("the shared folders are made by root");
        QString reason;
        if (!SecondUser::ensure(&reason))
            QSKIP(qPrintable(reason));
    }

    // What may be found in a shared folder's place before the installation.
    void whatIsInThePlace_data()
    {
        QTest::addColumn<QString>("planted");
        QTest::newRow("nothing") << QString();
        QTest::newRow("root's folder, another mode") << QStringLiteral("root's 0700");
        QTest::newRow("a folder of his, with his files") << QStringLiteral("his folder");
        QTest::newRow("a link to root's folder") << QStringLiteral("link to victim");
        QTest::newRow("a link to his folder") << QStringLiteral("link to his");
        QTest::newRow("a file of his") << QStringLiteral("his file");
        QTest::newRow("a FIFO") << QStringLiteral("fifo");
    }
    void whatIsInThePlace()
    {
        QFETCH(QString, planted);
        Scene scene;
        QVERIFY(scene.prepare());
        const TestRoot &root = scene.root;
        const QString &place = scene.place;
        if (planted == QLatin1String("root's 0700")) {
            QVERIFY(QDir().mkdir(place) && ::chmod(QFile::encodeName(place).constData(), 0700) == 0);
        } else if (planted == QLatin1String("his folder")) {
            QVERIFY(QDir().mkdir(place) && give(place));
            const QString inside = root.writeFile(socketRoot + QStringLiteral("/his-file"), "his\n");
            QVERIFY(give(inside));
        } else if (planted == QLatin1String("link to victim")) {
            QVERIFY(QFile::link(scene.victim, place) && give(place));
        } else if (planted == QLatin1String("link to his")) {
            QVERIFY(QFile::link(scene.his, place) && give(place));
        } else if (planted == QLatin1String("his file")) {
            QVERIFY(!root.writeFile(socketRoot, "his\n").isEmpty() && give(place));
        } else if (planted == QLatin1String("fifo")) {
            QVERIFY(::mkfifo(QFile::encodeName(place).constData(), 0666) == 0 && give(place));
        }

        QByteArray output;
        QCOMPARE(postinstall(root, &output), 0);
        for (const QString &folder : sharedFolders) {
            QVERIFY2(output.contains(QByteArray("Shared folder " + folder.toUtf8() + " ready")), output.constData());
            QCOMPARE(entry(root.system(folder)), (Entry{true, false, 0, 01777}));
        }
        QCOMPARE(QDir(place).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());
        QVERIFY(scene.untouched());
        // The folders made above them are root's and 0755.
        QCOMPARE(entry(root.system(QStringLiteral("/private/var/log"))), (Entry{true, false, 0, 0755}));
    }

    // A folder above one that another user controls is not trusted.
    void folderAboveNotRoots()
    {
        TestRoot root;
        QVERIFY(placeTool(root));
        const QString above = root.system(QStringLiteral("/private/var/log/cups"));
        QVERIFY(QDir(above).removeRecursively() && QDir().mkpath(above) && give(above));
        QByteArray output;
        QVERIFY(postinstall(root, &output) != 0);
        QVERIFY2(output.contains("it is not root's or others may change it"), output.constData());
        QCOMPARE(QDir(above).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), QStringList());
    }

    // Another user swaps a folder of his and links at the socket root's
    // place as fast as he can, throughout 200 runs of postinstall.
    void swappedWhileRunning()
    {
        Scene scene;
        QVERIFY(scene.prepare() && scene.root.openToOthers());
        const TestRoot &root = scene.root;
        const QString &place = scene.place;
        const QString stop = root.system(QStringLiteral("/stop"));
        QProcess swapper;
        SecondUser::start(swapper, QStringLiteral(TAVOREN_PLACE_SWAPPER), {place, scene.victim, scene.his, stop});
        QVERIFY(swapper.waitForStarted());

        int made = 0;
        for (int run = 0; run < 200; ++run) {
            // Root's folder from the last run goes, so every run races anew.
            const Entry now = entry(place);
            if (now.exists && !now.link && now.owner == 0)
                QVERIFY(QDir(place).removeRecursively());
            QByteArray output;
            const int status = postinstall(root, &output);
            QVERIFY2(status == 0, output.constData());
            if (entry(place) == Entry{true, false, 0, 01777})
                ++made;
            QVERIFY(scene.untouched());
        }
        root.writeFile(QStringLiteral("/stop"), "");
        QVERIFY(swapper.waitForFinished(60000));
        const QList<QByteArray> counts = swapper.readAllStandardOutput().trimmed().split(' ');
        QVERIFY2(counts.size() == 2 && counts.at(0).toLong() + counts.at(1).toLong() > 0, "the other user never got in");
        QCOMPARE(made, 200);
        QCOMPARE(QDir(scene.victim).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());
        QCOMPARE(QDir(scene.his).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());
    }
};

QTEST_GUILESS_MAIN(TestSharedFolders)
#include "tst_sharedfolders.moc"
