#pragma once

#include "agent/GraphicalSession.h"

#include <string>
#include <string_view>

namespace tavoren::agent {

// The session as the client's Qt would find it from the agent's
// environment: QT_QPA_PLATFORM, WAYLAND_DISPLAY (below XDG_RUNTIME_DIR
// unless absolute) and DISPLAY. A display counts once its socket takes a
// connection; a platform that draws without one counts as it is.
class LinuxGraphicalSession final : public GraphicalSession
{
public:
    static constexpr const char *defaultXSocketFolder = "/tmp/.X11-unix";

    // The X socket folder is X11_SOCKET_FOLDER_VARIABLE when that is an
    // absolute path, otherwise the default.
    LinuxGraphicalSession();

    shared::Expected<void> reachable() const override;

    // Whether a Qt platform plugin name needs no display server.
    static bool needsNoDisplay(std::string_view platform);

private:
    shared::Expected<void> reachWayland() const;
    shared::Expected<void> reachX() const;

    std::string m_xSocketFolder;
};

} // namespace tavoren::agent
