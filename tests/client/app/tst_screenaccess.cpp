// The client's screens by keyboard alone and through a screen reader: names
// of every control and picture in both languages, the focus each screen
// opens with, Return and Escape, the release code announced and copied
// whole, and focus marks and placeholders that can be seen.
#include "WindowFixture.h"

#include "client/app/DockerError.h"
#include "client/app/EmailEntry.h"
#include "client/app/Error.h"
#include "client/app/ReleaseCodeResult.h"
#include "client/app/Settings.h"
#include "client/app/Upload.h"
#include "client/core/DisplayText.h"
#include "client/support/ClientLogReader.h"
#include "support/ScreenReading.h"

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QGraphicsOpacityEffect>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QToolButton>

using namespace tavoren;
using namespace tavoren::client;
using clienttest::ClientLogReader;
using clienttest::WindowFixture;
using releaseservice::Call;
using releaseservice::Fault;
using testsupport::ScreenReading;
using namespace std::chrono_literals;

namespace {
constexpr int patience = 20000;
const QLocale english(QLocale::English, QLocale::UnitedStates);
const QLocale french(QLocale::French, QLocale::France);

// A key as a keyboard sends it: to whatever has the focus.
void press(const QString &key)
{
    static const QMap<QString, std::pair<Qt::Key, Qt::KeyboardModifiers>> keys = {
        {QStringLiteral("tab"), {Qt::Key_Tab, Qt::NoModifier}},
        {QStringLiteral("space"), {Qt::Key_Space, Qt::NoModifier}},
        {QStringLiteral("return"), {Qt::Key_Return, Qt::NoModifier}},
        {QStringLiteral("enter"), {Qt::Key_Enter, Qt::KeypadModifier}},
        {QStringLiteral("escape"), {Qt::Key_Escape, Qt::NoModifier}},
        {QStringLiteral("ctrl+c"), {Qt::Key_C, Qt::ControlModifier}},
    };
    QVERIFY2(keys.contains(key), qPrintable(key));
    QWidget *focus = QApplication::focusWidget();
    QVERIFY2(focus, "no control has the focus");
    QTest::keyClick(focus, keys.value(key).first, keys.value(key).second);
}

bool focusIsUsable()
{
    const QWidget *focus = QApplication::focusWidget();
    return focus && focus->isVisible() && focus->isEnabled();
}


// The screens reached as a user would, the service made to hold or fail
// where a screen would otherwise pass by.
void openAt(WindowFixture &f, const QString &where, const QLocale &locale)
{
    if (where == QLatin1String("upload"))
        f.service->setFault(Call::ServerTime, Fault::delayed(600000ms));
    else if (where == QLatin1String("error"))
        f.service->setFault(Call::ServerTime, Fault::withStatus(429));
    if (where == QLatin1String("docker error") || where == QLatin1String("settings"))
        f.open({QStringLiteral("/Library/Printers/client")}, locale);
    else
        f.open(f.jobArguments(), locale);
    if (where == QLatin1String("settings")) {
        f.appDelegate->openPreferences();
        return;
    }
    if (where == QLatin1String("upload") || where == QLatin1String("error") || where == QLatin1String("release code"))
        f.control<QPushButton>(QStringLiteral("skip"))->click();
    if (where == QLatin1String("upload"))
        f.waitFor<Upload>();
    else if (where == QLatin1String("error"))
        f.waitFor<Error>();
    else if (where == QLatin1String("release code"))
        f.waitFor<ReleaseCodeResult>();
    // The cross-fade's picture of the screen before goes when it ends.
    [[maybe_unused]] const bool faded = QTest::qWaitFor(
        [&f] { return f.window->findChildren<QGraphicsOpacityEffect *>().isEmpty(); }, patience);
}

QWidget *windowOf(const WindowFixture &f, const QString &where)
{
    if (where == QLatin1String("settings"))
        return f.appDelegate->settingsWindow();
    return f.window.get();
}

// A control by name: the screen's first, then the window's (the footer).
QWidget *controlOf(const WindowFixture &f, const QString &where, const QString &name)
{
    QWidget *window = windowOf(f, where);
    if (where != QLatin1String("settings")) {
        if (QWidget *onScreen = f.control<QWidget>(name))
            return onScreen;
    }
    return window ? window->findChild<QWidget *>(name) : nullptr;
}

const char *screenClass(const QString &where)
{
    if (where == QLatin1String("email entry"))
        return EmailEntry::staticMetaObject.className();
    if (where == QLatin1String("upload"))
        return Upload::staticMetaObject.className();
    if (where == QLatin1String("release code"))
        return ReleaseCodeResult::staticMetaObject.className();
    if (where == QLatin1String("error"))
        return Error::staticMetaObject.className();
    if (where == QLatin1String("docker error"))
        return DockerError::staticMetaObject.className();
    return Settings::staticMetaObject.className();
}
} // namespace

class TestScreenAccess : public QObject
{
    Q_OBJECT

private slots:
    // Every control and meaningful picture of every screen has a name in
    // both languages; the e-mail fields are named by their visible label.
    void everyControlIsNamed_data()
    {
        QTest::addColumn<QString>("where");
        QTest::addColumn<QLocale>("locale");
        for (const char *where : {"email entry", "upload", "release code", "error", "docker error", "settings"}) {
            QTest::newRow(qPrintable(QLatin1String(where) + QStringLiteral(" en"))) << QString::fromLatin1(where) << english;
            QTest::newRow(qPrintable(QLatin1String(where) + QStringLiteral(" fr"))) << QString::fromLatin1(where) << french;
        }
    }
    void everyControlIsNamed()
    {
        QFETCH(QString, where);
        QFETCH(QLocale, locale);
        WindowFixture f(true);
        QVERIFY(f.started);
        openAt(f, where, locale);
        QWidget *window = windowOf(f, where);
        QVERIFY(window && QTest::qWaitForWindowExposed(window));
        if (where != QLatin1String("settings"))
            QVERIFY2(f.current() && QLatin1String(f.current()->metaObject()->className()) == QLatin1String(screenClass(where)),
                     qPrintable(ClientLogReader::dump()));
        // Text in the e-mail field shows its clear button.
        auto *email = where == QLatin1String("settings") || where == QLatin1String("email entry")
                          ? qobject_cast<QLineEdit *>(controlOf(f, where, QStringLiteral("email")))
                          : nullptr;
        if (email) {
            email->setFocus(Qt::TabFocusReason);
            QTest::keyClicks(email, QStringLiteral("ann@example.com"));
            const QList<QToolButton *> clear = email->findChildren<QToolButton *>();
            QVERIFY(!clear.isEmpty());
            QTRY_VERIFY(clear.first()->isVisible());
            // The visible label names the field, through its buddy.
            const QString label = where == QLatin1String("settings") ? QStringLiteral("emailLabel") : QStringLiteral("emailTitle");
            const auto *title = qobject_cast<QLabel *>(controlOf(f, where, label));
            QCOMPARE(title->buddy(), email);
            QCOMPARE(QAccessible::queryAccessibleInterface(email)->text(QAccessible::Name), title->text());
            QVERIFY(!QAccessible::queryAccessibleInterface(email)->text(QAccessible::Description).isEmpty());
        }
        // The texts are in the table of the language asked for.
        QCOMPARE(QAccessible::queryAccessibleInterface(window)->text(QAccessible::Name), window->windowTitle());

        const QList<QAccessibleInterface *> shown = ScreenReading::shownBelow(QAccessible::queryAccessibleInterface(window));
        QVERIFY(shown.size() > 3);
        QStringList unnamed;
        int named = 0;
        for (QAccessibleInterface *object : shown) {
            if (!ScreenReading::needsName(object))
                continue;
            if (object->text(QAccessible::Name).trimmed().isEmpty())
                unnamed << (object->object() ? object->object()->objectName() : QStringLiteral("?")) + QLatin1Char('/')
                               + QString::number(object->role(), 16);
            else
                ++named;
        }
        QVERIFY2(unnamed.isEmpty(), qPrintable(unnamed.join(QLatin1Char(' '))));
        QVERIFY(named > 2);
    }

    // Each screen opens on its main control; Return presses the default
    // button from the focus, Escape leaves the settings without saving.
    void focusAndKeys_data()
    {
        QTest::addColumn<QString>("where");
        QTest::addColumn<QString>("focus");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("outcome");
        QTest::newRow("e-mail entry, nothing typed") << "email entry" << "email" << "return" << "stays";
        QTest::newRow("upload") << "upload" << "cancelOutlet" << "return" << "ends";
        QTest::newRow("release code") << "release code" << "releaseCode" << "return" << "ends";
        QTest::newRow("release code, keypad Enter") << "release code" << "releaseCode" << "enter" << "ends";
        QTest::newRow("error") << "error" << "okButton" << "return" << "ends";
        QTest::newRow("docker error") << "docker error" << "quitButton" << "return" << "ends";
        QTest::newRow("settings, Return saves") << "settings" << "email" << "return" << "saved";
        QTest::newRow("settings, Escape cancels") << "settings" << "email" << "escape" << "closed";
    }
    void focusAndKeys()
    {
        QFETCH(QString, where);
        QFETCH(QString, focus);
        QFETCH(QString, key);
        QFETCH(QString, outcome);
        WindowFixture f(true);
        openAt(f, where, english);
        QWidget *window = windowOf(f, where);
        QVERIFY(window && ScreenReading::inFront(window));
        QWidget *expected = controlOf(f, where, focus);
        QVERIFY(expected);
        QTRY_COMPARE(QApplication::focusWidget(), expected);
        if (where == QLatin1String("settings"))
            QTest::keyClicks(expected, QStringLiteral("ann@example.com"));
        press(key);
        if (outcome == QLatin1String("ends")) {
            QCOMPARE(f.terminations, 1);
        } else if (outcome == QLatin1String("stays")) {
            QCOMPARE(f.terminations, 0);
            QVERIFY(f.screen<EmailEntry>());
            QCOMPARE(QApplication::focusWidget(), expected);
        } else {
            QTRY_VERIFY(!f.appDelegate->settingsWindow());
            QCOMPARE(f.configFiles().parseConfig().owneremail,
                     outcome == QLatin1String("saved") ? QStringLiteral("ann@example.com") : QString());
            QCOMPARE(f.terminations, 0);
        }
    }

    // From the e-mail question to the release code with keys alone, then
    // the code copied whole by Ctrl+C or the Copy button; the code's field
    // is announced with the code when the screen opens.
    void keyboardOnly_data()
    {
        QTest::addColumn<QLocale>("locale");
        QTest::addColumn<QStringList>("keys");
        QTest::addColumn<QString>("copyText");
        QTest::newRow("Ctrl+C on the code") << english << QStringList{QStringLiteral("ctrl+c")} << "Copied";
        QTest::newRow("Tab to Copy, Space") << english << QStringList{QStringLiteral("tab"), QStringLiteral("space")} << "Copied";
        QTest::newRow("Tab to Copy, Space, French")
            << french << QStringList{QStringLiteral("tab"), QStringLiteral("space")} << QStringLiteral("Copié");
        QTest::newRow("Ctrl+C on the Close button")
            << english << QStringList{QStringLiteral("tab"), QStringLiteral("tab"), QStringLiteral("ctrl+c")} << "Copied";
        QTest::newRow("Tab to Copy, Return") << english << QStringList{QStringLiteral("tab"), QStringLiteral("return")}
                                             << "Copied";
    }
    void keyboardOnly()
    {
        QFETCH(QLocale, locale);
        QFETCH(QStringList, keys);
        QFETCH(QString, copyText);
        WindowFixture f(true);
        QVERIFY(f.started);
        f.open(f.jobArguments(), locale);
        // What has the focus, and its name, as each screen opens: what a
        // screen reader is told then.
        QStringList opened;
        QObject::connect(&f.window->viewController(), &ViewController::screenOpened, &f.window->viewController(), [&opened] {
            QWidget *focus = QApplication::focusWidget();
            opened << (focus ? focus->objectName() + QLatin1Char('=') + QAccessible::queryAccessibleInterface(focus)->text(QAccessible::Name)
                             : QString());
        });
        QVERIFY(ScreenReading::inFront(f.window.get()));
        QTRY_COMPARE(QApplication::focusWidget(), f.control<QWidget>(QStringLiteral("email")));
        QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("ann@example.com"));
        press(QStringLiteral("return"));
        QVERIFY(focusIsUsable());
        QVERIFY2(f.waitFor<ReleaseCodeResult>(), qPrintable(ClientLogReader::dump()));
        const auto *code = f.control<QLabel>(QStringLiteral("releaseCode"));
        QTRY_COMPARE(QApplication::focusWidget(), code);
        QCOMPARE(f.service->jobs().size(), std::size_t(1));
        const QString docId = QString::fromStdString(f.service->jobs().front().docId);
        QVERIFY(docId.size() > 4);
        QVERIFY(f.service->jobs().front().ownerJson.find("ann@example.com") != std::string::npos);

        // The field, focused, is spoken with what it is and the code.
        const QString shownCode = DisplayText::releaseCode(docId);
        // The e-mail screen opened with the window, before this test listened.
        QTRY_COMPARE(opened.size(), 2);
        QVERIFY2(opened.at(0).startsWith(QStringLiteral("cancelOutlet=")), qPrintable(opened.join(QLatin1Char(' '))));
        QVERIFY2(opened.at(1).startsWith(QStringLiteral("releaseCode=")) && opened.at(1).contains(shownCode),
                 qPrintable(opened.join(QLatin1Char(' '))));
        const QString name = QAccessible::queryAccessibleInterface(const_cast<QLabel *>(code))->text(QAccessible::Name);
        QVERIFY2(name.contains(shownCode) && name.size() > shownCode.size(), qPrintable(name));

        QApplication::clipboard()->setText(QStringLiteral("before"));
        for (const QString &key : keys) {
            press(key);
            QVERIFY2(focusIsUsable(), qPrintable(key));
        }
        QCOMPARE(QApplication::clipboard()->text(), docId);
        // The Copy button says it has copied, whichever way the code went.
        auto *copy = f.control<QPushButton>(QStringLiteral("copyButton"));
        QCOMPARE(copy->text(), copyText);
        QCOMPARE(f.terminations, 0);
    }

    // A double-click selects the whole code, not the half before the space.
    void doubleClickSelectsTheWholeCode()
    {
        WindowFixture f(true);
        openAt(f, QStringLiteral("release code"), english);
        auto *code = f.control<QLabel>(QStringLiteral("releaseCode"));
        QVERIFY(code);
        QTRY_VERIFY(code->text().size() > 4);
        QTest::mouseDClick(code, Qt::LeftButton, Qt::NoModifier, code->rect().center());
        QCOMPARE(code->selectedText(), code->text());
    }

    // The focus mark of each control differs from what is under it by at
    // least 3:1 somewhere.
    void focusMarkIsVisible_data()
    {
        QTest::addColumn<QString>("where");
        QTest::addColumn<QString>("control");
        QTest::addColumn<QString>("elsewhere");
        const char *rows[][3] = {
            {"email entry", "email", "skip"},          {"email entry", "skip", "email"},
            {"email entry", "next", "email"},          {"email entry", "preferences", "email"},
            {"email entry", "closeButton", "email"},   {"email entry", "privacy", "email"},
            {"email entry", "terms", "email"},         {"upload", "cancelOutlet", "preferences"},
            {"release code", "releaseCode", "copyButton"}, {"release code", "copyButton", "releaseCode"},
            {"release code", "closeButton", "releaseCode"}, {"error", "okButton", "preferences"},
            {"docker error", "quitButton", "preferences"}, {"settings", "email", "ok"},
            {"settings", "ok", "email"},               {"settings", "cancel", "email"},
            {"settings", "privacy", "email"},
        };
        for (const auto &row : rows)
            QTest::newRow(qPrintable(QLatin1String(row[0]) + QLatin1Char(' ') + QLatin1String(row[1])))
                << QString::fromLatin1(row[0]) << QString::fromLatin1(row[1]) << QString::fromLatin1(row[2]);
    }
    void focusMarkIsVisible()
    {
        QFETCH(QString, where);
        QFETCH(QString, control);
        QFETCH(QString, elsewhere);
        WindowFixture f(true);
        openAt(f, where, english);
        QWidget *window = windowOf(f, where);
        QVERIFY(window && ScreenReading::inFront(window));
        if (control == QLatin1String("next"))
            QTest::keyClicks(controlOf(f, where, QStringLiteral("email")), QStringLiteral("ann@example.com"));
        QWidget *widget = controlOf(f, where, control);
        QWidget *other = controlOf(f, where, elsewhere);
        QVERIFY(widget && widget->isVisible() && widget->isEnabled());
        QVERIFY(other && other->isVisible());
        // The screen's first focus has been placed before the measurement.
        QTRY_VERIFY(QApplication::focusWidget());
        // Away from it by the keyboard, so the style shows keyboard focus.
        other->setFocus(Qt::TabFocusReason);
        QVERIFY(!widget->hasFocus());
        const QRect area(widget->mapTo(window, QPoint(-4, -4)), widget->size() + QSize(8, 8));
        const QImage without = window->grab(area).toImage().convertToFormat(QImage::Format_RGB32);
        widget->setFocus(Qt::TabFocusReason);
        QVERIFY(widget->hasFocus());
        const QImage with = window->grab(area).toImage().convertToFormat(QImage::Format_RGB32);
        QCOMPARE(with.size(), without.size());
        // Only a band around the edge counts: a field's caret or a
        // button's tint inside is no mark that can be told from afar.
        const QRect inside = QRect(QPoint(4, 4), widget->size()).adjusted(2, 2, -2, -2);
        double strongest = 1.0;
        for (int y = 0; y < with.height(); ++y) {
            for (int x = 0; x < with.width(); ++x) {
                if (!inside.contains(x, y))
                    strongest = std::max(strongest, ScreenReading::contrast(with.pixel(x, y), without.pixel(x, y)));
            }
        }
        QVERIFY2(strongest >= 3.0, qPrintable(QString::number(strongest)));
    }

    void placeholderIsReadable_data()
    {
        QTest::addColumn<QString>("where");
        QTest::newRow("e-mail entry") << "email entry";
        QTest::newRow("settings") << "settings";
    }
    void placeholderIsReadable()
    {
        QFETCH(QString, where);
        WindowFixture f(true);
        openAt(f, where, english);
        auto *email = qobject_cast<QLineEdit *>(controlOf(f, where, QStringLiteral("email")));
        QVERIFY(email && !email->placeholderText().isEmpty());
        const QPalette palette = email->palette();
        const double ratio = ScreenReading::contrast(palette.color(QPalette::PlaceholderText).rgb(), palette.color(QPalette::Base).rgb());
        QVERIFY2(ratio >= 4.5, qPrintable(QString::number(ratio)));
    }
};

QTEST_MAIN(TestScreenAccess)
#include "tst_screenaccess.moc"
