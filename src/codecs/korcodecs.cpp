// Codec library on libavcodec and libswscale (see korcodecs.h).
#include "codecs/korcodecs.h"

#include <cstring>
#include <memory>
#include <mutex>

#include "codecs/decoupage.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
#include <libavutil/imgutils.h>
#include <libswscale/swscale.h>
}

namespace {

// Largest picture in pixels: decoders refuse larger ones at their headers,
// before spending time (and memory) on pictures that cannot be shown.
constexpr int64_t PixelsMax = 2560 * 2048;

// Two slice threads: they share the work of one picture without holding
// pictures back (frame threads would return each picture a call late).
constexpr int FilsDecodage = 2;

// Encoder defaults for arguments below 1.
constexpr int DebitParDefaut = 1048576;
constexpr int ImagesParSecondeParDefaut = 20;
constexpr int SecondesEntreClesParDefaut = 1;

struct LibererContexte {
    void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct LibererFrame {
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct LibererPaquet {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct LibererSws {
    void operator()(SwsContext* s) const { sws_freeContext(s); }
};
using ContextePtr = std::unique_ptr<AVCodecContext, LibererContexte>;
using FramePtr = std::unique_ptr<AVFrame, LibererFrame>;
using PaquetPtr = std::unique_ptr<AVPacket, LibererPaquet>;

// swscale context held by its owner; BitmapDepuisFrame may replace it.
struct Conversion {
    SwsContext* sws = nullptr;
    ~Conversion() { Liberer(); }
    void Liberer() {
        sws_freeContext(sws);
        sws = nullptr;
    }
};

struct Decodeur {
    std::mutex verrou;  // one call at a time per instance
    ContextePtr ctx;
    FramePtr image;
    FramePtr suivante;  // receives the frames after the first of one packet
    PaquetPtr paquet;
    Conversion conversion;
    bool cleVue = false;  // an intra picture has come out since opening

    void Fermer() {
        ctx.reset();
        image.reset();
        suivante.reset();
        paquet.reset();
        conversion.Liberer();
        cleVue = false;
    }

    int Ouvrir(AVCodecID id) {
        Fermer();
        const AVCodec* codec = avcodec_find_decoder(id);
        if (codec == nullptr) return -1;
        ContextePtr c(avcodec_alloc_context3(codec));
        FramePtr f(av_frame_alloc());
        FramePtr g(av_frame_alloc());
        PaquetPtr p(av_packet_alloc());
        if (!c || !f || !g || !p) return -1;
        c->flags |= AV_CODEC_FLAG_LOW_DELAY;
        c->thread_count = FilsDecodage;
        c->thread_type = FF_THREAD_SLICE;
        c->max_pixels = PixelsMax;
        if (avcodec_open2(c.get(), codec, nullptr) < 0) return -1;
        ctx = std::move(c);
        image = std::move(f);
        suivante = std::move(g);
        paquet = std::move(p);
        return 0;
    }

    // Sends the `longueur` bytes of one picture and converts what comes out.
    int Decoder(const unsigned char* donnees, int32_t longueur, unsigned char* sortie,
                int32_t capacite, int32_t* taille, bool* cle, int* largeur, int* hauteur) {
        // The packet is not reference-counted: libavcodec copies it into a
        // padded buffer of its own, so the caller's bytes are only read.
        av_packet_unref(paquet.get());
        paquet->data = const_cast<unsigned char*>(donnees);
        paquet->size = longueur;
        int r = avcodec_send_packet(ctx.get(), paquet.get());
        paquet->data = nullptr;
        paquet->size = 0;
        if (r < 0 && r != AVERROR(EAGAIN)) {
            // Broken data: nothing is queued, but drop any picture left over.
            while (avcodec_receive_frame(ctx.get(), image.get()) == 0) av_frame_unref(image.get());
            return -1;
        }
        // Normally exactly one picture; keep the latest if a packet yields more.
        av_frame_unref(image.get());
        bool recu = avcodec_receive_frame(ctx.get(), image.get()) == 0;
        while (recu && avcodec_receive_frame(ctx.get(), suivante.get()) == 0) {
            av_frame_unref(image.get());
            av_frame_move_ref(image.get(), suivante.get());
        }
        if (!recu) return -1;
        const AVFrame* f = image.get();
        const bool intra = f->key_frame != 0 || f->pict_type == AV_PICTURE_TYPE_I;
        if (!intra && !cleVue) return -1;  // no reference yet: grey or garbage
        if (BitmapDepuisFrame(f, &conversion.sws, sortie, capacite, taille) != 0) return -1;
        if (intra) cleVue = true;
        *cle = intra;
        *largeur = f->width;
        *hauteur = f->height;
        return 0;
    }
};

Decodeur g_mpeg4[KOR_NB_DECODEURS];
Decodeur g_h264[KOR_NB_DECODEURS];

Decodeur* Instance(Decodeur* table, int32_t instance) {
    return (instance >= 0 && instance < KOR_NB_DECODEURS) ? &table[instance] : nullptr;
}

template <typename T>
void Zero(T* p) {
    if (p) *p = 0;
}

// Common body of the two decode calls; `finImage` cuts the first picture.
int32_t DecoderAppel(Decodeur* d, int32_t (*finImage)(const unsigned char*, int32_t),
                     const unsigned char* donnees, int32_t longueur, unsigned char* sortie,
                     int32_t capacite, int32_t* tailleSortie, int32_t* octetsUtilises, bool* cle,
                     int32_t* largeur, int32_t* hauteur) {
    if (d == nullptr || donnees == nullptr || longueur < 1 || sortie == nullptr) return -1;
    std::lock_guard<std::mutex> garde(d->verrou);
    if (!d->ctx) return -1;
    const int32_t fin = finImage(donnees, longueur);
    if (fin < 1) return -1;
    int32_t taille = 0;
    int l = 0, h = 0;
    if (d->Decoder(donnees, fin, sortie, capacite, &taille, cle, &l, &h) != 0) return -1;
    if (tailleSortie) *tailleSortie = taille;
    if (octetsUtilises) *octetsUtilises = fin;
    if (largeur) *largeur = l;
    if (hauteur) *hauteur = h;
    return 0;
}

// ---- Encoder ----

struct Encodeur {
    std::mutex verrou;
    ContextePtr ctx;
    FramePtr image;
    PaquetPtr paquet;
    Conversion conversion;
    int64_t numero = 0;  // presentation number of the next picture

    void Fermer() {
        ctx.reset();
        image.reset();
        paquet.reset();
        conversion.Liberer();
        numero = 0;
    }
};

Encodeur g_encodeur;
constexpr int32_t NbEncodeurs = 1;

}  // namespace

// ---- MPEG-4 decoder ----

extern "C" int32_t KORMP4_DEC_Init(int32_t instance) {
    Decodeur* d = Instance(g_mpeg4, instance);
    if (d == nullptr) return -1;
    std::lock_guard<std::mutex> garde(d->verrou);
    return d->Ouvrir(AV_CODEC_ID_MPEG4);
}

extern "C" int32_t KORMP4_DEC_GetFrameCap(int32_t instance, unsigned char* donnees, int32_t longueur,
                                          unsigned char* sortie, int32_t capacite,
                                          int32_t* tailleSortie, int32_t reserve,
                                          int32_t* octetsUtilises, unsigned char* cle,
                                          int32_t* largeur, int32_t* hauteur) {
    Zero(tailleSortie);
    Zero(octetsUtilises);
    Zero(cle);
    Zero(largeur);
    Zero(hauteur);
    bool intra = false;
    const int32_t r = DecoderAppel(Instance(g_mpeg4, instance), FinPremiereImageMpeg4, donnees,
                                   longueur, sortie, capacite, tailleSortie, octetsUtilises,
                                   &intra, largeur, hauteur);
    if (r == 0 && cle) *cle = intra ? 1 : 0;
    return r;
}

extern "C" int32_t KORMP4_DEC_GetFrame(int32_t instance, unsigned char* donnees, int32_t longueur,
                                       unsigned char* sortie, int32_t* tailleSortie, int32_t reserve,
                                       int32_t* octetsUtilises, unsigned char* cle, int32_t* largeur,
                                       int32_t* hauteur) {
    return KORMP4_DEC_GetFrameCap(instance, donnees, longueur, sortie, KOR_BITMAP_TAILLE_MAX,
                                  tailleSortie, reserve, octetsUtilises, cle, largeur, hauteur);
}

extern "C" int32_t KORMP4_DEC_Termine(int32_t instance) {
    Decodeur* d = Instance(g_mpeg4, instance);
    if (d == nullptr) return -1;
    std::lock_guard<std::mutex> garde(d->verrou);
    d->Fermer();
    return 0;
}

// ---- H.264 decoder ----

extern "C" int32_t KORH264_InitDecodeur(int32_t instance) {
    Decodeur* d = Instance(g_h264, instance);
    if (d == nullptr) return -1;
    std::lock_guard<std::mutex> garde(d->verrou);
    return d->Ouvrir(AV_CODEC_ID_H264);
}

extern "C" int32_t KORH264_ChercheImageRef(unsigned char* donnees, int32_t longueur, int32_t* nombre) {
    Zero(nombre);
    if (donnees == nullptr || longueur < 1) return -1;
    return DebutImageRefH264(donnees, longueur, nombre);
}

extern "C" int32_t KORH264_ChercheImage(unsigned char* donnees, int32_t longueur) {
    if (donnees == nullptr || longueur < 1) return -1;
    return DebutImageH264(donnees, longueur);
}

extern "C" int32_t KORH264_DecodePaquetCap(int32_t instance, unsigned char* donnees, int32_t longueur,
                                           unsigned char* sortie, int32_t capacite,
                                           int32_t* tailleSortie, int32_t* octetsUtilises,
                                           int32_t reserve, int32_t* hauteur, int32_t* largeur) {
    Zero(tailleSortie);
    Zero(octetsUtilises);
    Zero(hauteur);
    Zero(largeur);
    bool intra = false;
    return DecoderAppel(Instance(g_h264, instance), FinPremiereImageH264, donnees, longueur, sortie,
                        capacite, tailleSortie, octetsUtilises, &intra, largeur, hauteur);
}

extern "C" int32_t KORH264_DecodePaquet(int32_t instance, unsigned char* donnees, int32_t longueur,
                                        unsigned char* sortie, int32_t* tailleSortie,
                                        int32_t* octetsUtilises, int32_t reserve, int32_t* hauteur,
                                        int32_t* largeur) {
    return KORH264_DecodePaquetCap(instance, donnees, longueur, sortie, KOR_BITMAP_TAILLE_MAX,
                                   tailleSortie, octetsUtilises, reserve, hauteur, largeur);
}

extern "C" int32_t KORH264_FermeDecodeur(int32_t instance) {
    Decodeur* d = Instance(g_h264, instance);
    if (d == nullptr) return -1;
    std::lock_guard<std::mutex> garde(d->verrou);
    d->Fermer();
    return 0;
}

// ---- MPEG-4 encoder ----

extern "C" int32_t KORMP4_ENC_InitEncoderMPEG4(int32_t instance, int32_t largeur, int32_t hauteur,
                                               int32_t debit, int32_t imagesParSeconde,
                                               int32_t secondesEntreCles) {
    if (instance < 0 || instance >= NbEncodeurs) return -1;
    Encodeur& e = g_encodeur;
    std::lock_guard<std::mutex> garde(e.verrou);
    e.Fermer();
    if (BitmapTailleFichier(largeur, hauteur) < 0 ||
        static_cast<int64_t>(largeur) * hauteur > PixelsMax)
        return -1;
    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_MPEG4);
    if (codec == nullptr) return -1;
    ContextePtr c(avcodec_alloc_context3(codec));
    FramePtr f(av_frame_alloc());
    PaquetPtr p(av_packet_alloc());
    if (!c || !f || !p) return -1;
    const int ips = imagesParSeconde > 0 ? imagesParSeconde : ImagesParSecondeParDefaut;
    const int secondes = secondesEntreCles > 0 ? secondesEntreCles : SecondesEntreClesParDefaut;
    c->width = largeur;
    c->height = hauteur;
    c->pix_fmt = AV_PIX_FMT_YUV420P;
    c->bit_rate = debit > 0 ? debit : DebitParDefaut;
    c->time_base = AVRational{1, ips};
    c->framerate = AVRational{ips, 1};
    c->gop_size = ips * secondes;
    c->max_b_frames = 0;  // one picture in, the same picture out
    c->codec_tag = MKTAG('D', 'X', '5', '0');
    // No global header: the sequence headers go in front of each intra
    // picture, inside the stream the AVI holds.
    c->flags &= ~AV_CODEC_FLAG_GLOBAL_HEADER;
    c->thread_count = 1;
    if (avcodec_open2(c.get(), codec, nullptr) < 0) return -1;
    f->format = AV_PIX_FMT_YUV420P;
    f->width = largeur;
    f->height = hauteur;
    if (av_frame_get_buffer(f.get(), 0) < 0) return -1;
    e.ctx = std::move(c);
    e.image = std::move(f);
    e.paquet = std::move(p);
    return 0;
}

extern "C" int32_t KORMP4_ENC_EncodeImageMP4(int32_t instance, unsigned char* pixels, int32_t nbOctets,
                                             unsigned char* sortie, int32_t capacite,
                                             int32_t reserve) {
    if (instance < 0 || instance >= NbEncodeurs || pixels == nullptr || sortie == nullptr ||
        capacite < 1)
        return -1;
    Encodeur& e = g_encodeur;
    std::lock_guard<std::mutex> garde(e.verrou);
    if (!e.ctx) return -1;
    const int largeur = e.ctx->width;
    const int hauteur = e.ctx->height;
    const int32_t ligne = BitmapTailleLigne(largeur);
    if (static_cast<int64_t>(ligne) * hauteur > nbOctets) return -1;

    e.conversion.sws = sws_getCachedContext(e.conversion.sws, largeur, hauteur, AV_PIX_FMT_BGR24,
                                            largeur, hauteur, AV_PIX_FMT_YUV420P, SWS_FAST_BILINEAR,
                                            nullptr, nullptr, nullptr);
    if (e.conversion.sws == nullptr) return -1;
    if (av_frame_make_writable(e.image.get()) < 0) return -1;
    // Bottom-up rows: read from the last row in memory backwards.
    const uint8_t* source[4] = {pixels + static_cast<int64_t>(hauteur - 1) * ligne, nullptr, nullptr,
                                nullptr};
    const int pasSource[4] = {-ligne, 0, 0, 0};
    if (sws_scale(e.conversion.sws, source, pasSource, 0, hauteur, e.image->data,
                  e.image->linesize) != hauteur)
        return -1;
    e.image->pts = e.numero++;
    if (avcodec_send_frame(e.ctx.get(), e.image.get()) < 0) return -1;
    av_packet_unref(e.paquet.get());
    if (avcodec_receive_packet(e.ctx.get(), e.paquet.get()) < 0) return 0;
    const int taille = e.paquet->size;
    if (taille > capacite) {
        av_packet_unref(e.paquet.get());
        return 0;  // too large for the caller's room: nothing to write
    }
    std::memcpy(sortie, e.paquet->data, static_cast<size_t>(taille));
    av_packet_unref(e.paquet.get());
    return taille;
}

extern "C" int32_t KORMP4_ENC_Mp4Close(int32_t instance) {
    if (instance < 0 || instance >= NbEncodeurs) return -1;
    std::lock_guard<std::mutex> garde(g_encodeur.verrou);
    g_encodeur.Fermer();
    return 0;
}
