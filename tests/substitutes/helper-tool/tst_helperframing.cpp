// The helper's input handling on buffers: request framing and parsing, the
// command-line word splitter, and the cutting of output into lines.
#include "helper-tool/CommandLine.h"
#include "helper-tool/HelperRequest.h"
#include "helper-tool/OutputLines.h"
#include "helper-tool/RequestFrame.h"

#include <QTest>

using namespace tavoren::helpertool;

namespace {
// What the helper makes of bytes arriving in these pieces.
QString understood(const QByteArrayList &pieces, std::size_t limit)
{
    RequestFrame frame(limit);
    for (const QByteArray &piece : pieces)
        frame.add(std::string_view(piece.constData(), std::size_t(piece.size())));
    switch (frame.state()) {
    case RequestFrame::State::Incomplete:
        return QStringLiteral("incomplete");
    case RequestFrame::State::TooLong:
        return QStringLiteral("too long");
    case RequestFrame::State::ExtraBytes:
        return QStringLiteral("more than one line");
    case RequestFrame::State::Complete:
        break;
    }
    const auto parsed = HelperRequest::parse(frame.line());
    if (!parsed)
        return QStringLiteral("refused: ") + QString::fromStdString(parsed.error().text);
    const auto &request = *parsed;
    return QStringLiteral("command: ") + QString::fromStdString(request.command)
           + (request.progressPath ? QStringLiteral(" progress: ") + QString::fromStdString(*request.progressPath) : QString());
}
} // namespace

class TestHelperFraming : public QObject
{
    Q_OBJECT

private slots:
    void frames_data()
    {
        QTest::addColumn<QByteArrayList>("pieces");
        QTest::addColumn<int>("limit");
        QTest::addColumn<QString>("result");
        const QByteArray probe = R"({"command_to_be_execute":"ls /Applications/"})";
        const QString probed = QStringLiteral("command: ls /Applications/");
        QTest::newRow("whole") << QByteArrayList{probe + "\n"} << 65536 << probed;
        QTest::newRow("in pieces") << QByteArrayList{probe.left(5), probe.mid(5), "\n"} << 65536 << probed;
        QTest::newRow("half a request") << QByteArrayList{probe.left(20)} << 65536 << QStringLiteral("incomplete");
        QTest::newRow("no line end yet") << QByteArrayList{probe} << 65536 << QStringLiteral("incomplete");
        QTest::newRow("two lines") << QByteArrayList{probe + "\n" + probe + "\n"} << 65536 << QStringLiteral("more than one line");
        QTest::newRow("a byte after the line end") << QByteArrayList{probe + "\nx"} << 65536 << QStringLiteral("more than one line");
        QTest::newRow("exactly at the limit") << QByteArrayList{probe + "\n"} << int(probe.size() + 1) << probed;
        QTest::newRow("one byte over, line end last") << QByteArrayList{probe + " \n"} << int(probe.size() + 1) << QStringLiteral("too long");
        QTest::newRow("over the limit, no line end") << QByteArrayList{QByteArray(70000, ' ')} << 65536 << QStringLiteral("too long");
        QTest::newRow("over the limit across pieces") << QByteArrayList{QByteArray(40000, ' '), QByteArray(40000, ' '), "\n"} << 65536
                                                      << QStringLiteral("too long");
        QTest::newRow("garbage") << QByteArrayList{"\x01\xff garbage\n"} << 65536 << QStringLiteral("refused: the request is not a JSON object");
        QTest::newRow("empty line") << QByteArrayList{"\n"} << 65536 << QStringLiteral("refused: the request is not a JSON object");
        QTest::newRow("an array") << QByteArrayList{"[\"ls /Applications/\"]\n"} << 65536 << QStringLiteral("refused: the request is not a JSON object");
        QTest::newRow("no command") << QByteArrayList{R"({"installerlog_file_path":"/x"})" "\n"} << 65536
                                    << QStringLiteral("refused: the member \"command_to_be_execute\" is missing");
        QTest::newRow("both members") << QByteArrayList{R"({"command_to_be_execute":"a","installerlog_file_path":"/p"})" "\n"} << 65536
                                      << QStringLiteral("command: a progress: /p");
    }

    void frames()
    {
        QFETCH(QByteArrayList, pieces);
        QFETCH(int, limit);
        QFETCH(QString, result);
        QCOMPARE(understood(pieces, std::size_t(limit)), result);
    }

    void words_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QStringList>("words"); // one entry "refused: ..." when refused
        QTest::newRow("blanks and tabs") << QStringLiteral(" ls \t /Applications/  ") << QStringList{QStringLiteral("ls"), QStringLiteral("/Applications/")};
        QTest::newRow("quoted blanks") << QStringLiteral("-pkg \"/a b/c\"") << QStringList{QStringLiteral("-pkg"), QStringLiteral("/a b/c")};
        QTest::newRow("parts join") << QStringLiteral("\"a b\"c d\"e\"") << QStringList{QStringLiteral("a bc"), QStringLiteral("de")};
        QTest::newRow("empty quoted word") << QStringLiteral("ls \"\"") << QStringList{QStringLiteral("ls"), QString()};
        QTest::newRow("single quote in quotes") << QStringLiteral("\"Bob's\"") << QStringList{QStringLiteral("Bob's")};
        QTest::newRow("C1 control") << QStringLiteral("ls \u0085") << QStringList{QStringLiteral("refused: the command line holds a control character")};
    }

    void words()
    {
        QFETCH(QString, line);
        QFETCH(QStringList, words);
        const auto split = CommandLine::split(line.toStdString());
        QStringList result;
        if (!split)
            result << QStringLiteral("refused: ") + QString::fromStdString(split.error().text);
        else
            for (const std::string &word : *split)
                result << QString::fromStdString(word);
        QCOMPARE(result, words);
    }

    void outputLines_data()
    {
        QTest::addColumn<QByteArrayList>("pieces");
        QTest::addColumn<QByteArrayList>("lines");
        QTest::newRow("lines as they come") << QByteArrayList{"ab\ncd\n"} << QByteArrayList{"ab\n", "cd\n"};
        QTest::newRow("a line across reads") << QByteArrayList{"a", "b", "\nc"} << QByteArrayList{"ab\n", "c\n"};
        QTest::newRow("empty lines kept") << QByteArrayList{"\n\n"} << QByteArrayList{"\n", "\n"};
        QTest::newRow("long line in pieces") << QByteArrayList{"abcdefghij\n"} << QByteArrayList{"abcd\n", "efgh\n", "ij\n"};
        QTest::newRow("exactly one piece") << QByteArrayList{"abcd\n"} << QByteArrayList{"abcd\n"};
        QTest::newRow("exactly one piece, line end later") << QByteArrayList{"abcd", "\n", "e"} << QByteArrayList{"abcd\n", "e\n"};
        QTest::newRow("last line without end") << QByteArrayList{"ab\ncd"} << QByteArrayList{"ab\n", "cd\n"};
    }

    void outputLines()
    {
        QFETCH(QByteArrayList, pieces);
        QFETCH(QByteArrayList, lines);
        QByteArrayList emitted;
        OutputLines output(4, [&](std::string_view line) { emitted << QByteArray(line.data(), qsizetype(line.size())); });
        for (const QByteArray &piece : pieces)
            output.add(std::string_view(piece.constData(), std::size_t(piece.size())));
        output.finish();
        QCOMPARE(emitted, lines);
    }
};

QTEST_GUILESS_MAIN(TestHelperFraming)
#include "tst_helperframing.moc"
