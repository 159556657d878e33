#include "engine/reperes.h"

#include <cstring>

namespace {

// Index of the first `a b` pair at or after `depuis`, with the pair's first
// byte below `limite`; -1 when there is none. memchr finds the first bytes.
int32_t ChercherPaire(const unsigned char* d, int32_t depuis, int32_t limite, unsigned char a,
                      unsigned char b)
{
    int32_t i = depuis;
    while (i < limite) {
        const void* p = std::memchr(d + i, a, static_cast<size_t>(limite - i));
        if (p == nullptr)
            return -1;
        i = static_cast<int32_t>(static_cast<const unsigned char*>(p) - d);
        if (d[i + 1] == b)
            return i;
        ++i;
    }
    return -1;
}

// First 00 00 01 at or after `depuis` with i < limite; the caller keeps
// limite <= n - 3 so that the three bytes are inside the data.
int32_t ChercherCodeDebut(const unsigned char* d, int32_t depuis, int32_t limite)
{
    int32_t i = depuis;
    while (i < limite) {
        const void* p = std::memchr(d + i + 2, 1, static_cast<size_t>(limite - i));
        if (p == nullptr)
            return -1;
        const int32_t j = static_cast<int32_t>(static_cast<const unsigned char*>(p) - d) - 2;
        if (d[j] == 0 && d[j + 1] == 0)
            return j;
        i = j + 1;
    }
    return -1;
}

} // namespace

int32_t ChercherDebutMpeg4(const unsigned char* d, int32_t n)
{
    if (d == nullptr || n < 5)
        return -1;
    int32_t i = 0;
    for (;;) {
        i = ChercherCodeDebut(d, i, n - 4);
        if (i < 0)
            return -1;
        const unsigned char code = d[i + 3];
        if (code == 0xB0 || (code == 0xB6 && d[i + 4] < 0x40))
            return i;
        ++i;
    }
}

int32_t ChercherImageJpeg(const unsigned char* d, int32_t n, int32_t* debut, int32_t* fin)
{
    if (d == nullptr || n < 4)
        return -1;
    const int32_t a = ChercherPaire(d, 0, n - 2, 0xFF, 0xD8);
    if (a < 0)
        return -1;
    const int32_t e = ChercherPaire(d, a + 2, n - 1, 0xFF, 0xD9);
    if (e < 0)
        return -1;
    *debut = a;
    *fin = e;
    return 0;
}

int32_t SautApresEchec(int type, const unsigned char* d, int32_t n)
{
    if (type == 1) {
        if (d != nullptr && n > 3) {
            const int32_t i = ChercherPaire(d, 1, n - 2, 0xFF, 0xD9);
            if (i > 0)
                return i;
        }
        return SautSansRepereMjpeg;
    }
    if (d != nullptr && n > 5) {
        if (type != 2) {
            const int32_t i = ChercherCodeDebut(d, 1, n - 4);
            if (i > 0)
                return i;
        } else {
            // 00 00 00 01 at i >= 1, i < n - 4: its 00 00 01 lies one byte on.
            int32_t j = 2;
            for (;;) {
                j = ChercherCodeDebut(d, j, n - 3);
                if (j < 0)
                    break;
                if (d[j - 1] == 0)
                    return j - 1;
                ++j;
            }
        }
    }
    return SautSansRepereCode;
}
