#include "ui/lecture_jkl_calcul.h"

#include "ui/transport_calcul.h"

#include <Qt>

#include <algorithm>

ToucheJkl ToucheJklPour(int touche, bool ctrl, bool alt)
{
    if (ctrl || alt)
        return ToucheJkl::Aucune;
    switch (touche) {
    case Qt::Key_J:
        return ToucheJkl::Arriere;
    case Qt::Key_K:
        return ToucheJkl::Pause;
    case Qt::Key_L:
        return ToucheJkl::Avant;
    case Qt::Key_End:
        return ToucheJkl::Fin;
    default:
        return ToucheJkl::Aucune;
    }
}

bool operator==(const EtatJkl& a, const EtatJkl& b)
{
    return a.sens == b.sens && a.cran == b.cran && a.lecture == b.lecture;
}

EtatJkl TransitionJkl(const EtatJkl& e, ToucheJkl t)
{
    int sens = 0;
    switch (t) {
    case ToucheJkl::Pause: {
        EtatJkl r = e;
        r.lecture = false;
        return r;
    }
    case ToucheJkl::Arriere:
        sens = -1;
        break;
    case ToucheJkl::Avant:
        sens = 1;
        break;
    case ToucheJkl::Aucune:
    case ToucheJkl::Fin:
        return e;
    }
    EtatJkl r = e;
    if (e.lecture && e.sens == sens) {
        r.cran = CranDouble(e.cran);
        return r;
    }
    r.sens = sens;
    r.cran = CranVitesseNormal;
    r.lecture = true;
    return r;
}

int CranDouble(int cran)
{
    const double voulue = 2 * VitessePourCran(cran).vitesse;
    for (int c = CranVitesseMin; c <= CranVitesseMax; ++c)
        // The table's factors are the nearest doubles to 0.1, 0.3...: a
        // little room keeps 0.5 x 2 on x 1.
        if (VitessePourCran(c).vitesse >= voulue - 1e-9)
            return c;
    return CranVitesseMax;
}

std::string TexteVitesseSens(int cran, int sens)
{
    const std::string texte = VitessePourCran(cran).texte; // "x 4"
    if (sens >= 0 || texte.size() < 2)
        return texte;
    return texte.substr(0, 2) + "-" + texte.substr(2);
}

Reprise RepriseSurImageMontree(int64_t montree, int64_t msMontree, bool exacte, int32_t secondeDepart,
                               uint32_t dureeFilm)
{
    Reprise r;
    if (montree < 0 || msMontree < 0) {
        r.seconde = std::clamp<int64_t>(secondeDepart, 0, dureeFilm);
        return r;
    }
    r.seconde = static_cast<int32_t>(std::min<int64_t>(msMontree / 1000, dureeFilm));
    if (exacte)
        r.image = montree;
    return r;
}

DebutDeFilm DeciderDebutDeFilm(bool lecture, bool debutDeFilm, bool enchainer)
{
    if (!lecture || !debutDeFilm)
        return DebutDeFilm::Continuer;
    return enchainer ? DebutDeFilm::Precedent : DebutDeFilm::Arreter;
}
