// Decoding ahead: whatever order the calls come in, every call gives what a
// decoder fed one picture per call gives (the reference below: one thread,
// two slice threads, no look-ahead), byte for byte, on intact and on damaged
// data.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "codecs/bitmap.h"
#include "codecs/decoupage.h"
#include "codecs/korcodecs.h"
#include "flux_essai.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libswscale/swscale.h>
}

namespace {

constexpr int32_t FenetreMpeg4 = 300000;
constexpr int32_t FenetreH264 = 900000;
constexpr int Largeur = 176, Hauteur = 144;

// One picture per call into a decoder with slice threads, converted as the
// library converts, with the library's rule for pictures before the first
// intra one.
class Reference {
public:
    explicit Reference(Genre g) : h264_(g == Genre::H264) {
        const AVCodec* c = avcodec_find_decoder(h264_ ? AV_CODEC_ID_H264 : AV_CODEC_ID_MPEG4);
        ctx_ = avcodec_alloc_context3(c);
        ctx_->thread_count = 2;
        ctx_->thread_type = FF_THREAD_SLICE;
        ctx_->flags |= AV_CODEC_FLAG_LOW_DELAY;
        avcodec_open2(ctx_, c, nullptr);
        frame_ = av_frame_alloc();
        paquet_ = av_packet_alloc();
    }
    ~Reference() {
        avcodec_free_context(&ctx_);
        av_frame_free(&frame_);
        av_packet_free(&paquet_);
        sws_freeContext(sws_);
    }
    // Result, bitmap and bytes used for the first picture of d[0, n).
    int Decoder(const unsigned char* d, int32_t n, std::vector<unsigned char>& bitmap, int32_t* utiles) {
        *utiles = 0;
        const int32_t fin = h264_ ? FinPremiereImageH264(d, n) : FinPremiereImageMpeg4(d, n);
        if (fin < 1) return -1;
        paquet_->data = const_cast<unsigned char*>(d);
        paquet_->size = fin;
        if (avcodec_send_packet(ctx_, paquet_) < 0) {
            while (avcodec_receive_frame(ctx_, frame_) == 0) av_frame_unref(frame_);
            return -1;
        }
        bool recu = false;
        AVFrame* autre = av_frame_alloc();
        while (avcodec_receive_frame(ctx_, autre) == 0) {
            av_frame_unref(frame_);
            av_frame_move_ref(frame_, autre);
            recu = true;
        }
        av_frame_free(&autre);
        if (!recu) return -1;
        const bool intra = frame_->key_frame != 0 || frame_->pict_type == AV_PICTURE_TYPE_I;
        if (!intra && !cleVue_) return -1;
        bitmap.assign(KOR_BITMAP_TAILLE_MAX, 0);
        int32_t taille = 0;
        if (BitmapDepuisFrame(frame_, &sws_, bitmap.data(), KOR_BITMAP_TAILLE_MAX, &taille) != 0) return -1;
        bitmap.resize(static_cast<size_t>(taille));
        cleVue_ = cleVue_ || intra;
        *utiles = fin;
        return 0;
    }

private:
    bool h264_;
    AVCodecContext* ctx_ = nullptr;
    AVFrame* frame_ = nullptr;
    AVPacket* paquet_ = nullptr;
    SwsContext* sws_ = nullptr;
    bool cleVue_ = false;
};

// The library's instance `instance` of kind `g` beside its reference.
struct Paire {
    Paire(Genre g, int instance) : genre(g), instance(instance), reference(g), sortie(KOR_BITMAP_TAILLE_MAX) {
        EXPECT_EQ(g == Genre::H264 ? KORH264_InitDecodeur(instance) : KORMP4_DEC_Init(instance), 0);
    }
    ~Paire() { genre == Genre::H264 ? KORH264_FermeDecodeur(instance) : KORMP4_DEC_Termine(instance); }

    // One call on both at d[0, n), clipped to the reader's window; checks
    // that they agree and returns the library's result and bytes used.
    int Appeler(const unsigned char* d, int32_t n, int32_t* utilises = nullptr) {
        unsigned char* p = const_cast<unsigned char*>(d);
        int32_t taille = 0, utiles = 0, l = 0, h = 0;
        unsigned char cle = 0;
        const int r = genre == Genre::H264
                          ? KORH264_DecodePaquet(instance, p, std::min(n, FenetreH264), sortie.data(), &taille,
                                                 &utiles, 0, &h, &l)
                          : KORMP4_DEC_GetFrame(instance, p, std::min(n, FenetreMpeg4), sortie.data(), &taille,
                                                0, &utiles, &cle, &l, &h);
        std::vector<unsigned char> attendu;
        int32_t utilesAttendus = 0;
        const int ra = reference.Decoder(d, std::min(n, genre == Genre::H264 ? FenetreH264 : FenetreMpeg4),
                                         attendu, &utilesAttendus);
        EXPECT_EQ(r, ra);
        EXPECT_EQ(utiles, utilesAttendus);
        EXPECT_EQ(taille, static_cast<int32_t>(ra == 0 ? attendu.size() : 0));
        if (r == 0 && ra == 0 && static_cast<size_t>(taille) == attendu.size()) {
            EXPECT_EQ(std::memcmp(sortie.data(), attendu.data(), attendu.size()), 0) << "bitmap differs";
        }
        if (utilises) *utilises = utiles;
        return r;
    }
    // Call on the picture of rank i with the rest of the stream after it.
    int Image(const FluxEssai& f, int i, const std::vector<unsigned char>* octets = nullptr) {
        const std::vector<unsigned char>& o = octets ? *octets : f.octets;
        const int32_t debut = f.debuts[static_cast<size_t>(i)];
        SCOPED_TRACE(i);
        return Appeler(o.data() + debut, static_cast<int32_t>(o.size()) - debut);
    }

    Genre genre;
    int instance;
    Reference reference;
    std::vector<unsigned char> sortie;
};

class DecodageEnAvance : public ::testing::TestWithParam<Genre> {};

TEST_P(DecodageEnAvance, SeeksTruncatedDataAndTheLastPictureGiveWhatOneAtATimeGives) {
    FluxEssai f;
    ASSERT_TRUE(FabriquerFlux(GetParam(), Largeur, Hauteur, 40, 10, f));
    Paire x(GetParam(), 0);
    // In order, then a seek back to P pictures (which H.264 refuses: their
    // references are gone) and forward to an intra one.
    for (int i : {0, 1, 2, 3, 4, 5, 6, 7}) EXPECT_EQ(x.Image(f, i), 0) << i;
    for (int i : {3, 4, 5}) x.Image(f, i);
    for (int i : {20, 21, 22, 23, 27, 28}) EXPECT_EQ(x.Image(f, i), 0) << i;
    // Data that ends with picture 29: it comes out at once, whole.
    const int32_t d29 = f.debuts[29], d30 = f.debuts[30];
    int32_t utiles = 0;
    EXPECT_EQ(x.Appeler(f.octets.data() + d29, d30 - d29, &utiles), 0);
    EXPECT_GE(utiles, d30 - d29 - 1);
    // The stream goes on after it, then a picture cut in its middle.
    for (int i : {30, 31}) EXPECT_EQ(x.Image(f, i), 0) << i;
    EXPECT_EQ(x.Appeler(f.octets.data() + f.debuts[32], f.debuts[33] - f.debuts[32]), 0);
    const int32_t d33 = f.debuts[33];
    x.Appeler(f.octets.data() + d33, (f.debuts[34] - d33) / 2);
    // The calls after a cut picture and the last pictures of the stream.
    for (int i : {34, 35, 36, 37, 38, 39}) x.Image(f, i);
    // A stretch decoded ahead, then the same pictures again from an intra one.
    for (int i : {30, 31, 32, 33, 34}) EXPECT_EQ(x.Image(f, i), 0) << i;
}

TEST_P(DecodageEnAvance, DamagedPicturesInADecodedAheadStretch) {
    FluxEssai f;
    ASSERT_TRUE(FabriquerFlux(GetParam(), Largeur, Hauteur, 30, 10, f));
    std::vector<unsigned char> abime = f.octets;
    // Pictures 12 and 13 (P pictures) lose the second half of their bytes.
    for (int i : {12, 13}) {
        const int32_t a = f.debuts[static_cast<size_t>(i)], b = f.debuts[static_cast<size_t>(i) + 1];
        for (int32_t k = a + (b - a) / 2; k < b; ++k) abime[static_cast<size_t>(k)] = static_cast<unsigned char>(k * 37);
    }
    Paire x(GetParam(), 1);
    // Walk like the reader: advance by the bytes used, on failure move to
    // the next start code.
    const int32_t n = static_cast<int32_t>(abime.size());
    int32_t pos = 0, bonnes = 0, echecs = 0;
    while (pos < n) {
        int32_t utiles = 0;
        if (x.Appeler(abime.data() + pos, n - pos, &utiles) == 0) {
            ++bonnes;
            pos += utiles;
        } else {
            ++echecs;
            const int32_t i = ChercherCodeDebut(abime.data(), n, pos + 1);
            pos = i > pos ? i : pos + 1000;
        }
    }
    EXPECT_GE(bonnes, 26);
    EXPECT_LE(echecs, 40);
}

TEST_P(DecodageEnAvance, InterleavedInstancesAndARestartInTheMiddle) {
    FluxEssai a, b;
    ASSERT_TRUE(FabriquerFlux(GetParam(), Largeur, Hauteur, 30, 10, a));
    ASSERT_TRUE(FabriquerFlux(GetParam(), 96, 64, 30, 5, b));
    {
        Paire x(GetParam(), 0), y(GetParam(), 1);
        // Instance 0 plays on while instance 1 walks elsewhere in its own stream.
        const int sautsY[] = {5, 6, 7, 0, 1, 2, 3, 15, 16, 10, 11, 12, 13, 14, 29, 20};
        for (int k = 0; k < 16; ++k) {
            EXPECT_EQ(x.Image(a, k), 0) << k;
            EXPECT_EQ(y.Image(b, sautsY[k]), 0) << sautsY[k];
        }
    }
    // Stop, then restart at the intra picture 20 of a freshly opened instance:
    // its first call gives that picture.
    Paire x(GetParam(), 0);
    for (int i = 20; i < 30; ++i) EXPECT_EQ(x.Image(a, i), 0) << i;
}

TEST_P(DecodageEnAvance, CallsThatLandInsideOrPastThePicturesInFlight) {
    FluxEssai f;
    ASSERT_TRUE(FabriquerFlux(GetParam(), Largeur, Hauteur, 40, 10, f));
    Paire x(GetParam(), 0);
    // Three pictures travel ahead of the one asked for: skip one of them,
    // then two, then land exactly past them.
    for (int i : {0, 1, 2, 4, 5, 7, 8, 11, 12, 16, 17}) x.Image(f, i);
    // Data holding one to four more complete pictures after the one asked
    // for: the picture comes out whatever the look-ahead can hold.
    for (int i = 20; i < 30; ++i) {
        const int apres = i == 21 ? 1 : i == 23 ? 2 : i == 25 ? 3 : i == 27 ? 4 : 0;
        if (apres == 0) {
            EXPECT_EQ(x.Image(f, i), 0) << i;
            continue;
        }
        const int32_t d = f.debuts[static_cast<size_t>(i)];
        EXPECT_EQ(x.Appeler(f.octets.data() + d, f.debuts[static_cast<size_t>(i + apres)] - d), 0) << i;
    }
    // The bytes after the picture change between two calls (a password
    // typed while playing changes the chunks read next): the pictures sent
    // ahead from the old bytes are not the ones asked for now.
    std::vector<unsigned char> autres = f.octets;
    for (size_t k = static_cast<size_t>(f.debuts[33]); k < autres.size(); ++k)
        autres[k] = static_cast<unsigned char>(autres[k] ^ 0x5A);
    for (int i : {30, 31}) EXPECT_EQ(x.Image(f, i), 0) << i;
    EXPECT_EQ(x.Image(f, 32, &autres), 0);
    for (int i : {33, 34, 35}) x.Image(f, i, &autres);
    for (int i : {36, 37, 38, 39}) x.Image(f, i);
}

INSTANTIATE_TEST_SUITE_P(Genres, DecodageEnAvance, ::testing::Values(Genre::Mpeg4, Genre::H264),
                         [](const ::testing::TestParamInfo<Genre>& i) {
                             return i.param == Genre::H264 ? std::string("H264") : std::string("Mpeg4");
                         });

TEST(DecoupageIntra, IntraAndIdrPicturesAreToldApart) {
    for (Genre g : {Genre::Mpeg4, Genre::H264}) {
        FluxEssai f;
        ASSERT_TRUE(FabriquerFlux(g, 64, 48, 12, 4, f));
        for (size_t i = 0; i < f.debuts.size(); ++i) {
            const int32_t fin = i + 1 < f.debuts.size() ? f.debuts[i + 1] : static_cast<int32_t>(f.octets.size());
            const unsigned char* d = f.octets.data() + f.debuts[i];
            const bool intra = g == Genre::H264 ? ImageIdrH264(d, fin - f.debuts[i]) : ImageIntraMpeg4(d, fin - f.debuts[i]);
            const int32_t n = fin - f.debuts[i];
            EXPECT_EQ(intra, f.cles[i]) << i;
            // Key pictures carry the headers a new decoder starts from.
            const int32_t entetes = g == Genre::H264 ? EntetesH264(d, n) : EntetesMpeg4(d, n);
            EXPECT_EQ(entetes > 0, f.cles[i]) << i;
            if (g == Genre::H264) {
                EXPECT_EQ(ImageIdrAvecParametresH264(d, n), f.cles[i]) << i;
            }
        }
    }
    const unsigned char sansCouche[] = {0, 0, 1, 0xB6, 0x10, 0x20};  // an I-VOP without its layer header
    EXPECT_FALSE(ImageIntraMpeg4(sansCouche, sizeof sansCouche));
    EXPECT_EQ(EntetesMpeg4(sansCouche, sizeof sansCouche), -1);
    const unsigned char tronque[] = {0, 0, 0, 1};
    EXPECT_FALSE(ImageIdrH264(tronque, sizeof tronque));
    EXPECT_EQ(EntetesH264(tronque, sizeof tronque), -1);
}

}  // namespace
