#include "engine/recherche_mouvement.h"

#include "core/ouverture.h"
#include "engine/fichierfilm.h"
#include "engine/lecture_film.h"
#include "engine/motdepasse.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>

#include <turbojpeg.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
}

namespace {

// One file read: large reads keep the disk streaming, and a chunk is all
// the film data held at once.
constexpr size_t TailleMorceau = 1 << 20;
// Decoder threads: both cores.
constexpr int FilsDecodage = 2;
// MJPEG: pictures are decoded scaled down to at least this width; the
// detector's cells are coarser anyway.
constexpr int LargeurReduiteMin = 320;
// MJPEG: data held without finding a picture's end is dropped past this.
constexpr size_t AttenteJpegMax = size_t{16} << 20;

struct FermerFichier {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
struct LibererContexte {
    void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct LibererFrame {
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct LibererPaquet {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct LibererAnalyseur {
    void operator()(AVCodecParserContext* p) const { av_parser_close(p); }
};
struct DetruireTj {
    void operator()(void* h) const { tjDestroy(h); }
};

// What every kind needs: the detector, the picture times and the tally.
class Recherche
{
public:
    Recherche(const ParametresRecherche& p, const SuiviRecherche& s, uint32_t nbImages, uint32_t dureeMs)
        : suivi_(s), rect_(p.rectangle), detecteur_(p.rectangle, p.sensibilite), nbImages_(nbImages),
          dureeMs_(dureeMs) {}

    double Temps(int64_t k) const
    {
        return nbImages_ ? static_cast<double>(k) * dureeMs_ / nbImages_ / 1000.0 : 0.0;
    }
    bool Annulee() const
    {
        return horsImage || (suivi_.annuler && suivi_.annuler->load(std::memory_order_relaxed));
    }
    void Image(int64_t k, const uint8_t* luma, int l, int h, int pas, int largeurImage, int hauteurImage)
    {
        if (horsImage)
            return;
        bilan.largeur = largeurImage;
        bilan.hauteur = hauteurImage;
        if (bilan.images == 0 && !RectangleDansImage(rect_, largeurImage, hauteurImage)) {
            horsImage = true;
            return;
        }
        ++bilan.images;
        detecteur_.Ajouter(Temps(k), luma, l, h, pas, largeurImage);
    }
    bool AAnalyser(int64_t k) const { return detecteur_.AAnalyser(Temps(k)); }
    void Finir()
    {
        bilan.moments = detecteur_.Terminer();
        bilan.vignettes = detecteur_.Vignettes();
        bilan.analysees = detecteur_.NbAnalysees();
    }

    BilanRecherche bilan;
    bool horsImage = false;

private:
    const SuiviRecherche& suivi_;
    RectangleMouvement rect_;
    DetecteurMouvement detecteur_;
    uint32_t nbImages_, dureeMs_;
};

// H.264 and MPEG-4: libavcodec's parser cuts the pictures, numbered in the
// packets' time stamps so that skipped and reordered pictures keep their
// times.
class DecodageAv
{
public:
    explicit DecodageAv(Recherche& r) : r_(r) {}

    int Ouvrir(int type)
    {
        const AVCodecID id = type == TypeH264 ? AV_CODEC_ID_H264 : AV_CODEC_ID_MPEG4;
        const AVCodec* c = avcodec_find_decoder(id);
        if (!c)
            return -1;
        ctx_.reset(avcodec_alloc_context3(c));
        analyseur_.reset(av_parser_init(id));
        frame_.reset(av_frame_alloc());
        paquet_.reset(av_packet_alloc());
        if (!ctx_ || !analyseur_ || !frame_ || !paquet_)
            return -1;
        ctx_->thread_count = FilsDecodage;
        ctx_->thread_type = FF_THREAD_FRAME;
        // The detector averages cells over many pixels: block edges left
        // unfiltered and pictures nothing refers to change nothing it sees.
        ctx_->skip_loop_filter = AVDISCARD_ALL;
        ctx_->skip_frame = AVDISCARD_NONREF;
        ctx_->flags2 |= AV_CODEC_FLAG2_FAST;
        return avcodec_open2(ctx_.get(), c, nullptr) < 0 ? -1 : 0;
    }

    // Bytes of the body, in order; null and 0 at the end.
    bool Ajouter(const uint8_t* d, size_t n)
    {
        const bool fin = n == 0;
        while (n > 0 || fin) {
            uint8_t* donnees = nullptr;
            int taille = 0;
            const int pris = av_parser_parse2(analyseur_.get(), ctx_.get(), &donnees, &taille, d,
                                              static_cast<int>(std::min<size_t>(n, 1 << 30)), AV_NOPTS_VALUE,
                                              AV_NOPTS_VALUE, 0);
            if (pris < 0)
                return true;
            d += pris;
            n -= static_cast<size_t>(pris);
            if (taille > 0) {
                av_packet_unref(paquet_.get());
                paquet_->data = donnees;
                paquet_->size = taille;
                paquet_->pts = paquet_->dts = numero_++;
                Envoyer(paquet_.get());
                if (r_.Annulee())
                    return false;
            }
            if (fin && taille == 0)
                break;
        }
        if (fin) {
            Envoyer(nullptr);
        }
        return true;
    }

private:
    void Envoyer(AVPacket* p)
    {
        int e = avcodec_send_packet(ctx_.get(), p);
        Recevoir();
        if (e == AVERROR(EAGAIN)) {
            avcodec_send_packet(ctx_.get(), p);
            Recevoir();
        }
        if (p)
            p->data = nullptr, p->size = 0;
    }
    void Recevoir()
    {
        while (avcodec_receive_frame(ctx_.get(), frame_.get()) == 0) {
            const AVFrame* f = frame_.get();
            const int64_t k = f->pts != AV_NOPTS_VALUE ? f->pts : f->best_effort_timestamp;
            if (f->data[0] && k >= 0)
                r_.Image(k, f->data[0], f->width, f->height, f->linesize[0], f->width, f->height);
            av_frame_unref(frame_.get());
        }
    }

    Recherche& r_;
    std::unique_ptr<AVCodecContext, LibererContexte> ctx_;
    std::unique_ptr<AVCodecParserContext, LibererAnalyseur> analyseur_;
    std::unique_ptr<AVFrame, LibererFrame> frame_;
    std::unique_ptr<AVPacket, LibererPaquet> paquet_;
    int64_t numero_ = 0;
};

// MJPEG: each picture runs from its start-of-image FF D8 to its end-of-image
// FF D9; only the pictures the detector analyses are decoded, in grey.
class DecodageJpeg
{
public:
    explicit DecodageJpeg(Recherche& r) : r_(r), tj_(tjInitDecompress()) {}

    int Ouvrir() { return tj_ ? 0 : -1; }

    bool Ajouter(const uint8_t* d, size_t n)
    {
        attente_.insert(attente_.end(), d, d + n);
        size_t i = 0;
        const size_t t = attente_.size();
        while (true) {
            if (debut_ < 0) {
                // Look for the next start of image.
                while (i + 1 < t && !(attente_[i] == 0xFF && attente_[i + 1] == 0xD8))
                    ++i;
                if (i + 1 >= t)
                    break;
                debut_ = static_cast<int64_t>(i);
                i += 2;
            }
            while (i + 1 < t && !(attente_[i] == 0xFF && attente_[i + 1] == 0xD9))
                ++i;
            if (i + 1 >= t)
                break;
            const size_t a = static_cast<size_t>(debut_);
            Image(&attente_[a], i + 2 - a);
            i += 2;
            debut_ = -1;
            if (r_.Annulee())
                return false;
        }
        // Keep only what a picture still needs.
        size_t garde = debut_ >= 0 ? static_cast<size_t>(debut_) : (i < t ? i : t);
        if (t - garde > AttenteJpegMax) {
            garde = t;
            debut_ = -1;
        }
        attente_.erase(attente_.begin(), attente_.begin() + static_cast<std::ptrdiff_t>(garde));
        if (debut_ >= 0)
            debut_ = 0;
        return true;
    }

private:
    void Image(const uint8_t* j, size_t n)
    {
        const int64_t k = numero_++;
        if (!r_.AAnalyser(k))
            return;
        int l = 0, h = 0, sous = 0, couleurs = 0;
        unsigned char* jpeg = const_cast<unsigned char*>(j);
        if (tjDecompressHeader3(tj_.get(), jpeg, static_cast<unsigned long>(n), &l, &h, &sous, &couleurs) != 0 ||
            l <= 0 || h <= 0)
            return;
        int denominateur = 1;
        while (denominateur < 8 && l / (denominateur * 2) >= LargeurReduiteMin)
            denominateur *= 2;
        const tjscalingfactor f = {1, denominateur};
        const int lr = TJSCALED(l, f), hr = TJSCALED(h, f);
        plan_.resize(static_cast<size_t>(lr) * static_cast<size_t>(hr));
        if (tjDecompress2(tj_.get(), jpeg, static_cast<unsigned long>(n), plan_.data(), lr, lr, hr, TJPF_GRAY,
                          TJFLAG_FASTDCT | TJFLAG_FASTUPSAMPLE) != 0 &&
            tjGetErrorCode(tj_.get()) == TJERR_FATAL)
            return;
        r_.Image(k, plan_.data(), lr, hr, lr, l, h);
    }

    Recherche& r_;
    std::unique_ptr<void, DetruireTj> tj_;
    std::vector<uint8_t> attente_;
    std::vector<uint8_t> plan_;
    int64_t debut_ = -1;  // start of the picture under way in attente_
    int64_t numero_ = 0;
};

} // namespace

bool RectangleDansImage(const RectangleMouvement& r, int largeur, int hauteur)
{
    return r.largeur > 0 && r.hauteur > 0 && r.x < largeur && r.y < hauteur && r.x + r.largeur > 0 &&
           r.y + r.hauteur > 0;
}

BilanRecherche ChercherMouvement(const ParametresRecherche& p, const SuiviRecherche& suivi)
{
    BilanRecherche vide;
    const int type = TypeDeFilm(p.cheminFilm);
    EnteteFilm e;
    if (type < 0 || LireEnteteFilm(p.cheminFilm, e) != 0)
        return vide;
    std::unique_ptr<std::FILE, FermerFichier> f(OuvrirFichierOrdinaire(p.cheminFilm.c_str()));
    if (!f)
        return vide;
    const int64_t total = TailleFichier(p.cheminFilm);
    const bool embrouille = VerifierMotDePasse(p.cheminFilm.c_str(), p.motDePasse.c_str()) == 1;

    Recherche r(p, suivi, e.NbImages, e.DureeMs);
    r.bilan.dureeMs = e.DureeMs;
    DecodageAv av(r);
    DecodageJpeg jpeg(r);
    if ((type == TypeMjpeg ? jpeg.Ouvrir() : av.Ouvrir(type)) != 0) {
        r.bilan.resultat = ResultatRecherche::SansDecodeur;
        return std::move(r.bilan);
    }
    auto ajouter = [&](const uint8_t* d, size_t n) {
        return type == TypeMjpeg ? (n == 0 || jpeg.Ajouter(d, n)) : av.Ajouter(d, n);
    };

    std::vector<uint8_t> morceau(TailleMorceau);
    int64_t lus = 0;
    bool premier = true;
    while (true) {
        const size_t n = std::fread(morceau.data(), 1, morceau.size(), f.get());
        if (n == 0) {
            if (std::ferror(f.get())) {
                r.bilan.resultat = ResultatRecherche::ErreurLecture;
                return std::move(r.bilan);
            }
            break;
        }
        lus += static_cast<int64_t>(n);
        size_t debut = 0;
        if (premier) {
            // The header is no picture data.
            debut = std::min<size_t>(n, TailleEnteteFilm);
            premier = false;
        }
        if (embrouille)
            Desembrouiller(morceau.data() + debut, static_cast<int>(n - debut));
        if (n > debut && !ajouter(morceau.data() + debut, n - debut)) {
            r.bilan.resultat = r.horsImage ? ResultatRecherche::HorsImage : ResultatRecherche::Annulee;
            return std::move(r.bilan);
        }
        if (suivi.progression)
            suivi.progression(lus, std::max(total, lus));
        if (r.Annulee()) {
            r.bilan.resultat = r.horsImage ? ResultatRecherche::HorsImage : ResultatRecherche::Annulee;
            return std::move(r.bilan);
        }
    }
    ajouter(nullptr, 0);
    r.Finir();
    r.bilan.resultat = r.horsImage ? ResultatRecherche::HorsImage : ResultatRecherche::Terminee;
    return std::move(r.bilan);
}

const char* MessageRecherche(ResultatRecherche r)
{
    switch (r) {
    case ResultatRecherche::Terminee:
        return "Recherche terminée";
    case ResultatRecherche::Annulee:
        return "Recherche annulée";
    case ResultatRecherche::FilmIllisible:
        return "Ce fichier n'est pas un film lisible";
    case ResultatRecherche::ErreurLecture:
        return "Erreur de lecture du film";
    case ResultatRecherche::SansDecodeur:
        return "Décodeur indisponible pour ce film";
    case ResultatRecherche::HorsImage:
        return "Le rectangle est en dehors de l'image";
    }
    return "";
}
