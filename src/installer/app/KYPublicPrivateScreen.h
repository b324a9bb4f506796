#pragma once

#include <QWidget>
#include <memory>

namespace Ui {
class KYPublicPrivateScreen;
}

namespace tavoren::installer {

class InstallerStrings;

// The public or private computer screen: two boxes of which at most one is
// ticked; a click on a choice's text ticks its box, as on its box.
class KYPublicPrivateScreen final : public QWidget
{
    Q_OBJECT

public:
    explicit KYPublicPrivateScreen(QWidget *parent = nullptr);
    ~KYPublicPrivateScreen() override;

    Ui::KYPublicPrivateScreen &ui() { return *m_ui; }
    void localize(const InstallerStrings &strings);

signals:
    void publicClicked();
    void privateClicked();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    std::unique_ptr<Ui::KYPublicPrivateScreen> m_ui;
};

} // namespace tavoren::installer
