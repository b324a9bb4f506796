#pragma once

#include "shared/StringTable.h"

#include <QWidget>
#include <memory>

class QButtonGroup;

namespace Ui {
class KYPublicPrivateScreen;
}

namespace tavoren::installer {

// The public or private computer screen: one choice of two, exactly one
// ticked at all times (private at first); a click on a choice's text ticks
// it, as on its button, and Space or the arrow keys move the choice.
class KYPublicPrivateScreen final : public QWidget
{
    Q_OBJECT

public:
    explicit KYPublicPrivateScreen(QWidget *parent = nullptr);
    ~KYPublicPrivateScreen() override;

    Ui::KYPublicPrivateScreen &ui() { return *m_ui; }
    void localize(const shared::StringTable &strings);
    // What the screen shows, hence what is recorded.
    bool isPrivateChosen() const;
    // The ticked choice, where focus goes as the screen opens.
    QWidget *chosenButton() const;

signals:
    void publicClicked();
    void privateClicked();
    // The shown choice changed, however it was made.
    void choiceChanged(bool isPrivate);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    std::unique_ptr<Ui::KYPublicPrivateScreen> m_ui;
    QButtonGroup *m_choice = nullptr;
};

} // namespace tavoren::installer
