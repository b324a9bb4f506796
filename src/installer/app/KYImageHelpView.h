#pragma once

#include <QLabel>
#include <QPointer>

namespace tavoren::installer {

// The help icon beside the terms: shows how to install while the mouse
// rests on it, in a small view of its own placed under the icon.
class KYImageHelpView final : public QLabel
{
    Q_OBJECT

public:
    explicit KYImageHelpView(QWidget *parent = nullptr);

    void setTooltipView(QWidget *view) { m_tooltipView = view; }
    void setParentWindow(QWidget *window) { m_parentWindow = window; }
    QWidget *tooltipView() const { return m_tooltipView; }

protected:
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    QPointer<QWidget> m_tooltipView;
    QPointer<QWidget> m_parentWindow;
};

} // namespace tavoren::installer
