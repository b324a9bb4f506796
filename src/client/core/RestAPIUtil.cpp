#include "client/core/RestAPIUtil.h"

#include "client/core/Constants.h"
#include "client/core/Hmac.h"

#include <QJsonDocument>
#include <QUuid>

namespace tavoren::client {

RestAPIUtil::RestAPIUtil(AdminConfig config)
    : m_config(std::move(config))
{
}

QString RestAPIUtil::textToSignMethod(const QString &timeStamp, const QString &docID, const QString &method)
{
    QString text;
    text += Constants::timestampString + timeStamp;
    text += (Constants::methodString + method).toLower();
    text += (Constants::resourceString + docID).toLower();
    return text.toLower();
}

void RestAPIUtil::addSignedHeaders(QNetworkRequest &request, const QString &timeStamp, const QString &docID,
                                   const QString &method, const QString &serial)
{
    const QString signature = hmac(textToSignMethod(timeStamp, docID, method));
    request.setRawHeader(QByteArray(Constants::tavorenSignature.data()), signature.toLatin1());
    request.setRawHeader(QByteArray(Constants::tavorenTimeStamp.data()), timeStamp.toLatin1());
    request.setRawHeader(QByteArray(Constants::tavorenClientIdString.data()),
                         QByteArray(Constants::tavorenClientID.data()));
    // A null value would remove the header; an empty serial is still sent.
    QByteArray serialValue = serial.toUtf8();
    if (serialValue.isNull())
        serialValue = QByteArray("", 0);
    request.setRawHeader(QByteArray(Constants::tavorenSerialString.data()), serialValue);
    request.setRawHeader(QByteArray(Constants::contentType.data()), QByteArray(Constants::applicationJson.data()));
}

QByteArray RestAPIUtil::ownerPart(const QJsonObject &parameters, const QString &boundary)
{
    QByteArray part;
    part += "--" + boundary.toUtf8() + "\r\n";
    part += "Content-Disposition: form-data; name=\"Owner\"\r\n";
    part += "Content-Type: application/json\r\n\r\n";
    part += QJsonDocument(parameters).toJson(QJsonDocument::Compact);
    part += "\r\n";
    return part;
}

QByteArray RestAPIUtil::filePartHeader(const QString &boundary, const QString &fileName, const QString &mimeType)
{
    QByteArray part;
    part += "--" + boundary.toUtf8() + "\r\n";
    part += "Content-Disposition: form-data; name=\"file\"; filename=\"Untitled.pdf\"\r\n";
    part += "Content-Description: " + headerSafe(fileName).toUtf8() + "\r\n";
    part += "Content-Type: " + mimeType.toUtf8() + "\r\n\r\n";
    return part;
}

QString RestAPIUtil::headerSafe(const QString &text)
{
    QString result = text;
    for (QChar &c : result) {
        const char16_t code = c.unicode();
        if (code < 0x20 || (code >= 0x7F && code <= 0x9F) || code == 0x2028 || code == 0x2029)
            c = QLatin1Char(' ');
    }
    return result;
}

QByteArray RestAPIUtil::filePartEnd()
{
    return QByteArrayLiteral("\r\n");
}

QByteArray RestAPIUtil::closingBoundary(const QString &boundary)
{
    return "--" + boundary.toUtf8() + "--\r\n";
}

QByteArray RestAPIUtil::createDataBody(const QJsonObject &parameters, const QList<QByteArray> *file,
                                       const QString &boundary, const QString &fileName, const QString &mimeType)
{
    QByteArray body = ownerPart(parameters, boundary);
    if (file) {
        for (const QByteArray &content : *file) {
            body += filePartHeader(boundary, fileName, mimeType);
            body += content;
            body += filePartEnd();
        }
    }
    body += closingBoundary(boundary);
    return body;
}

QString RestAPIUtil::makeBoundary()
{
    return QStringLiteral("Boundary-") + QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
}

} // namespace tavoren::client
