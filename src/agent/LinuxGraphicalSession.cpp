#include "agent/LinuxGraphicalSession.h"

#include "shared/EnvironmentSetting.h"

#include "agent/AgentConstants.h"
#include "shared/Descriptor.h"
#include "shared/SocketAddress.h"

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <sys/socket.h>
#include <sys/un.h>
#include <system_error>
#include <vector>

namespace tavoren::agent {

namespace {
// Qt platform plugins that draw into memory, a framebuffer or a remote
// viewer rather than onto a display server.
constexpr std::string_view displaylessPlatforms[] = {"offscreen", "minimal",  "minimalegl", "vnc",         "eglfs",
                                                     "linuxfb",   "directfb", "bsdfb",      "vkkhrdisplay"};
// More digits than any display number has; keeps the name short.
constexpr std::size_t maximumDisplayDigits = 6;

std::string variable(const char *name)
{
    return shared::EnvironmentSetting::text(name);
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

std::string lowerCase(std::string_view text)
{
    std::string result(text);
    std::transform(result.begin(), result.end(), result.begin(), [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; });
    return result;
}

// 0 once something takes the connection, otherwise errno. Never waits: a
// server whose queue is full still listens.
int connectError(const sockaddr *address, socklen_t length)
{
    const shared::Descriptor socket(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (!socket)
        return errno;
    if (::connect(socket.get(), address, length) == 0 || errno == EAGAIN || errno == EINPROGRESS)
        return 0;
    return errno;
}

// The X server also listens on the abstract name of its socket path, which
// no file in a private /tmp hides.
bool abstractAnswers(const std::string &path)
{
    sockaddr_un address{};
    if (path.size() + 1 > sizeof address.sun_path)
        return false;
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path + 1, path.data(), path.size());
    const auto length = socklen_t(offsetof(sockaddr_un, sun_path) + 1 + path.size());
    return connectError(reinterpret_cast<const sockaddr *>(&address), length) == 0;
}

// The display number of "N" or "N.S"; none for anything else.
std::optional<std::string> displayNumber(std::string_view text)
{
    std::size_t digits = 0;
    while (digits < text.size() && isDigit(text[digits]))
        ++digits;
    if (digits == 0 || digits > maximumDisplayDigits)
        return std::nullopt;
    if (digits < text.size()) {
        const std::string_view screen = text.substr(digits + 1);
        if (text[digits] != '.' || screen.empty() || !std::all_of(screen.begin(), screen.end(), isDigit))
            return std::nullopt;
    }
    return std::string(text.substr(0, digits));
}

shared::Error noWindow(std::string why)
{
    return shared::Error::because("show a window", "", std::move(why));
}

// The display server's socket at `path` accepts a connection; `quoted` names
// the setting that led there.
shared::Expected<void> answers(const std::string &quoted, const std::string &path)
{
    const auto address = shared::SocketAddress::forPath(path);
    if (!address)
        return noWindow(quoted + " names a socket path longer than an address holds");
    const int error = connectError(address->address(), address->length());
    if (error == 0)
        return {};
    return noWindow(quoted + " does not answer at " + path + ": " + std::system_category().message(error));
}

} // namespace

LinuxGraphicalSession::LinuxGraphicalSession()
    : m_xSocketFolder(defaultXSocketFolder)
{
    const std::string folder = variable(X11_SOCKET_FOLDER_VARIABLE);
    if (!folder.empty() && folder.front() == '/')
        m_xSocketFolder = folder;
}

bool LinuxGraphicalSession::needsNoDisplay(std::string_view platform)
{
    const std::string name = lowerCase(platform);
    return std::find(std::begin(displaylessPlatforms), std::end(displaylessPlatforms), name) != std::end(displaylessPlatforms);
}

shared::Expected<void> LinuxGraphicalSession::reachable() const
{
    // "name[:options]" entries, tried in turn by Qt; without any, Qt takes
    // Wayland or X, whichever the session offers.
    const std::string platforms = variable("QT_QPA_PLATFORM");
    bool wayland = false;
    bool x = false;
    std::size_t start = 0;
    while (start <= platforms.size()) {
        const std::size_t end = std::min(platforms.find(';', start), platforms.size());
        const std::string_view entry = std::string_view(platforms).substr(start, end - start);
        const std::string name = lowerCase(entry.substr(0, entry.find(':')));
        start = end + 1;
        if (name.empty())
            continue;
        if (needsNoDisplay(name))
            return {};
        if (name.starts_with("wayland")) {
            wayland = true;
        } else if (name == "xcb") {
            x = true;
        } else {
            wayland = true;
            x = true;
        }
    }
    if (!wayland && !x)
        wayland = x = true;

    std::vector<std::string> problems;
    if (!platforms.empty())
        problems.push_back("QT_QPA_PLATFORM \"" + platforms + "\"");
    if (wayland) {
        const auto reached = reachWayland();
        if (reached)
            return {};
        problems.push_back(reached.error().text);
    }
    if (x) {
        const auto reached = reachX();
        if (reached)
            return {};
        problems.push_back(reached.error().text);
    }
    std::string reason;
    for (const std::string &problem : problems)
        reason += (reason.empty() ? "" : "; ") + problem;
    return noWindow(std::move(reason));
}

shared::Expected<void> LinuxGraphicalSession::reachWayland() const
{
    const std::string name = variable("WAYLAND_DISPLAY");
    if (name.empty())
        return noWindow("WAYLAND_DISPLAY is not set");
    const std::string quoted = "WAYLAND_DISPLAY \"" + name + "\"";
    std::string path = name;
    if (name.front() != '/') {
        const std::string runtime = variable("XDG_RUNTIME_DIR");
        if (runtime.empty() || runtime.front() != '/')
            return noWindow(quoted + " is relative and XDG_RUNTIME_DIR is not set");
        path = runtime + "/" + name;
    }
    return answers(quoted, path);
}

shared::Expected<void> LinuxGraphicalSession::reachX() const
{
    const std::string display = variable("DISPLAY");
    if (display.empty())
        return noWindow("DISPLAY is not set");
    const std::string quoted = "DISPLAY \"" + display + "\"";
    // [protocol/][host]:number[.screen]
    const std::size_t colon = display.rfind(':');
    const auto number = colon == std::string::npos ? std::nullopt : displayNumber(std::string_view(display).substr(colon + 1));
    if (!number)
        return noWindow(quoted + " names no display");
    std::string_view host = std::string_view(display).substr(0, colon);
    std::string_view protocol;
    if (const std::size_t slash = host.find('/'); slash != std::string_view::npos) {
        protocol = host.substr(0, slash);
        host = host.substr(slash + 1);
    }
    // A display over the network (a forwarded one of an SSH login among
    // them) goes unchecked: connecting could wait on the network for every
    // job while the others queue behind it, and such a display lives apart
    // from this computer's sessions anyway.
    const bool local = (host.empty() || host == "unix") && (protocol.empty() || protocol == "unix");
    if (!local)
        return {};
    const std::string path = m_xSocketFolder + "/X" + *number;
    if (abstractAnswers(path))
        return {};
    return answers(quoted, path);
}

} // namespace tavoren::agent
