#include "core/dossier_utilisateur.h"

#include <cerrno>
#include <cstdlib>
#include <dirent.h>
#include <mutex>
#include <vector>
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

// A folder of ours that nobody else may enter: not a link, owned by the
// user, no rights for group or others.
bool DossierPrive(const std::string& chemin)
{
    struct stat st;
    return lstat(chemin.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == geteuid() &&
           (st.st_mode & 077) == 0;
}

// The folder made by mkdtemp, removed at the end of the run.
std::mutex verrouTemporaire;
std::string dossierTemporaire; // under verrouTemporaire

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

std::string DossierDonneesPrive()
{
    const char* execution = std::getenv("XDG_RUNTIME_DIR");
    if (execution && execution[0] == '/' && DossierPrive(execution)) {
        const std::string dossier = std::string(execution) + "/lecteurzr7-DONNEES";
        if (mkdir(dossier.c_str(), 0700) != 0 && errno != EEXIST)
            return std::string();
        if (DossierPrive(dossier))
            return dossier;
    }
    const char* tmp = std::getenv("TMPDIR");
    std::string modele = std::string(tmp && tmp[0] == '/' ? tmp : "/tmp") + "/lecteurzr7-XXXXXX";
    std::vector<char> nom(modele.begin(), modele.end());
    nom.push_back('\0');
    if (mkdtemp(nom.data()) == nullptr) // mode 0700
        return std::string();
    std::lock_guard<std::mutex> g(verrouTemporaire);
    dossierTemporaire = nom.data();
    return dossierTemporaire;
}

void RetirerDossierDonneesPrive()
{
    std::lock_guard<std::mutex> g(verrouTemporaire);
    if (dossierTemporaire.empty())
        return;
    // Only the entries directly inside: the player makes no sub-folders, and
    // unlink removes a link, never what it points to.
    if (DIR* d = opendir(dossierTemporaire.c_str())) {
        while (const dirent* e = readdir(d)) {
            const std::string nom = e->d_name;
            if (nom != "." && nom != "..")
                unlink((dossierTemporaire + "/" + nom).c_str());
        }
        closedir(d);
    }
    rmdir(dossierTemporaire.c_str());
    dossierTemporaire.clear();
}
