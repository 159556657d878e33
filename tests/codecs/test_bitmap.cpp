// Bitmap file images: sizes, header, row order, padding, the blank picture,
// and frame conversion that never writes past the room; the fast 4:2:0
// conversion gives swscale's bytes.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <memory>
#include <vector>

extern "C" {
#include <libavutil/frame.h>
#include <libswscale/swscale.h>
}

#include "codecs/bitmap.h"
#include "codecs/conversion_rapide.h"
#include "flux_essai.h"

namespace {

TEST(Bitmap, Sizes) {
    struct Cas {
        int32_t largeur, hauteur, ligne, fichier;
    } cas[] = {
        {1, 1, 4, 58},          {2, 1, 8, 62},           {3, 2, 12, 78},
        {4, 1, 12, 66},         {160, 120, 480, 57654},  {2560, 2048, 7680, KOR_BITMAP_TAILLE_MAX},
        {1920, 1080, 5760, 6220854},
    };
    for (const Cas& c : cas) {
        EXPECT_EQ(BitmapTailleLigne(c.largeur), c.ligne) << c.largeur;
        EXPECT_EQ(BitmapTailleFichier(c.largeur, c.hauteur), c.fichier) << c.largeur;
    }
    EXPECT_EQ(BitmapTailleLigne(0), -1);
    EXPECT_EQ(BitmapTailleFichier(-3, 10), -1);
    EXPECT_EQ(BitmapTailleFichier(10, 0), -1);
    EXPECT_EQ(BitmapTailleFichier(100000, 100000), -1);  // past 32 bits
}

TEST(Bitmap, BlankPicture) {
    std::vector<unsigned char> b(KOR_BITMAP_NOIRE_TAILLE + 16, 0xEE);
    int32_t taille = 0;
    EXPECT_NE(BitmapImageNoire(b.data(), KOR_BITMAP_NOIRE_TAILLE - 1, &taille), 0);
    EXPECT_EQ(taille, 0);
    EXPECT_EQ(b[0], 0xEE);
    ASSERT_EQ(BitmapImageNoire(b.data(), KOR_BITMAP_NOIRE_TAILLE, &taille), 0);
    EXPECT_EQ(taille, 57654);
    EXPECT_EQ(Lire32(b.data() + 2), 57654u);
    EXPECT_EQ(Lire32(b.data() + 18), 160u);
    EXPECT_EQ(Lire32(b.data() + 22), 120u);
    EXPECT_EQ(Lire16(b.data() + 28), 24);
    for (int i = KOR_BITMAP_ENTETE; i < 57654; ++i) ASSERT_EQ(b[i], 0) << i;
    EXPECT_EQ(b[57654], 0xEE);
}

TEST(Bitmap, FromTopDownPixels) {
    // 3 x 2 picture, source rows with 2 spare bytes each.
    const int pas = 11;
    std::vector<unsigned char> bgr(2 * pas, 0x77);
    for (int i = 0; i < 9; ++i) bgr[i] = static_cast<unsigned char>(1 + i);        // top row
    for (int i = 0; i < 9; ++i) bgr[pas + i] = static_cast<unsigned char>(101 + i);  // bottom row
    std::vector<unsigned char> b(78 + 4, 0xEE);
    int32_t taille = 0;
    EXPECT_NE(BitmapDepuisBGR(bgr.data(), pas, 3, 2, b.data(), 77, &taille), 0);
    EXPECT_NE(BitmapDepuisBGR(bgr.data(), 8, 3, 2, b.data(), 78, &taille), 0);  // step too short
    ASSERT_EQ(BitmapDepuisBGR(bgr.data(), pas, 3, 2, b.data(), 78, &taille), 0);
    EXPECT_EQ(taille, 78);
    EXPECT_EQ(b[0], 'B');
    EXPECT_EQ(Lire32(b.data() + 34), 24u);
    // Bottom row first, each padded with 3 zero bytes.
    EXPECT_EQ(b[54], 101);
    EXPECT_EQ(b[62], 109);
    EXPECT_EQ(b[63], 0);
    EXPECT_EQ(b[65], 0);
    EXPECT_EQ(b[66], 1);
    EXPECT_EQ(b[74], 9);
    EXPECT_EQ(b[77], 0);
    EXPECT_EQ(b[78], 0xEE);
}

struct LibereFrame {
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};

// A frame of one colour in the given planar 4:2:0 format.
std::unique_ptr<AVFrame, LibereFrame> FrameUnie(AVPixelFormat format, int l, int h, int y, int u, int v) {
    std::unique_ptr<AVFrame, LibereFrame> f(av_frame_alloc());
    f->format = format;
    f->width = l;
    f->height = h;
    if (av_frame_get_buffer(f.get(), 0) < 0) return nullptr;
    for (int r = 0; r < h; ++r) std::memset(f->data[0] + r * f->linesize[0], y, l);
    for (int r = 0; r < (h + 1) / 2; ++r) {
        std::memset(f->data[1] + r * f->linesize[1], u, (l + 1) / 2);
        std::memset(f->data[2] + r * f->linesize[2], v, (l + 1) / 2);
    }
    return f;
}

TEST(Bitmap, FrameConversionStaysInsideAnExactRoom) {
    SwsContext* sws = nullptr;
    constexpr int Garde = 256;
    for (int l = 1; l <= 70; ++l) {
        for (int h : {1, 2, 7, 16}) {
            auto f = FrameUnie(AV_PIX_FMT_YUV420P, l, h, 235, 128, 128);  // limited-range white
            ASSERT_TRUE(f);
            const int32_t besoin = BitmapTailleFichier(l, h);
            std::vector<unsigned char> b(static_cast<size_t>(besoin) + Garde, 0xA5);
            int32_t taille = 0;
            ASSERT_EQ(BitmapDepuisFrame(f.get(), &sws, b.data(), besoin, &taille), 0) << l << "x" << h;
            EXPECT_EQ(taille, besoin);
            for (int i = 0; i < Garde; ++i) ASSERT_EQ(b[static_cast<size_t>(besoin) + i], 0xA5) << l << "x" << h;
            const int32_t ligne = BitmapTailleLigne(l);
            for (int r = 0; r < h; ++r) {
                const unsigned char* p = b.data() + KOR_BITMAP_ENTETE + r * ligne;
                for (int x = 0; x < l * 3; ++x) ASSERT_GE(p[x], 250) << l << "x" << h;
                for (int x = l * 3; x < ligne; ++x) ASSERT_EQ(p[x], 0) << l << "x" << h;
            }
            // One byte less: refused, untouched.
            std::vector<unsigned char> c(static_cast<size_t>(besoin), 0xA5);
            EXPECT_NE(BitmapDepuisFrame(f.get(), &sws, c.data(), besoin - 1, &taille), 0);
            EXPECT_EQ(taille, 0);
            EXPECT_EQ(c[0], 0xA5);
        }
    }
    sws_freeContext(sws);
}

TEST(Bitmap, FullRangeFramesKeepTheirLevels) {
    // Full-range black and white must not be squeezed or stretched.
    SwsContext* sws = nullptr;
    std::vector<unsigned char> b(static_cast<size_t>(BitmapTailleFichier(16, 16)));
    int32_t taille = 0;
    struct Cas {
        AVPixelFormat format;
        int y;
        int attendu;
    } cas[] = {{AV_PIX_FMT_YUVJ420P, 0, 0}, {AV_PIX_FMT_YUVJ420P, 255, 255}, {AV_PIX_FMT_YUV420P, 16, 0},
               {AV_PIX_FMT_YUVJ420P, 128, 128}, {AV_PIX_FMT_YUV420P, 235, 255}};
    for (const Cas& c : cas) {
        auto f = FrameUnie(c.format, 16, 16, c.y, 128, 128);
        ASSERT_EQ(BitmapDepuisFrame(f.get(), &sws, b.data(), static_cast<int32_t>(b.size()), &taille), 0);
        EXPECT_NEAR(b[KOR_BITMAP_ENTETE + 100], c.attendu, 3) << c.format << " " << c.y;
    }
    sws_freeContext(sws);
}

// A 4:2:0 frame of noise (a fixed sequence), rows `marge` bytes longer
// than the library would make them.
std::unique_ptr<AVFrame, LibereFrame> FrameBruitee(int l, int h, int marge, uint32_t graine) {
    std::unique_ptr<AVFrame, LibereFrame> f(av_frame_alloc());
    f->format = AV_PIX_FMT_YUV420P;
    f->width = l + marge;
    f->height = h;
    if (av_frame_get_buffer(f.get(), 32) < 0) return nullptr;
    f->width = l;
    for (int p = 0; p < 3; ++p) {
        const int rangs = p == 0 ? h : h / 2;
        for (int r = 0; r < rangs; ++r)
            for (int x = 0; x < f->linesize[p]; ++x) {
                graine = graine * 1664525u + 1013904223u;
                f->data[p][r * f->linesize[p] + x] = static_cast<uint8_t>(graine >> 24);
            }
    }
    return f;
}

TEST(ConversionRapide, SameBytesAsSwscaleWhateverTheSizeAndRowSteps) {
    if (!__builtin_cpu_supports("avx2")) GTEST_SKIP() << "no AVX2: swscale converts every picture";
    // Checked against swscale over every (Y, U, V) at its first use.
    ASSERT_TRUE(ConversionRapideActive());
    struct Taille {
        int l, h, marge;
    } tailles[] = {{32, 2, 0}, {48, 6, 64}, {176, 144, 0}, {1296, 10, 32}, {1280, 720, 0}, {1920, 1080, 96}};
    SwsContext* sws = nullptr;
    constexpr int Garde = 64;
    for (const Taille& t : tailles) {
        SCOPED_TRACE(std::to_string(t.l) + "x" + std::to_string(t.h));
        auto f = FrameBruitee(t.l, t.h, t.marge, static_cast<uint32_t>(t.l * 7 + t.h));
        ASSERT_TRUE(f);
        ASSERT_TRUE(ConversionRapideEligible(f.get()));
        const int32_t besoin = BitmapTailleFichier(t.l, t.h);
        std::vector<unsigned char> rapide(static_cast<size_t>(besoin) + Garde, 0xA5), lente = rapide;
        int32_t tailleRapide = 0, tailleLente = 0;
        ASSERT_EQ(BitmapDepuisFrame(f.get(), &sws, rapide.data(), besoin, &tailleRapide), 0);
        ConversionRapideAutorisee(false);
        ASSERT_EQ(BitmapDepuisFrame(f.get(), &sws, lente.data(), besoin, &tailleLente), 0);
        ConversionRapideAutorisee(true);
        EXPECT_EQ(tailleRapide, besoin);
        EXPECT_EQ(tailleLente, besoin);
        size_t differents = 0, premier = 0;
        for (size_t i = 0; i < rapide.size(); ++i)
            if (rapide[i] != lente[i] && differents++ == 0) premier = i;
        EXPECT_EQ(differents, 0u) << "first at byte " << premier;
    }
    sws_freeContext(sws);
}

TEST(ConversionRapide, OnlyLimitedRange420WithWidthsOf16nAndEvenHeights) {
    const struct Cas {
        AVPixelFormat format;
        int l, h;
        bool pleine, prise;
    } cas[] = {{AV_PIX_FMT_YUV420P, 64, 48, false, true},   {AV_PIX_FMT_YUV420P, 64, 48, true, false},
               {AV_PIX_FMT_YUVJ420P, 64, 48, false, false}, {AV_PIX_FMT_YUV422P, 64, 48, false, false},
               {AV_PIX_FMT_YUV420P, 40, 48, false, false},  {AV_PIX_FMT_YUV420P, 16, 48, false, false},
               {AV_PIX_FMT_YUV420P, 64, 47, false, false}};
    for (const Cas& c : cas) {
        auto f = FrameUnie(c.format, c.l, c.h, 100, 120, 140);
        ASSERT_TRUE(f);
        if (c.pleine) f->color_range = AVCOL_RANGE_JPEG;
        EXPECT_EQ(ConversionRapideEligible(f.get()), c.prise) << c.format << " " << c.l << "x" << c.h;
    }
}

}  // namespace
