#include "engine/index_images.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>

namespace {

constexpr int TypeIndexMpeg4 = 0;
constexpr int TypeIndexMjpeg = 1;

// Bytes a marker needs from its first byte: 00 00 01 xx yy for the start
// codes (yy: MPEG-4 coding type, H.264 first slice bit), FF xx for JPEG.
constexpr size_t LongueurCode = 5;
constexpr size_t LongueurJpeg = 2;
// Bytes of the next block joined to the held ones: more than any marker.
constexpr size_t Jointure = 16;

constexpr unsigned char CodeImageMpeg4 = 0xB6;
constexpr unsigned char CodeCoucheMin = 0x20, CodeCoucheMax = 0x2F; // video object layer
constexpr int NalNonIdr = 1, NalIdr = 5, NalSei = 6, NalSps = 7, NalFinFlux = 11;

} // namespace

int64_t IndexImages::CleAuPlusTard(int64_t k) const
{
    if (entrees.empty())
        return -1;
    k = std::min<int64_t>(std::max<int64_t>(k, 0), Nombre() - 1);
    for (int64_t i = k; i >= 0; --i)
        if (Cle(i))
            return i;
    return -1;
}

int64_t IndexImages::CleAuPlusTot(int64_t k) const
{
    for (int64_t i = std::max<int64_t>(k, 0); i < Nombre(); ++i)
        if (Cle(i))
            return i;
    return -1;
}

ScanneurImages::ScanneurImages(int type, int64_t origine, int64_t plafond)
    : plafond_(plafond), type_(type), position_(origine)
{
}

void ScanneurImages::Noter(int64_t octet, bool cle)
{
    if (index_.Nombre() >= plafond_) {
        plafonne_ = true;
        return;
    }
    index_.entrees.push_back(FaireEntree(octet, cle, entetes_));
    entetes_ = false;
}

void ScanneurImages::CodeDebut(const unsigned char* b, size_t p, int64_t origine)
{
    const int64_t ici = origine + static_cast<int64_t>(p);
    const unsigned char code = b[p + 3];
    if (type_ == TypeIndexMpeg4) {
        if (code == CodeImageMpeg4) {
            if (index_.debutEntetes >= 0 && index_.finEntetes < 0)
                index_.finEntetes = ici;
            Noter(enAttente_ >= 0 ? enAttente_ : ici, (b[p + 4] >> 6) == 0);
            enAttente_ = -1;
        } else {
            if (enAttente_ < 0)
                enAttente_ = ici;
            if (code >= CodeCoucheMin && code <= CodeCoucheMax)
                entetes_ = true;
            if (index_.debutEntetes < 0 && index_.entrees.empty())
                index_.debutEntetes = enAttente_;
        }
        return;
    }
    if ((code & 0x80) != 0)
        return; // forbidden bit: not a unit header
    const int nal = code & 0x1F;
    // A four-byte start code: the picture starts on its leading zero.
    const int precedent = p > 0 ? b[p - 1] : avant_;
    const int64_t unite = precedent == 0 ? ici - 1 : ici;
    if (nal == NalNonIdr || nal == NalIdr) {
        if (index_.debutEntetes >= 0 && index_.finEntetes < 0)
            index_.finEntetes = unite;
        if ((b[p + 4] & 0x80) != 0) // first_mb_in_slice = 0: a new picture
            Noter(enAttente_ >= 0 ? enAttente_ : unite, nal == NalIdr);
        enAttente_ = -1;
    } else if (nal >= NalSei && nal <= NalFinFlux) {
        if (enAttente_ < 0)
            enAttente_ = unite;
        if (nal == NalSps)
            entetes_ = true;
        if (nal == NalSps && index_.debutEntetes < 0 && index_.entrees.empty())
            index_.debutEntetes = enAttente_;
    }
}

size_t ScanneurImages::Balayer(const unsigned char* b, size_t n, size_t debut, size_t fin, int64_t origine)
{
    size_t p = debut;
    if (type_ == TypeIndexMjpeg) {
        while (p < fin) {
            const void* q = std::memchr(b + p, 0xFF, std::min(fin, n) - p);
            if (q == nullptr)
                return fin;
            p = static_cast<size_t>(static_cast<const unsigned char*>(q) - b);
            if (p + LongueurJpeg > n)
                return p;
            const unsigned char m = b[p + 1];
            if (!dansJpeg_ && m == 0xD8) {
                dansJpeg_ = true;
                debutJpeg_ = origine + static_cast<int64_t>(p);
                p += 2;
            } else if (dansJpeg_ && m == 0xD9) {
                dansJpeg_ = false;
                Noter(debutJpeg_, true);
                p += 2;
            } else {
                ++p;
            }
        }
        return p;
    }
    // 00 00 01: look for the 01, then check the two bytes before it.
    while (p < fin) {
        const size_t de = p + 2;
        const size_t jusque = std::min(fin + 2, n);
        if (de >= jusque)
            return p;
        const void* q = std::memchr(b + de, 0x01, jusque - de);
        if (q == nullptr)
            return std::max(p, jusque - 2);
        const size_t un = static_cast<size_t>(static_cast<const unsigned char*>(q) - b);
        const size_t c = un - 2;
        if (b[c] != 0 || b[c + 1] != 0) {
            p = c + 1;
            continue;
        }
        if (c + LongueurCode > n)
            return c;
        CodeDebut(b, c, origine);
        p = c + 3;
    }
    return p;
}

void ScanneurImages::Ajouter(const unsigned char* d, size_t n)
{
    if (d == nullptr || n == 0 || plafonne_)
        return;
    size_t depart = 0; // first position of d still to examine
    if (!reste_.empty()) {
        // The held bytes are examined joined to the start of this block,
        // so that a marker split between the two is seen whole.
        const size_t tenus = reste_.size();
        const size_t m = std::min(n, Jointure);
        const int64_t origineReste = position_ - static_cast<int64_t>(tenus);
        std::vector<unsigned char> joint(reste_);
        avant_ = avantReste_;
        joint.insert(joint.end(), d, d + m);
        position_ += static_cast<int64_t>(n);
        if (m == n) {
            // A small block: it lies whole in the joint.
            const size_t s = Balayer(joint.data(), joint.size(), 0, joint.size(), origineReste);
            const size_t garde = std::min(s, joint.size());
            if (garde > 0)
                avantReste_ = joint[garde - 1];
            reste_.assign(joint.begin() + static_cast<std::ptrdiff_t>(garde), joint.end());
            avant_ = d[n - 1];
            return;
        }
        // Every marker starting in the held bytes fits in the joint.
        const size_t s = Balayer(joint.data(), joint.size(), 0, tenus, origineReste);
        depart = s - tenus;
        avant_ = joint[tenus - 1];
        reste_.clear();
    } else {
        position_ += static_cast<int64_t>(n);
    }
    const int64_t origine = position_ - static_cast<int64_t>(n);
    const size_t s = depart < n ? Balayer(d, n, depart, n, origine) : n;
    if (s < n) {
        avantReste_ = s > 0 ? d[s - 1] : avant_;
        reste_.assign(d + s, d + n);
    }
    avant_ = d[n - 1];
}

void ScanneurImages::Terminer()
{
    // Markers in the held tail lack their last bytes: a start code there
    // begins no whole picture, and an unfinished JPEG is dropped.
    reste_.clear();
    reste_.shrink_to_fit();
    dansJpeg_ = false;
    if (plafonne_)
        index_ = IndexImages{}; // a partial index is no index
    index_.entrees.shrink_to_fit();
}

IndexImages IndexerOctets(int type, const unsigned char* d, size_t n, int64_t origine, size_t bloc)
{
    ScanneurImages s(type, origine);
    if (bloc == 0)
        bloc = n;
    for (size_t i = 0; i < n; i += bloc)
        s.Ajouter(d + i, std::min(bloc, n - i));
    s.Terminer();
    return s.Prendre();
}

int64_t ImagePourSeconde(double seconde, uint32_t dureeSecondes, int64_t nbImages)
{
    if (nbImages <= 0 || dureeSecondes == 0 || !(seconde > 0))
        return 0;
    const double k = std::floor(seconde * static_cast<double>(nbImages) / dureeSecondes);
    return std::min<int64_t>(static_cast<int64_t>(std::min(k, 9e18)), nbImages - 1);
}

int64_t MsPourImage(int64_t k, uint32_t dureeMs, int64_t nbImages)
{
    if (nbImages <= 0 || k <= 0)
        return 0;
    return static_cast<int64_t>(static_cast<double>(k) * dureeMs / static_cast<double>(nbImages));
}
