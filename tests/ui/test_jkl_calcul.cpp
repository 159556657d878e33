// Playback in both directions as plain functions: the J / K / L / End keys,
// the state changes of J, K and L, the doubling of the speed on the gauge,
// the speed label with its direction, where a run turning round starts, the
// decision at the film's start, the previous hourly film's name, and the
// sound kept silent while the film plays backwards.
#include "sound/th_son.h"
#include "sound/thmagnetoson.h"
#include "ui/lecture_jkl_calcul.h"
#include "ui/selection_calcul.h"
#include "ui/transport_calcul.h"

#include <Qt>

#include <algorithm>

#include <gtest/gtest.h>

namespace {

TEST(JklCalcul, Touches)
{
    EXPECT_EQ(ToucheJklPour(Qt::Key_J, false, false), ToucheJkl::Arriere);
    EXPECT_EQ(ToucheJklPour(Qt::Key_K, false, false), ToucheJkl::Pause);
    EXPECT_EQ(ToucheJklPour(Qt::Key_L, false, false), ToucheJkl::Avant);
    EXPECT_EQ(ToucheJklPour(Qt::Key_End, false, false), ToucheJkl::Fin);
    EXPECT_EQ(ToucheJklPour(Qt::Key_J, true, false), ToucheJkl::Aucune);
    EXPECT_EQ(ToucheJklPour(Qt::Key_L, false, true), ToucheJkl::Aucune);
    // Keys of the navigation and the motion search are not taken.
    for (int autre : {Qt::Key_Home, Qt::Key_Period, Qt::Key_Comma, Qt::Key_Space, Qt::Key_N, Qt::Key_P})
        EXPECT_EQ(ToucheJklPour(autre, false, false), ToucheJkl::Aucune) << autre;
}

// Gauge positions of x 1, x 2, x 4, x 8 and x 16.
constexpr int X1 = 5, X2 = 6, X4 = 8, X8 = 12, X16 = 20;

EtatJkl E(int sens, int cran, bool lecture)
{
    EtatJkl e;
    e.sens = sens;
    e.cran = cran;
    e.lecture = lecture;
    return e;
}

TEST(JklCalcul, TransitionsDeJKetL)
{
    struct Cas {
        EtatJkl avant;
        ToucheJkl touche;
        EtatJkl apres;
        const char* quoi;
    };
    const Cas cas[] = {
        {E(1, X1, false), ToucheJkl::Avant, E(1, X1, true), "L stopped plays forwards"},
        {E(1, X1, true), ToucheJkl::Avant, E(1, X2, true), "L again doubles"},
        {E(1, X2, true), ToucheJkl::Avant, E(1, X4, true), "x 2 to x 4"},
        {E(1, X4, true), ToucheJkl::Avant, E(1, X8, true), "x 4 to x 8"},
        {E(1, X8, true), ToucheJkl::Avant, E(1, X16, true), "x 8 to x 16"},
        {E(1, X16, true), ToucheJkl::Avant, E(1, X16, true), "held at x 16"},
        {E(1, X1, false), ToucheJkl::Arriere, E(-1, X1, true), "J stopped plays backwards"},
        {E(1, X8, true), ToucheJkl::Arriere, E(-1, X1, true), "turning round starts at x 1"},
        {E(-1, X1, true), ToucheJkl::Arriere, E(-1, X2, true), "J again doubles"},
        {E(-1, X8, true), ToucheJkl::Arriere, E(-1, X16, true), "backwards up to x 16"},
        {E(-1, X16, true), ToucheJkl::Arriere, E(-1, X16, true), "backwards held at x 16"},
        {E(-1, X4, true), ToucheJkl::Avant, E(1, X1, true), "L while backwards"},
        {E(-1, X4, true), ToucheJkl::Pause, E(-1, X4, false), "K pauses, keeps the rest"},
        {E(-1, X4, false), ToucheJkl::Pause, E(-1, X4, false), "K paused stays paused"},
        {E(-1, X4, false), ToucheJkl::Arriere, E(-1, X1, true), "J after K resumes at x 1"},
        {E(1, X16, false), ToucheJkl::Avant, E(1, X1, true), "L after K resumes at x 1"},
        {E(-1, X2, true), ToucheJkl::Fin, E(-1, X2, true), "End is not a J / K / L change"},
    };
    for (const Cas& c : cas) {
        const EtatJkl r = TransitionJkl(c.avant, c.touche);
        EXPECT_TRUE(r == c.apres) << c.quoi << ": sens " << r.sens << ", cran " << r.cran << ", lecture "
                                  << r.lecture;
    }
}

TEST(JklCalcul, DoublementSurLaJauge)
{
    // Speeds off the powers of two go to the next position at or above
    // twice the speed: 0.1 -> 0.3, 0.5 -> 1, 0.9 -> 2, 3 -> 6, 12 -> 16.
    const std::pair<int, int> cas[] = {{0, 1}, {2, X1}, {4, X2}, {7, 10}, {16, X16}, {X16, X16}, {-3, X2}};
    for (auto [cran, double_] : cas)
        EXPECT_EQ(CranDouble(cran), double_) << cran;
    for (int c = CranVitesseMin; c < CranVitesseMax; ++c)
        EXPECT_GE(VitessePourCran(CranDouble(c)).vitesse, std::min(2 * VitessePourCran(c).vitesse, 16.0) - 1e-9)
            << c;
}

TEST(JklCalcul, TexteDeVitesseAvecLeSens)
{
    EXPECT_EQ(TexteVitesseSens(X4, 1), "x 4");
    EXPECT_EQ(TexteVitesseSens(X4, -1), "x -4");
    EXPECT_EQ(TexteVitesseSens(X16, -1), "x -16");
    EXPECT_EQ(TexteVitesseSens(0, -1), "x -0.1");
    EXPECT_EQ(TexteVitesseSens(X1, 1), "x 1");
}

TEST(JklCalcul, RepriseSurLImageMontree)
{
    // Exact picture 37 at 7.4 s: the run starts on it, the slider at 7.
    Reprise r = RepriseSurImageMontree(37, 7400, true, 3, 40);
    EXPECT_EQ(r.seconde, 7);
    EXPECT_EQ(r.image, 37);
    // An estimate gives the second only.
    r = RepriseSurImageMontree(37, 7400, false, 3, 40);
    EXPECT_EQ(r.seconde, 7);
    EXPECT_EQ(r.image, -1);
    // No picture yet: from the start position.
    r = RepriseSurImageMontree(-1, 0, true, 12, 40);
    EXPECT_EQ(r.seconde, 12);
    EXPECT_EQ(r.image, -1);
    // Never past the film's duration.
    r = RepriseSurImageMontree(399, 40500, true, 0, 40);
    EXPECT_EQ(r.seconde, 40);
    EXPECT_EQ(r.image, 399);
}

TEST(JklCalcul, DecisionAuDebutDuFilm)
{
    EXPECT_EQ(DeciderDebutDeFilm(true, false, true), DebutDeFilm::Continuer);
    EXPECT_EQ(DeciderDebutDeFilm(false, true, true), DebutDeFilm::Continuer); // stopped meanwhile
    EXPECT_EQ(DeciderDebutDeFilm(true, true, false), DebutDeFilm::Arreter);
    EXPECT_EQ(DeciderDebutDeFilm(true, true, true), DebutDeFilm::Precedent);
}

TEST(JklCalcul, FilmPrecedentDansLeTemps)
{
    struct Cas {
        const char* chemin;
        const char* precedent; // nullptr: no previous film
    } cas[] = {
        {"/d/10/12-05-2014-10-16.mjp", "/d/10/12-05-2014-10-15.mjp"},
        {"/d/11/12-05-2014-11-00.mjp", "/d/10/12-05-2014-10-59.mjp"},           // hour
        {"/d/00/13-05-2014-00-00.264", "/d/23/12-05-2014-23-59.264"},           // midnight
        {"/d/00/01-03-2015-00-00.mp4", "/d/23/28-02-2015-23-59.mp4"},           // month
        {"/d/00/01-03-2016-00-00.mp4", "/d/23/29-02-2016-23-59.mp4"},           // leap day
        {"/d/00/01-03-1900-00-00.mp4", "/d/23/28-02-1900-23-59.mp4"},           // no leap day in 1900
        {"/d/00/01-01-2015-00-00.mjp", "/d/23/31-12-2014-23-59.mjp"},           // year
        {"/d/00/01-05-2014-00-00.mjp", "/d/23/30-04-2014-23-59.mjp"},           // 30-day month
        {"/d/00/01-01-0001-00-00.mjp", nullptr},                                // before year 1
        {"/d/10/32-05-2014-10-00.mjp", nullptr},                                // no such day
        {"/d/10/12-13-2014-10-00.mjp", nullptr},                                // no such month
        {"/d/10/12-05-2014-24-00.mjp", nullptr},                                // no such hour
        {"/d/10/clip.mjp", nullptr},
        {"10/12-05-2014-10-15.mjp", nullptr}, // 23 characters: nothing to keep
    };
    for (const Cas& c : cas) {
        char precedent[301] = "x";
        const bool ok = CalculerFilmPrecedent(c.chemin, precedent, sizeof precedent);
        EXPECT_EQ(ok, c.precedent != nullptr) << c.chemin;
        EXPECT_STREQ(precedent, c.precedent ? c.precedent : "") << c.chemin;
    }
    char court[10] = "x";
    EXPECT_FALSE(CalculerFilmPrecedent("/d/10/12-05-2014-10-15.mjp", court, sizeof court));
    EXPECT_STREQ(court, "");
    // Forwards and backwards are each other's inverse within a day.
    char suivant[301], retour[301];
    ASSERT_TRUE(CalculerFilmSuivant("/d/10/12-05-2014-10-59.mjp", suivant, sizeof suivant));
    ASSERT_TRUE(CalculerFilmPrecedent(suivant, retour, sizeof retour));
    EXPECT_STREQ(retour, "/d/10/12-05-2014-10-59.mjp");
}

TEST(JklCalcul, SonMuetEnArriere)
{
    EtatLectureSon lu;
    lu.lecture = lu.sonActif = lu.sonEcoute = true;
    EXPECT_TRUE(SonAuPas(lu));
    lu.sens = -1;
    EXPECT_FALSE(SonAuPas(lu));
    EXPECT_TRUE(SonActif(lu)); // still active: the handover area is kept empty
    lu.sens = 1;
    lu.vitesse = 4.0;
    EXPECT_FALSE(SonAuPas(lu));

    EtatSortieSon sortie;
    sortie.lecture = sortie.sonActif = sortie.sonEcoute = true;
    EXPECT_TRUE(SortieSonAudible(sortie));
    sortie.sens = -1;
    EXPECT_FALSE(SortieSonAudible(sortie));
}

} // namespace
