#include "ui/chemins_calcul.h"

#include "core/etat.h"

#include <cstring>

bool CheminLogo(const char* dossierProgramme, const char* nom, std::string& chemin)
{
    chemin.clear();
    if (!dossierProgramme || !nom)
        return false;
    const size_t longueur = strnlen(dossierProgramme, LongueurDossier + 1);
    if (longueur == 0 || longueur >= size_t(LongueurDossier))
        return false;
    chemin = std::string(dossierProgramme, longueur) + nom;
    return true;
}
