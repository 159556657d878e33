// lecteurzr7 --chercher-mouvement: its output lines (with and without the
// film's dates), a film where nothing moves, and its errors.
#include "export/commande_mouvement.h"
#include "export/ligne_commande.h"

#include "commun/fichiers_essai.h"
#include "engine/films_mouvement.h"
#include "engine/fichierfilm.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>

#include <sys/wait.h>

namespace {

struct Resultat {
    bool traitee = false;
    int statut = -1;
    std::string sortie, erreurs;
};

std::string Relire(std::FILE* f)
{
    std::string texte;
    std::rewind(f);
    char tampon[4096];
    size_t n;
    while ((n = std::fread(tampon, 1, sizeof tampon, f)) > 0)
        texte.append(tampon, n);
    std::fclose(f);
    return texte;
}

Resultat Lancer(std::vector<std::string> args)
{
    args.insert(args.begin(), "lecteurzr7");
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    Resultat r;
    std::FILE* sortie = std::tmpfile();
    std::FILE* erreurs = std::tmpfile();
    r.traitee = ExecuterCommandeMouvement(static_cast<int>(args.size()), argv.data(), &r.statut, sortie, erreurs);
    r.sortie = Relire(sortie);
    r.erreurs = Relire(erreurs);
    return r;
}

std::vector<std::string> Lignes(const std::string& texte)
{
    std::vector<std::string> l;
    std::istringstream in(texte);
    for (std::string x; std::getline(in, x);)
        l.push_back(x);
    return l;
}

class CommandeMouvement : public testing::Test
{
protected:
    void SetUp() override
    {
        if (!FfmpegPresent())
            GTEST_SKIP() << "ffmpeg is not installed: the films cannot be made here";
        ASSERT_TRUE(dossier.Pret());
        RectangleScene(scene, rx, ry, rl, rh);
    }
    std::vector<std::string> Arguments(const std::string& film) const
    {
        return {"--chercher-mouvement", film, std::to_string(rx), std::to_string(ry), std::to_string(rl),
                std::to_string(rh)};
    }
    DossierTemporaire dossier;
    SceneMouvement scene;
    int rx = 0, ry = 0, rl = 0, rh = 0;
};

TEST_F(CommandeMouvement, OneLinePerMomentWithTheDateWhenTheFilmHasIt)
{
    scene.dureeS = 14;
    scene.boites = {{3, 5, rx + 10, ry + 40, rx + 200, ry + 60, 40},
                    {6, 8, 10, 40, 200, 60, 40},  // outside
                    {10, 12, rx + 200, ry + 100, rx + 20, ry + 20, 40}};
    const std::string film = dossier / "deux.264";
    ASSERT_EQ(FabriquerFilmScene(scene, film), 0);

    Resultat r = Lancer(Arguments(film));
    ASSERT_TRUE(r.traitee);
    EXPECT_EQ(r.statut, SortieReussie) << r.erreurs;
    EXPECT_EQ(r.erreurs, "");  // not a terminal: no progress line
    std::vector<std::string> l = Lignes(r.sortie);
    ASSERT_EQ(l.size(), 2u) << r.sortie;
    const double attendus[2][2] = {{3, 5}, {10, 12}};
    for (size_t i = 0; i < 2; ++i) {
        double debut = -1, fin = -1;
        char reste = 0;
        ASSERT_EQ(std::sscanf(l[i].c_str(), "%lf %lf%c", &debut, &fin, &reste), 2) << l[i];
        EXPECT_NEAR(debut, attendus[i][0], 0.45) << l[i];
        EXPECT_NEAR(fin, attendus[i][1], 0.65) << l[i];
        // Two decimals.
        const size_t point = l[i].find('.');
        ASSERT_NE(point, std::string::npos);
        EXPECT_EQ(l[i].find(' '), point + 3) << l[i];
    }

    // With the dates: 12/05/2014 10:15:00 to 10:15:14, one second a second.
    const double debutJours = 41771 + (10 * 3600 + 15 * 60) / 86400.0;
    ASSERT_EQ(EcrireDatesFilm(film, debutJours, debutJours + 14 / 86400.0), 0);
    r = Lancer(Arguments(film));
    EXPECT_EQ(r.statut, SortieReussie);
    l = Lignes(r.sortie);
    ASSERT_EQ(l.size(), 2u);
    int jour = 0, mois = 0, annee = 0, h = 0, m = 0, s = 0;
    double debut = 0, fin = 0;
    ASSERT_EQ(std::sscanf(l[1].c_str(), "%lf %lf %d/%d/%d %d:%d:%d", &debut, &fin, &jour, &mois, &annee, &h, &m, &s),
              8)
        << l[1];
    EXPECT_EQ(jour * 10000 + mois * 100 + annee % 100, 120514);
    EXPECT_EQ(h * 3600 + m * 60 + s, 10 * 3600 + 15 * 60 + static_cast<int>(debut));

    // The line itself, computed.
    EXPECT_EQ(LigneMoment({3.456, 5.0}, false, 0, 0, 14), "3.46 5.00");
    EXPECT_EQ(LigneMoment({7.0, 9.5}, true, debutJours, debutJours + 14 / 86400.0, 14),
              "7.00 9.50 12/05/2014 10:15:07");
}

TEST_F(CommandeMouvement, NothingMovingPrintsNothingAndSucceeds)
{
    scene.dureeS = 6;
    scene.boites = {{2, 4, 10, 40, 200, 60, 40}};  // outside only
    const std::string film = dossier / "calme.mjp";
    ASSERT_EQ(FabriquerFilmScene(scene, film), 0);
    std::vector<std::string> a = Arguments(film);
    a.push_back("--sensibilite");
    a.push_back("9");
    const Resultat r = Lancer(a);
    EXPECT_EQ(r.statut, SortieReussie) << r.erreurs;
    EXPECT_EQ(r.sortie, "");
    EXPECT_EQ(r.erreurs, "");
}

TEST_F(CommandeMouvement, ErrorsAsTheOtherCommandLines)
{
    scene.dureeS = 3;
    const std::string film = dossier / "court.264";
    ASSERT_EQ(FabriquerFilmScene(scene, film), 0);

    // Not this command: nothing done.
    EXPECT_FALSE(Lancer({"--avi", film, "x.avi"}).traitee);
    EXPECT_FALSE(Lancer({film}).traitee);

    // Bad arguments: status 2 and the usage.
    const std::vector<std::vector<std::string>> mauvais = {
        {"--chercher-mouvement"},
        {"--chercher-mouvement", film, "1", "2", "3"},
        {"--chercher-mouvement", film, "1", "2", "3", "4", "5"},
        {"--chercher-mouvement", film, "a", "2", "3", "4"},
        {"--chercher-mouvement", film, "-1", "2", "3", "4"},
        {"--chercher-mouvement", film, "1", "2", "0", "4"},
        {"--chercher-mouvement", film, "1", "2", "3", "4.5"},
        {"--chercher-mouvement", film, "1", "2", "3", "4", "--sensibilite", "0"},
        {"--chercher-mouvement", film, "1", "2", "3", "4", "--sensibilite", "11"},
        {"--chercher-mouvement", film, "1", "2", "3", "4", "--sensibilite", "fort"},
    };
    for (const auto& a : mauvais) {
        const Resultat r = Lancer(a);
        EXPECT_EQ(r.statut, SortieUsage) << a.size() << " " << a.back();
        EXPECT_NE(r.erreurs.find("Arguments invalides pour --chercher-mouvement"), std::string::npos) << r.erreurs;
        EXPECT_NE(r.erreurs.find("Usage"), std::string::npos);
        EXPECT_EQ(r.sortie, "");
    }

    // A rectangle outside the 640 x 360 picture: status 2, the size told.
    Resultat r = Lancer({"--chercher-mouvement", film, "700", "10", "20", "20"});
    EXPECT_EQ(r.statut, SortieUsage);
    EXPECT_NE(r.erreurs.find("en dehors de l'image (640 x 360)"), std::string::npos) << r.erreurs;

    // No film, not a film, an empty film: status 4, as the other commands.
    r = Lancer({"--chercher-mouvement", dossier / "absent.264", "0", "0", "10", "10"});
    EXPECT_EQ(r.statut, SortieFilmIllisible);
    EXPECT_NE(r.erreurs.find("Erreur d'ouverture de fichier"), std::string::npos) << r.erreurs;
    const std::string texte = dossier / "notes.txt";
    EcrireOctets(texte, Octets(100, 'a'));
    r = Lancer({"--chercher-mouvement", texte, "0", "0", "10", "10"});
    EXPECT_EQ(r.statut, SortieFilmIllisible);
    EXPECT_NE(r.erreurs.find("n'est pas un film lisible"), std::string::npos) << r.erreurs;
    const std::string vide = dossier / "vide.264";
    EcrireOctets(vide, Octets(8, 0));
    r = Lancer({"--chercher-mouvement", vide, "0", "0", "10", "10"});
    EXPECT_EQ(r.statut, SortieFilmIllisible);
}

#ifdef LECTEUR_ZR7
TEST_F(CommandeMouvement, TheProgramRunsItWithoutAWindow)
{
    scene.dureeS = 3;
    const std::string film = dossier / "court.264";
    ASSERT_EQ(FabriquerFilmScene(scene, film), 0);
    const std::string cmd = std::string("env -u DISPLAY QT_QPA_PLATFORM=none '") + LECTEUR_ZR7 +
                            "' --chercher-mouvement '" + film + "' 10 10 100 100 > '" + dossier / "sortie.txt" +
                            "' 2>&1";
    const int s = std::system(cmd.c_str());
    ASSERT_TRUE(WIFEXITED(s));
    EXPECT_EQ(WEXITSTATUS(s), 0);
    EXPECT_TRUE(LireOctets(dossier / "sortie.txt").empty());
    const std::string mauvais = std::string("'") + LECTEUR_ZR7 + "' --chercher-mouvement '" + film +
                                "' 10 10 > /dev/null 2>&1";
    const int m = std::system(mauvais.c_str());
    ASSERT_TRUE(WIFEXITED(m));
    EXPECT_EQ(WEXITSTATUS(m), 2);
    // Listed by the program's help.
    const std::string aide = dossier / "aide.txt";
    ASSERT_EQ(std::system(("'" + std::string(LECTEUR_ZR7) + "' --help > '" + aide + "'").c_str()), 0);
    const Octets texte = LireOctets(aide);
    EXPECT_NE(std::string(texte.begin(), texte.end()).find("--chercher-mouvement FILM X Y L H"), std::string::npos);
}
#endif

} // namespace
