// How a setting reads from the environment: whole numbers in range or none.
#include "shared/EnvironmentSetting.h"

#include <QTest>

#include <cstdlib>

using tavoren::shared::EnvironmentSetting;

namespace {
constexpr const char *variable = "TAVOREN_TEST_SETTING";
}

class TestEnvironmentSetting : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { ::unsetenv(variable); }

    void wholeNumber_data()
    {
        QTest::addColumn<bool>("set");
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<qlonglong>("number"); // -1: none
        QTest::newRow("unset") << false << QByteArray() << -1LL;
        QTest::newRow("empty") << true << QByteArray() << -1LL;
        QTest::newRow("in range") << true << QByteArray("250") << 250LL;
        QTest::newRow("the minimum") << true << QByteArray("0") << 0LL;
        QTest::newRow("the maximum") << true << QByteArray("1000") << 1000LL;
        QTest::newRow("above") << true << QByteArray("1001") << -1LL;
        QTest::newRow("negative") << true << QByteArray("-5") << -1LL;
        QTest::newRow("trailing text") << true << QByteArray("12ms") << -1LL;
        QTest::newRow("leading blank") << true << QByteArray(" 12") << -1LL;
        QTest::newRow("plus sign") << true << QByteArray("+12") << -1LL;
        QTest::newRow("overflow") << true << QByteArray("99999999999999999999") << -1LL;
    }

    void wholeNumber()
    {
        QFETCH(bool, set);
        QFETCH(QByteArray, value);
        QFETCH(qlonglong, number);
        if (set)
            ::setenv(variable, value.constData(), 1);
        const auto read = EnvironmentSetting::wholeNumber(variable, 0, 1000);
        QCOMPARE(read ? qlonglong(*read) : -1LL, number);
        // Milliseconds start at 1; anything else is the fallback.
        const auto fallback = std::chrono::milliseconds(77);
        const auto milliseconds = EnvironmentSetting::milliseconds(variable, fallback, std::chrono::milliseconds(1000));
        QCOMPARE(qlonglong(milliseconds.count()), number >= 1 ? number : 77LL);
        QCOMPARE(QByteArray::fromStdString(EnvironmentSetting::text(variable)), value);
    }
};

QTEST_GUILESS_MAIN(TestEnvironmentSetting)
#include "tst_environmentsetting.moc"
