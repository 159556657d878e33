// The window's side of a picture hand-over, stage by stage, at 720p and
// 1080p: turning the reader's 24-bit bitmap file image into the picture
// control's QImage, and painting that picture stretched over the control,
// from the formats the control could paint (BGR888, the bitmap's own
// bytes; RGB32, the window's own format, converted once per painted
// picture). Painting is measured both with a QPainter on an RGB32 image of
// the control's size (what the raster backing store is) and through the
// control's own repaint on the offscreen platform. Median and p90 of 60
// rounds. Figures only.
// Usage: bench_affichage [WIDTHxHEIGHT of the control, default 1237x928,
// the picture box of a 1920 x 1080 screen]
#include "commun_bench.h"

#include "ui/image_etiree.h"

#include <QApplication>
#include <QPainter>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

constexpr int Tours = 60;

// A 24-bit bottom-up bitmap file image of a colour gradient.
std::vector<unsigned char> Bitmap(int l, int h)
{
    const int pas = (l * 3 + 3) & ~3;
    std::vector<unsigned char> f(size_t(54) + size_t(pas) * size_t(h), 0);
    const std::vector<unsigned char> noir = BitmapNoir();
    std::copy(noir.begin(), noir.begin() + 54, f.begin());
    auto poser = [&](int o, uint32_t v) {
        for (int i = 0; i < 4; ++i)
            f[size_t(o + i)] = static_cast<unsigned char>(v >> (8 * i));
    };
    poser(2, static_cast<uint32_t>(f.size()));
    poser(18, static_cast<uint32_t>(l));
    poser(22, static_cast<uint32_t>(h));
    poser(34, static_cast<uint32_t>(pas * h));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < l; ++x) {
            unsigned char* p = &f[54 + size_t(y) * size_t(pas) + size_t(x) * 3];
            p[0] = static_cast<unsigned char>(x);
            p[1] = static_cast<unsigned char>(y);
            p[2] = static_cast<unsigned char>(x + y);
        }
    return f;
}

struct Mesure {
    double mediane, p90;
};

Mesure Chronometrer(const std::function<void()>& f)
{
    std::vector<double> t;
    for (int i = 0; i < Tours; ++i) {
        const double d = HorlogeMs();
        f();
        t.push_back(HorlogeMs() - d);
    }
    std::sort(t.begin(), t.end());
    return {t[t.size() / 2], t[std::min(t.size() - 1, size_t(t.size() * 9 / 10))]};
}

void Ligne(const char* quoi, const Mesure& m)
{
    std::printf("  %-44s %6.2f / %6.2f ms\n", quoi, m.mediane, m.p90);
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    int lc = 1237, hc = 928;
    if (argc > 1 && std::sscanf(argv[1], "%dx%d", &lc, &hc) != 2)
        return 2;
    std::printf("Remise d'une image a la fenetre, controle %d x %d (%s), mediane / p90 de %d tours\n", lc, hc,
                qPrintable(QGuiApplication::platformName()), Tours);
    TImageEtiree controle;
    controle.resize(lc, hc);
    controle.show();
    QApplication::processEvents();
    const int tailles[][2] = {{1280, 720}, {1920, 1080}};
    for (const auto& t : tailles) {
        const std::vector<unsigned char> f = Bitmap(t[0], t[1]);
        std::printf("%d x %d\n", t[0], t[1]);
        QImage bgr, rgb;
        Ligne("bitmap -> QImage BGR888 (copie des rangees)",
              Chronometrer([&] { ImageDepuisBitmap(f.data(), f.size(), bgr); }));
        Ligne("BGR888 -> RGB32 (ImageADessiner)", Chronometrer([&] { rgb = ImageADessiner(bgr); }));
        QImage toile(lc, hc, QImage::Format_RGB32);
        Ligne("peinture etiree depuis BGR888",
              Chronometrer([&] { QPainter(&toile).drawImage(toile.rect(), bgr); }));
        Ligne("peinture etiree depuis RGB32",
              Chronometrer([&] { QPainter(&toile).drawImage(toile.rect(), rgb); }));
        controle.ChargerBitmap(f.data(), f.size());
        QApplication::processEvents();
        Ligne("controle : remise (ChargerBitmap)", Chronometrer([&] { controle.ChargerBitmap(f.data(), f.size()); }));
        Ligne("controle : remise puis repaint", Chronometrer([&] {
                  controle.ChargerBitmap(f.data(), f.size());
                  controle.repaint();
              }));
        Ligne("controle : repaint sans nouvelle image", Chronometrer([&] { controle.repaint(); }));
    }
    return 0;
}
