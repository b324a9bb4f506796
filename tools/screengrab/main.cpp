// tavoren-screengrab: saves what an X window shows as a PNG file, for the
// screenshot script (the virtual display has no window manager).
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <cstdio>
#include <cstdlib>

int main(int argc, char *argv[])
{
    QGuiApplication app(argc, argv);
    if (argc != 3) {
        std::fputs("usage: tavoren-screengrab OUTPUT.png WINDOW-ID\n", stderr);
        return 2;
    }
    char *end = nullptr;
    const unsigned long long window = std::strtoull(argv[2], &end, 0);
    if (!end || *end != '\0' || window == 0) {
        std::fprintf(stderr, "tavoren-screengrab: not a window id: %s\n", argv[2]);
        return 2;
    }
    QScreen *screen = QGuiApplication::primaryScreen();
    const QPixmap picture = screen ? screen->grabWindow(WId(window)) : QPixmap();
    if (picture.isNull() || !picture.save(QString::fromLocal8Bit(argv[1]), "PNG")) {
        std::fprintf(stderr, "tavoren-screengrab: could not save window %s to %s\n", argv[2], argv[1]);
        return 1;
    }
    return 0;
}
