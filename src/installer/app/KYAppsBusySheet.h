#pragma once

#include "shared/StringTable.h"

#include "installer/app/KYSheet.h"

#include <memory>

namespace Ui {
class KYAppsBusySheet;
}

namespace tavoren::installer {

// Asks to close running applications before installing; Continue goes on,
// Cancel stops. No step of the flow opens it.
class KYAppsBusySheet final : public KYSheet
{
    Q_OBJECT

public:
    explicit KYAppsBusySheet(QWidget *window);
    ~KYAppsBusySheet() override;

    Ui::KYAppsBusySheet &ui() { return *m_ui; }
    void localize(const shared::StringTable &strings);

signals:
    void cancelClicked();

private:
    std::unique_ptr<Ui::KYAppsBusySheet> m_ui;
};

} // namespace tavoren::installer
