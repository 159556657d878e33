// Scan of a day of films for the day strip: 24 hourly films of an hour each,
// one per hour folder, with their ".hrd", ".pcm" and ".msr" companions. The
// scan reads each film's header, its ".hrd" and its measure lines (never
// the film body: the picture index is built when a film is opened). The
// target is 200 ms; the exit status is 1 above it.
// Then the time from a second to its preview (plan and decoding of the
// nearest key picture, as the preview thread does after the pointer rests)
// on a 1280 x 720 H.264 film, with and without its picture index.
// Usage: bench_chronologie [PASSES] (default 20)
#include "commun_bench.h"
#include "filmmaker.h"
#include "engine/apercu_calcul.h"
#include "engine/fichierfilm.h"
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
    const bool jourBon = films == 24 && temps.back() < CibleMs;

    // Previews of a 720p H.264 film, 20 s at 25 pictures a second, a key
    // picture each second.
    OptionsFilm o;
    o.largeur = 1280;
    o.hauteur = 720;
    o.nbImages = 500;
    o.cadence = 25;
    o.gop = 25;
    const std::string film = dossier.chemin + "/apercus.264";
    if (FabriquerFilm(film, o) != 0)
        return 2;
    std::vector<unsigned char> octets(size_t(TailleFichier(film)));
    FILE* f = std::fopen(film.c_str(), "rb");
    if (!f || std::fread(octets.data(), 1, octets.size(), f) != octets.size())
        return 2;
    std::fclose(f);
    const IndexImages index = IndexerOctets(2, octets.data() + 8, octets.size() - 8, 8);
    for (const IndexImages* avec : {&index, static_cast<const IndexImages*>(nullptr)}) {
        std::vector<double> apercus;
        for (int s = 0; s < 20; ++s) {
            const double t0 = HorlogeMs();
            int type = -1;
            const PlanApercu plan = PlanPourSeconde(film, s + 0.5, avec, false, type);
            ImageApercu image;
            if (!plan.Valide() || DecoderApercu(film, type, plan, false, LargeurApercu, HauteurApercu, image) != 0)
                return 1;
            apercus.push_back(HorlogeMs() - t0);
        }
        std::sort(apercus.begin(), apercus.end());
        std::printf("preview of a 720p H.264 second %s: median %.2f ms, worst %.2f ms\n",
                    avec ? "with its index" : "without index", apercus[apercus.size() / 2], apercus.back());
    }
    return jourBon ? 0 : 1;
}
