#include "export/sortie_sure.h"

#include "engine/fichierfilm.h"
#include "export/integrite.h"

#include <cerrno>

#include <sys/stat.h>

namespace {

const char* const Compagnons[] = {"hrd", "pcm", "msr", "mdp"};

bool MemeFichier(const struct stat& a, const struct stat& b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

} // namespace

bool RemplacementPermis(const std::string& chemin)
{
    struct stat l {};
    if (lstat(chemin.c_str(), &l) != 0)
        return errno == ENOENT;
    if (S_ISREG(l.st_mode))
        return true;
    if (!S_ISLNK(l.st_mode))
        return false;
    // A link: what it points to decides; a dangling link may be replaced.
    struct stat s {};
    if (stat(chemin.c_str(), &s) != 0)
        return errno == ENOENT;
    return S_ISREG(s.st_mode);
}

std::string RaisonSortieRefusee(const std::string& cheminFilm, const std::string& sortie)
{
    if (sortie.empty())
        return "Aucun fichier de sortie n'est donné";
    if (!RemplacementPermis(sortie))
        return "Le fichier choisi n'est pas un fichier ordinaire (périphérique, tube, socket ou dossier) : "
               "choisissez un autre nom";
    return RaisonSortieEstLeFilm(cheminFilm, sortie);
}

std::string RaisonSortieEstLeFilm(const std::string& cheminFilm, const std::string& sortie)
{
    if (cheminFilm.empty() || sortie.empty())
        return std::string();
    struct stat cible {};
    const bool existe = stat(sortie.c_str(), &cible) == 0;
    const std::string absolu = CheminAbsolu(sortie);
    auto meme = [&](const std::string& autre) {
        struct stat s {};
        if (existe && stat(autre.c_str(), &s) == 0 && MemeFichier(s, cible))
            return true;
        return CheminAbsolu(autre) == absolu;
    };
    if (meme(cheminFilm))
        return "Le fichier choisi est le film lui-même : choisissez un autre nom";
    for (const char* ext : Compagnons) {
        const std::string c = NomCompagnon(cheminFilm, ext);
        if (!c.empty() && meme(c))
            return std::string("Le fichier choisi est le fichier associé « .") + ext
                   + " » du film : choisissez un autre nom";
    }
    return std::string();
}
