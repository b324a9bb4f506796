#include "client/core/NetworkSetup.h"

#include "shared/SystemPath.h"

#include <QNetworkProxyFactory>
#include <QNetworkRequest>
#include <mutex>

namespace tavoren::client {

void NetworkSetup::applyProxySettings()
{
    static std::once_flag once;
    // On Linux this reads http_proxy, https_proxy and no_proxy.
    std::call_once(once, [] { QNetworkProxyFactory::setUseSystemConfiguration(true); });
}

QSslConfiguration NetworkSetup::sslConfiguration()
{
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    const std::string root = shared::SystemPath::root();
    if (!root.empty()) {
        configuration.addCaCertificates(QString::fromStdString(root) + QStringLiteral("/etc/ssl/certs/*.pem"),
                                        QSsl::Pem, QSslCertificate::PatternSyntax::Wildcard);
    }
    return configuration;
}

void NetworkSetup::configure(QNetworkRequest &request)
{
    if (request.url().scheme() == QLatin1String("https"))
        request.setSslConfiguration(sslConfiguration());
}

} // namespace tavoren::client
