#pragma once

#include "client/core/AdminConfig.h"
#include "client/core/ClientEnvironment.h"

#include <QLabel>

namespace tavoren::client {

// The error screen's message field: a click opens the service status page
// while the message shown points to it, and never selects or edits text.
class HyperlinkTextField final : public QLabel
{
    Q_OBJECT

public:
    explicit HyperlinkTextField(QWidget *parent = nullptr);
    // Made by the screen's resource: the screen hands the environment in
    // before the field is shown, and it reads the configuration from there.
    void setEnvironment(const ClientEnvironment &environment);

    const AdminConfig &config() const { return m_config; }
    // While the message points to the status page the field is also a
    // link for the keyboard: a Tab stop, opened by Space or Return.
    void setLinksToStatusPage(bool links, const QString &description);

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;

private:
    void openStatusPage();

    AdminConfig m_config;
    const ClientEnvironment *m_environment = nullptr;
};

} // namespace tavoren::client
