#include "export/photo.h"

#include "codecs/bitmap.h"
#include "export/avi_export.h"

#include <turbojpeg.h>

#include <cctype>
#include <cstdlib>
#include <cstring>

namespace {

int32_t Lire32(const unsigned char* p)
{
    return int32_t(uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24);
}

int Lire16(const unsigned char* p)
{
    return p[0] | p[1] << 8;
}

} // namespace

std::string CheminPhoto(const std::string& choisi)
{
    if (choisi.empty() || choisi.size() > size_t(LongueurMaxCheminExport))
        return std::string();
    const size_t n = choisi.size();
    const bool finJpg = n > 4 && choisi[n - 4] == '.' && std::tolower((unsigned char)choisi[n - 3]) == 'j'
                        && std::tolower((unsigned char)choisi[n - 2]) == 'p'
                        && std::tolower((unsigned char)choisi[n - 1]) == 'g';
    return finJpg ? choisi : choisi + ".jpg";
}

int BitmapToJpeg(const unsigned char* bitmap, int32_t taille, unsigned char* destination, int32_t* nbJpeg,
                 int32_t place)
{
    *nbJpeg = 0;
    if (!bitmap || !destination || taille < KOR_BITMAP_ENTETE || bitmap[0] != 'B' || bitmap[1] != 'M')
        return -1;
    const int32_t debutPixels = Lire32(bitmap + 10);
    const int32_t largeur = Lire32(bitmap + 18);
    const int32_t hauteurSignee = Lire32(bitmap + 22);
    if (Lire16(bitmap + 26) != 1 || Lire16(bitmap + 28) != 24 || Lire32(bitmap + 30) != 0)
        return -1;
    const int32_t hauteur = hauteurSignee < 0 ? -hauteurSignee : hauteurSignee;
    const int32_t pas = BitmapTailleLigne(largeur);
    if (largeur < 1 || hauteur < 1 || pas < 0 || debutPixels < KOR_BITMAP_ENTETE
        || int64_t(debutPixels) + int64_t(pas) * hauteur > taille)
        return -1;
    tjhandle h = tjInitCompress();
    if (!h)
        return -1;
    unsigned char* jpeg = nullptr;
    unsigned long nb = 0;
    const int flags = hauteurSignee > 0 ? TJFLAG_BOTTOMUP : 0;
    const int r = tjCompress2(h, bitmap + debutPixels, largeur, pas, hauteur, TJPF_BGR, &jpeg, &nb,
                              TJSAMP_420, QualitePhoto, flags);
    int resultat = -1;
    if (r == 0 && jpeg && nb > 0 && nb <= (unsigned long)place) {
        std::memcpy(destination, jpeg, nb);
        *nbJpeg = int32_t(nb);
        resultat = 0;
    }
    tjFree(jpeg);
    tjDestroy(h);
    return resultat;
}
