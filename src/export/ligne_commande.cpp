#include "export/ligne_commande.h"
#include "export/ligne_progression.h"

#include "engine/fichierfilm.h"
#include "engine/motdepasse.h"
#include "export/avi_export.h"
#include "export/cadence_forcee.h"
#include "export/extraction.h"
#include "export/fichier_temporaire.h"
#include "export/preuves.h"
#include "export/protection.h"
#include "export/sortie_sure.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <unistd.h>

extern "C" {
#include <libavutil/log.h>
}

namespace {

// Longest path accepted for an output, as in the window.
constexpr size_t LongueurMaxSortie = 300;

const char* const Aide =
    "Usage :\n"
    "  lecteurzr7 [FILM]\n"
    "      ouvre le lecteur, sur FILM s'il est donné (.mjp, .mp4 ou .264)\n"
    "  lecteurzr7 --avi FILM SORTIE.avi [--images-par-seconde N] [--mot-de-passe MDP]\n"
    "             [--incruster-date] [--sans-rapport]\n"
    "      enregistre tout le film dans un fichier AVI (MPEG-4, DX50) ;\n"
    "      N (entier de 1 à 1000) force la cadence, MDP ouvre un film protégé ;\n"
    "      --incruster-date inscrit la date et l'heure de chaque image en haut à gauche\n"
    "  lecteurzr7 --extraire FILM DEBUT_S FIN_S SORTIE [--sans-rapport]\n"
    "      copie les images du film entre les secondes DEBUT_S et FIN_S\n"
    "      dans un nouveau film du même type (une fin au-delà du film va jusqu'à sa fin)\n"
    "  lecteurzr7 --copie FILM SORTIE.mp4|SORTIE.mkv [--debut S] [--fin S] [--mot-de-passe MDP]\n"
    "             [--sans-rapport]\n"
    "      copie exacte : les images d'origine, non réencodées, avec le son et la date\n"
    "  Chaque export écrit aussi SORTIE.sha256 (à vérifier par sha256sum -c)\n"
    "  et SORTIE.rapport.txt, sauf avec --sans-rapport. Les options vont n'importe où\n"
    "  après la commande ; « -- » termine les options.\n"
    "  La sortie ne peut être ni le film, ni un de ses fichiers associés\n"
    "  (.hrd .pcm .msr .mdp), ni un périphérique, un tube ou un dossier.\n"
    "  lecteurzr7 --chercher-mouvement FILM X Y L H [--sensibilite S] [--mot-de-passe MDP]\n"
    "      une ligne par moment de mouvement dans le rectangle (pixels de l'image)\n"
    "  lecteurzr7 --help\n"
    "      affiche cette aide\n"
    "Statut de sortie : 0 réussi, 1 écriture impossible, 2 argument invalide ou\n"
    "sortie refusée, 3 mot de passe absent ou faux, 4 film absent, illisible ou vide,\n"
    "5 export incomplet (des images du film n'ont pas pu être exportées ; le fichier est gardé).\n";


// A whole number of seconds, nothing else.
bool LireSecondes(const std::string& texte, int64_t* v)
{
    if (texte.empty() || texte[0] < '0' || texte[0] > '9')
        return false;
    errno = 0;
    char* fin = nullptr;
    const long long n = std::strtoll(texte.c_str(), &fin, 10);
    if (errno != 0 || *fin != '\0' || n < 0 || n > INT32_MAX)
        return false;
    *v = n;
    return true;
}

// The arguments after the command: options anywhere, the rest in order.
struct Arguments {
    std::vector<std::string> positionnels;
    bool rapport = true;
    bool incruster = false;
    bool cadence = false;
    std::string texteCadence;
    std::string motDePasse;
    std::string erreur; // set when an option is unknown or lacks its value
};

Arguments LireArguments(int argc, char** argv, bool avi)
{
    Arguments a;
    bool options = true;
    for (int i = 2; i < argc; ++i) {
        const std::string x = argv[i] ? argv[i] : "";
        if (options && x == "--") {
            options = false;
        } else if (options && x == "--sans-rapport") {
            a.rapport = false;
        } else if (options && avi && x == "--incruster-date") {
            a.incruster = true;
        } else if (options && avi && (x == "--images-par-seconde" || x == "--mot-de-passe")) {
            if (i + 1 >= argc) {
                a.erreur = "Valeur manquante après " + x;
            } else if (x == "--images-par-seconde") {
                a.cadence = true;
                a.texteCadence = argv[++i];
            } else {
                a.motDePasse = argv[++i];
            }
        } else if (options && x.size() > 1 && x[0] == '-' && x.compare(0, 2, "--") == 0) {
            a.erreur = "Option inconnue : " + x;
        } else {
            a.positionnels.push_back(x);
        }
        if (!a.erreur.empty())
            break;
    }
    return a;
}

int Usage(std::FILE* erreurs, const std::string& raison)
{
    std::fprintf(erreurs, "%s\n%s", raison.c_str(), Aide);
    return SortieUsage;
}

// Reads a film's header; a status other than SortieReussie (message
// written) when it cannot be exported.
int LireFilm(const std::string& chemin, EnteteFilm& e, int& type, std::FILE* erreurs)
{
    type = TypeDeFilm(chemin);
    if (!EstFichierOrdinaire(chemin)) {
        std::fprintf(erreurs, "Erreur d'ouverture de fichier : %s\n", chemin.c_str());
        return SortieFilmIllisible;
    }
    const int64_t taille = TailleFichier(chemin);
    if (taille == 0) {
        std::fprintf(erreurs, "Le film est vide : %s\n", chemin.c_str());
        return SortieFilmIllisible;
    }
    if (type < 0 || LireEnteteFilm(chemin, e) != 0) {
        std::fprintf(erreurs, "Ce fichier n'est pas un film lisible : %s\n", chemin.c_str());
        return SortieFilmIllisible;
    }
    if (taille <= TailleEnteteFilm) {
        std::fprintf(erreurs, "Le film est vide (aucune image après son en-tête) : %s\n", chemin.c_str());
        return SortieFilmIllisible;
    }
    return SortieReussie;
}

// The outputs an export would write: refused (message written) when one of
// them is the film, a companion or not a plain file.
bool SortiesPermises(const std::string& film, const std::string& sortie, bool rapport, std::FILE* erreurs)
{
    std::vector<std::string> sorties{sortie};
    if (rapport) {
        sorties.push_back(CheminSomme(sortie));
        sorties.push_back(CheminRapport(sortie));
    }
    // The report files' type is checked as they are written (the export
    // then fails, its output kept); they are never the film.
    for (const std::string& s : sorties) {
        const std::string raison = s == sortie ? RaisonSortieRefusee(film, s) : RaisonSortieEstLeFilm(film, s);
        if (!raison.empty()) {
            std::fprintf(erreurs, "%s : %s\n", raison.c_str(), s.c_str());
            return false;
        }
    }
    return true;
}

int CommandeAvi(int argc, char** argv, std::FILE* sortie, std::FILE* erreurs)
{
    const Arguments a = LireArguments(argc, argv, true);
    if (!a.erreur.empty())
        return Usage(erreurs, a.erreur);
    if (a.positionnels.size() != 2)
        return Usage(erreurs, "Arguments invalides pour --avi : FILM et SORTIE.avi sont attendus");
    ParametresAvi p;
    if (a.cadence) {
        int cadence = 0;
        std::string raison;
        if (LireCadenceForcee(a.texteCadence, &cadence, &raison) != 0)
            return Usage(erreurs, raison);
        p.forcerCadence = true;
        p.texteCadence = std::to_string(cadence);
    }
    p.cheminFilm = a.positionnels[0];
    p.motDePasse = a.motDePasse;
    p.cheminAvi = CheminAvi(a.positionnels[1]);
    if (p.cheminAvi.empty()) {
        std::fprintf(erreurs, "Nom de fichier trop long (300 octets au plus) ou vide\n");
        return SortieUsage;
    }
    EnteteFilm e;
    if (const int s = LireFilm(p.cheminFilm, e, p.type, erreurs); s != SortieReussie)
        return s;
    if (!SortiesPermises(p.cheminFilm, p.cheminAvi, a.rapport, erreurs))
        return SortieUsage;
    if (FilmProtege(p.cheminFilm) && VerifierMotDePasse(p.cheminFilm.c_str(), p.motDePasse.c_str()) != 1) {
        std::fprintf(erreurs, "%s : %s\n",
                     p.motDePasse.empty() ? "Ce film est protégé : donnez son mot de passe (--mot-de-passe)"
                                          : "Mot de passe refusé pour ce film",
                     p.cheminFilm.c_str());
        return SortieMotDePasse;
    }
    p.nbImages = e.NbImages;
    p.dureeSecondes = e.DureeMs / 1000;
    SuiviAvi suivi;
    LigneProgression progression(erreurs, TexteProgressionAvi);
    suivi.progression = progression.Rappel();
    FilmSource film;
    LireFilmSource(p.cheminFilm, film);
    HachageSource hachage(TailleFichier(p.cheminFilm));
    if (a.rapport)
        suivi.observateurSource = [&hachage](const unsigned char* o, size_t nb) { hachage.Ajouter(o, nb); };
    if (a.incruster) {
        suivi.crochetImage = CrochetIncrustation(film);
        p.recoder = true;
    }
    NettoyerTemporairesSurSignal();
    const BilanAvi b = ExportAvi(p, suivi);
    progression.Terminer();
    // An incomplete AVI is kept with its report (it holds what could be
    // read), but it is not called a success.
    const bool incomplet = b.resultat == ResultatAvi::Incomplet;
    if (b.resultat != ResultatAvi::Enregistre && !incomplet) {
        const char* message = MessageAvi(b.resultat);
        std::fprintf(erreurs, "%s : %s\n", message[0] ? message : "Export annulé", p.cheminAvi.c_str());
        return b.resultat == ResultatAvi::ErreurLecture ? SortieFilmIllisible : SortieEchec;
    }
    if (a.rapport) {
        InfosRapport r = RapportAvi(film, p.cheminAvi, b.cadence, b.echantillons, a.incruster, hachage.Resultat());
        if (EcrireRapportIntegrite(r) != 0) {
            std::fprintf(erreurs, "%s : %s\n", MessageRapportImpossible, p.cheminAvi.c_str());
            return SortieEchec;
        }
    } else {
        SupprimerRapportsPerimes(p.cheminAvi);
    }
    if (incomplet) {
        std::fprintf(erreurs, "%s : %s\n", MessageFinAvi(b).c_str(), p.cheminAvi.c_str());
        return SortieIncomplete;
    }
    std::fprintf(sortie, "%s : %s (%lld images, %d x %d)\n", MessageAvi(b.resultat), p.cheminAvi.c_str(),
                 (long long)b.echantillons, b.largeur, b.hauteur);
    return SortieReussie;
}

int CommandeExtraire(int argc, char** argv, std::FILE* sortie, std::FILE* erreurs)
{
    const Arguments a = LireArguments(argc, argv, false);
    if (!a.erreur.empty())
        return Usage(erreurs, a.erreur);
    int64_t debutS = 0, finS = 0;
    if (a.positionnels.size() != 4)
        return Usage(erreurs, "Arguments invalides pour --extraire : FILM DEBUT_S FIN_S SORTIE sont attendus");
    if (!LireSecondes(a.positionnels[1], &debutS) || !LireSecondes(a.positionnels[2], &finS))
        return Usage(erreurs, "DEBUT_S et FIN_S sont des nombres entiers de secondes");
    const std::string& film = a.positionnels[0];
    const std::string& destination = a.positionnels[3];
    if (destination.empty() || destination.size() > LongueurMaxSortie) {
        std::fprintf(erreurs, "Nom de fichier trop long (300 octets au plus) ou vide\n");
        return SortieUsage;
    }
    EnteteFilm e;
    int type = -1;
    if (const int s = LireFilm(film, e, type, erreurs); s != SortieReussie)
        return s;
    if (debutS >= finS) {
        std::fprintf(erreurs, "Le début (%lld s) doit précéder la fin (%lld s)\n", (long long)debutS,
                     (long long)finS);
        return SortieUsage;
    }
    if (!SortiesPermises(film, destination, a.rapport, erreurs))
        return SortieUsage;
    const bool terminal = isatty(fileno(erreurs)) != 0;
    int64_t copies = 0;
    Extrait x;
    auto bloc = [&](int64_t n) {
        copies += n;
        if (terminal) {
            std::fprintf(erreurs, "\r%lld octets copiés   ", (long long)copies);
            std::fflush(erreurs);
        }
    };
    NettoyerTemporairesSurSignal();
    const ResultatExtraction r = ExtraireSegment(film, destination, debutS, finS, bloc, &x);
    if (terminal && copies > 0)
        std::fputc('\n', erreurs);
    if (r != ResultatExtraction::Genere) {
        std::fprintf(erreurs, "%s : %s\n", MessageExtraction(r), destination.c_str());
        if (RefusDeLaDemande(r))
            return SortieUsage;
        if (r == ResultatExtraction::ErreurOuverture || r == ResultatExtraction::ErreurAcces)
            return SortieFilmIllisible;
        return SortieEchec;
    }
    if (a.rapport) {
        FilmSource source;
        LireFilmSource(film, source);
        InfosRapport infos =
            RapportExtraction(source, destination, x.DebutSecondes, x.FinSecondes, x.PremiereImage, x.NbImages);
        if (EcrireRapportIntegrite(infos) != 0) {
            std::fprintf(erreurs, "%s : %s\n", MessageRapportImpossible, destination.c_str());
            return SortieEchec;
        }
    } else {
        SupprimerRapportsPerimes(destination);
    }
    std::fprintf(sortie, "%s : %s (%u images, %u ms, de %.3f s à %.3f s du film)\n", MessageExtraction(r),
                 destination.c_str(), x.NbImages, x.DureeMs, x.DebutSecondes, x.FinSecondes);
    return SortieReussie;
}

// Options of the window toolkit itself ("-platform offscreen", "--style
// fusion"...): they open the player as before.
bool OptionDeLaBoiteAOutils(const std::string& argument)
{
    static const char* const Options[] = {"platform", "platformpluginpath", "platformtheme", "plugin",
                                          "qwindowgeometry", "qwindowicon", "qwindowtitle", "reverse",
                                          "session", "style", "stylesheet", "widgetcount", "display",
                                          "geometry", "name", "title", "visual", "ncols", "cmap", "nograb",
                                          "dograb", "sync", "qmljsdebugger"};
    std::string nom = argument.substr(argument.compare(0, 2, "--") == 0 ? 2 : 1);
    nom = nom.substr(0, nom.find('='));
    for (const char* o : Options)
        if (nom == o)
            return true;
    return false;
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
    } else if (commande.size() > 1 && commande[0] == '-' && !OptionDeLaBoiteAOutils(commande)
               && access(commande.c_str(), F_OK) != 0) {
        // An option this program does not know (not a film named "-..."):
        // the usage, and no window.
        *statut = Usage(erreurs, "Option inconnue : " + commande);
    } else {
        return false;
    }
    return true;
}
