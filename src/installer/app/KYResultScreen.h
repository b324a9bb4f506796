#pragma once

#include "shared/StringTable.h"

#include <QWidget>
#include <memory>

namespace Ui {
class KYResultScreen;
}

namespace tavoren::installer {

// The result screen: success or failure, in words and a picture.
class KYResultScreen final : public QWidget
{
    Q_OBJECT

public:
    explicit KYResultScreen(QWidget *parent = nullptr);
    ~KYResultScreen() override;

    Ui::KYResultScreen &ui() { return *m_ui; }
    void showResult(bool installFailed, const shared::StringTable &strings);

private:
    std::unique_ptr<Ui::KYResultScreen> m_ui;
};

} // namespace tavoren::installer
