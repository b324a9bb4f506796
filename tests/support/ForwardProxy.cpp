#include "support/ForwardProxy.h"

#include <QTcpSocket>
#include <QUrl>

namespace tavoren::testsupport {

namespace {
constexpr qsizetype maxHeadBytes = 64 * 1024;

void pipe(QTcpSocket *from, QTcpSocket *to)
{
    QObject::connect(from, &QTcpSocket::readyRead, to, [from, to] { to->write(from->readAll()); });
    QObject::connect(from, &QTcpSocket::disconnected, to, [to] { to->disconnectFromHost(); });
}

// Joins client and upstream once the upstream is connected.
void join(QTcpSocket *client, QTcpSocket *upstream, const QByteArray &firstBytes, bool tunnel)
{
    QObject::connect(upstream, &QTcpSocket::connected, client, [=] {
        if (tunnel)
            client->write("HTTP/1.1 200 Connection established\r\n\r\n");
        else
            upstream->write(firstBytes);
        pipe(client, upstream);
        pipe(upstream, client);
        if (client->bytesAvailable() > 0)
            upstream->write(client->readAll());
    });
    QObject::connect(upstream, &QTcpSocket::errorOccurred, client, [client] { client->disconnectFromHost(); });
}
} // namespace

ForwardProxy::ForwardProxy(QObject *parent)
    : QTcpServer(parent)
{
}

bool ForwardProxy::start()
{
    return listen(QHostAddress::LocalHost, 0);
}

void ForwardProxy::incomingConnection(qintptr socketDescriptor)
{
    auto *client = new QTcpSocket(this);
    client->setSocketDescriptor(socketDescriptor);
    connect(client, &QTcpSocket::disconnected, client, &QObject::deleteLater);
    auto *head = new QByteArray;
    connect(client, &QObject::destroyed, client, [head] { delete head; });

    connect(client, &QTcpSocket::readyRead, this, [this, client, head] {
        if (client->property("joined").toBool())
            return;
        *head += client->readAll();
        const qsizetype end = head->indexOf("\r\n\r\n");
        if (end < 0) {
            if (head->size() > maxHeadBytes)
                client->disconnectFromHost();
            return;
        }
        client->setProperty("joined", true);
        const qsizetype lineEnd = head->indexOf("\r\n");
        const QByteArray line = head->left(lineEnd);
        const QByteArrayList parts = line.split(' ');
        m_requestLines.append(line);
        if (parts.size() != 3) {
            client->disconnectFromHost();
            return;
        }
        auto *upstream = new QTcpSocket(client);
        if (parts[0] == "CONNECT") {
            const QByteArrayList hostPort = parts[1].split(':');
            join(client, upstream, {}, true);
            // Every host is served on loopback: tests name made-up hosts so that
            // the client does not bypass the proxy for a local address.
            upstream->connectToHost(QHostAddress(QHostAddress::LocalHost), quint16(hostPort.value(1).toUInt()));
            // Whatever followed the CONNECT head belongs to the tunnel.
            const QByteArray rest = head->mid(end + 4);
            if (!rest.isEmpty())
                connect(upstream, &QTcpSocket::connected, upstream, [upstream, rest] { upstream->write(rest); });
            return;
        }
        const QUrl url(QString::fromLatin1(parts[1]));
        QByteArray target = url.path(QUrl::FullyEncoded).toLatin1();
        if (url.hasQuery())
            target += '?' + url.query(QUrl::FullyEncoded).toLatin1();
        // One request per connection, so every request line passes here.
        QByteArray rewritten = parts[0] + ' ' + target + ' ' + parts[2] + "\r\n";
        const QByteArrayList headers = head->mid(lineEnd + 2, end - lineEnd - 2).split('\n');
        for (const QByteArray &header : headers) {
            const QByteArray name = header.left(header.indexOf(':')).trimmed().toLower();
            if (name != "connection" && name != "proxy-connection" && !header.trimmed().isEmpty())
                rewritten += header.trimmed() + "\r\n";
        }
        rewritten += "Connection: close\r\n\r\n" + head->mid(end + 4);
        join(client, upstream, rewritten, false);
        upstream->connectToHost(QHostAddress(QHostAddress::LocalHost), quint16(url.port(80)));
    });
}

} // namespace tavoren::testsupport
