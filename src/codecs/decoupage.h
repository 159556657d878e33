// Picture boundaries in raw MPEG-4 visual and H.264 Annex B streams.
//
// The decoders hand libavcodec exactly one picture per call and report the
// bytes of that picture as used, so they cut the data themselves from the
// start codes (00 00 01 xx) instead of keeping a parser whose state would
// span calls. Plain functions over bytes; offsets are counted from `d` and
// every read stays below `n`.
#pragma once

#include <cstdint>

// Offset of the first 00 00 01 at or after `debut`, or -1.
int32_t ChercherCodeDebut(const unsigned char* d, int32_t n, int32_t debut);

// MPEG-4: true for the start code values (the byte after 00 00 01) that
// begin a picture's bytes: the headers that may precede a picture (video
// object, object layer, sequence, user data, group, visual object) and the
// picture start itself.
bool EnTeteMpeg4(unsigned char c);

// MPEG-4: end of the first picture, i.e. the offset of the first header
// start code (video object, object layer, sequence, group, user data,
// visual object, or the next picture) that follows the first picture start
// (00 00 01 B6). Everything before that picture (sequence headers, stray
// bytes) belongs to it. A picture with no header after it runs to `n`.
// -1 when the data holds no picture start.
int32_t FinPremiereImageMpeg4(const unsigned char* d, int32_t n);

// H.264: offset of the 00 00 01 of the first NAL unit of the next access
// unit (picture with its parameter sets, SEI or delimiter), -1 if none.
// Data that begins on a start code, possibly after zero bytes, begins a
// picture when its first unit may start one. Data that begins inside a unit
// is taken to be inside that unit's picture, so the next picture is the one
// after it; when the data begins with the tail of a start code ("00 01 xx"
// or "01 xx") the unit type xx tells whether that picture has reached its
// slices yet.
int32_t DebutImageH264(const unsigned char* d, int32_t n);

// H.264: end of the first picture that has slices: the offset where the
// next access unit begins (the zero byte before a 4-byte start code
// included in the next one), or `n` when no access unit follows.
// -1 when the data holds no slice.
int32_t FinPremiereImageH264(const unsigned char* d, int32_t n);

// H.264: offset of a safe decoding start: the access unit of the first IDR
// picture that carries its sequence parameter set, else the access unit of
// the first IDR picture; -1 without any IDR picture. `nbIdr` (may be null)
// receives the number of IDR pictures met up to the one chosen (all of
// them when the result is -1 or no IDR carries parameter sets).
int32_t DebutImageRefH264(const unsigned char* d, int32_t n, int32_t* nbIdr);

// True when the first picture of the data is coded without reference to
// earlier ones, so that a decoder's past no longer matters from there on:
// an intra video object plane after its video object layer header
// (MPEG-4), an IDR picture (H.264).
bool ImageIntraMpeg4(const unsigned char* d, int32_t n);
bool ImageIdrH264(const unsigned char* d, int32_t n);
// H.264: an IDR picture whose access unit also carries its sequence and
// picture parameter sets, so that a new decoder can start on it alone.
bool ImageIdrAvecParametresH264(const unsigned char* d, int32_t n);

// Length of the headers in front of the first picture, when they are the
// ones a new decoder needs (H.264: a sequence parameter set; MPEG-4: a video
// object layer header): the offset of the first slice or picture start
// code. -1 without them.
int32_t EntetesH264(const unsigned char* d, int32_t n);
int32_t EntetesMpeg4(const unsigned char* d, int32_t n);
