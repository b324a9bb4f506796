#pragma once

#include <QByteArrayList>
#include <QTcpServer>

namespace tavoren::testsupport {

// A small HTTP proxy on loopback for proxy tests: forwards absolute-form
// requests and tunnels CONNECT to the same port on loopback, whatever host
// is named, and records each request line it saw.
// Runs in the event loop of the thread that owns it.
class ForwardProxy final : public QTcpServer
{
    Q_OBJECT

public:
    explicit ForwardProxy(QObject *parent = nullptr);
    bool start();
    quint16 port() const { return serverPort(); }
    QByteArrayList requestLines() const { return m_requestLines; }

protected:
    void incomingConnection(qintptr socketDescriptor) override;

private:
    QByteArrayList m_requestLines;
};

} // namespace tavoren::testsupport
