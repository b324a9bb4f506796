#include "installer/app/KYWelcomeScreen.h"

#include "shared/StringTable.h"
#include "shared/widgets/FocusMark.h"
#include "ui_KYWelcomeScreen.h"

#include <QApplication>
#include <QMouseEvent>
#include <QShortcut>

namespace tavoren::installer {

KYWelcomeScreen::KYWelcomeScreen(const InstallerState &state, KYNotificationCenter &center, QWidget *parent)
    : QWidget(parent)
    , m_ui(std::make_unique<Ui::KYWelcomeScreen>())
{
    m_ui->setupUi(this);
    m_images.setSourceIconImage(KYSharedImages::named(QStringLiteral("Alert.png")));
    m_ui->sourceIconView->setState(&state);
    m_ui->sourceIconView->setNotificationCenter(&center);
    m_ui->sourceIconView->setSharedImages(&m_images);
    m_ui->destinationIconView->setNotificationCenter(&center);
    m_ui->backgroundView->setSharedImages(&m_images);

    // The help icon's view: a small note under it.
    m_helpText = new QLabel(this, Qt::ToolTip);
    m_helpText->setObjectName(QStringLiteral("helpTooltipView"));
    m_helpText->setWordWrap(true);
    m_helpText->setStyleSheet(QStringLiteral(
        "QLabel { background: #fbfcfe; color: #1b2b44; border: 1px solid #b8c4d6; border-radius: 4px; }"));
    m_helpText->setMaximumWidth(360);
    m_helpText->setMargin(8);
    m_ui->helpIconView->setTooltipView(m_helpText);

    connect(m_ui->checkBoxButton, &QAbstractButton::clicked, this, [this] { emit termsClicked(m_ui->checkBoxButton); });
    connect(m_ui->termsOfServiceButton, &QAbstractButton::clicked, this, &KYWelcomeScreen::licenseLinkClicked);
    // A click on the terms' text ticks the box, as on the box.
    m_ui->agreeTermsOfKYR->installEventFilter(this);
    m_ui->agreeTermsOfKYR->setBuddy(m_ui->checkBoxButton);
    setTermsBorder(false);
    // F1 anywhere on the screen brings the focus, and so the help, to "?".
    auto *help = new QShortcut(QKeySequence(Qt::Key_F1), this);
    help->setContext(Qt::WidgetWithChildrenShortcut);
    connect(help, &QShortcut::activated, this, [this] {
        m_ui->helpIconView->setFocus(Qt::ShortcutFocusReason);
        m_ui->helpIconView->showTooltip();
    });
}

KYWelcomeScreen::~KYWelcomeScreen() = default;

void KYWelcomeScreen::setParentWindow(QWidget *window)
{
    m_ui->helpIconView->setParentWindow(window);
}

bool KYWelcomeScreen::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_ui->agreeTermsOfKYR && event->type() == QEvent::MouseButtonRelease
        && m_ui->checkBoxButton->isEnabled()) {
        m_ui->checkBoxButton->click();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void KYWelcomeScreen::localize(const shared::StringTable &strings)
{
    m_ui->titleDragandDropMessage->setText(strings.lookup(QStringLiteral("TitleMessage")));
    m_ui->initializingInstaller->setText(strings.lookup(QStringLiteral("Intializing")));
    m_ui->agreeTermsOfKYR->setText(strings.lookup(QStringLiteral("IAgreeTermsOfKYR")));
    m_ui->termsOfServiceButton->setText(strings.lookup(QStringLiteral("TermsOfService")));
    m_helpText->setText(strings.lookup(QStringLiteral("HelpMessage")));
    // The terms read as a link beside the box; its focus mark is a frame in
    // the link's blue (a style sheet without one hides the style's mark).
    m_ui->termsOfServiceButton->setStyleSheet(
        QStringLiteral("QPushButton { border: 2px solid transparent; border-radius: 3px; color: %1;"
                       " text-decoration: underline; padding: 0 2px; }"
                       " QPushButton:focus { border-color: %1; }")
            .arg(shared::FocusMark::colour().name()));
    localizeAccessibility(strings);
    m_ui->termsOfServiceButton->adjustSize();
    m_ui->termsOfServiceButton->setCursor(Qt::PointingHandCursor);
    m_ui->backgroundView->setImageName(strings.lookup(QStringLiteral("backgroundImage")));
}

void KYWelcomeScreen::localizeAccessibility(const shared::StringTable &strings)
{
    const auto text = [&strings](const char *key) { return strings.lookup(QLatin1String(key)); };
    // The box carries no text of its own: its name is the terms' label.
    m_ui->checkBoxButton->setAccessibleName(m_ui->agreeTermsOfKYR->text());
    m_ui->sourceIconView->setAccessibleName(text("AccessibleProduct"));
    m_ui->sourceIconView->setAccessibleDescription(text("AccessibleProductHint"));
    m_ui->destinationIconView->setAccessibleName(text("StartupDisk"));
    m_ui->arrowImageView->setAccessibleName(text("AccessibleArrow"));
    m_ui->warningImageView->setAccessibleName(text("Warning"));
    m_ui->initializationProgressIndicator->setAccessibleName(text("Intializing"));
    m_ui->helpIconView->setAccessibleName(text("AccessibleHelp"));
    m_ui->helpIconView->setAccessibleDescription(m_helpText->text());
    m_ui->termsOfServiceButton->setAccessibleDescription(text("License"));
}

QWidget *KYWelcomeScreen::mainControl() const
{
    return m_ui->checkBoxButton->isEnabled() ? m_ui->checkBoxButton : nullptr;
}

void KYWelcomeScreen::showPackageFound(const QString &applicationImage)
{
    m_images.setSourceIconImage(KYSharedImages::named(applicationImage));
    m_ui->sourceIconView->refreshImage();
    KYSharedImages::show(m_ui->arrowImageView, QStringLiteral("Drag_arrow.png"));
    m_ui->warningField->setFont(m_ui->destinationNameLabel->font());
    m_ui->initializationRow->setVisible(true);
}

void KYWelcomeScreen::showPackageMissing(const QString &missingText)
{
    m_ui->packageNameLabel->setStyleSheet(QStringLiteral("color: #c62828;"));
    m_ui->packageNameLabel->setText(missingText);
    m_images.setSourceIconImage(KYSharedImages::named(QStringLiteral("Alert.png")));
    m_ui->sourceIconView->refreshImage();
    m_ui->warningRow->setVisible(false);
    m_ui->initializationRow->setVisible(false);
}

void KYWelcomeScreen::showDetectionResult(const QString &productLabel, const std::optional<QString> &warning)
{
    m_ui->packageNameLabel->setText(productLabel);
    m_ui->initializationRow->setVisible(false);
    if (warning) {
        m_ui->warningField->setText(*warning);
        KYSharedImages::show(m_ui->warningImageView, QStringLiteral("Alert.png"));
    }
    m_ui->warningRow->setVisible(warning.has_value());
    m_ui->checkBoxButton->setEnabled(true);
    // The terms are what to do next, unless the user went elsewhere already.
    if (isVisible() && !isAncestorOf(QApplication::focusWidget()))
        m_ui->checkBoxButton->setFocus(Qt::OtherFocusReason);
}

void KYWelcomeScreen::setDestinationDetails(const QString &text)
{
    m_ui->destinationNameLabel->setText(text);
    m_ui->destinationIconView->setAccessibleDescription(text);
}

bool KYWelcomeScreen::termsChecked() const
{
    return m_ui->checkBoxButton->isChecked();
}

bool KYWelcomeScreen::termsEnabled() const
{
    return m_ui->checkBoxButton->isEnabled();
}

void KYWelcomeScreen::setTermsEnabled(bool enabled)
{
    m_ui->checkBoxButton->setEnabled(enabled);
}

void KYWelcomeScreen::setTermsBorder(bool red)
{
    m_ui->termsAndConditionsViewBox->setStyleSheet(
        QStringLiteral("#termsAndConditionsViewBox { border: 2px solid %1; border-radius: 4px; }")
            .arg(red ? QColor(Qt::red).name() : QStringLiteral("transparent")));
}

void KYWelcomeScreen::setLicenseLinkVisible(bool visible)
{
    m_ui->termsOfServiceButton->setVisible(visible);
}

void KYWelcomeScreen::setLicenseLinkEnabled(bool enabled)
{
    m_ui->termsOfServiceButton->setEnabled(enabled);
}

} // namespace tavoren::installer
