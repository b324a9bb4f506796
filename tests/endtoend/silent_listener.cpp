// tavoren_silent_listener PATH: listens on the Unix socket PATH as an agent
// that has hung would: takes connections, reads them, never answers. Runs
// until it is ended.
#include <cstdio>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#include <vector>

int main(int argc, char *argv[])
{
    if (argc != 2 || std::strlen(argv[1]) >= sizeof(sockaddr_un::sun_path)) {
        std::fprintf(stderr, "usage: tavoren_silent_listener PATH\n");
        return 2;
    }
    const int listener = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strcpy(address.sun_path, argv[1]);
    ::unlink(argv[1]);
    ::umask(077);
    if (listener < 0 || ::bind(listener, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0
        || ::listen(listener, 8) != 0) {
        std::perror("tavoren_silent_listener");
        return 1;
    }
    std::vector<pollfd> watched{{listener, POLLIN, 0}};
    for (;;) {
        if (::poll(watched.data(), watched.size(), -1) < 0)
            continue;
        if (watched[0].revents & POLLIN) {
            const int connection = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
            if (connection >= 0)
                watched.push_back({connection, POLLIN, 0});
        }
        for (std::size_t i = 1; i < watched.size(); ++i) {
            char sink[256];
            if ((watched[i].revents & (POLLIN | POLLHUP)) && ::read(watched[i].fd, sink, sizeof sink) <= 0)
                watched[i].events = 0; // read to the end; held open, unanswered
        }
    }
}
