#pragma once

#include <QString>

class QLabel;
class QLineEdit;
class QWidget;

namespace tavoren::shared {
class SystemLog;
}

namespace tavoren::client {

// What the client's windows share in looks: configured images in their
// views and the white background.
class ScreenLook
{
public:
    // Shows the image at `path` in the view, scaled down into the view's
    // maximum size; false (view unchanged) when it does not load. Read
    // through ImageLoader, which logs what it skips.
    static bool showImage(QLabel *view, const QString &path, shared::SystemLog &systemLog);
    static void paintWhite(QWidget *widget);
    // A placeholder dark enough to read (4.5:1 and more on white).
    static void makePlaceholderReadable(QLineEdit *field);
    // Names the field's clear button, which has only an icon.
    static void nameClearButton(QLineEdit *field, const QString &name);
};

} // namespace tavoren::client
