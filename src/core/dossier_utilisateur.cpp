#include "core/dossier_utilisateur.h"

#include <cerrno>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

const char* const MarqueInstallation = "lecteurzr7.installe";

namespace {

// mkdir -p for the parts of `chemin` that are missing.
bool CreerDossiers(const std::string& chemin, mode_t mode)
{
    for (size_t i = 1; i <= chemin.size(); ++i) {
        if (i < chemin.size() && chemin[i] != '/')
            continue;
        const std::string partie = chemin.substr(0, i);
        if (mkdir(partie.c_str(), mode) != 0 && errno != EEXIST)
            return false;
    }
    struct stat st;
    return stat(chemin.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

} // namespace

bool DossierProgrammeModifiable(const std::string& dossier)
{
    if (dossier.empty() || access(dossier.c_str(), W_OK) != 0)
        return false;
    struct stat st;
    return stat((dossier + MarqueInstallation).c_str(), &st) != 0;
}

std::string DossierEtatUtilisateur()
{
    std::string base;
    const char* etat = std::getenv("XDG_STATE_HOME");
    const char* maison = std::getenv("HOME");
    // The variable counts only as an absolute path (freedesktop rule).
    if (etat && etat[0] == '/')
        base = etat;
    else if (maison && maison[0] == '/')
        base = std::string(maison) + "/.local/state";
    else
        return std::string();
    const std::string dossier = base + "/lecteurzr7";
    if (!CreerDossiers(dossier, 0700))
        return std::string();
    return dossier + "/";
}

std::string DossierDesJournaux(const std::string& dossierProgramme)
{
    if (DossierProgrammeModifiable(dossierProgramme))
        return dossierProgramme;
    const std::string utilisateur = DossierEtatUtilisateur();
    return utilisateur.empty() ? dossierProgramme : utilisateur;
}
