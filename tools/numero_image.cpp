#include "numero_image.h"

#include <algorithm>
#include <cstring>

namespace {

// Brightness threshold between a black and a white block.
constexpr int SeuilGris = 128;
// Bitmap file image: 14-byte file header + 40-byte information header.
constexpr size_t TailleEnteteBitmap = 54;
// Widest and tallest bitmap accepted; keeps every row offset within an int.
constexpr int32_t CoteMaxBitmap = 16384;

bool PariteImpaire(int numero)
{
    int n = 0;
    for (int b = 0; b < NbBitsNumero; ++b)
        n += (numero >> b) & 1;
    return (n & 1) != 0;
}

// Mean brightness of the middle half of a block, in both directions, so
// that the smearing of compression at block edges does not count.
int LuminositeBloc(const uint8_t* pixels, int largeur, int hauteur, int pas, bool basEnHaut,
                   int indiceRouge, int indiceBleu, int bloc)
{
    const double x0 = largeur * CodeGauche;
    const double largeurBloc = largeur * (CodeDroite - CodeGauche) / NbBlocsCode;
    const double centreX = x0 + largeurBloc * (bloc + 0.5);
    const double centreY = hauteur * (CodeHaut + CodeBas) / 2;
    const double demiX = largeurBloc / 4;
    const double demiY = hauteur * (CodeBas - CodeHaut) / 4;

    const int xa = std::clamp(static_cast<int>(centreX - demiX), 0, largeur - 1);
    const int xb = std::clamp(static_cast<int>(centreX + demiX), xa, largeur - 1);
    const int ya = std::clamp(static_cast<int>(centreY - demiY), 0, hauteur - 1);
    const int yb = std::clamp(static_cast<int>(centreY + demiY), ya, hauteur - 1);

    long somme = 0;
    long nb = 0;
    for (int y = ya; y <= yb; ++y) {
        const int ligne = basEnHaut ? hauteur - 1 - y : y;
        const uint8_t* p = pixels + static_cast<ptrdiff_t>(ligne) * pas;
        for (int x = xa; x <= xb; ++x) {
            const uint8_t* px = p + 3 * x;
            somme += 299 * px[indiceRouge] + 587 * px[1] + 114 * px[indiceBleu];
            ++nb;
        }
    }
    return static_cast<int>(somme / (nb * 1000));
}

int LireNumero(const uint8_t* pixels, int largeur, int hauteur, int pas, bool basEnHaut,
               int indiceRouge, int indiceBleu)
{
    // Below this size the blocks are narrower than two pixels.
    if (!pixels || largeur < 2 * NbBlocsCode || hauteur < 16 || pas < 3 * largeur)
        return -1;
    bool blanc[NbBlocsCode];
    for (int i = 0; i < NbBlocsCode; ++i)
        blanc[i] = LuminositeBloc(pixels, largeur, hauteur, pas, basEnHaut, indiceRouge,
                                  indiceBleu, i) >= SeuilGris;
    int numero = 0;
    for (int b = 0; b < NbBitsNumero; ++b)
        numero = (numero << 1) | (blanc[2 + b] ? 1 : 0);
    for (int i = 0; i < NbBlocsCode; ++i)
        if (blanc[i] != BlocCodeBlanc(numero, i))
            return -1;
    return numero;
}

uint32_t Lire32(const uint8_t* p)
{
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

} // namespace

bool BlocCodeBlanc(int numero, int bloc)
{
    if (bloc == 0 || bloc == NbBlocsCode - 1)
        return true;
    if (bloc == 1 || bloc == NbBlocsCode - 2)
        return false;
    if (bloc == NbBlocsCode - 3)
        return PariteImpaire(numero);
    const int bit = NbBitsNumero - 1 - (bloc - 2);
    return ((numero >> bit) & 1) != 0;
}

int LireNumeroImage(const uint8_t* bgr, int largeur, int hauteur, int pas, bool basEnHaut)
{
    return LireNumero(bgr, largeur, hauteur, pas, basEnHaut, 2, 0);
}

int LireNumeroRGB(const uint8_t* rgb, int largeur, int hauteur)
{
    return LireNumero(rgb, largeur, hauteur, 3 * largeur, false, 0, 2);
}

int LireNumeroBitmap(const uint8_t* fichier, size_t taille)
{
    if (!fichier || taille < TailleEnteteBitmap || fichier[0] != 'B' || fichier[1] != 'M')
        return -1;
    const uint32_t debutPixels = Lire32(fichier + 10);
    const int32_t largeur = static_cast<int32_t>(Lire32(fichier + 18));
    int32_t hauteur = static_cast<int32_t>(Lire32(fichier + 22));
    const int bitsParPixel = fichier[28] | (fichier[29] << 8);
    if (bitsParPixel != 24 || largeur <= 0 || largeur > CoteMaxBitmap || hauteur == 0
        || hauteur < -CoteMaxBitmap || hauteur > CoteMaxBitmap)
        return -1;
    const bool basEnHaut = hauteur > 0;
    hauteur = hauteur > 0 ? hauteur : -hauteur;
    const size_t pas = (static_cast<size_t>(largeur) * 3 + 3) & ~static_cast<size_t>(3);
    if (debutPixels < TailleEnteteBitmap || debutPixels > taille
        || (taille - debutPixels) / pas < static_cast<size_t>(hauteur))
        return -1;
    return LireNumeroImage(fichier + debutPixels, largeur, hauteur, static_cast<int>(pas), basEnHaut);
}
