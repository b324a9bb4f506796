#pragma once

class QString;

namespace tavoren::client {

// Makes an image file the running application's icon; whether it loaded.
class ApplicationIcon
{
public:
    virtual ~ApplicationIcon() = default;
    virtual bool set(const QString &path) = 0;
};

} // namespace tavoren::client
