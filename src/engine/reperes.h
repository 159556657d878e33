// Markers of the three picture codings inside a film body: where decoding
// may start, where a JPEG picture lies, and how far to skip after a picture
// that failed. Plain functions over bytes; offsets are relative to `d`.
#pragma once

#include <cstdint>

// Skips after a failed picture when no marker is in sight: large enough to
// get past a damaged picture quickly, small enough not to lose a good one.
constexpr int SautSansRepereMjpeg = 10000;
constexpr int SautSansRepereCode = 1000; // MPEG-4 and H.264

// Largest picture accepted from a JPEG header: larger headers come from
// damaged or hostile data, and their bitmap would not fit the picture buffer.
constexpr int DimensionMaxJpeg = 8192;

// First MPEG-4 decoding point: 00 00 01 B0 (visual object sequence), or
// 00 00 01 B6 followed by a byte below 0x40 (intra picture), scanned for
// i < n - 4. -1 when there is none.
int32_t ChercherDebutMpeg4(const unsigned char* d, int32_t n);

// First JPEG picture of the window: start-of-image FF D8 at *debut
// (scanning i < n - 2), then the first end-of-image FF D9 at *fin >= *debut
// + 2, within the window. 0 when both are found, -1 otherwise. The picture
// is the bytes *debut .. *fin + 1.
int32_t ChercherImageJpeg(const unsigned char* d, int32_t n, int32_t* debut, int32_t* fin);

// Where decoding resumes after a picture of kind `type` (0 MPEG-4, 1 MJPEG,
// 2 H.264) failed at the start of `d`: MJPEG on the next FF D9 after byte 0
// (i < n - 2), else 10,000 bytes on; MPEG-4 and H.264 on the next
// 00 00 01 / 00 00 00 01 after byte 0 (i < n - 4), else 1,000 bytes on.
// The result may exceed n (everything held is dropped).
int32_t SautApresEchec(int type, const unsigned char* d, int32_t n);
