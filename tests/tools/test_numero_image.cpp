// Reading a picture's number back from drawn, stretched, flipped and
// damaged pictures.

#include "filmmaker.h"
#include "numero_image.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

namespace {

struct Image {
    int largeur = 0, hauteur = 0;
    std::vector<uint8_t> bgr;  // top-down, packed rows
};

Image Dessiner(int numero, int largeur, int hauteur)
{
    Image im{largeur, hauteur, std::vector<uint8_t>(static_cast<size_t>(largeur) * hauteur * 3)};
    DessinerImage(numero, numero / 10.0, largeur, hauteur, im.bgr.data(), 3 * largeur);
    return im;
}

// Bilinear resampling, as a stretching picture control does.
Image Etirer(const Image& src, int largeur, int hauteur)
{
    Image dst{largeur, hauteur, std::vector<uint8_t>(static_cast<size_t>(largeur) * hauteur * 3)};
    for (int y = 0; y < hauteur; ++y) {
        const double sy = std::max(0.0, (y + 0.5) * src.hauteur / hauteur - 0.5);
        const int y0 = std::min(static_cast<int>(sy), src.hauteur - 1);
        const int y1 = std::min(y0 + 1, src.hauteur - 1);
        const double fy = sy - y0;
        for (int x = 0; x < largeur; ++x) {
            const double sx = std::max(0.0, (x + 0.5) * src.largeur / largeur - 0.5);
            const int x0 = std::min(static_cast<int>(sx), src.largeur - 1);
            const int x1 = std::min(x0 + 1, src.largeur - 1);
            const double fx = sx - x0;
            for (int c = 0; c < 3; ++c) {
                auto p = [&](int xx, int yy) { return src.bgr[(static_cast<size_t>(yy) * src.largeur + xx) * 3 + c]; };
                const double v = (1 - fy) * ((1 - fx) * p(x0, y0) + fx * p(x1, y0)) + fy * ((1 - fx) * p(x0, y1) + fx * p(x1, y1));
                dst.bgr[(static_cast<size_t>(y) * largeur + x) * 3 + c] = static_cast<uint8_t>(v + 0.5);
            }
        }
    }
    return dst;
}

int Lire(const Image& im)
{
    return LireNumeroImage(im.bgr.data(), im.largeur, im.hauteur, 3 * im.largeur, false);
}

// A 24-bit bitmap file image: 54-byte header, rows padded to 4 bytes, bottom row first.
std::vector<uint8_t> VersBitmap(const Image& im)
{
    const int pas = (im.largeur * 3 + 3) & ~3;
    std::vector<uint8_t> f(54 + static_cast<size_t>(pas) * im.hauteur, 0xEE);
    auto ecrire32 = [&](size_t pos, uint32_t v) { for (int i = 0; i < 4; ++i) f[pos + i] = static_cast<uint8_t>(v >> (8 * i)); };
    std::memset(f.data(), 0, 54);
    f[0] = 'B';
    f[1] = 'M';
    ecrire32(2, static_cast<uint32_t>(f.size()));
    ecrire32(10, 54);
    ecrire32(14, 40);
    ecrire32(18, static_cast<uint32_t>(im.largeur));
    ecrire32(22, static_cast<uint32_t>(im.hauteur));
    f[26] = 1;
    f[28] = 24;
    for (int y = 0; y < im.hauteur; ++y)
        std::memcpy(&f[54 + static_cast<size_t>(im.hauteur - 1 - y) * pas], &im.bgr[static_cast<size_t>(y) * im.largeur * 3],
                    static_cast<size_t>(im.largeur) * 3);
    return f;
}

TEST(NumeroImage, DrawnPicturesReadBackAtEverySize)
{
    const int numeros[] = {0, 1, 2, 255, 256, 1234, 0x5555, 0xAAAA, NumeroMaxImage};
    const int tailles[][2] = {{64, 48}, {160, 120}, {176, 144}, {640, 480}, {1920, 1080}};
    for (const auto& t : tailles)
        for (int n : numeros)
            EXPECT_EQ(Lire(Dessiner(n, t[0], t[1])), n) << t[0] << "x" << t[1];
}

TEST(NumeroImage, StretchedPicturesReadBack)
{
    const int tailles[][2] = {{160, 120}, {1920, 1080}, {1000, 200}, {300, 700}, {177, 131}};
    for (int n : {7, 4321, 60000}) {
        const Image source = Dessiner(n, 320, 240);
        for (const auto& t : tailles)
            EXPECT_EQ(Lire(Etirer(source, t[0], t[1])), n) << t[0] << "x" << t[1];
    }
    // Down to the smallest picture the player shows, and back up to full HD.
    EXPECT_EQ(Lire(Etirer(Etirer(Dessiner(999, 176, 144), 160, 120), 1920, 1080)), 999);
}

TEST(NumeroImage, BottomUpRowsWithPaddingAndBitmapFiles)
{
    const Image im = Dessiner(31337, 201, 150);  // odd width: rows padded in the bitmap
    const std::vector<uint8_t> bmp = VersBitmap(im);
    EXPECT_EQ(LireNumeroBitmap(bmp.data(), bmp.size()), 31337);
    const int pas = (im.largeur * 3 + 3) & ~3;
    EXPECT_EQ(LireNumeroImage(bmp.data() + 54, im.largeur, im.hauteur, pas, true), 31337);
    // Read as top-down, the picture is upside down and the code row is not where expected.
    EXPECT_EQ(LireNumeroImage(bmp.data() + 54, im.largeur, im.hauteur, pas, false), -1);

    // Negative height: top row first.
    std::vector<uint8_t> haut(54 + static_cast<size_t>(pas) * im.hauteur);
    std::memcpy(haut.data(), bmp.data(), 54);
    const uint32_t moins = static_cast<uint32_t>(-im.hauteur);
    for (int i = 0; i < 4; ++i)
        haut[22 + i] = static_cast<uint8_t>(moins >> (8 * i));
    for (int y = 0; y < im.hauteur; ++y)
        std::memcpy(&haut[54 + static_cast<size_t>(y) * pas], &im.bgr[static_cast<size_t>(y) * im.largeur * 3],
                    static_cast<size_t>(im.largeur) * 3);
    EXPECT_EQ(LireNumeroBitmap(haut.data(), haut.size()), 31337);
}

TEST(NumeroImage, RgbBuffers)
{
    Image im = Dessiner(4096, 320, 240);
    for (size_t i = 0; i < im.bgr.size(); i += 3)
        std::swap(im.bgr[i], im.bgr[i + 2]);
    EXPECT_EQ(LireNumeroRGB(im.bgr.data(), im.largeur, im.hauteur), 4096);
}

TEST(NumeroImage, PicturesWithoutAValidCodeGiveMinusOne)
{
    for (uint8_t v : {0, 128, 255}) {
        const std::vector<uint8_t> uni(320 * 240 * 3, v);
        EXPECT_EQ(LireNumeroImage(uni.data(), 320, 240, 320 * 3, false), -1) << int(v);
    }
    // One bit block painted over: the parity no longer matches.
    Image im = Dessiner(0x0F0F, 320, 240);
    const double largeurBloc = 320 * (CodeDroite - CodeGauche) / NbBlocsCode;
    const int x0 = static_cast<int>(320 * CodeGauche + 5 * largeurBloc);
    for (int y = static_cast<int>(240 * CodeHaut); y < static_cast<int>(240 * CodeBas); ++y)
        for (int x = x0; x < x0 + static_cast<int>(largeurBloc); ++x)
            for (int c = 0; c < 3; ++c)
                im.bgr[(static_cast<size_t>(y) * 320 + x) * 3 + c] ^= 0xFF;
    EXPECT_EQ(Lire(im), -1);

    EXPECT_EQ(LireNumeroImage(nullptr, 320, 240, 960, false), -1);
    EXPECT_EQ(LireNumeroImage(im.bgr.data(), 320, 240, 100, false), -1);  // stride shorter than a row
    EXPECT_EQ(LireNumeroImage(im.bgr.data(), 20, 10, 60, false), -1);     // too small for the code row
}

TEST(NumeroImage, UnusableBitmapsGiveMinusOne)
{
    const std::vector<uint8_t> bon = VersBitmap(Dessiner(12, 160, 120));
    ASSERT_EQ(LireNumeroBitmap(bon.data(), bon.size()), 12);

    EXPECT_EQ(LireNumeroBitmap(bon.data(), 53), -1);
    EXPECT_EQ(LireNumeroBitmap(bon.data(), bon.size() - 1), -1);  // last row cut short
    std::vector<uint8_t> f = bon;
    f[28] = 32;  // 32 bits per pixel
    EXPECT_EQ(LireNumeroBitmap(f.data(), f.size()), -1);
    f = bon;
    f[0] = 'X';
    EXPECT_EQ(LireNumeroBitmap(f.data(), f.size()), -1);
    f = bon;
    f[10] = 200;  // pixels said to start past the rows
    EXPECT_EQ(LireNumeroBitmap(f.data(), f.size()), -1);
    f = bon;
    f[21] = 0x7F;  // absurd width
    EXPECT_EQ(LireNumeroBitmap(f.data(), f.size()), -1);
}

} // namespace
