// Images named by configuration are read only when they are regular files
// within the limit, without blocking: a FIFO or a huge file is skipped with
// a log line instead of hanging or swamping the client.
#include "client/app/ImageLoader.h"
#include "client/app/WindowIcon.h"
#include "client/support/ClientLogReader.h"
#include "support/MemorySystemLog.h"
#include "support/TestRoot.h"

#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QIcon>
#include <QTest>

#include <sys/stat.h>

using namespace tavoren;
using client::ImageLoader;
using client::WindowIcon;
using clienttest::ClientLogReader;
using testsupport::TestRoot;

namespace {

QByteArray png(QSize size, QColor color)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(color);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

// A valid PNG of exactly `size` bytes: what follows its end is ignored.
QByteArray paddedPng(qint64 size)
{
    QByteArray bytes = png(QSize(40, 20), Qt::red);
    bytes.append(QByteArray(size - bytes.size(), '\0'));
    return bytes;
}

// Lays out the entry `kind` at `name` below the root; false when it could not.
bool makeEntry(const TestRoot &root, const QString &kind, const QString &name)
{
    const QString path = root.system(name);
    if (kind == QLatin1String("png"))
        return !root.writeFile(name, png(QSize(40, 20), Qt::red)).isEmpty();
    if (kind == QLatin1String("at the limit"))
        return !root.writeFile(name, paddedPng(ImageLoader::maximumBytes)).isEmpty();
    if (kind == QLatin1String("over the limit"))
        return !root.writeFile(name, paddedPng(ImageLoader::maximumBytes + 1)).isEmpty();
    if (kind == QLatin1String("fifo"))
        return ::mkfifo(QFile::encodeName(path).constData(), 0600) == 0;
    if (kind == QLatin1String("folder"))
        return QDir().mkpath(path);
    if (kind == QLatin1String("text"))
        return !root.writeFile(name, "not an image\n").isEmpty();
    if (kind == QLatin1String("link"))
        return !root.writeFile(QStringLiteral("/real.png"), png(QSize(40, 20), Qt::red)).isEmpty()
            && QFile::link(root.system(QStringLiteral("/real.png")), path);
    return kind == QLatin1String("missing");
}

int errorLinesFor(const QString &path)
{
    int count = 0;
    for (const auto &entry : ClientLogReader::entries())
        count += entry.level == QLatin1String("Error") && entry.message == path;
    return count;
}

} // namespace

class TestImageLoader : public QObject
{
    Q_OBJECT

private slots:
    void load_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("loads");
        QTest::addColumn<QString>("why"); // the log line's details, empty: none
        const QString skipped = QStringLiteral("<- image skipped: not a regular file or larger than 8 MiB");
        QTest::newRow("PNG") << QStringLiteral("png") << true << QString();
        QTest::newRow("exactly at the limit") << QStringLiteral("at the limit") << true << QString();
        QTest::newRow("a link to a PNG") << QStringLiteral("link") << true << QString();
        QTest::newRow("one byte over the limit") << QStringLiteral("over the limit") << false << skipped;
        QTest::newRow("a FIFO") << QStringLiteral("fifo") << false << skipped;
        QTest::newRow("a folder") << QStringLiteral("folder") << false << skipped;
        QTest::newRow("missing") << QStringLiteral("missing") << false << QStringLiteral("<- image not found");
        QTest::newRow("not an image") << QStringLiteral("text") << false << QStringLiteral("<- image could not be decoded");
    }

    void load()
    {
        QFETCH(QString, kind);
        QFETCH(bool, loads);
        QFETCH(QString, why);
        TestRoot root;
        const QString name = QStringLiteral("/brand/logo.png");
        const QString path = root.system(name);
        root.makeDir(QStringLiteral("/brand"));
        QVERIFY(makeEntry(root, kind, name));

        testsupport::MemorySystemLog systemLog;
        const QImage image = ImageLoader::load(path, systemLog);
        QCOMPARE(!image.isNull(), loads);
        if (loads) {
            QCOMPARE(image.size(), QSize(40, 20));
            QCOMPARE(image.pixelColor(1, 1), QColor(Qt::red));
        }
        QCOMPARE(errorLinesFor(path), why.isEmpty() ? 0 : 1);
        if (!why.isEmpty())
            QVERIFY2(ClientLogReader::contains(QStringLiteral("Error"), path, why), qPrintable(ClientLogReader::dump()));
    }

    // The icon is read once per path, however often the screens parse the
    // configuration; one that does not load leaves the icon in place.
    void applicationIcon()
    {
        TestRoot root;
        const QString fifo = root.system(QStringLiteral("/icon-fifo"));
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        const QString icon = root.writeFile(QStringLiteral("/icon.png"), png(QSize(32, 32), Qt::blue));
        QApplication::setWindowIcon(QIcon());
        testsupport::MemorySystemLog systemLog;
        WindowIcon windowIcon(systemLog);

        QVERIFY(!windowIcon.set(fifo));
        QVERIFY(!windowIcon.set(fifo));
        QVERIFY(QApplication::windowIcon().isNull());
        QCOMPARE(errorLinesFor(fifo), 1);

        QVERIFY(windowIcon.set(icon));
        QVERIFY(!QApplication::windowIcon().isNull());
        QCOMPARE(QApplication::windowIcon().pixmap(32, 32).toImage().pixelColor(4, 4), QColor(Qt::blue));
    }
};

QTEST_MAIN(TestImageLoader)
#include "tst_imageloader.moc"
