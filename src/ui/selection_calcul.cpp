#include "ui/selection_calcul.h"

#include "core/etat.h"

#include <cstdio>
#include <cstring>

namespace {

// The five numbers at the start of an hourly film name.
struct NomHoraire {
    int jour = 0, mois = 0, annee = 0, heure = 0, minute = 0;
};

bool LireNomHoraire(const char* chemin, NomHoraire& n)
{
    char nom[LongueurNomFichier + 1];
    NomDeFichier(chemin, nom, sizeof nom);
    return std::sscanf(nom, "%02d-%02d-%04d-%02d-%02d", &n.jour, &n.mois, &n.annee, &n.heure, &n.minute) == 5;
}

// Last minute and last hour of a day: the forward chain stops at midnight.
constexpr int DerniereMinute = 59;
constexpr int DerniereHeure = 23;

// Days of a month of the Gregorian calendar.
int JoursDuMois(int mois, int annee)
{
    static const int Jours[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool bissextile = (annee % 4 == 0 && annee % 100 != 0) || annee % 400 == 0;
    return mois == 2 && bissextile ? 29 : Jours[mois - 1];
}

// `chemin` with its last 23 characters replaced by the hour folder and the
// hourly name of `n`, keeping the extension. A cut name would name another
// file: false rather than a truncated path.
bool EcrireCheminHoraire(const char* chemin, const NomHoraire& n, char* sortie, size_t taille)
{
    const size_t longueur = std::strlen(chemin);
    if (longueur <= size_t(LongueurFinHoraire))
        return false;
    const size_t garde = longueur - LongueurFinHoraire;
    char fin[LongueurFinHoraire + 16];
    const int longueurFin = std::snprintf(fin, sizeof fin, "%02d/%02d-%02d-%04d-%02d-%02d%.4s", n.heure, n.jour, n.mois,
                                          n.annee, n.heure, n.minute, chemin + longueur - 4);
    if (longueurFin < 0 || size_t(longueurFin) >= sizeof fin || garde + size_t(longueurFin) + 1 > taille)
        return false;
    std::snprintf(sortie, taille, "%.*s%s", int(garde), chemin, fin);
    return true;
}

} // namespace

int TypeFilmPourExtension(const char* chemin)
{
    if (!chemin)
        return -1;
    const char* point = std::strrchr(chemin, '.');
    if (!point)
        return -1;
    char ext[LongueurExtension + 1];
    CopierTexte(ext, sizeof ext, point);
    if (std::strcmp(ext, ".mp4") == 0)
        return 0;
    if (std::strcmp(ext, ".mjp") == 0)
        return 1;
    if (std::strcmp(ext, ".264") == 0)
        return 2;
    return -1;
}

void NomDeFichier(const char* chemin, char* nom, size_t taille)
{
    if (!nom || taille == 0)
        return;
    nom[0] = '\0';
    if (!chemin)
        return;
    const char* debut = chemin;
    for (const char* c = chemin; *c; ++c)
        if (*c == '/' || *c == '\\')
            debut = c + 1;
    const size_t borne = taille < size_t(LongueurNomFichier) + 1 ? taille : size_t(LongueurNomFichier) + 1;
    CopierTexte(nom, int(borne), debut);
}

bool EstNomHoraire(const char* chemin)
{
    NomHoraire n;
    return LireNomHoraire(chemin, n);
}

bool CalculerFilmSuivant(const char* chemin, char* suivant, size_t taille)
{
    if (!suivant || taille == 0)
        return false;
    suivant[0] = '\0';
    NomHoraire n;
    if (!chemin || !LireNomHoraire(chemin, n))
        return false;
    if (n.minute >= DerniereMinute) {
        if (n.heure >= DerniereHeure)
            return false;
        n.minute = 0;
        n.heure += 1;
    } else {
        n.minute += 1;
    }
    return EcrireCheminHoraire(chemin, n, suivant, taille);
}

bool CalculerFilmPrecedent(const char* chemin, char* precedent, size_t taille)
{
    if (!precedent || taille == 0)
        return false;
    precedent[0] = '\0';
    NomHoraire n;
    if (!chemin || !LireNomHoraire(chemin, n))
        return false;
    if (n.annee < 1 || n.mois < 1 || n.mois > 12 || n.jour < 1 || n.jour > JoursDuMois(n.mois, n.annee)
        || n.heure < 0 || n.heure > DerniereHeure || n.minute < 0 || n.minute > DerniereMinute)
        return false;
    if (--n.minute < 0) {
        n.minute = DerniereMinute;
        if (--n.heure < 0) {
            n.heure = DerniereHeure;
            if (--n.jour < 1) {
                if (--n.mois < 1) {
                    n.mois = 12;
                    if (--n.annee < 1)
                        return false;
                }
                n.jour = JoursDuMois(n.mois, n.annee);
            }
        }
    }
    return EcrireCheminHoraire(chemin, n, precedent, taille);
}
