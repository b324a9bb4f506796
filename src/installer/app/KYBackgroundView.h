#pragma once

#include <QString>
#include <QWidget>

namespace tavoren::installer {

// The drag-to-install screen's background: the image the localised
// "backgroundImage" names, drawn whole at the view's origin under the icons.
class KYBackgroundView final : public QWidget
{
    Q_OBJECT

public:
    explicit KYBackgroundView(QWidget *parent = nullptr);
    void setImageName(const QString &name);

protected:
    void paintEvent(QPaintEvent *event) override;
};

} // namespace tavoren::installer
