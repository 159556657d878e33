// Decoding calls of the codec library on streams made by libavcodec's
// encoders, driven the way the reader drives them.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <thread>
#include <vector>

#include "codecs/korcodecs.h"
#include "flux_essai.h"

namespace {

// Largest compression error accepted on the smooth test pattern (0-255 scale).
constexpr double EcartAdmis = 12.0;
constexpr int32_t FenetreMpeg4 = 300000;
constexpr int32_t FenetreH264 = 900000;
constexpr unsigned char Garde = 0xA5;
constexpr int32_t OctetsGarde = 4096;

// Output room with guard bytes after it.
struct Sortie {
    explicit Sortie(int32_t capacite = KOR_BITMAP_TAILLE_MAX)
        : capacite(capacite), octets(static_cast<size_t>(capacite) + OctetsGarde, 0) {
        std::memset(octets.data() + capacite, Garde, OctetsGarde);
    }
    bool GardeIntacte() const {
        for (int32_t i = 0; i < OctetsGarde; ++i)
            if (octets[static_cast<size_t>(capacite) + i] != Garde) return false;
        return true;
    }
    unsigned char* data() { return octets.data(); }
    int32_t capacite;
    std::vector<unsigned char> octets;
};

struct Image {
    int32_t debut;   // offset in the stream where its decode started
    int32_t utiles;  // bytes used
    int32_t largeur, hauteur;
    bool cle;
    double ecart = 0;  // against the source picture of the same rank
};

// Rank of the coded picture whose bytes hold `pos`.
int Rang(const FluxEssai& f, int32_t pos) {
    int r = -1;
    for (size_t i = 0; i < f.debuts.size() && f.debuts[i] <= pos; ++i) r = static_cast<int>(i);
    return r;
}

// Difference between the picture just decoded and its source picture.
double EcartImage(const FluxEssai& f, int32_t pos, const unsigned char* bitmap, int32_t taille) {
    const int r = Rang(f, pos);
    return r < 0 ? 1e9 : EcartMoyen(bitmap, taille, f.bgr[static_cast<size_t>(r)], f.largeur, f.hauteur);
}

// Decodes like the reader: MPEG-4 windows of 300,000 bytes, advancing by the
// bytes used; on failure skip to the next start code (or 1,000 bytes).
std::vector<Image> LireMpeg4(int instance, const FluxEssai& f, int32_t depart, int* echecs,
                             Sortie& s) {
    std::vector<Image> images;
    *echecs = 0;
    const unsigned char* d = f.octets.data();
    const int32_t n = static_cast<int32_t>(f.octets.size());
    int32_t pos = depart;
    while (pos < n) {
        int32_t taille = -1, utiles = -1, l = -1, h = -1;
        unsigned char cle = 7;
        unsigned char* p = const_cast<unsigned char*>(d + pos);
        const int32_t r = KORMP4_DEC_GetFrame(instance, p, std::min(FenetreMpeg4, n - pos), s.data(),
                                              &taille, 0, &utiles, &cle, &l, &h);
        if (r == 0) {
            EXPECT_GE(utiles, 1);
            EXPECT_EQ(taille, BitmapTailleFichier(l, h));
            EXPECT_TRUE(cle == 0 || cle == 1);
            images.push_back({pos, utiles, l, h, cle == 1, EcartImage(f, pos, s.data(), taille)});
            pos += utiles;
        } else {
            EXPECT_EQ(taille, 0);
            ++*echecs;
            int32_t i = 1;
            while (i < n - pos - 4 && !(d[pos + i] == 0 && d[pos + i + 1] == 0 && d[pos + i + 2] == 1)) ++i;
            pos += (i < n - pos - 4) ? i : 1000;
        }
    }
    return images;
}

// Decodes like the reader: safe start, then look for each picture before
// decoding it; on failure skip to the next 00 00 00 01 (or 1,000 bytes).
std::vector<Image> LireH264(int instance, const FluxEssai& f, int32_t depart, int* echecs,
                            Sortie& s, bool chercherReference = true) {
    std::vector<Image> images;
    *echecs = 0;
    const unsigned char* d = f.octets.data();
    const int32_t n = static_cast<int32_t>(f.octets.size());
    int32_t pos = depart;
    bool chercher = true;
    if (chercherReference) {
        int32_t nombre = 0;
        const int32_t r = KORH264_ChercheImageRef(const_cast<unsigned char*>(d + pos), n - pos, &nombre);
        if (r >= 0) {
            pos += r;
            chercher = false;
        }
    }
    while (pos < n) {
        if (chercher) {
            const int32_t u = KORH264_ChercheImage(const_cast<unsigned char*>(d + pos), n - pos);
            if (u < 0) break;
            pos += u;
        }
        chercher = true;
        int32_t taille = -1, utiles = -1, l = -1, h = -1;
        const int32_t r = KORH264_DecodePaquet(instance, const_cast<unsigned char*>(d + pos),
                                               std::min(FenetreH264, n - pos), s.data(), &taille,
                                               &utiles, 0, &h, &l);
        if (r == 0) {
            EXPECT_GE(utiles, 1);
            EXPECT_EQ(taille, BitmapTailleFichier(l, h));
            images.push_back({pos, utiles, l, h, false, EcartImage(f, pos, s.data(), taille)});
            pos += utiles;
        } else {
            EXPECT_EQ(taille, 0);
            ++*echecs;
            int32_t i = 1;
            while (i < n - pos - 4 &&
                   !(d[pos + i] == 0 && d[pos + i + 1] == 0 && d[pos + i + 2] == 0 && d[pos + i + 3] == 1))
                ++i;
            pos += (i < n - pos - 4) ? i : 1000;
        }
    }
    return images;
}

class Decodeurs : public ::testing::Test {
protected:
    void TearDown() override {
        for (int i = 0; i < KOR_NB_DECODEURS; ++i) {
            KORMP4_DEC_Termine(i);
            KORH264_FermeDecodeur(i);
        }
    }
};

TEST_F(Decodeurs, Mpeg4DecodesEveryPictureInOrder) {
    FluxEssai f;
    ASSERT_TRUE(FabriquerFlux(Genre::Mpeg4, 176, 144, 30, 10, f));
    ASSERT_EQ(KORMP4_DEC_Init(0), 0);
    Sortie s;
    const unsigned char* d = f.octets.data();
    const int32_t n = static_cast<int32_t>(f.octets.size());
    int32_t pos = 0;
    for (int i = 0; i < 30; ++i) {
        int32_t taille = 0, utiles = 0, l = 0, h = 0;
        unsigned char cle = 9;
        ASSERT_EQ(KORMP4_DEC_GetFrame(0, const_cast<unsigned char*>(d + pos),
                                      std::min(FenetreMpeg4, n - pos), s.data(), &taille, 0, &utiles,
                                      &cle, &l, &h),
                  0)
            << "picture " << i;
        // Exactly one picture per call: the bytes used end where the next one begins.
        const int32_t fin = i + 1 < 30 ? f.debuts[i + 1] : n;
        EXPECT_EQ(pos + utiles, fin) << "picture " << i;
        EXPECT_EQ(l, 176);
        EXPECT_EQ(h, 144);
        EXPECT_EQ(cle, f.cles[i] ? 1 : 0) << "picture " << i;
        EXPECT_LT(EcartMoyen(s.data(), taille, f.bgr[i], 176, 144), EcartAdmis) << "picture " << i;
        pos += utiles;
    }
    EXPECT_EQ(pos, n);
    EXPECT_TRUE(s.GardeIntacte());
}

TEST_F(Decodeurs, H264DecodesEveryPictureInOrder) {
    for (int tranches : {1, 3}) {
        SCOPED_TRACE(tranches);
        FluxEssai f;
        ASSERT_TRUE(FabriquerFlux(Genre::H264, 176, 144, 30, 10, f, tranches));
        ASSERT_EQ(KORH264_InitDecodeur(0), 0);
        Sortie s;
        const unsigned char* d = f.octets.data();
        const int32_t n = static_cast<int32_t>(f.octets.size());
        int32_t pos = KORH264_ChercheImageRef(const_cast<unsigned char*>(d), n, nullptr);
        ASSERT_GE(pos, 0);
        ASSERT_LE(pos, 1);  // the 00 00 01 of the first unit
        for (int i = 0; i < 30; ++i) {
            if (i > 0) {
                const int32_t u = KORH264_ChercheImage(const_cast<unsigned char*>(d + pos), n - pos);
                ASSERT_GE(u, 0);
                ASSERT_LE(u, 1);  // right on the picture (or after the 4-byte code's zero)
                pos += u;
            }
            int32_t taille = 0, utiles = 0, l = 0, h = 0;
            ASSERT_EQ(KORH264_DecodePaquet(0, const_cast<unsigned char*>(d + pos),
                                           std::min(FenetreH264, n - pos), s.data(), &taille, &utiles,
                                           0, &h, &l),
                      0)
                << "picture " << i;
            const int32_t fin = i + 1 < 30 ? f.debuts[i + 1] : n;
            EXPECT_LE(pos + utiles, fin) << "picture " << i;
            EXPECT_GE(pos + utiles, fin - 1) << "picture " << i;
            EXPECT_EQ(l, 176);
            EXPECT_EQ(h, 144);
            EXPECT_LT(EcartMoyen(s.data(), taille, f.bgr[i], 176, 144), EcartAdmis) << "picture " << i;
            pos += utiles;
        }
        EXPECT_GE(pos, n - 1);
        EXPECT_TRUE(s.GardeIntacte());
        KORH264_FermeDecodeur(0);
    }
}

TEST_F(Decodeurs, BitmapHeaderOfADecodedPicture) {
    FluxEssai f;
    ASSERT_TRUE(FabriquerFlux(Genre::H264, 66, 50, 1, 1, f));  // rows of 198 bytes, padded to 200
    ASSERT_EQ(KORH264_InitDecodeur(1), 0);
    Sortie s;
    int32_t taille = 0, utiles = 0, l = 0, h = 0;
    ASSERT_EQ(KORH264_DecodePaquet(1, f.octets.data(), static_cast<int32_t>(f.octets.size()), s.data(),
                                   &taille, &utiles, 0, &h, &l),
              0);
    const unsigned char* b = s.data();
    EXPECT_EQ(taille, 54 + 200 * 50);
    EXPECT_EQ(utiles, static_cast<int32_t>(f.octets.size()));
    EXPECT_EQ(b[0], 'B');
    EXPECT_EQ(b[1], 'M');
    EXPECT_EQ(Lire32(b + 2), static_cast<uint32_t>(taille));
    EXPECT_EQ(Lire32(b + 10), 54u);
    EXPECT_EQ(Lire32(b + 14), 40u);
    EXPECT_EQ(Lire32(b + 18), 66u);
    EXPECT_EQ(Lire32(b + 22), 50u);
    EXPECT_EQ(Lire16(b + 26), 1);
    EXPECT_EQ(Lire16(b + 28), 24);
    EXPECT_EQ(Lire32(b + 30), 0u);
    EXPECT_EQ(Lire32(b + 34), 200u * 50);
    for (int y = 0; y < 50; ++y) {
        EXPECT_EQ(b[54 + y * 200 + 198], 0);
        EXPECT_EQ(b[54 + y * 200 + 199], 0);
    }
    EXPECT_LT(EcartMoyen(b, taille, f.bgr[0], 66, 50), EcartAdmis);
    EXPECT_TRUE(s.GardeIntacte());
}

TEST_F(Decodeurs, ReaderLoopOverWholeStreams) {
    Sortie s;
    FluxEssai m, h;
    ASSERT_TRUE(FabriquerFlux(Genre::Mpeg4, 64, 48, 40, 12, m));
    ASSERT_TRUE(FabriquerFlux(Genre::H264, 64, 48, 40, 12, h));
    int echecs = 0;
    ASSERT_EQ(KORMP4_DEC_Init(0), 0);
    auto im = LireMpeg4(0, m, 0, &echecs, s);
    EXPECT_EQ(im.size(), 40u);
    EXPECT_EQ(echecs, 0);
    ASSERT_EQ(KORH264_InitDecodeur(0), 0);
    auto ih = LireH264(0, h, 0, &echecs, s);
    EXPECT_EQ(ih.size(), 40u);
    EXPECT_EQ(echecs, 0);
}

TEST_F(Decodeurs, TwoInstancesAtOnce) {
    FluxEssai a, b, c, d;
    ASSERT_TRUE(FabriquerFlux(Genre::Mpeg4, 176, 144, 20, 10, a));
    ASSERT_TRUE(FabriquerFlux(Genre::Mpeg4, 64, 48, 20, 5, b));
    ASSERT_TRUE(FabriquerFlux(Genre::H264, 176, 144, 20, 10, c));
    ASSERT_TRUE(FabriquerFlux(Genre::H264, 64, 48, 20, 5, d));
    for (int i = 0; i < KOR_NB_DECODEURS; ++i) {
        ASSERT_EQ(KORMP4_DEC_Init(i), 0);
        ASSERT_EQ(KORH264_InitDecodeur(i), 0);
    }
    Sortie s;
    int32_t pa = 0, pb = 0, pc = 0, pd = 0;
    for (int i = 0; i < 20; ++i) {
        // Interleaved: each instance keeps its own references and sizes.
        struct Appel {
            const FluxEssai* f;
            int32_t* pos;
            int instance;
            bool h264;
        } appels[] = {{&a, &pa, 0, false}, {&b, &pb, 1, false}, {&c, &pc, 0, true}, {&d, &pd, 1, true}};
        for (const Appel& x : appels) {
            int32_t taille = 0, utiles = 0, l = 0, h = 0;
            unsigned char cle = 0;
            unsigned char* p = const_cast<unsigned char*>(x.f->octets.data() + *x.pos);
            const int32_t reste = static_cast<int32_t>(x.f->octets.size()) - *x.pos;
            const int32_t r =
                x.h264 ? KORH264_DecodePaquet(x.instance, p, reste, s.data(), &taille, &utiles, 0, &h, &l)
                       : KORMP4_DEC_GetFrame(x.instance, p, reste, s.data(), &taille, 0, &utiles, &cle,
                                             &l, &h);
            ASSERT_EQ(r, 0) << "picture " << i << " instance " << x.instance << " h264 " << x.h264;
            EXPECT_EQ(l, x.f->largeur);
            EXPECT_EQ(h, x.f->hauteur);
            EXPECT_LT(EcartMoyen(s.data(), taille, x.f->bgr[i], l, h), EcartAdmis);
            *x.pos += utiles;
        }
    }
}

TEST_F(Decodeurs, InstancesUsedFromTwoThreads) {
    // The reader and the export decode on their own threads at the same time.
    FluxEssai a, b;
    ASSERT_TRUE(FabriquerFlux(Genre::H264, 176, 144, 30, 10, a));
    ASSERT_TRUE(FabriquerFlux(Genre::H264, 64, 48, 30, 10, b));
    ASSERT_EQ(KORH264_InitDecodeur(0), 0);
    ASSERT_EQ(KORH264_InitDecodeur(1), 0);
    std::vector<Image> ia, ib;
    int ea = 0, eb = 0;
    Sortie sa, sb;
    std::thread t([&] { ib = LireH264(1, b, 0, &eb, sb); });
    ia = LireH264(0, a, 0, &ea, sa);
    t.join();
    for (const auto* images : {&ia, &ib}) {
        EXPECT_EQ(images->size(), 30u);
        for (const Image& im : *images) EXPECT_LT(im.ecart, EcartAdmis);
    }
    EXPECT_EQ(ea + eb, 0);
}

TEST_F(Decodeurs, ExportWritePassLeavesOutTheLastPicture) {
    // The export walks the body: safe start, then for each picture it checks
    // that another picture starts after it, decodes and advances.
    FluxEssai f;
    ASSERT_TRUE(FabriquerFlux(Genre::H264, 64, 48, 25, 10, f));
    ASSERT_EQ(KORH264_InitDecodeur(1), 0);
    Sortie s;
    unsigned char* d = f.octets.data();
    const int32_t n = static_cast<int32_t>(f.octets.size());
    int32_t nombre = 0;
    int32_t p = KORH264_ChercheImageRef(d, n, &nombre);
    ASSERT_GE(p, 0);
    int ecrites = 0;
    while (p < n) {
        const int32_t u = KORH264_ChercheImage(d + p, n - p);
        if (u < 0) break;
        if (KORH264_ChercheImage(d + p + u + 1, n - p - u - 1) < 0) break;
        p += u;
        int32_t taille = 0, utiles = 0, l = 0, h = 0;
        ASSERT_EQ(KORH264_DecodePaquet(1, d + p, std::min(FenetreH264, n - p), s.data(), &taille, &utiles,
                                       0, &h, &l),
                  0);
        EXPECT_LT(EcartMoyen(s.data(), taille, f.bgr[static_cast<size_t>(ecrites)], 64, 48), EcartAdmis);
        ++ecrites;
        ASSERT_GE(utiles, 1);
        p += utiles;
    }
    EXPECT_EQ(ecrites, 24);
}

TEST_F(Decodeurs, StreamEnteredInTheMiddleOfAGroup) {
    Sortie s;
    int echecs = 0;
    {
        FluxEssai f;
        ASSERT_TRUE(FabriquerFlux(Genre::Mpeg4, 176, 144, 30, 10, f));
        ASSERT_EQ(KORMP4_DEC_Init(0), 0);
        // Enter at picture 4: pictures 4-9 have no reference and must fail,
        // the intra picture 10 and all after it decode.
        auto images = LireMpeg4(0, f, f.debuts[4], &echecs, s);
        ASSERT_EQ(images.size(), 20u);
        EXPECT_EQ(Rang(f, images.front().debut), 10);
        EXPECT_TRUE(images.front().cle);
        EXPECT_GT(echecs, 0);
        for (const Image& im : images) EXPECT_LT(im.ecart, EcartAdmis);
    }
    {
        FluxEssai f;
        ASSERT_TRUE(FabriquerFlux(Genre::H264, 176, 144, 30, 10, f));
        ASSERT_EQ(KORH264_InitDecodeur(0), 0);
        // Without the safe-start search the P pictures fail until the IDR.
        auto images = LireH264(0, f, f.debuts[4] + 7, &echecs, s, false);
        ASSERT_EQ(images.size(), 20u);
        EXPECT_EQ(Rang(f, images.front().debut), 10);
        EXPECT_GT(echecs, 0);
        KORH264_FermeDecodeur(0);
        // With it, decoding starts right at the IDR picture.
        ASSERT_EQ(KORH264_InitDecodeur(0), 0);
        images = LireH264(0, f, f.debuts[4] + 7, &echecs, s, true);
        ASSERT_EQ(images.size(), 20u);
        EXPECT_EQ(Rang(f, images.front().debut), 10);
        EXPECT_EQ(echecs, 0);
        for (const Image& im : images) EXPECT_LT(im.ecart, EcartAdmis);
    }
}

TEST_F(Decodeurs, LastPictureOfTheDataAndTruncatedPictures) {
    Sortie s;
    for (Genre g : {Genre::Mpeg4, Genre::H264}) {
        FluxEssai f;
        ASSERT_TRUE(FabriquerFlux(g, 176, 144, 12, 6, f));
        const bool h264 = g == Genre::H264;
        h264 ? KORH264_InitDecodeur(0) : KORMP4_DEC_Init(0);
        // Cut in the middle of picture 8: pictures 0-7 decode, the cut one
        // may fail or show damage, nothing crashes or runs past the data.
        const int32_t coupe = f.debuts[8] + (f.debuts[9] - f.debuts[8]) / 2;
        f.octets.resize(static_cast<size_t>(coupe));
        int echecs = 0;
        auto images = h264 ? LireH264(0, f, 0, &echecs, s) : LireMpeg4(0, f, 0, &echecs, s);
        EXPECT_GE(images.size(), 8u) << h264;
        EXPECT_LE(images.size(), 9u) << h264;
        for (size_t i = 0; i < 8 && i < images.size(); ++i) {
            EXPECT_EQ(Rang(f, images[i].debut), static_cast<int>(i));
            EXPECT_LT(images[i].ecart, EcartAdmis);
        }
        EXPECT_TRUE(s.GardeIntacte());
        h264 ? KORH264_FermeDecodeur(0) : KORMP4_DEC_Termine(0);
    }
}

TEST_F(Decodeurs, UnopenedAndOutOfRangeInstancesFail) {
    FluxEssai f;
    ASSERT_TRUE(FabriquerFlux(Genre::Mpeg4, 64, 48, 1, 1, f));
    Sortie s;
    int32_t taille = 5, utiles = 5, l = 5, h = 5;
    unsigned char cle = 5;
    for (int instance : {-1, 0, 1, 2, 1000}) {
        EXPECT_NE(KORMP4_DEC_GetFrame(instance, f.octets.data(), static_cast<int32_t>(f.octets.size()),
                                      s.data(), &taille, 0, &utiles, &cle, &l, &h),
                  0);
        EXPECT_EQ(taille, 0);
        EXPECT_EQ(utiles, 0);
        EXPECT_NE(KORH264_DecodePaquet(instance, f.octets.data(), static_cast<int32_t>(f.octets.size()),
                                       s.data(), &taille, &utiles, 0, &h, &l),
                  0);
    }
    EXPECT_NE(KORMP4_DEC_Init(KOR_NB_DECODEURS), 0);
    EXPECT_NE(KORH264_InitDecodeur(-1), 0);
    EXPECT_EQ(KORMP4_DEC_Termine(1), 0);  // closing a closed instance is harmless
    // Closed after use: fails again.
    ASSERT_EQ(KORMP4_DEC_Init(1), 0);
    EXPECT_EQ(KORMP4_DEC_GetFrame(1, f.octets.data(), static_cast<int32_t>(f.octets.size()), s.data(),
                                  &taille, 0, &utiles, &cle, &l, &h),
              0);
    KORMP4_DEC_Termine(1);
    EXPECT_NE(KORMP4_DEC_GetFrame(1, f.octets.data(), static_cast<int32_t>(f.octets.size()), s.data(),
                                  &taille, 0, &utiles, &cle, &l, &h),
              0);
}

TEST_F(Decodeurs, RandomDataNeverCrashes) {
    std::mt19937 alea(1234);
    Sortie s;
    FluxEssai f;
    ASSERT_TRUE(FabriquerFlux(Genre::H264, 64, 48, 6, 3, f));
    FluxEssai m;
    ASSERT_TRUE(FabriquerFlux(Genre::Mpeg4, 64, 48, 6, 3, m));
    ASSERT_EQ(KORMP4_DEC_Init(0), 0);
    ASSERT_EQ(KORH264_InitDecodeur(0), 0);
    for (int essai = 0; essai < 300; ++essai) {
        // Pure noise, noise with start codes, and real streams with flipped bytes.
        std::vector<unsigned char> d;
        const int genre = essai % 3;
        if (genre == 2) {
            d = (essai % 2) ? f.octets : m.octets;
            for (int k = 0; k < 20; ++k) d[alea() % d.size()] ^= static_cast<unsigned char>(1 + alea() % 255);
        } else {
            d.resize(1 + alea() % 5000);
            for (auto& o : d) o = static_cast<unsigned char>(alea());
            if (genre == 1)
                for (size_t k = 0; k + 4 < d.size(); k += 1 + alea() % 200) {
                    d[k] = 0;
                    d[k + 1] = 0;
                    d[k + 2] = 1;
                    const unsigned char codes[] = {0xB0, 0xB6, 0x20, 0x67, 0x68, 0x65, 0x41, 0x09};
                    d[k + 3] = codes[alea() % 8];
                }
        }
        const int32_t n = static_cast<int32_t>(d.size());
        int32_t taille = 0, utiles = 0, l = 0, h = 0, nombre = 0;
        unsigned char cle = 0;
        if (KORMP4_DEC_GetFrame(0, d.data(), n, s.data(), &taille, 0, &utiles, &cle, &l, &h) == 0) {
            EXPECT_GE(utiles, 1);
            EXPECT_LE(utiles, n);
            EXPECT_EQ(taille, BitmapTailleFichier(l, h));
        }
        if (KORH264_DecodePaquet(0, d.data(), n, s.data(), &taille, &utiles, 0, &h, &l) == 0) {
            EXPECT_GE(utiles, 1);
            EXPECT_LE(utiles, n);
            EXPECT_EQ(taille, BitmapTailleFichier(l, h));
        }
        const int32_t r = KORH264_ChercheImageRef(d.data(), n, &nombre);
        EXPECT_LT(r, n);
        const int32_t u = KORH264_ChercheImage(d.data(), n);
        EXPECT_LT(u, n);
    }
    EXPECT_TRUE(s.GardeIntacte());
}

TEST_F(Decodeurs, PictureLargerThanTheRoomFails) {
    // 2576 x 2048 is past the largest picture the player makes room for.
    FluxEssai grand;
    ASSERT_TRUE(FabriquerFlux(Genre::H264, 2576, 2048, 1, 1, grand));
    ASSERT_EQ(KORH264_InitDecodeur(0), 0);
    Sortie s;
    int32_t taille = 1, utiles = 1, l = 1, h = 1;
    EXPECT_NE(KORH264_DecodePaquet(0, grand.octets.data(), static_cast<int32_t>(grand.octets.size()),
                                   s.data(), &taille, &utiles, 0, &h, &l),
              0);
    EXPECT_EQ(taille, 0);
    EXPECT_TRUE(s.GardeIntacte());

    // An explicit room smaller than the picture's image: refused, untouched.
    FluxEssai petit;
    ASSERT_TRUE(FabriquerFlux(Genre::Mpeg4, 176, 144, 2, 1, petit));
    ASSERT_EQ(KORMP4_DEC_Init(1), 0);
    const int32_t besoin = BitmapTailleFichier(176, 144);
    Sortie etroite(besoin - 1);
    unsigned char cle = 0;
    EXPECT_NE(KORMP4_DEC_GetFrameCap(1, petit.octets.data(), static_cast<int32_t>(petit.octets.size()),
                                     etroite.data(), etroite.capacite, &taille, 0, &utiles, &cle, &l, &h),
              0);
    EXPECT_TRUE(etroite.GardeIntacte());
    // Exactly the room needed: decoded, still nothing past it.
    Sortie juste(besoin);
    EXPECT_EQ(KORMP4_DEC_GetFrameCap(1, petit.octets.data(), static_cast<int32_t>(petit.octets.size()),
                                     juste.data(), juste.capacite, &taille, 0, &utiles, &cle, &l, &h),
              0);
    EXPECT_EQ(taille, besoin);
    EXPECT_TRUE(juste.GardeIntacte());
}

}  // namespace
