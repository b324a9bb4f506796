#pragma once

#include <QLabel>

namespace tavoren::installer {

class KYNotificationCenter;

// The destination disk on the drag-to-install screen: takes the product
// icon's drag and only that, frames itself in grey while the drag hovers
// over it, and posts the drop so the window moves to the next screen.
class KYDestinationView final : public QLabel
{
    Q_OBJECT

public:
    explicit KYDestinationView(QWidget *parent = nullptr);
    bool highlight() const { return m_highlight; }
    // Where a drop is posted.
    void setNotificationCenter(KYNotificationCenter *center) { m_center = center; }

protected:
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragLeaveEvent(QDragLeaveEvent *event) override;
    void dropEvent(QDropEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void setHighlight(bool on);

    bool m_highlight = false;
    KYNotificationCenter *m_center = nullptr;
};

} // namespace tavoren::installer
