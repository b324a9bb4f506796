#pragma once

#include "client/core/ApplicationIcon.h"

#include <QString>

namespace tavoren::shared {
class SystemLog;
}

namespace tavoren::client {

// The application's window icon from a configured image, read through
// ImageLoader. A path is read once: every screen parses the configuration
// again.
class WindowIcon final : public ApplicationIcon
{
public:
    explicit WindowIcon(shared::SystemLog &systemLog);
    bool set(const QString &path) override;

private:
    shared::SystemLog &m_systemLog;
    QString m_path;
    bool m_loaded = false;
};

} // namespace tavoren::client
