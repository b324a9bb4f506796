#pragma once

class QUrl;

namespace tavoren::client {

// Opens an address in the user's default handler.
class UrlHandler
{
public:
    virtual ~UrlHandler() = default;
    virtual void open(const QUrl &url) = 0;
};

} // namespace tavoren::client
