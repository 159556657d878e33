// Fast YUV 4:2:0 to bottom-up B, G, R rows (see conversion_rapide.h).
#include "codecs/conversion_rapide.h"

#include <atomic>
#include <cstring>
#include <mutex>
#include <vector>

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/pixfmt.h>
#include <libswscale/swscale.h>
}

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define ZR7_AVX2 1
#endif

namespace {

// swscale's fixed-point coefficients for limited-range BT.601 (its default
// colour space), each the real factor x 2^13 rounded as swscale rounds it.
// Applied to 8 x (sample - offset) with a high 16-bit product, they give
// Y' = (8y - 128) x 9539 >> 16, then B = Y' + U x ub, G = Y' + U x ug +
// V x vg, R = Y' + V x vr, each clipped to 0..255.
int Arrondi16(int64_t f) { return static_cast<int>((f + (1 << 15)) >> 16); }
const int CoefY = Arrondi16(int64_t{76309} * 8192);    // 65536 x 255 / 219
const int CoefVR = Arrondi16(int64_t{104597} * 8192);
const int CoefUB = Arrondi16(int64_t{132201} * 8192);
const int CoefUG = Arrondi16(int64_t{-25675} * 8192);
const int CoefVG = Arrondi16(int64_t{-53279} * 8192);
const int DecalageY = Arrondi16((int64_t{16} << 16) * 8);  // 16 << 3
constexpr int DecalageUV = 128 << 3;

constexpr int PixelsParPas = 32;

std::atomic<bool> g_autorisee{true};

#ifdef ZR7_AVX2

// One source row (and its chroma row) into one bitmap row, 32 pixels a
// step; a width that is not a multiple of 32 ends with a step that overlaps
// the one before (each pixel depends only on its own samples).
__attribute__((target("avx2"))) void LigneAvx2(const uint8_t* py, const uint8_t* pu, const uint8_t* pv,
                                                uint8_t* sortie, int largeur) {
    const __m256i decY = _mm256_set1_epi16(static_cast<int16_t>(DecalageY));
    const __m256i decUV = _mm256_set1_epi16(DecalageUV);
    const __m256i cY = _mm256_set1_epi16(static_cast<int16_t>(CoefY));
    const __m256i cVR = _mm256_set1_epi16(static_cast<int16_t>(CoefVR));
    const __m256i cUB = _mm256_set1_epi16(static_cast<int16_t>(CoefUB));
    const __m256i cUG = _mm256_set1_epi16(static_cast<int16_t>(CoefUG));
    const __m256i cVG = _mm256_set1_epi16(static_cast<int16_t>(CoefVG));
    const __m256i basOctet = _mm256_set1_epi16(0x00FF);
    // packus gives, per 128-bit half, 8 even pixels then 8 odd ones: back
    // to pixel order.
    const __m256i entrelacer = _mm256_setr_epi8(0, 8, 1, 9, 2, 10, 3, 11, 4, 12, 5, 13, 6, 14, 7, 15,
                                                0, 8, 1, 9, 2, 10, 3, 11, 4, 12, 5, 13, 6, 14, 7, 15);
    // B, G, R of 16 pixels into three 16-byte blocks: byte p of block j is
    // channel (16j + p) % 3 of pixel (16j + p) / 3.
    alignas(32) static const struct Masques {
        int8_t m[3][3][32];
        Masques() {
            for (int j = 0; j < 3; ++j)
                for (int c = 0; c < 3; ++c)
                    for (int p = 0; p < 32; ++p) {
                        const int q = 16 * j + (p & 15);
                        m[j][c][p] = static_cast<int8_t>(q % 3 == c ? q / 3 : -128);
                    }
        }
    } masques;
#define ZR7_MASQUE(j, c) _mm256_load_si256(reinterpret_cast<const __m256i*>(masques.m[j][c]))
    const __m256i mB0 = ZR7_MASQUE(0, 0), mG0 = ZR7_MASQUE(0, 1), mR0 = ZR7_MASQUE(0, 2);
    const __m256i mB1 = ZR7_MASQUE(1, 0), mG1 = ZR7_MASQUE(1, 1), mR1 = ZR7_MASQUE(1, 2);
    const __m256i mB2 = ZR7_MASQUE(2, 0), mG2 = ZR7_MASQUE(2, 1), mR2 = ZR7_MASQUE(2, 2);
#undef ZR7_MASQUE

    for (int x = 0; x < largeur; x += PixelsParPas) {
        if (x > largeur - PixelsParPas) x = largeur - PixelsParPas;
        const __m256i y = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(py + x));
        __m256i u = _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(pu + x / 2)));
        __m256i v = _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(pv + x / 2)));
        u = _mm256_subs_epi16(_mm256_slli_epi16(u, 3), decUV);
        v = _mm256_subs_epi16(_mm256_slli_epi16(v, 3), decUV);
        const __m256i bU = _mm256_mulhi_epi16(u, cUB);
        const __m256i rV = _mm256_mulhi_epi16(v, cVR);
        const __m256i gUV = _mm256_adds_epi16(_mm256_mulhi_epi16(u, cUG), _mm256_mulhi_epi16(v, cVG));
        // Even pixels in the low bytes of the 16-bit lanes, odd ones high.
        __m256i yp = _mm256_sub_epi16(_mm256_slli_epi16(_mm256_and_si256(y, basOctet), 3), decY);
        __m256i yi = _mm256_sub_epi16(_mm256_slli_epi16(_mm256_srli_epi16(y, 8), 3), decY);
        yp = _mm256_mulhi_epi16(yp, cY);
        yi = _mm256_mulhi_epi16(yi, cY);
        const __m256i b = _mm256_shuffle_epi8(
            _mm256_packus_epi16(_mm256_adds_epi16(yp, bU), _mm256_adds_epi16(yi, bU)), entrelacer);
        const __m256i g = _mm256_shuffle_epi8(
            _mm256_packus_epi16(_mm256_adds_epi16(yp, gUV), _mm256_adds_epi16(yi, gUV)), entrelacer);
        const __m256i r = _mm256_shuffle_epi8(
            _mm256_packus_epi16(_mm256_adds_epi16(yp, rV), _mm256_adds_epi16(yi, rV)), entrelacer);
        // Each half: 16 pixels, 48 bytes in three blocks.
        const __m256i k0 = _mm256_or_si256(_mm256_or_si256(_mm256_shuffle_epi8(b, mB0), _mm256_shuffle_epi8(g, mG0)),
                                           _mm256_shuffle_epi8(r, mR0));
        const __m256i k1 = _mm256_or_si256(_mm256_or_si256(_mm256_shuffle_epi8(b, mB1), _mm256_shuffle_epi8(g, mG1)),
                                           _mm256_shuffle_epi8(r, mR1));
        const __m256i k2 = _mm256_or_si256(_mm256_or_si256(_mm256_shuffle_epi8(b, mB2), _mm256_shuffle_epi8(g, mG2)),
                                           _mm256_shuffle_epi8(r, mR2));
        uint8_t* o = sortie + 3 * x;
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(o), _mm256_permute2x128_si256(k0, k1, 0x20));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(o + 32), _mm256_permute2x128_si256(k2, k0, 0x30));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(o + 64), _mm256_permute2x128_si256(k1, k2, 0x31));
    }
}

bool Avx2Present() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2");
}

#else

void LigneAvx2(const uint8_t*, const uint8_t*, const uint8_t*, uint8_t*, int) {}
bool Avx2Present() { return false; }

#endif

// Compares the converter with swscale over every (Y, U, V) triple: one
// 512 x 128 picture per U value, V along the chroma columns, and the four
// luma samples of each chroma sample covering Y in steps of one.
bool VerifierContreSwscale() {
    constexpr int L = 512, H = 128;
    SwsContext* sws = sws_getContext(L, H, AV_PIX_FMT_YUV420P, L, H, AV_PIX_FMT_BGR24, SWS_FAST_BILINEAR,
                                     nullptr, nullptr, nullptr);
    if (sws == nullptr) return false;
    std::vector<uint8_t> y(L * H), u(L / 2 * H / 2), v(L / 2 * H / 2);
    std::vector<uint8_t> attendu(L * 3 * H), obtenu(L * 3 * H);
    bool egal = true;
    for (int valeurU = 0; valeurU < 256 && egal; ++valeurU) {
        for (int cy = 0; cy < H / 2; ++cy) {
            for (int cx = 0; cx < L / 2; ++cx) {
                u[cy * L / 2 + cx] = static_cast<uint8_t>(valeurU);
                v[cy * L / 2 + cx] = static_cast<uint8_t>(cx);
                for (int k = 0; k < 4; ++k)
                    y[(2 * cy + k / 2) * L + 2 * cx + k % 2] = static_cast<uint8_t>(4 * cy + k);
            }
        }
        const uint8_t* source[4] = {y.data(), u.data(), v.data(), nullptr};
        const int pas[4] = {L, L / 2, L / 2, 0};
        uint8_t* dest[4] = {attendu.data(), nullptr, nullptr, nullptr};
        const int pasDest[4] = {L * 3, 0, 0, 0};
        if (sws_scale(sws, source, pas, 0, H, dest, pasDest) != H) {
            egal = false;
            break;
        }
        for (int r = 0; r < H; ++r)
            LigneAvx2(y.data() + r * L, u.data() + (r / 2) * (L / 2), v.data() + (r / 2) * (L / 2),
                      obtenu.data() + r * L * 3, L);
        egal = attendu == obtenu;
    }
    sws_freeContext(sws);
    return egal;
}

}  // namespace

bool ConversionRapideEligible(const AVFrame* f) {
    return f != nullptr && f->format == AV_PIX_FMT_YUV420P && f->color_range != AVCOL_RANGE_JPEG &&
           f->width >= PixelsParPas && f->width % 16 == 0 && f->height >= 2 && f->height % 2 == 0 &&
           f->data[0] != nullptr && f->data[1] != nullptr && f->data[2] != nullptr;
}

bool ConversionRapideActive() {
    static std::once_flag une;
    static bool active = false;
    std::call_once(une, [] { active = Avx2Present() && VerifierContreSwscale(); });
    return active && g_autorisee.load();
}

void ConversionRapide(const AVFrame* f, unsigned char* pixels, int32_t ligne) {
    const int h = f->height;
    for (int s = 0; s < h; ++s) {
        LigneAvx2(f->data[0] + static_cast<int64_t>(s) * f->linesize[0],
                  f->data[1] + static_cast<int64_t>(s / 2) * f->linesize[1],
                  f->data[2] + static_cast<int64_t>(s / 2) * f->linesize[2],
                  pixels + static_cast<int64_t>(h - 1 - s) * ligne, f->width);
    }
}

void ConversionRapideAutorisee(bool oui) { g_autorisee.store(oui); }
