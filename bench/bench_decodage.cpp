// Decode throughput of the reader's data path (chunks, decoding points,
// decoding into bitmap file images, DecoderFilmSansCadence), without pacing
// or hand-over, against the ffmpeg program decoding the same body to BGR24
// with the same number of threads; then the reader thread's pacing at x 16.
//
// The films are made by ffmpeg itself with its encoders' defaults (one slice
// per picture, a key picture every 50), without B-pictures as recorders
// write them (libx264 would add some: -bf 0), and kept in a folder so that
// later runs reuse them:
//   bench_decodage [FOLDER [PASSES [FILE [empreinte|x16]]]]   (default: a temporary folder, 5 passes)
// With FILE (one of the film file names) only the reader decodes that film:
// a run to profile; a fifth argument "empreinte" prints a fingerprint of the
// pictures, "x16" plays the film through the reader thread at x 16 instead.
#include "commun_bench.h"
#include "core/tas_memoire.h"

#include <QCoreApplication>

#include <sys/resource.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <iterator>
#include <memory>

#include "engine/lecture_film.h"
#include "filmmaker.h" // SilencerCodecs

namespace {

constexpr int FilsFfmpeg = 2; // the codec library decodes with two threads
constexpr int PassesParDefaut = 5;
constexpr int Cadence = 25;
constexpr double VitesseRapide = 16.0;

struct Film {
    const char* nom;       // line label
    const char* fichier;   // file name in the folder
    int type;              // TypeFilm
    const char* codeur;    // ffmpeg encoder options
    const char* format;    // ffmpeg raw format of the body
    int largeur, hauteur, nbImages;
};

const Film Films[] = {
    {"H.264 720p", "h264_720.264", TypeH264, "-c:v libx264 -bf 0 -pix_fmt yuv420p", "h264", 1280, 720, 1500},
    {"MPEG-4 720p", "mpeg4_720.mp4", TypeMpeg4, "-c:v mpeg4", "m4v", 1280, 720, 1500},
    {"MJPEG 720p", "mjpeg_720.mjp", TypeMjpeg, "-c:v mjpeg -pix_fmt yuvj420p", "mjpeg", 1280, 720, 1500},
    {"H.264 1080p", "h264_1080.264", TypeH264, "-c:v libx264 -bf 0 -pix_fmt yuv420p", "h264", 1920, 1080, 500},
    {"MPEG-4 1080p", "mpeg4_1080.mp4", TypeMpeg4, "-c:v mpeg4", "m4v", 1920, 1080, 500},
};

double CpuProcessus()
{
    timespec t {};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return t.tv_sec + t.tv_nsec / 1e9;
}

double CpuEnfants()
{
    rusage u {};
    getrusage(RUSAGE_CHILDREN, &u);
    return u.ru_utime.tv_sec + u.ru_utime.tv_usec / 1e6 + u.ru_stime.tv_sec + u.ru_stime.tv_usec / 1e6;
}

// Makes the body with ffmpeg (BODY.raw) and the film (header words then the
// body) unless both are already there.
bool PreparerFilm(const std::string& dossier, const Film& f, std::string& film, std::string& corps)
{
    film = dossier + "/" + f.fichier;
    corps = film + ".raw";
    if (FilmDejaFait(film) && FilmDejaFait(corps))
        return true;
    char commande[1024];
    std::snprintf(commande, sizeof commande,
                  "ffmpeg -hide_banner -nostdin -loglevel error -y -f lavfi -i testsrc2=size=%dx%d:rate=%d "
                  "-frames:v %d -g 50 %s -f %s '%s'",
                  f.largeur, f.hauteur, Cadence, f.nbImages, f.codeur, f.format, corps.c_str());
    if (std::system(commande) != 0)
        return false;
    std::ifstream entree(corps, std::ios::binary);
    std::vector<char> octets((std::istreambuf_iterator<char>(entree)), {});
    std::ofstream sortie(film, std::ios::binary);
    Poser32(sortie, static_cast<uint32_t>(f.nbImages));
    Poser32(sortie, static_cast<uint32_t>(f.nbImages * 1000 / Cadence));
    sortie.write(octets.data(), static_cast<std::streamsize>(octets.size()));
    return static_cast<bool>(sortie);
}

struct Temps {
    double mur = -1, cpu = -1;
};

Temps Mediane(std::vector<Temps> v)
{
    if (v.empty())
        return {};
    std::sort(v.begin(), v.end(), [](const Temps& a, const Temps& b) { return a.mur < b.mur; });
    return v[v.size() / 2];
}

Temps PasseFfmpeg(const std::string& corps, const char* format)
{
    char commande[1024];
    std::snprintf(commande, sizeof commande,
                  "ffmpeg -hide_banner -nostdin -loglevel error -threads %d -f %s -i '%s' -pix_fmt bgr24 "
                  "-f null -",
                  FilsFfmpeg, format, corps.c_str());
    const double cpu = CpuEnfants();
    const double debut = HorlogeMs();
    if (std::system(commande) != 0)
        return {};
    return {(HorlogeMs() - debut) / 1000.0, CpuEnfants() - cpu};
}

void AfficherCharge()
{
    FILE* f = std::fopen("/proc/loadavg", "r");
    char ligne[128] = "?";
    if (f != nullptr) {
        if (std::fgets(ligne, sizeof ligne, f) == nullptr)
            ligne[0] = 0;
        std::fclose(f);
    }
    std::printf("Charge de la machine (loadavg) : %s", ligne);
}

} // namespace

int main(int argc, char** argv)
{
    ReglerTasMemoire(); // as the player does
    QCoreApplication app(argc, argv);
    SilencerCodecs();
    DossierBench temporaire;
    const std::string dossier = argc > 1 ? argv[1] : temporaire.chemin;
    const int passes = argc > 2 ? std::max(1, std::atoi(argv[2])) : PassesParDefaut;
    if (dossier.empty() || (mkdir(dossier.c_str(), 0755) != 0 && errno != EEXIST))
        return 1;
    std::unique_ptr<unsigned char[]> sortie(new unsigned char[TailleBufferImage]);
    if (argc > 3) {
        for (const Film& f : Films) {
            std::string film, corps;
            if (std::strcmp(argv[3], f.fichier) != 0 || !PreparerFilm(dossier, f, film, corps))
                continue;
            const std::string mode = argc > 4 ? argv[4] : "";
            if (mode == "x16") {
                for (int p = 0; p < passes; ++p) {
                    CibleChronometree cible;
                    cible.lireNumeros = false;
                    JouerFilm(film, f.type, VitesseRapide, cible, 120000);
                    const double mur = cible.temps.size() > 1 ? cible.temps.back() - cible.temps.front() : 0;
                    std::printf("%s x %.0f : %zu images en %.2f s\n", f.nom, VitesseRapide, cible.temps.size(),
                                mur / 1000.0);
                }
                continue;
            }
            // A print of every picture shown (a byte in 61), to compare builds.
            uint64_t empreinte = 0;
            const auto image = [&](const ImageDecodee& r, const unsigned char* b) {
                for (int32_t i = 0; b != nullptr && i < r.taille; i += 61)
                    empreinte = (empreinte ^ b[i]) * 1099511628211ull;
            };
            for (int p = 0; p < passes; ++p) {
                empreinte = 1469598103934665603ull;
                const int images = DecoderFilmSansCadence(film.c_str(), f.type, "", 0, sortie.get(),
                                                          TailleBufferImage,
                                                          mode == "empreinte" ? std::function<void(const ImageDecodee&, const unsigned char*)>(image) : nullptr);
                std::printf("%s : %d images, empreinte %016llx\n", f.nom, images,
                            static_cast<unsigned long long>(empreinte));
            }
        }
        return 0;
    }

    AfficherCharge();
    std::printf("Decodage a plat, films faits par ffmpeg, mediane de %d passes, ffmpeg -threads %d\n", passes,
                FilsFfmpeg);
    std::printf("%-13s %6s | %-28s | %-17s | %s\n", "film", "images", "lecteur : mur (images/s), CPU",
                "ffmpeg : mur, CPU", "lecteur / ffmpeg (mur)");
    int echecs = 0;
    for (const Film& f : Films) {
        std::string film, corps;
        if (!PreparerFilm(dossier, f, film, corps)) {
            std::printf("%-13s film impossible a fabriquer (ffmpeg)\n", f.nom);
            ++echecs;
            continue;
        }
        std::vector<Temps> lecteur, ffmpeg;
        int images = 0;
        // Alternate the two so that a change of load touches both alike.
        for (int p = 0; p < passes; ++p) {
            const double cpu = CpuProcessus();
            const double debut = HorlogeMs();
            images = DecoderFilmSansCadence(film.c_str(), f.type, "", 0, sortie.get(), TailleBufferImage, nullptr);
            lecteur.push_back({(HorlogeMs() - debut) / 1000.0, CpuProcessus() - cpu});
            const Temps t = PasseFfmpeg(corps, f.format);
            if (t.mur > 0)
                ffmpeg.push_back(t);
        }
        const Temps l = Mediane(lecteur);
        const Temps m = Mediane(ffmpeg);
        if (images != f.nbImages)
            ++echecs;
        if (m.mur <= 0) {
            std::printf("%-13s %6d | %6.2f s (%6.1f/s) %6.2f s | ffmpeg indisponible\n", f.nom, images, l.mur,
                        images / l.mur, l.cpu);
            continue;
        }
        std::printf("%-13s %6d | %6.2f s (%6.1f/s) %6.2f s | %6.2f s %6.2f s | %.2f%s\n", f.nom, images, l.mur,
                    images / l.mur, l.cpu, m.mur, m.cpu, l.mur / m.mur, l.mur / m.mur <= 0.87 ? "" : " (> 0.87)");
    }

    // Pacing at x 16 through the reader thread: the share of due pictures
    // shown is the film time played over the wall time it took; median of
    // the passes, the lowest and highest beside it.
    std::printf("Cadence x %.0f (lecteur complet, %d images/s dues), mediane de %d passes\n", VitesseRapide,
                static_cast<int>(Cadence * VitesseRapide), passes);
    for (const Film& f : Films) {
        if (f.type != TypeH264)
            continue;
        const std::string film = dossier + "/" + f.fichier;
        if (!FilmDejaFait(film))
            continue;
        struct Jeu {
            double mur;    // seconds from the first picture shown to the last
            size_t images; // pictures shown
            double Part() const { return std::min(100.0, 100.0 * (images - 1) / (Cadence * VitesseRapide) / mur); }
        };
        std::vector<Jeu> jeux;
        for (int p = 0; p < passes; ++p) {
            CibleChronometree cible;
            cible.lireNumeros = false;
            if (!JouerFilm(film, f.type, VitesseRapide, cible, 120000) || cible.temps.size() < 2)
                break;
            jeux.push_back({(cible.temps.back() - cible.temps.front()) / 1000.0, cible.temps.size()});
        }
        if (static_cast<int>(jeux.size()) < passes) {
            std::printf("%-13s le film ne s'est pas termine\n", f.nom);
            ++echecs;
            continue;
        }
        std::sort(jeux.begin(), jeux.end(), [](const Jeu& a, const Jeu& b) { return a.mur < b.mur; });
        const Jeu& m = jeux[jeux.size() / 2];
        std::printf("%-13s %zu images montrees en %.2f s : %.1f images/s, %.0f %% des images dues (%.0f a %.0f %%)\n",
                    f.nom, m.images, m.mur, (m.images - 1) / m.mur, m.Part(), jeux.back().Part(),
                    jeux.front().Part());
    }
    AfficherCharge();
    return echecs == 0 ? 0 : 1;
}
