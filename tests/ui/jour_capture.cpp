// Helper of the day end-to-end test (jour_xvfb.sh).
//   jour_capture films DOSSIER
//       makes three hourly MJPEG films of 12/05/2014 in DOSSIER (320 x 240,
//       10 pictures a second, 8 s, sensor noise): at 10:00 a box moves in
//       the upper right part from 2 to 4 s, at 11:00 one moves in the left
//       part only, at 12:00 boxes move in the upper right part from 1 to
//       2.5 s and from 5 to 6.5 s. Picture k of the film of hour h carries
//       the number 100 x h + k as a code row. Prints the three paths.
//   jour_capture couleur RRGGBB ECART X Y L H CAPTURE.png
//       pixels of that colour (each channel within ECART) in the region.
//   jour_capture numero X Y L H CAPTURE.png
//       number of the picture shown in that region (-1 when unreadable).
//   jour_capture apercu X Y CAPTURE.png
//       number of the preview shown above the point X Y: the black frame
//       found going up from just above the point, its picture inside.
//   jour_capture image X Y L H CAPTURE.png
//       "x y width height" of the pixels that are not white in the region
//       (the picture shown in its white panel; "0 0 0 0" when none).
//   jour_capture boite RRGGBB ECART X Y L H CAPTURE.png
//       "x y width height" of the pixels of that colour in the region
//       ("0 0 0 0" when none).
#include "engine/films_mouvement.h"
#include "numero_image.h"

#include <QImage>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

// Brighter than this on every channel counts as the white picture panel.
constexpr int SeuilBlanc = 235;
// Darker than this on every channel counts as the preview's black frame.
constexpr int NoirBulle = 24;
// The preview's bottom lies this far above the pointer (apercu.h), give or take.
constexpr int EcartBulleMax = 40;
// Black run of the preview's bottom edge: half its picture's width at least.
constexpr int RangeeNoireMin = 80;

int Films(const std::string& dossier)
{
    SceneMouvement s;
    s.largeur = 320;
    s.hauteur = 240;
    s.ips = 10;
    s.dureeS = 8;
    const char* noms[3] = {"12-05-2014-10-00.mjp", "12-05-2014-11-00.mjp", "12-05-2014-12-00.mjp"};
    const std::vector<std::vector<BoiteMobile>> boites = {
        {{2, 4, 180, 40, 260, 100, 30}},
        {{2, 6, 10, 40, 60, 150, 30}},
        {{1, 2.5, 260, 110, 190, 30, 30}, {5, 6.5, 180, 90, 260, 40, 30}},
    };
    for (int i = 0; i < 3; ++i) {
        SceneMouvement f = s;
        f.boites = boites[size_t(i)];
        f.premierNumero = 100 * (10 + i);
        const std::string chemin = dossier + "/" + noms[i];
        if (FabriquerFilmScene(f, chemin) != 0) {
            std::fprintf(stderr, "film non fabriqué : %s\n", chemin.c_str());
            return 1;
        }
        std::printf("%s\n", chemin.c_str());
    }
    return 0;
}

bool Proche(QRgb p, QRgb c, int ecart)
{
    return std::abs(qRed(p) - qRed(c)) <= ecart && std::abs(qGreen(p) - qGreen(c)) <= ecart &&
           std::abs(qBlue(p) - qBlue(c)) <= ecart;
}

QRect Region(const QImage& i, char** a)
{
    return QRect(std::atoi(a[0]), std::atoi(a[1]), std::atoi(a[2]), std::atoi(a[3])).intersected(i.rect());
}

int Numero(const QImage& image)
{
    if (image.isNull())
        return -1;
    const QImage rgb = image.convertToFormat(QImage::Format_RGB888);
    std::vector<uint8_t> octets(size_t(rgb.width()) * rgb.height() * 3);
    for (int y = 0; y < rgb.height(); ++y)
        std::memcpy(&octets[size_t(y) * rgb.width() * 3], rgb.constScanLine(y), size_t(rgb.width()) * 3);
    return LireNumeroRGB(octets.data(), rgb.width(), rgb.height());
}

bool Noir(QRgb p)
{
    return qRed(p) < NoirBulle && qGreen(p) < NoirBulle && qBlue(p) < NoirBulle;
}

// The preview: a black frame whose bottom edge lies a little above (x, y)
// (a black run of at least half a preview's width across x; letters make
// no such runs); inside it, the picture is the box of pixels that are not
// black.
int Apercu(const QImage& capture, int x, int y)
{
    int bas = -1, gauche = x, droite = x;
    for (int yy = y - 1; yy >= std::max(0, y - EcartBulleMax) && bas < 0; --yy) {
        if (!Noir(capture.pixel(x, yy)))
            continue;
        int a = x, b = x;
        while (a > 0 && Noir(capture.pixel(a - 1, yy)))
            --a;
        while (b + 1 < capture.width() && Noir(capture.pixel(b + 1, yy)))
            ++b;
        if (b - a + 1 >= RangeeNoireMin) {
            bas = yy;
            gauche = a;
            droite = b;
        }
    }
    if (bas < 0)
        return -1;
    int sommet = bas;
    while (sommet > 0 && Noir(capture.pixel(gauche, sommet - 1)))
        --sommet;
    const QRect bulle(gauche, sommet, droite - gauche + 1, bas - sommet + 1);
    // The picture: the widest rows of pixels that are not black, in the upper part.
    int x0 = bulle.right(), x1 = bulle.left(), y0 = bulle.bottom(), y1 = bulle.top();
    for (int yy = bulle.top(); yy <= bulle.bottom(); ++yy) {
        int n = 0, a = -1, b = -1;
        for (int xx = bulle.left(); xx <= bulle.right(); ++xx)
            if (!Noir(capture.pixel(xx, yy))) {
                ++n;
                if (a < 0)
                    a = xx;
                b = xx;
            }
        // A row of the picture is mostly not black; the text's rows are not.
        if (n > bulle.width() / 2) {
            x0 = std::min(x0, a);
            x1 = std::max(x1, b);
            y0 = std::min(y0, yy);
            y1 = std::max(y1, yy);
        }
    }
    if (x1 <= x0 || y1 <= y0)
        return -1;
    return Numero(capture.copy(QRect(QPoint(x0, y0), QPoint(x1, y1))));
}

int Usage(const char* nom)
{
    std::fprintf(stderr,
                 "usage: %s films DOSSIER | couleur RRGGBB ECART X Y L H CAPTURE | numero X Y L H CAPTURE |"
                 " apercu X Y CAPTURE | image X Y L H CAPTURE | boite RRGGBB ECART X Y L H CAPTURE\n",
                 nom);
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3)
        return Usage(argv[0]);
    const std::string mode = argv[1];
    if (mode == "films")
        return Films(argv[2]);
    QImage capture;
    if (!capture.load(QString::fromLocal8Bit(argv[argc - 1]))) {
        std::fprintf(stderr, "capture illisible : %s\n", argv[argc - 1]);
        return 1;
    }
    capture = capture.convertToFormat(QImage::Format_RGB32);
    if ((mode == "couleur" || mode == "boite") && argc == 9) {
        const QRgb c = QRgb(std::strtoul(argv[2], nullptr, 16)) | 0xff000000u;
        const int ecart = std::atoi(argv[3]);
        const QRect r = Region(capture, argv + 4);
        int n = 0, x0 = r.right() + 1, y0 = r.bottom() + 1, x1 = -1, y1 = -1;
        for (int y = r.top(); y <= r.bottom(); ++y)
            for (int x = r.left(); x <= r.right(); ++x)
                if (Proche(capture.pixel(x, y), c, ecart)) {
                    ++n;
                    x0 = std::min(x0, x), y0 = std::min(y0, y), x1 = std::max(x1, x), y1 = std::max(y1, y);
                }
        if (mode == "couleur")
            std::printf("%d\n", n);
        else if (n == 0)
            std::printf("0 0 0 0\n");
        else
            std::printf("%d %d %d %d\n", x0, y0, x1 - x0 + 1, y1 - y0 + 1);
        return 0;
    }
    if (mode == "image" && argc == 7) {
        const QRect r = Region(capture, argv + 2);
        int x0 = r.right() + 1, y0 = r.bottom() + 1, x1 = -1, y1 = -1;
        for (int y = r.top(); y <= r.bottom(); ++y)
            for (int x = r.left(); x <= r.right(); ++x) {
                const QRgb p = capture.pixel(x, y);
                if (qRed(p) < SeuilBlanc || qGreen(p) < SeuilBlanc || qBlue(p) < SeuilBlanc)
                    x0 = std::min(x0, x), y0 = std::min(y0, y), x1 = std::max(x1, x), y1 = std::max(y1, y);
            }
        if (x1 < 0)
            std::printf("0 0 0 0\n");
        else
            std::printf("%d %d %d %d\n", x0, y0, x1 - x0 + 1, y1 - y0 + 1);
        return 0;
    }
    if (mode == "numero" && argc == 7) {
        std::printf("%d\n", Numero(capture.copy(Region(capture, argv + 2))));
        return 0;
    }
    if (mode == "apercu" && argc == 5) {
        const int x = std::atoi(argv[2]), y = std::atoi(argv[3]);
        if (!capture.rect().contains(x, y)) {
            std::printf("-1\n");
            return 0;
        }
        std::printf("%d\n", Apercu(capture, x, y));
        return 0;
    }
    return Usage(argv[0]);
}
