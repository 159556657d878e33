// Integrity reports: the hashes agree with sha256sum -c, odd names
// included; a report that cannot be written is a failure that leaves the
// output alone. (Other folders and protected films: test_preuves_exports.)
#include "commun/fichiers_essai.h"
#include "engine/fichierfilm.h"
#include "export/integrite.h"
#include "export/preuves.h"
#include "filmmaker.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

std::string LireTexte(const std::string& chemin)
{
    const Octets o = LireOctets(chemin);
    return std::string(o.begin(), o.end());
}

// Runs `sha256sum -c` on a list from inside `dossier`; true when every line
// checks.
bool VerifierSommes(const std::string& dossier, const std::string& liste)
{
    const std::string commande = "cd '" + dossier + "' && sha256sum --quiet -c '" + liste + "' >/dev/null 2>&1";
    return std::system(commande.c_str()) == 0;
}

std::string Film(const DossierTemporaire& d, const std::string& nom, OptionsFilm o = {})
{
    SilencerCodecs();
    o.nbImages = 12;
    const std::string chemin = d / nom;
    EXPECT_EQ(FabriquerFilm(chemin, o), 0);
    return chemin;
}

} // namespace

TEST(Integrite, HacheurEnMorceauxEgalAuCalculDUnSeulTenant)
{
    HacheurSha256 h;
    ASSERT_TRUE(h.Ajouter("a", 1));
    ASSERT_TRUE(h.Ajouter("bc", 2));
    EXPECT_EQ(h.OctetsVus(), 3);
    EXPECT_EQ(h.Terminer(), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(h.Terminer(), ""); // one digest per run
    h.Recommencer();
    EXPECT_EQ(h.Terminer(), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");

    DossierTemporaire d;
    Octets gros(3 * 1024 * 1024 + 17);
    for (size_t i = 0; i < gros.size(); ++i)
        gros[i] = static_cast<unsigned char>(i * 131 + (i >> 11));
    EcrireOctets(d / "gros.bin", gros);
    std::string hex;
    int64_t dernier = 0;
    ASSERT_EQ(Sha256Fichier(d / "gros.bin", hex, [&](int64_t n) { dernier = n; return true; }), 0);
    EXPECT_EQ(dernier, int64_t(gros.size()));
    HacheurSha256 entier;
    entier.Ajouter(gros.data(), gros.size());
    EXPECT_EQ(hex, entier.Terminer());
    EXPECT_EQ(Sha256Fichier(d / "gros.bin", hex, [](int64_t) { return false; }), -1);
    EXPECT_EQ(Sha256Fichier(d / "absent.bin", hex), -1);
    // The export's own digest of the source counts only for the whole file.
    HachageSource partiel(int64_t(gros.size()));
    partiel.Ajouter(gros.data(), 100);
    EXPECT_EQ(partiel.Resultat(), "");
    EXPECT_EQ(Sha256Fichier(d.Chemin(), hex), -1); // a folder is not hashed
}

TEST(Integrite, SortieACoteDuFilmAvecDatesEtCompagnonsVerifieeParSha256sum)
{
    DossierTemporaire d;
    OptionsFilm o;
    o.dates = true;
    o.son = true;
    o.mesures = true;
    const std::string film = Film(d, "film.mjp", o);
    EcrireOctets(d / "film.avi", Octets(5000, 7));

    InfosRapport r;
    r.genre = GenreExport::Avi;
    r.sortie.chemin = d / "film.avi";
    r.source.chemin = film;
    r.debutSecondes = 0;
    r.finSecondes = 1.2;
    r.premiereImage = 0;
    r.derniereImage = 11;
    r.dates = true;
    r.dateDebut = 41771.4270833333; // 12/05/2014 10:15:00
    r.dateFin = r.dateDebut + 1.2 / 86400;
    r.imagesParSeconde = 10;
    r.dateIncrustee = true;
    r.instant = 1700000000; // 14/11/2023 22:13:20 UTC
    ASSERT_EQ(EcrireRapportIntegrite(r), 0);

    const std::string sommes = LireTexte(d / "film.avi.sha256");
    EXPECT_NE(sommes.find("  film.avi\n"), std::string::npos) << sommes;
    EXPECT_NE(sommes.find("  film.mjp\n"), std::string::npos);
    EXPECT_NE(sommes.find("  film.hrd\n"), std::string::npos);
    EXPECT_NE(sommes.find("  film.pcm\n"), std::string::npos);
    EXPECT_NE(sommes.find("  film.msr\n"), std::string::npos);
    EXPECT_EQ(sommes.find("film.mdp"), std::string::npos);
    EXPECT_TRUE(VerifierSommes(d.Chemin(), "film.avi.sha256"));

    const std::string rapport = LireTexte(d / "film.avi.rapport.txt");
    for (const char* attendu :
         {"Export : Film AVI", "Version du lecteur : ", "14/11/2023 22:13:20 UTC", "heure locale",
          "Film source : ", "Taille : ", "Film protégé par mot de passe : non", "Fichier associé : ",
          "Début : 0.000 s (00:00:00.0)", "Fin : 1.200 s (00:00:01.2)", "Images : 0 à 11 (12 images)",
          "Date et heure du début : 12/05/2014 10:15:00", "Date et heure de la fin : 12/05/2014 10:15:01",
          "Cadence : 10.000 images par seconde", "Date incrustée dans les images : oui",
          "Fichier exporté : "}) {
        EXPECT_NE(rapport.find(attendu), std::string::npos) << attendu << "\n" << rapport;
    }
    EXPECT_NE(rapport.find(r.sortie.sha256), std::string::npos);
    EXPECT_NE(rapport.find(r.source.sha256), std::string::npos);

    // The copy changed afterwards no longer checks.
    EcrireOctets(d / "film.avi", Octets(5000, 8));
    EXPECT_FALSE(VerifierSommes(d.Chemin(), "film.avi.sha256"));
}

TEST(Integrite, NomsParticuliersEchappesCommeSha256sum)
{
    DossierTemporaire d;
    const std::string film = Film(d, "a\\b c.mjp");
    EcrireOctets(d / "sortie.avi", Octets(10, 2));
    InfosRapport r;
    r.sortie.chemin = d / "sortie.avi";
    r.source.chemin = film;
    ASSERT_EQ(EcrireRapportIntegrite(r), 0);
    EXPECT_EQ(LigneSomme("00", "a\\b\nc"), "\\00  a\\\\b\\nc\n");
    EXPECT_TRUE(VerifierSommes(d.Chemin(), "sortie.avi.sha256"));
}

TEST(Integrite, RapportImpossibleEchoueEtGardeLaSortie)
{
    DossierTemporaire d;
    const std::string film = Film(d, "film.mjp");
    const Octets contenu(64, 9);
    EcrireOctets(d / "film.avi", contenu);
    // A folder holds the report's name: it cannot be replaced by a file.
    std::filesystem::create_directory(d / "film.avi.rapport.txt");
    InfosRapport r;
    r.sortie.chemin = d / "film.avi";
    r.source.chemin = film;
    EXPECT_EQ(EcrireRapportIntegrite(r), -1);
    EXPECT_EQ(LireOctets(d / "film.avi"), contenu);
    EXPECT_FALSE(std::filesystem::exists(d / "film.avi.sha256")); // no half report

    // An unreadable source is a failure too, not a report without its hash.
    InfosRapport sansSource;
    sansSource.sortie.chemin = d / "film.avi";
    sansSource.source.chemin = d / "disparu.mjp";
    EXPECT_EQ(EcrireRapportIntegrite(sansSource), -1);
    EXPECT_NE(std::string(MessageRapportImpossible).find("conservé"), std::string::npos);

    // No film at all (a snapshot of the logo): the output alone.
    std::filesystem::remove(d / "film.avi.rapport.txt");
    InfosRapport seule;
    seule.genre = GenreExport::Photo;
    seule.sortie.chemin = d / "film.avi";
    ASSERT_EQ(EcrireRapportIntegrite(seule), 0);
    EXPECT_EQ(LireTexte(d / "film.avi.sha256"), LigneSomme(seule.sortie.sha256, "film.avi"));
    EXPECT_NE(LireTexte(d / "film.avi.rapport.txt").find("Film source : aucun"), std::string::npos);
}
