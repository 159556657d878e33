// 24-bit bitmap file images in memory (see bitmap.h).
#include "codecs/bitmap.h"

#include "codecs/conversion_rapide.h"

#include <cstring>

extern "C" {
#include <libavutil/common.h>
#include <libavutil/frame.h>
#include <libavutil/pixdesc.h>
#include <libavutil/pixfmt.h>
#include <libswscale/swscale.h>
}

namespace {

constexpr int TailleEnteteFichier = 14;  // "BM", size, reserved, pixel offset
constexpr int TailleEnteteInfo = 40;     // the classic information header
constexpr int OctetsParPixel = 3;
constexpr int64_t TailleMaxInt32 = 0x7fffffff;

// Widths that swscale's fast same-size YUV to BGR path converts exactly.
constexpr int LargeurBlocRapide = 16;

void Poser16(unsigned char* p, uint16_t v) {
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
}

void Poser32(unsigned char* p, uint32_t v) {
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
    p[2] = static_cast<unsigned char>(v >> 16);
    p[3] = static_cast<unsigned char>(v >> 24);
}

// Zero the padding bytes at the end of each row (swscale writes pixels only).
void EffacerBourrage(unsigned char* pixels, int32_t ligne, int32_t largeur, int32_t hauteur) {
    const int32_t utiles = largeur * OctetsParPixel;
    const int32_t bourrage = ligne - utiles;
    if (bourrage <= 0) return;
    for (int32_t y = 0; y < hauteur; ++y) std::memset(pixels + static_cast<int64_t>(y) * ligne + utiles, 0, bourrage);
}

}  // namespace

extern "C" int32_t BitmapTailleLigne(int32_t largeur) {
    if (largeur < 1) return -1;
    const int64_t ligne = (static_cast<int64_t>(largeur) * OctetsParPixel + 3) & ~int64_t{3};
    return ligne > TailleMaxInt32 ? -1 : static_cast<int32_t>(ligne);
}

extern "C" int32_t BitmapTailleFichier(int32_t largeur, int32_t hauteur) {
    const int32_t ligne = BitmapTailleLigne(largeur);
    if (ligne < 0 || hauteur < 1) return -1;
    const int64_t total = static_cast<int64_t>(ligne) * hauteur + KOR_BITMAP_ENTETE;
    return total > TailleMaxInt32 ? -1 : static_cast<int32_t>(total);
}

extern "C" int32_t BitmapEcrireEntete(unsigned char* entete, int32_t largeur, int32_t hauteur) {
    const int32_t total = BitmapTailleFichier(largeur, hauteur);
    if (entete == nullptr || total < 0) return -1;
    std::memset(entete, 0, KOR_BITMAP_ENTETE);
    entete[0] = 'B';
    entete[1] = 'M';
    Poser32(entete + 2, static_cast<uint32_t>(total));
    Poser32(entete + 10, KOR_BITMAP_ENTETE);  // offset of the pixels
    unsigned char* info = entete + TailleEnteteFichier;
    Poser32(info + 0, TailleEnteteInfo);
    Poser32(info + 4, static_cast<uint32_t>(largeur));
    Poser32(info + 8, static_cast<uint32_t>(hauteur));  // positive: rows bottom-up
    Poser16(info + 12, 1);                               // planes
    Poser16(info + 14, 24);                              // bits per pixel
    Poser32(info + 16, 0);                               // uncompressed
    Poser32(info + 20, static_cast<uint32_t>(total - KOR_BITMAP_ENTETE));
    // Resolution and palette fields stay 0.
    return 0;
}

extern "C" int32_t BitmapDepuisBGR(const unsigned char* bgr, int32_t pas, int32_t largeur,
                                   int32_t hauteur, unsigned char* dest, int32_t capacite,
                                   int32_t* taille) {
    if (taille) *taille = 0;
    const int32_t total = BitmapTailleFichier(largeur, hauteur);
    if (bgr == nullptr || dest == nullptr || taille == nullptr || total < 0 || total > capacite ||
        static_cast<int64_t>(pas) < static_cast<int64_t>(largeur) * OctetsParPixel)
        return -1;
    BitmapEcrireEntete(dest, largeur, hauteur);
    const int32_t ligne = BitmapTailleLigne(largeur);
    const int32_t utiles = largeur * OctetsParPixel;
    unsigned char* pixels = dest + KOR_BITMAP_ENTETE;
    for (int32_t y = 0; y < hauteur; ++y) {
        unsigned char* d = pixels + static_cast<int64_t>(hauteur - 1 - y) * ligne;
        std::memcpy(d, bgr + static_cast<int64_t>(y) * pas, utiles);
        std::memset(d + utiles, 0, ligne - utiles);
    }
    *taille = total;
    return 0;
}

extern "C" int32_t BitmapImageNoire(unsigned char* dest, int32_t capacite, int32_t* taille) {
    if (taille) *taille = 0;
    if (dest == nullptr || taille == nullptr || capacite < KOR_BITMAP_NOIRE_TAILLE) return -1;
    BitmapEcrireEntete(dest, KOR_BITMAP_NOIRE_LARGEUR, KOR_BITMAP_NOIRE_HAUTEUR);
    std::memset(dest + KOR_BITMAP_ENTETE, 0, KOR_BITMAP_NOIRE_TAILLE - KOR_BITMAP_ENTETE);
    *taille = KOR_BITMAP_NOIRE_TAILLE;
    return 0;
}

// Full-range ("J") formats are deprecated as swscale inputs: use the plain
// format and say the range instead, or the cached context is rebuilt on
// every frame.
AVPixelFormat FormatSansPleineEchelle(AVPixelFormat f, bool* pleine) {
    *pleine = true;
    switch (f) {
    case AV_PIX_FMT_YUVJ420P: return AV_PIX_FMT_YUV420P;
    case AV_PIX_FMT_YUVJ422P: return AV_PIX_FMT_YUV422P;
    case AV_PIX_FMT_YUVJ444P: return AV_PIX_FMT_YUV444P;
    case AV_PIX_FMT_YUVJ440P: return AV_PIX_FMT_YUV440P;
    case AV_PIX_FMT_YUVJ411P: return AV_PIX_FMT_YUV411P;
    default: *pleine = false; return f;
    }
}

int32_t BitmapDepuisFrame(const AVFrame* frame, SwsContext** sws, unsigned char* dest,
                          int32_t capacite, int32_t* taille) {
    if (taille) *taille = 0;
    if (frame == nullptr || sws == nullptr || dest == nullptr || taille == nullptr) return -1;
    const int32_t largeur = frame->width;
    const int32_t hauteur = frame->height;
    const int32_t total = BitmapTailleFichier(largeur, hauteur);
    const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(static_cast<AVPixelFormat>(frame->format));
    if (total < 0 || total > capacite || desc == nullptr || (desc->flags & AV_PIX_FMT_FLAG_HWACCEL))
        return -1;

    const int32_t ligne = BitmapTailleLigne(largeur);
    unsigned char* pixels = dest + KOR_BITMAP_ENTETE;
    if (ConversionRapideEligible(frame) && ConversionRapideActive()) {
        ConversionRapide(frame, pixels, ligne);  // widths of 16n: rows without padding
        BitmapEcrireEntete(dest, largeur, hauteur);
        *taille = total;
        return 0;
    }

    bool pleine = false;
    const AVPixelFormat source =
        FormatSansPleineEchelle(static_cast<AVPixelFormat>(frame->format), &pleine);
    if (frame->color_range == AVCOL_RANGE_JPEG) pleine = true;
    // The fast same-size YUV to BGR path of swscale converts rows in blocks
    // of 16 pixels: for other widths it leaves pixels wrong and writes past
    // the row, so those take the exact general path.
    const int drapeaux =
        (largeur % LargeurBlocRapide == 0) ? SWS_FAST_BILINEAR : SWS_FAST_BILINEAR | SWS_ACCURATE_RND;
    *sws = sws_getCachedContext(*sws, largeur, hauteur, source, largeur, hauteur, AV_PIX_FMT_BGR24,
                                drapeaux, nullptr, nullptr, nullptr);
    if (*sws == nullptr) return -1;

    // Tell the source range only when it differs from the context's.
    int* tableEntree = nullptr;
    int* tableSortie = nullptr;
    int plageEntree = 0, plageSortie = 0, luminosite = 0, contraste = 0, saturation = 0;
    if (sws_getColorspaceDetails(*sws, &tableEntree, &plageEntree, &tableSortie, &plageSortie,
                                 &luminosite, &contraste, &saturation) >= 0 &&
        plageEntree != (pleine ? 1 : 0)) {
        sws_setColorspaceDetails(*sws, tableEntree, pleine ? 1 : 0, tableSortie, plageSortie,
                                 luminosite, contraste, saturation);
    }

    // Bottom-up rows: read the source from its last row upwards (negative
    // source steps, as a vertical flip does) and write the rows in memory
    // order. Negative destination steps are not handled well by swscale.
    const uint8_t* lignes[AV_NUM_DATA_POINTERS] = {};
    int pas[AV_NUM_DATA_POINTERS] = {};
    const int plans = av_pix_fmt_count_planes(static_cast<AVPixelFormat>(frame->format));
    for (int p = 0; p < plans && p < 4; ++p) {
        if (frame->data[p] == nullptr) return -1;
        const bool chroma = (p == 1 || p == 2) && !(desc->flags & AV_PIX_FMT_FLAG_PAL);
        const int rangs = chroma ? AV_CEIL_RSHIFT(hauteur, desc->log2_chroma_h) : hauteur;
        lignes[p] = frame->data[p] + static_cast<int64_t>(rangs - 1) * frame->linesize[p];
        pas[p] = -frame->linesize[p];
    }
    if (desc->flags & AV_PIX_FMT_FLAG_PAL) {
        lignes[1] = frame->data[1];
        pas[1] = 0;
    }

    uint8_t* sortie[4] = {pixels, nullptr, nullptr, nullptr};
    int pasSortie[4] = {ligne, 0, 0, 0};
    if (sws_scale(*sws, lignes, pas, 0, hauteur, sortie, pasSortie) != hauteur) return -1;
    EffacerBourrage(pixels, ligne, largeur, hauteur);
    BitmapEcrireEntete(dest, largeur, hauteur);
    *taille = total;
    return 0;
}
