#include "shared/LocaleDateTime.h"

#include <memory>
#include <unicode/datefmt.h>
#include <unicode/locid.h>
#include <unicode/unistr.h>

namespace tavoren::shared {

namespace {
icu::DateFormat::EStyle icuStyle(LocaleDateTime::Style style)
{
    switch (style) {
    case LocaleDateTime::Style::Short:
        return icu::DateFormat::kShort;
    case LocaleDateTime::Style::Medium:
        return icu::DateFormat::kMedium;
    case LocaleDateTime::Style::Long:
        break;
    }
    return icu::DateFormat::kLong;
}
} // namespace

QString LocaleDateTime::format(const QDateTime &when, Style date, Style time)
{
    std::unique_ptr<icu::DateFormat> format(
        icu::DateFormat::createDateTimeInstance(icuStyle(date), icuStyle(time), icu::Locale::getDefault()));
    if (!format)
        return when.toLocalTime().toString(Qt::ISODate);
    icu::UnicodeString text;
    format->format(static_cast<UDate>(when.toMSecsSinceEpoch()), text);
    return QString(reinterpret_cast<const QChar *>(text.getBuffer()), text.length());
}

} // namespace tavoren::shared
