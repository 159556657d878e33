/* Codec library of the player: MPEG-4 visual and H.264 decoding, MPEG-4
 * encoding, with the calls the recorders' own libraries offer.
 *
 * Decoder instances: 0 (the reader of channel 0), 1 (the AVI export), 2
 * to 4 (the readers of channels 1 to 3, films shown together) and 5 to 8
 * (jump targets the reader of channel 0 decodes ahead; it may exchange one
 * of them with its own) of each kind can be open at the same time, each used by one thread at a time. Encoder
 * instance: 0. A call on an instance that is out of range or not open fails
 * (result -1) and writes nothing but its zeroed outputs.
 *
 * Decoded output is a complete 24-bit bitmap file image (see bitmap.h)
 * written at the output buffer, with its byte size. OUTPUT ROOM: the calls
 * without a capacity argument assume KOR_BITMAP_TAILLE_MAX (15,728,694)
 * bytes of room, the largest picture the player shows (2560 x 2048). A
 * picture whose image would be larger fails to decode and nothing is
 * written. A caller with a smaller buffer must use the "Cap" variants,
 * which take the room explicitly.
 *
 * Each successful decode decodes exactly one picture and reports the bytes
 * of that picture (at least 1) as used; the caller advances by that much.
 * A call that yields no picture fails. The last picture of the data, with
 * no start code after it, is taken to end with the data. Until a decoder
 * instance has produced an intra picture, non-intra pictures fail (a
 * stream entered in the middle of a group of pictures shows nothing until
 * its next intra picture).
 *
 * Results: 0 = success, anything else = failure (-1).
 */
#pragma once

#include <stdint.h>

#include "codecs/bitmap.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Decoder instances per kind (0 reader, 1 AVI export, 2-4 other readers,
 * 5-8 decoding ahead). */
#define KOR_NB_DECODEURS 9
#define KOR_PREMIER_DECODEUR_AVANCE 5

/* ---- MPEG-4 visual (Part 2) decoder ---- */

/* Opens decoder instance `instance` (0 or 1); an open instance is reset. */
int32_t KORMP4_DEC_Init(int32_t instance);

/* Decodes the first picture of `donnees` (any sequence headers before it
 * included). On success (0): the bitmap file image at `sortie` (room of
 * KOR_BITMAP_TAILLE_MAX bytes), its size in *tailleSortie, the bytes of the
 * picture in *octetsUtilises (>= 1), *cle = 1 for an intra picture else 0,
 * the picture's *largeur and *hauteur. `reserve` is ignored (callers pass
 * 0). On failure every output is 0. Output pointers may be null. */
int32_t KORMP4_DEC_GetFrame(int32_t instance, unsigned char* donnees, int32_t longueur,
                            unsigned char* sortie, int32_t* tailleSortie, int32_t reserve,
                            int32_t* octetsUtilises, unsigned char* cle, int32_t* largeur,
                            int32_t* hauteur);

/* Same with an explicit room `capacite` for the output image. */
int32_t KORMP4_DEC_GetFrameCap(int32_t instance, unsigned char* donnees, int32_t longueur,
                               unsigned char* sortie, int32_t capacite, int32_t* tailleSortie,
                               int32_t reserve, int32_t* octetsUtilises, unsigned char* cle,
                               int32_t* largeur, int32_t* hauteur);

/* Closes the instance; nothing happens for one that is not open. */
int32_t KORMP4_DEC_Termine(int32_t instance);

/* ---- MPEG-4 visual encoder (pictures for an AVI of fourcc DX50) ---- */

/* Opens encoder instance 0 for pictures of largeur x hauteur.
 * debit: target bit rate in bits per second (the export passes 1,048,576);
 * imagesParSeconde: picture rate of the time base (20);
 * secondesEntreCles: distance between intra pictures in seconds, so the
 * group of pictures is imagesParSeconde x secondesEntreCles pictures
 * (the export passes 1: one intra picture every 20 pictures).
 * Values below 1 take those defaults. Pictures carry no B-pictures, and
 * each intra picture repeats the sequence headers, so every intra picture
 * is a start point. */
int32_t KORMP4_ENC_InitEncoderMPEG4(int32_t instance, int32_t largeur, int32_t hauteur,
                                    int32_t debit, int32_t imagesParSeconde,
                                    int32_t secondesEntreCles);

/* Same with the picture rate as a fraction imagesNum / imagesDen (the
 * rate of an AVI header: R / 1000), declared in the stream as it is or,
 * when its terms need more than 16 bits, as the nearest fraction that does
 * not; the group of pictures is that rate x secondesEntreCles pictures (at
 * least 1). A fraction with a term below 1 takes 20 / 1. */
int32_t KORMP4_ENC_InitEncoderMPEG4Fraction(int32_t instance, int32_t largeur, int32_t hauteur,
                                            int32_t debit, int32_t imagesNum, int32_t imagesDen,
                                            int32_t secondesEntreCles);

/* Encodes one picture given as the pixels of a bitmap file image (the bytes
 * after its 54-byte header: bottom-up B, G, R rows padded to 4 bytes), of
 * the size given at init; `nbOctets` must cover them. Writes one coded
 * picture of at most `capacite` bytes at `sortie` and returns its size;
 * 0 or below when there is nothing to write (error, picture too large for
 * the room). `reserve` is ignored. */
int32_t KORMP4_ENC_EncodeImageMP4(int32_t instance, unsigned char* pixels, int32_t nbOctets,
                                  unsigned char* sortie, int32_t capacite, int32_t reserve);

/* Closes encoder instance 0. */
int32_t KORMP4_ENC_Mp4Close(int32_t instance);

/* ---- H.264 decoder (Annex B byte stream) ---- */

/* Opens decoder instance `instance` (0 or 1); an open instance is reset. */
int32_t KORH264_InitDecodeur(int32_t instance);

/* Offset of a safe decoding start in the data: the start code of the access
 * unit holding a sequence parameter set and an IDR picture, else that of
 * the first IDR picture; negative when there is none. *nombre (may be
 * null) receives the number of IDR pictures met up to the one chosen. */
int32_t KORH264_ChercheImageRef(unsigned char* donnees, int32_t longueur, int32_t* nombre);

/* Offset of the next picture start (the 00 00 01 of the first unit of the
 * next access unit); negative when there is none. Data that begins on a
 * start code that opens a picture gives its offset (0, or 1 after the
 * leading zero of a 4-byte start code); data that begins inside a picture
 * gives the start of the following one. */
int32_t KORH264_ChercheImage(unsigned char* donnees, int32_t longueur);

/* Decodes the first picture of `donnees` (its parameter sets and SEI
 * included). On success (0): the bitmap file image at `sortie` (room of
 * KOR_BITMAP_TAILLE_MAX bytes), *tailleSortie, the bytes of the picture in
 * *octetsUtilises (>= 1), *hauteur and *largeur (note the order).
 * `reserve` is ignored. On failure every output is 0. */
int32_t KORH264_DecodePaquet(int32_t instance, unsigned char* donnees, int32_t longueur,
                             unsigned char* sortie, int32_t* tailleSortie,
                             int32_t* octetsUtilises, int32_t reserve, int32_t* hauteur,
                             int32_t* largeur);

/* Same with an explicit room `capacite` for the output image. */
int32_t KORH264_DecodePaquetCap(int32_t instance, unsigned char* donnees, int32_t longueur,
                                unsigned char* sortie, int32_t capacite, int32_t* tailleSortie,
                                int32_t* octetsUtilises, int32_t reserve, int32_t* hauteur,
                                int32_t* largeur);

/* Closes the instance; nothing happens for one that is not open. */
int32_t KORH264_FermeDecodeur(int32_t instance);

#ifdef __cplusplus
}

/* Pictures handed from a decoder to the encoder without going through a
 * bitmap: planar YUV frames of libavcodec. */

/* As KORH264_DecodePaquet, but `image` receives a new reference to the
 * decoded frame as the decoder gives it (no conversion, no copy); the
 * caller unreferences it when done. */
int32_t KORH264_DecodePaquetImage(int32_t instance, unsigned char* donnees, int32_t longueur,
                                  AVFrame* image, int32_t* octetsUtilises, int32_t* hauteur,
                                  int32_t* largeur);

/* As KORMP4_DEC_GetFrame, but `image` receives a new reference to the
 * decoded frame (no conversion, no copy); *cle = 1 for an intra picture.
 * The caller unreferences it when done. */
int32_t KORMP4_DEC_GetFrameImage(int32_t instance, unsigned char* donnees, int32_t longueur,
                                 AVFrame* image, int32_t* octetsUtilises, unsigned char* cle,
                                 int32_t* largeur, int32_t* hauteur);

/* As KORMP4_ENC_EncodeImageMP4 for a decoded frame of the size given at
 * init: a limited-range YUV 4:2:0 frame is coded as it is, any other
 * format is converted first. */
int32_t KORMP4_ENC_EncodeImageYuv(int32_t instance, const AVFrame* image, unsigned char* sortie,
                                  int32_t capacite);
#endif
