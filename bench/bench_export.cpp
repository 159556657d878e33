// AVI export speed against the ffmpeg program, and peak memory while
// exporting a 2 GB film.
//
// Bodies of 1280 x 720 pictures made by ffmpeg (MJPEG with its defaults,
// H.264 baseline as the recorders write it), behind a film header; the
// export is timed against "ffmpeg -threads 2 -i BODY -c:v mpeg4 -vtag DX50
// OUT.avi" on the same body, wall and CPU time each, medians of five
// turns. The 2 GB film is an MPEG-4 body repeated (the copy path: no
// decoding, the walk and the writing are what is measured).
#include "commun_bench.h"
#include "export/avi_export.h"
#include "filmmaker.h"

#include <sys/resource.h>
#include <sys/statvfs.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>

namespace {

constexpr int NbImages = 1500;
constexpr int ImagesParSeconde = 25;
constexpr int FilsFfmpeg = 2;
constexpr int NbEssais = 5;
constexpr int64_t TailleGrandFilm = 2LL << 30;
constexpr int64_t EspaceLibreMin = 6LL << 30; // the film, its AVI, and room for the others

double CpuS(int qui)
{
    rusage r {};
    getrusage(qui, &r);
    return r.ru_utime.tv_sec + r.ru_stime.tv_sec + (r.ru_utime.tv_usec + r.ru_stime.tv_usec) / 1e6;
}

double Mediane(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

bool Executer(const std::string& c)
{
    return std::system(c.c_str()) == 0;
}

// A film file: the header words, then `repetitions` copies of the body.
bool Film(const std::string& corps, const std::string& film, int64_t repetitions, uint32_t nbImages)
{
    std::ifstream e(corps, std::ios::binary);
    std::vector<char> o((std::istreambuf_iterator<char>(e)), {});
    if (o.empty())
        return false;
    const uint32_t mots[2] = {nbImages, uint32_t(uint64_t(nbImages) * 1000 / ImagesParSeconde)};
    std::ofstream s(film, std::ios::binary);
    s.write(reinterpret_cast<const char*>(mots), sizeof mots);
    for (int64_t i = 0; i < repetitions; ++i)
        s.write(o.data(), std::streamsize(o.size()));
    return bool(s);
}

ParametresAvi Parametres(const std::string& film, int type, uint32_t nbImages, const std::string& avi)
{
    ParametresAvi p;
    p.cheminFilm = film;
    p.type = type;
    p.nbImages = nbImages;
    p.dureeSecondes = nbImages / ImagesParSeconde;
    p.cheminAvi = avi;
    return p;
}

void Memoire(const DossierBench& d)
{
    struct statvfs disque;
    if (statvfs(d.chemin.c_str(), &disque) != 0
        || int64_t(disque.f_bavail) * int64_t(disque.f_frsize) < EspaceLibreMin) {
        std::printf("Memoire : moins de 6 Go libres, mesure abandonnee\n");
        return;
    }
    const std::string corps = d.chemin + "/motif.m4v";
    if (!Executer("ffmpeg -v error -nostdin -f lavfi -i testsrc2=size=1280x720:rate=25 -frames:v 250 "
                  "-c:v mpeg4 -q:v 3 -f m4v -y '" + corps + "'"))
        return;
    std::ifstream e(corps, std::ios::binary | std::ios::ate);
    const int64_t taille = e.tellg();
    const int64_t repetitions = (TailleGrandFilm + taille - 1) / taille;
    const std::string film = d.chemin + "/grand.mp4";
    if (!Film(corps, film, repetitions, uint32_t(repetitions * 250)))
        return;
    const long avant = LireStatutKo("VmHWM");
    const double debut = HorlogeMs(), cpu = CpuS(RUSAGE_SELF);
    const BilanAvi b = ExportAvi(Parametres(film, 0, uint32_t(repetitions * 250), d.chemin + "/grand.avi"));
    const double s = (HorlogeMs() - debut) / 1000.0;
    std::printf("Memoire : film MPEG-4 de %.2f Go, %lld echantillons en %.1f s (CPU %.1f s), resultat %d\n",
                (repetitions * taille + 8) / 1073741824.0, (long long)b.echantillons, s, CpuS(RUSAGE_SELF) - cpu,
                int(b.resultat));
    std::printf("VmHWM avant %.1f Mo, apres l'export %.1f Mo (cible : moins de 200 Mo)\n", avant / 1024.0,
                LireStatutKo("VmHWM") / 1024.0);
    std::remove((d.chemin + "/grand.avi").c_str());
    std::remove(film.c_str());
}

void MesurerVitesse(const DossierBench& d, const char* nom, int type, const char* codec, const char* format)
{
    const std::string corps = d.chemin + "/corps_" + nom;
    if (!Executer(std::string("ffmpeg -v error -nostdin -f lavfi -i testsrc2=size=1280x720:rate=25 -frames:v ")
                  + std::to_string(NbImages) + " " + codec + " -f " + format + " -y '" + corps + "'")) {
        std::printf("%s : ffmpeg indisponible\n", nom);
        return;
    }
    const std::string film = d.chemin + "/film_" + nom + (type == 1 ? ".mjp" : ".264");
    if (!Film(corps, film, 1, NbImages))
        return;
    // The export and ffmpeg take turns, so that a load from elsewhere on
    // the machine weighs on both alike; the medians are compared.
    // For H.264, also the pictures as bitmaps, as when the date is burned
    // in (a hook that changes nothing).
    const bool bitmaps = type == 2;
    std::vector<double> murs, cpus, mursB, cpusB, mursF, cpusF;
    BilanAvi b;
    for (int essai = 0; essai < NbEssais; ++essai) {
        const double debut = HorlogeMs(), cpu = CpuS(RUSAGE_SELF);
        b = ExportAvi(Parametres(film, type, NbImages, d.chemin + "/lecteur.avi"));
        murs.push_back((HorlogeMs() - debut) / 1000.0);
        cpus.push_back(CpuS(RUSAGE_SELF) - cpu);
        if (bitmaps) {
            SuiviAvi suivi;
            suivi.crochetImage = [](unsigned char*, int32_t, int32_t, int32_t, int64_t) {};
            const double debutB = HorlogeMs(), cpuB = CpuS(RUSAGE_SELF);
            ExportAvi(Parametres(film, type, NbImages, d.chemin + "/lecteur.avi"), suivi);
            mursB.push_back((HorlogeMs() - debutB) / 1000.0);
            cpusB.push_back(CpuS(RUSAGE_SELF) - cpuB);
        }

        const double debutF = HorlogeMs(), cpuF = CpuS(RUSAGE_CHILDREN);
        Executer(std::string("ffmpeg -v error -nostdin -threads ") + std::to_string(FilsFfmpeg) + " -f " + format
                 + " -i '" + corps + "' -c:v mpeg4 -vtag DX50 -y '" + d.chemin + "/ffmpeg.avi'");
        mursF.push_back((HorlogeMs() - debutF) / 1000.0);
        cpusF.push_back(CpuS(RUSAGE_CHILDREN) - cpuF);
    }
    const double mur = Mediane(murs), murF = Mediane(mursF);
    std::printf("%-5s export %lld images en %.2f s (CPU %.2f s, %.0f images/s) ; ffmpeg -threads %d : %.2f s "
                "(CPU %.2f s) ; rapport des temps %.2f (cible <= 1.0) ; medianes de %d essais, resultat %d\n",
                nom, (long long)b.echantillons, mur, Mediane(cpus), b.echantillons / mur, FilsFfmpeg, murF,
                Mediane(cpusF), mur / murF, NbEssais, int(b.resultat));
    if (bitmaps)
        std::printf("%-5s par images BGR (date incrustee) : %.2f s (CPU %.2f s) ; rapport des temps %.2f\n", nom,
                    Mediane(mursB), Mediane(cpusB), Mediane(mursB) / murF);
    std::fflush(stdout);
}

} // namespace

// Usage: bench_export [memoire] [mjpeg] [h264] (all three by default).
int main(int argc, char** argv)
{
    SilencerCodecs();
    DossierBench d;
    auto demande = [&](const char* partie) { return PartieDemandee(argc, argv, partie); };
    // Memory first: the process's peak is still its own.
    if (demande("memoire"))
        Memoire(d);
    if (demande("mjpeg"))
        MesurerVitesse(d, "MJPEG", 1, "-c:v mjpeg", "mjpeg");
    if (demande("h264"))
        MesurerVitesse(d, "H.264", 2, "-c:v libx264 -profile:v baseline", "h264");
    return 0;
}
