#include "export/commande_copie.h"
#include "export/ligne_progression.h"

#include "engine/fichierfilm.h"
#include "export/copie_exacte.h"
#include "export/fichier_temporaire.h"
#include "export/ligne_commande.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include <unistd.h>

extern "C" {
#include <libavutil/error.h>
#include <libavutil/log.h>
}

namespace {

const char* const Usage =
    "Usage :\n"
    "  lecteurzr7 --copie FILM SORTIE [--debut S] [--fin S] [--mot-de-passe MDP] [--sans-rapport]\n"
    "      copie exacte : les images du film telles qu'enregistrées, non réencodées,\n"
    "      avec le son et la date, dans SORTIE.mp4 ou SORTIE.mkv ; --debut et --fin\n"
    "      (secondes) limitent la copie, qui commence alors à l'image clé qui précède\n"
    "      le début ; MDP ouvre un film protégé\n";


// A whole number of seconds, nothing else.
bool LireSecondes(const char* texte, int64_t* v)
{
    if (!texte || !*texte)
        return false;
    errno = 0;
    char* fin = nullptr;
    const long long n = std::strtoll(texte, &fin, 10);
    if (errno != 0 || *fin != '\0' || n < 0 || n > INT32_MAX)
        return false;
    *v = n;
    return true;
}

int CommandeCopie(int argc, char** argv, std::FILE* sortie, std::FILE* erreurs)
{
    ParametresCopie p;
    bool rapport = true, debut = false, fin = false;
    int positionnels = 0;
    for (int i = 2; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--sans-rapport") {
            rapport = false;
        } else if ((a == "--debut" || a == "--fin") && i + 1 < argc) {
            int64_t& v = a == "--debut" ? p.debutSecondes : p.finSecondes;
            (a == "--debut" ? debut : fin) = true;
            if (!LireSecondes(argv[++i], &v)) {
                std::fprintf(erreurs, "Nombre de secondes invalide : %s\n%s", argv[i], Usage);
                return SortieUsage;
            }
        } else if (a == "--mot-de-passe" && i + 1 < argc) {
            p.motDePasse = argv[++i];
        } else if (positionnels == 0) {
            p.cheminFilm = a;
            ++positionnels;
        } else if (positionnels == 1) {
            p.sortie = a;
            ++positionnels;
        } else {
            positionnels = 3;
        }
    }
    if (positionnels != 2) {
        std::fprintf(erreurs, "Arguments invalides pour --copie\n%s", Usage);
        return SortieUsage;
    }
    EnteteFilm e;
    if (!EstFichierOrdinaire(p.cheminFilm) || TypeDeFilm(p.cheminFilm) < 0 || LireEnteteFilm(p.cheminFilm, e) != 0) {
        std::fprintf(erreurs, "Ce fichier n'est pas un film lisible : %s\n", p.cheminFilm.c_str());
        return SortieFilmIllisible;
    }
    if (ConteneurPourSortie(p.sortie) == ConteneurCopie::Aucun) {
        std::fprintf(erreurs, "SORTIE doit finir par .mp4 ou .mkv : %s\n", p.sortie.c_str());
        return SortieUsage;
    }
    if (debut && fin && p.finSecondes <= p.debutSecondes) {
        std::fprintf(erreurs, "Le début (%lld s) doit précéder la fin (%lld s)\n", (long long)p.debutSecondes,
                     (long long)p.finSecondes);
        return SortieUsage;
    }

    // Ctrl+C, kill or hang-up: the temporary file goes with the process.
    NettoyerTemporairesSurSignal();
    SuiviCopie suivi;
    LigneProgression progression(erreurs, TexteProgressionCopie);
    suivi.progression = progression.Rappel();
    const BilanCopie b = CopierExacte(p, suivi);
    progression.Terminer();
    switch (b.resultat) {
    case ResultatCopie::Enregistree:
        break;
    case ResultatCopie::Annulee:
        std::fprintf(erreurs, "Copie interrompue, aucun fichier écrit : %s\n", p.sortie.c_str());
        return SortieEchec;
    case ResultatCopie::SortieRefusee:
        std::fprintf(erreurs, "%s : %s (%s)\n", MessageCopie(b.resultat), p.sortie.c_str(), b.raison.c_str());
        return SortieUsage;
    case ResultatCopie::MotDePasse:
        std::fprintf(erreurs, "%s : %s\n", MessageCopie(b.resultat), p.cheminFilm.c_str());
        return SortieMotDePasse;
    case ResultatCopie::NonDemarree:
        std::fprintf(erreurs, "%s : %s\n", MessageCopie(b.resultat), p.sortie.c_str());
        return SortieUsage;
    case ResultatCopie::ErreurLecture:
        std::fprintf(erreurs, "%s : %s\n", MessageCopie(b.resultat), p.cheminFilm.c_str());
        return SortieFilmIllisible;
    default: {
        const char* raison = RaisonEcriture(b.codeErreur);
        std::fprintf(erreurs, "%s : %s%s%s%s\n", MessageCopie(b.resultat), p.sortie.c_str(), raison[0] ? " (" : "",
                     raison, raison[0] ? ")" : "");
        return SortieEchec;
    }
    }
    if (!rapport) {
        SupprimerRapportsPerimes(p.sortie);
    } else {
        FilmSource film;
        LireFilmSource(p.cheminFilm, film);
        InfosRapport infos = RapportCopie(film, p.sortie, b);
        if (EcrireRapportIntegrite(infos) != 0) {
            std::fprintf(erreurs, "%s : %s\n", MessageRapportImpossible, p.sortie.c_str());
            return SortieEchec;
        }
    }
    std::fprintf(sortie, "%s\n", TexteBilanCopie(b).c_str());
    return SortieReussie;
}

} // namespace

const char* RaisonEcriture(int codeErreur)
{
    if (codeErreur == AVERROR(ENOSPC) || codeErreur == AVERROR(EDQUOT))
        return "plus de place sur le disque";
    if (codeErreur == AVERROR(EFBIG))
        return "taille de fichier maximale atteinte";
    if (codeErreur == AVERROR(EACCES) || codeErreur == AVERROR(EPERM))
        return "permission refusée";
    if (codeErreur == AVERROR(EROFS))
        return "disque en lecture seule";
    if (codeErreur == AVERROR(EIO))
        return "erreur matérielle du disque";
    return "";
}

bool ExecuterCommandeCopie(int argc, char** argv, int* statut, std::FILE* sortie, std::FILE* erreurs)
{
    if (argc < 2 || !argv || !argv[1] || std::strcmp(argv[1], "--copie") != 0)
        return false;
    // The libraries' own reports would bury the progress line.
    av_log_set_level(AV_LOG_FATAL);
    *statut = CommandeCopie(argc, argv, sortie, erreurs);
    return true;
}
