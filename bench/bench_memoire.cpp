// Peak resident memory while the reader thread plays a 1 GB film (a
// 1280 x 720 MJPEG body repeated), at x 16.
#include "commun_bench.h"
#include "filmmaker.h"

#include <QCoreApplication>

#include <sys/statvfs.h>

#include <cstdio>
#include <fstream>
#include <iterator>

namespace {

constexpr int64_t TailleVisee = 1LL << 30;        // 1 GB film
constexpr int64_t EspaceLibreMin = 3LL << 30;     // keep room for the others on /tmp
constexpr int NbImagesMotif = 50;

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    SilencerCodecs();
    struct statvfs disque;
    if (statvfs("/tmp", &disque) != 0
        || static_cast<int64_t>(disque.f_bavail) * static_cast<int64_t>(disque.f_frsize) < EspaceLibreMin) {
        std::printf("Memoire : moins de 3 Go libres dans /tmp, mesure abandonnee\n");
        return 1;
    }
    DossierBench dossier;
    const std::string motif = dossier.chemin + "/motif.mjp";
    OptionsFilm o;
    o.largeur = 1280;
    o.hauteur = 720;
    o.nbImages = NbImagesMotif;
    o.qualiteJpeg = 95;
    if (FabriquerFilm(motif, o) != 0)
        return 1;
    std::ifstream entree(motif, std::ios::binary);
    std::vector<char> octets((std::istreambuf_iterator<char>(entree)), {});
    const int64_t corps = static_cast<int64_t>(octets.size()) - 8;
    const int64_t repetitions = (TailleVisee + corps - 1) / corps;
    const uint32_t nbImages = static_cast<uint32_t>(repetitions * NbImagesMotif);
    const uint32_t mots[2] = {nbImages, nbImages * 40u};  // 25 pictures/s
    const std::string film = dossier.chemin + "/grand.mjp";
    {
        std::ofstream sortie(film, std::ios::binary);
        sortie.write(reinterpret_cast<const char*>(mots), sizeof mots);
        for (int64_t i = 0; i < repetitions; ++i)
            sortie.write(octets.data() + 8, static_cast<std::streamsize>(corps));
    }
    const long avant = LireStatutKo("VmHWM");
    CibleChronometree cible;
    cible.lireNumeros = false;
    long rssMax = 0;
    const double debut = HorlogeMs();
    const bool fini = JouerFilm(film, 1, 16.0, cible, 600000, [&] {
        rssMax = std::max(rssMax, LireStatutKo("VmRSS"));
    });
    const double secondes = (HorlogeMs() - debut) / 1000.0;
    std::printf("Memoire : film de %.2f Go, %u images 1280 x 720, %zu montrees en %.1f s (%s)\n",
                (repetitions * corps + 8) / 1073741824.0, nbImages, cible.temps.size(), secondes,
                fini ? "fin du film" : "arrete avant la fin");
    std::printf("VmHWM avant lecture %.1f Mo, apres lecture %.1f Mo ; VmRSS max observe %.1f Mo\n",
                avant / 1024.0, LireStatutKo("VmHWM") / 1024.0, rssMax / 1024.0);
    return fini ? 0 : 1;
}
