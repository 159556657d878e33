#include "core/ouverture.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

std::FILE* OuvrirFichierOrdinaire(const char* chemin)
{
    if (!chemin || !*chemin) {
        errno = ENOENT;
        return nullptr;
    }
    // O_NONBLOCK: the open of a FIFO returns at once instead of waiting for
    // a writer; O_NOCTTY: a terminal device never becomes ours.
    const int fd = ::open(chemin, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return nullptr;
    struct stat st = {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        const int erreur = S_ISDIR(st.st_mode) ? EISDIR : ENXIO;
        ::close(fd);
        errno = erreur;
        return nullptr;
    }
    // Regular files never block; the flag is dropped anyway so that the
    // stream behaves as an ordinary one.
    const int drapeaux = ::fcntl(fd, F_GETFL);
    if (drapeaux >= 0)
        ::fcntl(fd, F_SETFL, drapeaux & ~O_NONBLOCK);
    std::FILE* f = ::fdopen(fd, "rb");
    if (!f) {
        const int erreur = errno;
        ::close(fd);
        errno = erreur;
    }
    return f;
}
