// Main window and film paths: long paths and their companions, files that
// are not regular files, the logos of a long program folder, and the film
// named on the command line loaded like a selected one.
#include "commun/fichiers_essai.h"
#include "fenetre_essai.h"
#include "core/boitemessage.h"
#include "core/demarrage.h"
#include "core/etat.h"
#include "engine/fichierfilm.h"
#include "filmmaker.h"
#include "ui/chemins_calcul.h"
#include "ui/dialogues.h"
#include "ui/image_etiree.h"
#include "ui/lecteurzr7_principale.h"
#include "ui/oxbouton.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QSlider>
#include <QTimer>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

class FenetreChemins : public EssaiFenetre
{
protected:
    void SetUp() override
    {
        EssaiFenetre::SetUp();
        o.nbImages = 10;
    }
    void Creer()
    {
        EssaiFenetre::Creer();
        w->FixerFenetresMesures(&m1, &m2);
    }
    std::string Dossier() const { return dossier.path().toStdString(); }
    std::string Dans(const std::string& nom) const { return Dossier() + "/" + nom; }

    OptionsFilm o;
    QWidget m1, m2;
};

// A 300-byte film path is loaded whole, its companions named from the whole
// path; one byte more is refused with a message and nothing is cut.
TEST_F(FenetreChemins, CheminsDeTroisCentsOctetsEtAuDela)
{
    Creer();
    const std::string profond = DossierDeLongueur(Dossier(), 300 - 8);
    ASSERT_FALSE(profond.empty());
    o.dates = o.son = o.mesures = true;
    const std::string juste = profond + "cam1.mjp";
    ASSERT_EQ(juste.size(), 300u);
    ASSERT_EQ(FabriquerFilm(juste, o), 0);
    Selectionner(juste);
    EXPECT_TRUE(messages.empty());
    EXPECT_STREQ(CheminFilm, juste.c_str());
    EXPECT_TRUE(w->BoutonPlay1->Enabled());
    EXPECT_STREQ(Voies[0].CheminSon, NomCompagnon(juste, "pcm").c_str());
    EXPECT_TRUE(w->BoutonSonOn1->Visible());
    EXPECT_EQ(Voies[0].FlagMesuresPresentes, 1);
    EXPECT_EQ(FlagDatesFilm, 1);

    const std::string trop = profond + "cam12.mjp";
    ASSERT_EQ(FabriquerFilm(trop, o), 0);
    Selectionner(trop);
    EXPECT_EQ(messages, std::vector<std::string>{"Erreur d'ouverture de fichier"});
    EXPECT_STREQ(CheminFilm, juste.c_str());
    EXPECT_STREQ(Voies[0].CheminSon, NomCompagnon(juste, "pcm").c_str());
}

// Chaining between hourly films of 300-byte paths names the next film's
// sound from its whole path too.
TEST_F(FenetreChemins, EnchainementDeCheminsDeTroisCentsOctets)
{
    Creer();
    const std::string base = DossierDeLongueur(Dossier(), 300 - 23);
    ASSERT_FALSE(base.empty());
    o.son = true;
    const std::string premier = base + "10/12-05-2014-10-59.mjp";
    const std::string suivant = base + "11/12-05-2014-11-00.mjp";
    ASSERT_EQ(suivant.size(), 300u);
    ASSERT_EQ(FabriquerFilm(premier, o), 0);
    ASSERT_EQ(FabriquerFilm(suivant, o), 0);
    Selectionner(premier);
    ASSERT_TRUE(w->FlagEnchainer->isChecked());
    w->BoutonPlay1Click();
    Voies[0].FlagFinDeFilm = 1;
    w->TimerAffichageTimer();
    EXPECT_STREQ(CheminFilm, suivant.c_str());
    EXPECT_STREQ(Voies[0].CheminSon, NomCompagnon(suivant, "pcm").c_str());
    EXPECT_EQ(Voies[0].FlagLecture, 1);
}

// A FIFO, a folder or a device named like a film is refused with the
// opening message, at once; chaining never moves onto one.
TEST_F(FenetreChemins, FichiersQuiNeSontPasDesFichiersOrdinaires)
{
    Creer();
    ASSERT_EQ(mkfifo((Dans("f.mjp")).c_str(), 0600), 0);
    ASSERT_EQ(mkdir((Dans("d.mp4")).c_str(), 0700), 0);
    ASSERT_EQ(symlink("/dev/zero", (Dans("z.264")).c_str()), 0);
    alarm(60);  // a blocked open ends the program instead of passing
    for (const char* nom : {"f.mjp", "d.mp4", "z.264"}) {
        messages.clear();
        Selectionner(Dans(nom));
        EXPECT_EQ(messages, std::vector<std::string>{"Erreur d'ouverture de fichier"}) << nom;
    }
    alarm(0);

    const std::string heure = Dans("10/");
    ASSERT_EQ(FabriquerFilm(heure + "12-05-2014-10-15.mjp", o), 0);
    ASSERT_EQ(mkfifo((heure + "12-05-2014-10-16.mjp").c_str(), 0600), 0);
    Selectionner(heure + "12-05-2014-10-15.mjp");
    EXPECT_FALSE(w->NextFilmName());
    EXPECT_STREQ(CheminFilm, (heure + "12-05-2014-10-15.mjp").c_str());
}

// The film named on the command line gets, at the end of the splash, what a
// selected one gets: dates, sound and measure companions, chaining, and the
// password typed in the field.
TEST_F(FenetreChemins, FilmDeLaLigneDeCommandeChargeCommeUneSelection)
{
    o.dates = o.son = o.mesures = true;
    const std::string film = Dans("10/12-05-2014-10-15.mjp");
    ASSERT_EQ(FabriquerFilm(film, o), 0);
    AnalyserLigneCommande(film);
    ASSERT_STREQ(CheminFilm, film.c_str());
    Creer();
    ASSERT_TRUE(w->TimerPlay->isActive());  // no logos: one step
    {
        const QSignalBlocker bloque(w->MotDePasse);
        w->MotDePasse->setText(QStringLiteral("secret"));
    }
    w->TimerPlayTimer();
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(FlagDatesFilm, 1);
    EXPECT_EQ(w->NomDeLaSequence1->text().toStdString(), "12/05/2014 10:15:00");
    EXPECT_STREQ(Voies[0].CheminSon, NomCompagnon(film, "pcm").c_str());
    EXPECT_TRUE(w->BoutonSonOn1->Visible());
    EXPECT_EQ(Voies[0].FlagMesuresPresentes, 1);
    EXPECT_TRUE(m1.isVisible());
    EXPECT_TRUE(w->FlagEnchainer->isChecked());
    EXPECT_STREQ(MotDePasseFilm, "secret");
    EXPECT_TRUE(w->TimerPlay2->isActive());

    // A film gone before the end of the splash leaves no film, silently.
    ReinitialiserEtat();
    AnalyserLigneCommande(film);
    Creer();
    std::remove(film.c_str());
    w->TimerPlayTimer();
    EXPECT_TRUE(messages.empty());
    EXPECT_FALSE(w->BoutonPlay1->Enabled());
    EXPECT_FALSE(w->TimerPlay2->isActive());
}

// Logos are looked for in the whole program folder only: a folder that
// fills DossierProgramme may have been cut, and its logos count as missing.
TEST_F(FenetreChemins, LogosDUnDossierQuiNeTientPas)
{
    std::string chemin;
    EXPECT_TRUE(CheminLogo("/opt/zr7/", "logo1.jpg", chemin));
    EXPECT_EQ(chemin, "/opt/zr7/logo1.jpg");
    EXPECT_FALSE(CheminLogo(std::string(LongueurDossier, 'd').c_str(), "logo1.jpg", chemin));
    EXPECT_TRUE(chemin.empty());
    EXPECT_FALSE(CheminLogo("", "logo1.jpg", chemin));

    // Logos in a folder of 200 bytes: the film comes without a splash logo.
    const std::string plein = DossierDeLongueur(Dossier(), LongueurDossier);
    ASSERT_FALSE(plein.empty());
    ASSERT_EQ(EcrireLogos(plein), 0);
    CopierTexte(DossierProgramme, sizeof DossierProgramme, plein.c_str());
    ASSERT_EQ(FabriquerFilm(Dans("lance.mjp"), o), 0);
    AnalyserLigneCommande(Dans("lance.mjp"));
    Creer();
    EXPECT_FALSE(w->TimerPub->isActive());
    EXPECT_TRUE(w->Image1->Picture().isNull() || w->Image1->Picture().size() == QSize(160, 120));

    // One byte shorter, the logos are found.
    const std::string court = DossierDeLongueur(Dossier() + "/c", LongueurDossier - 1);
    ASSERT_FALSE(court.empty());
    ASSERT_EQ(EcrireLogos(court), 0);
    CopierTexte(DossierProgramme, sizeof DossierProgramme, court.c_str());
    Creer();
    EXPECT_TRUE(w->TimerPub->isActive());
}

} // namespace
