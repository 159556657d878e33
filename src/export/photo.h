// Snapshot: the picture on screen, as a bitmap file image built in memory,
// compressed to JPEG at quality 50 at its own size.
#pragma once

#include <cstdint>
#include <string>

constexpr int QualitePhoto = 50;

// Path of the JPEG for a chosen file name: ".jpg" appended when the name
// has 4 characters or fewer or does not end in a dot and j, p, g in either
// case. Empty for an empty name or one longer than 300 characters.
std::string CheminPhoto(const std::string& choisi);

// Compresses a 24-bit bitmap file image of `taille` bytes (bottom-up rows,
// or top-down for a negative height) into JPEG bytes at `destination`, of
// at most `place` bytes; *nbJpeg receives the JPEG's length. 0 ok; -1 for
// an image that cannot be read or a JPEG larger than the room (*nbJpeg 0).
int BitmapToJpeg(const unsigned char* bitmap, int32_t taille, unsigned char* destination, int32_t* nbJpeg,
                 int32_t place);
