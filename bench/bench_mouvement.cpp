// Motion search speed and memory: an ffmpeg-made 720p25 H.264 film of
// several minutes (a recorder's scene: still, noisy, a few moving boxes,
// coded at a recorder's constant rate), searched as the command line does;
// the time is scaled to an hour of film. Then the check of the issue: a
// 2-minute noisy 640 x 360 film with five boxes moving inside the rectangle
// and three outside, through the command line.
//
// Usage: bench_mouvement [FOLDER [MINUTES]]  (films kept in FOLDER, default
// a temporary one; MINUTES of the 720p film, default 10). The machine's
// load counts: the CPU time is printed beside the wall time.
#include "engine/films_mouvement.h"
#include "engine/recherche_mouvement.h"
#include "export/commande_mouvement.h"

#include <sys/resource.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

double Mur()
{
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

double Cpu()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_utime.tv_sec + u.ru_utime.tv_usec / 1e6 + u.ru_stime.tv_sec + u.ru_stime.tv_usec / 1e6;
}

// Peak resident memory since the last RemettrePic (the process's peak when
// the system cannot reset it).
long PicMemoireKo()
{
    std::FILE* f = std::fopen("/proc/self/status", "r");
    long ko = -1;
    char ligne[256];
    while (f && std::fgets(ligne, sizeof ligne, f))
        if (std::sscanf(ligne, "VmHWM: %ld", &ko) == 1)
            break;
    if (f)
        std::fclose(f);
    if (ko >= 0)
        return ko;
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss;
}

void RemettrePic()
{
    if (std::FILE* f = std::fopen("/proc/self/clear_refs", "w")) {
        std::fputs("5", f);
        std::fclose(f);
    }
}

bool Existe(const std::string& chemin)
{
    struct stat s{};
    return stat(chemin.c_str(), &s) == 0 && s.st_size > 8;
}

// Makes the film unless the folder already holds it.
bool Film(const SceneMouvement& s, const std::string& chemin)
{
    if (Existe(chemin))
        return true;
    std::printf("fabrication de %s par ffmpeg...\n", chemin.c_str());
    std::fflush(stdout);
    return FabriquerFilmScene(s, chemin) == 0;
}

// A long recorder scene: a box crossing the rectangle every minute.
SceneMouvement SceneLongue(double minutes)
{
    SceneMouvement s;
    s.largeur = 1280;
    s.hauteur = 720;
    s.ips = 25;
    s.dureeS = minutes * 60;
    s.bruit = 8;
    s.debitKbits = 2000;
    int rx, ry, rl, rh;
    RectangleScene(s, rx, ry, rl, rh);
    for (double t = 20; t + 5 < s.dureeS; t += 60)
        s.boites.push_back({t, t + 4, rx + 20, ry + 100, rx + rl - 120, ry + 200, 80});
    return s;
}

} // namespace

int main(int argc, char** argv)
{
    std::string dossier = argc > 1 ? argv[1] : "";
    const double minutes = argc > 2 ? std::atof(argv[2]) : 10;
    std::filesystem::path temporaire;
    if (dossier.empty()) {
        char modele[] = "/tmp/zr7bench_XXXXXX";
        if (!mkdtemp(modele))
            return 1;
        temporaire = dossier = modele;
    }
    std::filesystem::create_directories(dossier);
    if (!FfmpegPresent()) {
        std::printf("ffmpeg absent : films impossibles a fabriquer\n");
        return 1;
    }
    int statut = 0;

    // 1. The check, first (its peak memory is the small film's).
    const SceneMouvement cinq = SceneCinqEtTrois(640, 360, 25, 120.0 / 9, 4);
    const std::string filmCinq = dossier + "/cinq_et_trois_640x360.264";
    if (!Film(cinq, filmCinq))
        return 1;
    int rx, ry, rl, rh;
    RectangleScene(cinq, rx, ry, rl, rh);
    std::vector<std::string> a = {"lecteurzr7", "--chercher-mouvement", filmCinq, std::to_string(rx),
                                  std::to_string(ry), std::to_string(rl), std::to_string(rh)};
    std::vector<char*> av;
    for (auto& x : a)
        av.push_back(x.data());
    std::FILE* sortie = std::tmpfile();
    RemettrePic();
    double t0 = Mur(), c0 = Cpu();
    int code = -1;
    ExecuterCommandeMouvement(static_cast<int>(av.size()), av.data(), &code, sortie, stderr);
    const double murCinq = Mur() - t0, cpuCinq = Cpu() - c0;
    std::rewind(sortie);
    int lignes = 0;
    double d = 0, f = 0;
    std::printf("\n2 min, 640x360, 25 images/s, bruit : 5 boites dans le rectangle (debuts a");
    for (const BoiteMobile& b : cinq.boites)
        if (b.x0 >= rx)
            std::printf(" %.1f", b.debut);
    std::printf(" s), 3 dehors\n");
    while (std::fscanf(sortie, "%lf %lf", &d, &f) == 2) {
        ++lignes;
        std::printf("  moment %.2f .. %.2f s\n", d, f);
    }
    std::fclose(sortie);
    std::printf("  statut %d, %d moments, %.2f s mur, %.2f s CPU, pic memoire %ld Mo\n", code, lignes, murCinq,
                cpuCinq, PicMemoireKo() / 1024);
    if (code != 0 || lignes != 5)
        statut = 1;

    // 2. Speed on the long 720p film, scaled to an hour.
    const SceneMouvement longue = SceneLongue(minutes);
    char nom[64];
    std::snprintf(nom, sizeof nom, "/longue_720p25_%gmin.264", minutes);
    const std::string filmLong = dossier + nom;
    if (!Film(longue, filmLong))
        return 1;
    RectangleScene(longue, rx, ry, rl, rh);
    ParametresRecherche p;
    p.cheminFilm = filmLong;
    p.rectangle = {rx, ry, rl, rh};
    RemettrePic();
    t0 = Mur();
    c0 = Cpu();
    const BilanRecherche b = ChercherMouvement(p);
    const double mur = Mur() - t0, cpu = Cpu() - c0;
    const double duree = b.dureeMs / 1000.0;
    std::printf("\n%s : %lld images %dx%d, %.0f s de film, %lld analysees\n", filmLong.c_str(),
                (long long)b.images, b.largeur, b.hauteur, duree, (long long)b.analysees);
    std::printf("  %zu moments trouves (%zu boites)\n", b.moments.size(), longue.boites.size());
    std::printf("  | film | mur | CPU | x temps reel | pour une heure | pic memoire |\n");
    std::printf("  | %.0f min | %.1f s | %.1f s | %.1f | %.0f s | %ld Mo |\n", duree / 60, mur, cpu, duree / mur,
                mur * 3600 / duree, PicMemoireKo() / 1024);
    if (b.moments.size() != longue.boites.size())
        statut = 1;

    if (!temporaire.empty()) {
        std::error_code ec;
        std::filesystem::remove_all(temporaire, ec);
    }
    return statut;
}
