#pragma once

#include <QDialog>
#include <QPointer>

class QAbstractButton;

namespace tavoren::installer {

// A sheet of the installer window: a dialog of its own, attached to the
// installer window and modal to it, hidden until presented. Escape presses
// its escape button (the one that only closes it), or just closes it.
class KYSheet : public QDialog
{
    Q_OBJECT

public:
    explicit KYSheet(QWidget *window);
    void present();
    void setEscapeButton(QAbstractButton *button);

public slots:
    void reject() override;

private:
    QPointer<QAbstractButton> m_escapeButton;
};

} // namespace tavoren::installer
