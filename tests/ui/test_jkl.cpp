// Playback in both directions in the main window, offscreen: the button
// "Lecture arrière" and its hint, J / K / L by the keys with the channel's
// direction, speed and place checked, Play and Space after backwards, the
// stop at the film's start and the chaining to the end of the previous
// hourly film (the reader's flags driven by the test); then, with the real
// reader and indexer, Home, End, "." and "," beside J / K / L.
#include "core/etat.h"
#include "engine/index_images.h"
#include "engine/th_indexeur.h"
#include "engine/th_lecteur_magneto.h"
#include "fenetre_essai.h"
#include "filmmaker.h"
#include "ui/lecture_jkl.h"
#include "ui/navigation.h"
#include "ui/navigation_calcul.h"
#include "ui/oxbouton.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QSlider>
#include <QTest>
#include <QTransform>

#include <fstream>

namespace {

constexpr int X1 = 5, X2 = 6, X16 = 20;

std::string Texte(const QLabel* l)
{
    return l->text().toStdString();
}

class FenetreJkl : public EssaiFenetre
{
protected:
    void Creer()
    {
        EssaiFenetre::Creer();
        w->Attendre = [this](int ms) { attentes.push_back(ms); };
        w->show();
    }
    std::string Film(const std::string& nom, uint32_t dureeMs = 10000)
    {
        const std::string chemin = (dossier.path() + "/").toStdString() + nom;
        QDir().mkpath(QFileInfo(QString::fromStdString(chemin)).path());
        OptionsFilm o;
        o.largeur = 64;
        o.hauteur = 48;
        o.nbImages = 10;
        o.dureeMs = dureeMs;
        EXPECT_EQ(FabriquerFilm(chemin, o), 0) << chemin;
        return chemin;
    }
    void Touche(int touche, QWidget* cible = nullptr)
    {
        QTest::keyClick(cible ? cible : w->BoutonSelection, Qt::Key(touche));
    }
    // The reader has handed over picture k at `ms`, counted in the index.
    static void ImageMontree(int64_t k, int64_t ms)
    {
        Voies[0].ImageMontree = k;
        Voies[0].MsImageMontree = ms;
        Voies[0].ImageMontreeExacte = 1;
    }
    TOxBouton* Arriere() const { return w->LectureJklFenetre->BoutonArriere; }

    std::vector<int> attentes;
};

TEST_F(FenetreJkl, BoutonLectureArriereAcoteDePlay)
{
    Creer();
    TOxBouton* b = Arriere();
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->parentWidget(), w->BlocLecture1);
    EXPECT_EQ(b->toolTip().toStdString(), "Lecture arrière (J)");
    EXPECT_TRUE(b->Caption().isEmpty());
    // Play's look, its picture turned round.
    EXPECT_EQ(b->ColorFrom(), w->BoutonPlay1->ColorFrom());
    EXPECT_EQ(b->OverColorTo(), w->BoutonPlay1->OverColorTo());
    EXPECT_EQ(b->BorderColor(), w->BoutonPlay1->BorderColor());
    EXPECT_EQ(b->Image().toImage(), w->BoutonPlay1->Image().toImage().transformed(QTransform().scale(-1, 1)));
    EXPECT_NE(b->Image().toImage(), w->BoutonPlay1->Image().toImage());
    // Beside Play, over no other control of the play block.
    const QRect r = b->geometry();
    const QRect play = w->BoutonPlay1->geometry();
    EXPECT_LE(std::abs(r.center().x() - play.center().x()) + std::abs(r.center().y() - play.center().y()), 40);
    for (QObject* o : w->BlocLecture1->children()) {
        auto* autre = qobject_cast<QWidget*>(o);
        if (autre && autre != b) {
            EXPECT_FALSE(r.intersects(autre->geometry()))
                << autre->metaObject()->className() << " " << autre->objectName().toStdString();
        }
    }
    EXPECT_TRUE(r.bottom() < w->BlocLecture1->height());

    // Usable exactly when Play is.
    EXPECT_FALSE(b->Enabled());
    Touche(Qt::Key_J);
    EXPECT_EQ(Voies[0].FlagLecture, 0);
    EXPECT_EQ(Voies[0].Sens, 1);
    Selectionner(Film("clip.mjp"));
    EXPECT_TRUE(b->Enabled());
    QTest::mouseClick(b, Qt::LeftButton);
    EXPECT_EQ(Voies[0].Sens, -1);
    EXPECT_EQ(Voies[0].FlagLecture, 1);
    EXPECT_TRUE(w->BoutonStop1->Visible());
    w->SetUpFilm(false);
    EXPECT_FALSE(b->Enabled());
}

TEST_F(FenetreJkl, JKLParLesTouches)
{
    Creer();
    Selectionner(Film("clip.mjp"));
    const uint32_t demande0 = Voies[0].NumeroDemande;

    // J from stopped: backwards at x 1, a new run.
    Touche(Qt::Key_J);
    EXPECT_EQ(Voies[0].Sens, -1);
    EXPECT_EQ(Voies[0].FlagLecture, 1);
    EXPECT_EQ(Voies[0].FlagPause, 0);
    EXPECT_TRUE(w->BoutonStop1->Visible());
    EXPECT_EQ(Texte(w->LabelVitesse), "x -1");
    EXPECT_DOUBLE_EQ(Vitesse, 1.0);
    EXPECT_GT(Voies[0].NumeroDemande, demande0);

    // J again: x 2, the run goes on.
    const uint32_t demande1 = Voies[0].NumeroDemande;
    Touche(Qt::Key_J, w->JaugeVitesse);
    EXPECT_EQ(w->JaugeVitesse->value(), X2);
    EXPECT_DOUBLE_EQ(Vitesse, 2.0);
    EXPECT_EQ(Texte(w->LabelVitesse), "x -2");
    EXPECT_EQ(Voies[0].NumeroDemande, demande1);

    // L turns round at x 1 on the picture on screen.
    ImageMontree(7, 7400);
    Touche(Qt::Key_L, w->CurseurMinutes1);
    EXPECT_EQ(Voies[0].Sens, 1);
    EXPECT_EQ(w->JaugeVitesse->value(), X1);
    EXPECT_EQ(Texte(w->LabelVitesse), "x 1");
    EXPECT_EQ(Voies[0].NumeroDemande, demande1 + 1);
    EXPECT_EQ(Voies[0].ImageDemandee, 7);
    EXPECT_EQ(Voies[0].SecondeImageDemandee, 7);
    EXPECT_EQ(SecondeDepart, 7);
    EXPECT_EQ(w->CurseurMinutes1->value(), 7);
    EXPECT_EQ(Voies[0].FlagLecture, 1);

    // L up to x 16 and no further.
    for (int i = 0; i < 5; ++i)
        Touche(Qt::Key_L);
    EXPECT_EQ(w->JaugeVitesse->value(), X16);
    EXPECT_DOUBLE_EQ(Vitesse, 16.0);
    EXPECT_EQ(Texte(w->LabelVitesse), "x 16");

    // K pauses, twice is still paused.
    Touche(Qt::Key_K);
    EXPECT_EQ(Voies[0].FlagPause, 1);
    EXPECT_TRUE(w->BoutonPlay1->Visible());
    Touche(Qt::Key_K);
    EXPECT_EQ(Voies[0].FlagPause, 1);
    EXPECT_EQ(w->JaugeVitesse->value(), X16);

    // J while paused: backwards at x 1 from the picture on screen.
    ImageMontree(8, 8000);
    const uint32_t demande2 = Voies[0].NumeroDemande;
    Touche(Qt::Key_J);
    EXPECT_EQ(Voies[0].FlagPause, 0);
    EXPECT_EQ(Voies[0].Sens, -1);
    EXPECT_EQ(w->JaugeVitesse->value(), X1);
    EXPECT_EQ(Voies[0].ImageDemandee, 8);
    EXPECT_EQ(Voies[0].NumeroDemande, demande2 + 1);
    EXPECT_TRUE(w->BoutonStop1->Visible());

    // A held J (key repeat) does not run the speed up.
    QKeyEvent repete(QEvent::KeyPress, Qt::Key_J, Qt::NoModifier, QStringLiteral("j"), true);
    QApplication::sendEvent(w->BoutonSelection, &repete);
    EXPECT_EQ(w->JaugeVitesse->value(), X1);
    // Ctrl+J is not J; the password field keeps its letters.
    QTest::keyClick(w->BoutonSelection, Qt::Key_J, Qt::ControlModifier);
    EXPECT_EQ(w->JaugeVitesse->value(), X1);
    w->MotDePasse->setFocus();
    QTest::keyClicks(w->MotDePasse, "jkl");
    EXPECT_EQ(w->MotDePasse->text().toStdString(), "jkl");
    EXPECT_EQ(Voies[0].Sens, -1);
    EXPECT_EQ(Voies[0].FlagPause, 0);
}

TEST_F(FenetreJkl, PlayEtEspaceRepartentEnAvant)
{
    Creer();
    Selectionner(Film("clip.mjp"));
    Touche(Qt::Key_J);
    Touche(Qt::Key_J);
    // Space pauses a backwards run, keeping its direction.
    Touche(Qt::Key_Space);
    EXPECT_EQ(Voies[0].FlagPause, 1);
    EXPECT_EQ(Voies[0].Sens, -1);
    // Play turns it forwards at x 1, from the picture on screen.
    ImageMontree(4, 4000);
    const uint32_t demande = Voies[0].NumeroDemande;
    w->BoutonPlay1Click();
    EXPECT_EQ(Voies[0].FlagPause, 0);
    EXPECT_EQ(Voies[0].Sens, 1);
    EXPECT_EQ(w->JaugeVitesse->value(), X1);
    EXPECT_EQ(Texte(w->LabelVitesse), "x 1");
    EXPECT_EQ(Voies[0].ImageDemandee, 4);
    EXPECT_EQ(Voies[0].NumeroDemande, demande + 1);

    // Stopped by a seek while backwards: Play starts forwards.
    Touche(Qt::Key_J);
    ASSERT_EQ(Voies[0].Sens, -1);
    Touche(Qt::Key_Right); // +5 s: a seek stops
    ASSERT_EQ(Voies[0].FlagLecture, 0);
    Touche(Qt::Key_Space);
    EXPECT_EQ(Voies[0].FlagLecture, 1);
    EXPECT_EQ(Voies[0].Sens, 1);
    EXPECT_EQ(SecondeDepart, 9);
}

TEST_F(FenetreJkl, ArretAuDebutDuFilm)
{
    Creer();
    Selectionner(Film("clip.mjp"));
    Touche(Qt::Key_J);
    Touche(Qt::Key_J);
    SecondeDepart = 3;
    w->CurseurMinutes1->setValue(3);

    // Playing without the flag: the tick goes on.
    w->TimerAffichageTimer();
    EXPECT_EQ(Voies[0].FlagLecture, 1);

    // The reader has reached picture 0 going backwards: stopped there.
    Voies[0].FlagDebutDeFilm = 1;
    attentes.clear();
    w->TimerAffichageTimer();
    EXPECT_EQ(Voies[0].FlagLecture, 0);
    EXPECT_EQ(Voies[0].FlagDebutDeFilm, 0);
    EXPECT_EQ(Voies[0].Sens, 1);
    EXPECT_EQ(SecondeDepart, 0);
    EXPECT_EQ(PositionSecondes, 0u);
    EXPECT_EQ(w->CurseurMinutes1->value(), 0);
    EXPECT_TRUE(w->BoutonPlay1->Visible());
    EXPECT_TRUE(w->BoutonDebut1->Enabled());
    EXPECT_EQ(Texte(w->LabelVitesse), "x 2");
    EXPECT_EQ(attentes.size(), 1u);
    EXPECT_TRUE(w->TimerAffichage->isActive());
    EXPECT_NE(Texte(w->NomDeLaSequence1).find("00:00:00"), std::string::npos);

    // A start of playback clears a flag left over.
    Voies[0].FlagDebutDeFilm = 1;
    w->StartPlayback();
    EXPECT_EQ(Voies[0].FlagDebutDeFilm, 0);
}

TEST_F(FenetreJkl, EnchainementALaFinDuFilmPrecedent)
{
    Creer();
    const std::string dix = Film("10/12-05-2014-10-00.mjp");
    const std::string avant = Film("09/12-05-2014-09-59.mjp", 7000);
    Selectionner(dix);
    ASSERT_TRUE(w->FlagEnchainer->isChecked());
    Touche(Qt::Key_J);

    Voies[0].FlagDebutDeFilm = 1;
    attentes.clear();
    w->TimerAffichageTimer();
    EXPECT_STREQ(CheminFilm, avant.c_str());
    EXPECT_EQ(DureeFilm, 7u);
    EXPECT_EQ(w->CurseurMinutes1->maximum(), 7);
    EXPECT_EQ(w->CurseurMinutes1->value(), 7);
    EXPECT_EQ(SecondeDepart, 7);
    EXPECT_EQ(Voies[0].FlagLecture, 1);
    EXPECT_EQ(Voies[0].FlagDebutDeFilm, 0);
    EXPECT_EQ(Voies[0].Sens, -1);
    EXPECT_TRUE(w->BoutonStop1->Visible());
    EXPECT_EQ(Texte(w->LabelVitesse), "x -1");
    EXPECT_EQ(attentes, (std::vector<int>{AttenteArretLecteurMs, AttenteArretLecteurMs}));
    EXPECT_TRUE(w->TimerAffichage->isActive());
    EXPECT_NE(Texte(w->NomDeLaSequence1).find("09-59"), std::string::npos);
    EXPECT_NE(Texte(w->NomDeLaSequence1).find("00:00:07 / 00:00:07"), std::string::npos);

    // No film for 09:58: stopped at the start, the name kept.
    Voies[0].FlagDebutDeFilm = 1;
    w->TimerAffichageTimer();
    EXPECT_STREQ(CheminFilm, avant.c_str());
    EXPECT_EQ(Voies[0].FlagLecture, 0);
    EXPECT_EQ(Voies[0].Sens, 1);
    EXPECT_EQ(SecondeDepart, 0);
    EXPECT_TRUE(w->TimerAffichage->isActive());

    // Without "Enchainer dans heure" the previous film is not played.
    Selectionner(dix);
    w->FlagEnchainer->setChecked(false);
    Touche(Qt::Key_J);
    Voies[0].FlagDebutDeFilm = 1;
    w->TimerAffichageTimer();
    EXPECT_STREQ(CheminFilm, dix.c_str());
    EXPECT_EQ(Voies[0].FlagLecture, 0);
}

TEST_F(FenetreJkl, PrecedentIllisibleOuAbsent)
{
    Creer();
    const std::string onze = Film("11/12-05-2014-11-00.mjp");
    // The film before is not a film (a 3-byte header).
    {
        QDir().mkpath(QString::fromStdString((dossier.path() + "/10").toStdString()));
        std::ofstream f((dossier.path() + "/10/12-05-2014-10-59.mjp").toStdString(), std::ios::binary);
        f << "abc";
    }
    Selectionner(onze);
    Touche(Qt::Key_J);
    Voies[0].FlagDebutDeFilm = 1;
    w->TimerAffichageTimer();
    EXPECT_STREQ(CheminFilm, onze.c_str());
    EXPECT_EQ(DureeFilm, 10u);
    EXPECT_EQ(Voies[0].FlagLecture, 0);
    EXPECT_EQ(w->CurseurMinutes1->maximum(), 10);

    // Midnight: the day before's 23:59 is looked for in folder 23 beside.
    const std::string minuit = Film("00/13-05-2014-00-00.mjp");
    Selectionner(minuit);
    Touche(Qt::Key_J);
    Voies[0].FlagDebutDeFilm = 1;
    w->TimerAffichageTimer();
    EXPECT_STREQ(CheminFilm, minuit.c_str());
    EXPECT_EQ(Voies[0].FlagLecture, 0);
    const std::string veille = Film("23/12-05-2014-23-59.mjp", 5000);
    Touche(Qt::Key_J);
    Voies[0].FlagDebutDeFilm = 1;
    w->TimerAffichageTimer();
    EXPECT_STREQ(CheminFilm, veille.c_str());
    EXPECT_EQ(SecondeDepart, 5);
    EXPECT_EQ(Voies[0].FlagLecture, 1);
}

// The window with the real reader and indexer: the keys of the navigation
// work beside J / K / L.
class FenetreJklLecteur : public EssaiFenetreLecteur
{
protected:
    bool Montre(int k)
    {
        return AttendreQue([&] { return NumeroImageAffichee(*w) == k; }, 20000, 10);
    }
};

TEST_F(FenetreJklLecteur, OrigineFinPointEtVirgule)
{
    // 40 s at 5 pictures a second, a key picture every 10.
    OptionsFilm o;
    o.largeur = 192;
    o.hauteur = 144;
    o.nbImages = 200;
    o.cadence = 5;
    o.gop = 10;
    const std::string film = (dossier.path() + "/jkl.264").toStdString();
    ASSERT_EQ(FabriquerFilm(film, o), 0);
    choix = QString::fromStdString(film);
    w->BoutonSelectionClick();
    ASSERT_TRUE(AttendreQue([&] { return IndexFilm(film.c_str()) != nullptr; }, 20000, 10));

    QTest::keyClick(w->BoutonSelection, Qt::Key_End);
    EXPECT_EQ(w->CurseurMinutes1->value(), 39);
    ASSERT_TRUE(Montre(199));
    QTest::keyClick(w->BoutonSelection, Qt::Key_Comma);
    ASSERT_TRUE(Montre(198));
    QTest::keyClick(w->JaugeVitesse, Qt::Key_Home);
    EXPECT_EQ(w->CurseurMinutes1->value(), 0);
    ASSERT_TRUE(Montre(0));
    QTest::keyClick(w->BoutonSelection, Qt::Key_Period);
    ASSERT_TRUE(Montre(1));
    EXPECT_EQ(w->JaugeVitesse->value(), X1);

    // L plays on from there, K pauses, "." steps from the paused picture.
    QTest::keyClick(w->BoutonSelection, Qt::Key_L);
    EXPECT_EQ(Voies[0].FlagLecture, 1);
    ASSERT_TRUE(AttendreQue([&] { return NumeroImageAffichee(*w) >= 3; }, 20000, 10));
    QTest::keyClick(w->BoutonSelection, Qt::Key_K);
    EXPECT_EQ(Voies[0].FlagPause, 1);
    int k = -1;
    ASSERT_TRUE(AttendreQue(
        [&] {
            const int r = PrendreMutexVoie(0);
            k = static_cast<int>(Voies[0].ImageMontree);
            if (r == 0)
                RendreMutexVoie(0);
            return k >= 3 && NumeroImageAffichee(*w) == k;
        },
        20000, 10));
    // The step stops the reader first: a picture still on its way may come
    // before, and the step follows it.
    QTest::keyClick(w->BoutonSelection, Qt::Key_Period);
    EXPECT_EQ(Voies[0].FlagLecture, 0);
    ASSERT_TRUE(AttendreQue([&] { return NumeroImageAffichee(*w) >= k + 1; }, 20000, 10));
    EXPECT_LE(NumeroImageAffichee(*w), k + 2);
}

} // namespace
