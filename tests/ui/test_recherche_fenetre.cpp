// The window side of the motion search, offscreen: the rectangle drawn with
// Shift+drag (over a zoomed picture too) and removed with Escape, a search
// in the background whose moments are listed, marked on the slider and
// reached by a click or by N / P, and forgotten with another film.
#include "ui/recherche_fenetre.h"

#include "commun/attente_essai.h"
#include "commun/fichiers_essai.h"
#include "engine/films_mouvement.h"
#include "ui/image_etiree.h"
#include "fenetre_essai.h"
#include "engine/index_images.h"
#include "engine/th_indexeur.h"

#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QTest>
#include <QVBoxLayout>

#include <gtest/gtest.h>

namespace {

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
    EXPECT_DOUBLE_EQ(sauts[0], recherche->Moments()[1].debutS);
    QTest::keyClick(&fenetre, Qt::Key_P);
    QTest::keyClick(&fenetre, Qt::Key_P);  // none before the first: stays
    position = 0;
    QTest::keyClick(&fenetre, Qt::Key_N);
    QTest::keyClick(&fenetre, Qt::Key_N);
    QTest::keyClick(&fenetre, Qt::Key_N);  // none after the last
    ASSERT_EQ(sauts.size(), 4u);
    EXPECT_DOUBLE_EQ(sauts[1], recherche->Moments()[0].debutS);
    EXPECT_DOUBLE_EQ(sauts[2], recherche->Moments()[0].debutS);
    EXPECT_DOUBLE_EQ(sauts[3], recherche->Moments()[1].debutS);
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
    const double debut = r->Moments()[0].debutS;

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

} // namespace
