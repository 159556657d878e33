// The "Copie exacte" button of the main window, offscreen, with the message
// and file dialog seams: the container proposed for each film kind, the
// marks making a segment, the report, cancel from the progress dialog.
#include "outils_export.h"

#include "core/boitemessage.h"
#include "core/etat.h"
#include "export/extraction.h"
#include "ui/copie_fenetre.h"
#include "ui/dialogues.h"
#include "ui/exports_fenetre.h"
#include "ui/lecteurzr7_principale.h"
#include "ui/oxbouton.h"

#include <QApplication>
#include <QFrame>
#include <QKeyEvent>
#include <QProgressDialog>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

#include <filesystem>

namespace fs = std::filesystem;

namespace {

class CopieFenetreTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ReinitialiserEtat();
        MarqueDebut = MarqueFin = 0;
        CopierTexte(DossierProgramme, sizeof DossierProgramme, (dossier.Chemin() + "/").c_str());
        RemplacerGestionnaireMessages([this](const DemandeMessage& d) {
            messages.push_back(d.texte);
            return d.ouiNon ? ReponseMessage::Oui : ReponseMessage::Ok;
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
    std::string Film(const std::string& nom, int nbImages = 30)
    {
        OptionsFilm o;
        o.nbImages = nbImages;
        o.son = o.dates = true;
        const std::string chemin = dossier / nom;
        EXPECT_EQ(FabriquerFilm(chemin, o), 0);
        choix = QString::fromStdString(chemin);
        w->BoutonSelectionClick();
        messages.clear();
        demandes.clear();
        return chemin;
    }

    DossierTemporaire dossier;
    std::unique_ptr<TLecteurZR7_Principale> w;
    std::vector<std::string> messages;
    std::vector<DemandeFichier> demandes;
    QString choix;
};

} // namespace

TEST_F(CopieFenetreTest, BoutonAvecSaBulleEtSonImage)
{
    ASSERT_NE(w->BoutonCopie, nullptr);
    EXPECT_EQ(w->BoutonCopie->parentWidget(), w->BoutonAvi->parentWidget());
    EXPECT_TRUE(w->BoutonCopie->toolTip().startsWith(QStringLiteral("Copie exacte")));
    // Nothing shown over another control of the play block.
    for (QWidget* autre : w->BlocLecture1->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
        if (autre != w->BoutonCopie && !autre->isHidden()) {
            EXPECT_FALSE(autre->geometry().intersects(w->BoutonCopie->geometry()))
                << autre->metaObject()->className();
        }
    }
    const QImage icone = IconeCopieExacte().toImage();
    EXPECT_EQ(icone.size(), QSize(16, 16));
    int encre = 0;
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x)
            encre += icone.pixelColor(x, y).alpha() > 128;
    EXPECT_GT(encre, 60);
    EXPECT_LT(encre, 256 - 30); // a picture, not a filled square
    // No film open: said, nothing asked.
    w->BoutonCopieClick();
    EXPECT_TRUE(demandes.empty());
    EXPECT_EQ(messages, (std::vector<std::string>{"Aucun film n'est ouvert"}));
}

TEST_F(CopieFenetreTest, ConteneurProposeEtSegmentDesMarques)
{
    const std::string film = Film("cam.mjp");
    // Marks at seconds 1 and 2 of a 3-second film at 10 pictures/s.
    w->CurseurMinutes1->setValue(1);
    w->OxBouton1Click();
    w->CurseurMinutes1->setValue(2);
    w->OxBouton2Click();
    choix = QString::fromStdString(dossier / "extrait");
    w->BoutonCopieClick();
    ASSERT_EQ(demandes.size(), 1u);
    EXPECT_TRUE(demandes[0].filtre.startsWith(QStringLiteral("Film Matroska (*.mkv)")));
    EXPECT_EQ(demandes[0].nomPropose.toStdString(), "cam.mkv");
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], "La copie exacte est enregistrée : 10 images, début réel 00:00:01 (image 10), avec le son");
    EXPECT_EQ(NumerosDecodes(dossier / "extrait.mkv", 320, 240),
              (std::vector<int>{10, 11, 12, 13, 14, 15, 16, 17, 18, 19}));
    EXPECT_TRUE(fs::exists(dossier / "extrait.mkv.sha256"));
    EXPECT_TRUE(fs::exists(dossier / "extrait.mkv.rapport.txt"));

    Film("cam.264");
    w->BoutonCopieClick();
    ASSERT_EQ(demandes.size(), 1u);
    EXPECT_TRUE(demandes[0].filtre.startsWith(QStringLiteral("Film MP4 (*.mp4)")));
    EXPECT_EQ(demandes[0].extensionDefaut.toStdString(), "mp4");
}

TEST_F(CopieFenetreTest, AnnulerNeLaissePasDeFichier)
{
    // A long film made quickly: a small film's body repeated (each
    // repetition starts on a key picture), opened by the window.
    const std::string petit = Film("motif.264", 10);
    const Octets motif = LireOctets(petit);
    const uint32_t repetitions = 3000;
    Octets long_ = {uint8_t(repetitions * 10), uint8_t(repetitions * 10 >> 8), 0, 0};
    const uint32_t ms = repetitions * 1000;
    long_.insert(long_.end(), {uint8_t(ms), uint8_t(ms >> 8), uint8_t(ms >> 16), uint8_t(ms >> 24)});
    for (uint32_t i = 0; i < repetitions; ++i)
        long_.insert(long_.end(), motif.begin() + 8, motif.end());
    EcrireOctets(dossier / "long.264", long_);
    choix = QString::fromStdString(dossier / "long.264");
    w->BoutonSelectionClick();
    messages.clear();
    demandes.clear();
    choix = QString::fromStdString(dossier / "copie.mp4");
    CopieFenetre* c = CopieDe(w.get());
    c->surProgression = [](QProgressDialog* d) {
        QPushButton* annuler = d->findChild<QPushButton*>();
        ASSERT_NE(annuler, nullptr);
        EXPECT_EQ(annuler->text().toStdString(), "Annuler");
        // Space (the play key) and Enter do not cancel; only a click does.
        for (QWidget* cible : {static_cast<QWidget*>(d), static_cast<QWidget*>(annuler)}) {
            for (int touche : {int(Qt::Key_Space), int(Qt::Key_Return), int(Qt::Key_Enter)}) {
                QKeyEvent appui(QEvent::KeyPress, touche, Qt::NoModifier, touche == Qt::Key_Space ? " " : "\r");
                QKeyEvent relache(QEvent::KeyRelease, touche, Qt::NoModifier, touche == Qt::Key_Space ? " " : "\r");
                QApplication::sendEvent(cible, &appui);
                QApplication::sendEvent(cible, &relache);
            }
        }
        EXPECT_FALSE(d->wasCanceled());
        annuler->click();
    };
    w->BoutonCopieClick();
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(c->dernierBilan.resultat, ResultatCopie::Annulee);
    EXPECT_LT(c->dernierBilan.images, int64_t(repetitions) * 10);
    EXPECT_FALSE(fs::exists(dossier / "copie.mp4"));
    EXPECT_FALSE(QApplication::overrideCursor());
}
