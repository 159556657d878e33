// Four films shown together on one clock: four 720p25 H.264 films played
// at x 1 from the same start through four readers driven by the mosaic's
// clock. For each tile, the share of its pictures handed over; for the
// group, how far apart the tiles' pictures on screen were (in pictures),
// sampled at each display tick.
#include "commun_bench.h"
#include "engine/lecture_film.h"
#include "filmmaker.h"
#include "ui/horloge.h"

#include <QCoreApplication>

#include <algorithm>
#include <cstdio>
#include <memory>

namespace {

constexpr int NbTuiles = 4;
constexpr int Largeur = 1280, Hauteur = 720;
constexpr double Cadence = 25.0;
constexpr int NbImagesDefaut = 375; // 15 s
// A clock that has not reached the end this long after it should have has
// lost its films: the run is given up.
constexpr int MargeFinMs = 30000;
// Display tick of the mosaic while playing.
constexpr int TicMs = 40;

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    SilencerCodecs();
    // Usage: bench_mosaique [PICTURES_PER_FILM]
    const int NbImages = argc > 1 ? std::max(50, std::atoi(argv[1])) : NbImagesDefaut;
    DossierBench dossier;
    std::vector<std::string> films;
    for (int i = 0; i < NbTuiles; ++i) {
        OptionsFilm o;
        o.largeur = Largeur;
        o.hauteur = Hauteur;
        o.nbImages = NbImages;
        o.cadence = Cadence;
        o.gop = 25;
        o.premierNumero = i * 1000;
        const std::string chemin = dossier.chemin + "/cam" + std::to_string(i) + ".264";
        if (FabriquerFilm(chemin, o) != 0) {
            std::fprintf(stderr, "film %s non fabriqué\n", chemin.c_str());
            return 1;
        }
        films.push_back(chemin);
        std::fprintf(stderr, "film %d fait\n", i + 1);
    }

    ReinitialiserEtat();
    CreerMutexGeneral();
    CibleChronometree cibles[NbTuiles];
    std::unique_ptr<unsigned char[]> images[NbTuiles];
    std::vector<PisteHorloge> pistes;
    for (int v = 0; v < NbTuiles; ++v) {
        CreerMutexVoie(v);
        images[v].reset(new unsigned char[TailleBufferImage]);
        Voies[v].BufferImage = Voies[v].ImageSortie = images[v].get();
        CiblesImage[v] = &cibles[v];
        EnteteFilm e;
        LireEnteteFilm(films[size_t(v)], e);
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
    }
    {
        std::vector<FilmHorloge> f;
        for (const PisteHorloge& p : pistes)
            f.push_back(p.film);
        const std::vector<PlageHorloge> plages = PlacerFilms(f);
        for (size_t i = 0; i < pistes.size(); ++i)
            pistes[i].plage = plages[i];
    }

    std::vector<int> ecarts; // spread of the tiles' pictures at each tick
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
        for (CibleChronometree& c : cibles) {
            c.temps.clear();
            c.numeros.clear();
        }
        horloge.Jouer();
        const double debut = HorlogeMs();
        const double limite = NbImages * 1000.0 / Cadence + MargeFinMs;
        bool abandon = false;
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
            if (bas > 0 && haut < NbImages - 1)
                ecarts.push_back(haut - bas);
            if (horloge.Avancer())
                boucle.quit();
            if (HorlogeMs() - debut > limite) {
                abandon = true;
                boucle.quit();
            }
        });
        tic.start(TicMs);
        boucle.exec();
        horloge.Arreter();
        if (abandon)
            std::printf("ABANDON : l'horloge n'a pas atteint la fin des films\n");
    }

    std::printf("Quatre films H.264 %dx%d à %.0f images/s, %d images chacun, x 1, ensemble sur une horloge\n",
                Largeur, Hauteur, Cadence, NbImages);
    std::printf("| tuile | images remises | part |\n|---|---|---|\n");
    for (int v = 0; v < NbTuiles; ++v) {
        const size_t n = cibles[v].temps.size();
        std::printf("| %d | %zu / %d | %.1f %% |\n", v + 1, n, NbImages, 100.0 * n / NbImages);
    }
    if (!ecarts.empty()) {
        std::sort(ecarts.begin(), ecarts.end());
        std::printf("Écart entre tuiles (images, %zu relevés) : médian %d, 95 %% %d, max %d\n", ecarts.size(),
                    ecarts[ecarts.size() / 2], ecarts[static_cast<size_t>(0.95 * (ecarts.size() - 1))],
                    ecarts.back());
    }
    for (int v = 0; v < NbTuiles; ++v) {
        CiblesImage[v] = nullptr;
        Voies[v].BufferImage = Voies[v].ImageSortie = nullptr;
    }
    return 0;
}
