// Picture boundaries found from start codes, on hand-made byte sequences.
#include <gtest/gtest.h>

#include <vector>

#include "codecs/decoupage.h"
#include "codecs/korcodecs.h"

namespace {

using Octets = std::vector<unsigned char>;

// Appends a NAL unit: start code (3 or 4 bytes), header byte, payload.
int32_t Ajouter(Octets& d, bool long4, unsigned char entete, Octets charge) {
    if (long4) d.push_back(0);
    const auto pos = static_cast<int32_t>(d.size());  // offset of 00 00 01
    d.insert(d.end(), {0, 0, 1, entete});
    d.insert(d.end(), charge.begin(), charge.end());
    return pos;
}

// Slice payloads: first bit 1 means first_mb_in_slice = 0.
const Octets Premiere = {0x88, 0x84, 0x21, 0x7F};
const Octets Suite = {0x40, 0x12, 0x34, 0x7F};  // first_mb_in_slice > 0
const Octets Sps = {0x42, 0xC0, 0x0A, 0x8C};
const Octets Pps = {0xCE, 0x3C, 0x80};

constexpr unsigned char NalSps = 0x67, NalPps = 0x68, NalIdr = 0x65, NalP = 0x41, NalSei = 0x06,
                        NalAud = 0x09;

int32_t N(const Octets& d) { return static_cast<int32_t>(d.size()); }

TEST(Decoupage, StartCodeSearch) {
    const Octets d = {5, 0, 0, 1, 7, 0, 1, 0, 0, 0, 1, 9, 0, 0};
    EXPECT_EQ(ChercherCodeDebut(d.data(), N(d), 0), 1);
    EXPECT_EQ(ChercherCodeDebut(d.data(), N(d), 2), 8);  // 00 00 00 01: the last two zeros
    EXPECT_EQ(ChercherCodeDebut(d.data(), N(d), 9), -1);
    EXPECT_EQ(ChercherCodeDebut(d.data(), 3, 0), -1);     // 5 0 0: cut before the 01
    EXPECT_EQ(ChercherCodeDebut(d.data(), 2, 0), -1);
}

TEST(Decoupage, H264NextPictureDependsOnWhereTheDataBegins) {
    // Picture 1: SPS PPS IDR (two slices); picture 2: P; picture 3: SEI + P.
    Octets d;
    const int32_t sps = Ajouter(d, true, NalSps, Sps);
    Ajouter(d, true, NalPps, Pps);
    const int32_t idr = Ajouter(d, true, NalIdr, Premiere);
    const int32_t idr2 = Ajouter(d, false, NalIdr, Suite);
    const int32_t p1 = Ajouter(d, true, NalP, Premiere);
    const int32_t sei = Ajouter(d, true, NalSei, {0x05, 0x01, 0x80});
    Ajouter(d, false, NalP, Premiere);

    // On a picture's first unit, after the 4-byte code's zero or not.
    EXPECT_EQ(DebutImageH264(d.data(), N(d)), sps);
    EXPECT_EQ(DebutImageH264(d.data() + sps, N(d) - sps), 0);
    EXPECT_EQ(DebutImageH264(d.data() + p1, N(d) - p1), 0);
    // One byte into the SPS's start code: that picture has begun, so the
    // parameter sets and its IDR slices are skipped.
    EXPECT_EQ(DebutImageH264(d.data() + sps + 1, N(d) - sps - 1), p1 - sps - 1);
    // Same one byte into a P picture: the next picture is the SEI one.
    EXPECT_EQ(DebutImageH264(d.data() + p1 + 1, N(d) - p1 - 1), sei - p1 - 1);
    // Inside slice data: the next picture start.
    EXPECT_EQ(DebutImageH264(d.data() + idr + 5, N(d) - idr - 5), p1 - idr - 5);
    // On the second slice of a picture: not a start.
    EXPECT_EQ(DebutImageH264(d.data() + idr2, N(d) - idr2), p1 - idr2);
    // Nothing after the last picture's start.
    EXPECT_EQ(DebutImageH264(d.data() + sei + 1, N(d) - sei - 1), -1);
    // A delimiter always opens a picture.
    Octets a;
    Ajouter(a, false, NalAud, {0xF0});
    Ajouter(a, false, NalSps, Sps);
    Ajouter(a, false, NalIdr, Premiere);
    const int32_t aud2 = Ajouter(a, false, NalAud, {0xF0});
    EXPECT_EQ(DebutImageH264(a.data() + 1, N(a) - 1), aud2 - 1);
    // Public call, same rule.
    EXPECT_EQ(KORH264_ChercheImage(d.data() + sps + 1, N(d) - sps - 1), p1 - sps - 1);
    EXPECT_LT(KORH264_ChercheImage(d.data(), 0), 0);
}

TEST(Decoupage, H264EndOfFirstPicture) {
    Octets d;
    Ajouter(d, true, NalSps, Sps);
    Ajouter(d, true, NalPps, Pps);
    Ajouter(d, true, NalIdr, Premiere);
    Ajouter(d, false, NalIdr, Suite);
    const int32_t p1 = Ajouter(d, true, NalP, Premiere);
    // The 4-byte start code's zero goes with the next picture.
    EXPECT_EQ(FinPremiereImageH264(d.data(), N(d)), p1 - 1);
    // The last picture runs to the end of the data.
    EXPECT_EQ(FinPremiereImageH264(d.data() + p1, N(d) - p1), N(d) - p1);
    // Parameter sets alone are no picture.
    EXPECT_EQ(FinPremiereImageH264(d.data(), 15), -1);
}

TEST(Decoupage, H264SafeStartPrefersAnIdrWithItsParameterSets) {
    Octets d;
    Ajouter(d, true, NalP, Premiere);
    const int32_t nue = Ajouter(d, true, NalIdr, Premiere);  // IDR without SPS
    Ajouter(d, true, NalP, Premiere);
    const int32_t sps = Ajouter(d, true, NalSps, Sps);
    Ajouter(d, true, NalPps, Pps);
    Ajouter(d, true, NalIdr, Premiere);
    Ajouter(d, true, NalP, Premiere);
    int32_t nombre = -1;
    EXPECT_EQ(DebutImageRefH264(d.data(), N(d), &nombre), sps);
    EXPECT_EQ(nombre, 2);
    // Without the later one, the bare IDR picture is the start.
    EXPECT_EQ(KORH264_ChercheImageRef(d.data(), sps, &nombre), nue);
    EXPECT_EQ(nombre, 1);
    // No IDR at all.
    Octets p;
    Ajouter(p, true, NalP, Premiere);
    Ajouter(p, true, NalP, Premiere);
    EXPECT_LT(KORH264_ChercheImageRef(p.data(), N(p), &nombre), 0);
    EXPECT_EQ(nombre, 0);
}

TEST(Decoupage, Mpeg4EndOfFirstPicture) {
    const Octets tete = {0, 0, 1, 0xB0, 0xF5, 0, 0, 1, 0xB5, 0x09, 0, 0, 1, 0x00, 0, 0, 1, 0x20, 0x08, 0xC8};
    const Octets image = {0, 0, 1, 0xB6, 0x10, 0x60, 0x51, 0x82};
    const Octets fin = {0, 0, 1, 0xB1};
    Octets d = tete;
    d.insert(d.end(), image.begin(), image.end());
    const int32_t deuxieme = N(d);
    d.insert(d.end(), image.begin(), image.end());
    EXPECT_EQ(FinPremiereImageMpeg4(d.data(), N(d)), deuxieme);
    EXPECT_EQ(FinPremiereImageMpeg4(d.data() + deuxieme, N(d) - deuxieme), N(d) - deuxieme);
    // Headers after a picture belong to the next one.
    Octets e = image;
    e.insert(e.end(), tete.begin(), tete.end());
    EXPECT_EQ(FinPremiereImageMpeg4(e.data(), N(e)), N(image));
    // The sequence end code stays with the picture.
    Octets f = image;
    f.insert(f.end(), fin.begin(), fin.end());
    EXPECT_EQ(FinPremiereImageMpeg4(f.data(), N(f)), N(f));
    // Headers alone are no picture.
    EXPECT_EQ(FinPremiereImageMpeg4(tete.data(), N(tete)), -1);
}

}  // namespace
