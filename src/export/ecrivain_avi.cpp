#include "export/ecrivain_avi.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/mathematics.h>
#include <libavutil/mem.h>
}

#include <cerrno>
#include <cstring>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

namespace {

// The AVI header and its reserve for the large-file index sit well within
// this many bytes at the start of the file.
constexpr int TailleEnteteLue = 65536;
constexpr int TailleTamponIo = 1 << 16;

uint32_t Lire32(const unsigned char* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

void Poser32(unsigned char* p, uint32_t v)
{
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
    p[2] = uint8_t(v >> 16);
    p[3] = uint8_t(v >> 24);
}

bool EcrireTout(int fd, const unsigned char* d, size_t n)
{
    while (n > 0) {
        const ssize_t e = write(fd, d, n);
        if (e < 0 && errno == EINTR)
            continue;
        if (e <= 0)
            return false;
        d += e;
        n -= size_t(e);
    }
    return true;
}

} // namespace

// The muxer writes through these two callbacks onto the descriptor, so that
// every failed write is seen.
struct AccesEcrivainAvi {
    static int EcrirePaquet(void* opaque, uint8_t* d, int n)
    {
        auto* e = static_cast<EcrivainAvi*>(opaque);
        if (!EcrireTout(e->fd_, d, size_t(n))) {
            e->erreur_ = true;
            return AVERROR(errno ? errno : EIO);
        }
        return n;
    }
    static int64_t Positionner(void* opaque, int64_t pos, int origine)
    {
        auto* e = static_cast<EcrivainAvi*>(opaque);
        if (origine == AVSEEK_SIZE) {
            const off_t ici = lseek(e->fd_, 0, SEEK_CUR);
            const off_t fin = lseek(e->fd_, 0, SEEK_END);
            lseek(e->fd_, ici, SEEK_SET);
            return fin;
        }
        const off_t r = lseek(e->fd_, off_t(pos), origine & ~AVSEEK_FORCE);
        return r < 0 ? AVERROR(errno) : int64_t(r);
    }
};

ChunksAvi TrouverChunksAvi(const unsigned char* d, int64_t n)
{
    ChunksAvi c;
    // RIFF "AVI " then chunks and lists; descend into LIST hdrl and LIST strl.
    if (n < 12 || std::memcmp(d, "RIFF", 4) != 0 || std::memcmp(d + 8, "AVI ", 4) != 0)
        return c;
    int64_t i = 12;
    int64_t fin = n;
    while (i + 8 <= fin) {
        const uint32_t taille = Lire32(d + i + 4);
        if (std::memcmp(d + i, "LIST", 4) == 0 && i + 12 <= fin
            && (std::memcmp(d + i + 8, "hdrl", 4) == 0 || std::memcmp(d + i + 8, "strl", 4) == 0)) {
            fin = std::min<int64_t>(fin, i + 8 + int64_t(taille));
            i += 12; // into the list
            continue;
        }
        if (std::memcmp(d + i, "strh", 4) == 0 && c.strh < 0)
            c.strh = i;
        else if (std::memcmp(d + i, "strf", 4) == 0 && c.strf < 0)
            c.strf = i;
        if (c.strh >= 0 && c.strf >= 0)
            break;
        i += 8 + int64_t(taille) + (taille & 1);
    }
    return c;
}

EcrivainAvi::~EcrivainAvi()
{
    Liberer();
}

void EcrivainAvi::Liberer()
{
    if (fc_)
        avformat_free_context(fc_);
    fc_ = nullptr;
    flux_ = nullptr;
    if (io_) {
        av_freep(&io_->buffer);
        avio_context_free(&io_);
    }
    if (fd_ >= 0)
        close(fd_);
    fd_ = -1;
}

int EcrivainAvi::Ouvrir(const std::string& chemin, int32_t largeur, int32_t hauteur, uint32_t cadence)
{
    Liberer();
    erreur_ = false;
    echantillons_ = 0;
    if (cadence == 0 || cadence > uint32_t(INT32_MAX) || largeur < 0 || hauteur < 0)
        return -1;
    cadence_ = cadence;
    fd_ = open(chemin.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd_ < 0)
        return -1;
    const AVOutputFormat* format = av_guess_format("avi", nullptr, nullptr);
    if (!format || avformat_alloc_output_context2(&fc_, format, nullptr, nullptr) < 0 || !fc_)
        return -1;
    auto* tampon = static_cast<unsigned char*>(av_malloc(TailleTamponIo));
    if (!tampon)
        return -1;
    io_ = avio_alloc_context(tampon, TailleTamponIo, 1, this, nullptr, &AccesEcrivainAvi::EcrirePaquet,
                             &AccesEcrivainAvi::Positionner);
    if (!io_) {
        av_free(tampon);
        return -1;
    }
    io_->seekable = AVIO_SEEKABLE_NORMAL;
    fc_->pb = io_;
    fc_->flags |= AVFMT_FLAG_CUSTOM_IO;
    flux_ = avformat_new_stream(fc_, nullptr);
    if (!flux_)
        return -1;
    AVCodecParameters* p = flux_->codecpar;
    p->codec_type = AVMEDIA_TYPE_VIDEO;
    p->codec_id = AV_CODEC_ID_MPEG4;
    p->codec_tag = MKTAG('D', 'X', '5', '0');
    p->width = largeur;
    p->height = hauteur;
    p->bits_per_coded_sample = 24;
    flux_->time_base = AVRational{int(EchelleAvi), int(cadence)};
    flux_->avg_frame_rate = AVRational{int(cadence), int(EchelleAvi)};
    if (avformat_write_header(fc_, nullptr) < 0 || erreur_)
        return -1;
    return 0;
}

int EcrivainAvi::Ecrire(const unsigned char* donnees, int32_t taille, bool cle)
{
    if (!fc_ || !donnees || taille <= 0 || erreur_)
        return -1;
    AVPacket* pkt = av_packet_alloc();
    if (!pkt)
        return -1;
    // The muxer only reads the packet: no copy of the sample is made.
    pkt->data = const_cast<unsigned char*>(donnees);
    pkt->size = taille;
    pkt->stream_index = 0;
    // The muxer reduces the time base when writing the header.
    pkt->pts = pkt->dts = av_rescale_q(echantillons_, AVRational{int(EchelleAvi), int(cadence_)},
                                       flux_->time_base);
    pkt->duration = av_rescale_q(1, AVRational{int(EchelleAvi), int(cadence_)}, flux_->time_base);
    if (cle)
        pkt->flags |= AV_PKT_FLAG_KEY;
    const int r = av_write_frame(fc_, pkt);
    av_packet_free(&pkt);
    if (r < 0 || erreur_ || io_->error < 0)
        return -1;
    ++echantillons_;
    return 0;
}

int EcrivainAvi::Fermer()
{
    if (!fc_)
        return -1;
    bool reussi = !erreur_;
    if (av_write_trailer(fc_) < 0)
        reussi = false;
    avio_flush(io_);
    if (erreur_ || io_->error < 0)
        reussi = false;
    if (reussi) {
        // The muxer writes the codec tag as the handler and its own scale,
        // rate and image size: set the stream's own values.
        std::vector<unsigned char> entete(TailleEnteteLue);
        const ssize_t lus = pread(fd_, entete.data(), entete.size(), 0);
        const ChunksAvi c = TrouverChunksAvi(entete.data(), lus > 0 ? lus : 0);
        if (c.strh < 0 || c.strf < 0 || c.strf + DecalageTailleImageStrf + 4 > lus) {
            reussi = false;
        } else {
            unsigned char* h = entete.data() + c.strh;
            std::memcpy(h + DecalageHandlerStrh, "DIVX", 4);
            Poser32(h + DecalageEchelleStrh, EchelleAvi);
            Poser32(h + DecalageCadenceStrh, cadence_);
            const int64_t finStrh = c.strh + DecalageCadenceStrh + 4;
            reussi = pwrite(fd_, h, size_t(finStrh - c.strh), c.strh) == finStrh - c.strh;
            unsigned char taille[4];
            Poser32(taille, TailleImageFormatAvi);
            reussi = reussi && pwrite(fd_, taille, 4, c.strf + DecalageTailleImageStrf) == 4;
        }
    }
    avformat_free_context(fc_);
    fc_ = nullptr;
    av_freep(&io_->buffer);
    avio_context_free(&io_);
    if (close(fd_) != 0)
        reussi = false;
    fd_ = -1;
    return reussi ? 0 : -1;
}
