// Small raw streams made with libavcodec's encoders for the codec tests.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// A coded stream and the pictures it was made from.
struct FluxEssai {
    std::vector<unsigned char> octets;             // raw elementary stream
    std::vector<int32_t> debuts;                   // offset of each coded picture
    std::vector<bool> cles;                        // intra picture or not
    std::vector<std::vector<unsigned char>> bgr;   // source pictures, top-down B,G,R rows
    int largeur = 0;
    int hauteur = 0;
};

enum class Genre { Mpeg4, H264 };

// Encodes `nombre` pictures of a moving test pattern, one intra picture
// every `groupe` pictures, no B-pictures, headers in the stream. For H.264
// `tranches` > 1 splits each picture into that many slices. Returns false
// when the encoder is missing or fails.
bool FabriquerFlux(Genre genre, int largeur, int hauteur, int nombre, int groupe, FluxEssai& flux,
                   int tranches = 1);

// The test pattern's picture number `i`, top-down B,G,R rows.
std::vector<unsigned char> MotifBGR(int largeur, int hauteur, int i);

// Mean absolute difference between a bitmap file image and top-down BGR
// pixels of the same size; a large value when the sizes differ.
double EcartMoyen(const unsigned char* bitmap, int32_t taille, const std::vector<unsigned char>& bgr,
                  int largeur, int hauteur);

// Little-endian readers for the header checks.
uint32_t Lire32(const unsigned char* p);
uint16_t Lire16(const unsigned char* p);
