#include "ui/navigation_calcul.h"

#include <Qt>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>

namespace {
constexpr int SecondesParJour = 86400;
} // namespace

ActionTouche ActionPourTouche(int touche, bool ctrl, bool alt, const std::string& texte)
{
    if (alt)
        return ActionTouche::Aucune;
    if (ctrl)
        return touche == Qt::Key_G ? ActionTouche::AllerA : ActionTouche::Aucune;
    switch (touche) {
    case Qt::Key_Space:
        return ActionTouche::LecturePause;
    case Qt::Key_Left:
        return ActionTouche::Reculer5;
    case Qt::Key_Right:
        return ActionTouche::Avancer5;
    case Qt::Key_Up:
        return ActionTouche::Avancer60;
    case Qt::Key_Down:
        return ActionTouche::Reculer60;
    case Qt::Key_Home:
        return ActionTouche::Debut;
    default:
        break;
    }
    if (texte == "." || touche == Qt::Key_Period)
        return ActionTouche::ImageSuivante;
    if (texte == "," || touche == Qt::Key_Comma)
        return ActionTouche::ImagePrecedente;
    return ActionTouche::Aucune;
}

int SecondeApresSaut(int position, int saut, int duree)
{
    const int64_t s = static_cast<int64_t>(position) + saut;
    return static_cast<int>(std::clamp<int64_t>(s, 0, std::max(duree, 0)));
}

int64_t ImageDuPas(int64_t montree, int sens, int64_t nbImages)
{
    if (nbImages <= 0 || montree < 0)
        return -1;
    const int64_t k = std::min(montree, nbImages - 1) + sens;
    if (k < 0 || k >= nbImages)
        return -1;
    return k;
}

std::string TexteImage(int64_t k, int64_t nbImages)
{
    char t[64];
    std::snprintf(t, sizeof t, "image %lld / %lld", static_cast<long long>(k), static_cast<long long>(nbImages));
    return t;
}

int LireHeureSaisie(const std::string& texte, bool jour)
{
    int champs[3] = {0, 0, 0};
    int n = 0;
    size_t i = 0;
    while (i < texte.size() && texte[i] == ' ')
        ++i;
    for (;;) {
        size_t chiffres = 0;
        int v = 0;
        while (i < texte.size() && std::isdigit(static_cast<unsigned char>(texte[i])) && chiffres < 6) {
            v = v * 10 + (texte[i] - '0');
            ++i;
            ++chiffres;
        }
        if (chiffres == 0 || n == 3)
            return -1;
        champs[n++] = v;
        if (i < texte.size() && texte[i] == ':') {
            ++i;
            continue;
        }
        break;
    }
    while (i < texte.size() && texte[i] == ' ')
        ++i;
    if (i != texte.size() || n < 2)
        return -1;
    if (champs[1] > 59 || champs[2] > 59 || (jour && champs[0] > 23))
        return -1;
    return champs[0] * 3600 + champs[1] * 60 + champs[2];
}

int SecondePourAllerA(int secondes, uint32_t dureeFilm, bool dates, double dateDebut, double dateFin)
{
    if (secondes < 0)
        return -1;
    double s = secondes;
    if (dates) {
        const double span = dateFin - dateDebut;
        double cible = std::floor(dateDebut) + static_cast<double>(secondes) / SecondesParJour;
        // Half a second of slack: the dates are whole seconds stored as
        // fractions of a day.
        const double demi = 0.5 / SecondesParJour;
        if (cible < dateDebut - demi && cible + 1 <= dateFin + demi)
            cible += 1; // a film that runs past midnight
        s = span > 0 ? (cible - dateDebut) * dureeFilm / span : (cible - dateDebut) * SecondesParJour;
        s = std::round(s);
    }
    if (s < 0 || s > dureeFilm)
        return -1;
    return static_cast<int>(s);
}
