#pragma once

#include <QByteArray>
#include <QString>

namespace tavoren::client {

// Signs a text with the fixed client key: Base64 of HMAC-SHA256, 44 characters.
QString hmac(const QString &text);
// The same with an explicit key; both key and text end at their first NUL.
QString hmac(const QString &text, const QByteArray &key);

} // namespace tavoren::client
