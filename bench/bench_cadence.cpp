// Pacing of the reader thread: a 25 pictures/s film at x 1 and x 16, each
// hand-over time against its due time (mean and 99th percentile lateness),
// and the pictures shown per second at x 16.
#include "commun_bench.h"
#include "filmmaker.h"

#include <QCoreApplication>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

constexpr double Cadence = 25.0;

struct Mesure {
    double moyenne = 0, p99 = 0, max = 0, imagesParSeconde = 0;
    int images = 0, desordres = 0;
};

// Due time of picture k (from 0) counted from the run start, as the reader
// computes it from the header words.
Mesure Mesurer(const CibleChronometree& c, uint32_t nbImages, uint32_t dureeMs, double vitesse)
{
    Mesure m;
    m.images = static_cast<int>(c.temps.size());
    if (m.images < 2)
        return m;
    std::vector<double> retards;
    for (int k = 0; k < m.images; ++k) {
        const double du = std::trunc((k * static_cast<double>(dureeMs) + 0.5) / (nbImages * vitesse));
        retards.push_back(c.temps[k] - du);
        if (k > 0 && c.numeros[k] != c.numeros[k - 1] + 1)
            ++m.desordres;
    }
    // The run start is not seen from outside: the earliest picture relative
    // to its due time stands for it (lateness 0).
    const double origine = *std::min_element(retards.begin(), retards.end());
    for (double& r : retards) {
        r -= origine;
        m.moyenne += r;
    }
    m.moyenne /= m.images;
    std::sort(retards.begin(), retards.end());
    m.p99 = retards[static_cast<size_t>(0.99 * (m.images - 1))];
    m.max = retards.back();
    m.imagesParSeconde = (m.images - 1) * 1000.0 / (c.temps.back() - c.temps.front());
    return m;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    SilencerCodecs();
    DossierBench dossier;
    struct Cas {
        double vitesse;
        int nbImages;
    };
    // 10 s of film at x 1; 40 s at x 16 (2.5 s of playing).
    const Cas cas[] = {{1.0, 250}, {16.0, 1000}};
    int echecs = 0;
    std::printf("Cadence : film MJPEG 320 x 240 a %.0f images/s\n", Cadence);
    for (const Cas& c : cas) {
        const std::string film = dossier.chemin + "/cadence" + std::to_string(c.nbImages) + ".mjp";
        OptionsFilm o;
        o.nbImages = c.nbImages;
        o.cadence = Cadence;
        ResultatFilm r;
        if (FabriquerFilm(film, o, &r) != 0)
            return 1;
        CibleChronometree cible;
        if (!JouerFilm(film, 1, c.vitesse, cible, 60000)) {
            std::printf("x %-4g le film ne s'est pas termine\n", c.vitesse);
            ++echecs;
            continue;
        }
        const Mesure m = Mesurer(cible, r.nbImages, r.dureeMs, c.vitesse);
        std::printf("x %-4g %4d images (%d hors ordre) : retard moyen %.2f ms, p99 %.2f ms, max %.2f ms ; "
                    "%.1f images/s montrees\n",
                    c.vitesse, m.images, m.desordres, m.moyenne, m.p99, m.max, m.imagesParSeconde);
    }
    return echecs;
}
