// Build tool: writes a pixel map as a PNG of another size, scaled by nearest neighbour so
// that the icon's hard pixel edges stay hard at every size the desktop asks for.
//
//   sonavex_scale_icon INPUT.xpm SIZE OUTPUT.png
#include <QImage>

#include <cstdio>
#include <cstdlib>

int main(int argc, char *argv[]) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s INPUT SIZE OUTPUT.png\n", argv[0]);
        return 2;
    }
    const QImage source =
        QImage(QString::fromLocal8Bit(argv[1])).convertToFormat(QImage::Format_ARGB32);
    const int size = std::atoi(argv[2]);
    if (source.isNull() || size <= 0) {
        std::fprintf(stderr, "%s: cannot read %s or bad size %s\n", argv[0], argv[1], argv[2]);
        return 1;
    }
    QImage scaled(size, size, QImage::Format_ARGB32);
    for (int y = 0; y < size; ++y) {
        const int from_y = y * source.height() / size;
        for (int x = 0; x < size; ++x) {
            scaled.setPixel(x, y, source.pixel(x * source.width() / size, from_y));
        }
    }
    if (!scaled.save(QString::fromLocal8Bit(argv[3]), "PNG")) {
        std::fprintf(stderr, "%s: cannot write %s\n", argv[0], argv[3]);
        return 1;
    }
    return 0;
}
