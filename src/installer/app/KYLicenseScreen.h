#pragma once

#include "shared/StringTable.h"

#include <QWidget>
#include <memory>

namespace Ui {
class KYLicenseScreen;
}

namespace tavoren::installer {

// The licence screen: its heading and the licence text, in the user's
// language when there is one.
class KYLicenseScreen final : public QWidget
{
    Q_OBJECT

public:
    explicit KYLicenseScreen(QWidget *parent = nullptr);
    ~KYLicenseScreen() override;

    Ui::KYLicenseScreen &ui() { return *m_ui; }
    void localize(const shared::StringTable &strings);
    void clear();
    // Where the focus goes as the screen opens: the text, to read it.
    QWidget *mainControl() const;
    // The licence, or "License file missing!" when it cannot be read.
    void showLicenseText();

private:
    std::unique_ptr<Ui::KYLicenseScreen> m_ui;
};

} // namespace tavoren::installer
