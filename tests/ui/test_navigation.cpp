// Exact navigation of the main window: the key table, jumps, steps and
// go-to times as plain functions; then the window with the real reader and
// indexer: keys reaching it with the focus on a button or a slider (not in
// the password field), steps across a key picture read back from the
// picture and the label, go-to with and without dates, Space, Home, and a
// new film cancelling the previous film's index.
#include "core/boitemessage.h"
#include "core/etat.h"
#include "engine/index_images.h"
#include "engine/th_indexeur.h"
#include "engine/th_lecteur_magneto.h"
#include "fenetre_essai.h"
#include "filmmaker.h"
#include "numero_image.h"
#include "ui/dialogues.h"
#include "ui/image_etiree.h"
#include "ui/lecteurzr7_principale.h"
#include "ui/navigation.h"
#include "ui/mesures_position.h"
#include "ui/navigation_calcul.h"
#include "ui/oxbouton.h"

#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSlider>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace {

TEST(NavigationCalcul, Touches)
{
    struct Cas {
        int touche;
        bool ctrl, alt;
        const char* texte;
        ActionTouche action;
    };
    const Cas cas[] = {
        {Qt::Key_Space, false, false, " ", ActionTouche::LecturePause},
        {Qt::Key_Left, false, false, "", ActionTouche::Reculer5},
        {Qt::Key_Right, false, false, "", ActionTouche::Avancer5},
        {Qt::Key_Up, false, false, "", ActionTouche::Avancer60},
        {Qt::Key_Down, false, false, "", ActionTouche::Reculer60},
        {Qt::Key_Home, false, false, "", ActionTouche::Debut},
        {Qt::Key_Period, false, false, ".", ActionTouche::ImageSuivante},
        {Qt::Key_Semicolon, false, false, ".", ActionTouche::ImageSuivante}, // "." typed with Shift on some layouts
        {Qt::Key_Comma, false, false, ",", ActionTouche::ImagePrecedente},
        {Qt::Key_G, true, false, "\x07", ActionTouche::AllerA},
        {Qt::Key_G, false, false, "g", ActionTouche::Aucune},
        {Qt::Key_Left, true, false, "", ActionTouche::Aucune},
        {Qt::Key_Space, false, true, " ", ActionTouche::Aucune},
        {Qt::Key_Escape, false, false, "\x1b", ActionTouche::Aucune}, // full screen keeps it
        {Qt::Key_A, false, false, "a", ActionTouche::Aucune},
    };
    for (const Cas& c : cas)
        EXPECT_EQ(ActionPourTouche(c.touche, c.ctrl, c.alt, c.texte), c.action) << c.touche;
}

TEST(NavigationCalcul, SautsPasEtEtiquette)
{
    EXPECT_EQ(SecondeApresSaut(10, 5, 40), 15);
    EXPECT_EQ(SecondeApresSaut(3, -5, 40), 0);
    EXPECT_EQ(SecondeApresSaut(38, 60, 40), 40);
    EXPECT_EQ(ImageDuPas(19, 1, 200), 20);
    EXPECT_EQ(ImageDuPas(20, -1, 200), 19);
    EXPECT_EQ(ImageDuPas(0, -1, 200), -1);
    EXPECT_EQ(ImageDuPas(199, 1, 200), -1);
    EXPECT_EQ(ImageDuPas(-1, 1, 200), -1);
    EXPECT_EQ(ImageDuPas(500, -1, 200), 198); // an estimate past the index
    EXPECT_EQ(TexteImage(25, 200), "image 25 / 200");
}

TEST(NavigationCalcul, HeuresSaisiesEtAllerA)
{
    EXPECT_EQ(LireHeureSaisie("10:16:30", true), 36990);
    EXPECT_EQ(LireHeureSaisie(" 00:00:12 ", false), 12);
    EXPECT_EQ(LireHeureSaisie("1:02", true), 3720);
    EXPECT_EQ(LireHeureSaisie("30:00:00", false), 108000); // a long film
    EXPECT_EQ(LireHeureSaisie("30:00:00", true), -1);
    EXPECT_EQ(LireHeureSaisie("10:60:00", true), -1);
    EXPECT_EQ(LireHeureSaisie("10", true), -1);
    EXPECT_EQ(LireHeureSaisie("10:16:30:1", true), -1);
    EXPECT_EQ(LireHeureSaisie("1O:16:30", true), -1);
    EXPECT_EQ(LireHeureSaisie("", true), -1);

    // Without dates: from the film's start.
    EXPECT_EQ(SecondePourAllerA(12, 40, false, 0, 0), 12);
    EXPECT_EQ(SecondePourAllerA(41, 40, false, 0, 0), -1);
    // With dates: 10:15:00 to 10:15:40 on one day.
    DateHeure debut;
    debut.heure = 10, debut.minute = 15, debut.seconde = 0;
    DateHeure fin = debut;
    fin.seconde = 40;
    const double d = JoursDepuis1899(debut), f = JoursDepuis1899(fin);
    EXPECT_EQ(SecondePourAllerA(10 * 3600 + 15 * 60 + 20, 40, true, d, f), 20);
    EXPECT_EQ(SecondePourAllerA(10 * 3600 + 15 * 60, 40, true, d, f), 0);
    EXPECT_EQ(SecondePourAllerA(10 * 3600 + 14 * 60, 40, true, d, f), -1);
    EXPECT_EQ(SecondePourAllerA(10 * 3600 + 16 * 60, 40, true, d, f), -1);
    // A film from 23:59:50 to 00:00:30 the next day.
    DateHeure tard = debut;
    tard.heure = 23, tard.minute = 59, tard.seconde = 50;
    const double t = JoursDepuis1899(tard);
    EXPECT_EQ(SecondePourAllerA(10, 40, true, t, t + 40.0 / 86400), 20);
    EXPECT_EQ(SecondePourAllerA(23 * 3600 + 59 * 60 + 55, 40, true, t, t + 40.0 / 86400), 5);
}

// The measure rows at a position: each row as its last line at or before
// that time left it; a row of 0 clears them; a FIFO is refused at once.
TEST(NavigationCalcul, MesuresALaPosition)
{
    QTemporaryDir dossier;
    ASSERT_TRUE(dossier.isValid());
    const std::string msr = (dossier.path() + "/a.msr").toStdString();
    std::ofstream(msr, std::ios::binary) << "000000;1;Un;\r\n"
                                            "000000;3;Trois;\r\n"
                                            "001000;1;Un bis;\r\n"
                                            "002000;0;;\r\n"
                                            "002000;2;Deux;\r\n"
                                            "003000;1;fin;\r\n"
                                            "remplissage final\r\n";
    EXPECT_EQ(AffichageMesuresAuTemps(msr, 0), QStringLiteral("Un\n\nTrois"));
    EXPECT_EQ(AffichageMesuresAuTemps(msr, 1999), QStringLiteral("Un bis\n\nTrois"));
    EXPECT_EQ(AffichageMesuresAuTemps(msr, 2000), QStringLiteral("\nDeux"));
    EXPECT_EQ(AffichageMesuresAuTemps(msr, 9000), QStringLiteral("fin\nDeux"));
    const std::string fifo = (dossier.path() + "/b.msr").toStdString();
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(AffichageMesuresAuTemps(fifo, 9000), QString());
}

// The window with the real reader and indexer.
class FenetreNavigation : public EssaiFenetreLecteur
{
protected:
    void SetUp() override
    {
        RemplacerGestionnaireTexte([this](const DemandeTexte& d, QString& r) {
            titres.push_back(d.titre.toStdString());
            r = saisie;
            return true;
        });
        EssaiFenetreLecteur::SetUp();
    }
    void TearDown() override
    {
        EssaiFenetreLecteur::TearDown();
        RemplacerGestionnaireTexte(nullptr);
    }
    // 40 s at 5 pictures a second, a key picture every 10.
    std::string Film(const char* nom, bool dates)
    {
        OptionsFilm o;
        o.largeur = 192;
        o.hauteur = 144;
        o.nbImages = 200;
        o.cadence = 5;
        o.gop = 10;
        o.dates = dates;
        const std::string chemin = (dossier.path() + "/").toStdString() + nom;
        EXPECT_EQ(FabriquerFilm(chemin, o), 0);
        return chemin;
    }
    void Selectionner(const std::string& chemin)
    {
        choix = QString::fromStdString(chemin);
        w->BoutonSelectionClick();
        ASSERT_TRUE(Attendre([&] { return IndexFilm(chemin.c_str()) != nullptr; }, 20000));
    }
    int Numero() const { return NumeroImageAffichee(*w); }
    template <typename F> bool Attendre(F condition, int ms) { return AttendreQue(condition, ms, 10); }
    // The picture shown and the label agree on picture k.
    bool Montre(int k)
    {
        const std::string texte = TexteImage(k, 200);
        return Attendre([&] {
            w->NavigationFenetre->MettreAJourEtiquette();
            return Numero() == k && w->NavigationFenetre->LabelImage->text().toStdString() == texte
                   && w->NavigationFenetre->LabelImage->isVisible();
        }, 20000);
    }

    std::vector<std::string> titres;
    QString saisie;
};

TEST_F(FenetreNavigation, TouchesPasEtSauts)
{
    const std::string film = Film("nav.264", false);
    Selectionner(film);
    const int vitesse = w->JaugeVitesse->value();

    // Right with the focus on a button: +5 s, picture 25 of 200.
    QTest::keyClick(w->BoutonSelection, Qt::Key_Right);
    EXPECT_EQ(w->CurseurMinutes1->value(), 5);
    ASSERT_TRUE(Montre(25));
    // Back across the key picture 20, the focus on the speed gauge, whose
    // own arrow keys stay untouched.
    for (int i = 0; i < 6; ++i) {
        QTest::keyClick(w->JaugeVitesse, Qt::Key_Comma, Qt::NoModifier);
        ASSERT_TRUE(Montre(24 - i));
    }
    QTest::keyClick(w->JaugeVitesse, Qt::Key_Period);
    ASSERT_TRUE(Montre(20));
    QTest::keyClick(w->CurseurMinutes1, Qt::Key_Period);
    ASSERT_TRUE(Montre(21));
    EXPECT_EQ(w->JaugeVitesse->value(), vitesse);
    EXPECT_EQ(w->CurseurMinutes1->value(), 4); // second of picture 21

    // Typing in the password field keeps its keys.
    w->MotDePasse->setFocus();
    QTest::keyClicks(w->MotDePasse, ".,");
    EXPECT_EQ(w->MotDePasse->text(), QStringLiteral(".,"));
    EXPECT_EQ(w->CurseurMinutes1->value(), 4);
    w->MotDePasse->clear();

    // Up +60 s is held at the end; Down -60 s at the start; Home.
    QTest::keyClick(w->BoutonSelection, Qt::Key_Up);
    EXPECT_EQ(w->CurseurMinutes1->value(), 40);
    ASSERT_TRUE(Montre(199));
    QTest::keyClick(w->BoutonSelection, Qt::Key_Down);
    EXPECT_EQ(w->CurseurMinutes1->value(), 0);
    ASSERT_TRUE(Montre(0));
    QTest::keyClick(w->BoutonSelection, Qt::Key_Right);
    ASSERT_TRUE(Montre(25));
    QTest::keyClick(w->BoutonSelection, Qt::Key_Home);
    EXPECT_EQ(w->CurseurMinutes1->value(), 0);
    ASSERT_TRUE(Montre(0));

    // Space plays, a step while playing pauses there and shows the next
    // picture, Space plays on from it.
    QTest::keyClick(w->BoutonSelection, Qt::Key_Space);
    EXPECT_EQ(Voies[0].FlagLecture, 1);
    ASSERT_TRUE(Attendre([&] { return Numero() >= 3; }, 20000));
    const int avantPas = Numero();
    QTest::keyClick(w->BoutonSelection, Qt::Key_Period);
    EXPECT_EQ(Voies[0].FlagLecture, 0);
    ASSERT_TRUE(Attendre([&] { return w->NavigationFenetre->LabelImage->isVisible(); }, 20000));
    int64_t k = -1;
    ASSERT_TRUE(Attendre([&] {
        w->NavigationFenetre->MettreAJourEtiquette();
        k = Numero();
        return k >= 4 && Montre(static_cast<int>(k));
    }, 20000));
    // The picture after the last one the reader showed before it stopped
    // (at most one more picture came during the stop).
    EXPECT_GE(k, avantPas + 1);
    EXPECT_LE(k, avantPas + 2);
    const int64_t apresPas = k;
    QTest::keyClick(w->BoutonSelection, Qt::Key_Space);
    EXPECT_EQ(Voies[0].FlagLecture, 1);
    ASSERT_TRUE(Attendre([&] { return Numero() > apresPas; }, 20000));
    QTest::keyClick(w->BoutonSelection, Qt::Key_Space);
    EXPECT_EQ(Voies[0].FlagPause, 1);
}

// While playing, the label names the picture on screen at every moment:
// it changes with the picture, not on a later tick.
TEST_F(FenetreNavigation, LEtiquetteChangeAvecLImage)
{
    Selectionner(Film("suivi.264", false));
    QTest::keyClick(w->BoutonSelection, Qt::Key_Space);
    ASSERT_TRUE(Attendre([&] { return Numero() >= 1; }, 20000));
    int observations = 0, desaccords = 0;
    std::string premier;
    for (int i = 0; i < 600 && Numero() < 199; ++i) {
        QTest::qWait(4);
        const int k = Numero();
        if (k < 0 || !w->NavigationFenetre->LabelImage->isVisible())
            continue;
        ++observations;
        const std::string vu = w->NavigationFenetre->LabelImage->text().toStdString();
        if (vu != TexteImage(k, 200) && desaccords++ == 0)
            premier = "picture " + std::to_string(k) + ", label " + vu;
    }
    EXPECT_GT(observations, 100);
    EXPECT_EQ(desaccords, 0) << "of " << observations << "; first: " << premier;
}

// Home while paused: the read-out, the label and the measure rows all go
// back to picture 0 with the picture.
TEST_F(FenetreNavigation, RetourAuDebutEnPauseMontreToutDeLImage0)
{
    QTest::qWait(200); // the window's start-up timer has numbered and hidden none of these
    QWidget m1, m2;
    m1.setProperty("Numero", 1);
    m2.setProperty("Numero", 17);
    for (QWidget* m : {&m1, &m2}) {
        auto* memo = new QPlainTextEdit(m);
        memo->setObjectName(QStringLiteral("Memo2"));
    }
    w->FixerFenetresMesures(&m1, &m2);
    OptionsFilm o;
    o.largeur = 192;
    o.hauteur = 144;
    o.nbImages = 200;
    o.cadence = 5;
    o.dates = true; // 12/05/2014 10:15:00 to 10:15:40
    o.mesures = true;
    const std::string film = (dossier.path() + "/mesures.mjp").toStdString();
    ASSERT_EQ(FabriquerFilm(film, o), 0);
    Selectionner(film);
    ASSERT_TRUE(m1.isVisible());
    auto* memo = m1.findChild<QPlainTextEdit*>(QStringLiteral("Memo2"));

    QTest::keyClick(w->BoutonSelection, Qt::Key_Right); // second 5, stopped
    ASSERT_TRUE(Montre(25));
    EXPECT_NE(memo->toPlainText().indexOf(QStringLiteral("Temps film : 00:00:05")), -1)
        << memo->toPlainText().toStdString();
    QTest::keyClick(w->BoutonSelection, Qt::Key_Space);
    ASSERT_TRUE(Attendre([&] { return w->NomDeLaSequence1->text().contains(QStringLiteral("10:15:06")); }, 20000));
    QTest::keyClick(w->BoutonSelection, Qt::Key_Space); // pause
    ASSERT_EQ(Voies[0].FlagPause, 1);

    QTest::keyClick(w->BoutonSelection, Qt::Key_Home);
    EXPECT_TRUE(w->NomDeLaSequence1->text().contains(QStringLiteral("10:15:00")))
        << w->NomDeLaSequence1->text().toStdString();
    EXPECT_NE(memo->toPlainText().indexOf(QStringLiteral("Temps film : 00:00:00")), -1)
        << memo->toPlainText().toStdString();
    EXPECT_NE(memo->toPlainText().indexOf(QStringLiteral("Image : 0")), -1);
    EXPECT_TRUE(m2.findChild<QPlainTextEdit*>()->toPlainText().isEmpty());
    ASSERT_TRUE(Montre(0));
    w->FixerFenetresMesures(nullptr, nullptr);
}

TEST_F(FenetreNavigation, AllerAAvecEtSansDates)
{
    const std::string sans = Film("sans.mjp", false);
    const std::string avec = Film("avec.mp4", true); // 12/05/2014 10:15:00 to 10:15:40
    Selectionner(sans);
    saisie = QStringLiteral("00:00:12");
    QTest::keyClick(w->BoutonSelection, Qt::Key_G, Qt::ControlModifier);
    ASSERT_EQ(titres.size(), 1u);
    EXPECT_EQ(titres[0], "Aller à…");
    EXPECT_EQ(w->CurseurMinutes1->value(), 12);
    ASSERT_TRUE(Montre(60));
    saisie = QStringLiteral("00:01:00");
    w->NavigationFenetre->AllerA();
    EXPECT_EQ(w->CurseurMinutes1->value(), 12);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], "Cette heure n'est pas dans le film");
    saisie = QStringLiteral("midi");
    w->NavigationFenetre->AllerA();
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[1], "Heure incorrecte : tapez hh:mm:ss");

    // Another film: the first one's index is forgotten.
    Selectionner(avec);
    EXPECT_EQ(IndexFilm(sans.c_str()), nullptr);
    saisie = QStringLiteral("10:15:30");
    w->NavigationFenetre->AllerA();
    EXPECT_EQ(w->CurseurMinutes1->value(), 30);
    ASSERT_TRUE(Montre(150));
    EXPECT_NE(w->NomDeLaSequence1->text().indexOf(QStringLiteral("10:15:30")), -1);
    saisie = QStringLiteral("10:14:59");
    w->NavigationFenetre->AllerA();
    EXPECT_EQ(messages.size(), 3u);
    EXPECT_EQ(w->CurseurMinutes1->value(), 30);
}

} // namespace
