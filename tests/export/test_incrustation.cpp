// Burned-in date box, snapshot name and JPEG comment.
#include "export/incrustation.h"

#include <gtest/gtest.h>
#include <turbojpeg.h>

#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

namespace {

// A 24-bit bitmap file image filled with one grey (top-down when asked).
std::vector<unsigned char> Bitmap(int largeur, int hauteur, bool basEnHaut, unsigned char gris)
{
    const size_t pas = (size_t(largeur) * 3 + 3) & ~size_t(3);
    std::vector<unsigned char> f(54 + pas * size_t(hauteur), gris);
    std::memset(f.data(), 0, 54);
    auto e32 = [&f](size_t o, uint32_t v) {
        for (int i = 0; i < 4; ++i)
            f[o + size_t(i)] = uint8_t(v >> (8 * i));
    };
    f[0] = 'B';
    f[1] = 'M';
    e32(2, uint32_t(f.size()));
    e32(10, 54);
    e32(14, 40);
    e32(18, uint32_t(largeur));
    e32(22, uint32_t(basEnHaut ? hauteur : -hauteur));
    f[26] = 1;
    f[28] = 24;
    return f;
}

// Pixel (x, y) counted from the top left.
const unsigned char* Pixel(const std::vector<unsigned char>& f, int x, int y)
{
    const int largeur = int(f[18] | f[19] << 8);
    const int32_t h = int32_t(f[22] | f[23] << 8 | f[24] << 16 | uint32_t(f[25]) << 24);
    const size_t pas = (size_t(largeur) * 3 + 3) & ~size_t(3);
    const int ligne = h > 0 ? h - 1 - y : y;
    return &f[54 + size_t(ligne) * pas + size_t(x) * 3];
}

} // namespace

TEST(Incrustation, TextesDeDateEtDeTempsDuFilm)
{
    struct Cas {
        double jours;
        const char* attendu;
    } dates[] = {
        {0, "30/12/1899 00:00:00"},
        {45000.5, "15/03/2023 12:00:00"},
        {41771.4270833333, "12/05/2014 10:15:00"}, // a hair before: rounded to the millisecond
        {-1.25, "29/12/1899 06:00:00"},             // fraction runs forward from midnight
        {1e9, ""},
    };
    for (const Cas& c : dates)
        EXPECT_EQ(TexteDateHeure(c.jours), c.attendu) << c.jours;
    EXPECT_EQ(TexteTempsFilm(3725.37), "01:02:05.3");
    EXPECT_EQ(TexteTempsFilm(0.3), "00:00:00.3"); // 0.3 * 10 must not give 2
    EXPECT_EQ(TexteTempsFilm(-4), "00:00:00.0");

    EXPECT_DOUBLE_EQ(SecondesDeLImage(25, 250, 10000), 1.0);
    EXPECT_DOUBLE_EQ(SecondesDeLImage(3, 0, 10000), 0.0);
    const double debut = 45000.5, fin = 45000.5 + 100.0 / 86400;
    EXPECT_EQ(TexteIncrustation(true, debut, fin, 100, 61.9), "15/03/2023 12:01:01");
    EXPECT_EQ(TexteIncrustation(false, debut, fin, 100, 61.9), "00:01:01.9");
    EXPECT_EQ(TexteIncrustation(true, debut, fin, 0, 5), "15/03/2023 12:00:00");
}

// The day-count conversion behind the burned-in date, the snapshot name
// and the report: the turn of every month of a common year (2023) and a
// leap year (2024), the year ends around them, and midnight reached by
// rounding. Day counts are written out, not computed.
TEST(Incrustation, DatesAuPassageDeChaqueMois)
{
    struct Passage {
        int jour;               // day count of the first of the month
        const char* premier;    // that day
        const char* veille;     // the day before
    } passages[] = {
        {44927, "01/01/2023", "31/12/2022"}, {44958, "01/02/2023", "31/01/2023"},
        {44986, "01/03/2023", "28/02/2023"}, {45017, "01/04/2023", "31/03/2023"},
        {45047, "01/05/2023", "30/04/2023"}, {45078, "01/06/2023", "31/05/2023"},
        {45108, "01/07/2023", "30/06/2023"}, {45139, "01/08/2023", "31/07/2023"},
        {45170, "01/09/2023", "31/08/2023"}, {45200, "01/10/2023", "30/09/2023"},
        {45231, "01/11/2023", "31/10/2023"}, {45261, "01/12/2023", "30/11/2023"},
        {45292, "01/01/2024", "31/12/2023"}, {45323, "01/02/2024", "31/01/2024"},
        {45352, "01/03/2024", "29/02/2024"}, {45383, "01/04/2024", "31/03/2024"},
        {45413, "01/05/2024", "30/04/2024"}, {45444, "01/06/2024", "31/05/2024"},
        {45474, "01/07/2024", "30/06/2024"}, {45505, "01/08/2024", "31/07/2024"},
        {45536, "01/09/2024", "31/08/2024"}, {45566, "01/10/2024", "30/09/2024"},
        {45597, "01/11/2024", "31/10/2024"}, {45627, "01/12/2024", "30/11/2024"},
        {45658, "01/01/2025", "31/12/2024"},
    };
    const double seconde = 1.0 / 86400;
    for (const Passage& p : passages) {
        EXPECT_EQ(TexteDateHeure(p.jour), std::string(p.premier) + " 00:00:00") << p.jour;
        EXPECT_EQ(TexteDateHeure(p.jour - seconde), std::string(p.veille) + " 23:59:59") << p.jour;
        EXPECT_EQ(TexteDateHeure(p.jour - 1 + 0.5), std::string(p.veille) + " 12:00:00") << p.jour;
        // A hair before midnight rounds to the millisecond, then to the next day.
        EXPECT_EQ(TexteDateHeure(p.jour - 1e-9), std::string(p.premier) + " 00:00:00") << p.jour;
    }
    EXPECT_EQ(TexteDateHeure(45351), "29/02/2024 00:00:00");
    EXPECT_EQ(TexteDateHeure(45351 + 86398 * seconde), "29/02/2024 23:59:58");
    EXPECT_EQ(TexteDateHeure(44985 + 0.75), "28/02/2023 18:00:00");

    // Every day of both years and their neighbours, against the C library's
    // calendar (day 25569 is 01/01/1970).
    for (int jour = 44927 - 2; jour <= 45658 + 2; ++jour) {
        const time_t t = time_t(jour - 25569) * 86400;
        tm c {};
        ASSERT_NE(gmtime_r(&t, &c), nullptr);
        char attendu[64];
        std::snprintf(attendu, sizeof attendu, "%02d/%02d/%04d 07:30:15", c.tm_mday, c.tm_mon + 1,
                      c.tm_year + 1900);
        ASSERT_EQ(TexteDateHeure(jour + (7 * 3600 + 30 * 60 + 15) * seconde), attendu) << jour;
    }

    // The snapshot name and the comment use the same dates.
    EXPECT_EQ(NomPhoto("/x/cam.mjp", true, 45351 + 0.5, 0), "cam_29-02-2024_12-00-00.jpg");
    EXPECT_EQ(NomPhoto("/x/cam.mjp", true, 44986 - seconde, 0), "cam_28-02-2023_23-59-59.jpg");
    EXPECT_NE(CommentairePhoto("/x/cam.mjp", true, 45352, 0).find("01/03/2024 00:00:00"), std::string::npos);
}

TEST(Incrustation, BoiteTailleeSurLaHauteurEtTenueDansLaLargeur)
{
    struct Cas {
        int l, h, n, echelle;
    } cas[] = {
        {320, 240, 19, 2},
        {1280, 720, 19, 6},
        {2560, 2048, 19, 17},
        {160, 120, 19, 1},
        {352, 1152, 19, 3}, // narrow and tall: the width decides
        {100, 120, 19, 0},  // no room for the text at all
        {320, 8, 19, 0},
    };
    for (const Cas& c : cas) {
        const BoiteIncrustation b = CalculerBoiteIncrustation(c.l, c.h, c.n);
        EXPECT_EQ(b.echelle, c.echelle) << c.l << "x" << c.h;
        if (b.echelle) {
            EXPECT_LE(b.largeur, c.l);
            EXPECT_LE(b.hauteur, c.h / 2);
            EXPECT_EQ(b.largeur, (c.n * LargeurCellule + 1) * b.echelle);
        }
    }
}

TEST(Incrustation, BoiteDessineeEnHautAGaucheQuelQueSoitLeSensDesLignes)
{
    const std::string texte = "12/05/2014 10:15:00";
    auto haut = Bitmap(320, 240, false, 128);
    auto bas = Bitmap(320, 240, true, 128);
    ASSERT_EQ(IncrusterBitmap(haut.data(), haut.size(), texte), 0);
    ASSERT_EQ(IncrusterBitmap(bas.data(), bas.size(), texte), 0);
    const BoiteIncrustation b = CalculerBoiteIncrustation(320, 240, int(texte.size()));
    int blancs = 0, sombres = 0;
    for (int y = 0; y < 240; ++y) {
        for (int x = 0; x < 320; ++x) {
            const unsigned char* p = Pixel(haut, x, y);
            ASSERT_EQ(std::memcmp(p, Pixel(bas, x, y), 3), 0) << x << "," << y;
            const bool dedans = x < b.largeur && y < b.hauteur;
            if (!dedans)
                ASSERT_EQ(p[0], 128) << x << "," << y;
            else if (p[0] == 255 && p[1] == 255 && p[2] == 255)
                ++blancs;
            else if (p[0] < 32 && p[1] < 32 && p[2] < 32)
                ++sombres;
        }
    }
    EXPECT_EQ(blancs + sombres, b.largeur * b.hauteur);
    EXPECT_GT(blancs, 200);
    // The first character, '1': its top dot is the third of the glyph's row.
    const int e = b.echelle;
    EXPECT_EQ(Pixel(haut, e * (1 + 2), e * 1)[0], 255);
    EXPECT_LT(Pixel(haut, e * (1 + 0), e * 1)[0], 32);

    // Different times give different boxes (the digits are really drawn).
    auto autre = Bitmap(320, 240, true, 128);
    IncrusterBitmap(autre.data(), autre.size(), "12/05/2014 10:15:01");
    EXPECT_NE(autre, bas);

    std::vector<unsigned char> court(bas.begin(), bas.begin() + 1000);
    EXPECT_EQ(IncrusterBitmap(court.data(), court.size(), texte), -1);
    EXPECT_EQ(IncrusterBitmap(nullptr, 0, texte), -1);
}

TEST(Incrustation, NomDePhotoEtCommentaireJpeg)
{
    const double date = 41771.4270833333;
    EXPECT_EQ(NomPhoto("/x/05/12-05-2014-10-15.mjp", true, date, 3.4), "12-05-2014-10-15_12-05-2014_10-15-00.jpg");
    EXPECT_EQ(NomPhoto("/x/cam.v2.264", false, 0, 3725.9), "cam.v2_01-02-05.jpg");
    EXPECT_EQ(NomPhoto("film", false, 0, -1), "film_00-00-00.jpg");

    // A real JPEG from TurboJPEG carries the comment and still decodes.
    tjhandle tj = tjInitCompress();
    ASSERT_NE(tj, nullptr);
    std::vector<unsigned char> bgr(64 * 48 * 3, 90);
    unsigned char* sortie = nullptr;
    unsigned long taille = 0;
    ASSERT_EQ(tjCompress2(tj, bgr.data(), 64, 0, 48, TJPF_BGR, &sortie, &taille, TJSAMP_420, 50, 0), 0);
    std::vector<unsigned char> jpeg(sortie, sortie + taille);
    tjFree(sortie);
    tjDestroy(tj);

    EXPECT_EQ(LireCommentaireJpeg(jpeg.data(), jpeg.size()), "");
    const std::string texte = CommentairePhoto("/x/cam.mjp", true, date, 3.4);
    EXPECT_EQ(texte, "Film : cam.mjp ; date et heure : 12/05/2014 10:15:00 ; temps du film : 00:00:03.4");
    ASSERT_EQ(AjouterCommentaireJpeg(jpeg, texte), 0);
    EXPECT_EQ(LireCommentaireJpeg(jpeg.data(), jpeg.size()), texte);
    tjhandle d = tjInitDecompress();
    int l = 0, h = 0, sous = 0, couleurs = 0;
    EXPECT_EQ(tjDecompressHeader3(d, jpeg.data(), jpeg.size(), &l, &h, &sous, &couleurs), 0);
    std::vector<unsigned char> relu(64 * 48 * 3);
    EXPECT_EQ(tjDecompress2(d, jpeg.data(), jpeg.size(), relu.data(), 64, 0, 48, TJPF_BGR, 0), 0);
    tjDestroy(d);
    EXPECT_EQ(l, 64);
    EXPECT_EQ(h, 48);

    std::vector<unsigned char> pasJpeg{1, 2, 3, 4};
    EXPECT_EQ(AjouterCommentaireJpeg(pasJpeg, "x"), -1);
    std::vector<unsigned char> long_(jpeg);
    ASSERT_EQ(AjouterCommentaireJpeg(long_, std::string(70000, 'a')), 0);
    EXPECT_EQ(LireCommentaireJpeg(long_.data(), long_.size()).size(), 65533u); // cut to the marker's limit
}
