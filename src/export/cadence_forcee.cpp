#include "export/cadence_forcee.h"

#include <cstdio>

int LireCadenceForcee(const std::string& texte, int* cadence, std::string* raison)
{
    size_t debut = texte.find_first_not_of(" \t");
    size_t fin = texte.find_last_not_of(" \t");
    long valeur = -1;
    if (debut != std::string::npos) {
        valeur = 0;
        for (size_t i = debut; i <= fin && valeur >= 0; ++i) {
            const char c = texte[i];
            if (c < '0' || c > '9')
                valeur = -1;
            else if ((valeur = valeur * 10 + (c - '0')) > CadenceForceeMax)
                valeur = CadenceForceeMax + 1; // stays too large, never overflows
        }
    }
    if (valeur >= CadenceForceeMin && valeur <= CadenceForceeMax) {
        if (cadence)
            *cadence = int(valeur);
        return 0;
    }
    if (raison) {
        char t[200];
        std::snprintf(t, sizeof t,
                      "Cadence invalide « %.40s » : un nombre entier de %d à %d images par seconde est attendu",
                      texte.c_str(), CadenceForceeMin, CadenceForceeMax);
        *raison = t;
    }
    return -1;
}
