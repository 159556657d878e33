#include "export/protection.h"

#include "core/ouverture.h"
#include "engine/fichierfilm.h"
#include "engine/motdepasse.h"

#include <cstdio>
#include <cstring>
#include <memory>

namespace {

constexpr size_t LongueurMaxChemin = 300;

struct FermerFichier {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

// The first 80 bytes of the film's record. 0 ok, -1 none or too short.
int LireFiche(const std::string& cheminFilm, unsigned char* fiche)
{
    if (cheminFilm.size() < 4 || cheminFilm.size() > LongueurMaxChemin)
        return -1;
    std::unique_ptr<std::FILE, FermerFichier> f(OuvrirFichierOrdinaire(NomCompagnon(cheminFilm, "mdp").c_str()));
    if (!f || std::fread(fiche, 1, TailleFichierMotDePasse, f.get()) != size_t(TailleFichierMotDePasse))
        return -1;
    return 0;
}

std::string NomDeLaFiche(const unsigned char* fiche)
{
    char nom[LargeurChampNomFilm];
    for (int i = 0; i < LargeurChampNomFilm; ++i)
        nom[i] = char(fiche[PositionChampNomFilm + i] - CleNomFilm[i]);
    return std::string(nom, strnlen(nom, LargeurChampNomFilm));
}

} // namespace

bool FilmProtege(const std::string& cheminFilm)
{
    unsigned char fiche[TailleFichierMotDePasse];
    return LireFiche(cheminFilm, fiche) == 0 && NomDeLaFiche(fiche) == NomFilmPourComparaison(cheminFilm);
}

bool FicheExtraitTient(const std::string& destination)
{
    return destination.size() >= 4 && destination.size() <= LongueurMaxChemin
           && NomFilmPourComparaison(destination).size() <= size_t(LargeurChampNomFilm);
}

int EcrireFicheExtrait(const std::string& source, const std::string& destination)
{
    unsigned char fiche[TailleFichierMotDePasse];
    if (!FicheExtraitTient(destination) || LireFiche(source, fiche) != 0)
        return -1;
    const std::string nom = NomFilmPourComparaison(destination);
    for (int i = 0; i < LargeurChampNomFilm; ++i) {
        const unsigned char clair = i < int(nom.size()) ? (unsigned char)nom[size_t(i)] : 0;
        fiche[PositionChampNomFilm + i] = (unsigned char)(clair + CleNomFilm[i]);
    }
    return EcrireOctetsFichier(NomCompagnon(destination, "mdp"), fiche, sizeof fiche);
}
