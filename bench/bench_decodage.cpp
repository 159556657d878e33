// Decode throughput of the reader's data path (chunks, decoding points,
// decoding into bitmap file images), without pacing or hand-over, for
// 1280 x 720 films of each kind, against the ffmpeg program decoding the
// same body to BGR24 with the same number of threads.
#include "commun_bench.h"
#include "core/etat.h"
#include "engine/lecture_film.h"
#include "filmmaker.h"

#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>

namespace {

constexpr int Largeur = 1280;
constexpr int Hauteur = 720;
constexpr int NbImages = 150;
constexpr int Passes = 3;        // best of three: the machine is shared
constexpr int FilsFfmpeg = 2;    // threads of the codec library's decoders

// Seconds ffmpeg reports for decoding the body (its -benchmark rtime), or
// the wall time of the whole command when that line is missing.
double SecondesFfmpeg(const std::string& corps, const char* format)
{
    char commande[1024];
    std::snprintf(commande, sizeof commande,
                  "ffmpeg -hide_banner -nostdin -benchmark -threads %d -f %s -i '%s' -pix_fmt bgr24 "
                  "-f null - 2>&1",
                  FilsFfmpeg, format, corps.c_str());
    const double debut = HorlogeMs();
    FILE* p = popen(commande, "r");
    if (p == nullptr)
        return -1;
    char ligne[512];
    double rtime = -1;
    while (std::fgets(ligne, sizeof ligne, p) != nullptr) {
        const char* r = std::strstr(ligne, "rtime=");
        if (r != nullptr)
            rtime = std::atof(r + 6);
    }
    const int fin = pclose(p);
    if (fin != 0)
        return -1;
    return rtime > 0 ? rtime : (HorlogeMs() - debut) / 1000.0;
}

} // namespace

int main()
{
    SilencerCodecs();
    DossierBench dossier;
    if (dossier.chemin.empty())
        return 1;
    std::unique_ptr<unsigned char[]> sortie(new unsigned char[TailleBufferImage]);
    struct Genre {
        int type;
        const char* extension;
        const char* formatFfmpeg;
        const char* nom;
    };
    const Genre genres[] = {{1, ".mjp", "mjpeg", "MJPEG"}, {0, ".mp4", "m4v", "MPEG-4"}, {2, ".264", "h264", "H.264"}};
    std::printf("Débit de décodage, %d x %d, %d images, meilleure de %d passes\n", Largeur, Hauteur, NbImages, Passes);
    int echecs = 0;
    for (const Genre& g : genres) {
        const std::string film = dossier.chemin + "/film" + g.extension;
        OptionsFilm o;
        o.largeur = Largeur;
        o.hauteur = Hauteur;
        o.nbImages = NbImages;
        o.cadence = 25;
        o.gop = 25;
        if (FabriquerFilm(film, o) != 0) {
            std::printf("%-7s film impossible a fabriquer\n", g.nom);
            ++echecs;
            continue;
        }
        double meilleur = 0;
        int images = 0;
        for (int p = 0; p < Passes; ++p) {
            const double debut = HorlogeMs();
            images = DecoderFilmSansCadence(film.c_str(), g.type, "", 0, sortie.get(), TailleBufferImage, nullptr);
            const double ips = images * 1000.0 / (HorlogeMs() - debut);
            meilleur = std::max(meilleur, ips);
        }
        // The same body without the film header, for ffmpeg.
        std::ifstream entree(film, std::ios::binary);
        std::vector<char> octets((std::istreambuf_iterator<char>(entree)), {});
        const std::string corps = dossier.chemin + "/corps" + g.extension;
        std::ofstream(corps, std::ios::binary).write(octets.data() + 8, static_cast<std::streamsize>(octets.size() - 8));
        double meilleurFfmpeg = 0;
        for (int p = 0; p < Passes; ++p) {
            const double s = SecondesFfmpeg(corps, g.formatFfmpeg);
            if (s > 0)
                meilleurFfmpeg = std::max(meilleurFfmpeg, NbImages / s);
        }
        if (meilleurFfmpeg <= 0) {
            std::printf("%-7s lecteur %4d images, %7.1f images/s ; ffmpeg indisponible\n", g.nom, images, meilleur);
            continue;
        }
        std::printf("%-7s lecteur %4d images, %7.1f images/s ; ffmpeg -threads %d : %7.1f images/s ; rapport %.2f\n",
                    g.nom, images, meilleur, FilsFfmpeg, meilleurFfmpeg, meilleur / meilleurFfmpeg);
        if (images != NbImages)
            ++echecs;
    }
    return echecs == 0 ? 0 : 1;
}
