#pragma once

#include <QAccessibleInterface>
#include <QList>
#include <QRgb>

class QWidget;

namespace tavoren::testsupport {

// What tests of a window need to read it as a screen reader and a keyboard
// user meet it.
class ScreenReading
{
public:
    // A window shown and in front; the offscreen platform activates a
    // window only once it is exposed.
    static bool inFront(QWidget *window);
    // Every shown object below `object`, as a screen reader walks them.
    static QList<QAccessibleInterface *> shownBelow(QAccessibleInterface *object);
    // Whether a screen reader announces `object` by name: what takes the
    // focus, controls, pictures, windows.
    static bool needsName(QAccessibleInterface *object);
    // WCAG contrast ratio between two colours.
    static double contrast(QRgb a, QRgb b);
};

} // namespace tavoren::testsupport
