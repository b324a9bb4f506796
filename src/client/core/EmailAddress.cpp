#include "client/core/EmailAddress.h"

#include <QRegularExpression>

namespace tavoren::client {

bool EmailAddress::isValid(const QString &text)
{
    static const QRegularExpression rule(
        QRegularExpression::anchoredPattern(QStringLiteral("[A-Z0-9a-z._%+-]+@[A-Za-z0-9.-]+\\.[A-Za-z]{2,20}")));
    return rule.match(text).hasMatch();
}

} // namespace tavoren::client
