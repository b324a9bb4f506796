#include "client/core/Hmac.h"

#include "client/core/Constants.h"

#include <QMessageAuthenticationCode>

namespace tavoren::client {

namespace {
QByteArray upToNul(QByteArray bytes)
{
    const qsizetype nul = bytes.indexOf('\0');
    if (nul >= 0)
        bytes.truncate(nul);
    return bytes;
}
} // namespace

QString hmac(const QString &text, const QByteArray &key)
{
    const QByteArray mac = QMessageAuthenticationCode::hash(upToNul(text.toUtf8()), upToNul(key),
                                                            QCryptographicHash::Sha256);
    return QString::fromLatin1(mac.toBase64());
}

QString hmac(const QString &text)
{
    return hmac(text, QByteArray(Constants::hashKey.data(), Constants::hashKey.size()));
}

} // namespace tavoren::client
