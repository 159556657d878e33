#include "export/vue_film.h"

#include "engine/fichierfilm.h"
#include "engine/motdepasse.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <vector>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Bytes made ready at a time: large enough to keep calls rare, small
// enough that the copy ahead of the walk stays a few megabytes.
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
    if (fd_ >= 0)
        close(fd_);
    fd_ = -1;
    base_ = nullptr;
    taille_ = prepare_ = lu_ = libere_ = 0;
    tronquee_ = false;
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
    // Anonymous pages, taken only as the copy fills them; untouched ones
    // read as zero and cost nothing.
    void* p = mmap(nullptr, taille, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (p == MAP_FAILED) {
        close(fd);
        return -1;
    }
    posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    fd_ = fd;
    base_ = static_cast<unsigned char*>(p);
    taille_ = taille;
    decalageCorps_ = TailleEnteteFilm;
    desembrouiller_ = desembrouiller;
    observateur_ = std::move(observateur);
    return 0;
}

bool VueFilm::Lire(size_t debut, size_t fin)
{
    while (debut < fin && !tronquee_) {
        const ssize_t n = pread(fd_, base_ + debut, fin - debut, off_t(debut));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            tronquee_ = true; // shrunk (or unreadable): an end of data
        else
            debut += size_t(n);
    }
    lu_ = std::max(lu_, debut);
    return !tronquee_;
}

void VueFilm::Preparer(int64_t fin)
{
    if (!base_ || fin <= 0)
        return;
    size_t finFichier = size_t(fin) + decalageCorps_;
    if (finFichier <= prepare_)
        return;
    finFichier = std::min(taille_, std::max(finFichier, prepare_ + PasPreparation));
    const size_t debut = prepare_;
    Lire(debut, finFichier);
    prepare_ = finFichier;
    // Only bytes actually read are observed and descrambled; past a short
    // read the room stays zero.
    const size_t finLue = std::min(lu_, finFichier);
    if (finLue <= debut)
        return;
    if (observateur_)
        observateur_(base_ + debut, finLue - debut);
    if (desembrouiller_) {
        size_t a = std::max(debut, decalageCorps_);
        while (a < finLue) {
            const size_t n = std::min<size_t>(finLue - a, INT_MAX);
            Desembrouiller(base_ + a, int(n));
            a += n;
        }
    }
}

void VueFilm::Liberer(int64_t debut)
{
    if (!base_ || debut <= 0)
        return;
    const size_t page = TaillePage();
    // Only pages already made ready: a page given back reads as zero.
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
    // The rest goes to the observer through one small buffer, so that the
    // walk's room is not filled for it.
    if (observateur_ && !tronquee_) {
        std::vector<unsigned char> tampon(PasPreparation);
        size_t a = prepare_;
        while (a < taille_) {
            const ssize_t n = pread(fd_, tampon.data(), std::min(tampon.size(), taille_ - a), off_t(a));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                tronquee_ = true;
                break;
            }
            observateur_(tampon.data(), size_t(n));
            a += size_t(n);
        }
    }
    prepare_ = taille_;
    desembrouiller_ = false; // nothing left to read: no need to descramble the tail
}
