// Scan of a day of films for the day strip: 24 hourly films of an hour each,
// one per hour folder, with their ".hrd", ".pcm" and ".msr" companions. The
// scan reads each film's header, its ".hrd" and its measure lines (never
// the film body: the picture index is built when a film is opened). The
// target is 200 ms; the exit status is 1 above it.
// Usage: bench_chronologie [PASSES] (default 20)
#include "commun_bench.h"
#include "filmmaker.h"
#include "ui/chronologie_calcul.h"

#include <algorithm>
#include <fstream>

namespace {

constexpr double CibleMs = 200;
constexpr uint32_t HeureMs = 3600000;

} // namespace

int main(int argc, char** argv)
{
    const int passes = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
    SilencerCodecs();
    DossierBench dossier;
    if (dossier.chemin.empty())
        return 2;
    std::string premier;
    for (int heure = 0; heure < 24; ++heure) {
        DateHeure d;
        d.heure = heure;
        d.minute = 0;
        OptionsFilm o;
        o.largeur = 320;
        o.hauteur = 240;
        o.nbImages = 25;
        o.dureeMs = HeureMs;
        o.dates = true;
        o.dateDebut = d;
        o.mesures = true;
        const std::string chemin = CheminHoraire(dossier.chemin, d, ".mjp");
        ResultatFilm r;
        if (FabriquerFilm(chemin, o, &r) != 0) {
            std::fprintf(stderr, "%s\n", r.erreur.c_str());
            return 2;
        }
        // The sound of an hour (28.8 MB) is never read by the scan; a
        // short one stands for it.
        std::ofstream(NomCompagnon(chemin, "pcm"), std::ios::binary) << std::string(OctetsSonParSeconde, '\x7f');
        if (premier.empty())
            premier = chemin;
    }

    std::vector<double> temps;
    size_t films = 0, instants = 0;
    for (int p = 0; p < passes; ++p) {
        const double t0 = HorlogeMs();
        JourDeFilms jour;
        ScannerJour(premier, jour);
        temps.push_back(HorlogeMs() - t0);
        films = jour.films.size();
        instants = 0;
        for (const FilmDuJour& f : jour.films)
            instants += f.mesures.size();
    }
    std::sort(temps.begin(), temps.end());
    const double mediane = temps[temps.size() / 2];
    std::printf("scan of a day: %zu films, %zu measure instants\n", films, instants);
    std::printf("  first pass %.2f ms, median of %d passes %.2f ms, worst %.2f ms (target %.0f ms)\n", temps.front(),
                passes, mediane, temps.back(), CibleMs);
    return films == 24 && temps.back() < CibleMs ? 0 : 1;
}
