// Test streams from libavcodec's encoders (see flux_essai.h).
#include "flux_essai.h"

#include <cmath>
#include <cstdlib>
#include <memory>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/log.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

#include "codecs/bitmap.h"

namespace {

constexpr int CoteCarre = 16;  // the moving square of the pattern

// Broken streams are the point of several tests: keep libav quiet.
const bool g_silence = [] {
    av_log_set_level(AV_LOG_QUIET);
    return true;
}();

struct Libere {
    void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
    void operator()(AVFrame* f) const { av_frame_free(&f); }
    void operator()(AVPacket* p) const { av_packet_free(&p); }
    void operator()(SwsContext* s) const { sws_freeContext(s); }
};

bool Recevoir(AVCodecContext* c, AVPacket* p, FluxEssai& flux) {
    for (;;) {
        const int r = avcodec_receive_packet(c, p);
        if (r == AVERROR(EAGAIN) || r == AVERROR_EOF) return true;
        if (r < 0) return false;
        flux.debuts.push_back(static_cast<int32_t>(flux.octets.size()));
        flux.cles.push_back((p->flags & AV_PKT_FLAG_KEY) != 0);
        flux.octets.insert(flux.octets.end(), p->data, p->data + p->size);
        av_packet_unref(p);
    }
}

}  // namespace

std::vector<unsigned char> MotifBGR(int largeur, int hauteur, int i) {
    std::vector<unsigned char> bgr(static_cast<size_t>(largeur) * hauteur * 3);
    const int xc = largeur > CoteCarre ? (i * 4) % (largeur - CoteCarre) : 0;
    const int yc = hauteur / 3;
    for (int y = 0; y < hauteur; ++y) {
        for (int x = 0; x < largeur; ++x) {
            unsigned char* p = &bgr[(static_cast<size_t>(y) * largeur + x) * 3];
            const bool carre = x >= xc && x < xc + CoteCarre && y >= yc && y < yc + CoteCarre;
            p[0] = static_cast<unsigned char>(x * 255 / largeur);
            p[1] = static_cast<unsigned char>(y * 255 / hauteur);
            p[2] = carre ? 230 : 40;
        }
    }
    return bgr;
}

bool FabriquerFlux(Genre genre, int largeur, int hauteur, int nombre, int groupe, FluxEssai& flux,
                   int tranches) {
    flux = FluxEssai{};
    flux.largeur = largeur;
    flux.hauteur = hauteur;
    const AVCodec* codec = genre == Genre::H264 ? avcodec_find_encoder_by_name("libx264")
                                                : avcodec_find_encoder(AV_CODEC_ID_MPEG4);
    if (codec == nullptr) return false;
    std::unique_ptr<AVCodecContext, Libere> c(avcodec_alloc_context3(codec));
    std::unique_ptr<AVFrame, Libere> f(av_frame_alloc());
    std::unique_ptr<AVPacket, Libere> p(av_packet_alloc());
    c->width = largeur;
    c->height = hauteur;
    c->pix_fmt = AV_PIX_FMT_YUV420P;
    c->time_base = AVRational{1, 25};
    c->framerate = AVRational{25, 1};
    c->gop_size = groupe;
    c->max_b_frames = 0;
    c->thread_count = 1;
    if (genre == Genre::H264) {
        av_opt_set(c->priv_data, "preset", "ultrafast", 0);
        av_opt_set(c->priv_data, "tune", "zerolatency", 0);
        av_opt_set_int(c->priv_data, "crf", 20, 0);
        if (tranches > 1) c->slices = tranches;
        // A fixed group: intra pictures where the test expects them.
        av_opt_set(c->priv_data, "x264-params", "scenecut=0:min-keyint=1", 0);
    } else {
        c->bit_rate = 400000;
        c->qmax = 8;
    }
    if (avcodec_open2(c.get(), codec, nullptr) < 0) return false;
    f->format = AV_PIX_FMT_YUV420P;
    f->width = largeur;
    f->height = hauteur;
    if (av_frame_get_buffer(f.get(), 0) < 0) return false;
    std::unique_ptr<SwsContext, Libere> sws(sws_getContext(largeur, hauteur, AV_PIX_FMT_BGR24, largeur,
                                                           hauteur, AV_PIX_FMT_YUV420P, SWS_BILINEAR,
                                                           nullptr, nullptr, nullptr));
    if (!sws) return false;
    for (int i = 0; i < nombre; ++i) {
        flux.bgr.push_back(MotifBGR(largeur, hauteur, i));
        if (av_frame_make_writable(f.get()) < 0) return false;
        const uint8_t* src[4] = {flux.bgr.back().data(), nullptr, nullptr, nullptr};
        const int pas[4] = {largeur * 3, 0, 0, 0};
        sws_scale(sws.get(), src, pas, 0, hauteur, f->data, f->linesize);
        f->pts = i;
        f->pict_type = (i % groupe == 0) ? AV_PICTURE_TYPE_I : AV_PICTURE_TYPE_NONE;
        if (avcodec_send_frame(c.get(), f.get()) < 0) return false;
        if (!Recevoir(c.get(), p.get(), flux)) return false;
    }
    avcodec_send_frame(c.get(), nullptr);
    return Recevoir(c.get(), p.get(), flux) && static_cast<int>(flux.debuts.size()) == nombre;
}

double EcartMoyen(const unsigned char* bitmap, int32_t taille, const std::vector<unsigned char>& bgr,
                  int largeur, int hauteur) {
    const int32_t ligne = BitmapTailleLigne(largeur);
    if (taille != BitmapTailleFichier(largeur, hauteur) ||
        bgr.size() != static_cast<size_t>(largeur) * hauteur * 3)
        return 1e9;
    double somme = 0;
    for (int y = 0; y < hauteur; ++y) {
        const unsigned char* b = bitmap + KOR_BITMAP_ENTETE + static_cast<size_t>(hauteur - 1 - y) * ligne;
        const unsigned char* s = &bgr[static_cast<size_t>(y) * largeur * 3];
        for (int x = 0; x < largeur * 3; ++x) somme += std::abs(static_cast<int>(b[x]) - s[x]);
    }
    return somme / (static_cast<double>(largeur) * hauteur * 3);
}

uint32_t Lire32(const unsigned char* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

uint16_t Lire16(const unsigned char* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
