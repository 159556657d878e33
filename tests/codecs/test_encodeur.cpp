// MPEG-4 encoder: pictures given as bitmap pixels come back through the
// MPEG-4 decoder as the same pictures.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "codecs/korcodecs.h"
#include "flux_essai.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
#include <libswscale/swscale.h>
}

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

// Time base the stream declares, as libavcodec's MPEG-4 decoder reads it
// from the object layer header: {ticks per second, 1} (the pictures then
// count their ticks); {0, 0} when the stream does not decode.
AVRational CadenceDeclaree(const std::vector<unsigned char>& flux) {
    const AVCodec* c = avcodec_find_decoder(AV_CODEC_ID_MPEG4);
    AVCodecContext* ctx = avcodec_alloc_context3(c);
    AVPacket* p = av_packet_alloc();
    AVFrame* f = av_frame_alloc();
    AVRational r{0, 0};
    if (ctx && p && f && avcodec_open2(ctx, c, nullptr) == 0) {
        p->data = const_cast<unsigned char*>(flux.data());
        p->size = static_cast<int>(flux.size());
        if (avcodec_send_packet(ctx, p) == 0) {
            avcodec_send_packet(ctx, nullptr);
            if (avcodec_receive_frame(ctx, f) == 0) r = ctx->framerate;
        }
    }
    av_frame_free(&f);
    av_packet_free(&p);
    avcodec_free_context(&ctx);
    return r;
}

// The encoder counts time in pictures of the rate it is opened at, whole
// or a fraction (the rate's numerator, once reduced, is the ticks per
// second), and puts an intra picture at each second of it.
TEST_F(Encodeur, CadenceDeclareeDansLeFlux) {
    struct Cas {
        int32_t num, den;
        int tics;
    } cas[] = {{25000, 1000, 25}, {2333, 1000, 2333}, {15, 1, 15}, {30000, 1001, 30000}, {7, 3, 7}};
    std::vector<unsigned char> sortie(CapaciteSortie);
    for (const Cas& c : cas) {
        SCOPED_TRACE(c.num);
        ASSERT_EQ(KORMP4_ENC_InitEncoderMPEG4Fraction(0, 64, 48, 1048576, c.num, c.den, 1), 0);
        std::vector<unsigned char> flux;
        std::vector<bool> cles;
        const int nombre = std::max(3, 2 * c.num / c.den + 1);
        for (int i = 0; i < nombre; ++i) {
            auto b = Bitmap(64, 48, i);
            const int32_t n = KORMP4_ENC_EncodeImageMP4(0, b.data() + KOR_BITMAP_ENTETE,
                                                        static_cast<int32_t>(b.size()) - KOR_BITMAP_ENTETE,
                                                        sortie.data(), CapaciteSortie, 0);
            ASSERT_GT(n, 0);
            // vop_coding_type 0 (intra) in the two bits after the picture start.
            bool intra = false;
            for (int32_t k = 0; k + 4 < n; ++k)
                if (sortie[k] == 0 && sortie[k + 1] == 0 && sortie[k + 2] == 1 && sortie[k + 3] == 0xB6) {
                    intra = (sortie[k + 4] >> 6) == 0;
                    break;
                }
            cles.push_back(intra);
            if (i == 0) flux.assign(sortie.begin(), sortie.begin() + n);
        }
        KORMP4_ENC_Mp4Close(0);
        const AVRational r = CadenceDeclaree(flux);
        EXPECT_EQ(r.num, c.tics);
        EXPECT_EQ(r.den, 1);
        const int groupe = std::max(1, c.num / c.den);
        for (size_t i = 0; i < cles.size(); ++i) EXPECT_EQ(cles[i], i % groupe == 0) << i;
    }
    // The integer form keeps its meaning.
    ASSERT_EQ(KORMP4_ENC_InitEncoderMPEG4(0, 64, 48, 1048576, 20, 1), 0);
    auto b = Bitmap(64, 48, 0);
    const int32_t n = KORMP4_ENC_EncodeImageMP4(0, b.data() + KOR_BITMAP_ENTETE,
                                                static_cast<int32_t>(b.size()) - KOR_BITMAP_ENTETE,
                                                sortie.data(), CapaciteSortie, 0);
    ASSERT_GT(n, 0);
    const AVRational r = CadenceDeclaree(std::vector<unsigned char>(sortie.begin(), sortie.begin() + n));
    EXPECT_EQ(r.num, 20);
}

// H.264 pictures handed to the encoder as the decoder's frames, and a
// full-range frame that the encoder converts: the MPEG-4 decoder gives the
// source pictures back.
TEST_F(Encodeur, ImagesYuvSansBitmap) {
    constexpr int L = 176, H = 144, Nombre = 12;
    FluxEssai f;
    ASSERT_TRUE(FabriquerFlux(Genre::H264, L, H, Nombre, 6, f));
    ASSERT_EQ(KORH264_InitDecodeur(1), 0);
    ASSERT_EQ(KORMP4_ENC_InitEncoderMPEG4Fraction(0, L, H, 1048576, 25, 1, 1), 0);
    AVFrame* image = av_frame_alloc();
    ASSERT_NE(image, nullptr);
    std::vector<unsigned char> flux, sortie(CapaciteSortie);
    int32_t pos = 0;
    for (int i = 0; i < Nombre; ++i) {
        int32_t utiles = 0, h = 0, l = 0;
        ASSERT_EQ(KORH264_DecodePaquetImage(1, f.octets.data() + pos, static_cast<int32_t>(f.octets.size()) - pos,
                                            image, &utiles, &h, &l),
                  0)
            << i;
        EXPECT_EQ(l, L);
        EXPECT_EQ(h, H);
        EXPECT_EQ(image->format, AV_PIX_FMT_YUV420P);
        pos += utiles;
        const int32_t n = KORMP4_ENC_EncodeImageYuv(0, image, sortie.data(), CapaciteSortie);
        av_frame_unref(image);
        ASSERT_GT(n, 0) << i;
        flux.insert(flux.end(), sortie.begin(), sortie.begin() + n);
    }
    KORH264_FermeDecodeur(1);

    // A full-range frame of the next pattern picture, and one of another size.
    const auto bgr = MotifBGR(L, H, Nombre);
    image->format = AV_PIX_FMT_YUVJ420P;
    image->width = L;
    image->height = H;
    ASSERT_GE(av_frame_get_buffer(image, 0), 0);
    SwsContext* sws = sws_getContext(L, H, AV_PIX_FMT_BGR24, L, H, AV_PIX_FMT_YUVJ420P, SWS_BICUBIC, nullptr,
                                     nullptr, nullptr);
    ASSERT_NE(sws, nullptr);
    const uint8_t* source[4] = {bgr.data(), nullptr, nullptr, nullptr};
    const int pas[4] = {L * 3, 0, 0, 0};
    sws_scale(sws, source, pas, 0, H, image->data, image->linesize);
    sws_freeContext(sws);
    const int32_t n = KORMP4_ENC_EncodeImageYuv(0, image, sortie.data(), CapaciteSortie);
    ASSERT_GT(n, 0);
    flux.insert(flux.end(), sortie.begin(), sortie.begin() + n);
    image->width = L - 16;
    EXPECT_LT(KORMP4_ENC_EncodeImageYuv(0, image, sortie.data(), CapaciteSortie), 1);
    av_frame_free(&image);
    EXPECT_LT(KORMP4_ENC_EncodeImageYuv(0, nullptr, sortie.data(), CapaciteSortie), 1);
    KORMP4_ENC_Mp4Close(0);

    ASSERT_EQ(KORMP4_DEC_Init(1), 0);
    std::vector<unsigned char> bitmap(KOR_BITMAP_TAILLE_MAX);
    pos = 0;
    for (int i = 0; i <= Nombre; ++i) {
        int32_t taille = 0, utiles = 0, dl = 0, dh = 0;
        unsigned char cle = 0;
        ASSERT_EQ(KORMP4_DEC_GetFrame(1, flux.data() + pos, static_cast<int32_t>(flux.size()) - pos, bitmap.data(),
                                      &taille, 0, &utiles, &cle, &dl, &dh),
                  0)
            << i;
        EXPECT_LT(EcartMoyen(bitmap.data(), taille, MotifBGR(L, H, i), L, H), EcartAdmis) << i;
        pos += utiles;
    }
}

}  // namespace
