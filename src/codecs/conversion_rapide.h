/* Fast conversion of decoded 4:2:0 pictures into bitmap rows.
 *
 * The decoders' pictures are limited-range YUV 4:2:0; swscale turns them
 * into B, G, R with a fixed-point formula, 16 pixels at a time. This
 * converter computes the very same formula 32 pixels at a time (AVX2) and
 * writes the rows bottom-up straight into the bitmap. It is used only when
 * the processor has AVX2 and a check over every (Y, U, V) triple has found
 * its results identical to swscale's, byte for byte; otherwise swscale
 * does the work as before.
 */
#pragma once

#include <cstdint>

struct AVFrame;

// A picture this converter takes: YUV 4:2:0 limited range, a width that is
// a multiple of 16 (at least 32) and an even height.
bool ConversionRapideEligible(const AVFrame* frame);

// True when the converter is in use: AVX2 present and its results checked
// against swscale (the check runs once, on the first call: 16.7 million
// pixels through both).
bool ConversionRapideActive();

// Writes the pixel rows of an eligible frame bottom-up into `pixels`, rows
// of `ligne` bytes (3 x width: no padding for these widths).
void ConversionRapide(const AVFrame* frame, unsigned char* pixels, int32_t ligne);

// Tests: false forces swscale for every picture (true by default).
void ConversionRapideAutorisee(bool oui);
