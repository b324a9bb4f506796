// What another user does to a place he may write, as fast as he can, until
// STOPFILE exists: makes it a folder of his, a link to VICTIM and a link to
// HIS, again and again:
//   tavoren_place_swapper PATH VICTIM HIS STOPFILE
// Prints how many times each thing was put in place.
#include <cstdio>
#include <initializer_list>
#include <sys/stat.h>
#include <unistd.h>

int main(int argc, char *argv[])
{
    if (argc != 5) {
        std::fputs("usage: tavoren_place_swapper PATH VICTIM HIS STOPFILE\n", stderr);
        return 2;
    }
    const char *path = argv[1];
    long folders = 0;
    long links = 0;
    while (::access(argv[4], F_OK) != 0) {
        if (::mkdir(path, 0777) == 0) {
            ++folders;
            ::rmdir(path);
        }
        for (const char *target : {argv[2], argv[3]}) {
            if (::symlink(target, path) == 0) {
                ++links;
                ::unlink(path);
            }
        }
    }
    std::printf("%ld %ld\n", folders, links);
    return 0;
}
