// Position read-out and picture layout computations of the main window.
#include "ui/disposition_calcul.h"
#include "ui/position_calcul.h"

#include <gtest/gtest.h>

#include <string>

TEST(Lecture, DecoupageEnHeuresMinutesSecondes)
{
    const DecoupageTemps t = DecouperTemps(3725);
    EXPECT_EQ(t.heures, 1);
    EXPECT_EQ(t.minutes, 2);
    EXPECT_EQ(t.secondes, 5);
    const DecoupageTemps z = DecouperTemps(0);
    EXPECT_EQ(z.heures + z.minutes + z.secondes, 0);
    EXPECT_EQ(DecouperTemps(100 * 3600 + 59).heures, 100);
}

TEST(Lecture, FilmDe3725SecondesAMoitie)
{
    const uint32_t p = SecondeJouee(3725, 50.0);
    EXPECT_EQ(p, 1862u);
    EXPECT_EQ(TexteLecture("/films/cam1.mjp", p, 3725), "/films/cam1.mjp (00:31:02 / 01:02:05)");
}

TEST(Lecture, SecondeJoueeTenueALaFin)
{
    EXPECT_EQ(SecondeJouee(10, 100.0), 10u);
    EXPECT_EQ(SecondeJouee(10, 130.0), 10u); // progress beyond 100 % is held at the end
    EXPECT_EQ(SecondeJouee(10, 99.99), 9u);  // truncated, not rounded
    EXPECT_EQ(SecondeJouee(10, -5.0), 0u);
    EXPECT_EQ(SecondeJouee(0, 50.0), 0u);
}

TEST(Lecture, CurseurA600SurUneHeure)
{
    uint32_t position = 12345;
    ASSERT_TRUE(PositionDuCurseur(600, 3600, 3600, position));
    EXPECT_EQ(position, 600u);
    EXPECT_EQ(TexteLectureComplet("/f.264", 600, 3600, 3600, false, 0, 0), "/f.264 (00:10:00 / 01:00:00)");
    // Slider range differing from the duration: proportional, truncated.
    ASSERT_TRUE(PositionDuCurseur(1, 3, 10, position));
    EXPECT_EQ(position, 3u);
    // A maximum of 0 leaves the position as it was.
    position = 77;
    EXPECT_FALSE(PositionDuCurseur(5, 0, 10, position));
    EXPECT_EQ(position, 77u);
}

TEST(Lecture, CheminDePlusDe150CaracteresCoupe)
{
    const std::string chemin = "/" + std::string(200, 'a') + ".mjp";
    const std::string texte = TexteLecture(chemin.c_str(), 1, 2);
    EXPECT_EQ(texte, chemin.substr(0, 150) + " (00:00:01 / 00:00:02)");
}

TEST(Lecture, DatesDuFilm)
{
    // 12/05/2014 is day 41771 after 30/12/1899.
    const double jour = 41771.0;
    EXPECT_EQ(FormaterDateHeure(jour + 10.0 / 24), "12/05/2014 10:00:00");
    EXPECT_EQ(FormaterDateHeure(0.0), "30/12/1899 00:00:00");
    EXPECT_EQ(FormaterDateHeure(2.5), "01/01/1900 12:00:00");
    EXPECT_EQ(FormaterDateHeure(60.0), "28/02/1900 00:00:00");
    EXPECT_EQ(FormaterDateHeure(61.0), "01/03/1900 00:00:00");
    EXPECT_EQ(FormaterDateHeure(-1.25), "29/12/1899 06:00:00");
    EXPECT_EQ(FormaterDateHeure(jour + 0.9999999999), "13/05/2014 00:00:00");
    // Half the slider's range over 10:00-11:00.
    const std::string t = TexteLectureComplet("/x.mjp", 120, 240, 3600, true, jour + 10.0 / 24, jour + 11.0 / 24);
    EXPECT_EQ(t, "12/05/2014 10:30:00");
    // A zero maximum shows the start.
    EXPECT_EQ(FormaterDateHeure(DateDeLaPosition(jour, jour + 1, 5, 0)), "12/05/2014 00:00:00");
    EXPECT_EQ(FormaterDateHeure(1e300), "");
}

TEST(Disposition, RapportsReconnus)
{
    struct Cas {
        int w, h, rw, rh;
    } cas[] = {{320, 240, 4, 3},  {1280, 720, 16, 9}, {1280, 800, 16, 10}, {500, 500, 1, 1},
               {704, 576, 4, 3},  {0, 240, 4, 3},     {320, -1, 4, 3},     {1920, 1080, 16, 9}};
    for (const Cas& c : cas) {
        const Rapport r = RapportAffichage(c.w, c.h);
        EXPECT_EQ(r.largeur, c.rw) << c.w << "x" << c.h;
        EXPECT_EQ(r.hauteur, c.rh) << c.w << "x" << c.h;
    }
}

TEST(Disposition, BoitesAjustees)
{
    EXPECT_EQ(BoiteAjustee(RapportAffichage(320, 240), 1083, 317), (Boite{327, 0, 422, 317}));
    EXPECT_EQ(BoiteAjustee(RapportAffichage(1280, 720), 606, 500), (Boite{1, 81, 600, 337}));
    // Narrower than the ratio: full width, centred vertically.
    EXPECT_EQ(BoiteAjustee(Rapport{1, 1}, 106, 300), (Boite{1, 100, 100, 100}));
}

TEST(Disposition, TailleReelle)
{
    const Boite b = BoiteTailleReelle(RapportAffichage(704, 576), 704, 576, 1083, 700);
    EXPECT_EQ(b.largeur, 704);
    EXPECT_EQ(b.hauteur, 528);
    EXPECT_EQ(b.gauche, (1077 - 704) / 2);
    EXPECT_EQ(b.haut, (700 - 528) / 2);
    // Larger than the area: left 1 and the top row still reachable.
    const Boite g = BoiteTailleReelle(RapportAffichage(1920, 1080), 1920, 1080, 1000, 600);
    EXPECT_EQ(g, (Boite{1, 0, 1920, 1080}));
    // Wider than its ratio: width brought back to the ratio.
    const Boite l = BoiteTailleReelle(Rapport{4, 3}, 800, 300, 1000, 600);
    EXPECT_EQ(l.largeur, 400);
    EXPECT_EQ(l.hauteur, 300);
}

TEST(Disposition, PiedEtFenetresDeMesures)
{
    const LargeursPied p = CalculerLargeursPied(1280, 12);
    EXPECT_EQ(p.blocLecture, 1031);
    EXPECT_EQ(p.curseur, 1007);
    // The lower third of the picture box, its bottom edge within a pixel
    // or two of the box's.
    const Boite m = PlaceFenetreMesures(Boite{427, 50, 422, 317});
    EXPECT_EQ(m, (Boite{427, 50 + 211, 422, 105}));
    EXPECT_LE(50 + 317 - (m.haut + m.hauteur), 2);
}
