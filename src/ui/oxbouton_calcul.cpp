#include "ui/oxbouton_calcul.h"

namespace Oxbouton {

namespace {

// Band rows: an upper band is two rows high and starts one row below the
// previous one; a lower band is three rows high and starts two rows below.
constexpr int HauteurBandeHaute = 2;
constexpr int HauteurBandeBasse = 3;
constexpr int PasBandeBasse = 2;

int OctetBas(int v)
{
    return v & 0xFF;
}

int Etape(int depart, int arrivee, int i, int diviseur)
{
    if (diviseur == 0)
        return OctetBas(depart);
    return OctetBas(depart + i * (arrivee - depart) / diviseur);
}

}  // namespace

CouleurRVB CouleurDepuisBGR(std::uint32_t valeur)
{
    return CouleurRVB{int(valeur & 0xFF), int((valeur >> 8) & 0xFF), int((valeur >> 16) & 0xFF)};
}

int BorneHaute(int hauteur, int decalage)
{
    return (hauteur - 6) / 2 - decalage - 2;
}

int NombreBandesHautes(int hauteur, int decalage)
{
    const int u = BorneHaute(hauteur, decalage);
    return u >= 0 ? u + 1 : 0;
}

int NombreBandesBasses(int hauteur, int decalage)
{
    const int d = BorneHaute(hauteur, decalage) + 1;
    const int m = (d + decalage) / 2;
    return m + 2 > 0 ? m + 2 : 0;
}

CouleurRVB CouleurBande(CouleurRVB depart, CouleurRVB arrivee, int i, int diviseur)
{
    return CouleurRVB{Etape(depart.r, arrivee.r, i, diviseur), Etape(depart.g, arrivee.g, i, diviseur),
                      Etape(depart.b, arrivee.b, i, diviseur)};
}

RectangleBande RectangleBandeHaute(int largeur, int i)
{
    // The first bands are narrower so that the upper corners come out rounded.
    RectangleBande r;
    r.haut = i + 1;
    r.bas = r.haut + HauteurBandeHaute;
    if (i == 0) {
        r.gauche = 2;
        r.droite = largeur - 6;
    } else if (i <= 2) {
        r.gauche = 2;
        r.droite = largeur - 4;
    } else {
        r.gauche = 1;
        r.droite = largeur - 3;
    }
    return r;
}

Degrade CalculerDegrade(int largeur, int hauteur, int decalage, CouleurRVB de, CouleurRVB vers)
{
    Degrade res;
    const int u = BorneHaute(hauteur, decalage);
    res.borneHaute = u;

    // The lower bands start at the left edge the upper bands ended on; with no
    // upper band at all that edge is 1.
    int gauche = 1;
    for (int i = 0; i <= u; ++i) {
        Bande b;
        b.rect = RectangleBandeHaute(largeur, i);
        b.couleur = CouleurBande(de, vers, i, u);
        gauche = b.rect.gauche;
        res.hautes.push_back(b);
    }

    const int d = u + 1;
    const int m = (d + decalage) / 2;
    res.diviseurBas = d;
    res.milieuBas = m;
    CouleurRVB derniere = vers;
    for (int i = 0; i <= m + 1; ++i) {
        Bande b;
        b.rect.haut = d + 1 + PasBandeBasse * i;
        b.rect.bas = b.rect.haut + HauteurBandeBasse;
        b.rect.gauche = gauche;
        b.rect.droite = largeur - 4;
        if (decalage == 0 && i == m + 1) {
            // At rest the last band closes the lower corners.
            gauche = 2;
            b.rect.gauche = gauche;
            b.rect.droite = largeur - 6;
        }
        b.couleur = CouleurBande(vers, de, i, d);
        derniere = b.couleur;
        res.basses.push_back(b);
    }

    res.bandeBas.rect = RectangleBande{gauche, hauteur - 7, largeur - 5, hauteur - 3};
    res.bandeBas.couleur = derniere;
    return res;
}

}  // namespace Oxbouton
