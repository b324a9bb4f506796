// The payload checks on entries alone: what may be installed below a target
// and why anything else is refused.
#include "package-installer/PayloadCheck.h"

#include <QTest>

using tavoren::packageinstaller::PayloadCheck;
using tavoren::packageinstaller::PayloadEntry;
using tavoren::packageinstaller::PayloadLimits;
using Entries = std::vector<PayloadEntry>;
using Kind = PayloadEntry::Kind;

Q_DECLARE_METATYPE(Entries)
Q_DECLARE_METATYPE(PayloadLimits)

namespace {
PayloadEntry folder(const char *path)
{
    return PayloadEntry::folder(path);
}
PayloadEntry file(const char *path)
{
    return PayloadEntry::file(path, "content");
}
PayloadEntry linkEntry(const char *path, const char *target)
{
    return PayloadEntry::symbolicLink(path, target);
}
} // namespace

class TestPayloadCheck : public QObject
{
    Q_OBJECT

private slots:
    void check_data()
    {
        QTest::addColumn<Entries>("entries");
        QTest::addColumn<PayloadLimits>("limits");
        // Empty when the payload is accepted.
        QTest::addColumn<QString>("refusal");
        const PayloadLimits limits;
        const Entries driver = {folder("."), folder("./Library"), folder("./Library/Printers"),
                                file("./Library/Printers/agent"), linkEntry("./Library/Printers/current", "agent"),
                                linkEntry("./Library/Printers/up", "../../Library"), folder("./usr/"), folder("usr//lib"),
                                PayloadEntry::hardLink("./usr/lib/agent", "./Library/Printers/agent")};
        QTest::newRow("a driver payload") << driver << limits << QString();
        QTest::newRow("link to a link inside") << Entries{folder("./a"), linkEntry("./a/b", "../c"), linkEntry("./c", "a")} << limits
                                               << QString();

        QTest::newRow("absolute path") << Entries{file("/etc/cron.d/job")} << limits
                                       << QStringLiteral("The payload item \"/etc/cron.d/job\" is an absolute path.");
        QTest::newRow("leading dot-dot") << Entries{file("../outside")} << limits
                                         << QStringLiteral("The payload item \"../outside\" has a \"..\" component.");
        QTest::newRow("inner dot-dot") << Entries{folder("./a"), file("./a/../../x")} << limits
                                       << QStringLiteral("The payload item \"./a/../../x\" has a \"..\" component.");
        QTest::newRow("dot-dot staying inside") << Entries{folder("./a"), file("./a/../b")} << limits
                                                << QStringLiteral("The payload item \"./a/../b\" has a \"..\" component.");
        QTest::newRow("control character") << Entries{file("./a\nb")} << limits
                                           << QStringLiteral("The payload item \"./a\\x0ab\" has a control character in its path.");
        QTest::newRow("empty path") << Entries{file("")} << limits << QStringLiteral("The payload item \"\" has an empty path.");
        QTest::newRow("file in place of the target") << Entries{file("./")} << limits
                                                     << QStringLiteral("The payload item \"./\" would replace the folder it is installed in.");
        QTest::newRow("FIFO") << Entries{folder("./a"), PayloadEntry::special("./a/pipe", Kind::Fifo)} << limits
                              << QStringLiteral("The payload item \"./a/pipe\" is a FIFO.");
        QTest::newRow("character device") << Entries{PayloadEntry::special("./null", Kind::CharacterDevice)} << limits
                                          << QStringLiteral("The payload item \"./null\" is a device.");
        QTest::newRow("block device") << Entries{PayloadEntry::special("./disk", Kind::BlockDevice)} << limits
                                      << QStringLiteral("The payload item \"./disk\" is a device.");
        QTest::newRow("socket") << Entries{PayloadEntry::special("./socket", Kind::Socket)} << limits
                                << QStringLiteral("The payload item \"./socket\" is a socket.");
        QTest::newRow("same path twice") << Entries{folder("./a"), linkEntry("a/", "b")} << limits
                                         << QStringLiteral("The payload item \"a/\" appears twice.");

        QTest::newRow("link to an absolute path") << Entries{linkEntry("./etc", "/etc")} << limits
                                                  << QStringLiteral("The payload item \"./etc\" is a link to an absolute path.");
        QTest::newRow("link leading out") << Entries{folder("./a"), linkEntry("./a/l", "../../etc")} << limits
                                          << QStringLiteral("The payload item \"./a/l\" is a link that leads out of the target.");
        QTest::newRow("link out and back in") << Entries{linkEntry("./l", "../target/x")} << limits
                                              << QStringLiteral("The payload item \"./l\" is a link that leads out of the target.");
        // Read as text, "up/.." stays in ./a; followed, ./a/up is the top.
        QTest::newRow("link out through a payload link")
            << Entries{folder("./a"), linkEntry("./a/up", ".."), linkEntry("./a/l", "up/../etc")} << limits
            << QStringLiteral("The payload item \"./a/l\" is a link that leads out of the target.");
        QTest::newRow("link through a later payload link leading out")
            << Entries{linkEntry("./l", "m/x"), linkEntry("./m", "../etc")} << limits
            << QStringLiteral("The payload item \"./l\" is a link that leads out of the target.");
        QTest::newRow("link to nothing") << Entries{linkEntry("./l", "")} << limits << QStringLiteral("The payload item \"./l\" is a link to nothing.");
        QTest::newRow("links in a loop") << Entries{linkEntry("./a", "b"), linkEntry("./b", "a")} << limits
                                         << QStringLiteral("The payload item \"./a\" is a link that loops.");
        QTest::newRow("entry behind a payload link") << Entries{folder("./real"), linkEntry("./l", "real"), file("./l/x")} << limits
                                                     << QStringLiteral("The payload item \"./l/x\" lies behind the link \"l\" of the payload.");
        QTest::newRow("entry below a payload file") << Entries{file("./f"), file("./f/x")} << limits
                                                    << QStringLiteral("The payload item \"./f/x\" lies below the file \"f\" of the payload.");

        QTest::newRow("hard link to an absolute path") << Entries{PayloadEntry::hardLink("./passwd", "/etc/passwd")} << limits
                                                       << QStringLiteral("The payload item \"./passwd\" is a hard link that leads out of the target.");
        QTest::newRow("hard link out") << Entries{folder("./a"), PayloadEntry::hardLink("./a/x", "../../etc/shadow")} << limits
                                       << QStringLiteral("The payload item \"./a/x\" is a hard link that leads out of the target.");
        const QString notEarlier = QStringLiteral("The payload item \"./x\" is a hard link to something that is not an earlier file of the payload.");
        QTest::newRow("hard link to a later file") << Entries{PayloadEntry::hardLink("./x", "./y"), file("./y")} << limits << notEarlier;
        QTest::newRow("hard link to a folder") << Entries{folder("./d"), PayloadEntry::hardLink("./x", "./d")} << limits << notEarlier;
        QTest::newRow("hard link to a link") << Entries{linkEntry("./l", "y"), PayloadEntry::hardLink("./x", "l")} << limits << notEarlier;
        QTest::newRow("hard link to itself") << Entries{PayloadEntry::hardLink("./x", "./x")} << limits << notEarlier;

        PayloadLimits small;
        small.maximumEntries = 2;
        small.maximumPathBytes = 12;
        small.maximumDepth = 3;
        small.maximumContentBytes = 10;
        QTest::newRow("more entries than allowed") << Entries{folder("./a"), folder("./b"), folder("./c")} << small
                                                   << QStringLiteral("The payload items are more than 2.");
        QTest::newRow("path longer than allowed") << Entries{file("./abcdefghijk")} << small
                                                  << QStringLiteral("The payload item \"./abcdefghijk\" has a path longer than 12 bytes.");
        QTest::newRow("deeper than allowed") << Entries{file("a/b/c/d")} << small
                                             << QStringLiteral("The payload item \"a/b/c/d\" lies more than 3 folders deep.");
        QTest::newRow("more content than allowed") << Entries{file("./a"), file("./b")} << small
                                                   << QStringLiteral("The payload items hold more than 10 bytes.");
    }

    void check()
    {
        QFETCH(Entries, entries);
        QFETCH(PayloadLimits, limits);
        QFETCH(QString, refusal);
        const PayloadCheck::Result result = PayloadCheck::check(entries, limits);
        QCOMPARE(QString::fromStdString(result.refusal), refusal);
        QCOMPARE(result.accepted(), refusal.isEmpty());
        if (result.accepted())
            QCOMPARE(result.entries.size(), entries.size());
        else
            QVERIFY(result.entries.empty());
    }

    // The accepted entries carry their path as names below the target, and
    // a hard link the names of the file it joins.
    void acceptedEntriesAreSplitIntoNames()
    {
        const Entries entries = {folder("."), folder("./usr//lib/"), file("usr/lib/./agent"),
                                 PayloadEntry::hardLink("./copy", "usr/lib/agent")};
        const PayloadCheck::Result result = PayloadCheck::check(entries, PayloadLimits());
        QVERIFY2(result.accepted(), result.refusal.c_str());
        QCOMPARE(result.entries.size(), std::size_t(4));
        QVERIFY(result.entries[0].names.empty());
        QCOMPARE(result.entries[1].names, (std::vector<std::string>{"usr", "lib"}));
        QCOMPARE(result.entries[2].names, (std::vector<std::string>{"usr", "lib", "agent"}));
        QCOMPARE(result.entries[3].joins, (std::vector<std::string>{"usr", "lib", "agent"}));
    }

    void refusalNamesTheScripts()
    {
        const PayloadCheck::Result result =
            PayloadCheck::check({PayloadEntry::special("./preinstall", Kind::Fifo)}, PayloadLimits(), "scripts item");
        QCOMPARE(QString::fromStdString(result.refusal), QStringLiteral("The scripts item \"./preinstall\" is a FIFO."));
    }
};

QTEST_GUILESS_MAIN(TestPayloadCheck)
#include "tst_payloadcheck.moc"
