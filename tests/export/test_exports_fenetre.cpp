// The export buttons of the main window, offscreen, with the message and
// file dialog seams: AVI with its progress dialog (finished, cancelled,
// refused, overwrite question), snapshot, marks and extraction.
#include "outils_export.h"

#include "codecs/bitmap.h"
#include "core/boitemessage.h"
#include "core/etat.h"
#include "engine/fichierfilm.h"
#include "export/extraction.h"
#include "export/incrustation.h"
#include "ui/dialogues.h"
#include "ui/exports_fenetre.h"
#include "ui/image_etiree.h"
#include "ui/lecteurzr7_principale.h"
#include "ui/oxbouton.h"
#include "ui/reglages.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QKeyEvent>
#include <QLineEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

#include <turbojpeg.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include <sys/stat.h>

namespace fs = std::filesystem;

namespace {

class Exports : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ReinitialiserEtat();
        MarqueDebut = MarqueFin = 0;
        CopierTexte(DossierProgramme, sizeof DossierProgramme, (dossier.Chemin() + "/").c_str());
        RemplacerGestionnaireMessages([this](const DemandeMessage& d) {
            messages.push_back(d.texte);
            return d.ouiNon ? reponse : ReponseMessage::Ok;
        });
        RemplacerGestionnaireDialogues([this](const DemandeFichier& d) {
            demandes.push_back(d);
            return choix;
        });
        w.reset(new TLecteurZR7_Principale);
        w->Attendre = [](int) {};
        for (QTimer* t : {w->TimerAffichage, w->TimerLEO, w->TimerInit})
            t->stop();
    }
    void TearDown() override
    {
        w.reset();
        RemplacerGestionnaireMessages(nullptr);
        RemplacerGestionnaireDialogues(nullptr);
    }
    std::string Film(const std::string& nom, OptionsFilm o = OptionsFilm())
    {
        const std::string chemin = dossier / nom;
        EXPECT_EQ(FabriquerFilm(chemin, o), 0);
        choix = QString::fromStdString(chemin);
        w->BoutonSelectionClick();
        messages.clear();
        demandes.clear();
        return chemin;
    }
    void Choisir(const std::string& chemin) { choix = QString::fromStdString(chemin); }

    DossierTemporaire dossier;
    std::unique_ptr<TLecteurZR7_Principale> w;
    std::vector<std::string> messages;
    std::vector<DemandeFichier> demandes;
    ReponseMessage reponse = ReponseMessage::Oui;
    QString choix;
};

TEST_F(Exports, AviAvecProgressionPuisQuestionDEcrasement)
{
    Film("cam.mjp");
    w->StartPlayback();
    w->FlagForcerFR->setChecked(true);
    w->EditFR->setText(QStringLiteral("12"));
    Choisir(dossier / "export");
    int progressions = 0;
    QString libelle;
    ExportsDe(w.get())->surProgression = [&](QProgressDialog* d) {
        ++progressions;
        libelle = d->labelText();
        EXPECT_EQ(d->windowTitle().toStdString(), std::string(TitreMessages));
        EXPECT_TRUE(d->isVisible());
        EXPECT_EQ(Voies[0].FlagLecture, 0); // playback stays stopped
    };
    w->BoutonAviClick();
    ASSERT_EQ(demandes.size(), 1u);
    EXPECT_EQ(demandes[0].filtre.toStdString(), "Film (*.avi)");
    EXPECT_EQ(messages, (std::vector<std::string>{"Le film est enregistré"}));
    EXPECT_GE(progressions, 1);
    EXPECT_TRUE(libelle.startsWith(QStringLiteral("Image "))) << libelle.toStdString();
    EXPECT_EQ(ExportsDe(w.get())->dernierBilan.cadence, 12000u);
    const std::string sonde = Commande("ffprobe -v error -show_entries stream=r_frame_rate -of default=nw=1 '"
                                       + (dossier / "export.avi") + "'");
    EXPECT_NE(sonde.find("12/1"), std::string::npos) << sonde;
    EXPECT_FALSE(QApplication::overrideCursor());

    // Same name again: the question, and "Non" leaves the file alone.
    const auto date = fs::last_write_time(dossier / "export.avi");
    messages.clear();
    reponse = ReponseMessage::Non;
    w->BoutonAviClick();
    EXPECT_EQ(messages, (std::vector<std::string>{"Le fichier existe déjà.\nVoulez-vous l'écraser?"}));
    EXPECT_EQ(fs::last_write_time(dossier / "export.avi"), date);
}

TEST_F(Exports, AviAnnuleSansFilmOuSansCadence)
{
    // No film: the dialog, then "Erreur de création" and no file.
    Choisir(dossier / "rien.avi");
    w->BoutonAviClick();
    EXPECT_EQ(messages, (std::vector<std::string>{"Erreur de création"}));
    EXPECT_FALSE(fs::exists(dossier / "rien.avi"));

    // Cancelled from the progress dialog: no message, no file, nothing temporary.
    OptionsFilm o;
    o.nbImages = 80;
    Film("long.mjp", o);
    Choisir(dossier / "annule.avi");
    ExportsFenetre* e = ExportsDe(w.get());
    e->suiviAjoute.crochetImage = [](unsigned char*, int32_t, int32_t, int32_t, int64_t) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    };
    // As the user does: the dialog's "Annuler" button.
    e->surProgression = [](QProgressDialog* d) {
        QPushButton* annuler = d->findChild<QPushButton*>();
        ASSERT_NE(annuler, nullptr);
        EXPECT_EQ(annuler->text().toStdString(), "Annuler");
        annuler->click();
    };
    w->BoutonAviClick();
    EXPECT_EQ(messages, (std::vector<std::string>{"Export annulé"}));
    EXPECT_EQ(e->dernierBilan.resultat, ResultatAvi::Annule);
    EXPECT_LT(e->dernierBilan.echantillons, 80);
    for (const auto& f : fs::directory_iterator(dossier.Chemin()))
        EXPECT_EQ(f.path().string().find(".avi"), std::string::npos) << f.path();
}

TEST_F(Exports, PhotoALaTailleDeLImage)
{
    const int l = 2560, h = 2048;
    std::vector<uint8_t> bgr(size_t(l) * h * 3);
    DessinerImage(12, 1.2, l, h, bgr.data(), l * 3);
    std::vector<unsigned char> bitmap(size_t(BitmapTailleFichier(l, h)));
    int32_t b = 0;
    ASSERT_EQ(BitmapDepuisBGR(bgr.data(), l * 3, l, h, bitmap.data(), int32_t(bitmap.size()), &b), 0);
    ASSERT_EQ(w->Image1->ChargerBitmap(bitmap.data(), size_t(b)), 0);
    w->Image1->resize(300, 200); // shown small: saved at its own size

    const QString dossierCourant = QDir::currentPath();
    QDir::setCurrent(QString::fromStdString(dossier.Chemin()));
    Choisir(dossier / "photo.jpeg");
    w->BoutonPhotoClick();
    QDir::setCurrent(dossierCourant);
    ASSERT_EQ(demandes.size(), 1u);
    EXPECT_EQ(demandes[0].filtre.toStdString(), "Images (*.jpg)");
    EXPECT_EQ(demandes[0].extensionDefaut.toStdString(), "jpg");
    EXPECT_EQ(demandes[0].dossier.toStdString(), dossier.Chemin() + "/");
    EXPECT_EQ(messages, (std::vector<std::string>{"La photo est enregistrée"}));
    EXPECT_FALSE(fs::exists(dossier / "tmp.bmp"));
    const Octets jpeg = LireOctets(dossier / "photo.jpeg.jpg");
    ASSERT_FALSE(jpeg.empty());
    tjhandle t = tjInitDecompress();
    int lj = 0, hj = 0, s = 0, c = 0;
    EXPECT_EQ(tjDecompressHeader3(t, jpeg.data(), (unsigned long)jpeg.size(), &lj, &hj, &s, &c), 0);
    tjDestroy(t);
    EXPECT_EQ(lj, l);
    EXPECT_EQ(hj, h);

    // A file that cannot be created: the error, and no empty file.
    messages.clear();
    Choisir(dossier / "absent/photo.jpg");
    w->BoutonPhotoClick();
    EXPECT_EQ(messages, (std::vector<std::string>{"Erreur de création de fichier"}));
    EXPECT_FALSE(fs::exists(dossier / "absent"));
}

TEST_F(Exports, MarquesEtExtraction)
{
    OptionsFilm o;
    o.nbImages = 100; // 10 s
    const std::string film = Film("cam1.mjp", o);
    ExportsFenetre* e = ExportsDe(w.get());
    EXPECT_EQ(e->Marques()->AbscisseDebut(), -1); // nothing drawn before a click

    // Equal marks: nothing happens.
    Choisir(dossier / "x.mjp");
    w->OxBouton3Click();
    EXPECT_TRUE(demandes.empty());
    EXPECT_TRUE(messages.empty());

    w->CurseurMinutes1->setValue(2);
    w->OxBouton1Click();
    w->CurseurMinutes1->setValue(6);
    w->OxBouton2Click();
    EXPECT_EQ(MarqueDebut, 2);
    EXPECT_EQ(MarqueFin, 6);
    EXPECT_EQ(w->OxBouton1->toolTip().toStdString(), "Début : 00:00:02");
    EXPECT_EQ(w->OxBouton2->toolTip().toStdString(), "Fin : 00:00:06");
    // Laid out and polished by the grab, as when shown: ticks where the
    // handle stands at each mark, in their colours.
    const QImage vue = w->CurseurMinutes1->grab().toImage();
    const int xd = e->Marques()->AbscisseDebut(), xf = e->Marques()->AbscisseFin();
    EXPECT_GT(xd, 0);
    EXPECT_GT(xf, xd);
    EXPECT_LT(xf, w->CurseurMinutes1->width());
    EXPECT_EQ(QColor(vue.pixel(xf, vue.height() - 2)), QColor(200, 0, 0));
    EXPECT_EQ(QColor(vue.pixel(xd, vue.height() - 2)), QColor(0, 160, 0));

    w->OxBouton3Click();
    ASSERT_EQ(demandes.size(), 1u);
    EXPECT_EQ(demandes[0].filtre.toStdString(), "Film (*.mjp)");
    EXPECT_EQ(demandes[0].extensionDefaut.toStdString(), "mjp");
    EXPECT_EQ(messages, (std::vector<std::string>{"Le fichier est généré"}));
    EnteteFilm en;
    EXPECT_EQ(LireEnteteFilm(dossier / "x.mjp", en), 0);
    EXPECT_EQ(en.DureeMs / 1000, 4u);

    // The new film opens in the player like a recorded one.
    messages.clear();
    Choisir(dossier / "x.mjp");
    w->BoutonSelectionClick();
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(DureeFilm, 4u);
}

// The save dialog asks before replacing the name chosen: the export does
// not ask again (only about a name it changed itself, ".avi" added).
TEST_F(Exports, UneSeuleQuestionDEcrasement)
{
    Film("cam.mjp");
    Choisir(dossier / "export.avi");
    w->BoutonAviClick();
    ASSERT_EQ(demandes.size(), 1u);
    EXPECT_EQ(demandes[0].extensionDefaut.toStdString(), "avi"); // the dialog asks about the real name
    EXPECT_EQ(messages, (std::vector<std::string>{"Le film est enregistré"}));
    EcrireOctets(dossier / "export.avi", Octets{1, 2, 3});
    messages.clear();
    reponse = ReponseMessage::Non;
    w->BoutonAviClick();
    EXPECT_EQ(messages, (std::vector<std::string>{"Le film est enregistré"}));
    EXPECT_GT(LireOctets(dossier / "export.avi").size(), 3u);
}

// Keys never stop an export: Space (the play key) and Enter reach neither
// "Annuler" nor the dialog; only a click cancels.
TEST_F(Exports, ToucheEspaceNAnnulePas)
{
    OptionsFilm o;
    o.nbImages = 40;
    Film("touches.mjp", o);
    Choisir(dossier / "touches.avi");
    ExportsFenetre* e = ExportsDe(w.get());
    e->suiviAjoute.crochetImage = [](unsigned char*, int32_t, int32_t, int32_t, int64_t) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    };
    int envois = 0;
    e->surProgression = [&](QProgressDialog* d) {
        QPushButton* annuler = d->findChild<QPushButton*>();
        ASSERT_NE(annuler, nullptr);
        EXPECT_EQ(annuler->focusPolicy(), Qt::NoFocus);
        std::vector<QWidget*> cibles{d, annuler};
        if (QWidget* f = d->focusWidget())
            cibles.push_back(f);
        for (QWidget* cible : cibles) {
            for (int touche : {int(Qt::Key_Space), int(Qt::Key_Return), int(Qt::Key_Enter)}) {
                QKeyEvent appui(QEvent::KeyPress, touche, Qt::NoModifier, touche == Qt::Key_Space ? " " : "\r");
                QKeyEvent relache(QEvent::KeyRelease, touche, Qt::NoModifier, touche == Qt::Key_Space ? " " : "\r");
                QApplication::sendEvent(cible, &appui);
                QApplication::sendEvent(cible, &relache);
                ++envois;
            }
        }
        EXPECT_FALSE(d->wasCanceled());
    };
    w->BoutonAviClick();
    EXPECT_GT(envois, 0);
    EXPECT_EQ(e->dernierBilan.resultat, ResultatAvi::Enregistre);
    EXPECT_EQ(messages, (std::vector<std::string>{"Le film est enregistré"}));
}

// A forced rate that is not a whole number of 1 to 1000 is refused before
// the save dialog, with the reason.
TEST_F(Exports, ForcerRefuseUneCadenceInvalide)
{
    Film("cadence.mjp");
    w->FlagForcerFR->setChecked(true);
    for (const char* faux : {"abc", "", "0", "1e3", "1001"}) {
        messages.clear();
        demandes.clear();
        w->EditFR->setText(QString::fromUtf8(faux));
        Choisir(dossier / "cadence.avi");
        w->BoutonAviClick();
        EXPECT_TRUE(demandes.empty()) << faux;
        ASSERT_EQ(messages.size(), 1u) << faux;
        EXPECT_NE(messages[0].find("de 1 à 1000"), std::string::npos) << messages[0];
    }
    EXPECT_FALSE(fs::exists(dossier / "cadence.avi"));
}

// From the window too: the film, a companion or what is not a plain file
// is refused with the reason and left as it was.
TEST_F(Exports, SortieRefuseeDansLaFenetre)
{
    OptionsFilm o;
    o.nbImages = 100;
    o.son = true;
    const std::string film = Film("cam1.mjp", o);
    const Octets avant = LireOctets(film), son = LireOctets(dossier / "cam1.pcm");
    MarqueDebut = 2;
    MarqueFin = 6;
    for (const std::string& cible : {film, dossier / "cam1.pcm", dossier / "cam1.msr"}) {
        messages.clear();
        Choisir(cible);
        w->OxBouton3Click();
        ASSERT_EQ(messages.size(), 1u);
        EXPECT_NE(messages[0].find("choisissez un autre nom"), std::string::npos) << messages[0];
    }
    EXPECT_EQ(LireOctets(film), avant);
    EXPECT_EQ(LireOctets(dossier / "cam1.pcm"), son);
    EXPECT_FALSE(fs::exists(dossier / "cam1.msr"));

    ASSERT_EQ(mkfifo((dossier / "tube.avi").c_str(), 0600), 0);
    ASSERT_EQ(mkfifo((dossier / "tube.jpg").c_str(), 0600), 0);
    messages.clear();
    Choisir(dossier / "tube.avi");
    w->BoutonAviClick();
    Choisir(dossier / "tube.jpg");
    w->BoutonPhotoClick();
    ASSERT_EQ(messages.size(), 2u);
    for (const std::string& m : messages)
        EXPECT_NE(m.find("pas un fichier ordinaire"), std::string::npos) << m;
    EXPECT_TRUE(fs::is_fifo(dossier / "tube.avi"));
    EXPECT_TRUE(fs::is_fifo(dossier / "tube.jpg"));
}

TEST(MarquesCalcul, AbscisseEtTexte)
{
    EXPECT_EQ(AbscisseMarque(0, 0, 100, 10, 510, 10), 15);
    EXPECT_EQ(AbscisseMarque(100, 0, 100, 10, 510, 10), 515);
    EXPECT_EQ(AbscisseMarque(50, 0, 100, 10, 510, 10), 265);
    EXPECT_EQ(TexteMarque(QStringLiteral("Fin"), 3725).toStdString(), "Fin : 01:02:05");
}

} // namespace

// Evidence: the save step's boxes (report remembered, date on for a dated
// film), the report beside each output, the snapshot's name and comment.
TEST_F(Exports, RapportEtDateDepuisLaFenetre)
{
    OptionsFilm o;
    o.nbImages = 20;
    o.dates = true;
    Film("preuve.mjp", o);
    FixerFichierReglages(QString::fromStdString(dossier / "reglages.conf"));
    std::vector<std::vector<CaseDialogue>> vues;
    std::vector<QString> noms;
    bool sansRapport = false;
    RemplacerGestionnaireDialogues([&](const DemandeFichier& d) {
        if (d.cases) {
            vues.push_back(*d.cases);
            for (CaseDialogue& c : *d.cases)
                if (c.libelle == QStringLiteral("Rapport d'intégrité") && sansRapport)
                    c.cochee = false;
        }
        noms.push_back(d.nomPropose);
        return choix;
    });
    auto verifier = [&](const std::string& liste) {
        return std::system(("cd '" + dossier.Chemin() + "' && sha256sum --quiet -c '" + liste + "' >/dev/null 2>&1")
                               .c_str()) == 0;
    };

    Choisir(dossier / "preuve.avi");
    w->BoutonAviClick();
    ASSERT_EQ(vues.size(), 1u);
    ASSERT_EQ(vues[0].size(), 2u);
    EXPECT_TRUE(vues[0][0].cochee);                           // "Rapport d'intégrité"
    EXPECT_EQ(vues[0][1].libelle.toStdString(), "Incruster la date");
    EXPECT_TRUE(vues[0][1].cochee);                           // the film has dates
    EXPECT_EQ(messages, (std::vector<std::string>{"Le film est enregistré"}));
    EXPECT_TRUE(verifier("preuve.avi.sha256"));
    const Octets rapport = LireOctets(dossier / "preuve.avi.rapport.txt");
    EXPECT_NE(std::string(rapport.begin(), rapport.end()).find("Date incrustée dans les images : oui"),
              std::string::npos);
    EXPECT_TRUE(w->SaveDialog1.Cases.empty()); // no boxes left for other dialogs

    // The report turned off: none written, and the choice remembered.
    sansRapport = true;
    messages.clear();
    Choisir(dossier / "sans.avi");
    w->BoutonAviClick();
    EXPECT_EQ(messages, (std::vector<std::string>{"Le film est enregistré"}));
    EXPECT_TRUE(fs::exists(dossier / "sans.avi"));
    EXPECT_FALSE(fs::exists(dossier / "sans.avi.sha256"));
    // The same name as a reported export: its old report goes.
    messages.clear();
    Choisir(dossier / "preuve.avi");
    w->BoutonAviClick();
    EXPECT_EQ(messages, (std::vector<std::string>{"Le film est enregistré"}));
    EXPECT_FALSE(fs::exists(dossier / "preuve.avi.sha256"));
    EXPECT_FALSE(fs::exists(dossier / "preuve.avi.rapport.txt"));
    sansRapport = false;
    Choisir(dossier / "extrait.mjp");
    MarqueDebut = 0;
    MarqueFin = 1;
    w->OxBouton3Click();
    ASSERT_EQ(vues.size(), 4u);
    ASSERT_EQ(vues[3].size(), 1u);
    EXPECT_FALSE(vues[3][0].cochee);
    EXPECT_FALSE(fs::exists(dossier / "extrait.mjp.sha256"));

    // Snapshot: the proposed name of the picture shown, its comment, its report.
    sansRapport = false;
    EcrireReglage(QString::fromLatin1(CleRapportIntegrite), true);
    messages.clear();
    Choisir(dossier / "photo.jpg");
    w->BoutonPhotoClick();
    EXPECT_EQ(noms.back().toStdString(), "preuve_12-05-2014_10-15-00.jpg");
    EXPECT_EQ(messages, (std::vector<std::string>{"La photo est enregistrée"}));
    const Octets jpeg = LireOctets(dossier / "photo.jpg");
    EXPECT_EQ(LireCommentaireJpeg(jpeg.data(), jpeg.size()),
              "Film : preuve.mjp ; date et heure : 12/05/2014 10:15:00 ; temps du film : 00:00:00.0");
    EXPECT_TRUE(verifier("photo.jpg.sha256"));
    FixerFichierReglages(QString());
}
