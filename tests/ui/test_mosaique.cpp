// Films shown together in the window, with the real readers and indexers:
// go-to, picture steps and playing across tiles read back from each tile's
// picture, a tile without recording, a bad film in the group, more than
// four films, the selection moving the sound, measures and exports, and a
// tile shown alone.
#include "core/boitemessage.h"
#include "core/etat.h"
#include "engine/fichierfilm.h"
#include "export/extraction.h"
#include "engine/index_images.h"
#include "engine/th_indexeur.h"
#include "engine/th_lecteur_magneto.h"
#include "fenetre_essai.h"
#include "filmmaker.h"
#include "numero_image.h"
#include "ui/dialogues.h"
#include "ui/horloge.h"
#include "ui/image_etiree.h"
#include "ui/lecteurzr7_principale.h"
#include "ui/lecture_jkl.h"
#include "ui/mosaique.h"
#include "ui/mosaique_calcul.h"
#include "ui/navigation.h"
#include "ui/navigation_calcul.h"
#include "ui/oxbouton.h"
#include "ui/tuile.h"

#include <QCheckBox>
#include <QDropEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QUrl>
#include <QScrollArea>
#include <QTest>

#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace {

// Number drawn on a tile's picture; -1 when none can be read.
int NumeroTuile(const TTuile* t)
{
    const QImage& i = t->Picture();
    if (i.isNull() || i.format() != QImage::Format_BGR888)
        return -1;
    return LireNumeroImage(i.constBits(), i.width(), i.height(), int(i.bytesPerLine()), false);
}

class FenetreMosaique : public EssaiFenetreLecteur
{
protected:
    void SetUp() override
    {
        EssaiFenetreLecteur::SetUp();
        if (HasFatalFailure())
            return;
        // Several files chosen at once in the dialog.
        RemplacerGestionnaireDialogues([this](const DemandeFichier& d) {
            demandesFichier.push_back(d);
            if (d.choisis)
                *d.choisis = plusieurs;
            return plusieurs.isEmpty() ? QString() : plusieurs.front();
        });
        RemplacerGestionnaireTexte([this](const DemandeTexte&, QString& r) {
            r = saisie;
            return true;
        });
        w->Attendre = [](int ms) { QTest::qWait(ms); };
        w->resize(1000, 700);
    }
    void TearDown() override
    {
        EssaiFenetreLecteur::TearDown();
        RemplacerGestionnaireTexte(nullptr);
    }
    // 30 s at 10 pictures a second from hh:mm:ss, numbered from `premier`.
    std::string Film(const char* nom, int h, int m, int s, int premier, bool compagnons = false, int largeur = 160,
                     int hauteur = 120)
    {
        OptionsFilm o;
        o.largeur = largeur;
        o.hauteur = hauteur;
        o.nbImages = 300;
        o.cadence = 10;
        o.premierNumero = premier;
        o.dates = true;
        o.dateDebut.heure = h;
        o.dateDebut.minute = m;
        o.dateDebut.seconde = s;
        o.son = compagnons;
        o.mesures = compagnons;
        const std::string chemin = (dossier.path() + "/").toStdString() + nom;
        EXPECT_EQ(FabriquerFilm(chemin, o), 0);
        return chemin;
    }
    void Ouvrir(const std::vector<std::string>& chemins)
    {
        plusieurs.clear();
        for (const std::string& c : chemins)
            plusieurs << QString::fromStdString(c);
        w->BoutonSelectionClick();
    }
    void AttendreIndex(const std::vector<std::string>& chemins)
    {
        for (const std::string& c : chemins)
            ASSERT_TRUE(AttendreQue([&] { return IndexFilm(c.c_str()) != nullptr; }, 20000)) << c;
    }
    TTuile* Tuile(int i) { return w->MosaiqueFenetre->Tuile(i); }
    // Each tile shows the number given (-1: no recording, not read).
    bool Montrent(const std::vector<int>& attendus)
    {
        return AttendreQue([&] {
            for (size_t i = 0; i < attendus.size(); ++i)
                if (attendus[i] >= 0 && NumeroTuile(Tuile(int(i))) != attendus[i])
                    return false;
            return true;
        }, 20000);
    }
    // A protected film, same pictures, from 10:00:00.
    std::string FilmProtege(const char* nom, int premier, const char* motDePasse)
    {
        OptionsFilm o;
        o.largeur = 160;
        o.hauteur = 120;
        o.nbImages = 100;
        o.cadence = 10;
        o.premierNumero = premier;
        o.dates = true;
        o.dateDebut.heure = 10;
        o.dateDebut.minute = 0;
        o.dateDebut.seconde = 0;
        o.motDePasse = motDePasse;
        const std::string chemin = (dossier.path() + "/").toStdString() + nom;
        EXPECT_EQ(FabriquerFilm(chemin, o), 0);
        return chemin;
    }

    QStringList plusieurs;
    QString saisie;
};

TEST_F(FenetreMosaique, GoToStepsAndPlayingKeepEveryTileOnTheClock)
{
    const std::string a = Film("a.mjp", 10, 0, 0, 0);
    const std::string b = Film("b.mjp", 10, 0, 20, 1000);
    Ouvrir({a, b});
    ASSERT_TRUE(w->MosaiqueFenetre->Active());
    ASSERT_EQ(w->MosaiqueFenetre->NbTuiles(), 2);
    AttendreIndex({a, b});
    // Side by side, the first selected.
    EXPECT_LT(Tuile(0)->geometry().right(), Tuile(1)->geometry().left());
    EXPECT_EQ(Tuile(0)->geometry().top(), Tuile(1)->geometry().top());
    EXPECT_TRUE(Tuile(0)->Selectionnee());
    EXPECT_FALSE(w->Scroll->isVisible());
    // The slider spans 10:00:00 to 10:00:50.
    EXPECT_EQ(w->CurseurMinutes1->maximum(), 50);

    saisie = "10:00:25";
    ASSERT_TRUE(w->NavigationFenetre->Executer(ActionTouche::AllerA));
    EXPECT_TRUE(Montrent({250, 1050}));
    EXPECT_EQ(w->CurseurMinutes1->value(), 25);
    EXPECT_NE(w->NomDeLaSequence1->text().indexOf("12/05/2014 10:00:25"), -1)
        << w->NomDeLaSequence1->text().toStdString();
    EXPECT_NE(w->NomDeLaSequence1->text().indexOf("image 50 / 300"), -1);
    ASSERT_TRUE(w->NavigationFenetre->Executer(ActionTouche::ImageSuivante));
    EXPECT_TRUE(Montrent({251, 1051}));
    ASSERT_TRUE(w->NavigationFenetre->Executer(ActionTouche::ImagePrecedente));
    ASSERT_TRUE(w->NavigationFenetre->Executer(ActionTouche::ImagePrecedente));
    EXPECT_TRUE(Montrent({249, 1049}));

    // Played a while and paused: the films are still 200 pictures apart
    // (20 s at 10 a second), both moved on.
    w->BoutonPlay1Click();
    QTest::qWait(1200);
    w->BoutonStop1Click();
    ASSERT_TRUE(AttendreQue([&] {
        const int na = NumeroTuile(Tuile(0)), nb = NumeroTuile(Tuile(1));
        return na > 249 && nb - 1000 == na - 200;
    }, 20000)) << NumeroTuile(Tuile(0)) << " " << NumeroTuile(Tuile(1));

    // Before B's start: B's tile is dark with its span, A plays on.
    w->MosaiqueFenetre->Debut();
    EXPECT_TRUE(Montrent({0, -1}));
    EXPECT_EQ(Tuile(1)->EtatTuile(), TTuile::Etat::SansEnregistrement);
    EXPECT_EQ(Tuile(1)->TexteTuile().toStdString(),
              "Pas d'enregistrement\n12/05/2014 10:00:20 - 12/05/2014 10:00:50");
    EXPECT_EQ(Tuile(0)->EtatTuile(), TTuile::Etat::Image);
    // Marks are the selected film's seconds: B's at 10:00:25 is its 5th.
    saisie = "10:00:25";
    w->NavigationFenetre->Executer(ActionTouche::AllerA);
    QTest::mouseClick(Tuile(1), Qt::LeftButton);
    w->OxBouton1Click();
    EXPECT_EQ(MarqueDebut, 5);
    saisie = "10:00:40";
    w->NavigationFenetre->Executer(ActionTouche::AllerA);
    w->OxBouton2Click();
    EXPECT_EQ(MarqueFin, 20);
    // A go-to outside every film is refused with a message.
    saisie = "11:00:00";
    messages.clear();
    w->NavigationFenetre->Executer(ActionTouche::AllerA);
    ASSERT_EQ(messages.size(), 1u);
}

TEST_F(FenetreMosaique, ABadFilmShowsItsErrorAndTheOthersPlay)
{
    const std::string a = Film("a.mjp", 10, 0, 0, 0);
    const std::string b = Film("b.mjp", 10, 0, 0, 1000);
    const std::string mauvais = (dossier.path() + "/notes.mjp").toStdString();
    std::ofstream(mauvais) << "xy"; // no header: not a film
    Ouvrir({mauvais, a, b});
    ASSERT_EQ(w->MosaiqueFenetre->NbTuiles(), 3);
    EXPECT_EQ(Tuile(0)->EtatTuile(), TTuile::Etat::Erreur);
    EXPECT_EQ(Tuile(0)->TexteTuile().toStdString(), "Fichier vidéo incorrect");
    // The first good film is selected; three tiles lie in 2 x 2.
    EXPECT_TRUE(Tuile(1)->Selectionnee());
    EXPECT_EQ(Tuile(2)->geometry().left(), Tuile(0)->geometry().left());
    EXPECT_GT(Tuile(2)->geometry().top(), Tuile(0)->geometry().bottom());
    AttendreIndex({a, b});
    saisie = "10:00:10";
    w->NavigationFenetre->Executer(ActionTouche::AllerA);
    EXPECT_TRUE(Montrent({-1, 100, 1100}));
    EXPECT_TRUE(messages.empty());
}

TEST_F(FenetreMosaique, MoreThanFourFilmsOpenTheFirstFour)
{
    std::vector<std::string> films;
    for (int i = 0; i < 5; ++i)
        films.push_back(Film(("f" + std::to_string(i) + ".mjp").c_str(), 10, 0, 0, i * 1000));
    Ouvrir(films);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], TexteTropDeFilms);
    ASSERT_EQ(w->MosaiqueFenetre->NbTuiles(), 4);
    AttendreIndex({films[0], films[1], films[2], films[3]});
    w->MosaiqueFenetre->Horloge()->Aller(w->MosaiqueFenetre->Horloge()->Etendue().debut + 2000000);
    EXPECT_TRUE(Montrent({20, 1020, 2020, 3020}));
    // A single film afterwards is the window's own again.
    plusieurs = {QString::fromStdString(films[4])};
    w->BoutonSelectionClick();
    EXPECT_FALSE(w->MosaiqueFenetre->Active());
    EXPECT_EQ(std::string(CheminFilm), films[4]);
    EXPECT_EQ(ImageAffichage, w->Image1);
}

TEST_F(FenetreMosaique, SelectionMovesSoundMeasuresExportsAndSnapshot)
{
    const std::string a = Film("a.mjp", 10, 0, 0, 0, true);
    const std::string b = Film("b.mjp", 10, 0, 0, 1000);
    Ouvrir({a, b});
    AttendreIndex({a, b});
    EXPECT_EQ(std::string(CheminFilm), a);
    EXPECT_TRUE(w->BoutonSonOn1->Visible());
    EXPECT_EQ(Voies[0].FlagMesuresPresentes, 1);
    w->MosaiqueFenetre->Horloge()->Aller(w->MosaiqueFenetre->Horloge()->Etendue().debut + 3000000);
    ASSERT_TRUE(Montrent({30, 1030}));

    // A click on B: B's film is the window's (exports, password), its
    // sound and measures are B's (none), and the snapshot's picture is B's.
    QTest::mouseClick(Tuile(1), Qt::LeftButton);
    EXPECT_TRUE(Tuile(1)->Selectionnee());
    EXPECT_FALSE(Tuile(0)->Selectionnee());
    EXPECT_EQ(std::string(CheminFilm), b);
    EXPECT_EQ(std::string(Voies[0].CheminSon), NomCompagnon(b, "pcm"));
    EXPECT_FALSE(w->BoutonSonOn1->Visible());
    EXPECT_EQ(Voies[0].FlagMesuresPresentes, 0);
    ASSERT_TRUE(Montrent({30, 1030}));
    EXPECT_TRUE(AttendreQue([&] { return NumeroImageAffichee(*w) == 1030; }, 20000));
    // Steps now go by B's pictures, and the clock stays.
    ASSERT_TRUE(w->NavigationFenetre->Executer(ActionTouche::ImageSuivante));
    EXPECT_TRUE(Montrent({31, 1031}));

    QTest::mouseClick(Tuile(0), Qt::LeftButton);
    EXPECT_EQ(std::string(CheminFilm), a);
    EXPECT_TRUE(w->BoutonSonOn1->Visible());
    EXPECT_EQ(Voies[0].FlagMesuresPresentes, 1);

    // Double-click: the tile alone, then the mosaic again.
    QTest::mouseDClick(Tuile(1), Qt::LeftButton);
    EXPECT_FALSE(Tuile(0)->isVisible());
    EXPECT_EQ(Tuile(1)->geometry(), w->PanelImage->rect());
    QTest::mouseDClick(Tuile(1), Qt::LeftButton);
    EXPECT_TRUE(Tuile(0)->isVisible());
    EXPECT_LT(Tuile(1)->width(), w->PanelImage->width());
    // Full screen shows the selected tile (A) alone; Escape gives the mosaic back.
    w->BoutonMasquerClick();
    EXPECT_TRUE(Tuile(0)->isVisible());
    EXPECT_FALSE(Tuile(1)->isVisible());
    EXPECT_EQ(Tuile(0)->geometry(), w->PanelImage->rect());
    QTest::keyClick(w.get(), Qt::Key_Escape);
    EXPECT_TRUE(Tuile(1)->isVisible());
    EXPECT_LT(Tuile(0)->width(), w->PanelImage->width());
}

// "Taille réelle" shows the selected tile's film one pixel per pixel,
// centred in its tile and cropped to it; the other tiles stay fitted, and
// it follows the selection.
TEST_F(FenetreMosaique, RealSizeAppliesToTheSelectedTile)
{
    const std::string a = Film("a.mjp", 10, 0, 0, 0);
    const std::string b = Film("b.mjp", 10, 0, 0, 1000, false, 640, 480);
    Ouvrir({a, b});
    AttendreIndex({a, b});
    w->MosaiqueFenetre->Horloge()->Aller(w->MosaiqueFenetre->Horloge()->Etendue().debut + 2000000);
    ASSERT_TRUE(Montrent({20, -1}));
    ASSERT_TRUE(AttendreQue([&] { return Tuile(1)->Picture().width() == 640; }, 20000));
    const QRect cellule0 = Tuile(0)->rect().adjusted(MargeTuile, MargeTuile, -MargeTuile, -MargeTuile);
    const QRect cellule1 = Tuile(1)->rect().adjusted(MargeTuile, MargeTuile, -MargeTuile, -MargeTuile);
    // The tiles are larger than A's film and smaller than B's.
    ASSERT_GT(cellule0.width(), 160);
    ASSERT_LT(cellule1.width(), 640);
    EXPECT_GT(Tuile(0)->BoitePicture().width(), 160);

    w->FlagTailleReelle->setChecked(true);
    EXPECT_EQ(Tuile(0)->BoitePicture().size(), QSize(160, 120));
    EXPECT_LE((Tuile(0)->BoitePicture().center() - cellule0.center()).manhattanLength(), 2);
    EXPECT_TRUE(cellule1.contains(Tuile(1)->BoitePicture()));
    EXPECT_EQ(Tuile(1)->geometry().size(), Tuile(0)->geometry().size()); // the mosaic stays

    // Selecting B: B at its own size, larger than its tile, cropped; A fitted.
    QTest::mouseClick(Tuile(1), Qt::LeftButton);
    ASSERT_TRUE(Tuile(1)->Selectionnee());
    EXPECT_TRUE(cellule0.contains(Tuile(0)->BoitePicture()));
    EXPECT_GT(Tuile(0)->BoitePicture().width(), 160);
    const QRect reelle = Tuile(1)->BoitePicture();
    EXPECT_EQ(reelle.size(), QSize(640, 480));
    EXPECT_LE((reelle.center() - cellule1.center()).manhattanLength(), 2);
    EXPECT_LT(reelle.left(), 0);
    // Where the picture would overflow into the tile's white margin, the
    // margin stays white: the picture is cropped.
    ASSERT_TRUE(AttendreQue([&] { return Tuile(1)->Picture().width() == 640; }, 20000));
    // A row of the tile where the picture is not white at that place.
    const QImage& image = Tuile(1)->Picture();
    const int xMarge = MargeTuile - 2, xImage = xMarge - reelle.left();
    int y = -1;
    for (int yi = 0; yi < image.height() && y < 0; ++yi) {
        const int yt = yi + reelle.top();
        if (yt > MargeTuile && yt < Tuile(1)->height() - MargeTuile && image.pixelColor(xImage, yi).rgb() != qRgb(255, 255, 255))
            y = yt;
    }
    ASSERT_GE(y, 0);
    const QImage vue = Tuile(1)->grab().toImage();
    EXPECT_EQ(vue.pixelColor(xMarge, y).rgb(), qRgb(255, 255, 255));
    // Inside the tile, the picture pixel for pixel.
    for (int x : {MargeTuile, MargeTuile + 7, Tuile(1)->width() / 2})
        EXPECT_EQ(vue.pixelColor(x, y).rgb(), image.pixelColor(x - reelle.left(), y - reelle.top()).rgb()) << x;

    // Unchecked: both fitted again.
    w->FlagTailleReelle->setChecked(false);
    EXPECT_TRUE(cellule1.contains(Tuile(1)->BoitePicture()));
    EXPECT_FALSE(Tuile(1)->TailleReelle());
}

TEST_F(FenetreMosaique, TheEndOfTheSpanStopsOrLoops)
{
    const std::string a = Film("a.mjp", 10, 0, 0, 0);
    const std::string b = Film("b.mjp", 10, 0, 0, 1000);
    Ouvrir({a, b});
    AttendreIndex({a, b});
    THorloge* h = w->MosaiqueFenetre->Horloge();
    // The selected film ends with the span: its last picture is shown
    // before the end, and the clock still gets there.
    h->Aller(h->Etendue().debut + 29000000);
    w->BoutonPlay1Click();
    ASSERT_TRUE(AttendreQue([&] { return !h->EnLecture(); }, 20000));
    EXPECT_TRUE(w->BoutonPlay1->Visible());
    EXPECT_TRUE(Montrent({299, 1299}));
    // With "Lire en boucle" the clock starts again from the span's start.
    w->FlagBoucle->setChecked(true);
    h->Aller(h->Etendue().debut + 29000000);
    w->BoutonPlay1Click();
    ASSERT_TRUE(AttendreQue([&] { return h->Temps() < h->Etendue().debut + 5000000; }, 20000));
    EXPECT_TRUE(h->EnLecture());
    w->BoutonStop1Click();
}

// End while playing: the clock stops on the last picture of the film that
// ends last; a film ended before shows no recording.
TEST_F(FenetreMosaique, EndGoesToTheLastPictureOfTheLatestFilm)
{
    const std::string a = Film("a.mjp", 10, 0, 0, 0);
    const std::string b = Film("b.mjp", 10, 0, 5, 1000);
    Ouvrir({a, b});
    AttendreIndex({a, b});
    THorloge* h = w->MosaiqueFenetre->Horloge();
    w->BoutonPlay1Click();
    ASSERT_TRUE(h->EnLecture());
    QTest::keyClick(w->BoutonSelection, Qt::Key_End);
    EXPECT_FALSE(h->EnLecture());
    EXPECT_TRUE(w->BoutonPlay1->Visible());
    EXPECT_TRUE(Montrent({-1, 1299}));
    EXPECT_EQ(h->ImageDe(1).image, 299);
    EXPECT_FALSE(h->ImageDe(0).presente);
    w->MosaiqueFenetre->Suivre();
    EXPECT_EQ(Tuile(0)->EtatTuile(), TTuile::Etat::SansEnregistrement);
}

TEST_F(FenetreMosaique, FilmsDroppedTogetherOpenSideBySide)
{
    const std::string a = Film("a.mjp", 10, 0, 0, 0);
    const std::string b = Film("b.mjp", 10, 0, 5, 1000);
    QMimeData donnees;
    donnees.setUrls({QUrl::fromLocalFile(QString::fromStdString(a)), QUrl::fromLocalFile(QString::fromStdString(b))});
    QDragEnterEvent entree(QPoint(50, 50), Qt::CopyAction, &donnees, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(w.get(), &entree);
    QDropEvent depot(QPointF(50, 50), Qt::CopyAction, &donnees, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(w.get(), &depot);
    ASSERT_TRUE(AttendreQue([&] { return w->MosaiqueFenetre->Active(); }, 5000));
    ASSERT_EQ(w->MosaiqueFenetre->NbTuiles(), 2);
    AttendreIndex({a, b});
    // The clock starts at the earliest start: B begins 5 s later.
    w->MosaiqueFenetre->Horloge()->Aller(w->MosaiqueFenetre->Horloge()->Etendue().debut + 7000000);
    EXPECT_TRUE(Montrent({70, 1020}));
    EXPECT_TRUE(demandesFichier.empty());
}

TEST_F(FenetreMosaique, AProtectedFilmWaitsForItsPasswordOnTheSelectedTile)
{
    const std::string a = Film("a.mjp", 10, 0, 0, 0);
    const std::string p = FilmProtege("p.mjp", 2000, "secret");
    Ouvrir({a, p});
    w->MosaiqueFenetre->Suivre();
    EXPECT_EQ(Tuile(1)->EtatTuile(), TTuile::Etat::MotDePasse);
    EXPECT_EQ(Tuile(1)->TexteTuile(), QString::fromUtf8(TexteTuileMotDePasse));
    // The password field acts on the selected tile: select it, type.
    QTest::mouseClick(Tuile(1), Qt::LeftButton);
    ASSERT_TRUE(Tuile(1)->Selectionnee());
    w->MotDePasse->setText("secret");
    w->MosaiqueFenetre->Suivre();
    EXPECT_EQ(Tuile(1)->EtatTuile(), TTuile::Etat::Image);
    AttendreIndex({a, p});
    w->MosaiqueFenetre->Horloge()->Aller(w->MosaiqueFenetre->Horloge()->Etendue().debut + 4000000);
    EXPECT_TRUE(Montrent({40, 2040}));
    // Back on A, the password stays with its film.
    QTest::mouseClick(Tuile(0), Qt::LeftButton);
    EXPECT_TRUE(w->MotDePasse->text().isEmpty());
    w->MosaiqueFenetre->Suivre();
    EXPECT_EQ(Tuile(1)->EtatTuile(), TTuile::Etat::Image);
}

} // namespace

// J plays every tile backwards on the clock, J again doubles the speed,
// K pauses them all in step on the selected film's picture, L plays them
// all forwards.
TEST_F(FenetreMosaique, BackwardsKeysPlayEveryTileBackInStep)
{
    const std::string a = Film("a.mjp", 10, 0, 0, 0);
    const std::string b = Film("b.mjp", 10, 0, 0, 1000);
    Ouvrir({a, b});
    ASSERT_TRUE(w->MosaiqueFenetre->Active());
    AttendreIndex({a, b});
    THorloge* h = w->MosaiqueFenetre->Horloge();
    saisie = "10:00:20";
    ASSERT_TRUE(w->NavigationFenetre->Executer(ActionTouche::AllerA));
    ASSERT_TRUE(Montrent({200, 1200}));
    EXPECT_TRUE(w->LectureJklFenetre->BoutonArriere->Enabled());

    EXPECT_TRUE(w->LectureJklFenetre->Executer(ToucheJkl::Arriere));
    EXPECT_TRUE(h->EnLecture());
    EXPECT_EQ(h->Sens(), -1);
    for (int i = 0; i < 2; ++i)
        EXPECT_EQ(Voies[w->MosaiqueFenetre->VoieDeTuile(i)].Sens, -1) << i;
    EXPECT_EQ(w->LabelVitesse->text().toStdString(), "x -1");
    ASSERT_TRUE(AttendreQue([&] { return NumeroTuile(Tuile(0)) >= 0 && NumeroTuile(Tuile(0)) < 190; }, 20000))
        << NumeroTuile(Tuile(0));
    // The clock goes back with the selected film's picture.
    EXPECT_LT(h->Temps(), h->Etendue().debut + 19100000);
    EXPECT_TRUE(w->LectureJklFenetre->Executer(ToucheJkl::Pause));
    EXPECT_FALSE(h->EnLecture());
    // Every tile shows the picture of the clock time, exactly.
    const ImageHorloge ia = h->ImageDe(0), ib = h->ImageDe(1);
    ASSERT_TRUE(ia.presente && ia.exacte && ib.presente);
    EXPECT_LT(ia.image, 190);
    EXPECT_GT(ia.image, 100);
    EXPECT_TRUE(Montrent({int(ia.image), 1000 + int(ib.image)}));
    EXPECT_EQ(ia.image, ib.image);

    // J from the pause, then J again: backwards at x 2.
    EXPECT_TRUE(w->LectureJklFenetre->Executer(ToucheJkl::Arriere));
    EXPECT_TRUE(w->LectureJklFenetre->Executer(ToucheJkl::Arriere));
    EXPECT_EQ(w->LabelVitesse->text().toStdString(), "x -2");
    EXPECT_TRUE(h->EnLecture());
    ASSERT_TRUE(AttendreQue([&] { return NumeroTuile(Tuile(0)) >= 0 && NumeroTuile(Tuile(0)) < ia.image - 20; },
                            20000));
    // L turns every tile forwards at x 1 from the selected film's picture.
    EXPECT_TRUE(w->LectureJklFenetre->Executer(ToucheJkl::Avant));
    EXPECT_EQ(h->Sens(), 1);
    EXPECT_TRUE(h->EnLecture());
    EXPECT_EQ(w->LabelVitesse->text().toStdString(), "x 1");
    const int tourne = NumeroTuile(Tuile(0));
    ASSERT_TRUE(AttendreQue([&] { return NumeroTuile(Tuile(0)) > tourne + 5; }, 20000));
    for (int i = 0; i < 2; ++i)
        EXPECT_EQ(Voies[w->MosaiqueFenetre->VoieDeTuile(i)].Sens, 1) << i;
    EXPECT_TRUE(w->LectureJklFenetre->Executer(ToucheJkl::Pause));
    const ImageHorloge fa = h->ImageDe(0);
    EXPECT_TRUE(Montrent({int(fa.image), 1000 + int(fa.image)}));
}

// Going back from 10:00:24: B (09:59:50 to 10:00:20) starts at its end when
// the clock gets there, A (10:00:00 to 10:00:30, selected) stops once the
// clock passes its start and its tile has no recording, and the clock
// stops at B's start, the earliest; L then plays forwards from there.
TEST_F(FenetreMosaique, BackwardsTilesEnterAndLeaveTheirSpansAndStopAtTheEarliestStart)
{
    const std::string a = Film("a.mjp", 10, 0, 0, 0);
    const std::string b = Film("b.mjp", 9, 59, 50, 1000);
    Ouvrir({a, b});
    AttendreIndex({a, b});
    THorloge* h = w->MosaiqueFenetre->Horloge();
    saisie = "10:00:24";
    ASSERT_TRUE(w->NavigationFenetre->Executer(ActionTouche::AllerA));
    ASSERT_TRUE(Montrent({240, -1}));
    w->MosaiqueFenetre->Suivre();
    EXPECT_EQ(Tuile(1)->EtatTuile(), TTuile::Etat::SansEnregistrement);

    // Backwards at x 4.
    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE(w->LectureJklFenetre->Executer(ToucheJkl::Arriere));
    EXPECT_EQ(w->LabelVitesse->text().toStdString(), "x -4");
    bool bEntre = false, aSorti = false;
    int premierB = -1;
    ASSERT_TRUE(AttendreQue([&] {
        const int nb = NumeroTuile(Tuile(1));
        if (h->EnLecture() && Tuile(1)->EtatTuile() == TTuile::Etat::Image && nb >= 1000) {
            if (!bEntre)
                premierB = nb;
            bEntre = true;
        }
        if (h->EnLecture() && bEntre && Tuile(0)->EtatTuile() == TTuile::Etat::SansEnregistrement)
            aSorti = true;
        return !h->EnLecture();
    }, 30000));
    EXPECT_TRUE(bEntre);
    // B came in near its last picture, not at its start.
    EXPECT_GT(premierB, 1250);
    EXPECT_TRUE(aSorti);
    // Stopped at the earliest start: B's first picture, A without recording.
    EXPECT_EQ(h->Temps(), h->Etendue().debut);
    EXPECT_TRUE(Montrent({-1, 1000}));
    EXPECT_EQ(Tuile(0)->EtatTuile(), TTuile::Etat::SansEnregistrement);
    EXPECT_EQ(Tuile(1)->EtatTuile(), TTuile::Etat::Image);
    EXPECT_TRUE(w->BoutonPlay1->Visible());
    EXPECT_EQ(h->Sens(), 1);

    EXPECT_TRUE(w->LectureJklFenetre->Executer(ToucheJkl::Avant));
    EXPECT_TRUE(h->EnLecture());
    ASSERT_TRUE(AttendreQue([&] { return NumeroTuile(Tuile(1)) > 1005; }, 20000));
    EXPECT_TRUE(w->LectureJklFenetre->Executer(ToucheJkl::Pause));
}
