#include "export/copie_exacte.h"

#include "core/ouverture.h"
#include "engine/fichierfilm.h"
#include "engine/index_images.h"
#include "engine/motdepasse.h"
#include "export/avi_export.h"
#include "export/fichier_temporaire.h"
#include "export/protection.h"
#include "export/sortie_sure.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>

#include <sys/stat.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/mathematics.h>
#include <libavutil/opt.h>
}

namespace {

// Film bytes read at a time: large enough that reads are few, small
// enough that memory stays flat whatever the film.
constexpr size_t BlocLecture = 1 << 20;
// Sound samples per second of the ".pcm" (G.711 mu-law, one byte each).
constexpr int EchantillonsSonParSeconde = 8000;
// Matroska: mu-law stored in packets of a tenth of a second.
constexpr int EchantillonsParPaquetMuLaw = 800;
// MP4: AAC at a rate that keeps 8 kHz speech intact.
constexpr int64_t DebitAac = 32000;
// A body whose first bytes hold no picture start is no film of its kind.
constexpr size_t SansImageMax = 64u << 20;
// Days between 30/12/1899 (the ".hrd" origin) and 01/01/1970.
constexpr double JoursAvant1970 = 25569;

constexpr int TypeMpeg4 = 0, TypeMjpeg = 1, TypeH264 = 2;

struct FermerFichier {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using Fichier = std::unique_ptr<std::FILE, FermerFichier>;

struct LibererCodec {
    void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct LibererPaquet {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct LibererImage {
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};
using Codec = std::unique_ptr<AVCodecContext, LibererCodec>;
using Paquet = std::unique_ptr<AVPacket, LibererPaquet>;
using ImageAv = std::unique_ptr<AVFrame, LibererImage>;

// G.711 mu-law sample to a 16-bit value.
int16_t MuLawVersLineaire(uint8_t code)
{
    code = uint8_t(~code);
    int t = ((code & 0x0F) << 3) + 0x84;
    t <<= (code & 0x70) >> 4;
    return int16_t((code & 0x80) ? 0x84 - t : t - 0x84);
}

// Reads a film from a byte offset, descrambling a protected body as it
// goes. A film that shrinks while read simply ends early.
class LecteurFilm
{
public:
    int Ouvrir(const std::string& chemin, bool desembrouiller, int64_t octet)
    {
        f_.reset(OuvrirFichierOrdinaire(chemin.c_str()));
        desembrouiller_ = desembrouiller;
        return f_ && fseeko(f_.get(), octet, SEEK_SET) == 0 ? 0 : -1;
    }
    size_t Lire(unsigned char* d, size_t n)
    {
        const size_t lus = std::fread(d, 1, n, f_.get());
        if (desembrouiller_)
            Desembrouiller(d, int(lus));
        return lus;
    }
    bool Erreur() const { return std::ferror(f_.get()) != 0; }

private:
    Fichier f_;
    bool desembrouiller_ = false;
};

// Where the body's pictures start, from the film's start up to the first
// entry for which `assez` holds (or the end).
template <typename Condition>
int IndexerJusqua(const std::string& chemin, int type, bool protege, Condition assez, IndexImages& index)
{
    LecteurFilm l;
    if (l.Ouvrir(chemin, protege, TailleEnteteFilm) != 0)
        return -1;
    ScanneurImages s(type, TailleEnteteFilm);
    std::vector<unsigned char> bloc(BlocLecture);
    for (;;) {
        const size_t n = l.Lire(bloc.data(), bloc.size());
        if (n == 0)
            break;
        s.Ajouter(bloc.data(), n);
        if (assez(s.Index()))
            break;
    }
    s.Terminer();
    index = s.Prendre();
    return l.Erreur() ? -1 : 0;
}

// Bytes [debut, fin) of a film, descrambled when protected.
std::vector<uint8_t> LireOctets(const std::string& chemin, bool protege, int64_t debut, int64_t fin)
{
    std::vector<uint8_t> o;
    LecteurFilm l;
    if (debut < 0 || fin <= debut || l.Ouvrir(chemin, protege, debut) != 0)
        return o;
    o.resize(size_t(fin - debut));
    o.resize(l.Lire(o.data(), o.size()));
    return o;
}

// The width and height of a key picture, decoded once with its
// configuration in front. 0 ok.
int SonderTaille(AVCodecID id, const std::vector<uint8_t>& config, const unsigned char* d, size_t n, int32_t* l,
                 int32_t* h)
{
    const AVCodec* codec = avcodec_find_decoder(id);
    Codec ctx(codec ? avcodec_alloc_context3(codec) : nullptr);
    Paquet p(av_packet_alloc());
    ImageAv image(av_frame_alloc());
    if (!ctx || !p || !image)
        return -1;
    ctx->thread_count = 1;
    if (avcodec_open2(ctx.get(), codec, nullptr) < 0 || av_new_packet(p.get(), int(config.size() + n)) < 0)
        return -1;
    if (!config.empty())
        std::memcpy(p->data, config.data(), config.size());
    std::memcpy(p->data + config.size(), d, n);
    avcodec_send_packet(ctx.get(), p.get());
    avcodec_send_packet(ctx.get(), nullptr);
    while (avcodec_receive_frame(ctx.get(), image.get()) == 0) {
        if (image->width > 0 && image->height > 0) {
            *l = image->width;
            *h = image->height;
            return 0;
        }
    }
    return -1;
}

std::string NomDeFichier(const std::string& chemin)
{
    const size_t barre = chemin.find_last_of('/');
    return barre == std::string::npos ? chemin : chemin.substr(barre + 1);
}

// The copy in progress: the muxer, its streams and the sound source.
class Copie
{
public:
    Copie(const ParametresCopie& p, const SuiviCopie& s, BilanCopie& b) : p_(p), suivi_(s), b_(b) {}
    ~Copie() { Fermer(); }

    void Executer();

private:
    // Takes one picture of the walk: starts the output on the first key
    // picture, then writes. False once the copy must stop.
    bool Image(const unsigned char* d, size_t n, bool cle);
    // 0 ok, PasDImage when the picture cannot start the copy (no codec
    // configuration, does not decode), or the libavformat error.
    static constexpr int PasDImage = 1;
    int Demarrer(const unsigned char* d, size_t n);
    int OuvrirSon(AVFormatContext* oc);
    int EcrireSonJusqua(int64_t echantillon);
    int EcrireAac(const AVFrame* f);
    // True (result set) when a write returned `r` < 0 or the output
    // stream holds an error.
    bool EcritureEnErreur(int r = 0);
    void Fermer();
    void Echec(ResultatCopie r)
    {
        if (b_.resultat == ResultatCopie::Enregistree)
            b_.resultat = r;
    }

    const ParametresCopie& p_;
    const SuiviCopie& suivi_;
    BilanCopie& b_;
    FilmSource film_;
    std::vector<uint8_t> configSecours_; // parameter sets met before the first key picture
    std::string temporaire_;
    AVFormatContext* oc_ = nullptr;
    AVStream* video_ = nullptr;
    AVRational baseImages_{1, 1};        // one tick per picture
    int64_t totalImages_ = 0;
    int64_t maxImages_ = INT64_MAX;
    bool arret_ = false;
    // Sound
    Fichier son_;
    AVStream* audio_ = nullptr;
    Codec aac_;
    ImageAv trame_;
    Paquet paquetSon_;
    int64_t sonTotal_ = 0;   // samples to copy
    int64_t sonEcrits_ = 0;  // samples taken so far
    std::vector<uint8_t> tamponSon_;
    std::vector<float> attenteAac_; // samples waiting for a whole AAC frame
};

bool Copie::EcritureEnErreur(int r)
{
    const int erreurFlux = oc_ && oc_->pb ? oc_->pb->error : 0;
    if (r >= 0 && erreurFlux >= 0)
        return false;
    if (b_.codeErreur == 0)
        b_.codeErreur = erreurFlux < 0 ? erreurFlux : r;
    Echec(ResultatCopie::ErreurEcriture);
    return true;
}

void Copie::Fermer()
{
    if (oc_) {
        if (oc_->pb)
            avio_closep(&oc_->pb);
        avformat_free_context(oc_);
        oc_ = nullptr;
    }
    if (!temporaire_.empty() && b_.resultat != ResultatCopie::Enregistree) {
        AbandonnerTemporaire(temporaire_);
        temporaire_.clear();
    }
}

int Copie::OuvrirSon(AVFormatContext* oc)
{
    const std::string chemin = NomCompagnon(p_.cheminFilm, "pcm");
    son_.reset(OuvrirFichierOrdinaire(chemin.c_str()));
    if (!son_)
        return 0;
    struct stat st;
    if (fstat(fileno(son_.get()), &st) != 0)
        return 0;
    const int64_t debut = OctetSonPourImage(b_.premiereImage, film_.nbImages, film_.dureeMs);
    int64_t fin = int64_t(st.st_size);
    if (maxImages_ != INT64_MAX)
        fin = std::min(fin, OctetSonPourImage(b_.premiereImage + maxImages_, film_.nbImages, film_.dureeMs));
    if (fin <= debut || fseeko(son_.get(), debut, SEEK_SET) != 0) {
        son_.reset();
        return 0;
    }
    sonTotal_ = fin - debut;
    audio_ = avformat_new_stream(oc, nullptr);
    paquetSon_.reset(av_packet_alloc());
    if (!audio_ || !paquetSon_)
        return -1;
    AVCodecParameters* par = audio_->codecpar;
    if (b_.conteneur == ConteneurCopie::Matroska) {
        par->codec_type = AVMEDIA_TYPE_AUDIO;
        par->codec_id = AV_CODEC_ID_PCM_MULAW;
        par->sample_rate = EchantillonsSonParSeconde;
        av_channel_layout_default(&par->ch_layout, 1);
        par->bits_per_coded_sample = 8;
        par->block_align = 1;
        par->bit_rate = EchantillonsSonParSeconde * 8;
        audio_->time_base = AVRational{1, EchantillonsSonParSeconde};
    } else {
        const AVCodec* codec = avcodec_find_encoder_by_name("aac");
        aac_.reset(codec ? avcodec_alloc_context3(codec) : nullptr);
        trame_.reset(av_frame_alloc());
        if (!aac_ || !trame_)
            return -1;
        aac_->sample_fmt = AV_SAMPLE_FMT_FLTP;
        aac_->sample_rate = EchantillonsSonParSeconde;
        av_channel_layout_default(&aac_->ch_layout, 1);
        aac_->bit_rate = DebitAac;
        aac_->time_base = AVRational{1, EchantillonsSonParSeconde};
        if (oc->oformat->flags & AVFMT_GLOBALHEADER)
            aac_->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        if (avcodec_open2(aac_.get(), codec, nullptr) < 0
            || avcodec_parameters_from_context(par, aac_.get()) < 0)
            return -1;
        audio_->time_base = aac_->time_base;
        trame_->format = AV_SAMPLE_FMT_FLTP;
        trame_->sample_rate = EchantillonsSonParSeconde;
        av_channel_layout_default(&trame_->ch_layout, 1);
        trame_->nb_samples = aac_->frame_size;
        if (av_frame_get_buffer(trame_.get(), 0) < 0)
            return -1;
    }
    b_.son = true;
    return 0;
}

int Copie::EcrireAac(const AVFrame* f)
{
    if (avcodec_send_frame(aac_.get(), f) < 0)
        return -1;
    for (;;) {
        const int r = avcodec_receive_packet(aac_.get(), paquetSon_.get());
        if (r == AVERROR(EAGAIN) || r == AVERROR_EOF)
            return 0;
        if (r < 0)
            return -1;
        av_packet_rescale_ts(paquetSon_.get(), aac_->time_base, audio_->time_base);
        paquetSon_->stream_index = audio_->index;
        const int w = av_write_frame(oc_, paquetSon_.get());
        av_packet_unref(paquetSon_.get());
        if (EcritureEnErreur(w))
            return -1;
    }
}

// Writes the sound up to `echantillon` samples from its start (all of it
// for INT64_MAX), then, at the end, drains the AAC encoder.
int Copie::EcrireSonJusqua(int64_t echantillon)
{
    if (!audio_)
        return 0;
    const int64_t limite = std::min(echantillon, sonTotal_);
    const bool matroska = b_.conteneur == ConteneurCopie::Matroska;
    while (sonEcrits_ < limite) {
        const int64_t voulu = std::min<int64_t>(limite - sonEcrits_, EchantillonsParPaquetMuLaw);
        tamponSon_.resize(size_t(voulu));
        const size_t lus = std::fread(tamponSon_.data(), 1, size_t(voulu), son_.get());
        if (lus == 0) {
            sonTotal_ = sonEcrits_; // the file ended early (it shrank)
            break;
        }
        if (matroska) {
            AVPacket* pk = paquetSon_.get();
            pk->data = tamponSon_.data();
            pk->size = int(lus);
            pk->pts = pk->dts = sonEcrits_;
            pk->duration = int64_t(lus);
            pk->flags = AV_PKT_FLAG_KEY;
            pk->stream_index = audio_->index;
            av_packet_rescale_ts(pk, AVRational{1, EchantillonsSonParSeconde}, audio_->time_base);
            if (EcritureEnErreur(av_write_frame(oc_, pk)))
                return -1;
        } else {
            for (size_t i = 0; i < lus; ++i)
                attenteAac_.push_back(MuLawVersLineaire(tamponSon_[i]) / 32768.0f);
            const int taille = aac_->frame_size;
            size_t pris = 0;
            while (attenteAac_.size() - pris >= size_t(taille)) {
                if (av_frame_make_writable(trame_.get()) < 0)
                    return -1;
                std::memcpy(trame_->data[0], attenteAac_.data() + pris, size_t(taille) * sizeof(float));
                trame_->nb_samples = taille;
                trame_->pts = sonEcrits_ - int64_t(attenteAac_.size() - pris) + int64_t(lus);
                if (EcrireAac(trame_.get()) != 0)
                    return -1;
                pris += size_t(taille);
            }
            attenteAac_.erase(attenteAac_.begin(), attenteAac_.begin() + long(pris));
        }
        sonEcrits_ += int64_t(lus);
    }
    if (echantillon == INT64_MAX && !matroska) {
        if (!attenteAac_.empty()) {
            if (av_frame_make_writable(trame_.get()) < 0)
                return -1;
            std::memcpy(trame_->data[0], attenteAac_.data(), attenteAac_.size() * sizeof(float));
            trame_->nb_samples = int(attenteAac_.size());
            trame_->pts = sonEcrits_ - int64_t(attenteAac_.size());
            attenteAac_.clear();
            if (EcrireAac(trame_.get()) != 0)
                return -1;
        }
        if (EcrireAac(nullptr) != 0)
            return -1;
    }
    return 0;
}

int Copie::Demarrer(const unsigned char* d, size_t n)
{
    // Codec configuration: from this key picture, else from what came
    // before it (a film whose headers are sent once at its start).
    std::vector<uint8_t> config;
    AVCodecID id = AV_CODEC_ID_MJPEG;
    if (b_.type == TypeH264) {
        id = AV_CODEC_ID_H264;
        config = ParametresH264(d, n);
    } else if (b_.type == TypeMpeg4) {
        id = AV_CODEC_ID_MPEG4;
        config = EntetesConfigMpeg4(d, n);
    }
    if (b_.type != TypeMjpeg && config.empty())
        config = configSecours_;
    if (b_.type != TypeMjpeg && config.empty())
        return PasDImage;
    const bool configDansImage = b_.type == TypeMjpeg
                                 || (b_.type == TypeH264 ? !ParametresH264(d, n).empty()
                                                         : !EntetesConfigMpeg4(d, n).empty());
    static const std::vector<uint8_t> aucune;
    if (SonderTaille(id, configDansImage ? aucune : config, d, n, &b_.largeur, &b_.hauteur) != 0)
        return PasDImage;

    temporaire_ = CreerNomTemporaire(p_.sortie);
    if (temporaire_.empty())
        return AVERROR(errno ? errno : EIO);
    const char* format = b_.conteneur == ConteneurCopie::Mp4 ? "mp4" : "matroska";
    if (avformat_alloc_output_context2(&oc_, nullptr, format, nullptr) < 0 || !oc_)
        return AVERROR(ENOMEM);
    // "file:" keeps a name holding ':' from being taken for a protocol.
    const std::string url = "file:" + temporaire_;
    av_freep(&oc_->url);
    oc_->url = av_strdup(url.c_str());
    video_ = avformat_new_stream(oc_, nullptr);
    if (!oc_->url || !video_)
        return AVERROR(ENOMEM);
    AVCodecParameters* par = video_->codecpar;
    par->codec_type = AVMEDIA_TYPE_VIDEO;
    par->codec_id = id;
    par->width = b_.largeur;
    par->height = b_.hauteur;
    if (!config.empty()) {
        par->extradata = static_cast<uint8_t*>(av_mallocz(config.size() + AV_INPUT_BUFFER_PADDING_SIZE));
        if (!par->extradata)
            return AVERROR(ENOMEM);
        std::memcpy(par->extradata, config.data(), config.size());
        par->extradata_size = int(config.size());
    }
    av_reduce(&baseImages_.num, &baseImages_.den, int64_t(film_.dureeMs), int64_t(film_.nbImages) * 1000,
              INT_MAX);
    video_->time_base = baseImages_;
    video_->avg_frame_rate = video_->r_frame_rate = av_inv_q(baseImages_);
    if (OuvrirSon(oc_) != 0)
        return AVERROR(ENOMEM);

    if (film_.dates) {
        const std::string date = DateCreationConteneur(film_.DateA(b_.debutSecondes));
        if (!date.empty())
            av_dict_set(&oc_->metadata, "creation_time", date.c_str(), 0);
    }
    av_dict_set(&oc_->metadata, "title", NomDeFichier(p_.cheminFilm).c_str(), 0);

    if (const int r = avio_open(&oc_->pb, url.c_str(), AVIO_FLAG_WRITE); r < 0)
        return r;
    AVDictionary* options = nullptr;
    if (b_.conteneur == ConteneurCopie::Mp4)
        av_dict_set(&options, "movflags", "+faststart", 0);
    const int r = avformat_write_header(oc_, &options);
    av_dict_free(&options);
    return r < 0 ? r : 0;
}

bool Copie::Image(const unsigned char* d, size_t n, bool cle)
{
    if (b_.images >= maxImages_)
        return false;
    if (!oc_) {
        if (!cle) {
            // Pictures before the first key picture cannot be decoded on
            // their own: skipped, their parameter sets kept.
            std::vector<uint8_t> c = b_.type == TypeH264 ? ParametresH264(d, n)
                                     : b_.type == TypeMpeg4 ? EntetesConfigMpeg4(d, n)
                                                            : std::vector<uint8_t>();
            if (!c.empty())
                configSecours_ = std::move(c);
            ++b_.premiereImage;
            return true;
        }
        b_.debutSecondes = film_.SecondesImage(b_.premiereImage);
        const int r = Demarrer(d, n);
        if (r == PasDImage)
            Echec(ResultatCopie::ErreurLecture);
        if (r != 0) {
            EcritureEnErreur(r);
            return false;
        }
    }
    if (suivi_.annuler && suivi_.annuler()) {
        Echec(ResultatCopie::Annulee);
        return false;
    }
    const int64_t i = b_.images;
    // The sound up to this picture's time goes first: the file stays
    // interleaved without the muxer holding packets back.
    if (EcrireSonJusqua(OctetSonPourImage(i + 1, film_.nbImages, film_.dureeMs)) != 0) {
        Echec(ResultatCopie::ErreurEcriture);
        return false;
    }
    AVPacket pk{};
    pk.data = const_cast<unsigned char*>(d);
    pk.size = int(n);
    pk.pts = pk.dts = av_rescale_q(i, baseImages_, video_->time_base);
    pk.duration = av_rescale_q(i + 1, baseImages_, video_->time_base) - pk.pts;
    pk.flags = cle ? AV_PKT_FLAG_KEY : 0;
    pk.stream_index = video_->index;
    pk.pos = -1;
    if (EcritureEnErreur(av_write_frame(oc_, &pk)))
        return false;
    ++b_.images;
    if (cle)
        ++b_.cles;
    if (suivi_.progression)
        suivi_.progression(b_.images, totalImages_);
    return b_.images < maxImages_;
}

void Copie::Executer()
{
    b_ = BilanCopie{};
    b_.resultat = ResultatCopie::Enregistree;
    b_.conteneur = ConteneurPourSortie(p_.sortie);
    b_.type = TypeDeFilm(p_.cheminFilm);
    if (b_.conteneur == ConteneurCopie::Aucun || b_.type < 0 || !EstFichierOrdinaire(p_.cheminFilm)
        || LireFilmSource(p_.cheminFilm, film_) != 0) {
        b_.resultat = ResultatCopie::NonDemarree;
        return;
    }
    b_.raison = RaisonSortieRefusee(p_.cheminFilm, p_.sortie);
    if (!b_.raison.empty()) {
        b_.resultat = ResultatCopie::SortieRefusee;
        return;
    }
    // A film whose record is its own needs its password; a junk or foreign
    // record protects nothing (the body is read as stored).
    b_.protege = FilmProtege(p_.cheminFilm);
    if (b_.protege && VerifierMotDePasse(p_.cheminFilm.c_str(), p_.motDePasse.c_str()) != 1) {
        b_.resultat = ResultatCopie::MotDePasse;
        return;
    }

    const uint32_t dureeS = film_.dureeMs / 1000;
    const PlageImages plage = PlageCopie(film_.nbImages, dureeS, p_.debutSecondes, p_.finSecondes);
    if (plage.fin <= plage.premiere) {
        b_.resultat = ResultatCopie::NonDemarree;
        return;
    }
    // Where the walk starts: the body's start, or for a segment the last
    // key picture at or before its first picture.
    int64_t depart = TailleEnteteFilm;
    if (plage.premiere > 0) {
        IndexImages index;
        const int64_t voulue = plage.premiere;
        bool annule = false;
        auto assez = [&](const IndexImages& x) {
            if (suivi_.annuler && suivi_.annuler())
                return annule = true;
            // Enough once the picture is known and a key picture at or
            // before it (or after it, when there is none before).
            if (x.Nombre() <= voulue)
                return false;
            for (int64_t k = voulue; k >= 0; --k)
                if (x.Cle(k))
                    return true;
            return x.Cle(x.Nombre() - 1);
        };
        const int lu = IndexerJusqua(p_.cheminFilm, b_.type, b_.protege, assez, index);
        if (annule) {
            b_.resultat = ResultatCopie::Annulee;
            return;
        }
        if (lu != 0 || index.Nombre() == 0) {
            b_.resultat = ResultatCopie::ErreurLecture;
            return;
        }
        int64_t cle = index.CleAuPlusTard(voulue);
        if (cle < 0) {
            for (cle = 0; cle < index.Nombre() && !index.Cle(cle); ++cle) {
            }
            if (cle >= index.Nombre()) {
                b_.resultat = ResultatCopie::ErreurLecture;
                return;
            }
        }
        depart = index.Octet(cle);
        b_.premiereImage = cle;
        if (index.debutEntetes >= 0 && index.finEntetes > index.debutEntetes) {
            const std::vector<uint8_t> entetes =
                LireOctets(p_.cheminFilm, b_.protege, index.debutEntetes, index.finEntetes);
            configSecours_ = b_.type == TypeH264 ? ParametresH264(entetes.data(), entetes.size())
                                                 : EntetesConfigMpeg4(entetes.data(), entetes.size());
        }
    }
    if (plage.fin < int64_t(film_.nbImages))
        maxImages_ = plage.fin - b_.premiereImage;
    totalImages_ = std::max<int64_t>(1, std::min<int64_t>(plage.fin, film_.nbImages) - b_.premiereImage);

    // The walk: blocks appended to a window that starts at the first
    // picture not yet written; a picture is whole once the next one has
    // begun (or the body has ended).
    LecteurFilm lecteur;
    if (lecteur.Ouvrir(p_.cheminFilm, b_.protege, depart) != 0) {
        b_.resultat = ResultatCopie::ErreurLecture;
        return;
    }
    ScanneurImages scanneur(b_.type, depart);
    std::vector<unsigned char> fenetre;
    int64_t origineFenetre = depart; // file offset of fenetre[0]
    int64_t suivante = 0;            // next picture of the walk to write
    bool fin = false;
    auto ecrire = [&](int64_t k, int64_t finImage) {
        const IndexImages& x = scanneur.Index();
        const int64_t debutImage = x.Octet(k);
        const unsigned char* d = fenetre.data() + (debutImage - origineFenetre);
        size_t n = size_t(finImage - debutImage);
        if (b_.type == TypeMjpeg) {
            // A JPEG picture ends on its end-of-image marker; what lies
            // between two pictures is no part of either.
            for (size_t j = n; j >= 2; --j) {
                if (d[j - 2] == 0xFF && d[j - 1] == 0xD9) {
                    n = j;
                    break;
                }
            }
        }
        return Image(d, n, x.Cle(k));
    };
    bool continuer = true;
    while (continuer && !fin) {
        const size_t avant = fenetre.size();
        fenetre.resize(avant + BlocLecture);
        const size_t n = lecteur.Lire(fenetre.data() + avant, BlocLecture);
        fenetre.resize(avant + n);
        if (n == 0) {
            fin = true;
            scanneur.Terminer();
        } else {
            scanneur.Ajouter(fenetre.data() + avant, n);
        }
        const IndexImages& x = scanneur.Index();
        while (continuer && suivante < x.Nombre() && (suivante + 1 < x.Nombre() || fin)) {
            const int64_t finImage = suivante + 1 < x.Nombre() ? x.Octet(suivante + 1)
                                                               : origineFenetre + int64_t(fenetre.size());
            continuer = ecrire(suivante, finImage);
            ++suivante;
        }
        // Bytes before the next picture are no longer needed.
        if (suivante < x.Nombre()) {
            const int64_t garder = x.Octet(suivante) - origineFenetre;
            if (garder > 0 && size_t(garder) > fenetre.size() / 2) {
                fenetre.erase(fenetre.begin(), fenetre.begin() + long(garder));
                origineFenetre += garder;
            }
        } else if (x.entrees.empty() && fenetre.size() > SansImageMax) {
            b_.resultat = ResultatCopie::ErreurLecture; // no picture of this kind
            break;
        }
    }
    if (b_.resultat == ResultatCopie::Enregistree && lecteur.Erreur())
        b_.resultat = ResultatCopie::ErreurLecture;
    if (b_.resultat == ResultatCopie::Enregistree && !oc_)
        b_.resultat = ResultatCopie::ErreurLecture; // no key picture in the film
    if (b_.resultat == ResultatCopie::Enregistree) {
        if (EcrireSonJusqua(INT64_MAX) != 0)
            Echec(ResultatCopie::ErreurEcriture);
        b_.echantillonsSon = sonEcrits_;
    }
    if (b_.resultat == ResultatCopie::Enregistree) {
        if (!EcritureEnErreur(av_write_trailer(oc_)))
            EcritureEnErreur(avio_closep(&oc_->pb));
    }
    b_.finSecondes = film_.SecondesImage(b_.premiereImage + b_.images);
    if (b_.resultat == ResultatCopie::Enregistree) {
        avformat_free_context(oc_);
        oc_ = nullptr;
        // The rename checks again that the output is still a plain file.
        if (MettreEnPlace(temporaire_, p_.sortie) != 0) {
            b_.resultat = RemplacementPermis(p_.sortie) ? ResultatCopie::ErreurEcriture
                                                        : ResultatCopie::SortieRefusee;
            if (b_.resultat == ResultatCopie::SortieRefusee)
                b_.raison = RaisonSortieRefusee(p_.cheminFilm, p_.sortie);
        }
        temporaire_.clear();
    }
    Fermer();
}

} // namespace

ConteneurCopie ConteneurPourSortie(const std::string& sortie)
{
    if (sortie.size() < 5)
        return ConteneurCopie::Aucun;
    std::string ext = sortie.substr(sortie.size() - 4);
    for (char& c : ext)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    if (ext == ".mp4")
        return ConteneurCopie::Mp4;
    if (ext == ".mkv")
        return ConteneurCopie::Matroska;
    return ConteneurCopie::Aucun;
}

const char* ExtensionProposeeCopie(int type)
{
    return type == TypeMjpeg ? ".mkv" : ".mp4";
}

const char* MessageCopie(ResultatCopie r)
{
    switch (r) {
    case ResultatCopie::Enregistree: return "La copie exacte est enregistrée";
    case ResultatCopie::NonDemarree: return "Copie impossible : film, segment ou nom de fichier (.mp4 ou .mkv) incorrect";
    case ResultatCopie::MotDePasse: return "Ce film est protégé : mot de passe absent ou incorrect";
    case ResultatCopie::SortieRefusee: return "Ce fichier ne peut pas recevoir la copie";
    case ResultatCopie::ErreurLecture: return "Erreur de lecture du film : aucune image à copier";
    case ResultatCopie::ErreurEcriture: return "Erreur d'écriture : disque plein ou fichier impossible à créer";
    case ResultatCopie::Annulee: return "";
    }
    return "";
}

PlageImages PlageCopie(uint32_t nbImages, uint32_t dureeSecondes, int64_t debutSecondes, int64_t finSecondes)
{
    PlageImages p;
    if (nbImages == 0 || dureeSecondes == 0 || debutSecondes < 0)
        return p;
    p.premiere = debutSecondes > 0 ? ImagePourSeconde(double(debutSecondes), dureeSecondes, nbImages) : 0;
    p.fin = finSecondes < 0 || finSecondes >= int64_t(dureeSecondes)
                ? int64_t(nbImages)
                : int64_t(double(finSecondes) * nbImages / dureeSecondes);
    if (finSecondes >= 0 && finSecondes <= debutSecondes)
        p.fin = p.premiere;
    return p;
}

int64_t OctetSonPourImage(int64_t image, uint32_t nbImages, uint32_t dureeMs)
{
    if (nbImages == 0 || image <= 0)
        return 0;
    return image * int64_t(dureeMs) * (EchantillonsSonParSeconde / 1000) / int64_t(nbImages);
}

std::vector<uint8_t> ParametresH264(const unsigned char* d, size_t n)
{
    std::vector<uint8_t> r;
    if (!d)
        return r;
    size_t i = 0;
    auto suivant = [&](size_t de) -> size_t {
        for (size_t j = de; j + 3 <= n; ++j)
            if (d[j] == 0 && d[j + 1] == 0 && d[j + 2] == 1)
                return j;
        return n;
    };
    i = suivant(0);
    while (i < n) {
        const size_t debut = i + 3;
        size_t fin = suivant(debut);
        const size_t prochain = fin;
        // Zero bytes before the next start code belong to it.
        while (fin > debut && d[fin - 1] == 0)
            --fin;
        if (debut < n) {
            const int type = d[debut] & 0x1F;
            if (type == 7 || type == 8) {
                static const uint8_t code[4] = {0, 0, 0, 1};
                r.insert(r.end(), code, code + 4);
                r.insert(r.end(), d + debut, d + fin);
            }
            if (type == 1 || type == 5)
                break; // the picture's slices: no parameter set after them
        }
        i = prochain;
    }
    return r;
}

std::vector<uint8_t> EntetesConfigMpeg4(const unsigned char* d, size_t n)
{
    std::vector<uint8_t> r;
    if (!d)
        return r;
    bool couche = false;
    size_t premier = n;
    for (size_t j = 0; j + 4 <= n; ++j) {
        if (d[j] != 0 || d[j + 1] != 0 || d[j + 2] != 1)
            continue;
        if (premier == n)
            premier = j;
        const unsigned char c = d[j + 3];
        if (c == 0xB6) {
            if (couche)
                r.assign(d + premier, d + j);
            return r;
        }
        if (c >= 0x20 && c <= 0x2F)
            couche = true;
    }
    return r;
}

std::string DateCreationConteneur(double jours)
{
    if (!std::isfinite(jours) || jours < PremierJourDates || jours >= JourApresDernierDates)
        return std::string();
    const int64_t ms = std::llround((jours - JoursAvant1970) * 86400.0 * 1000.0);
    const int64_t secondes = ms >= 0 ? ms / 1000 : -((-ms + 999) / 1000);
    const int64_t reste = ms - secondes * 1000;
    // The wall-clock fields of the date, then the same fields read as local
    // time to reach UTC.
    time_t t = time_t(secondes);
    struct tm champs {};
    if (!gmtime_r(&t, &champs))
        return std::string();
    champs.tm_isdst = -1;
    const time_t utc = mktime(&champs);
    struct tm u {};
    if (utc == time_t(-1) || !gmtime_r(&utc, &u))
        return std::string();
    char texte[64];
    std::snprintf(texte, sizeof texte, "%04d-%02d-%02dT%02d:%02d:%02d.%06dZ", u.tm_year + 1900, u.tm_mon + 1,
                  u.tm_mday, u.tm_hour, u.tm_min, u.tm_sec, int(reste * 1000));
    return texte;
}

BilanCopie CopierExacte(const ParametresCopie& p, const SuiviCopie& suivi)
{
    BilanCopie b;
    Copie c(p, suivi, b);
    c.Executer();
    return b;
}

InfosRapport RapportCopie(const FilmSource& film, const std::string& sortie, const BilanCopie& b)
{
    InfosRapport r;
    r.genre = GenreExport::CopieExacte;
    r.sortie.chemin = sortie;
    r.source.chemin = film.chemin;
    r.protege = b.protege;
    r.debutSecondes = b.debutSecondes;
    r.finSecondes = b.finSecondes;
    r.premiereImage = b.premiereImage;
    r.derniereImage = b.premiereImage + std::max<int64_t>(b.images, 1) - 1;
    r.imagesParSeconde = film.dureeMs ? film.nbImages * 1000.0 / film.dureeMs : 0;
    r.dates = film.dates;
    if (film.dates) {
        r.dateDebut = film.DateA(film.SecondesImage(r.premiereImage));
        r.dateFin = film.DateA(film.SecondesImage(r.derniereImage));
    }
    return r;
}

std::string TexteBilanCopie(const BilanCopie& b)
{
    const int64_t s = int64_t(b.debutSecondes);
    char texte[256];
    std::snprintf(texte, sizeof texte,
                  "%s : %lld images, début réel %02lld:%02lld:%02lld (image %lld)%s", MessageCopie(b.resultat),
                  (long long)b.images, (long long)(s / 3600), (long long)(s / 60 % 60), (long long)(s % 60),
                  (long long)b.premiereImage, b.son ? ", avec le son" : "");
    return texte;
}

std::string TexteProgressionCopie(int64_t fait, int64_t total, double secondesEcoulees)
{
    return TexteProgressionAvi(fait, total, secondesEcoulees);
}
