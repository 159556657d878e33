#include "export/vue_film.h"

#include "engine/fichierfilm.h"
#include "engine/motdepasse.h"

#include <algorithm>
#include <climits>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Bytes made ready at a time: large enough to keep calls rare, small
// enough that a protected film's private copies stay a few megabytes.
constexpr size_t PasPreparation = 1 << 20;
// Pages are given back in batches of this much.
constexpr size_t PasLiberation = 8 << 20;

size_t TaillePage()
{
    const long p = sysconf(_SC_PAGESIZE);
    return p > 0 ? size_t(p) : 4096;
}

} // namespace

VueFilm::~VueFilm()
{
    Fermer();
}

void VueFilm::Fermer()
{
    if (base_)
        munmap(base_, taille_);
    base_ = nullptr;
    taille_ = prepare_ = libere_ = 0;
    observateur_ = nullptr;
}

int VueFilm::Ouvrir(const std::string& chemin, bool desembrouiller, ObservateurOctets observateur)
{
    Fermer();
    // Non-blocking, and the type checked on the opened descriptor: a FIFO
    // named like a film must not hang the export.
    const int fd = open(chemin.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return -1;
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size < TailleEnteteFilm) {
        close(fd);
        return -1;
    }
    const size_t taille = size_t(st.st_size);
    // Private and writable so that a protected body can be descrambled in
    // place; the file itself is never written.
    void* p = mmap(nullptr, taille, PROT_READ | PROT_WRITE, MAP_PRIVATE, fd, 0);
    close(fd);
    if (p == MAP_FAILED)
        return -1;
    base_ = static_cast<unsigned char*>(p);
    taille_ = taille;
    decalageCorps_ = TailleEnteteFilm;
    desembrouiller_ = desembrouiller;
    observateur_ = std::move(observateur);
    madvise(base_, taille_, MADV_SEQUENTIAL);
    return 0;
}

void VueFilm::Preparer(int64_t fin)
{
    if (!base_ || fin <= 0)
        return;
    size_t finFichier = size_t(fin) + decalageCorps_;
    if (finFichier <= prepare_)
        return;
    finFichier = std::min(taille_, std::max(finFichier, prepare_ + PasPreparation));
    if (observateur_)
        observateur_(base_ + prepare_, finFichier - prepare_);
    if (desembrouiller_) {
        size_t a = std::max(prepare_, decalageCorps_);
        while (a < finFichier) {
            const size_t n = std::min<size_t>(finFichier - a, INT_MAX);
            Desembrouiller(base_ + a, int(n));
            a += n;
        }
    }
    prepare_ = finFichier;
}

void VueFilm::Liberer(int64_t debut)
{
    if (!base_ || debut <= 0)
        return;
    const size_t page = TaillePage();
    // Only pages already made ready: giving back a page reloads it from the
    // file, scrambled again.
    size_t fin = std::min(size_t(debut) + decalageCorps_, prepare_);
    fin -= fin % page;
    if (fin < libere_ + PasLiberation)
        return;
    madvise(base_ + libere_, fin - libere_, MADV_DONTNEED);
    libere_ = fin;
}

void VueFilm::Terminer()
{
    if (!base_ || prepare_ >= taille_)
        return;
    if (observateur_)
        observateur_(base_ + prepare_, taille_ - prepare_);
    prepare_ = taille_;
    desembrouiller_ = false; // nothing left to read: no need to descramble the tail
}
