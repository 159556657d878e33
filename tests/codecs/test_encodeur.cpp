// MPEG-4 encoder: pictures given as bitmap pixels come back through the
// MPEG-4 decoder as the same pictures.
#include <gtest/gtest.h>

#include <vector>

#include "codecs/korcodecs.h"
#include "flux_essai.h"

namespace {

constexpr int32_t CapaciteSortie = 524288;  // what the export gives
constexpr double EcartAdmis = 12.0;

class Encodeur : public ::testing::Test {
protected:
    void TearDown() override {
        KORMP4_ENC_Mp4Close(0);
        KORMP4_DEC_Termine(1);
    }
};

// Bitmap file image of the pattern's picture `i`.
std::vector<unsigned char> Bitmap(int l, int h, int i) {
    const auto bgr = MotifBGR(l, h, i);
    std::vector<unsigned char> b(static_cast<size_t>(BitmapTailleFichier(l, h)));
    int32_t taille = 0;
    BitmapDepuisBGR(bgr.data(), l * 3, l, h, b.data(), static_cast<int32_t>(b.size()), &taille);
    return b;
}

// Encodes the pattern's first `nombre` pictures; `debuts` gets where each
// picture's bytes start.
std::vector<unsigned char> Encoder(int l, int h, int nombre, std::vector<int32_t>& debuts) {
    std::vector<unsigned char> flux;
    debuts.clear();
    EXPECT_EQ(KORMP4_ENC_InitEncoderMPEG4(0, l, h, 1048576, 20, 1), 0);
    std::vector<unsigned char> sortie(CapaciteSortie);
    for (int i = 0; i < nombre; ++i) {
        auto b = Bitmap(l, h, i);
        const int32_t n = KORMP4_ENC_EncodeImageMP4(0, b.data() + KOR_BITMAP_ENTETE,
                                                    static_cast<int32_t>(b.size()) - KOR_BITMAP_ENTETE,
                                                    sortie.data(), CapaciteSortie, 0);
        EXPECT_GT(n, 0) << i;
        debuts.push_back(static_cast<int32_t>(flux.size()));
        if (n > 0) flux.insert(flux.end(), sortie.begin(), sortie.begin() + n);
    }
    KORMP4_ENC_Mp4Close(0);
    return flux;
}

TEST_F(Encodeur, RoundTripThroughTheDecoder) {
    for (auto [l, h] : {std::pair{176, 144}, std::pair{66, 50}}) {
        SCOPED_TRACE(l);
        constexpr int Nombre = 45;
        std::vector<int32_t> debuts, autres;
        std::vector<unsigned char> flux = Encoder(l, h, Nombre, debuts);
        // The same pictures give the same bytes (exports are compared by
        // their prints), whatever the threads did.
        EXPECT_TRUE(Encoder(l, h, Nombre, autres) == flux);
        // The first picture carries the sequence and object layer headers.
        ASSERT_GE(flux.size(), 4u);
        EXPECT_EQ(flux[0], 0);
        EXPECT_EQ(flux[1], 0);
        EXPECT_EQ(flux[2], 1);
        EXPECT_EQ(flux[3], 0xB0);

        ASSERT_EQ(KORMP4_DEC_Init(1), 0);
        std::vector<unsigned char> image(KOR_BITMAP_TAILLE_MAX);
        int32_t pos = 0;
        for (int i = 0; i < Nombre; ++i) {
            int32_t taille = 0, utiles = 0, dl = 0, dh = 0;
            unsigned char cle = 0;
            ASSERT_EQ(KORMP4_DEC_GetFrame(1, flux.data() + pos, static_cast<int32_t>(flux.size()) - pos,
                                          image.data(), &taille, 0, &utiles, &cle, &dl, &dh),
                      0)
                << i;
            EXPECT_EQ(pos, debuts[i]);
            EXPECT_EQ(dl, l);
            EXPECT_EQ(dh, h);
            // 20 pictures per second, one intra picture per second.
            EXPECT_EQ(cle, i % 20 == 0 ? 1 : 0) << i;
            EXPECT_LT(EcartMoyen(image.data(), taille, MotifBGR(l, h, i), l, h), EcartAdmis) << i;
            pos += utiles;
        }
        EXPECT_EQ(pos, static_cast<int32_t>(flux.size()));
        KORMP4_DEC_Termine(1);
    }
}

TEST_F(Encodeur, RefusedCalls) {
    auto b = Bitmap(64, 48, 0);
    const int32_t pixels = static_cast<int32_t>(b.size()) - KOR_BITMAP_ENTETE;
    std::vector<unsigned char> sortie(CapaciteSortie);
    // Not open, or another instance.
    EXPECT_LT(KORMP4_ENC_EncodeImageMP4(0, b.data() + 54, pixels, sortie.data(), CapaciteSortie, 0), 1);
    EXPECT_NE(KORMP4_ENC_InitEncoderMPEG4(1, 64, 48, 1048576, 20, 1), 0);
    EXPECT_NE(KORMP4_ENC_InitEncoderMPEG4(0, 0, 48, 1048576, 20, 1), 0);
    EXPECT_NE(KORMP4_ENC_InitEncoderMPEG4(0, 2576, 2048, 1048576, 20, 1), 0);
    // Arguments below 1 take the defaults.
    ASSERT_EQ(KORMP4_ENC_InitEncoderMPEG4(0, 64, 48, 0, 0, 0), 0);
    // Fewer pixel bytes than the picture needs.
    EXPECT_LT(KORMP4_ENC_EncodeImageMP4(0, b.data() + 54, pixels - 1, sortie.data(), CapaciteSortie, 0), 1);
    // A room too small for the coded picture: nothing written.
    std::vector<unsigned char> petite(16 + 8, 0xA5);
    EXPECT_LT(KORMP4_ENC_EncodeImageMP4(0, b.data() + 54, pixels, petite.data(), 16, 0), 1);
    for (unsigned char o : petite) EXPECT_EQ(o, 0xA5);
    EXPECT_GT(KORMP4_ENC_EncodeImageMP4(0, b.data() + 54, pixels, sortie.data(), CapaciteSortie, 0), 0);
}

}  // namespace
