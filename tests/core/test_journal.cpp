// Diagnostic logs: switch, line format, cut-back to the exact tail, and
// silent failure on a read-only log.
#include "core/etat.h"
#include "core/dossier_utilisateur.h"
#include "core/journal.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <regex>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string Lire(const std::string& chemin)
{
    std::ifstream f(chemin, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), {});
}

bool Existe(const std::string& chemin)
{
    struct stat st;
    return stat(chemin.c_str(), &st) == 0;
}

class Journaux : public ::testing::Test
{
protected:
    std::string dossier;
    void SetUp() override
    {
        char modele[] = "/tmp/zr7journalXXXXXX";
        ASSERT_NE(mkdtemp(modele), nullptr);
        dossier = std::string(modele) + "/";
        CopierTexte(DossierProgramme, sizeof DossierProgramme, dossier.c_str());
        FlagJournalMagneto = FlagJournalMagnetoSon = FlagJournalAudio = 1;
    }
    void TearDown() override
    {
        FlagJournalMagneto = FlagJournalMagnetoSon = FlagJournalAudio = 0;
        std::system(("rm -rf '" + dossier + "'").c_str());
    }
    // A log of exactly n bytes whose content tells each position apart.
    static void Remplir(const std::string& chemin, size_t n)
    {
        std::string s(n, ' ');
        for (size_t i = 0; i < n; ++i)
            s[i] = static_cast<char>('a' + (i * 7 + i / 26) % 26);
        std::ofstream(chemin, std::ios::binary) << s;
    }
};

} // namespace

TEST_F(Journaux, EteintNEcritRien)
{
    FlagJournalMagneto = 0;
    EcrireJournal(Journal::Magneto, 0, "rien");
    EXPECT_FALSE(Existe(dossier + "Magneto.log"));
}

TEST_F(Journaux, LigneDateeTermineeParCRLF)
{
    EcrireJournal(Journal::MagnetoSon, 2, "Décode = 0 (1, 2) : 3");
    const std::string contenu = Lire(dossier + "MagnetoSon2.log");
    EXPECT_TRUE(std::regex_match(contenu, std::regex(R"(\d\d/\d\d/\d{4} \d\d:\d\d:\d\d Décode = 0 \(1, 2\) : 3\r\n)")))
        << contenu;
    EcrireJournal(Journal::MagnetoSon, 2, "deuxième");
    EXPECT_NE(Lire(dossier + "MagnetoSon2.log").find("deuxième\r\n"), std::string::npos);
}

TEST_F(Journaux, NomsEtLimitesDesTroisJournaux)
{
    const ParametresJournal m = ParametresDuJournal(Journal::Magneto, 0);
    const ParametresJournal s = ParametresDuJournal(Journal::MagnetoSon, 1);
    const ParametresJournal a = ParametresDuJournal(Journal::Audio, 0);
    EXPECT_EQ(std::string(m.fichier), dossier + "Magneto.log");
    EXPECT_EQ(std::string(s.temporaire), dossier + "MagnetoSon1.tmp");
    EXPECT_EQ(std::string(a.fichier), dossier + "Audio-0.log");
    EXPECT_EQ(m.limite, 1500000);
    EXPECT_EQ(m.garde, 1000000);
    EXPECT_EQ(a.limite, 150000);
    EXPECT_EQ(a.garde, 100000);
}

TEST_F(Journaux, CoupeGardeExactementLaFin)
{
    for (Journal j : {Journal::Magneto, Journal::Audio}) {
        const ParametresJournal p = ParametresDuJournal(j, 0);
        Remplir(p.fichier, static_cast<size_t>(p.limite));
        const std::string avant = Lire(p.fichier);
        EcrireJournal(j, 0, "ligne qui fait deborder");
        const std::string apres = Lire(p.fichier);
        ASSERT_EQ(apres.size(), static_cast<size_t>(p.garde));
        // The new log is the tail of the old content followed by the new
        // line (date, space, text, CRLF), byte for byte.
        const std::string texte = "ligne qui fait deborder\r\n";
        const std::string ligne = apres.substr(apres.size() - texte.size() - 20);
        ASSERT_EQ(ligne.substr(20), texte);
        const std::string complet = avant + ligne;
        EXPECT_EQ(apres, complet.substr(complet.size() - static_cast<size_t>(p.garde)));
        EXPECT_FALSE(Existe(p.temporaire));
    }
}

TEST_F(Journaux, SousLaLimiteRienNEstCoupe)
{
    const ParametresJournal p = ParametresDuJournal(Journal::Audio, 0);
    Remplir(p.fichier, 1000);
    EcrireJournal(Journal::Audio, 0, "x");
    EXPECT_GT(Lire(p.fichier).size(), 1000u);
    EXPECT_LT(Lire(p.fichier).size(), 1100u);
}

TEST_F(Journaux, JournalEnLectureSeuleIntact)
{
    const ParametresJournal p = ParametresDuJournal(Journal::Magneto, 0);
    Remplir(p.fichier, 500);
    ASSERT_EQ(chmod(p.fichier, 0444), 0);
    const std::string avant = Lire(p.fichier);
    EcrireJournal(Journal::Magneto, 0, "ne doit pas apparaitre");
    EXPECT_EQ(Lire(p.fichier), avant);
    chmod(p.fichier, 0644);
}

TEST_F(Journaux, InstalleLesJournauxVontDansLeDossierDeLUtilisateur)
{
    const std::string etat = dossier + "etat";
    const char* ancien = std::getenv("XDG_STATE_HOME");
    const std::string sauve = ancien ? ancien : "";
    setenv("XDG_STATE_HOME", etat.c_str(), 1);

    // From its build folder the player writes beside itself.
    EXPECT_TRUE(DossierProgrammeModifiable(dossier));
    EXPECT_EQ(std::string(ParametresDuJournal(Journal::Magneto, 0).fichier), dossier + "Magneto.log");
    EXPECT_FALSE(Existe(etat));

    // Installed: the marker sends every log to the user's state folder,
    // root included, and nothing is added to the program folder.
    std::ofstream(dossier + MarqueInstallation) << "installé";
    EXPECT_FALSE(DossierProgrammeModifiable(dossier));
    EcrireJournal(Journal::Magneto, 0, "installé");
    EcrireJournal(Journal::Audio, 2, "installé");
    EXPECT_TRUE(Existe(etat + "/lecteurzr7/Magneto.log"));
    EXPECT_TRUE(Existe(etat + "/lecteurzr7/Audio-2.log"));
    EXPECT_FALSE(Existe(dossier + "Magneto.log"));
    EXPECT_FALSE(Existe(dossier + "Audio-2.log"));
    struct stat st;
    ASSERT_EQ(stat((etat + "/lecteurzr7").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);

    // A folder that cannot be written counts as installed; without a usable
    // user folder the logs stay where they were (and fail silently).
    EXPECT_FALSE(DossierProgrammeModifiable(dossier + "absent/"));
    EXPECT_FALSE(DossierProgrammeModifiable(""));
    setenv("XDG_STATE_HOME", "relatif", 1);
    const char* maison = std::getenv("HOME");
    const std::string sauveMaison = maison ? maison : "";
    unsetenv("HOME");
    EXPECT_EQ(DossierEtatUtilisateur(), "");
    EXPECT_EQ(DossierDesJournaux(dossier), dossier);
    setenv("HOME", (dossier + "maison").c_str(), 1);
    EXPECT_EQ(DossierEtatUtilisateur(), dossier + "maison/.local/state/lecteurzr7/");

    if (maison)
        setenv("HOME", sauveMaison.c_str(), 1);
    if (ancien)
        setenv("XDG_STATE_HOME", sauve.c_str(), 1);
    else
        unsetenv("XDG_STATE_HOME");
}
