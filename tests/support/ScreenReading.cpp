#include "support/ScreenReading.h"

#include <QApplication>
#include <QTest>
#include <QWidget>

#include <algorithm>
#include <cmath>

namespace tavoren::testsupport {

namespace {
constexpr int patience = 20000;

void collectShown(QAccessibleInterface *object, QList<QAccessibleInterface *> &shown, int depth)
{
    if (!object || depth > 40 || object->state().invisible)
        return;
    shown.append(object);
    for (int i = 0; i < object->childCount(); ++i)
        collectShown(object->child(i), shown, depth + 1);
}
} // namespace

bool ScreenReading::inFront(QWidget *window)
{
    if (!QTest::qWaitForWindowExposed(window))
        return false;
    window->activateWindow();
    return QTest::qWaitFor([window] { return QApplication::activeWindow() == window; }, patience);
}

QList<QAccessibleInterface *> ScreenReading::shownBelow(QAccessibleInterface *object)
{
    QList<QAccessibleInterface *> shown;
    collectShown(object, shown, 0);
    return shown;
}

bool ScreenReading::needsName(QAccessibleInterface *object)
{
    static const QList<QAccessible::Role> roles = {
        QAccessible::PushButton,  QAccessible::CheckBox,  QAccessible::RadioButton, QAccessible::EditableText,
        QAccessible::ProgressBar, QAccessible::Graphic,   QAccessible::Dialog,      QAccessible::Window,
        QAccessible::ButtonMenu,  QAccessible::ComboBox,  QAccessible::Link,        QAccessible::SpinBox,
    };
    return object->state().focusable || roles.contains(object->role());
}

double ScreenReading::contrast(QRgb a, QRgb b)
{
    const auto luminance = [](QRgb rgb) {
        const auto channel = [](int value) {
            const double c = value / 255.0;
            return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
        };
        return 0.2126 * channel(qRed(rgb)) + 0.7152 * channel(qGreen(rgb)) + 0.0722 * channel(qBlue(rgb));
    };
    const double la = luminance(a);
    const double lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

} // namespace tavoren::testsupport
