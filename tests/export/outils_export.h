// Helpers of the export tests: films from the film maker, command output,
// and reading an AVI back (its header fields, its index, its pictures).
#pragma once

#include "commun/fichiers_essai.h"
#include "filmmaker.h"
#include "numero_image.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

// Output of a shell command (stdout only).
inline std::string Commande(const std::string& c)
{
    std::string r;
    if (FILE* f = popen(c.c_str(), "r")) {
        char tampon[4096];
        size_t n;
        while ((n = fread(tampon, 1, sizeof tampon, f)) > 0)
            r.append(tampon, n);
        pclose(f);
    }
    return r;
}

inline uint32_t Mot32(const unsigned char* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// One entry of the AVI's idx1 index, with the sample's bytes.
struct EchantillonAvi {
    bool cle = false;
    Octets donnees;
};

// The samples of an AVI, read through its idx1 index (offsets relative to
// the "movi" list, as the muxer writes them).
inline std::vector<EchantillonAvi> LireIndexAvi(const Octets& f)
{
    std::vector<EchantillonAvi> r;
    auto chercher = [&](const char* id) -> size_t {
        for (size_t i = 12; i + 4 <= f.size(); ++i)
            if (std::memcmp(f.data() + i, id, 4) == 0)
                return i;
        return std::string::npos;
    };
    const size_t movi = chercher("movi");
    const size_t idx1 = chercher("idx1");
    if (movi == std::string::npos || idx1 == std::string::npos)
        return r;
    const uint32_t taille = Mot32(f.data() + idx1 + 4);
    for (size_t e = idx1 + 8; e + 16 <= idx1 + 8 + taille && e + 16 <= f.size(); e += 16) {
        EchantillonAvi s;
        s.cle = (Mot32(f.data() + e + 4) & 0x10) != 0;
        const size_t pos = movi + Mot32(f.data() + e + 8) + 8;
        const size_t n = Mot32(f.data() + e + 12);
        if (pos + n <= f.size())
            s.donnees.assign(f.begin() + long(pos), f.begin() + long(pos + n));
        r.push_back(std::move(s));
    }
    return r;
}

// Picture numbers of every picture ffmpeg decodes from a video file.
inline std::vector<int> NumerosDecodes(const std::string& chemin, int largeur, int hauteur)
{
    const std::string brut = Commande("ffmpeg -v error -i '" + chemin + "' -f rawvideo -pix_fmt rgb24 - 2>/dev/null");
    std::vector<int> numeros;
    const size_t image = size_t(largeur) * hauteur * 3;
    for (size_t i = 0; image > 0 && i + image <= brut.size(); i += image)
        numeros.push_back(LireNumeroRGB(reinterpret_cast<const uint8_t*>(brut.data() + i), largeur, hauteur));
    return numeros;
}
