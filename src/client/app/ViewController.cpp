#include "client/app/ViewController.h"

#include "client/app/AppDelegate.h"
#include "client/app/Screen.h"
#include "client/app/ScreenLook.h"
#include "client/app/Storyboard.h"
#include "client/app/UrlOpener.h"
#include "client/core/ConfigFiles.h"
#include "client/core/Constants.h"
#include "client/core/Log.h"
#include "ui_ViewController.h"

#include <QGraphicsOpacityEffect>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QPropertyAnimation>
#include <QTimer>

namespace tavoren::client {

namespace {
constexpr int crossfadeMilliseconds = 250;
} // namespace

ViewController::ViewController(AppDelegate &appDelegate, QWidget *parent)
    : QWidget(parent)
    , m_appDelegate(appDelegate)
    , m_config(ConfigFiles(appDelegate.environment()).parseAdminConfig())
    , m_clientConfig(ConfigFiles(appDelegate.environment()).parseConfig())
    , m_ui(std::make_unique<Ui::ViewController>())
{
    m_ui->setupUi(this);
    connect(m_ui->privacy, &QAbstractButton::clicked, this, &ViewController::Privacy);
    connect(m_ui->terms, &QAbstractButton::clicked, this, &ViewController::Terms);
    // Return on a focused link opens that link, as on a screen's buttons.
    m_ui->privacy->setAutoDefault(true);
    m_ui->terms->setAutoDefault(true);
    viewDidLoad();
}

ViewController::~ViewController()
{
    for (const QPointer<Screen> &child : std::as_const(m_children))
        delete child.data();
}

QString ViewController::firstScreenIdentifier(const ClientEnvironment &environment, const QStringList &arguments,
                                             const Config &clientConfig)
{
    if (arguments.size() <= 1) {
        Log(environment.systemLog, LogLevel::Debug, QString(), QStringLiteral("Trying to launch from the doc or app"));
        return Constants::dockerError;
    }
    if (!clientConfig.owneremail.isEmpty() && Constants::isPrivateInstall(environment))
        return Constants::loaderViewController;
    return Constants::emailEntryViewController;
}

void ViewController::placeLogos()
{
    ScreenLook::showImage(m_ui->tavorenLogoBig, m_clientConfig.tavorenlogobig, m_appDelegate.environment().systemLog);
    ScreenLook::showImage(m_ui->tavorenByKyrLogo, m_clientConfig.tavorenlogosmall, m_appDelegate.environment().systemLog);
}

void ViewController::viewDidLoad()
{
    placeLogos();
    Storyboard &storyboard = m_appDelegate.storyboard();
    Screen *first =
        storyboard.instantiateController(firstScreenIdentifier(m_appDelegate.environment(), m_appDelegate.arguments(), m_clientConfig));
    if (!first)
        return;
    insertChild(first, 0);
    first->loadViewIfNeeded();
    // The window content takes the size of the first screen.
    m_ui->contentView->setFixedSize(first->sizeHint().expandedTo(first->minimumSize()).boundedTo(first->maximumSize()));
    layOutChildren();
    first->show();
}

void ViewController::viewWillAppear()
{
    // The window keeps its size; its other decorations stay.
    if (QWidget *window = this->window()) {
        window->adjustSize();
        window->setFixedSize(window->sizeHint());
    }
    ScreenLook::paintWhite(this);
}

void ViewController::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (m_appeared)
        return;
    m_appeared = true;
    viewWillAppear();
    if (Screen *screen = currentScreen()) {
        screen->viewWillAppear();
        QTimer::singleShot(0, screen, [this, screen] {
            screen->viewDidAppear();
            screen->focusMainControl();
            emit screenOpened(screen);
        });
    }
}

void ViewController::keyPressEvent(QKeyEvent *event)
{
    // Return from the logos or the footer presses the screen's default button.
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    Screen *screen = currentScreen();
    if (enter && (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier && screen && screen->pressDefaultButton()) {
        event->accept();
        return;
    }
    QWidget::keyPressEvent(event);
}

void ViewController::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    layOutChildren();
}

void ViewController::layOutChildren()
{
    for (const QPointer<Screen> &child : std::as_const(m_children)) {
        if (child)
            child->setGeometry(m_ui->contentView->rect());
    }
}

void ViewController::insertChild(Screen *screen, int index)
{
    if (!screen)
        return;
    m_children.insert(std::clamp(index, 0, childCount()), screen);
    screen->setParentViewController(this);
    screen->setParent(m_ui->contentView);
    screen->hide();
    layOutChildren();
}

void ViewController::removeChildAt(int index)
{
    if (index < 0 || index >= childCount())
        return;
    Screen *screen = m_children.takeAt(index);
    if (!screen)
        return;
    screen->hide();
    screen->setParentViewController(nullptr);
    screen->deleteLater();
}

void ViewController::transition(Screen *from, Screen *to)
{
    if (!to)
        return;
    to->loadViewIfNeeded();
    to->setGeometry(m_ui->contentView->rect());

    // The outgoing screen fades out as a picture over the incoming one.
    QLabel *fade = nullptr;
    if (from && from->isVisible()) {
        fade = new QLabel(m_ui->contentView);
        fade->setPixmap(from->grab());
        fade->setGeometry(from->geometry());
        fade->setAttribute(Qt::WA_TransparentForMouseEvents);
    }

    to->viewWillAppear();
    to->show();
    if (from) {
        from->hide();
        from->viewDidDisappear();
    }
    if (fade) {
        fade->show();
        fade->raise();
        auto *opacity = new QGraphicsOpacityEffect(fade);
        fade->setGraphicsEffect(opacity);
        auto *animation = new QPropertyAnimation(opacity, "opacity", fade);
        animation->setDuration(crossfadeMilliseconds);
        animation->setStartValue(1.0);
        animation->setEndValue(0.0);
        connect(animation, &QPropertyAnimation::finished, fade, &QObject::deleteLater);
        animation->start();
    }
    QTimer::singleShot(0, to, [this, to] {
        to->viewDidAppear();
        to->focusMainControl();
        emit screenOpened(to);
    });
}

void ViewController::Privacy()
{
    UrlOpener::open(m_config.privacypolicy, m_appDelegate.environment());
}

void ViewController::Terms()
{
    UrlOpener::open(m_config.termsofuse, m_appDelegate.environment());
}

} // namespace tavoren::client
