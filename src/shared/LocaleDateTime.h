#pragma once

#include <QDateTime>
#include <QString>

namespace tavoren::shared {

// A date and time as the user's locale writes it in the given styles, in the
// user's time zone, through ICU (the platform formatter is ICU-based, so the
// texts agree). ICU's default locale and zone follow LANG and TZ.
class LocaleDateTime
{
public:
    enum class Style { Short, Medium, Long };

    static QString format(const QDateTime &when, Style date, Style time);
};

} // namespace tavoren::shared
