#pragma once

#include "shared/StringTable.h"

#include "installer/app/KYSheet.h"

#include <memory>

namespace Ui {
class KYWarningSheet;
}

namespace tavoren::installer {

// A warning before installing, with OK (install) and Cancel. No step of the
// flow opens it.
class KYWarningSheet final : public KYSheet
{
    Q_OBJECT

public:
    explicit KYWarningSheet(QWidget *window);
    ~KYWarningSheet() override;

    Ui::KYWarningSheet &ui() { return *m_ui; }
    void localize(const shared::StringTable &strings);
    // The warning's text back in black.
    void resetTextColour();

signals:
    void okClicked();
    void cancelClicked();

private:
    std::unique_ptr<Ui::KYWarningSheet> m_ui;
};

} // namespace tavoren::installer
