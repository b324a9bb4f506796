#pragma once

#include "shared/StringTable.h"

#include "installer/app/KYSheet.h"

#include <memory>

namespace Ui {
class KYQuitSheet;
}

namespace tavoren::installer {

// Says to wait: the installer cannot quit or close while it installs or
// removes. Its OK only closes it.
class KYQuitSheet final : public KYSheet
{
    Q_OBJECT

public:
    explicit KYQuitSheet(QWidget *window);
    ~KYQuitSheet() override;

    Ui::KYQuitSheet &ui() { return *m_ui; }
    void localize(const shared::StringTable &strings);

signals:
    void okClicked();

private:
    std::unique_ptr<Ui::KYQuitSheet> m_ui;
};

} // namespace tavoren::installer
