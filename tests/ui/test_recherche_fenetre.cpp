// The window side of the motion search, offscreen: the rectangle drawn with
// Shift+drag (over a zoomed picture too) and removed with Escape, a search
// in the background whose moments are listed, marked on the slider and
// reached by a click or by N / P, and forgotten with another film. The
// search of the day's films: its moments in time order over the films, a
// protected film opened by the password or left out, the cancel, and a
// moment of another film opened there.
#include "ui/recherche_fenetre.h"

#include "commun/attente_essai.h"
#include "commun/fichiers_essai.h"
#include "engine/films_mouvement.h"
#include "engine/motdepasse.h"
#include "ui/chronologie.h"
#include "ui/image_etiree.h"
#include "ui/recherche_jour.h"
#include "fenetre_essai.h"
#include "engine/index_images.h"
#include "engine/th_indexeur.h"

#include <QCheckBox>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QTest>
#include <QVBoxLayout>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>

namespace {

// Three hourly films of one day (no ".hrd": placed by their names), 8 s at
// 10 pictures a second: at 10:00 a box moves in the rectangle from 2 to
// 4 s; at 11:00 one moves outside it only; at 12:00 boxes move in it from
// 1 to 2.5 s and from 5.5 to 7 s.
struct JourEssai {
    std::string a, b, c;
    SceneMouvement s;
    RectangleMouvement rect;

    bool Fabriquer(const std::string& dossier)
    {
        s.dureeS = 8;
        RectangleScene(s, rect.x, rect.y, rect.largeur, rect.hauteur);
        const int rx = rect.x, ry = rect.y;
        a = dossier + "/12-05-2014-10-00.264";
        b = dossier + "/12-05-2014-11-00.264";
        c = dossier + "/12-05-2014-12-00.264";
        SceneMouvement sa = s, sb = s, sc = s;
        sa.boites = {{2, 4, rx + 10, ry + 40, rx + 200, ry + 60, 40}};
        sb.boites = {{2, 6, 10, 40, 200, 60, 40}};
        sc.boites = {{1, 2.5, rx + 200, ry + 100, rx + 20, ry + 20, 40}, {5.5, 7, rx + 10, ry + 150, rx + 200, ry + 150, 40}};
        return FabriquerFilmScene(sa, a) == 0 && FabriquerFilmScene(sb, b) == 0 && FabriquerFilmScene(sc, c) == 0;
    }
};

// Makes a film protected as a recorder does: body scrambled, ".mdp" beside.
void Proteger(const std::string& film, const std::string& motDePasse)
{
    Octets o = LireOctets(film);
    ASSERT_GT(o.size(), 8u);
    Embrouiller(o.data() + 8, static_cast<int>(o.size() - 8));
    EcrireOctets(film, o);
    ASSERT_EQ(EcrireFichierMotDePasse(film, motDePasse), 0);
}

TEST(RechercheCalcul, RectangleBetweenTheControlAndThePicture)
{
    // A 640 x 360 picture stretched over a 320 x 180 control.
    const QRectF tout(0, 0, 1, 1);
    RectangleMouvement r = RectangleDansLImage({160, 20}, {300, 160}, {320, 180}, tout, {640, 360});
    EXPECT_EQ(r.x, 320);
    EXPECT_EQ(r.y, 40);
    EXPECT_EQ(r.largeur, 280);
    EXPECT_EQ(r.hauteur, 280);
    // Drawn from bottom right to top left, and past the control's edge.
    r = RectangleDansLImage({300, 160}, {400, -50}, {320, 180}, tout, {640, 360});
    EXPECT_EQ(r.x, 600);
    EXPECT_EQ(r.y, 0);
    EXPECT_EQ(r.largeur, 40);
    EXPECT_EQ(r.hauteur, 320);
    // Zoomed x2 on the bottom right quarter: the control shows 320..640 x 180..360.
    const QRectF quart(0.5, 0.5, 0.5, 0.5);
    r = RectangleDansLImage({0, 0}, {160, 90}, {320, 180}, quart, {640, 360});
    EXPECT_EQ(r.x, 320);
    EXPECT_EQ(r.y, 180);
    EXPECT_EQ(r.largeur, 160);
    EXPECT_EQ(r.hauteur, 90);
    const QRectF e = RectangleSurLeControle(r, {320, 180}, quart, {640, 360});
    EXPECT_DOUBLE_EQ(e.left(), 0);
    EXPECT_DOUBLE_EQ(e.right(), 160);
    EXPECT_DOUBLE_EQ(e.bottom(), 90);
    EXPECT_TRUE(RectangleSurLeControle(r, {320, 180}, quart, {0, 0}).isNull());
}

TEST(RechercheCalcul, NextAndPreviousMoments)
{
    const std::vector<MomentMouvement> m = {{3, 5}, {10, 12}, {20, 21}};
    struct Cas {
        double position;
        int sens, attendu;
    };
    for (const Cas& c : {Cas{0, 1, 0}, Cas{3, 1, 1}, Cas{4, 1, 1}, Cas{20, 1, -1}, Cas{25, -1, 2}, Cas{20.2, -1, 1},
                         Cas{10.4, -1, 0}, Cas{3.2, -1, -1}, Cas{11, -1, 1}})
        EXPECT_EQ(MomentVoisin(m, c.position, c.sens), c.attendu) << c.position << " " << c.sens;
    EXPECT_EQ(MomentVoisin({}, 5, 1), -1);
}

TEST(RechercheCalcul, MomentTexts)
{
    EXPECT_EQ(TexteMoment({75.25, 78.5}, false, 0, 0, 120), "00:01:15.2  (3,2 s)");
    const double debut = 41771 + 10 / 24.0;  // 12/05/2014 10:00:00
    EXPECT_EQ(TexteMoment({75.25, 78.5}, true, debut, debut + 120 / 86400.0, 120), "12/05/2014 10:01:15  (3,2 s)");
}

TEST(RechercheCalcul, ShareOfTheDayAndTextOfAMomentOfTheDay)
{
    const std::vector<int64_t> tailles = {100, 300, 0, 600};
    EXPECT_EQ(PourMilleJour(tailles, 0, 0, 100), 0);
    EXPECT_EQ(PourMilleJour(tailles, 0, 50, 100), 50);
    EXPECT_EQ(PourMilleJour(tailles, 1, 150, 300), 250);
    // The film read larger than at the start, or past its size: no more than its share.
    EXPECT_EQ(PourMilleJour(tailles, 1, 900, 300), 400);
    EXPECT_EQ(PourMilleJour(tailles, 3, 600, 600), 1000);
    EXPECT_EQ(PourMilleJour(tailles, 4, 0, 0), 1000);
    EXPECT_EQ(PourMilleJour({}, 0, 1, 1), 0);
    EXPECT_EQ(PourMilleJour({0, 0}, 1, 1, 1), 0);

    JourDeFilms jour;
    jour.jour = 12, jour.mois = 5, jour.annee = 2014;
    FilmDuJour f;
    f.chemin = "/films/12/12-05-2014-12-00.264";
    // Recorded from 12:00:30 for 60 s of film over 120 s of the day.
    f.debut = 12 * 3600 + 30;
    f.fin = f.debut + 120;
    f.dureeSecondes = 60;
    EXPECT_EQ(TexteMomentDuJour({10.5, 12}, f, jour), "12/05/2014 12:00:51  (1,5 s)\n12-05-2014-12-00.264");
}

TEST(RechercheJour, MomentsOfTheDayInOrderProtectedFilmAndCancel)
{
    if (!FfmpegPresent())
        GTEST_SKIP() << "ffmpeg is not installed: the films cannot be made here";
    DossierTemporaire dossier;
    ASSERT_TRUE(dossier.Pret());
    JourEssai j;
    ASSERT_TRUE(j.Fabriquer(dossier.Chemin()));
    JourDeFilms jour;
    ASSERT_EQ(ScannerJour(j.b, jour), 0);
    ASSERT_EQ(jour.films.size(), 3u);
    ParametresRecherche p;
    p.rectangle = j.rect;

    std::vector<int> parts;
    std::vector<size_t> films;
    SuiviJour suivi;
    suivi.progression = [&](int v) { parts.push_back(v); };
    suivi.film = [&](size_t i, size_t n) {
        films.push_back(i);
        EXPECT_EQ(n, 3u);
    };
    BilanJour b = ChercherMouvementJour(jour, p, suivi);
    ASSERT_EQ(b.resultat, ResultatRecherche::Terminee);
    EXPECT_EQ(b.filmsParcourus, 3u);
    EXPECT_TRUE(b.notes.empty());
    EXPECT_EQ(films, (std::vector<size_t>{0, 1, 2}));
    ASSERT_FALSE(parts.empty());
    EXPECT_TRUE(std::is_sorted(parts.begin(), parts.end()));
    EXPECT_EQ(parts.back(), 1000);
    // The 10:00 film's moment, then the 12:00 film's two; placed in the day.
    ASSERT_EQ(b.moments.size(), 3u);
    ASSERT_EQ(b.vignettes.size(), 3u);
    EXPECT_EQ(b.moments[0].film, j.a);
    EXPECT_EQ(b.moments[1].film, j.c);
    EXPECT_EQ(b.moments[2].film, j.c);
    EXPECT_NEAR(b.moments[0].moment.debutS, 2, 0.8);
    EXPECT_NEAR(b.moments[1].moment.debutS, 1, 0.8);
    EXPECT_NEAR(b.moments[2].moment.debutS, 5.5, 0.8);
    EXPECT_DOUBLE_EQ(b.moments[0].instant, 10 * 3600 + b.moments[0].moment.debutS);
    EXPECT_DOUBLE_EQ(b.moments[2].instant, 12 * 3600 + b.moments[2].moment.debutS);
    for (const VignetteMouvement& v : b.vignettes)
        EXPECT_FALSE(v.gris.empty());
    const std::vector<MomentTrouve> tous = b.moments;

    // The 12:00 film protected: left out with a note without its password,
    // searched with it.
    Proteger(j.c, "secret");
    p.motDePasse = "autre";
    b = ChercherMouvementJour(jour, p);
    ASSERT_EQ(b.resultat, ResultatRecherche::Terminee);
    EXPECT_EQ(b.filmsParcourus, 2u);
    ASSERT_EQ(b.moments.size(), 1u);
    EXPECT_EQ(b.moments[0].film, j.a);
    ASSERT_EQ(b.notes.size(), 1u);
    EXPECT_EQ(b.notes[0].film, j.c);
    EXPECT_EQ(b.notes[0].texte, NoteFilmProtege);
    EXPECT_DOUBLE_EQ(b.notes[0].instant, 12 * 3600);
    p.motDePasse = "secret";
    b = ChercherMouvementJour(jour, p);
    ASSERT_EQ(b.moments.size(), 3u);
    for (size_t i = 0; i < 3; ++i)
        EXPECT_DOUBLE_EQ(b.moments[i].moment.debutS, tous[i].moment.debutS) << i;

    // Cancelled as the second film starts: it ends there, with the first
    // film's moment.
    std::atomic<bool> arret{false};
    SuiviJour annule;
    annule.annuler = &arret;
    annule.film = [&](size_t i, size_t) {
        if (i == 1)
            arret = true;
    };
    b = ChercherMouvementJour(jour, p, annule);
    EXPECT_EQ(b.resultat, ResultatRecherche::Annulee);
    EXPECT_EQ(b.filmsParcourus, 1u);
    ASSERT_EQ(b.moments.size(), 1u);
    EXPECT_EQ(b.moments[0].film, j.a);
}

class FenetreRecherche : public testing::Test
{
protected:
    void SetUp() override
    {
        fenetre.resize(400, 260);
        auto* colonne = new QVBoxLayout(&fenetre);
        image = new TImageEtiree;
        image->setFixedSize(320, 180);
        QImage gris(640, 360, QImage::Format_RGB32);
        gris.fill(Qt::gray);
        image->FixerImage(gris);
        curseur = new QSlider(Qt::Horizontal);
        curseur->setRange(0, 14);
        curseur->setFixedWidth(320);
        colonne->addWidget(image);
        colonne->addWidget(curseur);
        fenetre.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&fenetre));
        AccesRecherche a;
        a.image = image;
        a.curseur = curseur;
        a.fenetre = &fenetre;
        a.film = [this] { return film; };
        a.motDePasse = [] { return std::string(); };
        a.position = [this] { return position; };
        a.allerA = [this](double t) {
            sauts.push_back(t);
            position = t;  // the picture shown follows at once here
        };
        // The window's opening: the film at the whole second.
        a.ouvrirA = [this](const std::string& chemin, double t) {
            ouvertures.emplace_back(chemin, t);
            film = chemin;
            curseur->setValue(static_cast<int>(t));
            position = static_cast<int>(t);
        };
        a.indexPret = [this](const std::string&) { return indexPret; };
        recherche = std::make_unique<RechercheMouvement>(a);
    }
    void TearDown() override { recherche.reset(); }

    void Tracer(QPoint a, QPoint b, Qt::KeyboardModifiers m = Qt::ShiftModifier)
    {
        QTest::mousePress(image, Qt::LeftButton, m, a);
        QTest::mouseMove(image, (a + b) / 2);
        QTest::mouseMove(image, b);
        QTest::mouseRelease(image, Qt::LeftButton, m, b);
    }
    static int PixelsOranges(const QImage& i)
    {
        int n = 0;
        for (int y = 0; y < i.height(); ++y)
            for (int x = 0; x < i.width(); ++x) {
                const QColor c = i.pixelColor(x, y);
                n += c.red() > 200 && c.green() > 100 && c.green() < 180 && c.blue() < 60;
            }
        return n;
    }

    QWidget fenetre;
    TImageEtiree* image = nullptr;
    QSlider* curseur = nullptr;
    std::unique_ptr<RechercheMouvement> recherche;
    std::string film;
    double position = 0;
    std::vector<double> sauts;
    std::vector<std::pair<std::string, double>> ouvertures;
    bool indexPret = true;
};

TEST_F(FenetreRecherche, ShiftDragDrawsTheRectangleOverThePictureAndEscapeRemovesIt)
{
    film = "/nulle/part.264";
    // A plain drag is no rectangle (it pans a zoomed picture).
    Tracer({160, 20}, {300, 160}, Qt::NoModifier);
    EXPECT_FALSE(recherche->ARectangle());
    Tracer({160, 20}, {300, 160});
    ASSERT_TRUE(recherche->ARectangle());
    EXPECT_EQ(recherche->Rectangle().x, 320);
    EXPECT_EQ(recherche->Rectangle().y, 40);
    EXPECT_EQ(recherche->Rectangle().largeur, 280);
    EXPECT_EQ(recherche->Rectangle().hauteur, 280);
    EXPECT_TRUE(recherche->Panneau()->isVisible());
    EXPECT_TRUE(recherche->BoutonChercher()->isEnabled());
    // Drawn over the picture: its left edge is red (dashed), its inside tinted.
    const QImage vue = image->grab().toImage();
    int rouges = 0;
    for (int y = 22; y < 158; ++y) {
        const QColor c = vue.pixelColor(160, y);
        rouges += c.red() > c.blue() + 80;
    }
    EXPECT_GT(rouges, 40);
    const QColor dedans = vue.pixelColor(230, 90), dehors = vue.pixelColor(60, 90);
    EXPECT_GT(dedans.red(), dedans.blue() + 10);
    EXPECT_EQ(dehors, QColor(Qt::gray));

    // A click with Shift (no drag) is a slip: no rectangle.
    QTest::keyClick(&fenetre, Qt::Key_Escape);
    EXPECT_FALSE(recherche->ARectangle());
    EXPECT_FALSE(recherche->BoutonChercher()->isEnabled());
    EXPECT_EQ(image->grab().toImage().pixelColor(160, 90), QColor(Qt::gray));
    Tracer({100, 100}, {101, 101});
    EXPECT_FALSE(recherche->ARectangle());
}

TEST_F(FenetreRecherche, SearchListsMarksAndReachesTheMoments)
{
    if (!FfmpegPresent())
        GTEST_SKIP() << "ffmpeg is not installed: the film cannot be made here";
    DossierTemporaire dossier;
    ASSERT_TRUE(dossier.Pret());
    SceneMouvement s;
    s.dureeS = 14;
    int rx, ry, rl, rh;
    RectangleScene(s, rx, ry, rl, rh);
    s.boites = {{3, 5, rx + 10, ry + 40, rx + 200, ry + 60, 40},
                {6, 8, 10, 40, 200, 60, 40},  // outside
                {10, 12, rx + 200, ry + 100, rx + 20, ry + 20, 40}};
    film = dossier / "essai.264";
    ASSERT_EQ(FabriquerFilmScene(s, film), 0);

    Tracer({160, 20}, {300, 160});  // 320, 40, 280 x 280: the scene's rectangle
    EXPECT_EQ(PixelsOranges(curseur->grab().toImage()), 0);
    QTest::mouseClick(recherche->BoutonChercher(), Qt::LeftButton);
    EXPECT_TRUE(recherche->EnCours());
    EXPECT_FALSE(recherche->BoutonChercher()->isEnabled());
    EXPECT_FALSE(recherche->BoutonAnnuler()->isHidden());
    ASSERT_TRUE(AttendreEnTraitantEvenements([this] { return !recherche->EnCours(); }, 60000));
    EXPECT_TRUE(recherche->BoutonAnnuler()->isHidden());

    // Listed with their thumbnails, marked on the slider.
    ASSERT_EQ(recherche->Moments().size(), 2u) << recherche->Etat()->text().toStdString();
    ASSERT_EQ(recherche->Liste()->count(), 2);
    EXPECT_FALSE(recherche->Liste()->item(0)->icon().isNull());
    EXPECT_TRUE(recherche->Liste()->item(1)->text().startsWith("00:00:1")) << recherche->Liste()->item(1)->text().toStdString();
    EXPECT_GT(PixelsOranges(curseur->grab().toImage()), 10);

    // A click goes to the start; N and P step through the moments.
    const QRect r1 = recherche->Liste()->visualItemRect(recherche->Liste()->item(1));
    QTest::mouseClick(recherche->Liste()->viewport(), Qt::LeftButton, Qt::NoModifier, r1.center());
    ASSERT_EQ(sauts.size(), 1u);
    EXPECT_DOUBLE_EQ(sauts[0], recherche->Moments()[1].moment.debutS);
    QTest::keyClick(&fenetre, Qt::Key_P);
    QTest::keyClick(&fenetre, Qt::Key_P);  // none before the first: stays
    position = 0;
    QTest::keyClick(&fenetre, Qt::Key_N);
    QTest::keyClick(&fenetre, Qt::Key_N);
    QTest::keyClick(&fenetre, Qt::Key_N);  // none after the last
    ASSERT_EQ(sauts.size(), 4u);
    EXPECT_DOUBLE_EQ(sauts[1], recherche->Moments()[0].moment.debutS);
    EXPECT_DOUBLE_EQ(sauts[2], recherche->Moments()[0].moment.debutS);
    EXPECT_DOUBLE_EQ(sauts[3], recherche->Moments()[1].moment.debutS);
    // Typing in a number field keeps its keys.
    recherche->Sensibilite()->setFocus();
    QTest::keyClick(recherche->Sensibilite(), Qt::Key_P);
    EXPECT_EQ(sauts.size(), 4u);

    // Another film: the moments and their marks go.
    film = dossier / "autre.264";
    ASSERT_TRUE(AttendreEnTraitantEvenements([this] { return recherche->Moments().empty(); }, 3000));
    EXPECT_EQ(recherche->Liste()->count(), 0);
    EXPECT_EQ(PixelsOranges(curseur->grab().toImage()), 0);
}

TEST_F(FenetreRecherche, DaySearchListsEachFilmsMomentsAndOpensAnotherFilmAtItsMoment)
{
    if (!FfmpegPresent())
        GTEST_SKIP() << "ffmpeg is not installed: the films cannot be made here";
    DossierTemporaire dossier;
    ASSERT_TRUE(dossier.Pret());
    JourEssai j;
    ASSERT_TRUE(j.Fabriquer(dossier.Chemin()));
    film = j.a;
    curseur->setRange(0, 8);
    Tracer({160, 20}, {300, 160});  // 320, 40, 280 x 280: the scene's rectangle
    ASSERT_TRUE(recherche->CaseJour()->isEnabled());
    recherche->CaseJour()->setChecked(true);

    // Cancelled at once: nothing listed, and it can start again.
    QTest::mouseClick(recherche->BoutonChercher(), Qt::LeftButton);
    ASSERT_TRUE(recherche->EnCours());
    EXPECT_FALSE(recherche->CaseJour()->isEnabled());
    QTest::mouseClick(recherche->BoutonAnnuler(), Qt::LeftButton);
    ASSERT_TRUE(AttendreEnTraitantEvenements([this] { return !recherche->EnCours(); }, 60000));
    EXPECT_EQ(recherche->Etat()->text(), QString::fromUtf8("Recherche annulée"));
    EXPECT_TRUE(recherche->Moments().empty());
    EXPECT_EQ(recherche->Liste()->count(), 0);
    ASSERT_TRUE(recherche->BoutonChercher()->isEnabled());

    QTest::mouseClick(recherche->BoutonChercher(), Qt::LeftButton);
    ASSERT_TRUE(AttendreEnTraitantEvenements([this] { return !recherche->EnCours(); }, 60000));
    ASSERT_EQ(recherche->Moments().size(), 3u) << recherche->Etat()->text().toStdString();
    EXPECT_TRUE(recherche->RechercheDuJour());
    EXPECT_EQ(recherche->Progression()->value(), 1000);
    // Each moment with its time of day and its film, in order, with its thumbnail.
    ASSERT_EQ(recherche->Liste()->count(), 3);
    const QString l0 = recherche->Liste()->item(0)->text(), l1 = recherche->Liste()->item(1)->text();
    EXPECT_TRUE(l0.startsWith("12/05/2014 10:00:0") && l0.endsWith("12-05-2014-10-00.264")) << l0.toStdString();
    EXPECT_TRUE(l1.startsWith("12/05/2014 12:00:0") && l1.endsWith("12-05-2014-12-00.264")) << l1.toStdString();
    EXPECT_FALSE(recherche->Liste()->item(2)->icon().isNull());
    const auto parFilm = recherche->MomentsParFilm();
    EXPECT_EQ(parFilm.size(), 2u);
    EXPECT_EQ(parFilm.count(j.c) ? parFilm.at(j.c).size() : 0u, 2u);
    // The slider shows the current film's moments only: the 10:00 film's
    // (2 to 4.5 s), not the 12:00 film's second one (from 5.5 s).
    auto droite = [this] {
        const QImage i = curseur->grab().toImage();
        return PixelsOranges(i.copy(QRect(i.width() * 6 / 10, 0, i.width() * 4 / 10, i.height())));
    };
    EXPECT_GT(PixelsOranges(curseur->grab().toImage()), 10);
    EXPECT_EQ(droite(), 0);

    // A click on a moment of the 12:00 film opens it at that second; the
    // exact seek waits for its index.
    indexPret = false;
    const MomentTrouve m1 = recherche->Moments()[1], m2 = recherche->Moments()[2];
    QTest::mouseClick(recherche->Liste()->viewport(), Qt::LeftButton, Qt::NoModifier,
                      recherche->Liste()->visualItemRect(recherche->Liste()->item(1)).center());
    ASSERT_EQ(ouvertures.size(), 1u);
    EXPECT_EQ(ouvertures[0].first, j.c);
    EXPECT_DOUBLE_EQ(ouvertures[0].second, m1.moment.debutS);
    EXPECT_TRUE(sauts.empty());
    indexPret = true;
    ASSERT_TRUE(AttendreEnTraitantEvenements([this] { return !sauts.empty(); }, 10000));
    EXPECT_DOUBLE_EQ(sauts[0], m1.moment.debutS);
    EXPECT_GT(droite(), 0);
    // The day's moments stay with a film of the day; N goes to the next
    // one in this film, P twice back over to the 10:00 film.
    ASSERT_EQ(recherche->Moments().size(), 3u);
    QTest::keyClick(&fenetre, Qt::Key_N);
    ASSERT_EQ(sauts.size(), 2u);
    EXPECT_DOUBLE_EQ(sauts[1], m2.moment.debutS);
    QTest::keyClick(&fenetre, Qt::Key_P);
    QTest::keyClick(&fenetre, Qt::Key_P);
    ASSERT_EQ(ouvertures.size(), 2u);
    EXPECT_EQ(ouvertures[1].first, j.a);
    ASSERT_EQ(sauts.size(), 4u);
    EXPECT_DOUBLE_EQ(sauts[2], m1.moment.debutS);
    EXPECT_DOUBLE_EQ(sauts[3], recherche->Moments()[0].moment.debutS);
    // From a place of the 11:00 film, N goes to the 12:00 film's first.
    film = j.b;
    position = 7;
    QTest::keyClick(&fenetre, Qt::Key_N);
    ASSERT_EQ(ouvertures.size(), 3u);
    EXPECT_EQ(ouvertures[2].first, j.c);

    // A film of no day searched: the moments go.
    film = dossier / "autre.264";
    ASSERT_TRUE(AttendreEnTraitantEvenements([this] { return recherche->Moments().empty(); }, 3000));

    // The 12:00 film protected, no password typed: a note in its place.
    Proteger(j.c, "secret");
    film = j.a;
    QTest::mouseClick(recherche->BoutonChercher(), Qt::LeftButton);
    ASSERT_TRUE(AttendreEnTraitantEvenements([this] { return !recherche->EnCours(); }, 60000));
    ASSERT_EQ(recherche->Moments().size(), 1u);
    ASSERT_EQ(recherche->Liste()->count(), 2);
    const QString note = recherche->Liste()->item(1)->text();
    EXPECT_TRUE(note.startsWith("12-05-2014-12-00.264") && note.contains(QString::fromUtf8(NoteFilmProtege)))
        << note.toStdString();
    const size_t avant = sauts.size() + ouvertures.size();
    QTest::mouseClick(recherche->Liste()->viewport(), Qt::LeftButton, Qt::NoModifier,
                      recherche->Liste()->visualItemRect(recherche->Liste()->item(1)).center());
    EXPECT_EQ(sauts.size() + ouvertures.size(), avant);
}

// The player's own window: its hook gives the search the picture, the
// slider and the exact seek.
class FenetrePrincipaleRecherche : public EssaiFenetre
{
};

TEST_F(FenetrePrincipaleRecherche, AHitIsMarkedAndAClickShowsItsFirstPicture)
{
    if (!FfmpegPresent())
        GTEST_SKIP() << "ffmpeg is not installed: the film cannot be made here";
    SceneMouvement s;
    s.dureeS = 10;
    int rx, ry, rl, rh;
    RectangleScene(s, rx, ry, rl, rh);
    s.boites = {{4.5, 6.5, rx + 10, ry + 40, rx + 200, ry + 60, 40}};
    const std::string film = (dossier.path() + "/essai.264").toStdString();
    ASSERT_EQ(FabriquerFilmScene(s, film), 0);
    Creer();
    w->show();
    Selectionner(film);
    ASSERT_EQ(std::string(CheminFilm), film);
    RechercheMouvement* r = w->RechercheMouvementFenetre;
    ASSERT_NE(r, nullptr);
    // The picture the reader shows is the film's size.
    QImage gris(640, 360, QImage::Format_RGB32);
    gris.fill(Qt::gray);
    w->Image1->FixerImage(gris);
    r->FixerRectangle({rx, ry, rl, rh});
    QTest::mouseClick(r->BoutonChercher(), Qt::LeftButton);
    ASSERT_TRUE(AttendreQue([r] { return !r->EnCours(); }, 60000));
    ASSERT_EQ(r->Moments().size(), 1u) << r->Etat()->text().toStdString();
    const double debut = r->Moments()[0].moment.debutS;

    // The index lets the seek land on the moment's very picture.
    ASSERT_TRUE(AttendreQue([] { return IndexFilm(CheminFilm) != nullptr; }, 20000));
    QTest::mouseClick(r->Liste()->viewport(), Qt::LeftButton, Qt::NoModifier,
                      r->Liste()->visualItemRect(r->Liste()->item(0)).center());
    EXPECT_EQ(w->CurseurMinutes1->value(), static_cast<int>(debut));
    EXPECT_EQ(SecondeDepart, static_cast<int32_t>(debut));
    // 10 pictures a second: picture 10 x start, not one before it.
    EXPECT_EQ(Voies[0].ImageDemandee, std::llround(debut * 10));
    EXPECT_EQ(Voies[0].FlagRafraichir, 1);
}

TEST_F(FenetrePrincipaleRecherche, DaySearchMarksTheStripAndAClickOpensTheOtherFilmAtItsPicture)
{
    if (!FfmpegPresent())
        GTEST_SKIP() << "ffmpeg is not installed: the films cannot be made here";
    JourEssai j;
    ASSERT_TRUE(j.Fabriquer(dossier.path().toStdString()));
    Creer();
    w->show();
    Selectionner(j.a);
    ASSERT_EQ(std::string(CheminFilm), j.a);
    RechercheMouvement* r = w->RechercheMouvementFenetre;
    QImage gris(640, 360, QImage::Format_RGB32);
    gris.fill(Qt::gray);
    w->Image1->FixerImage(gris);
    r->FixerRectangle(j.rect);
    ASSERT_TRUE(r->CaseJour()->isEnabled());
    r->CaseJour()->setChecked(true);
    QTest::mouseClick(r->BoutonChercher(), Qt::LeftButton);
    ASSERT_TRUE(AttendreQue([r] { return !r->EnCours(); }, 60000));
    ASSERT_EQ(r->Moments().size(), 3u) << r->Etat()->text().toStdString();

    // Marked on the day strip at both films.
    const auto& marques = w->ChronologieFenetre->Mouvements();
    EXPECT_EQ(marques.size(), 2u);
    ASSERT_EQ(marques.count(j.c), 1u);
    EXPECT_EQ(marques.at(j.c).size(), 2u);

    // A click on the 12:00 film's first moment opens that film at its
    // second, then asks for the moment's own picture once it is indexed.
    const double debut = r->Moments()[1].moment.debutS;
    QTest::mouseClick(r->Liste()->viewport(), Qt::LeftButton, Qt::NoModifier,
                      r->Liste()->visualItemRect(r->Liste()->item(1)).center());
    EXPECT_EQ(std::string(CheminFilm), j.c);
    EXPECT_EQ(w->CurseurMinutes1->value(), static_cast<int>(debut));
    ASSERT_TRUE(AttendreQue([debut] { return Voies[0].ImageDemandee == std::llround(debut * 10); }, 20000))
        << Voies[0].ImageDemandee;
    EXPECT_EQ(w->CurseurMinutes1->value(), static_cast<int>(debut));
    EXPECT_EQ(r->Moments().size(), 3u);
}

} // namespace
