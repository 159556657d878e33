#include "filmmaker.h"

#include "numero_image.h"
#include "engine/fichierfilm.h"
#include "engine/motdepasse.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
#include <libavutil/opt.h>
#include <turbojpeg.h>
}

namespace {

constexpr int LargeurMin = LargeurMinFilm;
constexpr int HauteurMin = HauteurMinFilm;
constexpr int LargeurMax = LargeurMaxFilm;
constexpr int HauteurMax = HauteurMaxFilm;

// MPEG-4 quantiser: fine enough for the code row and the digits to stay sharp.
constexpr int QuantMpeg4 = 3;
// H.264 constant rate factor, same reason.
constexpr const char* FacteurQualiteH264 = "20";
// Greatest time-base denominator the MPEG-4 stream can carry.
constexpr int DenominateurMaxMpeg4 = 65535;

// The tone and click of the sound companion.
constexpr double FrequenceTon = 440.0;
constexpr double AmplitudeTon = 4000.0;
constexpr double FrequenceClic = 2000.0;
constexpr double AmplitudeClic = 24000.0;
constexpr int DureeClicEchantillons = 40;  // 5 ms at 8000 Hz

constexpr double MsParJour = 86400000.0;

struct LibererTurbo {
    void operator()(void* h) const { if (h) tjDestroy(h); }
};
using PoigneeTurbo = std::unique_ptr<void, LibererTurbo>;

struct LibererTampon {
    void operator()(unsigned char* p) const { if (p) tjFree(p); }
};
using TamponTurbo = std::unique_ptr<unsigned char, LibererTampon>;

struct LibererContexte {
    void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct LibererImageAv {
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct LibererPaquet {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};

// ---------------------------------------------------------------------------
// Drawing

// 5 x 7 glyphs, one byte per row, bit 4 = leftmost column.
struct Glyphe {
    char c;
    uint8_t lignes[7];
};
constexpr Glyphe Police[] = {
    {'0', {0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E}}, {'1', {0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E}},
    {'2', {0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F}}, {'3', {0x1F, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0E}},
    {'4', {0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02}}, {'5', {0x1F, 0x10, 0x1E, 0x01, 0x01, 0x11, 0x0E}},
    {'6', {0x06, 0x08, 0x10, 0x1E, 0x11, 0x11, 0x0E}}, {'7', {0x1F, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08}},
    {'8', {0x0E, 0x11, 0x11, 0x0E, 0x11, 0x11, 0x0E}}, {'9', {0x0E, 0x11, 0x11, 0x0F, 0x01, 0x02, 0x0C}},
    {'A', {0x0E, 0x11, 0x11, 0x1F, 0x11, 0x11, 0x11}}, {'B', {0x1E, 0x11, 0x11, 0x1E, 0x11, 0x11, 0x1E}},
    {'C', {0x0E, 0x11, 0x10, 0x10, 0x10, 0x11, 0x0E}}, {'D', {0x1C, 0x12, 0x11, 0x11, 0x11, 0x12, 0x1C}},
    {'E', {0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x1F}}, {'F', {0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x10}},
    {'G', {0x0E, 0x11, 0x10, 0x17, 0x11, 0x11, 0x0F}}, {'H', {0x11, 0x11, 0x11, 0x1F, 0x11, 0x11, 0x11}},
    {'I', {0x0E, 0x04, 0x04, 0x04, 0x04, 0x04, 0x0E}}, {'J', {0x07, 0x02, 0x02, 0x02, 0x02, 0x12, 0x0C}},
    {'K', {0x11, 0x12, 0x14, 0x18, 0x14, 0x12, 0x11}}, {'L', {0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x1F}},
    {'M', {0x11, 0x1B, 0x15, 0x15, 0x11, 0x11, 0x11}}, {'N', {0x11, 0x11, 0x19, 0x15, 0x13, 0x11, 0x11}},
    {'O', {0x0E, 0x11, 0x11, 0x11, 0x11, 0x11, 0x0E}}, {'P', {0x1E, 0x11, 0x11, 0x1E, 0x10, 0x10, 0x10}},
    {'Q', {0x0E, 0x11, 0x11, 0x11, 0x15, 0x12, 0x0D}}, {'R', {0x1E, 0x11, 0x11, 0x1E, 0x14, 0x12, 0x11}},
    {'S', {0x0F, 0x10, 0x10, 0x0E, 0x01, 0x01, 0x1E}}, {'T', {0x1F, 0x04, 0x04, 0x04, 0x04, 0x04, 0x04}},
    {'U', {0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x0E}}, {'V', {0x11, 0x11, 0x11, 0x11, 0x11, 0x0A, 0x04}},
    {'W', {0x11, 0x11, 0x11, 0x15, 0x15, 0x15, 0x0A}}, {'X', {0x11, 0x11, 0x0A, 0x04, 0x0A, 0x11, 0x11}},
    {'Y', {0x11, 0x11, 0x11, 0x0A, 0x04, 0x04, 0x04}}, {'Z', {0x1F, 0x01, 0x02, 0x04, 0x08, 0x10, 0x1F}},
    {':', {0x00, 0x0C, 0x0C, 0x00, 0x0C, 0x0C, 0x00}}, {'.', {0x00, 0x00, 0x00, 0x00, 0x00, 0x0C, 0x0C}},
    {'-', {0x00, 0x00, 0x00, 0x1F, 0x00, 0x00, 0x00}}, {'/', {0x01, 0x01, 0x02, 0x04, 0x08, 0x10, 0x10}},
    {'=', {0x00, 0x00, 0x1F, 0x00, 0x1F, 0x00, 0x00}},
};
constexpr int LargeurGlyphe = 5;
constexpr int HauteurGlyphe = 7;
constexpr int AvanceGlyphe = 6;  // one blank column between letters

const Glyphe* TrouverGlyphe(char c)
{
    if (c >= 'a' && c <= 'z')
        c = static_cast<char>(c - 'a' + 'A');
    for (const Glyphe& g : Police)
        if (g.c == c)
            return &g;
    return nullptr;  // drawn as a blank
}

struct Toile {
    uint8_t* pixels;
    int largeur, hauteur, pas;
};

void Rectangle(const Toile& t, int x0, int y0, int x1, int y1, uint8_t b, uint8_t g, uint8_t r)
{
    x0 = std::max(x0, 0);
    y0 = std::max(y0, 0);
    x1 = std::min(x1, t.largeur);
    y1 = std::min(y1, t.hauteur);
    for (int y = y0; y < y1; ++y) {
        uint8_t* p = t.pixels + static_cast<ptrdiff_t>(y) * t.pas + 3 * x0;
        for (int x = x0; x < x1; ++x, p += 3) {
            p[0] = b;
            p[1] = g;
            p[2] = r;
        }
    }
}

int LargeurTexte(const char* texte, int echelle)
{
    const int n = static_cast<int>(strlen(texte));
    return n > 0 ? (n * AvanceGlyphe - 1) * echelle : 0;
}

void Texte(const Toile& t, int x, int y, int echelle, const char* texte, uint8_t b, uint8_t g, uint8_t r)
{
    for (const char* c = texte; *c; ++c, x += AvanceGlyphe * echelle) {
        const Glyphe* gl = TrouverGlyphe(*c);
        if (!gl)
            continue;
        for (int ligne = 0; ligne < HauteurGlyphe; ++ligne)
            for (int col = 0; col < LargeurGlyphe; ++col)
                if (gl->lignes[ligne] & (0x10 >> col))
                    Rectangle(t, x + col * echelle, y + ligne * echelle, x + (col + 1) * echelle,
                              y + (ligne + 1) * echelle, b, g, r);
    }
}

// Text centred on (cx, cy) at the largest scale that fits the box.
void TexteCentre(const Toile& t, int cx, int cy, int largeurMax, int hauteurMax, const char* texte,
                 uint8_t b, uint8_t g, uint8_t r)
{
    const int n = std::max(1, static_cast<int>(strlen(texte)));
    const int echelle = std::max(1, std::min(hauteurMax / HauteurGlyphe, largeurMax / (n * AvanceGlyphe - 1)));
    Texte(t, cx - LargeurTexte(texte, echelle) / 2, cy - HauteurGlyphe * echelle / 2, echelle, texte, b, g, r);
}

void Fond(const Toile& t, int phase)
{
    // One row is worked out, then each row copies it with its own green.
    std::vector<uint8_t> ligne(static_cast<size_t>(t.largeur) * 3);
    for (int x = 0; x < t.largeur; ++x) {
        ligne[3 * x] = static_cast<uint8_t>(110 + ((x * 96 / t.largeur + phase) & 63));
        ligne[3 * x + 2] = static_cast<uint8_t>(30 + 100 * x / t.largeur);
    }
    for (int y = 0; y < t.hauteur; ++y) {
        const uint8_t vert = static_cast<uint8_t>(50 + 90 * y / t.hauteur);
        for (int x = 0; x < t.largeur; ++x)
            ligne[3 * x + 1] = vert;
        memcpy(t.pixels + static_cast<ptrdiff_t>(y) * t.pas, ligne.data(), ligne.size());
    }
}

// BGR rows to 4:2:0 planes, BT.601 studio range (what decoders assume for
// streams that say nothing about their colours).
void BgrVersYuv420(const uint8_t* bgr, int largeur, int hauteur, int pas, AVFrame* image)
{
    for (int y = 0; y < hauteur; ++y) {
        const uint8_t* p = bgr + static_cast<ptrdiff_t>(y) * pas;
        uint8_t* lum = image->data[0] + static_cast<ptrdiff_t>(y) * image->linesize[0];
        for (int x = 0; x < largeur; ++x, p += 3)
            lum[x] = static_cast<uint8_t>(((66 * p[2] + 129 * p[1] + 25 * p[0] + 128) >> 8) + 16);
    }
    for (int y = 0; y < hauteur / 2; ++y) {
        uint8_t* u = image->data[1] + static_cast<ptrdiff_t>(y) * image->linesize[1];
        uint8_t* v = image->data[2] + static_cast<ptrdiff_t>(y) * image->linesize[2];
        for (int x = 0; x < largeur / 2; ++x) {
            int b = 0, g = 0, r = 0;
            for (int dy = 0; dy < 2; ++dy) {
                const uint8_t* p = bgr + static_cast<ptrdiff_t>(2 * y + dy) * pas + 6 * x;
                b += p[0] + p[3];
                g += p[1] + p[4];
                r += p[2] + p[5];
            }
            b /= 4;
            g /= 4;
            r /= 4;
            u[x] = static_cast<uint8_t>(((-38 * r - 74 * g + 112 * b + 128) >> 8) + 128);
            v[x] = static_cast<uint8_t>(((112 * r - 94 * g - 18 * b + 128) >> 8) + 128);
        }
    }
}

// ---------------------------------------------------------------------------
// Coding

double CadenceEffective(const OptionsFilm& o)
{
    if (o.dureeMs > 0 && o.nbImages > 0)
        return o.nbImages * 1000.0 / o.dureeMs;
    return o.cadence;
}

bool OptionsValables(const OptionsFilm& o, int type)
{
    return RaisonOptionsRefusees(o, type).empty();
}

int CoderMjpeg(const OptionsFilm& o, std::vector<uint8_t>& corps, std::vector<size_t>& debuts)
{
    PoigneeTurbo jpeg(tjInitCompress());
    if (!jpeg)
        return -1;
    const unsigned long tailleMax = tjBufSize(o.largeur, o.hauteur, TJSAMP_420);
    TamponTurbo tampon(tjAlloc(static_cast<int>(tailleMax)));
    if (!tampon)
        return -1;
    const int pas = 3 * o.largeur;
    std::vector<uint8_t> bgr(static_cast<size_t>(pas) * o.hauteur);
    const double cadence = CadenceEffective(o);
    for (int i = 0; i < o.nbImages; ++i) {
        const int numero = o.premierNumero + i;
        DessinerImage(numero, numero / cadence, o.largeur, o.hauteur, bgr.data(), pas);
        unsigned char* sortie = tampon.get();
        unsigned long taille = tailleMax;
        if (tjCompress2(jpeg.get(), bgr.data(), o.largeur, pas, o.hauteur, TJPF_BGR, &sortie, &taille,
                        TJSAMP_420, o.qualiteJpeg, TJFLAG_NOREALLOC) != 0)
            return -1;
        debuts.push_back(corps.size());
        corps.insert(corps.end(), sortie, sortie + taille);
    }
    return 0;
}

// Appends an H.264 packet with every start code in its four-byte form
// (00 00 00 01), as the recorders write them; the coder gives three-byte
// codes to the slices that follow parameter sets. Emulation prevention keeps
// 00 00 01 out of the NAL payloads, so every such triple is a start code.
void AjouterAvecCodesLongs(const uint8_t* octets, int nb, std::vector<uint8_t>& corps)
{
    for (int i = 0; i < nb; ++i) {
        if (i + 2 < nb && octets[i] == 0 && octets[i + 1] == 0 && octets[i + 2] == 1
            && (i == 0 || octets[i - 1] != 0))
            corps.push_back(0);
        corps.push_back(octets[i]);
    }
}

int RecevoirPaquets(AVCodecContext* ctx, AVPacket* paquet, int nbImages, std::vector<uint8_t>& corps,
                    std::vector<size_t>& debuts)
{
    for (;;) {
        const int r = avcodec_receive_packet(ctx, paquet);
        if (r == AVERROR(EAGAIN) || r == AVERROR_EOF)
            return 0;
        if (r < 0)
            return -1;
        // Without B pictures the packets come in picture order; the time
        // stamp says which picture a packet belongs to.
        const int64_t indice = paquet->pts;
        if (indice >= 0 && indice < nbImages && debuts[indice] == SIZE_MAX)
            debuts[indice] = corps.size();
        if (ctx->codec_id == AV_CODEC_ID_H264)
            AjouterAvecCodesLongs(paquet->data, paquet->size, corps);
        else
            corps.insert(corps.end(), paquet->data, paquet->data + paquet->size);
        av_packet_unref(paquet);
    }
}

int CoderAvcodec(int type, const OptionsFilm& o, std::vector<uint8_t>& corps, std::vector<size_t>& debuts)
{
    const AVCodec* codec = type == FilmMpeg4 ? avcodec_find_encoder(AV_CODEC_ID_MPEG4)
                                             : avcodec_find_encoder_by_name("libx264");
    if (!codec)
        return -1;
    std::unique_ptr<AVCodecContext, LibererContexte> ctx(avcodec_alloc_context3(codec));
    std::unique_ptr<AVFrame, LibererImageAv> image(av_frame_alloc());
    std::unique_ptr<AVPacket, LibererPaquet> paquet(av_packet_alloc());
    if (!ctx || !image || !paquet)
        return -1;

    const double cadence = CadenceEffective(o);
    ctx->width = o.largeur;
    ctx->height = o.hauteur;
    ctx->pix_fmt = AV_PIX_FMT_YUV420P;
    ctx->time_base = av_d2q(1.0 / cadence, DenominateurMaxMpeg4);
    ctx->framerate = av_inv_q(ctx->time_base);
    ctx->gop_size = o.gop;
    ctx->max_b_frames = 0;
    // One thread: frame threads delay packets and the output stays the same run after run.
    ctx->thread_count = 1;
    if (type == FilmMpeg4) {
        // In-band headers: every key picture repeats the sequence headers.
        ctx->flags |= AV_CODEC_FLAG_QSCALE;
        ctx->global_quality = FF_QP2LAMBDA * QuantMpeg4;
    } else {
        av_opt_set(ctx->priv_data, "preset", "ultrafast", 0);
        av_opt_set(ctx->priv_data, "tune", "zerolatency", 0);
        av_opt_set(ctx->priv_data, "crf", FacteurQualiteH264, 0);
        // Parameter sets before every IDR picture, and key pictures only at
        // the group boundaries, so that a body cut anywhere plays from the
        // next group.
        av_opt_set(ctx->priv_data, "x264-params", "scenecut=0:repeat-headers=1", 0);
    }
    if (avcodec_open2(ctx.get(), codec, nullptr) < 0)
        return -1;

    image->format = AV_PIX_FMT_YUV420P;
    image->width = o.largeur;
    image->height = o.hauteur;
    if (av_frame_get_buffer(image.get(), 0) < 0)
        return -1;

    debuts.assign(o.nbImages, SIZE_MAX);
    const int pas = 3 * o.largeur;
    std::vector<uint8_t> bgr(static_cast<size_t>(pas) * o.hauteur);
    for (int i = 0; i < o.nbImages; ++i) {
        const int numero = o.premierNumero + i;
        DessinerImage(numero, numero / cadence, o.largeur, o.hauteur, bgr.data(), pas);
        if (av_frame_make_writable(image.get()) < 0)
            return -1;
        BgrVersYuv420(bgr.data(), o.largeur, o.hauteur, pas, image.get());
        image->pts = i;
        if (avcodec_send_frame(ctx.get(), image.get()) < 0)
            return -1;
        if (RecevoirPaquets(ctx.get(), paquet.get(), o.nbImages, corps, debuts) < 0)
            return -1;
    }
    if (avcodec_send_frame(ctx.get(), nullptr) < 0
        || RecevoirPaquets(ctx.get(), paquet.get(), o.nbImages, corps, debuts) < 0)
        return -1;
    // A picture that produced no bytes starts where the next one does.
    size_t suivant = corps.size();
    for (int i = o.nbImages - 1; i >= 0; --i) {
        if (debuts[i] == SIZE_MAX)
            debuts[i] = suivant;
        suivant = debuts[i];
    }
    return 0;
}

// ---------------------------------------------------------------------------
// Files

void Ecrire32(uint8_t* p, uint32_t v)
{
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
    p[2] = static_cast<uint8_t>(v >> 16);
    p[3] = static_cast<uint8_t>(v >> 24);
}

// Creates the film's folder and those above it that are missing; `crees`
// receives the folders made, innermost first, so that a failure can take
// them away again. On failure errno tells why.
int CreerDossierParent(const std::string& chemin, std::vector<std::filesystem::path>* crees = nullptr)
{
    namespace fs = std::filesystem;
    const fs::path parent = fs::path(chemin).parent_path();
    if (parent.empty())
        return 0;
    std::error_code erreur;
    std::vector<fs::path> manquants;
    for (fs::path p = parent; !p.empty() && !fs::exists(p, erreur); p = p.parent_path()) {
        manquants.push_back(p);
        if (p == p.parent_path())
            break;
    }
    fs::create_directories(parent, erreur);
    if (crees)
        *crees = manquants;
    if (erreur) {
        errno = erreur.value() ? erreur.value() : EIO;
        return -1;
    }
    if (!fs::is_directory(parent, erreur)) {
        errno = ENOTDIR;
        return -1;
    }
    return 0;
}

// Reads an unsigned decimal of 1 to `chiffresMax` digits at `p` and moves
// past it; false when there is none or more digits follow (no overflow).
bool LireNombre(const char*& p, int chiffresMax, int& valeur)
{
    int n = 0, v = 0;
    while (n < chiffresMax && std::isdigit(static_cast<unsigned char>(*p))) {
        v = v * 10 + (*p - '0');
        ++p;
        ++n;
    }
    if (n == 0 || std::isdigit(static_cast<unsigned char>(*p)))
        return false;
    valeur = v;
    return true;
}

bool LireCaractere(const char*& p, char c)
{
    if (*p != c)
        return false;
    ++p;
    return true;
}

int EcrireJpeg(const std::string& chemin, const uint8_t* bgr, int largeur, int hauteur, int qualite)
{
    PoigneeTurbo jpeg(tjInitCompress());
    if (!jpeg)
        return -1;
    unsigned char* sortie = nullptr;
    unsigned long taille = 0;
    const int r = tjCompress2(jpeg.get(), bgr, largeur, 3 * largeur, hauteur, TJPF_BGR, &sortie, &taille,
                              TJSAMP_420, qualite, 0);
    TamponTurbo tampon(sortie);
    if (r != 0)
        return -1;
    return EcrireOctetsFichier(chemin, sortie, taille);
}

void Logo(std::vector<uint8_t>& bgr, int largeur, int hauteur, const char* ligne1, const char* ligne2)
{
    bgr.assign(static_cast<size_t>(largeur) * hauteur * 3, 0);
    const Toile t{bgr.data(), largeur, hauteur, 3 * largeur};
    for (int y = 0; y < hauteur; ++y)
        Rectangle(t, 0, y, largeur, y + 1, static_cast<uint8_t>(60 + 120 * y / hauteur), 23,
                  static_cast<uint8_t>(10 + 40 * y / hauteur));
    Rectangle(t, 0, hauteur * 46 / 100, largeur, hauteur * 48 / 100, 220, 220, 220);
    TexteCentre(t, largeur / 2, hauteur * 28 / 100, largeur * 9 / 10, hauteur / 4, ligne1, 255, 255, 255);
    TexteCentre(t, largeur / 2, hauteur * 70 / 100, largeur * 8 / 10, hauteur / 8, ligne2, 200, 230, 255);
}

} // namespace

// ---------------------------------------------------------------------------

void DessinerImage(int numero, double secondes, int largeur, int hauteur, uint8_t* bgr, int pas)
{
    const Toile t{bgr, largeur, hauteur, pas};
    Fond(t, numero);

    // A bar sweeping across gives the motion coders something to follow.
    const int largeurBarre = std::max(2, largeur / 16);
    const int xBarre = (numero * std::max(1, largeur / 40)) % largeur;
    Rectangle(t, xBarre, 0, xBarre + largeurBarre, hauteur * 3 / 4, 40, 200, 230);

    // Small print: the film time of the picture.
    const int petite = std::max(1, hauteur / 120);
    const int totalDixiemes = static_cast<int>(secondes * 10);
    char ligne[48];
    snprintf(ligne, sizeof ligne, "T %02d:%02d:%02d.%d", totalDixiemes / 36000, totalDixiemes / 600 % 60,
             totalDixiemes / 10 % 60, totalDixiemes % 10);
    Rectangle(t, 0, 0, LargeurTexte(ligne, petite) + 4 * petite, (HauteurGlyphe + 4) * petite, 0, 0, 0);
    Texte(t, 2 * petite, 2 * petite, petite, ligne, 255, 255, 255);

    // The number in large digits on a dark box.
    snprintf(ligne, sizeof ligne, "%d", numero);
    const int n = static_cast<int>(strlen(ligne));
    const int echelle = std::max(1, std::min(hauteur * 32 / 100 / HauteurGlyphe,
                                             largeur * 85 / 100 / (n * AvanceGlyphe - 1)));
    const int lt = LargeurTexte(ligne, echelle);
    const int ht = HauteurGlyphe * echelle;
    const int cx = largeur / 2;
    const int cy = hauteur * 44 / 100;
    Rectangle(t, cx - lt / 2 - 2 * echelle, cy - ht / 2 - 2 * echelle, cx + (lt + 1) / 2 + 2 * echelle,
              cy + (ht + 1) / 2 + 2 * echelle, 20, 20, 20);
    Texte(t, cx - lt / 2, cy - ht / 2, echelle, ligne, 255, 255, 255);

    // The code row on a grey strip, so its outer guards stand out from the background.
    const int yHaut = static_cast<int>(std::lround(hauteur * CodeHaut));
    const int yBas = static_cast<int>(std::lround(hauteur * CodeBas));
    const int marge = std::max(1, (yBas - yHaut) / 6);
    Rectangle(t, 0, yHaut - marge, largeur, yBas + marge, 128, 128, 128);
    const double largeurBloc = largeur * (CodeDroite - CodeGauche) / NbBlocsCode;
    for (int i = 0; i < NbBlocsCode; ++i) {
        const int xa = static_cast<int>(std::lround(largeur * CodeGauche + i * largeurBloc));
        const int xb = static_cast<int>(std::lround(largeur * CodeGauche + (i + 1) * largeurBloc));
        const uint8_t v = BlocCodeBlanc(numero, i) ? 255 : 0;
        Rectangle(t, xa, yHaut, xb, yBas, v, v, v);
    }
}

void SilencerCodecs()
{
    av_log_set_level(AV_LOG_ERROR);
}

int CoderCorps(int type, const OptionsFilm& options, std::vector<uint8_t>& corps, std::vector<size_t>* debutsImages)
{
    if (!OptionsValables(options, type))
        return -1;
    corps.clear();
    std::vector<size_t> debuts;
    int r = -1;
    if (type == FilmMjpeg)
        r = CoderMjpeg(options, corps, debuts);
    else if (type == FilmMpeg4 || type == FilmH264)
        r = CoderAvcodec(type, options, corps, debuts);
    if (r == 0 && debutsImages)
        *debutsImages = std::move(debuts);
    return r;
}

std::string RaisonSysteme(int erreur)
{
    switch (erreur) {
    case EACCES:
    case EPERM: return "permission refusée";
    case EROFS: return "système de fichiers en lecture seule";
    case ENOSPC: return "plus de place sur le disque";
    case EDQUOT: return "quota de disque dépassé";
    case EFBIG: return "fichier trop grand pour la limite de taille des fichiers";
    case EISDIR: return "c'est un dossier";
    case ENOTDIR: return "un élément du chemin n'est pas un dossier";
    case ENOENT: return "dossier ou fichier introuvable";
    case ENAMETOOLONG: return "nom trop long";
    case EEXIST: return "le fichier existe déjà";
    case EIO: return "erreur d'entrée-sortie";
    case ENOMEM: return "mémoire insuffisante";
    case EMFILE:
    case ENFILE: return "trop de fichiers ouverts";
    case ELOOP: return "trop de liens symboliques";
    case ENXIO: return "ce n'est pas un fichier ordinaire";
    case EBUSY: return "ressource occupée";
    case EINVAL: return "argument incorrect";
    default: break;
    }
    char texte[160];
    snprintf(texte, sizeof texte, "erreur système %d (%s)", erreur, strerror(erreur));
    return texte;
}

std::string RaisonOptionsRefusees(const OptionsFilm& o, int type)
{
    char texte[200];
    if (type != FilmMjpeg && type != FilmMpeg4 && type != FilmH264)
        return "le nom du film doit finir par .mjp, .mp4 ou .264";
    if (o.largeur < LargeurMin || o.largeur > LargeurMax || o.hauteur < HauteurMin || o.hauteur > HauteurMax) {
        snprintf(texte, sizeof texte, "taille %dx%d hors limites : de %dx%d à %dx%d", o.largeur, o.hauteur,
                 LargeurMin, HauteurMin, LargeurMax, HauteurMax);
        return texte;
    }
    if (type != FilmMjpeg && (o.largeur % 2 || o.hauteur % 2)) {
        // 4:2:0 pictures
        snprintf(texte, sizeof texte, "taille %dx%d : largeur et hauteur paires pour .mp4 et .264", o.largeur,
                 o.hauteur);
        return texte;
    }
    if (o.nbImages < 1)
        return "il faut au moins une image";
    if (o.premierNumero < 0 || o.premierNumero > NumeroMaxImage - (o.nbImages - 1))
        return "les numéros d'images dépassent 65535";
    if (!(CadenceEffective(o) > 0))
        return "cadence incorrecte";
    if (o.gop < 1)
        return "longueur de groupe incorrecte";
    if (o.sauter < 0 || o.sauter >= o.nbImages)
        return "--sauter doit rester sous le nombre d'images";
    if (o.qualiteJpeg < 1 || o.qualiteJpeg > 100)
        return "qualité JPEG incorrecte (de 1 à 100)";
    return std::string();
}

int FabriquerFilm(const std::string& chemin, const OptionsFilm& o, ResultatFilm* resultat)
{
    ResultatFilm local;
    ResultatFilm& r = resultat ? *resultat : local;
    r = ResultatFilm{};
    auto echec = [&r](std::string message) {
        r.erreur = std::move(message);
        return -1;
    };

    const int type = TypeDeFilm(chemin);
    const std::string raison = RaisonOptionsRefusees(o, type);
    if (!raison.empty())
        return echec(raison + " : " + chemin);
    if (!o.motDePasse.empty() && !ChampsMotDePasseTiennent(chemin, o.motDePasse))
        return echec(RaisonMotDePasseRefuse() + " : " + chemin);
    std::vector<uint8_t> corps;
    std::vector<size_t> debuts;
    if (CoderCorps(type, o, corps, &debuts) != 0)
        return echec("échec du codage des images de " + chemin);

    // Header: the pictures that remain after the cut, over their share of the duration.
    const double dureeTotale = o.dureeMs > 0 ? o.dureeMs : o.nbImages * 1000.0 / o.cadence;
    const uint32_t nbImages = static_cast<uint32_t>(o.nbImages - o.sauter);
    const uint32_t dureeMs = static_cast<uint32_t>(dureeTotale * nbImages / o.nbImages);
    const size_t debut = debuts[o.sauter];

    std::vector<uint8_t> fichier(TailleEnteteFilm + corps.size() - debut);
    Ecrire32(fichier.data(), nbImages);
    Ecrire32(fichier.data() + 4, dureeMs);
    std::copy(corps.begin() + static_cast<ptrdiff_t>(debut), corps.end(), fichier.begin() + TailleEnteteFilm);
    if (!o.motDePasse.empty()) {
        // Scrambled in slices: the scrambler counts in int.
        constexpr size_t Tranche = 1 << 20;
        for (size_t i = TailleEnteteFilm; i < fichier.size(); i += Tranche)
            Embrouiller(fichier.data() + i, static_cast<int>(std::min(Tranche, fichier.size() - i)));
    }

    std::vector<std::filesystem::path> dossiersCrees;
    if (CreerDossierParent(chemin, &dossiersCrees) != 0) {
        const int erreur = errno;
        return echec("impossible de créer le dossier " + std::filesystem::path(chemin).parent_path().string()
                     + " : " + RaisonSysteme(erreur));
    }

    // The film, then each companion asked for. A failure takes away what
    // this call wrote: a film without the companions asked for is not what
    // the caller wanted, and a protected body without its record is lost.
    struct Ecriture {
        std::string chemin;
        std::function<int()> ecrire;
    };
    std::vector<Ecriture> ecritures;
    ecritures.push_back({chemin, [&] { return EcrireOctetsFichier(chemin, fichier.data(), fichier.size()); }});
    if (!o.motDePasse.empty())
        ecritures.push_back({NomCompagnon(chemin, "mdp"), [&] { return EcrireFichierMotDePasse(chemin, o.motDePasse); }});
    if (o.dates) {
        const double debutJours = JoursDepuis1899(o.dateDebut);
        ecritures.push_back({NomCompagnon(chemin, "hrd"), [&, debutJours] {
                                 return EcrireDatesFilm(chemin, debutJours, debutJours + dureeMs / MsParJour);
                             }});
    }
    if (o.son)
        ecritures.push_back({NomCompagnon(chemin, "pcm"), [&] { return EcrireSon(chemin, dureeMs); }});
    if (o.mesures)
        ecritures.push_back({NomCompagnon(chemin, "msr"), [&] {
                                 return EcrireMesures(chemin, dureeMs, CadenceEffective(o), o.premierNumero + o.sauter);
                             }});
    std::vector<std::string> ecrits;
    for (const Ecriture& e : ecritures) {
        errno = 0;
        if (e.ecrire() != 0) {
            const int erreur = errno ? errno : EIO;
            for (const std::string& f : ecrits)
                std::remove(f.c_str());
            std::error_code ignore;
            for (const std::filesystem::path& d : dossiersCrees)
                std::filesystem::remove(d, ignore);  // only when empty
            return echec("impossible d'écrire " + e.chemin + " : " + RaisonSysteme(erreur));
        }
        ecrits.push_back(e.chemin);
    }
    r.nbImages = nbImages;
    r.dureeMs = dureeMs;
    r.tailleCorps = fichier.size() - TailleEnteteFilm;
    return 0;
}

std::string RaisonMotDePasseRefuse()
{
    char texte[240];
    snprintf(texte, sizeof texte,
             "film protégé impossible : mot de passe de %d caractères au plus, nom de film de %d caractères au "
             "plus sans son extension, chemin de %d octets au plus",
             LargeurChampMotDePasse, LargeurChampNomFilm - 1, LongueurMaxCheminProtege);
    return texte;
}

uint8_t EncoderMuLaw(int16_t echantillon)
{
    constexpr int Biais = 0x84;
    constexpr int Plafond = 32635;
    int s = echantillon;
    const int signe = s < 0 ? 0x80 : 0;
    if (s < 0)
        s = -s;
    s = std::min(s, Plafond) + Biais;
    int exposant = 7;
    for (int masque = 0x4000; (s & masque) == 0 && exposant > 0; masque >>= 1)
        --exposant;
    const int mantisse = (s >> (exposant + 3)) & 0x0F;
    return static_cast<uint8_t>(~(signe | (exposant << 4) | mantisse));
}

int EcrireSon(const std::string& cheminFilm, uint32_t dureeMs)
{
    const size_t nb = static_cast<size_t>(dureeMs) * OctetsSonParSeconde / 1000;
    std::vector<uint8_t> son(nb);
    for (size_t i = 0; i < nb; ++i) {
        const double t = static_cast<double>(i) / OctetsSonParSeconde;
        double v = AmplitudeTon * std::sin(2 * M_PI * FrequenceTon * t);
        if (i % OctetsSonParSeconde < static_cast<size_t>(DureeClicEchantillons))
            v = AmplitudeClic * (std::sin(2 * M_PI * FrequenceClic * t) >= 0 ? 1 : -1);
        son[i] = EncoderMuLaw(static_cast<int16_t>(std::lround(v)));
    }
    return EcrireOctetsFichier(NomCompagnon(cheminFilm, "pcm"), son.data(), son.size());
}

int EcrireMesures(const std::string& cheminFilm, uint32_t dureeMs, double cadence, int premierNumero)
{
    std::string texte;
    char ligne[128];
    // Time field zero-padded to the six characters the reader takes.
    snprintf(ligne, sizeof ligne, "%06u;0;;\r\n", 0u);
    texte += ligne;
    for (uint32_t ms = 0; ms <= dureeMs && ms <= TempsMaxMesure; ms += 1000) {
        const uint32_t s = ms / 1000;
        snprintf(ligne, sizeof ligne, "%06u;1;Temps film : %02u:%02u:%02u;\r\n", ms, s / 3600, s / 60 % 60, s % 60);
        texte += ligne;
        snprintf(ligne, sizeof ligne, "%06u;2;Image : %d;\r\n", ms,
                 premierNumero + static_cast<int>(s * cadence));
        texte += ligne;
        const double temperature = 20.0 + 2.5 * std::sin(s / 10.0);
        snprintf(ligne, sizeof ligne, "%06u;3;Temperature : %.1f C;\r\n", ms, temperature);
        texte += ligne;
    }
    return EcrireOctetsFichier(NomCompagnon(cheminFilm, "msr"), texte.data(), texte.size());
}

int EcrireLogos(const std::string& dossier)
{
    constexpr int Largeur = 640;
    constexpr int Hauteur = 360;
    constexpr int Qualite = 90;
    if (CreerDossierParent((std::filesystem::path(dossier) / "logo1.jpg").string()) != 0)
        return -1;
    std::vector<uint8_t> bgr;
    Logo(bgr, Largeur, Hauteur, "VELMORA ZR7", "LECTEUR AUTONOME");
    if (EcrireJpeg((std::filesystem::path(dossier) / "logo1.jpg").string(), bgr.data(), Largeur, Hauteur, Qualite) != 0)
        return -1;
    Logo(bgr, Largeur, Hauteur, "ZR7", "ENREGISTREURS VIDEO NUMERIQUES");
    return EcrireJpeg((std::filesystem::path(dossier) / "logo2.jpg").string(), bgr.data(), Largeur, Hauteur, Qualite);
}

double JoursDepuis1899(const DateHeure& d)
{
    // Days from 1970-01-01 to a civil date (proleptic Gregorian).
    auto jours = [](long a, long m, long j) {
        a -= m <= 2;
        const long ere = (a >= 0 ? a : a - 399) / 400;
        const long annee = a - ere * 400;
        const long jourAnnee = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + j - 1;
        const long jourEre = annee * 365 + annee / 4 - annee / 100 + jourAnnee;
        return ere * 146097 + jourEre - 719468;
    };
    const long entiers = jours(d.annee, d.mois, d.jour) - jours(1899, 12, 30);
    return entiers + (d.heure * 3600 + d.minute * 60 + d.seconde) / 86400.0;
}

int LireDateHeure(const char* texte, DateHeure& date)
{
    if (!texte)
        return -1;
    // Digit counts are bounded, so that no number can overflow.
    DateHeure d;
    d.seconde = 0;
    const char* p = texte;
    while (*p == ' ')
        ++p;
    if (!LireNombre(p, 2, d.jour) || !LireCaractere(p, '/') || !LireNombre(p, 2, d.mois) || !LireCaractere(p, '/')
        || !LireNombre(p, 4, d.annee))
        return -1;
    while (*p == ' ')
        ++p;
    if (!LireNombre(p, 2, d.heure) || !LireCaractere(p, ':') || !LireNombre(p, 2, d.minute))
        return -1;
    if (LireCaractere(p, ':') && !LireNombre(p, 2, d.seconde))
        return -1;
    while (*p == ' ')
        ++p;
    if (*p)
        return -1;
    if (d.jour < 1 || d.jour > 31 || d.mois < 1 || d.mois > 12 || d.annee < 1 || d.annee > 9999
        || d.heure < 0 || d.heure > 23 || d.minute < 0 || d.minute > 59 || d.seconde < 0 || d.seconde > 59)
        return -1;
    date = d;
    return 0;
}

std::string CheminHoraire(const std::string& dossier, const DateHeure& d, const char* extension)
{
    char nom[64];
    snprintf(nom, sizeof nom, "%02d/%02d-%02d-%04d-%02d-%02d%.4s", d.heure, d.jour, d.mois, d.annee, d.heure,
             d.minute, extension ? extension : "");
    if (dossier.empty())
        return nom;
    return dossier.back() == '/' ? dossier + nom : dossier + "/" + nom;
}

bool MinuteSuivante(DateHeure& d)
{
    if (d.minute > 58) {
        if (d.heure > 22)
            return false;
        d.minute = 0;
        ++d.heure;
    } else {
        ++d.minute;
    }
    return true;
}

int FabriquerDemo(const std::string& dossier, std::string* premierFilm, std::string* erreur)
{
    ResultatFilm r;
    auto echec = [&](const std::string& message) {
        if (erreur)
            *erreur = message;
        return -1;
    };
    // Two minutes then one minute at 10 pictures a second: long enough to
    // watch the sound, measures and chaining, quick to make.
    OptionsFilm o;
    o.largeur = 640;
    o.hauteur = 480;
    o.cadence = 10.0;
    o.nbImages = 1200;
    o.gop = 10;
    o.dates = o.son = o.mesures = true;
    LireDateHeure("12/05/2014 10:15:00", o.dateDebut);
    const std::string film1 = CheminHoraire(dossier, o.dateDebut, ".mjp");
    if (FabriquerFilm(film1, o, &r) != 0)
        return echec(r.erreur);

    OptionsFilm suite = o;
    suite.premierNumero = o.nbImages;
    suite.nbImages = 600;
    if (!MinuteSuivante(suite.dateDebut))
        return echec("pas de minute suivante");
    if (FabriquerFilm(CheminHoraire(dossier, suite.dateDebut, ".mjp"), suite, &r) != 0)
        return echec(r.erreur);
    if (EcrireLogos(dossier) != 0) {
        const int e = errno;
        return echec("impossible d'écrire les logos dans " + dossier + " : " + RaisonSysteme(e));
    }
    if (premierFilm)
        *premierFilm = film1;
    return 0;
}
