#pragma once

#include "shared/StringTable.h"

#include "installer/app/KYSharedImages.h"

#include <QWidget>
#include <memory>
#include <optional>

class QAbstractButton;
class QLabel;

namespace Ui {
class KYWelcomeScreen;
}

namespace tavoren::installer {

class KYNotificationCenter;
struct InstallerState;

// The drag-to-install screen: the product and the startup disk with the
// drag between them, the previous-version warning, the detection spinner,
// and the terms with their link and help. A click on the product and a drop
// on the disk are posted to the window's notification centre.
class KYWelcomeScreen final : public QWidget
{
    Q_OBJECT

public:
    KYWelcomeScreen(const InstallerState &state, KYNotificationCenter &center, QWidget *parent = nullptr);
    ~KYWelcomeScreen() override;

    Ui::KYWelcomeScreen &ui() { return *m_ui; }
    void localize(const shared::StringTable &strings);
    // The window the help note stays inside.
    void setParentWindow(QWidget *window);

    // Detection: the product's image and the spinner, or the red missing
    // text; then the product label and the warning, and the terms may be
    // accepted.
    void showPackageFound(const QString &applicationImage);
    void showPackageMissing(const QString &missingText);
    void showDetectionResult(const QString &productLabel, const std::optional<QString> &warning);
    void setDestinationDetails(const QString &text);

    bool termsChecked() const;
    bool termsEnabled() const;
    void setTermsEnabled(bool enabled);
    // The frame around the terms: red to ask for them, or none.
    void setTermsBorder(bool red);
    // The link to the licence (the terms-of-service button).
    void setLicenseLinkVisible(bool visible);
    void setLicenseLinkEnabled(bool enabled);
    // Where the focus goes as the screen opens: the terms once they may be
    // accepted, else nothing of this screen.
    QWidget *mainControl() const;

signals:
    // The accept-terms check box was clicked (or its text).
    void termsClicked(QAbstractButton *checkBox);
    void licenseLinkClicked();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void localizeAccessibility(const shared::StringTable &strings);

    std::unique_ptr<Ui::KYWelcomeScreen> m_ui;
    KYSharedImages m_images;
    QLabel *m_helpText = nullptr;
};

} // namespace tavoren::installer
