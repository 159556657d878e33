// Helpers shared by the reader benchmarks: a temporary folder, a picture
// target that records hand-over times, and the process's peak memory.
#pragma once

#include "codecs/bitmap.h"
#include "engine/cible_image.h"
#include "numero_image.h"

#include <QEventLoop>
#include <QObject>
#include <QTimer>

#include <sys/stat.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

inline double HorlogeMs()
{
    using namespace std::chrono;
    return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

// CPU seconds of the whole process so far (every thread).
inline double CpuProcessusS()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return t.tv_sec + t.tv_nsec / 1e9;
}

// A film file already made (more than its header words).
inline bool FilmDejaFait(const std::string& chemin)
{
    struct stat s{};
    return stat(chemin.c_str(), &s) == 0 && s.st_size > 8;
}

// A little-endian 32-bit word (the film's header words).
inline void Poser32(std::ofstream& f, uint32_t v)
{
    const char o[4] = {static_cast<char>(v), static_cast<char>(v >> 8), static_cast<char>(v >> 16),
                       static_cast<char>(v >> 24)};
    f.write(o, 4);
}

// Whether the command line asks for part `partie` of a benchmark (every
// part when it names none).
inline bool PartieDemandee(int argc, char** argv, const char* partie)
{
    if (argc < 2)
        return true;
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], partie) == 0)
            return true;
    return false;
}

// Temporary folder under /tmp, removed with its content.
struct DossierBench {
    std::string chemin;
    DossierBench()
    {
        char modele[] = "/tmp/zr7bench_XXXXXX";
        if (mkdtemp(modele) != nullptr)
            chemin = modele;
    }
    ~DossierBench()
    {
        std::error_code ec;
        if (!chemin.empty())
            std::filesystem::remove_all(chemin, ec);
    }
};

// Period of the checks made while a film plays, like a window's display tick.
constexpr int TicAffichageMs = 5;

// Records when each numbered picture arrives on the target's thread.
class CibleChronometree : public QObject, public CibleImage
{
public:
    std::vector<double> temps;
    std::vector<int> numeros;
    bool lireNumeros = true;
    void AfficherImage(const unsigned char* bitmap, int taille) override
    {
        temps.push_back(HorlogeMs());
        numeros.push_back(lireNumeros ? LireNumeroBitmap(bitmap, static_cast<size_t>(taille)) : 0);
    }
};

// A "Vm..." line of /proc/self/status, in kB; -1 when absent.
inline long LireStatutKo(const char* champ)
{
    FILE* f = std::fopen("/proc/self/status", "r");
    if (f == nullptr)
        return -1;
    char ligne[256];
    long ko = -1;
    const size_t n = std::strlen(champ);
    while (std::fgets(ligne, sizeof ligne, f) != nullptr)
        if (std::strncmp(ligne, champ, n) == 0 && ligne[n] == ':')
            ko = std::strtol(ligne + n + 1, nullptr, 10);
    std::fclose(f);
    return ko;
}

#include "core/etat.h"
#include "engine/fichierfilm.h"
#include "engine/th_lecteur_magneto.h"

#include <QCoreApplication>

#include <functional>
#include <memory>

// Plays a film from its start through a reader thread with the player's own
// waits, at `vitesse`, to `cible`; `pendant` runs on the main thread between
// event batches. Returns false when the film did not end within `limiteMs`.
inline bool JouerFilm(const std::string& chemin, int type, double vitesse, CibleChronometree& cible,
                      int limiteMs, const std::function<void()>& pendant = nullptr)
{
    ReinitialiserEtat();
    CreerMutexVoie(0);
    CreerMutexGeneral();
    std::unique_ptr<unsigned char[]> image(new unsigned char[TailleBufferImage]);
    Voies[0].BufferImage = Voies[0].ImageSortie = image.get();
    ImageAffichage = &cible;
    EnteteFilm e;
    LireEnteteFilm(chemin, e);
    CopierTexte(CheminFilm, sizeof CheminFilm, chemin.c_str());
    TypeFilm = type;
    NbImagesFilm = e.NbImages;
    DureeFilm = e.DureeMs / 1000;
    Vitesse = vitesse;
    bool fini = false;
    {
        Th_Lecteur_Magneto lecteur(0);
        Voies[0].FlagLecture = 1;
        // The target's thread waits in its event loop, as a window's does,
        // and looks at the end of the film at a display tick: a loop that
        // polled without sleeping would take a core from the reader.
        const double debut = HorlogeMs();
        QEventLoop boucle;
        QTimer tic;
        tic.setTimerType(Qt::PreciseTimer);
        QObject::connect(&tic, &QTimer::timeout, [&] {
            if (pendant)
                pendant();
            const int r = PrendreMutexVoie(0);
            fini = Voies[0].FlagFinDeFilm != 0;
            if (r == 0)
                RendreMutexVoie(0);
            if (fini || HorlogeMs() - debut >= limiteMs)
                boucle.quit();
        });
        tic.start(TicAffichageMs);
        boucle.exec();
        const int r = PrendreMutexVoie(0);
        Voies[0].FlagLecture = 0;
        if (r == 0)
            RendreMutexVoie(0);
    }
    ImageAffichage = nullptr;
    Voies[0].BufferImage = Voies[0].ImageSortie = nullptr;
    return fini;
}
