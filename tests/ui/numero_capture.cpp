// Reads what the player shows from a screenshot of its window.
//   numero_capture [-p PIED] SHOT.png      the picture number: finds the
//       picture (the non-white box inside the white picture panel above the
//       footer, PIED pixels high, 131 by default, 0 in full screen) and
//       reads the number's code row there; -1 when none can be read.
//   numero_capture -b [-p PIED] SHOT.png   that box: "x y width height".
//   numero_capture -g SHOT.png             the left white guard block of the
//       code row, wherever it lies: "width height" in pixels (0 0 if none),
//       to tell a picture shown at its own size from a scaled one.
#include "numero_image.h"

#include <QImage>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <vector>

namespace {

constexpr int HauteurPied = 131;
// Bevels of the body and picture panels, skipped before looking.
constexpr int Marge = 3;
// Brighter than this on every channel counts as the white panel.
constexpr int SeuilBlanc = 235;
// The code row's guard block: white, between the grey band of the row on
// its left and the black guard on its right. A pixel or two at each edge
// may be blurred by the picture coding.
constexpr int BlancGarde = 200;
constexpr int NoirGarde = 80;
constexpr int GrisMin = 80, GrisMax = 190, GrisEcart = 30;
constexpr int Flou = 2;

bool Blanc(QRgb p, int seuil = SeuilBlanc)
{
    return qRed(p) > seuil && qGreen(p) > seuil && qBlue(p) > seuil;
}

bool Noir(QRgb p)
{
    return qRed(p) < NoirGarde && qGreen(p) < NoirGarde && qBlue(p) < NoirGarde;
}

bool Gris(QRgb p)
{
    const int r = qRed(p), g = qGreen(p), b = qBlue(p);
    return std::min({r, g, b}) > GrisMin && std::max({r, g, b}) < GrisMax &&
           std::max({r, g, b}) - std::min({r, g, b}) < GrisEcart;
}

// Non-white box above the footer; false when there is none.
bool BoiteImage(const QImage& capture, int pied, QRect& boite)
{
    const int bas = capture.height() - pied - Marge;
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
    if (x1 < x0 || y1 < y0)
        return false;
    boite = QRect(x0, y0, x1 - x0 + 1, y1 - y0 + 1);
    return true;
}

int LireNumero(const QImage& capture, const QRect& boite)
{
    const QImage image = capture.copy(boite).convertToFormat(QImage::Format_RGB888);
    std::vector<uint8_t> rgb(size_t(image.width()) * image.height() * 3);
    for (int y = 0; y < image.height(); ++y)
        std::copy(image.constScanLine(y), image.constScanLine(y) + image.width() * 3,
                  rgb.begin() + size_t(y) * image.width() * 3);
    return LireNumeroRGB(rgb.data(), image.width(), image.height());
}

// Runs of guard-white pixels with grey before and black after, grouped by
// where they start; the group with the most rows is the guard block.
void BlocDeGarde(const QImage& capture, int& largeur, int& hauteur)
{
    std::map<int, std::vector<int>> parDebut; // start x -> run length of each row
    for (int y = 0; y < capture.height(); ++y) {
        int x = Flou + 1;
        while (x < capture.width() - Flou - 1) {
            if (!Blanc(capture.pixel(x, y), BlancGarde)) {
                ++x;
                continue;
            }
            const int debut = x;
            while (x < capture.width() && Blanc(capture.pixel(x, y), BlancGarde))
                ++x;
            const int fin = x; // first pixel after the run
            if (fin + Flou < capture.width() && Gris(capture.pixel(debut - 1 - Flou, y)) &&
                Noir(capture.pixel(fin + Flou, y)))
                parDebut[debut].push_back(fin - debut);
        }
    }
    largeur = hauteur = 0;
    for (const auto& [debut, longueurs] : parDebut)
        if (int(longueurs.size()) > hauteur) {
            std::vector<int> l = longueurs;
            std::nth_element(l.begin(), l.begin() + l.size() / 2, l.end());
            largeur = l[l.size() / 2];
            hauteur = int(longueurs.size());
        }
}

} // namespace

int main(int argc, char** argv)
{
    bool boite = false, garde = false;
    int pied = HauteurPied;
    const char* chemin = nullptr;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "-b") == 0)
            boite = true;
        else if (std::strcmp(argv[i], "-g") == 0)
            garde = true;
        else if (std::strcmp(argv[i], "-p") == 0 && i + 1 < argc)
            pied = std::atoi(argv[++i]);
        else
            chemin = argv[i];
    }
    if (!chemin) {
        std::fprintf(stderr, "usage: %s [-b | -g] [-p PIED] CAPTURE.png\n", argv[0]);
        return 2;
    }
    QImage capture;
    if (!capture.load(QString::fromLocal8Bit(chemin))) {
        std::printf(garde || boite ? "0 0\n" : "-1\n");
        return 1;
    }
    capture = capture.convertToFormat(QImage::Format_RGB32);
    if (garde) {
        int largeur = 0, hauteur = 0;
        BlocDeGarde(capture, largeur, hauteur);
        std::printf("%d %d\n", largeur, hauteur);
        return largeur > 0 ? 0 : 1;
    }
    QRect r;
    if (!BoiteImage(capture, pied, r)) {
        std::printf(boite ? "0 0 0 0\n" : "-1\n");
        return 1;
    }
    if (boite) {
        std::printf("%d %d %d %d\n", r.x(), r.y(), r.width(), r.height());
        return 0;
    }
    const int numero = LireNumero(capture, r);
    std::printf("%d\n", numero);
    return numero >= 0 ? 0 : 1;
}
