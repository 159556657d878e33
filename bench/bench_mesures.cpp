// Start of a measure pass on a large measure file: reading the whole file
// into memory and walking its lines up to the pass start at every pass (the
// reference), against the mapped file whose line index is built once, as
// the measure reader does. Figures only; nothing is asserted.
// Usage: bench_mesures [MEGABYTES] (default 64)
#include "measures/mesures_calcul.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <string>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

double MurMs()
{
    using namespace std::chrono;
    return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

double CpuMs()
{
    timespec t;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

// Offset of the first line due at or after `debutMs`, found by walking from the top.
size_t ParcourirDepuisLeDebut(const char* image, size_t taille, uint32_t seconde)
{
    const uint32_t debutMs = seconde * 1000;
    const size_t limite = taille > MargeFinMesures ? taille - MargeFinMesures : 0;
    for (size_t o = 0; o < limite;) {
        const size_t l = LongueurLigne(image, taille, o);
        if (l == 0)
            break;
        if (l > LongueurLigneIgnoree && static_cast<uint32_t>(LireTempsMesure(image + o, l)) >= debutMs)
            return o;
        o += l;
    }
    return taille;
}

} // namespace

int main(int argc, char** argv)
{
    const long megaoctets = argc > 1 ? std::atol(argv[1]) : 64;
    char modele[] = "/tmp/zr7bench_mesures_XXXXXX";
    if (!mkdtemp(modele))
        return 1;
    const std::string chemin = std::string(modele) + "/film.msr";

    // Lines spread evenly over the 999,999 ms a measure file can address.
    const size_t cible = static_cast<size_t>(megaoctets) << 20;
    std::string ligne;
    FILE* f = std::fopen(chemin.c_str(), "wb");
    if (!f)
        return 1;
    const size_t parLigne = 48;
    const size_t nbLignes = cible / parLigne;
    char tampon[96];
    for (size_t i = 0; i < nbLignes; ++i) {
        const unsigned t = static_cast<unsigned>(i * 999999 / nbLignes);
        std::snprintf(tampon, sizeof tampon, "%06u;%zu;Temperature : %5.1f C - capteur %03zu;\r\n", t, i % 3 + 1,
                      20.0 + (i % 50) / 10.0, i % 1000);
        std::fputs(tampon, f);
    }
    std::fclose(f);
    struct stat st;
    stat(chemin.c_str(), &st);
    std::printf("fichier de mesures : %.1f Mo, %zu lignes\n", st.st_size / 1048576.0, nbLignes);

    const uint32_t debuts[] = {10, 250, 500, 750, 990}; // pass start seconds
    constexpr int Tours = 4;
    // Drop what the writing left in memory, so both start from the page cache alike.
    {
        const int fd = open(chemin.c_str(), O_RDONLY);
        posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
        close(fd);
    }

    // Reference: each pass reads the file whole and walks it from the top.
    double mur = MurMs(), cpu = CpuMs();
    size_t controleRef = 0;
    for (int tour = 0; tour < Tours; ++tour)
        for (uint32_t d : debuts) {
            FILE* g = std::fopen(chemin.c_str(), "rb");
            std::vector<char> image(static_cast<size_t>(st.st_size));
            const size_t lu = std::fread(image.data(), 1, image.size(), g);
            std::fclose(g);
            controleRef += ParcourirDepuisLeDebut(image.data(), lu, d);
        }
    const int passes = Tours * static_cast<int>(sizeof debuts / sizeof debuts[0]);
    const double murRef = (MurMs() - mur) / passes, cpuRef = (CpuMs() - cpu) / passes;

    // Mapped once, indexed once; each pass looks the file up and finds its start.
    mur = MurMs();
    cpu = CpuMs();
    const int fd = open(chemin.c_str(), O_RDONLY);
    const char* image = static_cast<const char*>(mmap(nullptr, st.st_size, PROT_READ, MAP_PRIVATE, fd, 0));
    close(fd);
    const auto index = IndexerMesures(image, st.st_size);
    const double murIndex = MurMs() - mur, cpuIndex = CpuMs() - cpu;
    mur = MurMs();
    cpu = CpuMs();
    size_t controle = 0;
    for (int tour = 0; tour < Tours; ++tour)
        for (uint32_t d : debuts) {
            struct stat s2;
            stat(chemin.c_str(), &s2);
            controle += DebutDePasse(index, d, st.st_size);
        }
    const double murPasse = (MurMs() - mur) / passes, cpuPasse = (CpuMs() - cpu) / passes;
    munmap(const_cast<char*>(image), st.st_size);

    std::printf("référence (lecture entière à chaque passe) : %.2f ms par passe (CPU %.2f ms)\n", murRef, cpuRef);
    std::printf("projeté : index construit une fois en %.2f ms (CPU %.2f ms, %zu repères), puis %.4f ms par passe"
                " (CPU %.4f ms)\n",
                murIndex, cpuIndex, index.size(), murPasse, cpuPasse);
    std::printf("mêmes débuts de passe : %s\n", controle == controleRef ? "oui" : "NON");
    std::system((std::string("rm -rf '") + modele + "'").c_str());
    return controle == controleRef ? 0 : 1;
}
