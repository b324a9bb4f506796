#pragma once

#include "shared/StringTable.h"

#include <QWidget>
#include <memory>

namespace Ui {
class KYProgressScreen;
}

namespace tavoren::installer {

// The progress screen: the product's image, the bold headline, the bar (0 to
// 100) and the phase text, for the removal and then the installation.
class KYProgressScreen final : public QWidget
{
    Q_OBJECT

public:
    explicit KYProgressScreen(QWidget *parent = nullptr);
    ~KYProgressScreen() override;

    Ui::KYProgressScreen &ui() { return *m_ui; }
    void localize(const shared::StringTable &strings);
    // Where the focus goes as the screen opens: the bar, which a screen
    // reader reads with its value.
    QWidget *mainControl() const;
    // As the screen comes: the product's image, no phase text yet.
    void prepare(const QString &applicationImage);
    void setHeadline(const QString &text);
    // The bar's value, and the phase text unless `phase` is empty.
    void setProgress(double value, const QString &phase);
    // The installation's bar starts at 10, drawn at once unless the window
    // is minimised.
    void startBar();

private:
    std::unique_ptr<Ui::KYProgressScreen> m_ui;
};

} // namespace tavoren::installer
