// libFuzzer target for the codec library: random bytes go to every decode
// and look-up call, the way the reader and the export use them (decode,
// advance by the bytes used, skip on failure). Built and run by fuzz.sh.
#include <cstdint>
#include <cstring>
#include <vector>

extern "C" {
#include <libavutil/log.h>
}

#include "codecs/korcodecs.h"

namespace {

// Pictures decoded from one input at most: keeps each run short.
constexpr int ImagesParEntree = 16;
// A room smaller than the largest picture, as the export's MPEG-4 probe has.
constexpr int32_t PetiteCapacite = 7680000;

struct Etat {
    std::vector<unsigned char> sortie;
    Etat() : sortie(static_cast<size_t>(KOR_BITMAP_TAILLE_MAX)) {
        av_log_set_level(AV_LOG_QUIET);
        for (int i = 0; i < KOR_NB_DECODEURS; ++i) {
            KORMP4_DEC_Init(i);
            KORH264_InitDecodeur(i);
        }
    }
};

void Verifier(bool condition) {
    if (!condition) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* donnees, size_t taille) {
    static Etat etat;
    if (taille < 2 || taille > 4000000) return 0;
    const uint8_t choix = donnees[0];
    std::vector<unsigned char> d(donnees + 1, donnees + taille);  // writable copy, exact size
    const int32_t n = static_cast<int32_t>(d.size());
    const int instance = choix & 1;
    unsigned char* sortie = etat.sortie.data();

    if (choix & 0x80) {  // occasionally start from fresh decoders
        KORMP4_DEC_Init(instance);
        KORH264_InitDecodeur(instance);
    }

    int32_t nombre = 0;
    const int32_t ref = KORH264_ChercheImageRef(d.data(), n, &nombre);
    Verifier(ref < n);
    const int32_t suivante = KORH264_ChercheImage(d.data(), n);
    Verifier(suivante < n);

    int32_t pos = 0;
    for (int k = 0; k < ImagesParEntree && pos < n; ++k) {
        int32_t tailleSortie = 0, utiles = 0, l = 0, h = 0;
        unsigned char cle = 0;
        int32_t r;
        const bool h264 = (choix & 2) != 0;
        const bool petite = (choix & 4) != 0;
        if (h264) {
            if (k > 0) {
                const int32_t u = KORH264_ChercheImage(d.data() + pos, n - pos);
                if (u < 0) break;
                Verifier(u < n - pos);
                pos += u;
            }
            r = petite ? KORH264_DecodePaquetCap(instance, d.data() + pos, n - pos, sortie, PetiteCapacite,
                                                 &tailleSortie, &utiles, 0, &h, &l)
                       : KORH264_DecodePaquet(instance, d.data() + pos, n - pos, sortie, &tailleSortie,
                                              &utiles, 0, &h, &l);
        } else {
            r = petite ? KORMP4_DEC_GetFrameCap(instance, d.data() + pos, n - pos, sortie, PetiteCapacite,
                                                &tailleSortie, 0, &utiles, &cle, &l, &h)
                       : KORMP4_DEC_GetFrame(instance, d.data() + pos, n - pos, sortie, &tailleSortie, 0,
                                             &utiles, &cle, &l, &h);
        }
        if (r == 0) {
            Verifier(utiles >= 1 && utiles <= n - pos);
            Verifier(tailleSortie == BitmapTailleFichier(l, h));
            Verifier(tailleSortie <= (petite ? PetiteCapacite : KOR_BITMAP_TAILLE_MAX));
            Verifier(sortie[0] == 'B' && sortie[1] == 'M');
            pos += utiles;
        } else {
            Verifier(tailleSortie == 0 && utiles == 0);
            pos += 1;
        }
    }
    return 0;
}
