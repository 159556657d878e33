// Exact copy speed against the ffmpeg program, and memory while copying a
// large film.
//
// Films of 10 minutes at 25 pictures/s, 1280 x 720 and 1920 x 1080, H.264
// baseline as the recorders write it: a 30-second body made by ffmpeg
// (a key picture every 2 s, parameter sets with each) repeated 20 times
// behind a film header. The copy to MP4 (index first) is timed against
// "ffmpeg -f h264 -i BODY -c copy OUT.mp4" on the same bytes, median of
// 5 runs each, wall and CPU time; ffmpeg with +faststart is shown beside
// it, since the copy moves its index to the front too.
#include "commun_bench.h"
#include "export/copie_exacte.h"

extern "C" {
#include <libavutil/log.h>
}

#include <sys/resource.h>
#include <sys/statvfs.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>

namespace {

constexpr int ImagesParSeconde = 25;
constexpr int SecondesMotif = 30;
constexpr int Repetitions = 20; // 10 minutes
constexpr int Passes = 5;
constexpr int64_t TailleGrandFilm = 2LL << 30;
constexpr int64_t EspaceLibreMin = 5LL << 30;

double CpuS(int qui)
{
    rusage r{};
    getrusage(qui, &r);
    return r.ru_utime.tv_sec + r.ru_stime.tv_sec + (r.ru_utime.tv_usec + r.ru_stime.tv_usec) / 1e6;
}

bool Executer(const std::string& c)
{
    return std::system(c.c_str()) == 0;
}

double Mediane(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

// The body repeated into a raw file and a film file (header words first).
bool Fabriquer(const std::string& motif, const std::string& brut, const std::string& film, int64_t repetitions,
               uint32_t* nbImages)
{
    std::ifstream e(motif, std::ios::binary);
    std::vector<char> o((std::istreambuf_iterator<char>(e)), {});
    if (o.empty())
        return false;
    *nbImages = uint32_t(repetitions * SecondesMotif * ImagesParSeconde);
    const uint32_t mots[2] = {*nbImages, uint32_t(repetitions * SecondesMotif * 1000)};
    std::ofstream f(film, std::ios::binary), b(brut, std::ios::binary);
    f.write(reinterpret_cast<const char*>(mots), sizeof mots);
    for (int64_t i = 0; i < repetitions; ++i) {
        f.write(o.data(), std::streamsize(o.size()));
        if (!brut.empty())
            b.write(o.data(), std::streamsize(o.size()));
    }
    return bool(f);
}

bool Motif(const char* taille, const char* debit, const std::string& chemin)
{
    return Executer(std::string("ffmpeg -v error -nostdin -f lavfi -i testsrc2=size=") + taille + ":rate="
                    + std::to_string(ImagesParSeconde) + " -frames:v "
                    + std::to_string(SecondesMotif * ImagesParSeconde)
                    + " -c:v libx264 -profile:v baseline -preset veryfast -g 50 -b:v " + debit
                    + " -f h264 -y '" + chemin + "'");
}

void MesurerCopie(const DossierBench& d, const char* nom, const char* taille, const char* debit)
{
    const std::string motif = d.chemin + "/motif_" + nom + ".h264";
    const std::string brut = d.chemin + "/corps_" + nom + ".h264";
    const std::string film = d.chemin + "/film_" + nom + ".264";
    uint32_t n = 0;
    if (!Motif(taille, debit, motif) || !Fabriquer(motif, brut, film, Repetitions, &n)) {
        std::printf("%s : ffmpeg indisponible\n", nom);
        return;
    }
    const std::string sortie = d.chemin + "/copie.mp4", sortieF = d.chemin + "/ffmpeg.mp4";
    std::vector<double> mur, cpu, murF, cpuF, murFs;
    int64_t images = 0;
    for (int i = 0; i < Passes; ++i) {
        ParametresCopie p;
        p.cheminFilm = film;
        p.sortie = sortie;
        double t = HorlogeMs(), c = CpuS(RUSAGE_SELF);
        const BilanCopie b = CopierExacte(p);
        mur.push_back((HorlogeMs() - t) / 1000);
        cpu.push_back(CpuS(RUSAGE_SELF) - c);
        images = b.images;
        if (b.resultat != ResultatCopie::Enregistree)
            std::printf("%s : copie en échec (%d)\n", nom, int(b.resultat));
        std::remove(sortie.c_str());

        t = HorlogeMs(), c = CpuS(RUSAGE_CHILDREN);
        Executer("ffmpeg -v error -nostdin -f h264 -i '" + brut + "' -c copy -y '" + sortieF + "'");
        murF.push_back((HorlogeMs() - t) / 1000);
        cpuF.push_back(CpuS(RUSAGE_CHILDREN) - c);
        std::remove(sortieF.c_str());

        t = HorlogeMs();
        Executer("ffmpeg -v error -nostdin -f h264 -i '" + brut + "' -c copy -movflags +faststart -y '" + sortieF + "'");
        murFs.push_back((HorlogeMs() - t) / 1000);
        std::remove(sortieF.c_str());
    }
    std::ifstream e(brut, std::ios::binary | std::ios::ate);
    const double mo = double(e.tellg()) / 1048576.0;
    std::printf("| %-5s | %6.0f Mo | %6lld | %6.2f s (CPU %5.2f s) | %6.2f s (CPU %5.2f s) | %6.2f s | %5.2f |\n", nom,
                mo, (long long)images, Mediane(mur), Mediane(cpu), Mediane(murF), Mediane(cpuF), Mediane(murFs),
                Mediane(mur) / Mediane(murF));
    std::fflush(stdout);
    std::remove(brut.c_str());
    std::remove(film.c_str());
    std::remove(motif.c_str());
}

void Memoire(const DossierBench& d)
{
    struct statvfs disque;
    if (statvfs(d.chemin.c_str(), &disque) != 0
        || int64_t(disque.f_bavail) * int64_t(disque.f_frsize) < EspaceLibreMin) {
        std::printf("Mémoire : moins de 5 Go libres, mesure abandonnée\n");
        return;
    }
    const std::string motif = d.chemin + "/motif_memoire.h264";
    const std::string film = d.chemin + "/grand.264";
    if (!Motif("1920x1080", "8M", motif))
        return;
    std::ifstream e(motif, std::ios::binary | std::ios::ate);
    const int64_t taille = e.tellg();
    uint32_t n = 0;
    if (taille <= 0 || !Fabriquer(motif, std::string(), film, (TailleGrandFilm + taille - 1) / taille, &n))
        return;
    // The peak so far (the film built in memory) is forgotten: from here
    // the high-water mark is the copy's own.
    if (FILE* f = std::fopen("/proc/self/clear_refs", "w")) {
        std::fputs("5", f);
        std::fclose(f);
    }
    const long avant = LireStatutKo("VmRSS");
    ParametresCopie p;
    p.cheminFilm = film;
    p.sortie = d.chemin + "/grand.mp4";
    const double t = HorlogeMs(), c = CpuS(RUSAGE_SELF);
    const BilanCopie b = CopierExacte(p);
    std::printf("Mémoire : film H.264 1080p de %.2f Go, %lld images copiées en %.1f s (CPU %.1f s), résultat %d\n",
                (double(taille) * ((TailleGrandFilm + taille - 1) / taille) + 8) / 1073741824.0,
                (long long)b.images, (HorlogeMs() - t) / 1000, CpuS(RUSAGE_SELF) - c, int(b.resultat));
    std::printf("VmRSS avant %.1f Mo, VmHWM après la copie %.1f Mo (+%.1f Mo ; cible : +32 Mo au plus)\n", avant / 1024.0,
                LireStatutKo("VmHWM") / 1024.0, (LireStatutKo("VmHWM") - avant) / 1024.0);
    std::remove(p.sortie.c_str());
    std::remove(film.c_str());
    std::remove(motif.c_str());
}

} // namespace

// Usage: bench_copie [memoire] [720p] [1080p] (all by default).
int main(int argc, char** argv)
{
    av_log_set_level(AV_LOG_ERROR); // the muxer's notes would break the table
    DossierBench d;
    auto demande = [&](const char* partie) { return PartieDemandee(argc, argv, partie); };
    // Memory first: the process's peak is still its own.
    if (demande("memoire"))
        Memoire(d);
    std::printf("| film  |  corps    | images | copie exacte (médiane de %d) | ffmpeg -c copy (médiane)    | "
                "ffmpeg +faststart | rapport (cible <= 1.2) |\n",
                Passes);
    std::printf("|---|---|---|---|---|---|---|\n");
    if (demande("720p"))
        MesurerCopie(d, "720p", "1280x720", "4M");
    if (demande("1080p"))
        MesurerCopie(d, "1080p", "1920x1080", "8M");
    return 0;
}
