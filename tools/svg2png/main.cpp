// tavoren-svg2png: renders an SVG drawing to a PNG of the given size, so
// images are kept as vector sources and rasterised by the build at the
// pixel size the window needs.
#include <QBuffer>
#include <QByteArray>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QImageReader>
#include <QImageWriter>
#include <QLoggingCategory>
#include <QSaveFile>
#include <QString>
#include <cstdio>
#include <cstdlib>

namespace {

constexpr qint64 kMaxSvgBytes = 1024 * 1024;
constexpr int kMaxSide = 4096;

int side(const char *text)
{
    char *end = nullptr;
    const long value = std::strtol(text, &end, 10);
    if (!end || end == text || *end != '\0' || value < 1 || value > kMaxSide)
        return 0;
    return int(value);
}

} // namespace

int main(int argc, char *argv[])
{
    // Nothing is shown; the SVG reader still needs a GUI application for its
    // fonts, and the build runs without a display. The platform's start-up
    // chatter (runtime folder and the like) is no news in a build log; the
    // SVG reader's own warnings have a category and still show.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QLoggingCategory::setFilterRules(QStringLiteral("default.warning=false"));
    QGuiApplication app(argc, argv);
    if (argc != 5) {
        std::fputs("usage: tavoren-svg2png IN.svg OUT.png WIDTH HEIGHT\n", stderr);
        return 2;
    }
    const QString input = QString::fromLocal8Bit(argv[1]);
    const QString output = QString::fromLocal8Bit(argv[2]);
    const QSize size(side(argv[3]), side(argv[4]));
    if (size.width() == 0 || size.height() == 0) {
        std::fprintf(stderr, "tavoren-svg2png: width and height must be 1 to %d pixels\n", kMaxSide);
        return 2;
    }

    QFile file(input);
    if (!file.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "tavoren-svg2png: cannot open %s\n", argv[1]);
        return 1;
    }
    QByteArray svg = file.read(kMaxSvgBytes + 1);
    if (svg.size() > kMaxSvgBytes) {
        std::fprintf(stderr, "tavoren-svg2png: %s is larger than %lld bytes\n", argv[1], kMaxSvgBytes);
        return 1;
    }
    if (!QImageReader::supportedImageFormats().contains("svg")) {
        std::fputs("tavoren-svg2png: Qt has no SVG image format plugin (install the Qt 6 SVG library)\n", stderr);
        return 1;
    }

    QBuffer buffer(&svg);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "svg");
    reader.setScaledSize(size);
    const QImage image = reader.read();
    if (image.isNull() || image.size() != size) {
        std::fprintf(stderr, "tavoren-svg2png: cannot render %s: %s\n", argv[1],
                     qPrintable(reader.errorString()));
        return 1;
    }

    QSaveFile saved(output);
    if (!saved.open(QIODevice::WriteOnly)) {
        std::fprintf(stderr, "tavoren-svg2png: cannot write %s\n", argv[2]);
        return 1;
    }
    QImageWriter writer(&saved, "png");
    if (!writer.write(image) || !saved.commit()) {
        std::fprintf(stderr, "tavoren-svg2png: cannot write %s: %s\n", argv[2],
                     qPrintable(writer.errorString()));
        return 1;
    }
    return 0;
}
