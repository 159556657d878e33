// Band arithmetic of the gradient button: how many bands, where they lie and
// which colour each one takes. Plain functions, no widget, so that the
// painting can be checked row by row without a display.
#pragma once

#include <cstdint>
#include <vector>

namespace Oxbouton {

// Platform colour values keep red in the lowest byte (0x00BBGGRR), as the
// window designs give them.
constexpr std::uint32_t clBlack = 0x000000;
constexpr std::uint32_t clGray = 0x808080;
constexpr std::uint32_t clSilver = 0xC0C0C0;
constexpr std::uint32_t clWhite = 0xFFFFFF;

// Offset applied to the gradient while a mouse button is held on the button:
// three fewer upper bands make the button look pushed in.
constexpr int DecalageAppui = 3;

struct CouleurRVB {
    int r = 0;
    int g = 0;
    int b = 0;
    bool operator==(const CouleurRVB &o) const { return r == o.r && g == o.g && b == o.b; }
    bool operator!=(const CouleurRVB &o) const { return !(*this == o); }
};

// Rectangle with exclusive right and bottom edges, as filled by the painter.
struct RectangleBande {
    int gauche = 0;
    int haut = 0;
    int droite = 0;
    int bas = 0;
    bool operator==(const RectangleBande &o) const
    {
        return gauche == o.gauche && haut == o.haut && droite == o.droite && bas == o.bas;
    }
};

struct Bande {
    RectangleBande rect;
    CouleurRVB couleur;
};

// Everything the gradient step paints, in painting order: upper bands, lower
// bands, then the bottom strip.
struct Degrade {
    int borneHaute = 0;     // U: last index of the upper bands (none when negative)
    int diviseurBas = 0;    // D = U + 1
    int milieuBas = 0;      // m = (D + p) / 2; the lower bands run from 0 to m + 1
    std::vector<Bande> hautes;
    std::vector<Bande> basses;
    Bande bandeBas;
};

CouleurRVB CouleurDepuisBGR(std::uint32_t valeur);

// U = (H - 6) / 2 - p - 2, truncated toward zero.
int BorneHaute(int hauteur, int decalage);
// Number of upper bands: U + 1, or 0 when U is negative.
int NombreBandesHautes(int hauteur, int decalage);
// Number of lower bands: m + 2, or 0 when that is negative.
int NombreBandesBasses(int hauteur, int decalage);

// Colour of band i going from `depart` toward `arrivee` in `diviseur` steps:
// c = depart.c + i * (arrivee.c - depart.c) / diviseur, kept to its low byte.
// A zero divisor (heights where the gradient has no room) leaves `depart`.
CouleurRVB CouleurBande(CouleurRVB depart, CouleurRVB arrivee, int i, int diviseur);

// Left and right (exclusive) edges of upper band i on a button `largeur` wide.
RectangleBande RectangleBandeHaute(int largeur, int i);

Degrade CalculerDegrade(int largeur, int hauteur, int decalage, CouleurRVB de, CouleurRVB vers);

}  // namespace Oxbouton
