// Main window driven through its handlers, offscreen: start-up states,
// film selection and its refusals, companions, transport flags, the speed
// gauge, the end of a film with loop and chain (simulated and with the real
// reader thread), the splash and closing.
#include "core/avis.h"
#include "core/boitemessage.h"
#include "core/etat.h"
#include "engine/fichierfilm.h"
#include "engine/th_lecteur_magneto.h"
#include "fenetre_essai.h"
#include "filmmaker.h"
#include "numero_image.h"
#include "ui/dialogues.h"
#include "ui/image_etiree.h"
#include "ui/lecteurzr7_principale.h"
#include "ui/oxbouton.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSlider>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <tuple>
#include <algorithm>
#include <string>
#include <vector>

namespace {

std::string Texte(const QLabel* l)
{
    return l->text().toStdString();
}

class Fenetre : public EssaiFenetre
{
protected:
    // The fixture's window, its waits counted instead of slept.
    void Creer()
    {
        EssaiFenetre::Creer();
        w->Attendre = [this](int ms) {
            attentes.push_back(ms);
            lectureAuxAttentes.push_back(Voies[0].FlagLecture);
        };
    }

    std::string Film(const std::string& nom, OptionsFilm o = OptionsFilm())
    {
        const std::string chemin = (dossier.path() + "/").toStdString() + nom;
        QDir().mkpath(QFileInfo(QString::fromStdString(chemin)).path());
        EXPECT_EQ(FabriquerFilm(chemin, o), 0) << chemin;
        return chemin;
    }

    std::vector<int> attentes;
    std::vector<unsigned char> lectureAuxAttentes;
};

TEST_F(Fenetre, DemarrageSansFilm)
{
    Creer();
    EXPECT_EQ(w->windowTitle().toStdString(), "VelmoraZR7 : Lecteur autonome");
    EXPECT_TRUE(Texte(w->NomDeLaSequence1).empty());
    EXPECT_EQ(w->Image1->Picture().size(), QSize(160, 120));
    EXPECT_EQ(w->Image1->Picture().pixel(10, 10), qRgb(0, 0, 0));
    EXPECT_FALSE(w->BoutonPlay1->Enabled());
    EXPECT_FALSE(w->BoutonDebut1->Enabled());
    EXPECT_FALSE(w->CurseurMinutes1->isEnabled());
    EXPECT_FALSE(w->BoutonSonOn1->Visible());
    EXPECT_FALSE(w->BoutonSonOff1->Visible());
    EXPECT_FALSE(w->BoutonStop1->Visible());
    EXPECT_FALSE(w->FlagEnchainer->isVisibleTo(w.get()));
    EXPECT_EQ(w->JaugeVitesse->value(), 5);
    EXPECT_NE(ExportPictureBuffer, nullptr);
    EXPECT_EQ(ImageAffichage, w->Image1);
    EXPECT_EQ(w->OpenDialog1.InitialDir, dossier.path() + "/");
    EXPECT_FALSE(w->TimerPub->isActive());
}

TEST_F(Fenetre, SelectionDeChaqueGenre)
{
    Creer();
    OptionsFilm o;
    o.nbImages = 20;
    o.dureeMs = 3725000; // a long header duration on a short body
    const char* noms[] = {"a.mp4", "b.mjp", "c.264"};
    for (int type = 0; type < 3; ++type) {
        const std::string chemin = Film(noms[type], o);
        FlagLireTaille = 0;
        Voies[0].FlagRafraichir = 0;
        Selectionner(chemin);
        EXPECT_EQ(TypeFilm, type);
        EXPECT_STREQ(CheminFilm, chemin.c_str());
        EXPECT_EQ(NbImagesFilm, 20u);
        EXPECT_EQ(DureeFilm, 3725u);
        EXPECT_EQ(w->CurseurMinutes1->maximum(), 3725);
        EXPECT_EQ(w->CurseurMinutes1->tickInterval(), 13);
        EXPECT_EQ(Voies[0].FlagRafraichir, 1);
        EXPECT_EQ(FlagLireTaille, 1);
        EXPECT_TRUE(w->BoutonPlay1->Enabled());
        EXPECT_EQ(Texte(w->NomDeLaSequence1), chemin + " (00:00:00 / 01:02:05)");
    }
    EXPECT_TRUE(messages.empty());
    ASSERT_EQ(demandesFichier.size(), 3u);
    EXPECT_EQ(demandesFichier[0].titre.toStdString(), "Choix d'une séquence vidéo");
    // The stop came before the wait, on every selection.
    ASSERT_EQ(attentes.size(), 3u);
    EXPECT_EQ(attentes[0], AttenteArretLecteurMs);
    EXPECT_EQ(lectureAuxAttentes[0], 0);
}

TEST_F(Fenetre, SelectionsRefusees)
{
    Creer();
    OptionsFilm o;
    o.nbImages = 10;
    const std::string bon = Film("bon.mjp", o);
    Selectionner(bon);
    ASSERT_TRUE(w->BoutonPlay1->Enabled());

    // Cancelled: nothing changes, no message.
    Selectionner("");
    EXPECT_STREQ(CheminFilm, bon.c_str());
    EXPECT_TRUE(w->BoutonPlay1->Enabled());

    // Upper-case extension: silently refused, the path is replaced, the kind kept.
    const std::string majuscules = dossier.path().toStdString() + "/film.MJP";
    QFile::copy(QString::fromStdString(bon), QString::fromStdString(majuscules));
    TypeFilm = 1;
    w->CurseurMinutes1->setValue(3);
    Selectionner(majuscules);
    EXPECT_TRUE(messages.empty());
    EXPECT_STREQ(CheminFilm, majuscules.c_str());
    EXPECT_EQ(TypeFilm, 1);
    EXPECT_EQ(w->CurseurMinutes1->value(), 0);

    // Missing film.
    Selectionner(dossier.path().toStdString() + "/absent.264");
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages.back(), "Erreur d'ouverture de fichier");
    EXPECT_EQ(TypeFilm, 2);

    // Bad headers: each leaves the window without a film.
    struct Entete {
        const char* nom;
        std::vector<unsigned char> octets;
    } entetes[] = {
        {"court.mjp", {10, 0, 0, 0, 0xE8}},
        {"999ms.mjp", {10, 0, 0, 0, 0xE7, 0x03, 0, 0, 1, 2}},
        {"zero.mjp", {0, 0, 0, 0, 0xE8, 0x03, 0, 0, 1, 2}},
    };
    for (const Entete& e : entetes) {
        Selectionner(bon);
        ASSERT_TRUE(w->BoutonPlay1->Enabled());
        messages.clear();
        const std::string chemin = dossier.path().toStdString() + "/" + e.nom;
        EXPECT_EQ(EcrireOctetsFichier(chemin, e.octets.data(), e.octets.size()), 0);
        Selectionner(chemin);
        EXPECT_EQ(messages, std::vector<std::string>{"Fichier vidéo incorrect"}) << e.nom;
        EXPECT_FALSE(w->BoutonPlay1->Enabled()) << e.nom;
        EXPECT_FALSE(w->CurseurMinutes1->isEnabled()) << e.nom;
        EXPECT_TRUE(Texte(w->NomDeLaSequence1).empty()) << e.nom;
        EXPECT_EQ(w->Image1->Picture().size(), QSize(160, 120)) << e.nom;
    }

    // One second exactly is a film: slider 0..1, one tick apart.
    const std::vector<unsigned char> uneSeconde = {1, 0, 0, 0, 0xE8, 0x03, 0, 0, 1, 2};
    const std::string chemin = dossier.path().toStdString() + "/1000ms.mjp";
    EcrireOctetsFichier(chemin, uneSeconde.data(), uneSeconde.size());
    messages.clear();
    Selectionner(chemin);
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(w->CurseurMinutes1->maximum(), 1);
    EXPECT_EQ(w->CurseurMinutes1->tickInterval(), 1);
}

TEST_F(Fenetre, CompagnonsDatesSonEtMesures)
{
    Creer();
    QWidget m1, m2;
    auto* memo = new QPlainTextEdit(QStringLiteral("ancien"), &m2);
    memo->setObjectName(QStringLiteral("Memo2"));
    w->FixerFenetresMesures(&m1, &m2);

    OptionsFilm o;
    o.nbImages = 10;
    const std::string nu = Film("nu.mjp", o);
    Selectionner(nu);
    EXPECT_FALSE(w->BoutonSonOn1->Visible());
    EXPECT_FALSE(m1.isVisible());
    EXPECT_FALSE(w->Opacite->isVisibleTo(w.get()));
    EXPECT_EQ(Voies[0].FlagMesuresPresentes, 0);
    EXPECT_EQ(FlagDatesFilm, 0);

    o.dates = true;
    o.son = true;
    o.mesures = true;
    const std::string complet = Film("complet.mjp", o);
    Selectionner(complet);
    EXPECT_TRUE(w->BoutonSonOn1->Visible());
    EXPECT_FALSE(w->BoutonSonOff1->Visible());
    EXPECT_STREQ(Voies[0].CheminSon, NomCompagnon(complet, "pcm").c_str());
    EXPECT_TRUE(m1.isVisible());
    EXPECT_TRUE(m2.isVisible());
    EXPECT_TRUE(memo->toPlainText().isEmpty());
    EXPECT_TRUE(w->LabelOpacite->isVisibleTo(w.get()));
    EXPECT_TRUE(w->Opacite->isVisibleTo(w.get()));
    EXPECT_EQ(Voies[0].FlagMesuresPresentes, 1);
    EXPECT_EQ(FlagDatesFilm, 1);
    EXPECT_EQ(Texte(w->NomDeLaSequence1), "12/05/2014 10:15:00");

    // Sound on, then off: the flags follow the button pressed.
    w->BoutonSonOn1Click();
    EXPECT_EQ(Voies[0].FlagSonActif, 1);
    EXPECT_EQ(Voies[0].FlagSonEcoute, 1);
    EXPECT_TRUE(w->BoutonSonOff1->Visible());
    EXPECT_FALSE(w->BoutonSonOn1->Visible());
    w->BoutonSonOff1Click();
    EXPECT_EQ(Voies[0].FlagSonActif + Voies[0].FlagSonEcoute, 0);
    EXPECT_TRUE(w->BoutonSonOn1->Visible());

    // Sound left on for the next film is switched off with its button.
    w->BoutonSonOn1Click();
    Selectionner(complet);
    EXPECT_TRUE(w->BoutonSonOn1->Visible());
    EXPECT_EQ(Voies[0].FlagSonActif, 0);

    // Back to a film without measures hides them again.
    Selectionner(nu);
    EXPECT_FALSE(m1.isVisible());
    EXPECT_EQ(Voies[0].FlagMesuresPresentes, 0);
}

TEST_F(Fenetre, EnchainementProposePourLesNomsHoraires)
{
    Creer();
    OptionsFilm o;
    o.nbImages = 10;
    Selectionner(Film("10/12-05-2014-10-15.mjp", o));
    EXPECT_TRUE(w->FlagEnchainer->isVisibleTo(w.get()));
    EXPECT_TRUE(w->FlagEnchainer->isChecked());
    w->FlagBoucle->setChecked(true);
    EXPECT_FALSE(w->FlagEnchainer->isChecked());
    w->FlagEnchainer->setChecked(true);
    EXPECT_FALSE(w->FlagBoucle->isChecked());

    Selectionner(Film("10/clip.mjp", o));
    EXPECT_FALSE(w->FlagEnchainer->isVisibleTo(w.get()));
    EXPECT_FALSE(w->FlagEnchainer->isChecked());
}

TEST_F(Fenetre, LecturePauseRepriseRetourAuDebut)
{
    Creer();
    OptionsFilm o;
    o.nbImages = 10;
    Selectionner(Film("f.mjp", o));
    w->MotDePasse->setText(QStringLiteral("secret-de-plus-de-vingt"));
    EXPECT_STREQ(MotDePasseFilm, "secret-de-plus-de-vi");
    w->MotDePasse->setText(QString(15, QChar(0xE9))); // 2 bytes each: 10 fit
    EXPECT_EQ(QString::fromUtf8(MotDePasseFilm), QString(10, QChar(0xE9)));
    w->MotDePasse->setText(QStringLiteral("secret"));

    Voies[0].FlagFinDeFilm = 1;
    w->BoutonPlay1Click();
    EXPECT_EQ(Voies[0].FlagLecture, 1);
    EXPECT_EQ(Voies[0].FlagPause, 0);
    EXPECT_EQ(Voies[0].FlagFinDeFilm, 0);
    EXPECT_EQ(Voies[0].FlagRafraichir, 0);
    EXPECT_TRUE(w->BoutonStop1->Visible());
    EXPECT_FALSE(w->BoutonPlay1->Visible());
    EXPECT_FALSE(w->BoutonDebut1->Enabled());

    w->BoutonStop1Click(); // pauses
    EXPECT_EQ(Voies[0].FlagLecture, 1);
    EXPECT_EQ(Voies[0].FlagPause, 1);
    EXPECT_EQ(Voies[0].FlagViderSon, 1);
    EXPECT_TRUE(w->BoutonPlay1->Visible());
    EXPECT_TRUE(w->BoutonDebut1->Enabled());

    w->BoutonPlay1Click(); // resumes
    EXPECT_EQ(Voies[0].FlagPause, 0);
    EXPECT_TRUE(w->BoutonStop1->Visible());

    w->BoutonStop1Click();
    SecondeDepart = 4;
    PositionSecondes = 4;
    w->CurseurMinutes1->setValue(4);
    attentes.clear();
    lectureAuxAttentes.clear();
    Voies[0].FlagRafraichir = 0;
    w->BoutonDebut1Click();
    EXPECT_EQ(Voies[0].FlagLecture, 0);
    EXPECT_EQ(lectureAuxAttentes, std::vector<unsigned char>{0}); // stopped before waiting
    EXPECT_EQ(SecondeDepart, 0);
    EXPECT_EQ(PositionSecondes, 0u);
    EXPECT_EQ(w->CurseurMinutes1->value(), 0);
    EXPECT_EQ(Voies[0].FlagRafraichir, 1);
    EXPECT_EQ(FlagLectureLancee, 0);

    w->BoutonPlay1Click(); // starts again rather than resuming
    EXPECT_EQ(Voies[0].FlagLecture, 1);
    EXPECT_EQ(Voies[0].FlagPause, 0);
}

TEST_F(Fenetre, JaugeDeVitesse)
{
    Creer();
    for (auto [position, vitesse, texte] : {std::tuple<int, double, const char*>{0, 0.1, "x 0.1"},
                                            {20, 16.0, "x 16"}, {5, 1.0, "x 1"}}) {
        w->JaugeVitesse->setValue(position);
        EXPECT_DOUBLE_EQ(Vitesse, vitesse);
        EXPECT_EQ(Texte(w->LabelVitesse), texte);
    }
}

TEST_F(Fenetre, FinDeFilmSansOptionBoucleEtEnchainementSimules)
{
    Creer();
    OptionsFilm o;
    o.nbImages = 10;
    const std::string premier = Film("10/12-05-2014-10-15.mjp", o);
    o.dureeMs = 7000;
    const std::string second = Film("10/12-05-2014-10-16.mjp", o);
    Selectionner(premier);

    // Neither option: stays stopped where the reader stopped.
    w->FlagEnchainer->setChecked(false);
    w->BoutonPlay1Click();
    Voies[0].FlagFinDeFilm = 1;
    w->TimerAffichageTimer();
    EXPECT_EQ(Voies[0].FlagLecture, 0);
    EXPECT_TRUE(w->BoutonPlay1->Visible());

    // Loop: restarted from 0 after two waits, display running again.
    w->FlagBoucle->setChecked(true);
    w->BoutonPlay1Click();
    SecondeDepart = 1;
    Voies[0].FlagFinDeFilm = 1;
    attentes.clear();
    w->TimerAffichageTimer();
    EXPECT_EQ(Voies[0].FlagLecture, 1);
    EXPECT_EQ(Voies[0].FlagFinDeFilm, 0);
    EXPECT_EQ(SecondeDepart, 0);
    EXPECT_EQ(attentes.size(), 2u);
    EXPECT_TRUE(w->TimerAffichage->isActive());
    EXPECT_STREQ(CheminFilm, premier.c_str());

    // Chain: the next minute's film, with its own header.
    w->FlagEnchainer->setChecked(true);
    Voies[0].FlagFinDeFilm = 1;
    w->TimerAffichageTimer();
    EXPECT_STREQ(CheminFilm, second.c_str());
    EXPECT_EQ(DureeFilm, 7u);
    EXPECT_EQ(w->CurseurMinutes1->maximum(), 7);
    EXPECT_EQ(Voies[0].FlagLecture, 1);

    // No film for 10:17: stopped, the name kept, the display running.
    Voies[0].FlagFinDeFilm = 1;
    w->TimerAffichageTimer();
    EXPECT_EQ(Voies[0].FlagLecture, 0);
    EXPECT_STREQ(CheminFilm, second.c_str());
    EXPECT_TRUE(w->TimerAffichage->isActive());
    EXPECT_TRUE(w->BoutonPlay1->Visible());
}

TEST_F(Fenetre, DemarrageAvecFilmEtLogos)
{
    OptionsFilm o;
    o.nbImages = 10;
    const std::string film = Film("lance.mjp", o);
    CopierTexte(CheminFilm, sizeof CheminFilm, film.c_str());
    DureeFilm = 1;
    NbImagesFilm = 10;
    ASSERT_EQ(EcrireLogos(dossier.path().toStdString()), 0);
    Creer();
    EXPECT_FALSE(w->BoutonPlay1->Visible());
    EXPECT_TRUE(w->TimerPub->isActive());
    const QImage logo2 = w->Image1->Picture();
    EXPECT_FALSE(logo2.isNull());
    EXPECT_NE(logo2.size(), QSize(160, 120));
    w->TimerPubTimer();
    EXPECT_FALSE(w->TimerPub->isActive());
    EXPECT_TRUE(w->TimerPlay->isActive());
    EXPECT_NE(w->Image1->Picture(), logo2);
    w->TimerPlayTimer();
    EXPECT_EQ(FlagLireTaille, 1);
    EXPECT_TRUE(w->BoutonPlay1->Enabled());
    EXPECT_EQ(Texte(w->NomDeLaSequence1), film + " (00:00:00 / 00:00:01)");
    EXPECT_TRUE(w->TimerPlay2->isActive());
    w->TimerPlay2Timer();
    EXPECT_FALSE(w->TimerPlay2->isActive());
    EXPECT_EQ(Voies[0].FlagLecture, 1);

    // Without logos the film comes after one step.
    QFile::remove(dossier.path() + "/logo1.jpg");
    QFile::remove(dossier.path() + "/logo2.jpg");
    Creer(); // the new window is made before the old one goes
    EXPECT_FALSE(w->TimerPub->isActive());
    EXPECT_TRUE(w->TimerPlay->isActive());
    EXPECT_NE(ExportPictureBuffer, nullptr);
}

TEST_F(Fenetre, MesuresNumeroteesEtFermetureEnLecture)
{
    Creer();
    QWidget m1, m2;
    m1.show();
    w->FixerFenetresMesures(&m1, &m2);
    w->TimerInitTimer();
    EXPECT_EQ(m1.property("Numero").toInt(), 1);
    EXPECT_EQ(m2.property("Numero").toInt(), 17);
    EXPECT_FALSE(m1.isVisible());

    OptionsFilm o;
    o.nbImages = 10;
    Selectionner(Film("f.mjp", o));
    w->BoutonPlay1Click();
    attentes.clear();
    w->close();
    EXPECT_EQ(Voies[0].FlagLecture, 0);
    EXPECT_EQ(lectureAuxAttentes.back(), 0);
    EXPECT_EQ(ExportPictureBuffer, nullptr);
}

// With the real reader: the pictures arrive in Image1, a looped film starts
// again from its first picture, a chained film follows with the next
// minute's pictures and playback stops when there is no further film.
// Selecting a film during the splash: the splash timers stop before the
// dialog is shown, so the launch film is not started under the chosen one;
// a cancelled dialog leaves the launch film loaded, not started.
TEST_F(Fenetre, SelectionPendantLeLogo)
{
    OptionsFilm o;
    o.nbImages = 10;
    const std::string lance = Film("lance.mjp", o);
    const std::string choisi = Film("choisi.mjp", o);
    ASSERT_EQ(EcrireLogos(dossier.path().toStdString()), 0);
    for (bool annule : {false, true}) {
        CopierTexte(CheminFilm, sizeof CheminFilm, lance.c_str());
        DureeFilm = 1;
        NbImagesFilm = 10;
        Creer();
        if (annule)
            w->TimerPubTimer(); // second step of the splash
        bool splashPendantDialogue = true;
        RemplacerGestionnaireDialogues([&](const DemandeFichier&) {
            splashPendantDialogue = w->TimerPub->isActive() || w->TimerPlay->isActive() || w->TimerPlay2->isActive();
            return annule ? QString() : QString::fromStdString(choisi);
        });
        w->BoutonSelectionClick();
        EXPECT_FALSE(splashPendantDialogue) << annule;
        EXPECT_EQ(attentes, std::vector<int>{AttenteArretLecteurMs}) << annule;
        QTest::qWait(50);
        EXPECT_FALSE(w->TimerPub->isActive() || w->TimerPlay->isActive() || w->TimerPlay2->isActive()) << annule;
        EXPECT_EQ(Voies[0].FlagLecture, 0) << annule;
        EXPECT_STREQ(CheminFilm, (annule ? lance : choisi).c_str());
        EXPECT_TRUE(w->BoutonPlay1->Visible() && w->BoutonPlay1->Enabled()) << annule;
        EXPECT_EQ(Texte(w->NomDeLaSequence1), (annule ? lance : choisi) + " (00:00:00 / 00:00:01)");
        attentes.clear();
    }
}

// Small state faults: "Retour au Début" only with a film, the opacity
// slider's keys, and the bad-header message before the film is dropped.
TEST_F(Fenetre, RetourAuDebutOpaciteEtMessageDEntete)
{
    Creer();
    EXPECT_EQ(w->Opacite->focusPolicy(), Qt::ClickFocus);
    Selectionner(""); // cancelled with no film
    EXPECT_FALSE(w->BoutonDebut1->Enabled());
    Selectionner(dossier.path().toStdString() + "/absent.mjp");
    EXPECT_FALSE(w->BoutonDebut1->Enabled());
    Selectionner(dossier.path().toStdString() + "/film.txt");
    EXPECT_FALSE(w->BoutonDebut1->Enabled());

    OptionsFilm o;
    o.nbImages = 10;
    const std::string bon = Film("bon.mjp", o);
    Selectionner(bon);
    EXPECT_TRUE(w->BoutonDebut1->Enabled());
    const std::vector<unsigned char> court = {10, 0, 0, 0, 0xE8};
    const std::string mauvais = dossier.path().toStdString() + "/court.mjp";
    ASSERT_EQ(EcrireOctetsFichier(mauvais, court.data(), court.size()), 0);
    bool filmEncoreLa = false;
    messages.clear();
    RemplacerGestionnaireMessages([&](const DemandeMessage& d) {
        messages.push_back(d.texte);
        filmEncoreLa = w->BoutonPlay1->Enabled() && !Texte(w->NomDeLaSequence1).empty();
        return ReponseMessage::Ok;
    });
    Selectionner(mauvais);
    EXPECT_EQ(messages, std::vector<std::string>{"Fichier vidéo incorrect"});
    EXPECT_TRUE(filmEncoreLa);
    EXPECT_FALSE(w->BoutonPlay1->Enabled());
    Selectionner("");
    EXPECT_FALSE(w->BoutonDebut1->Enabled());
}

class FenetreEtLecteur : public Fenetre
{
protected:
    void SetUp() override
    {
        Fenetre::SetUp();
        Voies[0].BufferImage = new unsigned char[TailleBufferImage];
        Voies[0].ImageSortie = Voies[0].BufferImage;
    }
    void TearDown() override
    {
        lecteur.reset();
        Fenetre::TearDown();
        delete[] Voies[0].BufferImage;
        Voies[0].BufferImage = Voies[0].ImageSortie = nullptr;
    }
    void Demarrer()
    {
        Creer();
        w->Attendre = [](int ms) { QThread::msleep(ms); };
        w->TimerAffichage->start();
        lecteur.reset(new Th_Lecteur_Magneto(0, 10, 10));
    }
    int Numero() const { return NumeroImageAffichee(*w); }
    template <typename F> bool Attendre(F condition, int ms) { return AttendreQue(condition, ms); }
    std::unique_ptr<Th_Lecteur_Magneto> lecteur;
};

TEST_F(FenetreEtLecteur, BouclePuisEnchainement)
{
    OptionsFilm o;
    o.nbImages = 12;
    o.cadence = 10;
    const std::string premier = Film("10/12-05-2014-10-15.mjp", o);
    o.premierNumero = 500;
    const std::string second = Film("10/12-05-2014-10-16.mjp", o);
    Demarrer();
    Selectionner(premier);
    w->FlagBoucle->setChecked(true);
    w->BoutonPlay1Click();

    int plusGrand = -1;
    EXPECT_TRUE(Attendre([&] { plusGrand = std::max(plusGrand, Numero()); return plusGrand >= 9; }, 15000));
    EXPECT_TRUE(Attendre([&] { const int n = Numero(); return n >= 0 && n <= 3; }, 15000)) << "no restart";
    EXPECT_EQ(Voies[0].FlagLecture, 1);

    w->FlagEnchainer->setChecked(true);
    EXPECT_TRUE(Attendre([&] { return Numero() >= 500; }, 20000)) << "no chained pictures";
    EXPECT_STREQ(CheminFilm, second.c_str());
    EXPECT_TRUE(Attendre([&] { return Voies[0].FlagLecture == 0; }, 20000)) << "no stop after the last film";
    EXPECT_TRUE(w->BoutonPlay1->Visible());
    EXPECT_STREQ(CheminFilm, second.c_str());
}

// What a person does: selects a protected film, types its password and
// presses Play; later drags the slider and presses Play at once. The film
// plays each time, to its end.
TEST_F(FenetreEtLecteur, MotDePasseTapeApresLaSelectionPuisGlisserEtLire)
{
    OptionsFilm o;
    o.nbImages = 40;
    o.cadence = 20;
    o.gop = 5;
    o.motDePasse = "loutre7";
    const std::string film = Film("protege.264", o);
    Demarrer();
    Selectionner(film);
    QTest::qWait(300);
    w->MotDePasse->setText(QStringLiteral("loutre7"));
    w->BoutonPlay1Click();
    EXPECT_TRUE(Attendre([&] { return Numero() >= 0; }, 8000)) << "no picture after Play";
    EXPECT_TRUE(Attendre([&] { return Voies[0].FlagLecture == 0; }, 15000));

    w->CurseurMinutes1->setValue(1);
    w->CurseurMinutes1MouseUp();
    w->BoutonPlay1Click();
    EXPECT_TRUE(Attendre([&] { const int n = Numero(); return n >= 0 && n < 35; }, 8000)) << "no seek";
    int plusGrand = -1;
    EXPECT_TRUE(Attendre([&] { plusGrand = std::max(plusGrand, Numero()); return plusGrand >= 38; }, 15000))
        << "stopped at " << plusGrand;
}

// A notice of start-up or of a worker (an unreadable sound file, live
// measures off) is shown once the window is shown, once, with the window as
// parent.
TEST_F(Fenetre, AvisMontresUneFoisQuandLaFenetreEstVisible)
{
    OublierAvis();
    Creer();
    PublierAvis("Son illisible : A.pcm");
    QTest::qWait(600);
    EXPECT_TRUE(messages.empty()) << "shown before the window";
    w->show();
    PublierAvis("Son illisible : A.pcm");
    ASSERT_TRUE(AttendreQue([&] { return !messages.empty(); }, 5000));
    QTest::qWait(600);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], "Son illisible : A.pcm");
}

} // namespace
