#include "helper-tool/RequestReader.h"

#include "helper-tool/Reply.h"
#include "helper-tool/RequestFrame.h"
#include "shared/HelperProtocol.h"

#include <algorithm>
#include <cerrno>
#include <poll.h>
#include <sys/socket.h>

namespace tavoren::helpertool {

shared::Expected<std::optional<std::string>> RequestReader::read(int socket, int wakeFd, std::chrono::milliseconds timeout)
{
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + timeout;
    RequestFrame frame(shared::HelperProtocol::maximumRequest);
    char buffer[16384];
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0)
            return std::optional<std::string>();
        pollfd watched[2] = {{socket, POLLIN, 0}, {wakeFd, POLLIN, 0}};
        const int ready = ::poll(watched, 2, int(left));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready < 0 || (watched[1].revents & POLLIN))
            return std::optional<std::string>();
        if (ready == 0)
            continue;
        const ssize_t got = ::recv(socket, buffer, std::min(sizeof buffer, frame.room()), MSG_DONTWAIT);
        if (got < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        if (got < 0)
            return std::optional<std::string>();
        if (got == 0)
            return Reply::refusal("the request ended before its line end");
        switch (frame.add(std::string_view(buffer, std::size_t(got)))) {
        case RequestFrame::State::Incomplete:
            continue;
        case RequestFrame::State::TooLong:
            return Reply::refusal("the request is longer than " + std::to_string(shared::HelperProtocol::maximumRequest) + " bytes");
        case RequestFrame::State::ExtraBytes:
            return Reply::refusal("the request holds more than one line");
        case RequestFrame::State::Complete:
            break;
        }
        // Whatever was sent right behind the line counts as well.
        char extra = 0;
        if (::recv(socket, &extra, 1, MSG_DONTWAIT | MSG_PEEK) > 0)
            return Reply::refusal("the request holds more than one line");
        return std::optional<std::string>(frame.line());
    }
}

} // namespace tavoren::helpertool
