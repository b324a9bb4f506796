#pragma once

#include "client/core/AdminConfig.h"

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QNetworkRequest>
#include <QString>

namespace tavoren::client {

// Composes what the service checks on the two job calls: the text to sign,
// the identification headers and the multipart body of the upload.
class RestAPIUtil
{
public:
    explicit RestAPIUtil(AdminConfig config);

    // "timestamp=T" "method=M" "resource=/api/v2/drns/D", lower-cased as a whole.
    static QString textToSignMethod(const QString &timeStamp, const QString &docID, const QString &method);

    // Adds signature, timestamp, client id, serial and "Content-Type:
    // application/json", in that order, to a freshly built request.
    static void addSignedHeaders(QNetworkRequest &request, const QString &timeStamp, const QString &docID,
                                 const QString &method, const QString &serial);

    // The multipart body in memory. The upload itself streams the same bytes
    // with MultipartBodyDevice; both are built from the pieces below.
    static QByteArray createDataBody(const QJsonObject &parameters, const QList<QByteArray> *file,
                                     const QString &boundary, const QString &fileName, const QString &mimeType);

    // Everything before the first file's bytes, between files and after the
    // last one, so a streamed body equals createDataBody byte for byte.
    static QByteArray ownerPart(const QJsonObject &parameters, const QString &boundary);
    static QByteArray filePartHeader(const QString &boundary, const QString &fileName, const QString &mimeType);
    // A text fit for one header line: every control character (line ends
    // included, and the Unicode line and paragraph separators) becomes a blank.
    static QString headerSafe(const QString &text);
    static QByteArray filePartEnd();
    static QByteArray closingBoundary(const QString &boundary);

    // "Boundary-" followed by a fresh upper-case UUID.
    static QString makeBoundary();

    const AdminConfig &config() const { return m_config; }

private:
    AdminConfig m_config;
};

} // namespace tavoren::client
