#include "client/app/HyperlinkTextField.h"

#include "client/app/UrlOpener.h"
#include "client/core/ConfigFiles.h"
#include "client/core/Constants.h"

#include <QKeyEvent>
#include <QMouseEvent>

namespace tavoren::client {

HyperlinkTextField::HyperlinkTextField(QWidget *parent)
    : QLabel(parent)
{
    setTextFormat(Qt::RichText);
    setTextInteractionFlags(Qt::NoTextInteraction);
    setOpenExternalLinks(false);
}

void HyperlinkTextField::setEnvironment(const ClientEnvironment &environment)
{
    m_environment = &environment;
    m_config = ConfigFiles(environment).parseAdminConfig();
}

void HyperlinkTextField::setLinksToStatusPage(bool links, const QString &description)
{
    setFocusPolicy(links ? Qt::StrongFocus : Qt::NoFocus);
    setAccessibleDescription(links ? description : QString());
    // The footer links' mark: a frame in the link colour, 5.7:1 on the window.
    setStyleSheet(links ? QStringLiteral("QLabel { border: 2px solid transparent; border-radius: 3px; } "
                                         "QLabel:focus { border-color: #1565c0; }")
                        : QString());
}

void HyperlinkTextField::openStatusPage()
{
    if (Constants::isStatusPage() && m_environment)
        UrlOpener::open(m_config.statuspageurl, *m_environment);
}

void HyperlinkTextField::keyPressEvent(QKeyEvent *event)
{
    const bool press = event->key() == Qt::Key_Space || event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (press && focusPolicy() != Qt::NoFocus && (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
        event->accept();
        openStatusPage();
        return;
    }
    QLabel::keyPressEvent(event);
}

void HyperlinkTextField::mousePressEvent(QMouseEvent *event)
{
    event->accept();
    openStatusPage();
}

void HyperlinkTextField::mouseReleaseEvent(QMouseEvent *event)
{
    event->accept();
}

void HyperlinkTextField::mouseDoubleClickEvent(QMouseEvent *event)
{
    event->accept();
}

} // namespace tavoren::client
