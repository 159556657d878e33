/* 24-bit bitmap file images held in memory.
 *
 * Every picture the player moves around (decoder output, JPEG pictures, the
 * blank picture, the encoder's input) is a complete bitmap file: a 14-byte
 * file header and a 40-byte information header (54 bytes), then the pixel
 * rows bottom-up, 3 bytes per pixel in B, G, R order, each row padded with
 * zero bytes to a multiple of 4 bytes.
 *
 * Plain functions over bytes: no state, safe from any thread. Results are
 * 0 for success and -1 for failure; nothing is ever written past the
 * capacity a caller gives.
 */
#pragma once

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* File header + information header. */
#define KOR_BITMAP_ENTETE 54

/* Largest picture the player makes room for: 2560 x 2048 pixels of 3 bytes
 * plus the header. Every picture buffer of the reader is this size. */
#define KOR_BITMAP_TAILLE_MAX 15728694

/* The blank picture shown when no picture is available: black, 160 x 120. */
#define KOR_BITMAP_NOIRE_LARGEUR 160
#define KOR_BITMAP_NOIRE_HAUTEUR 120
#define KOR_BITMAP_NOIRE_TAILLE 57654

/* Bytes of one pixel row, padding included; -1 for a width below 1 or one
 * whose row would not fit a 32-bit size. */
int32_t BitmapTailleLigne(int32_t largeur);

/* Bytes of the whole bitmap file image (header + rows); -1 when either
 * dimension is below 1 or the size does not fit a 32-bit signed int. */
int32_t BitmapTailleFichier(int32_t largeur, int32_t hauteur);

/* Fills the 54 header bytes at `entete` for a bottom-up 24-bit picture.
 * -1 (nothing written) for invalid dimensions. */
int32_t BitmapEcrireEntete(unsigned char* entete, int32_t largeur, int32_t hauteur);

/* Builds a bitmap file image from top-down B, G, R pixels (`pas` bytes from
 * one source row to the next, at least 3 x largeur) into `dest` of
 * `capacite` bytes. *taille receives the image size, or 0 on failure
 * (picture too large for the room, bad arguments). */
int32_t BitmapDepuisBGR(const unsigned char* bgr, int32_t pas, int32_t largeur,
                        int32_t hauteur, unsigned char* dest, int32_t capacite,
                        int32_t* taille);

/* Writes the blank picture (black, 160 x 120, 57,654 bytes). */
int32_t BitmapImageNoire(unsigned char* dest, int32_t capacite, int32_t* taille);

#ifdef __cplusplus
}

#include <libavutil/pixfmt.h>

struct AVFrame;
struct SwsContext;

/* The plain format of a full-range ("J") YUV format, *pleine set true;
 * any other format as it is, *pleine false. swscale wants the plain format
 * and the range said apart. */
AVPixelFormat FormatSansPleineEchelle(AVPixelFormat f, bool* pleine);

/* Converts a decoded frame (any pixel format swscale reads) into a bitmap
 * file image at `dest`. `*sws` is the caller's conversion context, created
 * or reused through sws_getCachedContext; the caller frees it with
 * sws_freeContext. A frame whose image exceeds `capacite` is refused
 * (-1, *taille = 0) and nothing is written. */
int32_t BitmapDepuisFrame(const AVFrame* frame, SwsContext** sws, unsigned char* dest,
                          int32_t capacite, int32_t* taille);
#endif
