// Picture boundaries from start codes (see decoupage.h).
#include "codecs/decoupage.h"

#include <cstring>

namespace {

// MPEG-4 visual start code values.
constexpr unsigned char CodeObjetVideoMax = 0x2F;  // 00-1F video object, 20-2F object layer
constexpr unsigned char CodeSequence = 0xB0;
constexpr unsigned char CodeDonneesUtilisateur = 0xB2;
constexpr unsigned char CodeGroupe = 0xB3;
constexpr unsigned char CodeObjetVisuel = 0xB5;
constexpr unsigned char CodeImage = 0xB6;

// H.264 NAL unit types that matter for access unit boundaries.
constexpr int NalTranche = 1;
constexpr int NalPartitionA = 2;
constexpr int NalPartitionC = 4;
constexpr int NalIdr = 5;
constexpr int NalSei = 6;
constexpr int NalSps = 7;
constexpr int NalPps = 8;
constexpr int NalDelimiteur = 9;
constexpr int NalReserveMin = 14;  // 14-18 begin an access unit like SEI
constexpr int NalReserveMax = 18;

bool EstTranche(int type) { return type >= NalTranche && type <= NalIdr; }

// One NAL unit as seen from its start code.
struct Nal {
    int32_t pos = -1;  // offset of its 00 00 01
    int type = -1;     // -1 when the data ends before its header
    bool premiereTranche = true;  // first_mb_in_slice == 0 (slices only)
};

Nal LireNal(const unsigned char* d, int32_t n, int32_t pos) {
    Nal u;
    u.pos = pos;
    if (static_cast<int64_t>(pos) + 3 >= n) return u;
    u.type = d[pos + 3] & 0x1F;
    if (u.type == 3 || u.type == NalPartitionC) {
        u.premiereTranche = false;  // partitions B and C never start a picture
    } else if (EstTranche(u.type) && static_cast<int64_t>(pos) + 4 < n) {
        // first_mb_in_slice is the first ue(v) of the slice header: it is 0
        // exactly when its first bit is 1. Without that byte, assume 0.
        u.premiereTranche = (d[pos + 4] & 0x80) != 0;
    }
    return u;
}

// Whether a unit begins a new access unit, given whether a slice has been
// seen since the current access unit began.
bool DebuteUnite(const Nal& u, bool trancheVue) {
    if (u.type == NalDelimiteur) return true;
    if (u.type == NalSei || u.type == NalSps || u.type == NalPps ||
        (u.type >= NalReserveMin && u.type <= NalReserveMax))
        return trancheVue;
    if (u.type == NalTranche || u.type == NalPartitionA || u.type == NalIdr)
        return trancheVue && u.premiereTranche;
    return false;
}

// Slice-seen state before the first start code at `premier`.
bool EtatInitial(const unsigned char* d, int32_t premier) {
    bool zeros = true;
    for (int32_t i = 0; i < premier && zeros; ++i) zeros = d[i] == 0;
    if (zeros) return true;  // data begins on a unit boundary
    // The tail of a start code: its unit's type is visible.
    int entete = -1;
    if (premier >= 3 && d[0] == 0 && d[1] == 1) entete = d[2];
    else if (premier >= 2 && d[0] == 1) entete = d[1];
    if (entete >= 0 && (entete & 0x80) == 0) return EstTranche(entete & 0x1F);
    return true;  // most bytes of a stream are slice data
}

}  // namespace

int32_t ChercherCodeDebut(const unsigned char* d, int32_t n, int32_t debut) {
    if (d == nullptr || n < 3) return -1;
    if (debut < 0) debut = 0;
    int64_t i = static_cast<int64_t>(debut) + 2;  // position of the 01
    while (i < n) {
        const void* p = std::memchr(d + i, 1, static_cast<size_t>(n - i));
        if (p == nullptr) return -1;
        i = static_cast<const unsigned char*>(p) - d;
        if (d[i - 1] == 0 && d[i - 2] == 0) return static_cast<int32_t>(i - 2);
        // The next 01 needs two zeros after this one.
        i += 3;
    }
    return -1;
}

bool EnTeteMpeg4(unsigned char c) {
    return c <= CodeObjetVideoMax || c == CodeSequence || c == CodeDonneesUtilisateur ||
           c == CodeGroupe || c == CodeObjetVisuel || c == CodeImage;
}

int32_t FinPremiereImageMpeg4(const unsigned char* d, int32_t n) {
    int32_t image = -1;
    for (int32_t pos = ChercherCodeDebut(d, n, 0); pos >= 0 && static_cast<int64_t>(pos) + 3 < n;
         pos = ChercherCodeDebut(d, n, pos + 3)) {
        const unsigned char code = d[pos + 3];
        if (image < 0) {
            if (code == CodeImage) image = pos;
        } else if (EnTeteMpeg4(code)) {
            return pos;
        }
    }
    return image >= 0 ? n : -1;
}

int32_t DebutImageH264(const unsigned char* d, int32_t n) {
    const int32_t premier = ChercherCodeDebut(d, n, 0);
    if (premier < 0) return -1;
    bool trancheVue = EtatInitial(d, premier);
    for (int32_t pos = premier; pos >= 0; pos = ChercherCodeDebut(d, n, pos + 3)) {
        const Nal u = LireNal(d, n, pos);
        if (u.type < 0) break;
        if (DebuteUnite(u, trancheVue)) return pos;
        if (EstTranche(u.type)) trancheVue = true;
    }
    return -1;
}

int32_t FinPremiereImageH264(const unsigned char* d, int32_t n) {
    bool trancheVue = false;
    int32_t debutDerniere = -1;
    for (int32_t pos = ChercherCodeDebut(d, n, 0); pos >= 0; pos = ChercherCodeDebut(d, n, pos + 3)) {
        const Nal u = LireNal(d, n, pos);
        if (u.type < 0) break;
        if (trancheVue && DebuteUnite(u, true)) {
            // The zero of a 4-byte start code goes with the next picture.
            if (pos > debutDerniere + 3 && d[pos - 1] == 0) return pos - 1;
            return pos;
        }
        if (EstTranche(u.type)) trancheVue = true;
        debutDerniere = pos;
    }
    return trancheVue ? n : -1;
}

int32_t DebutImageRefH264(const unsigned char* d, int32_t n, int32_t* nbIdr) {
    if (nbIdr) *nbIdr = 0;
    const int32_t premier = ChercherCodeDebut(d, n, 0);
    if (premier < 0) return -1;
    int32_t compte = 0;
    int32_t premiereIdr = -1;
    int32_t debutUnite = premier;
    bool spsDansUnite = false;
    bool trancheVue = true;  // whatever precedes the first start code is another picture
    for (int32_t pos = premier; pos >= 0; pos = ChercherCodeDebut(d, n, pos + 3)) {
        const Nal u = LireNal(d, n, pos);
        if (u.type < 0) break;
        const bool nouvelle = DebuteUnite(u, trancheVue);
        if (nouvelle) {
            debutUnite = pos;
            spsDansUnite = false;
            trancheVue = false;
        }
        if (u.type == NalSps) spsDansUnite = true;
        if (u.type == NalIdr && !trancheVue) {
            // First slice of an IDR picture.
            ++compte;
            if (spsDansUnite) {
                if (nbIdr) *nbIdr = compte;
                return debutUnite;
            }
            if (premiereIdr < 0) premiereIdr = debutUnite;
        }
        if (EstTranche(u.type)) trancheVue = true;
    }
    if (nbIdr) *nbIdr = compte;
    return premiereIdr;
}

bool ImageIntraMpeg4(const unsigned char* d, int32_t n) {
    bool couche = false;
    for (int32_t pos = ChercherCodeDebut(d, n, 0); pos >= 0 && static_cast<int64_t>(pos) + 4 < n;
         pos = ChercherCodeDebut(d, n, pos + 3)) {
        const unsigned char code = d[pos + 3];
        if (code >= 0x20 && code <= 0x2F) couche = true;  // video object layer
        if (code == CodeImage) return couche && (d[pos + 4] >> 6) == 0;  // vop_coding_type I
    }
    return false;
}

bool ImageIdrH264(const unsigned char* d, int32_t n) {
    for (int32_t pos = ChercherCodeDebut(d, n, 0); pos >= 0; pos = ChercherCodeDebut(d, n, pos + 3)) {
        const Nal u = LireNal(d, n, pos);
        if (u.type < 0) break;
        if (u.type == NalIdr) return true;
        if (EstTranche(u.type)) return false;
    }
    return false;
}

bool ImageIdrAvecParametresH264(const unsigned char* d, int32_t n) {
    bool sps = false, pps = false;
    for (int32_t pos = ChercherCodeDebut(d, n, 0); pos >= 0; pos = ChercherCodeDebut(d, n, pos + 3)) {
        const Nal u = LireNal(d, n, pos);
        if (u.type < 0) break;
        if (u.type == NalSps) sps = true;
        if (u.type == NalPps) pps = true;
        if (EstTranche(u.type)) return u.type == NalIdr && sps && pps;
    }
    return false;
}

int32_t EntetesH264(const unsigned char* d, int32_t n) {
    bool sps = false;
    for (int32_t pos = ChercherCodeDebut(d, n, 0); pos >= 0; pos = ChercherCodeDebut(d, n, pos + 3)) {
        const Nal u = LireNal(d, n, pos);
        if (u.type < 0) break;
        if (u.type == NalSps) sps = true;
        if (EstTranche(u.type)) return sps ? pos : -1;
    }
    return -1;
}

int32_t EntetesMpeg4(const unsigned char* d, int32_t n) {
    bool couche = false;
    for (int32_t pos = ChercherCodeDebut(d, n, 0); pos >= 0 && static_cast<int64_t>(pos) + 3 < n;
         pos = ChercherCodeDebut(d, n, pos + 3)) {
        const unsigned char code = d[pos + 3];
        if (code >= 0x20 && code <= 0x2F) couche = true;
        if (code == CodeImage) return couche ? pos : -1;
    }
    return -1;
}
