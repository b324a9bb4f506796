#pragma once

#include "shared/Expected.h"

#include <QByteArray>
#include <QString>
#include <optional>

namespace tavoren::installer {

// The installer's side of the helper tool's messages: one JSON object of
// text members per line.
class HelperMessage
{
public:
    struct Reply
    {
        QString reply;
        // "completed", "refused" or "failed"
        QString outcome;
        // The exit status of a completed command.
        QString status;

        bool completed() const;
        bool completedWithSuccess() const;
    };

    // The request line, line end included; an Error when it would exceed
    // the helper's limit.
    static shared::Expected<QByteArray> request(const QString &command, const std::optional<QString> &progressFile);
    // A reply line; an Error when it is not an object of text members.
    static shared::Expected<Reply> reply(const QByteArray &line);
};

} // namespace tavoren::installer
