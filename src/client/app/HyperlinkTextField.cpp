#include "client/app/HyperlinkTextField.h"

#include "client/app/UrlOpener.h"
#include "client/core/ConfigFiles.h"
#include "client/core/Constants.h"

#include <QMouseEvent>

namespace tavoren::client {

HyperlinkTextField::HyperlinkTextField(QWidget *parent)
    : QLabel(parent)
    , m_config(ConfigFiles::parseAdminConfig())
{
    setTextFormat(Qt::RichText);
    setTextInteractionFlags(Qt::NoTextInteraction);
    setOpenExternalLinks(false);
}

void HyperlinkTextField::mousePressEvent(QMouseEvent *event)
{
    event->accept();
    if (Constants::isStatusPage())
        UrlOpener::open(m_config.statuspageurl);
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
