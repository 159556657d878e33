// Picture number code of the test films: where it lies in a picture and how
// to read it back from a decoded picture.
//
// Every picture made by the film maker carries its number as a row of
// blocks near its bottom edge, laid out in fractions of the picture size so
// that it survives compression and any stretching of the picture:
//
//   [white][black] b15 b14 ... b1 b0 [parity] [black][white]
//
// b15..b0 are the number in binary (white = 1, black = 0), the parity block
// is white when the count of 1 bits is odd, and the four outer blocks are
// guards. A reader samples the centre of each block and thresholds its
// brightness at mid-grey.
#pragma once

#include <cstddef>
#include <cstdint>

// Layout of the code row, shared by the drawing and the reading.
constexpr int NbBitsNumero = 16;  // numbers 0 to 65535
constexpr int NbBlocsCode = NbBitsNumero + 5;  // 2 guards, 16 bits, parity, 2 guards
constexpr double CodeGauche = 0.04;  // row from 4 % to 96 % of the width
constexpr double CodeDroite = 0.96;
constexpr double CodeHaut = 0.80;    // and from 80 % to 94 % of the height
constexpr double CodeBas = 0.94;
constexpr int NumeroMaxImage = (1 << NbBitsNumero) - 1;

// Value (true = white) of block i of the row that codes `numero`.
bool BlocCodeBlanc(int numero, int bloc);

// Reads the number from a 24-bit BGR picture. `pas` is the distance in
// bytes between two rows in memory; with `basEnHaut` the first row in memory
// is the bottom row of the picture (as in a bitmap file). Returns the
// number, or -1 when the guards or the parity do not match.
int LireNumeroImage(const uint8_t* bgr, int largeur, int hauteur, int pas, bool basEnHaut);

// Same, from a bitmap file image in memory: 54-byte header, 24 bits per
// pixel, rows padded to 4 bytes, bottom row first (a negative height in the
// header means top row first). Returns -1 for a header it cannot use.
int LireNumeroBitmap(const uint8_t* fichier, size_t taille);

// Same, from packed top-down RGB rows (3 * largeur bytes each).
int LireNumeroRGB(const uint8_t* rgb, int largeur, int hauteur);
