#include "engine/apercu_calcul.h"

#include "core/ouverture.h"
#include "engine/fichierfilm.h"
#include "engine/motdepasse.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>

namespace {

struct FermerFichier {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using Fichier = std::unique_ptr<std::FILE, FermerFichier>;

struct LibererContexte {
    void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct LibererPaquet {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct LibererImage {
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct LibererEchelle {
    void operator()(SwsContext* s) const { sws_freeContext(s); }
};

// Appends the file bytes [debut, fin) to `sortie`; false on a short read.
bool LirePlage(std::FILE* f, int64_t debut, int64_t fin, std::vector<unsigned char>& sortie)
{
    if (debut < 0 || fin <= debut)
        return false;
    const size_t avant = sortie.size();
    sortie.resize(avant + size_t(fin - debut));
    if (fseeko(f, off_t(debut), SEEK_SET) != 0)
        return false;
    return std::fread(sortie.data() + avant, 1, size_t(fin - debut), f) == size_t(fin - debut);
}

AVCodecID CodecPourType(int type)
{
    switch (type) {
    case 0:
        return AV_CODEC_ID_MPEG4;
    case 1:
        return AV_CODEC_ID_MJPEG;
    case 2:
        return AV_CODEC_ID_H264;
    default:
        return AV_CODEC_ID_NONE;
    }
}

// Decodes one coded picture (sequence headers in front when needed) and
// scales it into `sortie`.
int DecoderOctets(int type, const std::vector<unsigned char>& octets, int largeurMax, int hauteurMax,
                  ImageApercu& sortie)
{
    const AVCodec* codec = avcodec_find_decoder(CodecPourType(type));
    if (!codec || octets.empty() || largeurMax <= 0 || hauteurMax <= 0)
        return -1;
    std::unique_ptr<AVCodecContext, LibererContexte> ctx(avcodec_alloc_context3(codec));
    std::unique_ptr<AVPacket, LibererPaquet> paquet(av_packet_alloc());
    std::unique_ptr<AVFrame, LibererImage> image(av_frame_alloc());
    if (!ctx || !paquet || !image)
        return -1;
    // One picture at a time in the background: no decoding threads.
    ctx->thread_count = 1;
    ctx->flags |= AV_CODEC_FLAG_LOW_DELAY;
    if (avcodec_open2(ctx.get(), codec, nullptr) < 0)
        return -1;
    if (av_new_packet(paquet.get(), int(octets.size())) < 0)
        return -1;
    std::memcpy(paquet->data, octets.data(), octets.size());
    if (avcodec_send_packet(ctx.get(), paquet.get()) < 0)
        return -1;
    avcodec_send_packet(ctx.get(), nullptr);
    if (avcodec_receive_frame(ctx.get(), image.get()) < 0 || image->width <= 0 || image->height <= 0)
        return -1;
    // Fit the box, aspect kept, at least one pixel each way.
    const double echelle = std::min(double(largeurMax) / image->width, double(hauteurMax) / image->height);
    const int l = std::max(1, int(std::lround(image->width * std::min(echelle, 1.0))));
    const int h = std::max(1, int(std::lround(image->height * std::min(echelle, 1.0))));
    std::unique_ptr<SwsContext, LibererEchelle> echelleCtx(
        sws_getContext(image->width, image->height, AVPixelFormat(image->format), l, h, AV_PIX_FMT_BGRA, SWS_AREA,
                       nullptr, nullptr, nullptr));
    if (!echelleCtx)
        return -1;
    ImageApercu r;
    r.largeur = l;
    r.hauteur = h;
    r.pixels.assign(size_t(l) * size_t(h), 0);
    uint8_t* plans[4] = {reinterpret_cast<uint8_t*>(r.pixels.data()), nullptr, nullptr, nullptr};
    int pas[4] = {l * 4, 0, 0, 0};
    if (sws_scale(echelleCtx.get(), image->data, image->linesize, 0, image->height, plans, pas) != h)
        return -1;
    for (uint32_t& p : r.pixels)
        p |= 0xFF000000u;
    sortie = std::move(r);
    return 0;
}

PlanApercu PlanPourEntree(const IndexImages& idx, int64_t i, int64_t fin)
{
    PlanApercu p;
    p.octet = idx.Octet(i);
    p.fin = i + 1 < idx.Nombre() ? idx.Octet(i + 1) : fin;
    if (!idx.AvecEntetes(i) && idx.debutEntetes >= 0 && idx.finEntetes <= p.octet) {
        p.debutEntetes = idx.debutEntetes;
        p.finEntetes = idx.finEntetes;
    }
    return p;
}

// The key picture whose start is nearest to the file offset `cible`, of
// those whose end lies in the bytes.
PlanApercu ChercherDansOctets(int type, const unsigned char* d, size_t n, int64_t origine, bool fichierEntier,
                              int64_t cible)
{
    ScanneurImages s(type, origine);
    s.Ajouter(d, n);
    if (fichierEntier)
        s.Terminer();
    const IndexImages& idx = s.Index();
    PlanApercu trouve;
    int64_t ecart = -1;
    for (int64_t i = 0; i < idx.Nombre(); ++i) {
        if (!idx.Cle(i) || (i + 1 >= idx.Nombre() && !fichierEntier))
            continue;
        const int64_t e = idx.Octet(i) > cible ? idx.Octet(i) - cible : cible - idx.Octet(i);
        if (ecart >= 0 && e >= ecart)
            continue;
        ecart = e;
        trouve = PlanPourEntree(idx, i, origine + int64_t(n));
    }
    return trouve;
}

} // namespace

PlanApercu PlanDepuisIndex(const IndexImages& index, int64_t tailleFichier, double seconde, uint32_t dureeSecondes)
{
    const int64_t n = index.Nombre();
    if (n == 0)
        return {};
    const int64_t k = ImagePourSeconde(seconde, dureeSecondes, n);
    const int64_t avant = index.CleAuPlusTard(k);
    int64_t apres = -1;
    for (int64_t i = k + 1; i < n; ++i)
        if (index.Cle(i)) {
            apres = i;
            break;
        }
    int64_t c = avant;
    if (c < 0 || (apres >= 0 && apres - k < k - avant))
        c = apres;
    if (c < 0)
        return {};
    PlanApercu p = PlanPourEntree(index, c, tailleFichier);
    p.image = c;
    return p;
}

PlanApercu PlanDansOctets(int type, const unsigned char* donnees, size_t n, int64_t origine, bool fichierEntier,
                          int64_t cible)
{
    if (!donnees || n == 0)
        return {};
    return ChercherDansOctets(type, donnees, n, origine, fichierEntier, cible);
}

int DecoderApercu(const std::string& chemin, int type, const PlanApercu& plan, bool desembrouiller, int largeurMax,
                  int hauteurMax, ImageApercu& sortie)
{
    if (!plan.Valide() || plan.fin - plan.octet > TailleMaxImageApercu || plan.octet < TailleEnteteFilm)
        return -1;
    Fichier f(OuvrirFichierOrdinaire(chemin.c_str()));
    if (!f)
        return -1;
    std::vector<unsigned char> octets;
    try {
        if (plan.finEntetes > plan.debutEntetes && plan.debutEntetes >= TailleEnteteFilm
            && plan.finEntetes - plan.debutEntetes <= FenetreEntetesApercu
            && !LirePlage(f.get(), plan.debutEntetes, plan.finEntetes, octets))
            return -1;
        if (!LirePlage(f.get(), plan.octet, plan.fin, octets))
            return -1;
    } catch (const std::bad_alloc&) {
        return -1;
    }
    if (desembrouiller)
        Desembrouiller(octets.data(), int(octets.size()));
    return DecoderOctets(type, octets, largeurMax, hauteurMax, sortie);
}

PlanApercu PlanPourSeconde(const std::string& chemin, double seconde, const IndexImages* index,
                           bool desembrouiller, int& type)
{
    EnteteFilm e;
    type = TypeDeFilm(chemin);
    if (type < 0 || LireEnteteFilm(chemin, e) != 0)
        return {};
    const uint32_t duree = e.DureeMs / 1000;
    const int64_t taille = TailleFichier(chemin);
    if (taille <= TailleEnteteFilm)
        return {};
    PlanApercu plan;
    if (index && index->Nombre() > 0) {
        plan = PlanDepuisIndex(*index, taille, seconde, duree);
    } else {
        Fichier f(OuvrirFichierOrdinaire(chemin.c_str()));
        if (!f)
            return {};
        const double part = std::clamp(seconde / duree, 0.0, 1.0);
        const int64_t octet = std::max<int64_t>(TailleEnteteFilm, int64_t(double(taille) * part));
        std::vector<unsigned char> octets;
        try {
            // The bytes around the offset; twice as far on each side when
            // they hold no whole key picture (long groups of pictures).
            for (int64_t demi = FenetreRechercheApercu / 2; !plan.Valide() && demi <= FenetreRechercheApercu * 2;
                 demi *= 4) {
                const int64_t debut = std::max<int64_t>(TailleEnteteFilm, octet - demi);
                const int64_t fin = std::min(taille, octet + demi);
                octets.clear();
                if (!LirePlage(f.get(), debut, fin, octets))
                    break;
                if (desembrouiller)
                    Desembrouiller(octets.data(), int(octets.size()));
                plan = PlanDansOctets(type, octets.data(), octets.size(), debut, fin == taille, octet);
            }
            // A key picture without its sequence headers: those at the
            // film's start.
            if (plan.Valide() && plan.debutEntetes < 0 && type != 1 && plan.octet > TailleEnteteFilm) {
                octets.clear();
                const int64_t fin0 = std::min(taille, TailleEnteteFilm + FenetreEntetesApercu);
                if (LirePlage(f.get(), TailleEnteteFilm, fin0, octets)) {
                    if (desembrouiller)
                        Desembrouiller(octets.data(), int(octets.size()));
                    ScanneurImages s(type, TailleEnteteFilm);
                    s.Ajouter(octets.data(), octets.size());
                    const IndexImages& debut = s.Index();
                    if (debut.debutEntetes >= 0 && debut.finEntetes <= plan.octet) {
                        plan.debutEntetes = debut.debutEntetes;
                        plan.finEntetes = debut.finEntetes;
                    }
                }
            }
        } catch (const std::bad_alloc&) {
            return {};
        }
    }
    return plan;
}

// ------------------------------------------------------------------ cache

std::string CacheApercus::Cle(const std::string& chemin, int64_t octet)
{
    return chemin + '\n' + std::to_string(octet);
}

const ImageApercu* CacheApercus::Trouver(const std::string& cle)
{
    const auto it = table_.find(cle);
    if (it == table_.end())
        return nullptr;
    liste_.splice(liste_.begin(), liste_, it->second);
    return &it->second->image;
}

void CacheApercus::Ajouter(const std::string& cle, ImageApercu image)
{
    const auto deja = table_.find(cle);
    if (deja != table_.end()) {
        octets_ -= Poids(*deja->second);
        liste_.erase(deja->second);
        table_.erase(deja);
    }
    Element e{cle, std::move(image)};
    if (Poids(e) > budget_)
        return;
    octets_ += Poids(e);
    liste_.push_front(std::move(e));
    table_[cle] = liste_.begin();
    while (octets_ > budget_ && !liste_.empty()) {
        octets_ -= Poids(liste_.back());
        table_.erase(liste_.back().cle);
        liste_.pop_back();
    }
}
