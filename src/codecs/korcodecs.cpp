// Codec library on libavcodec and libswscale (see korcodecs.h).
#include "codecs/korcodecs.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

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

// Decoding ahead. Recorders write one picture as one slice, so slice threads
// leave the second core idle. Frame threads decode pictures k + 1 to k + 3
// while picture k is finished and converted to a bitmap, but give each
// picture back three packets late: each call therefore also sends the next
// pictures of its data (the look-ahead), and when the next call starts with
// exactly the bytes of the first of them its picture is already on its way.
// Four threads rather than two keep both cores busy while the caller
// converts, hands over and waits between pictures (measured on two cores:
// 3 to 9 % faster than three threads; five were no faster). Whatever the
// caller does, the decoder is left as one picture per call would leave it:
// - a call that starts elsewhere (a seek, a skip after damaged data) while
//   a look-ahead is in flight rewinds: the decoder is flushed and the
//   pictures asked for since the last intra picture are fed again, their
//   output dropped, before the new picture (nothing when it is intra);
// - a call whose data holds too few complete pictures after its own drains
//   the decoder so that its picture comes out at once; the next call
//   rewinds likewise.
// Packets carry their number in their dts, which frame threads hand back
// with the picture of that packet.
constexpr int FilsImages = 4;
constexpr int64_t Retard = FilsImages - 1;  // packets a picture comes out behind
// Streams that reorder pictures (B-pictures) go back to one packet in, one
// picture out, with two slice threads.
constexpr int FilsTranches = 2;
// Pictures kept for a rewind; a longer run without intra picture keeps the
// latest ones only (the rewind then starts from the oldest kept).
constexpr size_t HistoriqueMaxOctets = size_t{16} << 20;
// Bound on the receive loop of one call (each turn takes a queued outcome).
constexpr int ToursMax = 256;

// Encoder defaults for arguments below 1.
constexpr int DebitParDefaut = 1048576;
constexpr int ImagesParSecondeParDefaut = 20;
constexpr int SecondesEntreClesParDefaut = 1;
// Largest tick count per second an MPEG-4 stream declares (16 bits).
constexpr int TicsMaxMpeg4 = 65535;

struct LibererContexte {
    void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct LibererFrame {
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct LibererPaquet {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
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

using Octets = std::vector<unsigned char>;

struct Decodeur {
    std::mutex verrou;  // one call at a time per instance
    ContextePtr ctx;
    FramePtr image;
    FramePtr suivante;  // receives the frames after the first of one packet
    FramePtr attente;   // a picture received ahead of the one asked for
    PaquetPtr paquet;
    Conversion conversion;
    AVCodecID codec = AV_CODEC_ID_NONE;
    bool (*intra)(const unsigned char*, int32_t) = nullptr;
    bool cleVue = false;   // an intra picture has come out since opening
    bool (*autonome)(const unsigned char*, int32_t) = nullptr;
    bool direct = false;   // one packet in, its picture out (slice threads)
    bool reordonne = false;  // the stream reorders its pictures: direct for good
    bool vidange = false;  // drained: sending needs a flush first
    bool attentePleine = false;
    int64_t numero = 0;    // number of the next packet sent
    // The look-ahead: pictures sent, not asked for yet, in order; the last
    // one is packet numero - 1.
    std::deque<Octets> avances;
    // Pictures asked for since the last intra one, in order.
    std::deque<Octets> historique;
    size_t octetsHistorique = 0;
    Octets entetes;  // the latest sequence headers asked for

    void Fermer() {
        ctx.reset();
        image.reset();
        suivante.reset();
        attente.reset();
        paquet.reset();
        conversion.Liberer();
        cleVue = false;
        direct = false;
        reordonne = false;
        Oublier();
    }

    // Forgets everything in flight and the history.
    void Oublier() {
        vidange = false;
        attentePleine = false;
        avances.clear();
        historique.clear();
        octetsHistorique = 0;
        entetes.clear();
    }

    int OuvrirContexte(bool tranches) {
        ctx.reset();
        const AVCodec* c = avcodec_find_decoder(codec);
        if (c == nullptr) return -1;
        ContextePtr x(avcodec_alloc_context3(c));
        if (!x) return -1;
        if (tranches) {
            x->flags |= AV_CODEC_FLAG_LOW_DELAY;
            x->thread_count = FilsTranches;
            x->thread_type = FF_THREAD_SLICE;
        } else {
            x->thread_count = FilsImages;
            x->thread_type = FF_THREAD_FRAME;
        }
        x->max_pixels = PixelsMax;
        // The latest headers seen, for streams that carry them only once.
        if (!entetes.empty()) {
            x->extradata = static_cast<uint8_t*>(av_mallocz(entetes.size() + AV_INPUT_BUFFER_PADDING_SIZE));
            if (x->extradata == nullptr) return -1;
            std::memcpy(x->extradata, entetes.data(), entetes.size());
            x->extradata_size = static_cast<int>(entetes.size());
        }
        if (avcodec_open2(x.get(), c, nullptr) < 0) return -1;
        ctx = std::move(x);
        direct = tranches;
        vidange = false;
        attentePleine = false;
        avances.clear();
        return 0;
    }

    int Ouvrir(AVCodecID id) {
        Fermer();
        codec = id;
        intra = id == AV_CODEC_ID_H264 ? ImageIdrH264 : ImageIntraMpeg4;
        autonome = id == AV_CODEC_ID_H264 ? ImageIdrAvecParametresH264 : ImageIntraMpeg4;
        FramePtr f(av_frame_alloc());
        FramePtr g(av_frame_alloc());
        FramePtr a(av_frame_alloc());
        PaquetPtr p(av_packet_alloc());
        if (!f || !g || !a || !p) return -1;
        if (OuvrirContexte(false) != 0) return -1;
        image = std::move(f);
        suivante = std::move(g);
        attente = std::move(a);
        paquet = std::move(p);
        return 0;
    }

    // Sends one packet numbered `n`; frames that block the way are older
    // than it and dropped. The bytes are only read: libavcodec copies a
    // packet that is not reference-counted into a padded buffer of its own.
    int Envoyer(const unsigned char* donnees, int32_t longueur, int64_t n) {
        for (int tours = 0; tours < ToursMax; ++tours) {
            av_packet_unref(paquet.get());
            paquet->data = const_cast<unsigned char*>(donnees);
            paquet->size = longueur;
            paquet->pts = paquet->dts = n;
            const int r = avcodec_send_packet(ctx.get(), paquet.get());
            paquet->data = nullptr;
            paquet->size = 0;
            if (r != AVERROR(EAGAIN)) return r;
            if (avcodec_receive_frame(ctx.get(), suivante.get()) == 0) av_frame_unref(suivante.get());
        }
        return -1;
    }

    // Notes a picture asked for, for later rewinds, and its headers.
    void Retenir(const unsigned char* donnees, int32_t longueur) {
        const int32_t e = codec == AV_CODEC_ID_H264 ? EntetesH264(donnees, longueur)
                                                    : EntetesMpeg4(donnees, longueur);
        if (e > 0) entetes.assign(donnees, donnees + e);
        if (intra(donnees, longueur)) {
            historique.clear();
            octetsHistorique = 0;
        }
        historique.emplace_back(donnees, donnees + longueur);
        octetsHistorique += static_cast<size_t>(longueur);
        while (octetsHistorique > HistoriqueMaxOctets && historique.size() > 1) {
            octetsHistorique -= historique.front().size();
            historique.pop_front();
        }
    }

    // Brings the decoder back to where one picture per call leaves it, with
    // nothing in flight, before picture `donnees` is sent.
    void Rembobiner(const unsigned char* donnees, int32_t longueur) {
        avcodec_flush_buffers(ctx.get());
        vidange = false;
        attentePleine = false;
        av_frame_unref(attente.get());
        avances.clear();
        if (intra(donnees, longueur)) return;
        for (const Octets& o : historique) Envoyer(o.data(), static_cast<int32_t>(o.size()), numero++);
    }

    // Waits for the picture of packet `voulu`; `suite` (`reste` bytes) is
    // the data after it, where the look-ahead is cut. 0 with the picture in
    // `image`; -1 when that packet gave no picture.
    int Obtenir(int64_t voulu, const unsigned char* suite, int32_t reste,
                int32_t (*finImage)(const unsigned char*, int32_t)) {
        for (int tours = 0; tours < ToursMax; ++tours) {
            if (attentePleine) {
                const int64_t n = attente->pkt_dts;
                if (n == voulu) {
                    av_frame_unref(image.get());
                    av_frame_move_ref(image.get(), attente.get());
                    attentePleine = false;
                    return 0;
                }
                if (n > voulu) return -1;  // kept for the packet it belongs to
                av_frame_unref(attente.get());
                attentePleine = false;
            }
            const int r = avcodec_receive_frame(ctx.get(), attente.get());
            if (r == 0) {
                attentePleine = true;
            } else if (r == AVERROR(EAGAIN)) {
                // Every packet but the last Retard ones has given its outcome.
                if (voulu <= numero - 1 - Retard) return -1;
                // The pictures already sent ahead come first in the data;
                // the next one to send follows them, unless the data no
                // longer holds them (then nothing more is sent ahead).
                int32_t pos = 0;
                bool suiteIntacte = true;
                for (const Octets& a : avances) {
                    const int32_t l = static_cast<int32_t>(a.size());
                    if (l > reste - pos || std::memcmp(suite + pos, a.data(), a.size()) != 0) {
                        suiteIntacte = false;
                        break;
                    }
                    pos += l;
                }
                const int32_t fin = suiteIntacte && reste - pos > 0 ? finImage(suite + pos, reste - pos) : -1;
                if (!vidange && fin >= 1 && fin < reste - pos) {
                    // A complete next picture (another one starts after it).
                    const int e = Envoyer(suite + pos, fin, numero++);
                    if (e == AVERROR_EOF) return -1;
                    avances.emplace_back(suite + pos, suite + pos + fin);
                } else if (!vidange) {
                    // The data ends within the pictures that would be sent
                    // ahead. Its last picture, which runs to its end, goes
                    // too: where the film ends there, the calls on the
                    // pictures left find them decoded instead of feeding
                    // the decoder again from the last intra picture; where
                    // the window cut it, its bytes will not match and the
                    // call rewinds as it would have anyway.
                    if (fin >= 1 && fin == reste - pos && Envoyer(suite + pos, fin, numero) == 0) {
                        ++numero;
                        avances.emplace_back(suite + pos, suite + pos + fin);
                    }
                    avcodec_send_packet(ctx.get(), nullptr);
                    vidange = true;
                } else {
                    return -1;
                }
            } else if (r == AVERROR_EOF) {
                return -1;
            }
            // Other errors: a damaged packet's outcome; the next turn goes on.
        }
        return -1;
    }

    // Same bytes as the first picture sent ahead, but for zero bytes at its
    // front (a caller may start one byte into a four-byte start code).
    bool SuitLAvance(const unsigned char* donnees, int32_t longueur) const {
        if (avances.empty()) return false;
        const Octets& octetsAvance = avances.front();
        const size_t n = static_cast<size_t>(longueur);
        if (n > octetsAvance.size()) return false;
        const size_t decalage = octetsAvance.size() - n;
        for (size_t i = 0; i < decalage; ++i)
            if (octetsAvance[i] != 0) return false;
        return std::memcmp(octetsAvance.data() + decalage, donnees, n) == 0;
    }

    // One packet, then whatever it gives (slice threads, low delay).
    int DecoderDirect(const unsigned char* donnees, int32_t longueur) {
        int r = Envoyer(donnees, longueur, numero++);
        if (r < 0) {
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
        return recu ? 0 : -1;
    }

    // Goes over to slice threads for a stream that reorders its pictures,
    // feeding the new decoder what the old one had been asked for.
    int PasserEnDirect() {
        if (OuvrirContexte(true) != 0) return -1;
        std::deque<Octets> h = std::move(historique);
        historique.clear();
        octetsHistorique = 0;
        for (size_t i = 0; i + 1 < h.size(); ++i) {
            DecoderDirect(h[i].data(), static_cast<int32_t>(h[i].size()));
            Retenir(h[i].data(), static_cast<int32_t>(h[i].size()));
        }
        if (h.empty()) return -1;
        const Octets& dernier = h.back();
        Retenir(dernier.data(), static_cast<int32_t>(dernier.size()));
        return DecoderDirect(dernier.data(), static_cast<int32_t>(dernier.size()));
    }

    // Decodes the picture of the first `longueur` bytes of `donnees` (of
    // `total` bytes) into `image`.
    int DecoderImage(const unsigned char* donnees, int32_t longueur, int32_t total,
                     int32_t (*finImage)(const unsigned char*, int32_t)) {
        if (direct && (reordonne || !autonome(donnees, longueur))) {
            Retenir(donnees, longueur);
            return DecoderDirect(donnees, longueur);
        }
        if (direct) {
            // Back to frame threads at a picture that carries all it needs.
            if (OuvrirContexte(false) != 0) return -1;
            historique.clear();
            octetsHistorique = 0;
        }
        int64_t voulu;
        if (SuitLAvance(donnees, longueur)) {
            voulu = numero - static_cast<int64_t>(avances.size());
            Retenir(avances.front().data(), static_cast<int32_t>(avances.front().size()));
            avances.pop_front();
        } else {
            if (!avances.empty() || vidange) Rembobiner(donnees, longueur);
            voulu = numero;
            if (Envoyer(donnees, longueur, numero++) == AVERROR_EOF) return -1;
            Retenir(donnees, longueur);
        }
        const int r = Obtenir(voulu, donnees + longueur, total - longueur, finImage);
        // Pictures that come out of order need the decoder one packet at a
        // time. So do damaged ones: the picture after a damaged one may read
        // it while its concealment is still being drawn; until the next
        // picture that needs nothing earlier, one packet at a time keeps the
        // results those of a single decoder.
        if (ctx->has_b_frames > 0) reordonne = true;
        if (reordonne || r != 0 || image->decode_error_flags != 0) return PasserEnDirect();
        return r;
    }

    // Decodes the picture of the first `longueur` bytes and converts it.
    // With `vers`, the picture is not converted: `vers` receives a new
    // reference to the decoder's frame instead.
    int Decoder(const unsigned char* donnees, int32_t longueur, int32_t total,
                int32_t (*finImage)(const unsigned char*, int32_t), unsigned char* sortie,
                int32_t capacite, int32_t* taille, bool* cle, int* largeur, int* hauteur,
                AVFrame* vers = nullptr) {
        if (DecoderImage(donnees, longueur, total, finImage) != 0) return -1;
        const AVFrame* f = image.get();
        const bool estIntra = f->key_frame != 0 || f->pict_type == AV_PICTURE_TYPE_I;
        if (!estIntra && !cleVue) return -1;  // no reference yet: grey or garbage
        if (vers != nullptr) {
            av_frame_unref(vers);
            if (av_frame_ref(vers, f) < 0) return -1;
            *taille = 0;
        } else if (BitmapDepuisFrame(f, &conversion.sws, sortie, capacite, taille) != 0) {
            return -1;
        }
        if (estIntra) cleVue = true;
        *cle = estIntra;
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
                     int32_t* largeur, int32_t* hauteur, AVFrame* vers = nullptr) {
    if (d == nullptr || donnees == nullptr || longueur < 1 || (sortie == nullptr && vers == nullptr))
        return -1;
    std::lock_guard<std::mutex> garde(d->verrou);
    if (!d->ctx) return -1;
    const int32_t fin = finImage(donnees, longueur);
    if (fin < 1) return -1;
    int32_t taille = 0;
    int l = 0, h = 0;
    if (d->Decoder(donnees, fin, longueur, finImage, sortie, capacite, &taille, cle, &l, &h, vers) != 0)
        return -1;
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

    // Codes one YUV 4:2:0 picture of the opened size; the size of the coded
    // picture copied to `sortie`, 0 when there is nothing to write, -1.
    int32_t Coder(AVFrame* f, unsigned char* sortie, int32_t capacite) {
        f->pts = numero++;
        if (avcodec_send_frame(ctx.get(), f) < 0) return -1;
        av_packet_unref(paquet.get());
        if (avcodec_receive_packet(ctx.get(), paquet.get()) < 0) return 0;
        const int taille = paquet->size;
        if (taille > capacite) {
            av_packet_unref(paquet.get());
            return 0;  // too large for the caller's room: nothing to write
        }
        std::memcpy(sortie, paquet->data, static_cast<size_t>(taille));
        av_packet_unref(paquet.get());
        return taille;
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

int32_t KORMP4_DEC_GetFrameImage(int32_t instance, unsigned char* donnees, int32_t longueur,
                                 AVFrame* image, int32_t* octetsUtilises, unsigned char* cle,
                                 int32_t* largeur, int32_t* hauteur) {
    Zero(octetsUtilises);
    Zero(cle);
    Zero(largeur);
    Zero(hauteur);
    if (image == nullptr) return -1;
    bool intra = false;
    const int32_t r = DecoderAppel(Instance(g_mpeg4, instance), FinPremiereImageMpeg4, donnees, longueur,
                                   nullptr, 0, nullptr, octetsUtilises, &intra, largeur, hauteur, image);
    if (r == 0 && cle) *cle = intra ? 1 : 0;
    return r;
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

int32_t KORH264_DecodePaquetImage(int32_t instance, unsigned char* donnees, int32_t longueur,
                                  AVFrame* image, int32_t* octetsUtilises, int32_t* hauteur,
                                  int32_t* largeur) {
    Zero(octetsUtilises);
    Zero(hauteur);
    Zero(largeur);
    if (image == nullptr) return -1;
    bool intra = false;
    return DecoderAppel(Instance(g_h264, instance), FinPremiereImageH264, donnees, longueur, nullptr, 0,
                        nullptr, octetsUtilises, &intra, largeur, hauteur, image);
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
    const int ips = imagesParSeconde > 0 ? imagesParSeconde : ImagesParSecondeParDefaut;
    return KORMP4_ENC_InitEncoderMPEG4Fraction(instance, largeur, hauteur, debit, ips, 1,
                                               secondesEntreCles);
}

extern "C" int32_t KORMP4_ENC_InitEncoderMPEG4Fraction(int32_t instance, int32_t largeur,
                                                       int32_t hauteur, int32_t debit,
                                                       int32_t imagesNum, int32_t imagesDen,
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
    // The time base is one picture: the stream declares the rate it is
    // given. MPEG-4 counts ticks with at most 16 bits, so a fraction beyond
    // that is brought to the nearest one within it.
    AVRational cadence{ImagesParSecondeParDefaut, 1};
    if (imagesNum > 0 && imagesDen > 0)
        av_reduce(&cadence.num, &cadence.den, imagesNum, imagesDen, TicsMaxMpeg4);
    const int secondes = secondesEntreCles > 0 ? secondesEntreCles : SecondesEntreClesParDefaut;
    c->width = largeur;
    c->height = hauteur;
    c->pix_fmt = AV_PIX_FMT_YUV420P;
    c->bit_rate = debit > 0 ? debit : DebitParDefaut;
    c->time_base = AVRational{cadence.den, cadence.num};
    c->framerate = cadence;
    // Intra pictures `secondes` apart, at least every picture.
    const int64_t gop = static_cast<int64_t>(secondes) * cadence.num / cadence.den;
    c->gop_size = static_cast<int>(std::max<int64_t>(1, std::min<int64_t>(gop, 600)));
    c->max_b_frames = 0;  // one picture in, the same picture out
    c->codec_tag = MKTAG('D', 'X', '5', '0');
    // No global header: the sequence headers go in front of each intra
    // picture, inside the stream the AVI holds.
    c->flags &= ~AV_CODEC_FLAG_GLOBAL_HEADER;
    // Two slice threads: each picture is coded as two slices, one per core,
    // still one picture in and its bytes out. The count is fixed, not the
    // machine's, so that the same film exports to the same bytes anywhere.
    c->thread_count = 2;
    c->thread_type = FF_THREAD_SLICE;
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
    return e.Coder(e.image.get(), sortie, capacite);
}

int32_t KORMP4_ENC_EncodeImageYuv(int32_t instance, const AVFrame* image, unsigned char* sortie,
                                  int32_t capacite) {
    if (instance < 0 || instance >= NbEncodeurs || image == nullptr || sortie == nullptr ||
        capacite < 1)
        return -1;
    Encodeur& e = g_encodeur;
    std::lock_guard<std::mutex> garde(e.verrou);
    if (!e.ctx || image->width != e.ctx->width || image->height != e.ctx->height) return -1;
    if (image->format == AV_PIX_FMT_YUV420P && image->color_range != AVCOL_RANGE_JPEG) {
        // The encoder's own format: coded as it is, without a copy.
        FramePtr ref(av_frame_alloc());
        if (!ref || av_frame_ref(ref.get(), image) < 0) return -1;
        ref->pict_type = AV_PICTURE_TYPE_NONE;
        return e.Coder(ref.get(), sortie, capacite);
    }
    bool pleine = false;
    const AVPixelFormat source =
        FormatSansPleineEchelle(static_cast<AVPixelFormat>(image->format), &pleine);
    if (image->color_range == AVCOL_RANGE_JPEG) pleine = true;
    e.conversion.sws = sws_getCachedContext(e.conversion.sws, image->width, image->height, source,
                                            image->width, image->height, AV_PIX_FMT_YUV420P,
                                            SWS_FAST_BILINEAR, nullptr, nullptr, nullptr);
    if (e.conversion.sws == nullptr) return -1;
    int* tableEntree = nullptr;
    int* tableSortie = nullptr;
    int plageEntree = 0, plageSortie = 0, luminosite = 0, contraste = 0, saturation = 0;
    if (sws_getColorspaceDetails(e.conversion.sws, &tableEntree, &plageEntree, &tableSortie,
                                 &plageSortie, &luminosite, &contraste, &saturation) >= 0)
        sws_setColorspaceDetails(e.conversion.sws, tableEntree, pleine ? 1 : 0, tableSortie, 0,
                                 luminosite, contraste, saturation);
    if (av_frame_make_writable(e.image.get()) < 0) return -1;
    if (sws_scale(e.conversion.sws, image->data, image->linesize, 0, image->height, e.image->data,
                  e.image->linesize) != image->height)
        return -1;
    return e.Coder(e.image.get(), sortie, capacite);
}

extern "C" int32_t KORMP4_ENC_Mp4Close(int32_t instance) {
    if (instance < 0 || instance >= NbEncodeurs) return -1;
    std::lock_guard<std::mutex> garde(g_encodeur.verrou);
    g_encodeur.Fermer();
    return 0;
}
