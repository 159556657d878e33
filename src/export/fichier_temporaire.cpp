#include "export/fichier_temporaire.h"

#include <atomic>
#include <cerrno>
#include <cstdio>

#include <fcntl.h>
#include <unistd.h>

std::string CreerNomTemporaire(const std::string& destination)
{
    static std::atomic<unsigned> compteur{0};
    if (destination.empty())
        return std::string();
    for (int essai = 0; essai < 100; ++essai) {
        std::string nom = destination + ".ecriture" + std::to_string(getpid()) + "_"
                          + std::to_string(compteur++);
        const int fd = open(nom.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            close(fd);
            return nom;
        }
        if (errno != EEXIST)
            break;
    }
    return std::string();
}

int MettreEnPlace(const std::string& nomTemporaire, const std::string& destination)
{
    if (std::rename(nomTemporaire.c_str(), destination.c_str()) == 0)
        return 0;
    std::remove(nomTemporaire.c_str());
    return -1;
}
