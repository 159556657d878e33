#include "export/commande_mouvement.h"
#include "export/ligne_progression.h"

#include "engine/fichierfilm.h"
#include "engine/recherche_mouvement.h"
#include "export/incrustation.h"
#include "export/ligne_commande.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include <unistd.h>

extern "C" {
#include <libavutil/log.h>
}

namespace {

constexpr const char* Commande = "--chercher-mouvement";
const char* const Usage =
    "Usage : lecteurzr7 --chercher-mouvement FILM X Y L H [--sensibilite S] [--mot-de-passe MDP]\n"
    "  cherche le mouvement dans le rectangle X Y L H (pixels de l'image : gauche,\n"
    "  haut, largeur, hauteur) ; S de 1 (peu sensible) à 10 (très sensible),\n"
    "  5 par défaut. Une ligne par moment : DEBUT_S FIN_S en secondes du film,\n"
    "  puis la date et l'heure du début quand le film a ses dates (.hrd).\n";


// A whole number within [min, max], nothing else.
bool LireEntier(const char* texte, long min, long max, int* v)
{
    if (!texte || !*texte)
        return false;
    errno = 0;
    char* fin = nullptr;
    const long n = std::strtol(texte, &fin, 10);
    if (errno != 0 || *fin != '\0' || n < min || n > max)
        return false;
    *v = static_cast<int>(n);
    return true;
}

int Chercher(int argc, char** argv, std::FILE* sortie, std::FILE* erreurs)
{
    ParametresRecherche p;
    int positionnels = 0;
    int valeurs[4] = {0, 0, 0, 0};
    bool valide = true;
    for (int i = 2; i < argc && valide; ++i) {
        const std::string a = argv[i];
        if (a == "--sensibilite" && i + 1 < argc) {
            valide = LireEntier(argv[++i], SensibiliteMin, SensibiliteMax, &p.sensibilite);
        } else if (a == "--mot-de-passe" && i + 1 < argc) {
            p.motDePasse = argv[++i];
        } else if (positionnels == 0) {
            p.cheminFilm = a;
            ++positionnels;
        } else if (positionnels <= 4) {
            // Left and top from 0, width and height from 1.
            const long min = positionnels <= 2 ? 0 : 1;
            valide = LireEntier(argv[i], min, 1 << 16, &valeurs[positionnels - 1]);
            ++positionnels;
        } else {
            valide = false;
        }
    }
    if (!valide || positionnels != 5) {
        std::fprintf(erreurs, "Arguments invalides pour %s\n%s", Commande, Usage);
        return SortieUsage;
    }
    p.rectangle = {valeurs[0], valeurs[1], valeurs[2], valeurs[3]};

    if (!EstFichierOrdinaire(p.cheminFilm)) {
        std::fprintf(erreurs, "Erreur d'ouverture de fichier : %s\n", p.cheminFilm.c_str());
        return SortieFilmIllisible;
    }
    EnteteFilm e;
    if (TypeDeFilm(p.cheminFilm) < 0 || LireEnteteFilm(p.cheminFilm, e) != 0) {
        std::fprintf(erreurs, "Ce fichier n'est pas un film lisible : %s\n", p.cheminFilm.c_str());
        return SortieFilmIllisible;
    }

    SuiviRecherche suivi;
    LigneProgression progression(erreurs, [](int64_t fait, int64_t total, double secondes) {
        char texte[80];
        std::snprintf(texte, sizeof texte, "Recherche du mouvement : %3d %% (%.0f s)",
                      total > 0 ? static_cast<int>(fait * 100 / total) : 0, secondes);
        return std::string(texte);
    });
    suivi.progression = progression.Rappel();
    const BilanRecherche b = ChercherMouvement(p, suivi);
    progression.Terminer();
    if (b.resultat == ResultatRecherche::HorsImage) {
        std::fprintf(erreurs, "%s (%d x %d) : %d %d %d %d\n", MessageRecherche(b.resultat), b.largeur, b.hauteur,
                     p.rectangle.x, p.rectangle.y, p.rectangle.largeur, p.rectangle.hauteur);
        return SortieUsage;
    }
    if (b.resultat != ResultatRecherche::Terminee) {
        std::fprintf(erreurs, "%s : %s\n", MessageRecherche(b.resultat), p.cheminFilm.c_str());
        const bool filmEnCause =
            b.resultat == ResultatRecherche::FilmIllisible || b.resultat == ResultatRecherche::ErreurLecture;
        return filmEnCause ? SortieFilmIllisible : SortieEchec;
    }
    const DatesFilm dates = LireDatesFilm(p.cheminFilm);
    for (const MomentMouvement& m : b.moments)
        std::fprintf(sortie, "%s\n",
                     LigneMoment(m, dates.Presentes, dates.Debut, dates.Fin, e.DureeMs / 1000.0).c_str());
    std::fflush(sortie);
    return SortieReussie;
}

} // namespace

std::string LigneMoment(const MomentMouvement& m, bool dates, double debutJours, double finJours,
                        double dureeSecondes)
{
    char texte[128];
    std::snprintf(texte, sizeof texte, "%.2f %.2f", m.debutS, m.finS);
    std::string ligne = texte;
    if (dates) {
        const std::string date = TexteDateHeure(DateALInstant(debutJours, finJours, dureeSecondes, m.debutS));
        if (!date.empty())
            ligne += " " + date;
    }
    return ligne;
}

bool ExecuterCommandeMouvement(int argc, char** argv, int* statut, std::FILE* sortie, std::FILE* erreurs)
{
    if (argc < 2 || !argv || !argv[1] || std::strcmp(argv[1], Commande) != 0)
        return false;
    // Damaged pictures are skipped; the codec library's own reports would
    // bury the results.
    av_log_set_level(AV_LOG_FATAL);
    *statut = Chercher(argc, argv, sortie, erreurs);
    return true;
}
