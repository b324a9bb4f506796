#pragma once

#include <QLabel>
#include <QPointer>

namespace tavoren::installer {

// The help icon beside the terms: shows how to install while the mouse
// rests on it or while it has the keyboard focus (F1 brings the focus), in
// a small view of its own placed under the icon; Escape hides it.
class KYImageHelpView final : public QLabel
{
    Q_OBJECT

public:
    explicit KYImageHelpView(QWidget *parent = nullptr);

    void setTooltipView(QWidget *view) { m_tooltipView = view; }
    void setParentWindow(QWidget *window) { m_parentWindow = window; }
    QWidget *tooltipView() const { return m_tooltipView; }
    void showTooltip();
    void hideTooltip();

protected:
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    QPointer<QWidget> m_tooltipView;
    QPointer<QWidget> m_parentWindow;
};

} // namespace tavoren::installer
