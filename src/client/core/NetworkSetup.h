#pragma once

#include <QSslConfiguration>

class QNetworkRequest;

namespace tavoren::client {

// What every request of the client shares: the system's proxy settings and
// the trust store (the system's authorities and, under a TAVOREN_ROOT, the
// PEM certificates of its trust folder). Verification is never turned off.
class NetworkSetup
{
public:
    // Applies the proxy settings once per process.
    static void applyProxySettings();
    // Sets the TLS configuration of a request.
    static void configure(QNetworkRequest &request);
    static QSslConfiguration sslConfiguration();
};

} // namespace tavoren::client
