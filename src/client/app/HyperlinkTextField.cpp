#include "client/app/HyperlinkTextField.h"

#include "client/app/UrlOpener.h"
#include "client/core/ConfigFiles.h"
#include "client/core/Constants.h"

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

void HyperlinkTextField::mousePressEvent(QMouseEvent *event)
{
    event->accept();
    if (Constants::isStatusPage() && m_environment)
        UrlOpener::open(m_config.statuspageurl, *m_environment);
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
