// Reads the picture number shown by the player from a screenshot of its
// window: finds the picture (the non-white box inside the white picture
// panel above the 131-pixel footer) and reads the number's code row there.
// Prints the number, or -1 when none can be read.
// Usage: numero_capture SHOT.png
#include "numero_image.h"

#include <QImage>

#include <cstdio>
#include <vector>

namespace {

constexpr int HauteurPied = 131;
// Bevels of the body and picture panels, skipped before looking.
constexpr int Marge = 3;
// Brighter than this on every channel counts as the white panel.
constexpr int SeuilBlanc = 235;

bool Blanc(QRgb p)
{
    return qRed(p) > SeuilBlanc && qGreen(p) > SeuilBlanc && qBlue(p) > SeuilBlanc;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s CAPTURE.png\n", argv[0]);
        return 2;
    }
    QImage capture;
    if (!capture.load(QString::fromLocal8Bit(argv[1]))) {
        std::printf("-1\n");
        return 1;
    }
    capture = capture.convertToFormat(QImage::Format_RGB32);
    const int bas = capture.height() - HauteurPied - Marge;
    const int droite = capture.width() - Marge;
    int x0 = droite, y0 = bas, x1 = -1, y1 = -1;
    for (int y = Marge; y < bas; ++y)
        for (int x = Marge; x < droite; ++x)
            if (!Blanc(capture.pixel(x, y))) {
                x0 = std::min(x0, x);
                y0 = std::min(y0, y);
                x1 = std::max(x1, x);
                y1 = std::max(y1, y);
            }
    if (x1 < x0 || y1 < y0) {
        std::printf("-1\n");
        return 1;
    }
    const QImage image = capture.copy(x0, y0, x1 - x0 + 1, y1 - y0 + 1).convertToFormat(QImage::Format_RGB888);
    std::vector<uint8_t> rgb(size_t(image.width()) * image.height() * 3);
    for (int y = 0; y < image.height(); ++y)
        std::copy(image.constScanLine(y), image.constScanLine(y) + image.width() * 3,
                  rgb.begin() + size_t(y) * image.width() * 3);
    const int numero = LireNumeroRGB(rgb.data(), image.width(), image.height());
    std::printf("%d\n", numero);
    return numero >= 0 ? 0 : 1;
}
