// The motion detector: the grid and the comparison on made-up grids, the
// moments, then the search over films drawn and coded by ffmpeg (boxes
// moving inside and outside the rectangle over sensor noise, the scene lit
// up), in the three film kinds.
#include "engine/mouvement.h"
#include "engine/motdepasse.h"
#include "engine/recherche_mouvement.h"

#include "commun/fichiers_essai.h"
#include "films_mouvement.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace {

// A grid of a still scene with some structure (bands of different
// brightness) and a little noise of its own.
GrilleLuma GrilleScene(int colonnes, int lignes, unsigned graine, double gain = 1, double decalage = 0)
{
    GrilleLuma g;
    g.colonnes = colonnes;
    g.lignes = lignes;
    g.cote = 8;
    std::mt19937 alea(graine);
    std::normal_distribution<float> bruit(0.f, 0.7f);
    for (int l = 0; l < lignes; ++l)
        for (int c = 0; c < colonnes; ++c) {
            const double base = 40 + 150.0 * c / colonnes + (l / 10 % 2) * 20;
            g.moyennes.push_back(static_cast<float>(std::clamp(gain * base + decalage, 0.0, 255.0) + bruit(alea)));
        }
    return g;
}

void Peindre(GrilleLuma& g, int c0, int l0, int c1, int l1, float valeur)
{
    for (int l = l0; l < l1; ++l)
        for (int c = c0; c < c1; ++c)
            g.moyennes[static_cast<size_t>(l * g.colonnes + c)] = valeur;
}

// Grid of 80 x 45 cells of 8 pixels: a 640 x 360 picture. The rectangle
// covers cells 40 to 69 across, 5 to 34 down.
const RectangleMouvement Rect{320, 40, 240, 240};

TEST(GrilleLuma, CellMeansDropThePartCellsAtTheEdges)
{
    // 10 x 6 plane, cells of 4: 2 x 1 cells; the last 2 columns and 2 rows
    // are left out. Rows of 12 bytes (padding must not be read as pixels).
    std::vector<uint8_t> plan(12 * 6, 255);
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 10; ++x)
            plan[static_cast<size_t>(y * 12 + x)] = static_cast<uint8_t>(x < 4 ? 10 : (x < 8 ? 10 * y : 200));
    GrilleLuma g;
    ReduireLuma(plan.data(), 10, 6, 12, 4, g);
    ASSERT_EQ(g.colonnes, 2);
    ASSERT_EQ(g.lignes, 1);
    EXPECT_FLOAT_EQ(g.moyennes[0], 10.f);
    EXPECT_FLOAT_EQ(g.moyennes[1], 15.f);  // rows 0..3: (0 + 10 + 20 + 30) / 4
    EXPECT_EQ(CoteCellule(640), 8);
    EXPECT_EQ(CoteCellule(1280), 16);
    EXPECT_EQ(CoteCellule(160), 4);
}

TEST(ComparaisonGrilles, AGlobalGainAndOffsetIsNoMotion)
{
    const SeuilsMouvement s = SeuilsPourSensibilite(SensibiliteMax);  // most sensitive
    const GrilleLuma ref = GrilleScene(80, 45, 1);
    for (auto [gain, decalage] : {std::pair{1.0, 0.0}, {1.0, 25.0}, {1.3, 10.0}, {0.7, -5.0}}) {
        const GrilleLuma cur = GrilleScene(80, 45, 2, gain, decalage);
        const ComparaisonGrilles r = ComparerGrilles(ref, cur, Rect, 1.0, s);
        EXPECT_FALSE(r.mouvement) << gain << " " << decalage << ": " << r.cellulesMobiles << " cells";
        EXPECT_NEAR(r.gain, gain, 0.05);
        EXPECT_EQ(r.cellulesRectangle, 30 * 30);
        EXPECT_LT(r.bruit, 2.0);
    }
}

TEST(ComparaisonGrilles, ABoxCountsInsideTheRectangleOnly)
{
    const SeuilsMouvement s = SeuilsPourSensibilite(SensibiliteDefaut);
    const GrilleLuma ref = GrilleScene(80, 45, 1);
    GrilleLuma dedans = GrilleScene(80, 45, 2);
    Peindre(dedans, 50, 10, 55, 15, 250.f);  // 25 cells of the rectangle's 900
    EXPECT_TRUE(ComparerGrilles(ref, dedans, Rect, 1.0, s).mouvement);
    GrilleLuma dehors = GrilleScene(80, 45, 2);
    Peindre(dehors, 10, 10, 15, 15, 250.f);
    const ComparaisonGrilles r = ComparerGrilles(ref, dehors, Rect, 1.0, s);
    EXPECT_FALSE(r.mouvement);
    EXPECT_EQ(r.cellulesMobiles, 0);
    // The same box while the lights go on: still found, still only inside.
    GrilleLuma allume = GrilleScene(80, 45, 2, 1.2, 15);
    Peindre(allume, 50, 10, 55, 15, 20.f);
    EXPECT_TRUE(ComparerGrilles(ref, allume, Rect, 1.0, s).mouvement);
    // A picture decoded at half scale: the rectangle scales with it.
    GrilleLuma moitie = GrilleScene(40, 22, 3);
    GrilleLuma moitieCur = moitie;
    Peindre(moitieCur, 25, 5, 28, 8, 250.f);
    EXPECT_TRUE(ComparerGrilles(moitie, moitieCur, Rect, 0.5, s).mouvement);
    EXPECT_FALSE(ComparerGrilles(moitie, moitieCur, RectangleMouvement{0, 0, 160, 360}, 0.5, s).mouvement);
}

TEST(ComparaisonGrilles, LightsClippedAtWhiteAreNoMotion)
{
    // A bright patch inside the rectangle cannot grow past white when the
    // rest of the scene brightens: the clipped prediction explains it.
    GrilleLuma ref = GrilleScene(80, 45, 1);
    Peindre(ref, 50, 10, 60, 20, 235.f);
    GrilleLuma cur = GrilleScene(80, 45, 2, 1.0, 40);
    Peindre(cur, 50, 10, 60, 20, 255.f);
    EXPECT_FALSE(ComparerGrilles(ref, cur, Rect, 1.0, SeuilsPourSensibilite(SensibiliteMax)).mouvement);
}

TEST(ComparaisonGrilles, SensitivityDecidesOnAFaintChange)
{
    const GrilleLuma ref = GrilleScene(80, 45, 1);
    GrilleLuma cur = GrilleScene(80, 45, 2);
    // A faint shadow of 6 levels over 40 cells of the rectangle.
    for (int l = 10; l < 14; ++l)
        for (int c = 45; c < 55; ++c)
            cur.moyennes[static_cast<size_t>(l * 80 + c)] -= 6.f;
    EXPECT_TRUE(ComparerGrilles(ref, cur, Rect, 1.0, SeuilsPourSensibilite(SensibiliteMax)).mouvement);
    EXPECT_FALSE(ComparerGrilles(ref, cur, Rect, 1.0, SeuilsPourSensibilite(SensibiliteMin)).mouvement);
    // Out-of-range settings are clamped, and a higher setting never asks for more.
    const SeuilsMouvement bas = SeuilsPourSensibilite(-3), haut = SeuilsPourSensibilite(99);
    EXPECT_EQ(bas.facteurBruit, SeuilsPourSensibilite(SensibiliteMin).facteurBruit);
    EXPECT_EQ(haut.residuMin, SeuilsPourSensibilite(SensibiliteMax).residuMin);
    for (int v = SensibiliteMin; v < SensibiliteMax; ++v) {
        const SeuilsMouvement a = SeuilsPourSensibilite(v), b = SeuilsPourSensibilite(v + 1);
        EXPECT_GT(a.facteurBruit, b.facteurBruit);
        EXPECT_GT(a.residuMin, b.residuMin);
        EXPECT_GT(a.partMin, b.partMin);
    }
}

TEST(ComparaisonGrilles, ALoneFaintCellIsFlickerAndASmallRectangleWatchesTheCellUnderIt)
{
    const GrilleLuma ref = GrilleScene(80, 45, 1);
    const SeuilsMouvement s = SeuilsPourSensibilite(SensibiliteDefaut);
    // A re-coded block: one cell 12 levels off, well above the per-cell
    // threshold, but alone; the same change over 4 x 4 cells is a thing.
    GrilleLuma cur = GrilleScene(80, 45, 2);
    cur.moyennes[20 * 80 + 50] += 12.f;
    EXPECT_FALSE(ComparerGrilles(ref, cur, Rect, 1.0, SeuilsPourSensibilite(SensibiliteMax)).mouvement);
    for (int l = 19; l <= 22; ++l)
        for (int c = 49; c <= 52; ++c)
            cur.moyennes[static_cast<size_t>(l * 80 + c)] += (l == 20 && c == 50) ? 0.f : 12.f;
    EXPECT_TRUE(ComparerGrilles(ref, cur, Rect, 1.0, s).mouvement);

    // A rectangle of 2 x 2 pixels inside cell (50, 20), pixels 400..407 x
    // 160..167: that cell alone is watched.
    cur = GrilleScene(80, 45, 2);
    Peindre(cur, 50, 20, 52, 22, 250.f);
    const ComparaisonGrilles r = ComparerGrilles(ref, cur, RectangleMouvement{402, 162, 2, 2}, 1.0, s);
    EXPECT_EQ(r.cellulesRectangle, 1);
    EXPECT_TRUE(r.mouvement);
    EXPECT_FALSE(ComparerGrilles(ref, cur, RectangleMouvement{440, 162, 2, 2}, 1.0, s).mouvement);
}

TEST(AccumulateurMoments, MomentsAreMergedAcrossShortGapsAndLoneFlashesDropped)
{
    AccumulateurMoments a(0.4, 2.0);
    auto suite = [&a](double debut, double fin, bool m) {
        for (double t = debut; t < fin - 1e-9; t += 0.2)
            a.Ajouter(t, m);
    };
    suite(0, 5, false);
    suite(5, 7, true);      // moving 5.0 .. 6.8
    suite(7, 8, false);     // 1 s pause: same moment
    suite(8, 9, true);      // .. 8.8
    suite(9, 15, false);
    a.Ajouter(15, true);    // a lone flash
    suite(15.2, 20, false);
    suite(20, 21, true);    // moving to the end of the film
    a.Terminer();
    const auto& m = a.Moments();
    ASSERT_EQ(m.size(), 2u);
    EXPECT_NEAR(m[0].debutS, 5.0, 1e-6);
    EXPECT_NEAR(m[0].finS, 8.8 - 0.4, 1e-6);
    EXPECT_NEAR(m[1].debutS, 20.0, 1e-6);
    EXPECT_NEAR(m[1].finS, 20.8 - 0.4, 1e-6);
}

TEST(DetecteurMouvement, AnalysesEveryStepAgainstThePictureAWindowBefore)
{
    // 25 pictures a second of a flat 64 x 48 plane with a bright square
    // that jumps once a second inside the rectangle, from second 2 to 4.
    DetecteurMouvement d(RectangleMouvement{0, 0, 64, 48}, SensibiliteDefaut);
    std::vector<uint8_t> plan(64 * 48);
    int analysees = 0;
    for (int k = 0; k < 150; ++k) {
        const double t = k * 0.04;
        std::fill(plan.begin(), plan.end(), 60);
        const int position = t >= 2 && t < 4.5 ? static_cast<int>(t * 5) % 4 : 0;
        for (int y = 16; y < 32; ++y)
            for (int x = position * 12; x < position * 12 + 16; ++x)
                plan[static_cast<size_t>(y * 64 + x)] = 220;
        if (d.AAnalyser(t))
            ++analysees;
        d.Ajouter(t, plan.data(), 64, 48, 64, 64);
    }
    EXPECT_EQ(analysees, 30);  // every fifth picture
    EXPECT_EQ(d.NbAnalysees(), 30);
    const auto m = d.Terminer();
    ASSERT_EQ(m.size(), 1u);
    EXPECT_NEAR(m[0].debutS, 2.0, 0.21);
    EXPECT_NEAR(m[0].finS, 4.5, 0.41);
}

TEST(DetecteurMouvement, ANewPictureSizeStartsAfresh)
{
    // Two still scenes of different sizes and brightness back to back: the
    // change of size is no motion.
    DetecteurMouvement d(RectangleMouvement{0, 0, 640, 360}, SensibiliteMax);
    std::vector<uint8_t> a(64 * 48, 40), b(128 * 96, 200);
    for (int k = 0; k < 50; ++k)
        d.Ajouter(k * 0.1, a.data(), 64, 48, 64, 64);
    for (int k = 50; k < 100; ++k)
        d.Ajouter(k * 0.1, b.data(), 128, 96, 128, 128);
    EXPECT_TRUE(d.Terminer().empty());
}

// ---- Films drawn by ffmpeg ----

class FilmsMouvement : public testing::Test
{
protected:
    void SetUp() override
    {
        if (!FfmpegPresent())
            GTEST_SKIP() << "ffmpeg is not installed: the films cannot be made here";
        ASSERT_TRUE(dossier.Pret());
    }
    BilanRecherche Chercher(const SceneMouvement& s, const std::string& chemin, int sensibilite = SensibiliteDefaut)
    {
        ParametresRecherche p;
        p.cheminFilm = chemin;
        RectangleScene(s, p.rectangle.x, p.rectangle.y, p.rectangle.largeur, p.rectangle.hauteur);
        p.sensibilite = sensibilite;
        return ChercherMouvement(p);
    }
    // The moments match the spans of the boxes inside the rectangle.
    static void VerifierMoments(const SceneMouvement& s, const std::vector<MomentMouvement>& m, const char* quoi)
    {
        int rx, ry, rl, rh;
        RectangleScene(s, rx, ry, rl, rh);
        std::vector<BoiteMobile> dedans;
        for (const BoiteMobile& b : s.boites)
            if (b.x0 >= rx)
                dedans.push_back(b);
        ASSERT_EQ(m.size(), dedans.size()) << quoi;
        for (size_t i = 0; i < m.size(); ++i) {
            EXPECT_NEAR(m[i].debutS, dedans[i].debut, 0.45) << quoi << " moment " << i;
            EXPECT_NEAR(m[i].finS, dedans[i].fin, 0.65) << quoi << " moment " << i;
        }
    }
    DossierTemporaire dossier;
};

TEST_F(FilmsMouvement, FiveBoxesInsideAndThreeOutsideOverNoiseAndLights)
{
    // 45 s at 10 pictures/s: a box every 5 s moving for 2 s; the lights go
    // on at 13 s (a box inside moves while they are on) and off at 23 s.
    SceneMouvement s = SceneCinqEtTrois(640, 360, 10, 5, 2);
    s.lumieres = {{13, 23}};
    const std::string film = dossier / "cinq.264";
    ASSERT_EQ(FabriquerFilmScene(s, film), 0);
    const BilanRecherche b = Chercher(s, film);
    ASSERT_EQ(b.resultat, ResultatRecherche::Terminee);
    EXPECT_EQ(b.largeur, 640);
    EXPECT_EQ(b.hauteur, 360);
    EXPECT_EQ(b.images, 450);
    EXPECT_EQ(b.analysees, 225);
    VerifierMoments(s, b.moments, "H.264");
    // A thumbnail of the whole scene opens each moment.
    ASSERT_EQ(b.vignettes.size(), b.moments.size());
    for (size_t i = 0; i < b.moments.size(); ++i) {
        EXPECT_EQ(b.vignettes[i].t, b.moments[i].debutS);
        EXPECT_EQ(b.vignettes[i].largeur, 160);
        EXPECT_EQ(b.vignettes[i].hauteur, 90);
        ASSERT_EQ(b.vignettes[i].gris.size(), 160u * 90u);
        // The dark band on the left of the scene, the grey on the right.
        EXPECT_LT(b.vignettes[i].gris[45 * 160 + 10], 80);
        EXPECT_GT(b.vignettes[i].gris[45 * 160 + 70], 80);
    }
}

TEST_F(FilmsMouvement, Mpeg4AndMjpegFilmsAreSearchedToo)
{
    SceneMouvement s;
    s.dureeS = 12;
    int rx, ry, rl, rh;
    RectangleScene(s, rx, ry, rl, rh);
    s.boites = {{3, 5, rx + 10, ry + 40, rx + 200, ry + 60, 40}, {8, 10, 10, 40, 200, 60, 40}};
    for (const char* ext : {".mp4", ".mjp"}) {
        const std::string film = dossier / (std::string("deux") + ext);
        ASSERT_EQ(FabriquerFilmScene(s, film), 0) << ext;
        const BilanRecherche b = Chercher(s, film);
        ASSERT_EQ(b.resultat, ResultatRecherche::Terminee) << ext;
        EXPECT_EQ(b.largeur, 640) << ext;
        VerifierMoments(s, b.moments, ext);
    }
}

TEST_F(FilmsMouvement, NoiseAndLightsAloneFindNothingEvenAtHighSensitivity)
{
    SceneMouvement s;
    s.dureeS = 16;
    s.bruit = 20;
    s.crf = 34;  // strong compression: blocks that come and go
    s.lumieres = {{4, 6}, {9, 13}};
    const std::string film = dossier / "calme.264";
    ASSERT_EQ(FabriquerFilmScene(s, film), 0);
    for (int sensibilite : {SensibiliteDefaut, 8}) {
        const BilanRecherche b = Chercher(s, film, sensibilite);
        ASSERT_EQ(b.resultat, ResultatRecherche::Terminee);
        EXPECT_GT(b.analysees, 70);
        EXPECT_TRUE(b.moments.empty()) << "sensitivity " << sensibilite << ": " << b.moments.size()
                                       << " moments, first at " << b.moments[0].debutS;
    }
}

TEST_F(FilmsMouvement, ProgressCancelProtectionAndARectangleOutsideThePicture)
{
    SceneMouvement s;
    s.dureeS = 10;
    int rx, ry, rl, rh;
    RectangleScene(s, rx, ry, rl, rh);
    s.boites = {{4, 6, rx + 10, ry + 40, rx + 200, ry + 60, 40}};
    const std::string film = dossier / "garde.264";
    ASSERT_EQ(FabriquerFilmScene(s, film), 0);
    const int64_t taille = static_cast<int64_t>(LireOctets(film).size());

    // Progress climbs to the whole file; a cancel stops at the next chunk.
    ParametresRecherche p;
    p.cheminFilm = film;
    p.rectangle = {rx, ry, rl, rh};
    SuiviRecherche suivi;
    std::vector<int64_t> etapes;
    suivi.progression = [&](int64_t fait, int64_t total) {
        EXPECT_EQ(total, taille);
        etapes.push_back(fait);
    };
    ASSERT_EQ(ChercherMouvement(p, suivi).moments.size(), 1u);
    ASSERT_GE(etapes.size(), 2u);
    EXPECT_TRUE(std::is_sorted(etapes.begin(), etapes.end()));
    EXPECT_EQ(etapes.back(), taille);
    std::atomic<bool> annuler{false};
    suivi.annuler = &annuler;
    etapes.clear();
    suivi.progression = [&](int64_t, int64_t) {
        etapes.push_back(0);
        annuler = true;
    };
    EXPECT_EQ(ChercherMouvement(p, suivi).resultat, ResultatRecherche::Annulee);
    EXPECT_EQ(etapes.size(), 1u);

    // A protected film: found with its password only.
    Octets octets = LireOctets(film);
    Embrouiller(octets.data() + 8, static_cast<int>(octets.size() - 8));
    const std::string protege = dossier / "garde2.264";
    EcrireOctets(protege, octets);
    ASSERT_EQ(EcrireFichierMotDePasse(protege, "secret"), 0);
    p.cheminFilm = protege;
    p.motDePasse = "secret";
    EXPECT_EQ(ChercherMouvement(p).moments.size(), 1u);
    p.motDePasse = "autre";
    EXPECT_EQ(ChercherMouvement(p).images, 0);

    // Outside the picture, or not a film.
    p.cheminFilm = film;
    p.motDePasse.clear();
    p.rectangle = {640, 0, 20, 20};
    EXPECT_EQ(ChercherMouvement(p).resultat, ResultatRecherche::HorsImage);
    p.rectangle = {0, 0, 0, 20};
    EXPECT_EQ(ChercherMouvement(p).resultat, ResultatRecherche::HorsImage);
    p.cheminFilm = dossier / "absent.264";
    EXPECT_EQ(ChercherMouvement(p).resultat, ResultatRecherche::FilmIllisible);
    p.cheminFilm = dossier.Chemin();
    EXPECT_EQ(ChercherMouvement(p).resultat, ResultatRecherche::FilmIllisible);
}

} // namespace
