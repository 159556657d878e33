#include "ui/disposition_calcul.h"

#include <algorithm>

namespace {
// The panel keeps 6 pixels of its width as a margin around the picture.
constexpr int MargePanneau = 6;
// Footer width not given to the play block (sound, speed and size controls).
constexpr int PiedReserve = 249;
} // namespace

Rapport RapportAffichage(int w, int h)
{
    if (w <= 0 || h <= 0)
        return {4, 3};
    if (h * 4 / 3 == w)
        return {4, 3};
    if (h * 16 / 9 == w)
        return {16, 9};
    if (h * 16 / 10 == w)
        return {16, 10};
    if (w == h)
        return {1, 1};
    return {4, 3};
}

Boite BoiteAjustee(Rapport r, int largeurPanneau, int hauteurPanneau)
{
    const int a = hauteurPanneau;
    const int b = largeurPanneau - MargePanneau;
    Boite boite{};
    if (b > r.largeur * a / r.hauteur) {
        boite.largeur = r.largeur * a / r.hauteur;
        boite.hauteur = a;
    } else {
        boite.largeur = b;
        boite.hauteur = r.hauteur * b / r.largeur;
    }
    boite.gauche = std::max(1, (b - boite.largeur) / 2);
    boite.haut = (a - boite.hauteur) / 2;
    return boite;
}

Boite BoiteTailleReelle(Rapport r, int w, int h, int largeurPanneau, int hauteurPanneau)
{
    const int a = hauteurPanneau;
    const int b = largeurPanneau - MargePanneau;
    Boite boite{};
    if (r.largeur * h / r.hauteur < w) {
        boite.largeur = r.largeur * h / r.hauteur;
        boite.hauteur = h;
    } else {
        boite.largeur = w;
        boite.hauteur = r.hauteur * w / r.largeur;
    }
    boite.gauche = std::max(1, (b - boite.largeur) / 2);
    // A picture taller than the area starts at the top of the scroll box:
    // a negative offset would hide its top rows beyond reach of scrolling.
    boite.haut = std::max(0, (a - boite.hauteur) / 2);
    return boite;
}

LargeursPied CalculerLargeursPied(int largeurPied, int gaucheCurseur)
{
    LargeursPied l{};
    l.blocLecture = largeurPied - PiedReserve;
    l.curseur = l.blocLecture - 2 * gaucheCurseur;
    return l;
}

Boite PlaceFenetreMesures(Boite scrollEcran)
{
    Boite b{};
    b.largeur = scrollEcran.largeur;
    b.hauteur = scrollEcran.hauteur / 3;
    b.haut = scrollEcran.haut + scrollEcran.hauteur * 2 / 3;
    b.gauche = scrollEcran.gauche;
    return b;
}
