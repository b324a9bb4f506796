#pragma once

#include <QWidget>

namespace tavoren::installer {

// A sheet of the installer window: a window of its own, attached to the
// installer window and modal to it, hidden until presented.
class KYSheet : public QWidget
{
    Q_OBJECT

public:
    explicit KYSheet(QWidget *window);
    void present();
};

} // namespace tavoren::installer
