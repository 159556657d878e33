// Four films shown together on one clock, played at x 1 from the same start
// through four readers driven by the mosaic's clock, as the window does.
// Cases: four 720p25 H.264 films of the project's film maker (numbered
// pictures), four 720p25 and four 1080p25 H.264 films made by Debian's
// ffmpeg with its encoder's defaults (a key picture every 50, no B
// pictures). For each tile, the share of its pictures handed over (each
// counted once); for the
// clock, the film seconds it advanced per wall second (1.0 keeps time);
// for the group, how far apart the tiles' pictures on screen were (in
// pictures, sampled at each display tick); wall and CPU time of the run.
// Usage: bench_mosaique [FOLDER [PICTURES]]   (FOLDER keeps the ffmpeg
// films between runs; PICTURES per ffmpeg film, 1,000 by default)
#include "commun_bench.h"
#include "core/tas_memoire.h"
#include "engine/index_images.h"
#include "engine/lecture_film.h"
#include "engine/th_indexeur.h"
#include "filmmaker.h"
#include "ui/horloge.h"

#include <QCoreApplication>

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <iterator>
#include <memory>
#include <set>

namespace {

constexpr int NbTuiles = 4;
constexpr int Cadence = 25;
constexpr int NbImagesFabricant = 375; // 15 s
constexpr int NbImagesFfmpegDefaut = 1000;
// A clock that has not reached the end this long after it should have has
// lost its films: the run is given up.
constexpr int MargeFinMs = 30000;
// Display tick of the mosaic while playing.
constexpr int TicMs = 40;

// An H.264 body made by ffmpeg behind the film's two header words, then
// copied for the other tiles (one reader and one index per path).
bool FilmsFfmpeg(const std::string& dossier, int largeur, int hauteur, int nbImages, std::vector<std::string>& films)
{
    char base[64];
    std::snprintf(base, sizeof base, "/m_h264_%dp_%d", hauteur, nbImages);
    const std::string premier = dossier + base + "_0.264";
    if (!FilmDejaFait(premier)) {
        const std::string corps = premier + ".raw";
        char commande[1024];
        std::snprintf(commande, sizeof commande,
                      "ffmpeg -hide_banner -nostdin -loglevel error -y -f lavfi -i testsrc2=size=%dx%d:rate=%d "
                      "-frames:v %d -g 50 -bf 0 -c:v libx264 -pix_fmt yuv420p -f h264 '%s'",
                      largeur, hauteur, Cadence, nbImages, corps.c_str());
        if (std::system(commande) != 0)
            return false;
        std::ifstream entree(corps, std::ios::binary);
        std::vector<char> octets((std::istreambuf_iterator<char>(entree)), {});
        std::ofstream sortie(premier, std::ios::binary);
        Poser32(sortie, static_cast<uint32_t>(nbImages));
        Poser32(sortie, static_cast<uint32_t>(nbImages * 1000 / Cadence));
        sortie.write(octets.data(), static_cast<std::streamsize>(octets.size()));
        std::remove(corps.c_str());
        if (!sortie)
            return false;
    }
    films.assign(1, premier);
    for (int i = 1; i < NbTuiles; ++i) {
        const std::string copie = dossier + base + "_" + std::to_string(i) + ".264";
        if (!FilmDejaFait(copie)) {
            std::error_code ec;
            std::filesystem::copy_file(premier, copie, std::filesystem::copy_options::overwrite_existing, ec);
            if (ec)
                return false;
        }
        films.push_back(copie);
    }
    return true;
}

bool FilmsFabricant(const std::string& dossier, std::vector<std::string>& films)
{
    films.clear();
    for (int i = 0; i < NbTuiles; ++i) {
        OptionsFilm o;
        o.largeur = 1280;
        o.hauteur = 720;
        o.nbImages = NbImagesFabricant;
        o.cadence = Cadence;
        o.gop = 25;
        o.premierNumero = i * 1000;
        const std::string chemin = dossier + "/cam" + std::to_string(i) + ".264";
        if (FabriquerFilm(chemin, o) != 0)
            return false;
        films.push_back(chemin);
    }
    return true;
}

// The films' index, published as the indexers do: the clock then places
// and steps pictures exactly, as in the window.
void Indexer(const std::string& film)
{
    std::ifstream f(film, std::ios::binary);
    std::vector<unsigned char> o((std::istreambuf_iterator<char>(f)), {});
    PublierIndex(film.c_str(), std::make_shared<IndexImages>(IndexerOctets(TypeH264, o.data() + 8, o.size() - 8, 8)));
}

// Counts the different pictures handed to a tile: the picture the reader
// noted for its channel before the hand-over (a picture handed twice, as
// the stop's picture again at the run's start, counts once).
class CibleComptee : public QObject, public CibleImage
{
public:
    int voie = 0;
    std::set<int64_t> images;
    void AfficherImage(const unsigned char*, int) override
    {
        const int r = PrendreMutexVoie(voie);
        const int64_t k = Voies[voie].ImageMontree;
        if (r == 0)
            RendreMutexVoie(voie);
        if (k >= 0)
            images.insert(k);
    }
};

struct Mesure {
    bool abandon = false;
    int nbImages = 0;
    size_t montrees[NbTuiles] = {}; // different pictures handed over
    double horlogeParSeconde = 0; // film seconds of the clock per wall second
    double murS = 0, cpuS = 0;
    std::vector<int> ecarts; // spread of the tiles' pictures at each tick
};

Mesure Mesurer(const std::vector<std::string>& films)
{
    Mesure m;
    ReinitialiserEtat();
    CreerMutexGeneral();
    CibleComptee cibles[NbTuiles];
    std::unique_ptr<unsigned char[]> images[NbTuiles];
    std::vector<PisteHorloge> pistes;
    for (int v = 0; v < NbTuiles; ++v) {
        CreerMutexVoie(v);
        images[v].reset(new unsigned char[TailleBufferImage]);
        Voies[v].BufferImage = Voies[v].ImageSortie = images[v].get();
        CiblesImage[v] = &cibles[v];
        cibles[v].voie = v;
        EnteteFilm e;
        LireEnteteFilm(films[size_t(v)], e);
        Indexer(films[size_t(v)]);
        Voie& voie = Voies[v];
        CopierTexte(voie.CheminFilm, sizeof voie.CheminFilm, films[size_t(v)].c_str());
        voie.TypeFilm = TypeH264;
        voie.NbImagesFilm = e.NbImages;
        voie.DureeFilm = e.DureeMs / 1000;
        PisteHorloge p;
        p.voie = v;
        p.film.nbImages = e.NbImages;
        p.film.dureeMs = e.DureeMs;
        pistes.push_back(p);
        m.nbImages = static_cast<int>(e.NbImages);
    }
    {
        std::vector<FilmHorloge> f;
        for (const PisteHorloge& p : pistes)
            f.push_back(p.film);
        const std::vector<PlageHorloge> plages = PlacerFilms(f);
        for (size_t i = 0; i < pistes.size(); ++i)
            pistes[i].plage = plages[i];
    }
    {
        std::unique_ptr<Th_Lecteur_Magneto> lecteurs[NbTuiles];
        for (int v = 0; v < NbTuiles; ++v)
            lecteurs[v] = std::make_unique<Th_Lecteur_Magneto>(v);
        THorloge horloge;
        horloge.FixerPistes(pistes);
        horloge.FixerSelection(0);
        QEventLoop attente;
        QTimer::singleShot(AttenteDemarrageLecteurMs + 200, &attente, &QEventLoop::quit);
        attente.exec();
        horloge.Aller(horloge.Etendue().debut);
        QTimer::singleShot(500, &attente, &QEventLoop::quit);
        attente.exec();
        for (CibleComptee& c : cibles) {
            c.images.clear();
        }
        const int64_t tempsDepart = horloge.Temps();
        horloge.Jouer();
        const double debut = HorlogeMs();
        const double cpuDebut = CpuProcessusS();
        const double limite = m.nbImages * 1000.0 / Cadence + MargeFinMs;
        QEventLoop boucle;
        QTimer tic;
        QObject::connect(&tic, &QTimer::timeout, [&] {
            int bas = 1 << 30, haut = -1;
            for (int v = 0; v < NbTuiles; ++v) {
                const int r = PrendreMutexVoie(v);
                const int64_t k = Voies[v].ImageMontree;
                if (r == 0)
                    RendreMutexVoie(v);
                bas = std::min<int>(bas, static_cast<int>(k));
                haut = std::max<int>(haut, static_cast<int>(k));
            }
            if (bas > 0 && haut < m.nbImages - 1)
                m.ecarts.push_back(haut - bas);
            if (horloge.Avancer())
                boucle.quit();
            if (HorlogeMs() - debut > limite) {
                m.abandon = true;
                boucle.quit();
            }
        });
        tic.start(TicMs);
        boucle.exec();
        m.murS = (HorlogeMs() - debut) / 1000.0;
        m.cpuS = CpuProcessusS() - cpuDebut;
        m.horlogeParSeconde = (horloge.Temps() - tempsDepart) / 1e6 / m.murS;
        horloge.Arreter();
    }
    for (int v = 0; v < NbTuiles; ++v) {
        m.montrees[v] = cibles[v].images.size();
        CiblesImage[v] = nullptr;
        Voies[v].BufferImage = Voies[v].ImageSortie = nullptr;
    }
    return m;
}

void Ecrire(const char* nom, Mesure m)
{
    std::printf("| %s |", nom);
    for (int v = 0; v < NbTuiles; ++v)
        std::printf(" %.1f %% |", 100.0 * static_cast<double>(m.montrees[v]) / std::max(1, m.nbImages));
    std::printf(" %.3f |", m.horlogeParSeconde);
    if (m.ecarts.empty()) {
        std::printf(" - |");
    } else {
        std::sort(m.ecarts.begin(), m.ecarts.end());
        std::printf(" %d / %d / %d |", m.ecarts[m.ecarts.size() / 2],
                    m.ecarts[static_cast<size_t>(0.95 * (m.ecarts.size() - 1))], m.ecarts.back());
    }
    std::printf(" %.1f s | %.1f s |%s\n", m.murS, m.cpuS, m.abandon ? " ABANDON" : "");
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv)
{
    ReglerTasMemoire(); // as the player does
    QCoreApplication app(argc, argv);
    SilencerCodecs();
    DossierBench temporaire;
    const std::string dossier = argc > 1 ? argv[1] : temporaire.chemin;
    const int nbImages = argc > 2 ? std::max(50, std::atoi(argv[2])) : NbImagesFfmpegDefaut;
    if (dossier.empty() || (mkdir(dossier.c_str(), 0755) != 0 && errno != EEXIST))
        return 1;

    std::printf("Quatre films H.264 à %d images/s ensemble sur une horloge, x 1 ; part des images remises par tuile, "
                "secondes de film de l'horloge par seconde (1.0 : à l'heure), écart entre tuiles en images "
                "(médian / 95 %% / max), temps mur et CPU du processus\n",
                Cadence);
    std::printf("| films | tuile 1 | tuile 2 | tuile 3 | tuile 4 | horloge s/s | écart | mur | CPU |\n"
                "|---|---|---|---|---|---|---|---|---|\n");
    std::fflush(stdout);
    std::vector<std::string> films;
    if (FilmsFabricant(temporaire.chemin, films))
        Ecrire("4 x 720p, fabricant du projet, 375 images", Mesurer(films));
    else
        std::printf("| 4 x 720p, fabricant du projet | films non fabriqués |\n");
    const struct {
        int largeur, hauteur;
        const char* nom;
    } tailles[] = {{1280, 720, "720p"}, {1920, 1080, "1080p"}};
    for (const auto& t : tailles) {
        char nom[96];
        std::snprintf(nom, sizeof nom, "4 x %s, ffmpeg, %d images", t.nom, nbImages);
        std::fprintf(stderr, "%s : fabrication\n", nom);
        if (!FilmsFfmpeg(dossier, t.largeur, t.hauteur, nbImages, films)) {
            std::printf("| %s | films impossibles à fabriquer (ffmpeg) |\n", nom);
            continue;
        }
        Ecrire(nom, Mesurer(films));
    }
    return 0;
}
