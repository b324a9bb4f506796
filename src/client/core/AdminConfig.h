#pragma once

#include "client/core/Constants.h"

#include <QString>
#include <cstdint>

namespace tavoren::client {

// The administrator configuration record. The member initialisers are the
// built-in defaults used when the administrator file is absent; in memory
// `host` and `statuspageurl` carry their scheme once the record is parsed.
struct AdminConfig
{
    bool IsPrivateInstall = Constants::IsPrivateInstall;
    QString host = Constants::host;
    QString emailto = Constants::emailto;
    std::int64_t secure_connect = Constants::secure_connect;
    std::int64_t filesizelimitinmb = Constants::filesizelimitinmb;
    std::int64_t createdrntimeout = Constants::createdrntimeout;
    std::int64_t getdrntimeout = Constants::getdrntimeout;
    std::int64_t getservertimeout = Constants::getservertimeout;
    std::int64_t conversiontimeout = Constants::conversiontimeout;
    QString privacypolicy = Constants::privacypolicy;
    QString termsofuse = Constants::termsofuse;
    std::int64_t drnpollingtimeinsecond = Constants::drnpollingtimeinsecond;
    // Optional in the file, unlike the others: files written before it came keep working.
    std::int64_t drnpollinglimitinsecond = Constants::drnpollinglimitinsecond;
    std::int64_t releasecodetextlength = Constants::releasecodetextlength;
    std::int64_t emailentrytextlength = Constants::emailentrytextlength;
    std::int64_t documentnamelength = Constants::documentnamelength;
    QString locateprinter = Constants::locateprinter();
    QString statuspageurl = Constants::statuspageurl;
    QString helpurl = Constants::helpurl;

    bool operator==(const AdminConfig &) const = default;
};

} // namespace tavoren::client
