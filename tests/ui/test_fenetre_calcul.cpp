// Plain rules of the main window: film kinds, hourly names and the next
// film, the speed gauge, the end-of-film decision, the dialog filter and
// the bitmap reading of the picture control.
#include "ui/dialogues.h"
#include "ui/image_etiree.h"
#include "ui/selection_calcul.h"
#include "ui/transport_calcul.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

TEST(Selection, TypeDuFilmSelonExtensionExacte)
{
    EXPECT_EQ(TypeFilmPourExtension("/f/a.mp4"), 0);
    EXPECT_EQ(TypeFilmPourExtension("/f/a.mjp"), 1);
    EXPECT_EQ(TypeFilmPourExtension("/f/a.264"), 2);
    EXPECT_EQ(TypeFilmPourExtension("/f/film.MJP"), -1);
    EXPECT_EQ(TypeFilmPourExtension("/f/a.mjp.txt"), -1);
    EXPECT_EQ(TypeFilmPourExtension("/f.d/sansextension"), -1);
    EXPECT_EQ(TypeFilmPourExtension(nullptr), -1);
}

TEST(Selection, NomsHoraires)
{
    EXPECT_TRUE(EstNomHoraire("/films/10/12-05-2014-10-15.mjp"));
    EXPECT_TRUE(EstNomHoraire("12-05-2014-10-15-cam1.264"));
    EXPECT_FALSE(EstNomHoraire("/films/10/clip.mjp"));
    EXPECT_FALSE(EstNomHoraire("/films/12-05-2014-10/x.mjp")); // only the file name counts
    EXPECT_FALSE(EstNomHoraire(""));
}

TEST(Selection, FilmSuivantDansLHeure)
{
    struct Cas {
        const char* chemin;
        const char* suivant; // nullptr: no next film
    } cas[] = {
        {"/d/10/12-05-2014-10-59.mjp", "/d/11/12-05-2014-11-00.mjp"},
        {"/d/10/12-05-2014-10-15.mjp", "/d/10/12-05-2014-10-16.mjp"},
        {"/d/22/31-12-2014-22-59.264", "/d/23/31-12-2014-23-00.264"},
        {"/d/23/12-05-2014-23-59.mjp", nullptr},
        {"10/12-05-2014-10-15.mjp", nullptr}, // 23 characters: nothing to keep
        {"/d/10/clip.mjp", nullptr},
    };
    for (const Cas& c : cas) {
        char suivant[301] = "x";
        const bool ok = CalculerFilmSuivant(c.chemin, suivant, sizeof suivant);
        EXPECT_EQ(ok, c.suivant != nullptr) << c.chemin;
        EXPECT_STREQ(suivant, c.suivant ? c.suivant : "") << c.chemin;
    }
    char court[10];
    EXPECT_FALSE(CalculerFilmSuivant("/d/10/12-05-2014-10-15.mjp", court, sizeof court));
}

TEST(Transport, JaugeDeVitesse)
{
    EXPECT_DOUBLE_EQ(VitessePourCran(0).vitesse, 0.1);
    EXPECT_STREQ(VitessePourCran(0).texte, "x 0.1");
    EXPECT_DOUBLE_EQ(VitessePourCran(4).vitesse, 0.9);
    EXPECT_DOUBLE_EQ(VitessePourCran(5).vitesse, 1.0);
    EXPECT_STREQ(VitessePourCran(5).texte, "x 1");
    EXPECT_DOUBLE_EQ(VitessePourCran(6).vitesse, 2.0);
    EXPECT_DOUBLE_EQ(VitessePourCran(20).vitesse, 16.0);
    EXPECT_STREQ(VitessePourCran(20).texte, "x 16");
    EXPECT_STREQ(VitessePourCran(21).texte, "x 1");
    EXPECT_DOUBLE_EQ(VitessePourCran(-1).vitesse, 1.0);
}

TEST(Transport, GraduationsDuCurseur)
{
    EXPECT_EQ(EcartGraduations(1), 1);
    EXPECT_EQ(EcartGraduations(299), 1);
    EXPECT_EQ(EcartGraduations(3600), 13);
}

TEST(Transport, DecisionEnFinDeFilm)
{
    EXPECT_EQ(DeciderFinDeFilm(true, false, true, false), FinDeFilm::Continuer);
    EXPECT_EQ(DeciderFinDeFilm(false, false, true, true), FinDeFilm::Arreter); // stopped meanwhile
    EXPECT_EQ(DeciderFinDeFilm(true, true, false, false), FinDeFilm::Arreter);
    EXPECT_EQ(DeciderFinDeFilm(true, true, true, false), FinDeFilm::Boucler);
    EXPECT_EQ(DeciderFinDeFilm(true, true, false, true), FinDeFilm::Enchainer);
    EXPECT_EQ(DeciderFinDeFilm(false, true, true, false), FinDeFilm::Boucler);
}

TEST(Dialogues, FiltreEnFormeQt)
{
    EXPECT_EQ(FiltreQt("VelmoraZR7 - Films|*.mjp;*.mp4;*.264|VelmoraZR7 - MJPEG|*.mjp").toStdString(),
              "VelmoraZR7 - Films (*.mjp *.mp4 *.264);;VelmoraZR7 - MJPEG (*.mjp)");
    EXPECT_TRUE(FiltreQt("").isEmpty());
}

TEST(Bitmap, ImageNoireRelue)
{
    const std::vector<unsigned char> noir = BitmapNoir();
    ASSERT_EQ(noir.size(), 57654u);
    QImage image;
    ASSERT_EQ(ImageDepuisBitmap(noir.data(), noir.size(), image), 0);
    EXPECT_EQ(image.width(), 160);
    EXPECT_EQ(image.height(), 120);
    EXPECT_EQ(image.pixel(80, 60), qRgb(0, 0, 0));
}

TEST(Bitmap, RangeesDeBasEnHautEtDonneesTronquees)
{
    // 2 x 2 picture, rows padded to 8 bytes: bottom row blue, top row red.
    std::vector<unsigned char> f = BitmapNoir();
    f.resize(54 + 16);
    f[18] = 2;
    f[22] = 2;
    const unsigned char bas[6] = {255, 0, 0, 255, 0, 0};   // B, G, R
    const unsigned char haut[6] = {0, 0, 255, 0, 0, 255};
    std::copy(bas, bas + 6, f.begin() + 54);
    std::copy(haut, haut + 6, f.begin() + 62);
    QImage image;
    ASSERT_EQ(ImageDepuisBitmap(f.data(), f.size(), image), 0);
    EXPECT_EQ(image.pixel(0, 0), qRgb(255, 0, 0));
    EXPECT_EQ(image.pixel(1, 1), qRgb(0, 0, 255));

    EXPECT_EQ(ImageDepuisBitmap(f.data(), f.size() - 1, image), -1); // last row cut
    std::vector<unsigned char> enorme = f;
    enorme[21] = 0x7F; // width far beyond the data
    EXPECT_EQ(ImageDepuisBitmap(enorme.data(), enorme.size(), image), -1);
    std::vector<unsigned char> huit = f;
    huit[28] = 8;
    EXPECT_EQ(ImageDepuisBitmap(huit.data(), huit.size(), image), -1);
    EXPECT_EQ(ImageDepuisBitmap(f.data(), 20, image), -1);
}

namespace {

// A 24-bit bitmap file image of `l` x `h` whose pixel (x, y), counted from
// the top, is B = x * 40 + 1, G = y * 50 + 2, R = x + y * 7 + 3; rows padded
// to 4 bytes, bottom-up, or top-down (negative height) when `basEnHaut` is
// false.
std::vector<unsigned char> BitmapParPlace(int l, int h, bool basEnHaut)
{
    const int pas = (l * 3 + 3) & ~3;
    std::vector<unsigned char> f = BitmapNoir();
    f.resize(size_t(54 + pas * h));
    const int32_t hauteur = basEnHaut ? h : -h;
    for (int i = 0; i < 4; ++i) {
        f[size_t(18 + i)] = static_cast<unsigned char>(l >> (8 * i));
        f[size_t(22 + i)] = static_cast<unsigned char>(uint32_t(hauteur) >> (8 * i));
    }
    for (int y = 0; y < h; ++y) {
        const int rangee = basEnHaut ? h - 1 - y : y;
        for (int x = 0; x < l; ++x) {
            unsigned char* p = &f[size_t(54 + rangee * pas + x * 3)];
            p[0] = static_cast<unsigned char>(x * 40 + 1);
            p[1] = static_cast<unsigned char>(y * 50 + 2);
            p[2] = static_cast<unsigned char>(x + y * 7 + 3);
        }
        // Padding bytes that must not leak into the last pixel.
        for (int o = l * 3; o < pas; ++o)
            f[size_t(54 + rangee * pas + o)] = 0xAB;
    }
    return f;
}

} // namespace

TEST(Bitmap, ADessinerMemesPixelsEtMemeSens)
{
    // Odd widths (rows padded), one pixel wide, both row orders: the
    // picture as painted has every pixel of the bitmap, in its place.
    for (const auto& [l, h] : {std::pair{5, 3}, {1, 2}, {6, 4}, {7, 1}}) {
        for (const bool basEnHaut : {true, false}) {
            const std::vector<unsigned char> f = BitmapParPlace(l, h, basEnHaut);
            QImage bgr;
            ASSERT_EQ(ImageDepuisBitmap(f.data(), f.size(), bgr), 0);
            EXPECT_EQ(bgr.format(), QImage::Format_BGR888);
            const QImage rgb = ImageADessiner(bgr);
            EXPECT_EQ(rgb.format(), QImage::Format_RGB32);
            ASSERT_EQ(rgb.size(), QSize(l, h));
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < l; ++x) {
                    const QRgb attendu = qRgb((x + y * 7 + 3) & 0xFF, (y * 50 + 2) & 0xFF, (x * 40 + 1) & 0xFF);
                    EXPECT_EQ(bgr.pixel(x, y), attendu) << l << "x" << h << " " << x << "," << y;
                    // The word itself, top byte included: the raster painter
                    // reads RGB32 words as they are.
                    EXPECT_EQ(reinterpret_cast<const QRgb*>(rgb.constScanLine(y))[x], attendu)
                        << l << "x" << h << " " << x << "," << y << (basEnHaut ? " bas en haut" : " haut en bas");
                }
        }
    }
}

TEST(Bitmap, FormatADessiner)
{
    QImage bgr(4, 2, QImage::Format_BGR888);
    bgr.fill(QColor(10, 20, 30));
    const QImage rgb = ImageADessiner(bgr);
    EXPECT_EQ(rgb.format(), QImage::Format_RGB32);
    EXPECT_EQ(rgb.pixel(3, 1), qRgb(10, 20, 30));
    // Transparency stays (a logo), premultiplied.
    QImage logo(2, 2, QImage::Format_ARGB32);
    logo.fill(qRgba(200, 100, 0, 128));
    const QImage l = ImageADessiner(logo);
    EXPECT_EQ(l.format(), QImage::Format_ARGB32_Premultiplied);
    EXPECT_EQ(l.pixelColor(0, 0).alpha(), 128);
    EXPECT_NEAR(l.pixelColor(0, 0).red(), 200, 2);
    // Already drawable: the same data, not a copy.
    EXPECT_EQ(ImageADessiner(rgb).constBits(), rgb.constBits());
    EXPECT_TRUE(ImageADessiner(QImage()).isNull());
}
