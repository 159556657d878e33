// zr7film: makes test and demonstration films for the player.

#include "filmmaker.h"
#include "numero_image.h"
#include "engine/fichierfilm.h"
#include "engine/motdepasse.h"

#include <getopt.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

constexpr int SortieErreur = 1;
constexpr int SortieUsage = 2;

// Long-only options.
enum { OptDemo = 1000 };

const char* const Aide =
    "Usage : zr7film [OPTIONS] FILM.mjp|FILM.mp4|FILM.264\n"
    "        zr7film [OPTIONS] --horaire DOSSIER [--type mjp|mp4|264]\n"
    "        zr7film --demo DOSSIER\n"
    "        zr7film --logos DOSSIER\n"
    "\n"
    "Fabrique un film de test pour le lecteur ZR7 : en-tête de 8 octets (nombre\n"
    "d'images, durée en ms) suivi des images codées. Le type vient de l'extension :\n"
    ".mjp (MJPEG), .mp4 (MPEG-4 partie 2, flux élémentaire), .264 (H.264 Annexe B).\n"
    "Chaque image porte son numéro en grands chiffres et, en bas, sur une rangée\n"
    "de blocs noirs et blancs (16 bits, parité et blocs de garde) que les tests\n"
    "relisent. Le chemin du film écrit est affiché sur la sortie standard.\n"
    "\n"
    "Images :\n"
    "  -t, --taille LxH        taille des images (défaut 320x240 ; paire pour .mp4 et .264)\n"
    "  -n, --images N          nombre d'images dessinées et codées (défaut 50)\n"
    "  -p, --premier N         numéro de la première image (défaut 0 ; numéros <= 65535)\n"
    "  -r, --cadence IPS       images par seconde (défaut 10)\n"
    "  -d, --duree MS          durée des N images en millisecondes (remplace --cadence)\n"
    "  -g, --gop N             images d'une image clé à la suivante (défaut 10)\n"
    "  -q, --qualite Q         qualité JPEG de 1 à 100 (défaut 85)\n"
    "  -s, --sauter K          film pris en cours de flux : le corps commence aux\n"
    "                          octets de l'image K ; l'en-tête compte les N-K images\n"
    "                          restantes et leur part de la durée. En .mp4 et .264 le\n"
    "                          décodage reprend à l'image clé suivante.\n"
    "\n"
    "Fichiers compagnons (même nom, autre extension) :\n"
    "  -D, --date \"jj/mm/aaaa hh:mm:ss\"\n"
    "                          écrit le .hrd : début à cette date, fin = début + durée\n"
    "  -S, --son               écrit le .pcm : G.711 loi mu, 8000 octets par seconde,\n"
    "                          une tonalité et un clic à chaque seconde entière\n"
    "  -m, --mesures           écrit le .msr : chaque seconde, temps du film, numéro\n"
    "                          d'image et une température (lignes \"tttttt;rang;texte;\")\n"
    "  -P, --mot-de-passe MDP  film protégé : corps embrouillé (+17) et fichier .mdp\n"
    "\n"
    "Noms et dossiers :\n"
    "  -H, --horaire DOSSIER   nom horaire DOSSIER/HH/jj-mm-aaaa-HH-MM.ext d'après\n"
    "                          --date (défaut 12/05/2014 10:15:00), comme les\n"
    "                          enregistreurs ; le film de la minute suivante s'y\n"
    "                          enchaîne (10:59 -> DOSSIER/11/...-11-00.ext)\n"
    "  -T, --type TYPE         type du film horaire : mjp, mp4 ou 264 (défaut mjp)\n"
    "  -L, --logos DOSSIER     écrit aussi logo1.jpg et logo2.jpg dans DOSSIER\n"
    "      --demo DOSSIER      jeu de démonstration : film horaire MJPEG 640x480 de\n"
    "                          2 minutes à 10 images/s avec dates, son et mesures,\n"
    "                          film de la minute suivante (1 minute) et logos ;\n"
    "                          affiche le chemin du premier film\n"
    "  -h, --help              cette aide\n"
    "\n"
    "Un film protégé a un mot de passe de 20 caractères au plus et un nom de 29\n"
    "caractères au plus avant l'extension (les champs du fichier .mdp).\n"
    "\n"
    "Codes de sortie : 0 réussite, 1 échec d'écriture (le chemin et la raison sont\n"
    "affichés ; rien de ce qui a été écrit n'est laissé), 2 arguments incorrects.\n"
    "\n"
    "Exemples :\n"
    "  zr7film -t 176x144 -n 30 -g 5 /tmp/essai.264\n"
    "  zr7film -D \"12/05/2014 10:15:00\" -S -m -H /tmp/films -T mp4\n"
    "  zr7film -P secret -n 100 -r 25 /tmp/protege.mjp\n";

// Only digits: strtol alone would also take spaces and signs.
bool QueDesChiffres(const char* texte)
{
    if (!texte || !*texte)
        return false;
    for (const char* c = texte; *c; ++c)
        if (*c < '0' || *c > '9')
            return false;
    return true;
}

bool LireEntier(const char* texte, long min, long max, long& valeur)
{
    if (!QueDesChiffres(texte))
        return false;
    errno = 0;
    char* fin = nullptr;
    const long v = strtol(texte, &fin, 10);
    if (errno || *fin || v < min || v > max)
        return false;
    valeur = v;
    return true;
}

// "LxH" within the sizes the maker draws; strtol with range checks, so
// that no number can overflow.
bool LireTaille(const char* texte, int& largeur, int& hauteur)
{
    if (!texte)
        return false;
    const char* x = strchr(texte, 'x');
    if (!x)
        return false;
    long l = 0, h = 0;
    if (!LireEntier(std::string(texte, x).c_str(), LargeurMinFilm, LargeurMaxFilm, l)
        || !LireEntier(x + 1, HauteurMinFilm, HauteurMaxFilm, h))
        return false;
    largeur = static_cast<int>(l);
    hauteur = static_cast<int>(h);
    return true;
}

int Refuser(const char* message, const char* valeur)
{
    fprintf(stderr, "zr7film : %s%s%s\n", message, valeur ? " : " : "", valeur ? valeur : "");
    fprintf(stderr, "zr7film --help donne la liste des options.\n");
    return SortieUsage;
}

} // namespace

int main(int argc, char** argv)
{
    static const option Options[] = {
        {"taille", required_argument, nullptr, 't'},
        {"images", required_argument, nullptr, 'n'},
        {"premier", required_argument, nullptr, 'p'},
        {"cadence", required_argument, nullptr, 'r'},
        {"duree", required_argument, nullptr, 'd'},
        {"gop", required_argument, nullptr, 'g'},
        {"qualite", required_argument, nullptr, 'q'},
        {"sauter", required_argument, nullptr, 's'},
        {"date", required_argument, nullptr, 'D'},
        {"son", no_argument, nullptr, 'S'},
        {"mesures", no_argument, nullptr, 'm'},
        {"mot-de-passe", required_argument, nullptr, 'P'},
        {"horaire", required_argument, nullptr, 'H'},
        {"type", required_argument, nullptr, 'T'},
        {"logos", required_argument, nullptr, 'L'},
        {"demo", required_argument, nullptr, OptDemo},
        {"help", no_argument, nullptr, 'h'},
        {nullptr, 0, nullptr, 0},
    };

    SilencerCodecs();
    OptionsFilm o;
    std::string dossierHoraire, dossierLogos, dossierDemo;
    std::string extension = ".mjp";
    long v = 0;
    int c;
    while ((c = getopt_long(argc, argv, "t:n:p:r:d:g:q:s:D:SmP:H:T:L:h", Options, nullptr)) != -1) {
        switch (c) {
        case 't':
            if (!LireTaille(optarg, o.largeur, o.hauteur))
                return Refuser("taille attendue sous la forme LxH, de 64x48 à 2560x2048", optarg);
            break;
        case 'n':
            if (!LireEntier(optarg, 1, NumeroMaxImage + 1L, v))
                return Refuser("nombre d'images incorrect", optarg);
            o.nbImages = static_cast<int>(v);
            break;
        case 'p':
            if (!LireEntier(optarg, 0, NumeroMaxImage, v))
                return Refuser("numéro de première image incorrect", optarg);
            o.premierNumero = static_cast<int>(v);
            break;
        case 'r': {
            char* fin = nullptr;
            o.cadence = strtod(optarg, &fin);
            if (*fin || !(o.cadence > 0) || o.cadence > 1000)
                return Refuser("cadence incorrecte", optarg);
            break;
        }
        case 'd':
            if (!LireEntier(optarg, 1, 0xFFFFFFFFL, v))
                return Refuser("durée incorrecte", optarg);
            o.dureeMs = static_cast<uint32_t>(v);
            break;
        case 'g':
            if (!LireEntier(optarg, 1, 10000, v))
                return Refuser("longueur de groupe incorrecte", optarg);
            o.gop = static_cast<int>(v);
            break;
        case 'q':
            if (!LireEntier(optarg, 1, 100, v))
                return Refuser("qualité incorrecte", optarg);
            o.qualiteJpeg = static_cast<int>(v);
            break;
        case 's':
            if (!LireEntier(optarg, 0, NumeroMaxImage, v))
                return Refuser("nombre d'images à sauter incorrect", optarg);
            o.sauter = static_cast<int>(v);
            break;
        case 'D':
            if (LireDateHeure(optarg, o.dateDebut) != 0)
                return Refuser("date attendue sous la forme \"jj/mm/aaaa hh:mm:ss\"", optarg);
            o.dates = true;
            break;
        case 'S':
            o.son = true;
            break;
        case 'm':
            o.mesures = true;
            break;
        case 'P':
            if (!*optarg)
                return Refuser("mot de passe vide", nullptr);
            o.motDePasse = optarg;
            break;
        case 'H':
            dossierHoraire = optarg;
            break;
        case 'T':
            if (strcmp(optarg, "mjp") && strcmp(optarg, "mp4") && strcmp(optarg, "264"))
                return Refuser("type attendu : mjp, mp4 ou 264", optarg);
            extension = std::string(".") + optarg;
            break;
        case 'L':
            dossierLogos = optarg;
            break;
        case OptDemo:
            dossierDemo = optarg;
            break;
        case 'h':
            fputs(Aide, stdout);
            return 0;
        default:
            return Refuser("option inconnue", nullptr);
        }
    }

    if (!dossierDemo.empty()) {
        std::string premier;
        std::string erreur;
        if (FabriquerDemo(dossierDemo, &premier, &erreur) != 0) {
            fprintf(stderr, "zr7film : échec du jeu de démonstration dans %s : %s\n", dossierDemo.c_str(),
                    erreur.c_str());
            return SortieErreur;
        }
        printf("%s\n", premier.c_str());
        return 0;
    }

    std::string chemin;
    if (!dossierHoraire.empty()) {
        if (optind < argc)
            return Refuser("--horaire et un nom de film ne vont pas ensemble", argv[optind]);
        chemin = CheminHoraire(dossierHoraire, o.dateDebut, extension.c_str());
    } else if (optind + 1 == argc) {
        chemin = argv[optind];
    } else if (optind == argc && !dossierLogos.empty()) {
        chemin.clear();  // logos only
    } else {
        return Refuser(optind == argc ? "nom de film manquant" : "un seul nom de film", nullptr);
    }

    if (!dossierLogos.empty() && EcrireLogos(dossierLogos) != 0) {
        const int e = errno;
        fprintf(stderr, "zr7film : impossible d'écrire les logos dans %s : %s\n", dossierLogos.c_str(),
                RaisonSysteme(e).c_str());
        return SortieErreur;
    }
    if (chemin.empty())
        return 0;

    const char* ext = chemin.size() >= 4 ? chemin.c_str() + chemin.size() - 4 : "";
    if (strcmp(ext, ".mjp") && strcmp(ext, ".mp4") && strcmp(ext, ".264"))
        return Refuser("le nom du film doit finir par .mjp, .mp4 ou .264", chemin.c_str());
    if (o.sauter >= o.nbImages)
        return Refuser("--sauter doit rester sous le nombre d'images", nullptr);
    if ((o.premierNumero + o.nbImages - 1) > NumeroMaxImage)
        return Refuser("les numéros d'images dépassent 65535", nullptr);
    // What the options cannot make is an argument error, told before
    // anything is written.
    const std::string raison = RaisonOptionsRefusees(o, TypeDeFilm(chemin));
    if (!raison.empty())
        return Refuser(raison.c_str(), nullptr);
    if (!o.motDePasse.empty() && !ChampsMotDePasseTiennent(chemin, o.motDePasse))
        return Refuser(RaisonMotDePasseRefuse().c_str(), chemin.c_str());
    if (chemin.size() > size_t(LongueurMaxCheminProtege))
        fprintf(stderr, "zr7film : attention, chemin de plus de %d octets : le lecteur ne l'ouvrira pas\n",
                LongueurMaxCheminProtege);

    ResultatFilm r;
    if (FabriquerFilm(chemin, o, &r) != 0) {
        fprintf(stderr, "zr7film : %s\n", r.erreur.c_str());
        return SortieErreur;
    }
    if (r.dureeMs < 1000)
        fprintf(stderr, "zr7film : attention, durée de %u ms : le lecteur refuse les films de moins d'une "
                        "seconde\n", r.dureeMs);
    printf("%s\n", chemin.c_str());
    return 0;
}
