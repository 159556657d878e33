#include "export/ligne_commande.h"

#include "engine/fichierfilm.h"
#include "export/avi_export.h"
#include "export/extraction.h"
#include "export/preuves.h"

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>

#include <unistd.h>

extern "C" {
#include <libavutil/log.h>
}

namespace {

// A terminal's progress line is rewritten at most this often.
constexpr double IntervalleProgressionS = 0.2;

const char* const Aide =
    "Usage :\n"
    "  lecteurzr7 [FILM]\n"
    "      ouvre le lecteur, sur FILM s'il est donné (.mjp, .mp4 ou .264)\n"
    "  lecteurzr7 --avi FILM SORTIE.avi [--images-par-seconde N] [--mot-de-passe MDP]\n"
    "             [--incruster-date] [--sans-rapport]\n"
    "      enregistre tout le film dans un fichier AVI (MPEG-4, DX50) ;\n"
    "      N force la cadence, MDP ouvre un film protégé ; --incruster-date\n"
    "      inscrit la date et l'heure de chaque image en haut à gauche\n"
    "  lecteurzr7 --extraire FILM DEBUT_S FIN_S SORTIE [--sans-rapport]\n"
    "      copie le passage du film entre les secondes DEBUT_S et FIN_S\n"
    "      dans un nouveau film du même type\n"
    "  Chaque export écrit aussi SORTIE.sha256 (à vérifier par sha256sum -c)\n"
    "  et SORTIE.rapport.txt, sauf avec --sans-rapport.\n"
    "  lecteurzr7 --chercher-mouvement FILM X Y L H [--sensibilite S]\n"
    "      une ligne par moment de mouvement dans le rectangle (pixels de l'image)\n"
    "  lecteurzr7 --help\n"
    "      affiche cette aide\n";

double Maintenant()
{
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

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

// Reads a film's header; false (message written) when it is no film.
bool LireFilm(const std::string& chemin, EnteteFilm& e, int& type, std::FILE* erreurs)
{
    type = TypeDeFilm(chemin);
    if (!EstFichierOrdinaire(chemin)) {
        std::fprintf(erreurs, "Erreur d'ouverture de fichier : %s\n", chemin.c_str());
        return false;
    }
    if (type < 0 || LireEnteteFilm(chemin, e) != 0) {
        std::fprintf(erreurs, "Ce fichier n'est pas un film lisible : %s\n", chemin.c_str());
        return false;
    }
    return true;
}

int CommandeAvi(int argc, char** argv, std::FILE* sortie, std::FILE* erreurs)
{
    ParametresAvi p;
    std::string sortieChoisie;
    int positionnels = 0;
    bool rapport = true, incruster = false;
    for (int i = 2; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--sans-rapport") {
            rapport = false;
        } else if (a == "--incruster-date") {
            incruster = true;
        } else if ((a == "--images-par-seconde" || a == "--mot-de-passe") && i + 1 < argc) {
            if (a == "--images-par-seconde") {
                p.forcerCadence = true;
                p.texteCadence = argv[++i];
            } else {
                p.motDePasse = argv[++i];
            }
        } else if (positionnels == 0) {
            p.cheminFilm = a;
            ++positionnels;
        } else if (positionnels == 1) {
            sortieChoisie = a;
            ++positionnels;
        } else {
            positionnels = 3;
        }
    }
    if (positionnels != 2) {
        std::fprintf(erreurs, "Arguments invalides pour --avi\n%s", Aide);
        return SortieUsage;
    }
    EnteteFilm e;
    if (!LireFilm(p.cheminFilm, e, p.type, erreurs))
        return SortieEchec;
    p.nbImages = e.NbImages;
    p.dureeSecondes = e.DureeMs / 1000;
    p.cheminAvi = CheminAvi(sortieChoisie);
    if (p.cheminAvi.empty()) {
        std::fprintf(erreurs, "Erreur de création : nom de fichier trop long\n");
        return SortieEchec;
    }
    const bool terminal = isatty(fileno(erreurs)) != 0;
    const double debut = Maintenant();
    double dernier = -1;
    bool ligne = false;
    SuiviAvi suivi;
    if (terminal) {
        suivi.progression = [&](int64_t fait, int64_t total) {
            const double t = Maintenant();
            if (t - dernier < IntervalleProgressionS)
                return;
            dernier = t;
            std::fprintf(erreurs, "\r%s   ", TexteProgressionAvi(fait, total, t - debut).c_str());
            std::fflush(erreurs);
            ligne = true;
        };
    }
    FilmSource film;
    LireFilmSource(p.cheminFilm, film);
    HachageSource hachage(TailleFichier(p.cheminFilm));
    if (rapport)
        suivi.observateurSource = [&hachage](const unsigned char* o, size_t nb) { hachage.Ajouter(o, nb); };
    if (incruster) {
        suivi.crochetImage = CrochetIncrustation(film);
        p.recoder = true;
    }
    const BilanAvi b = ExportAvi(p, suivi);
    if (ligne)
        std::fputc('\n', erreurs);
    if (b.resultat != ResultatAvi::Enregistre) {
        std::fprintf(erreurs, "%s : %s\n", MessageAvi(b.resultat), p.cheminAvi.c_str());
        return SortieEchec;
    }
    if (rapport) {
        InfosRapport r = RapportAvi(film, p.cheminAvi, b.cadence, b.echantillons, incruster, hachage.Resultat());
        if (EcrireRapportIntegrite(r) != 0) {
            std::fprintf(erreurs, "%s : %s\n", MessageRapportImpossible, p.cheminAvi.c_str());
            return SortieEchec;
        }
    }
    std::fprintf(sortie, "%s : %s (%lld images, %d x %d)\n", MessageAvi(b.resultat), p.cheminAvi.c_str(),
                 (long long)b.echantillons, b.largeur, b.hauteur);
    return SortieReussie;
}

int CommandeExtraire(int argc, char** argv, std::FILE* sortie, std::FILE* erreurs)
{
    int64_t debutS = 0, finS = 0;
    bool rapport = true;
    if (argc == 7 && std::string(argv[6]) == "--sans-rapport") {
        rapport = false;
        argc = 6;
    }
    if (argc != 6 || !LireSecondes(argv[3], &debutS) || !LireSecondes(argv[4], &finS)) {
        std::fprintf(erreurs, "Arguments invalides pour --extraire\n%s", Aide);
        return SortieUsage;
    }
    const std::string film = argv[2];
    const std::string destination = argv[5];
    EnteteFilm e;
    int type = -1;
    if (!LireFilm(film, e, type, erreurs))
        return SortieEchec;
    if (debutS >= finS) {
        std::fprintf(erreurs, "Le début (%lld s) doit précéder la fin (%lld s)\n", (long long)debutS,
                     (long long)finS);
        return SortieUsage;
    }
    const bool terminal = isatty(fileno(erreurs)) != 0;
    int64_t copies = 0;
    SegmentFilm s;
    auto bloc = [&](int64_t n) {
        copies += n;
        if (terminal) {
            std::fprintf(erreurs, "\r%lld octets copiés   ", (long long)copies);
            std::fflush(erreurs);
        }
    };
    const ResultatExtraction r =
        ExtraireSegment(film, destination, e.DureeMs / 1000, e.NbImages, debutS, finS, bloc, &s);
    if (terminal && copies > 0)
        std::fputc('\n', erreurs);
    if (r != ResultatExtraction::Genere) {
        std::fprintf(erreurs, "%s : %s\n", MessageExtraction(r), destination.c_str());
        return SortieEchec;
    }
    if (rapport) {
        FilmSource source;
        LireFilmSource(film, source);
        InfosRapport infos = RapportExtraction(source, destination, debutS, finS, s.NbImages);
        if (EcrireRapportIntegrite(infos) != 0) {
            std::fprintf(erreurs, "%s : %s\n", MessageRapportImpossible, destination.c_str());
            return SortieEchec;
        }
    }
    std::fprintf(sortie, "%s : %s (%u images, %u ms)\n", MessageExtraction(r), destination.c_str(), s.NbImages,
                 s.DureeMs);
    return SortieReussie;
}

} // namespace

bool ExecuterCommandeExport(int argc, char** argv, int* statut, std::FILE* sortie, std::FILE* erreurs)
{
    if (argc < 2 || !argv || !argv[1])
        return false;
    const std::string commande = argv[1];
    // Damaged pictures are skipped; the codec library's own reports would
    // bury the progress line.
    av_log_set_level(AV_LOG_FATAL);
    if (commande == "--help" || commande == "-h") {
        std::fputs(Aide, sortie);
        *statut = SortieReussie;
    } else if (commande == "--avi") {
        *statut = CommandeAvi(argc, argv, sortie, erreurs);
    } else if (commande == "--extraire") {
        *statut = CommandeExtraire(argc, argv, sortie, erreurs);
    } else {
        return false;
    }
    return true;
}
