#pragma once

#include "client/core/UrlHandler.h"

namespace tavoren::client {

// The user's default handler, through the desktop.
class DesktopUrlHandler final : public UrlHandler
{
public:
    void open(const QUrl &url) override;
};

} // namespace tavoren::client
