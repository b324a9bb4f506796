// Sends job messages to an agent socket as fast as it takes them, one
// connection each, for the load benchmark:
//   tavoren_agent_sender SOCKET COUNT NAME
// Prints the number of messages delivered; exit status 1 if any was not.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

int main(int argc, char *argv[])
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: tavoren_agent_sender SOCKET COUNT NAME\n");
        return 2;
    }
    sockaddr_un address{};
    if (std::strlen(argv[1]) >= sizeof address.sun_path)
        return 2;
    address.sun_family = AF_UNIX;
    std::strcpy(address.sun_path, argv[1]);
    const long count = std::strtol(argv[2], nullptr, 10);
    long delivered = 0;
    for (long i = 0; i < count; ++i) {
        const std::string message = std::string(argv[3]) + "-" + std::to_string(i) + ".pdf:: ::/spool/" + argv[3] + "-" + std::to_string(i)
                                    + "/job.pdf" + std::string(1, '\0');
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd < 0)
            break;
        // A full listen queue makes connect wait; that is the load.
        if (::connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0
            && ::send(fd, message.data(), message.size(), MSG_NOSIGNAL) == ssize_t(message.size()))
            ++delivered;
        else
            std::fprintf(stderr, "message %ld: %s\n", i, std::strerror(errno));
        ::close(fd);
    }
    std::printf("%ld\n", delivered);
    return delivered == count ? 0 : 1;
}
