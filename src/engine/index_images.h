// Picture index of a film body: where each picture starts and whether
// decoding can start there. Plain functions over bytes, fed block by block
// (a marker may be split between two blocks); no clock, thread or file.
//
// What counts as a picture start, by kind:
// - MJPEG: a start-of-image FF D8, counted once its end-of-image FF D9 has
//   come (the reader drops a picture cut short); markers between the two
//   belong to the picture. Every picture is a key picture.
// - MPEG-4: a picture start code 00 00 01 B6; intra (key) when the two top
//   bits of the next byte are clear. Header units just before it (sequence,
//   object layer, group, user data) belong to the picture.
// - H.264: the first slice of a picture (00 00 01, unit type 1 or 5, and
//   first_mb_in_slice 0, i.e. the top bit of the byte after the unit
//   header); IDR pictures (type 5) are key pictures. Parameter sets, SEI and
//   delimiters just before it belong to the picture.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

// One picture: its file offset shifted left by two, in bit 1 whether
// sequence headers (object layer, sequence parameter set) come with it, in
// bit 0 whether it is a key picture. Eight bytes a picture: a one-hour film
// at 25 pictures/s takes 720 kB.
using EntreeIndex = uint64_t;
inline EntreeIndex FaireEntree(int64_t octet, bool cle, bool entetes = false)
{
    return static_cast<EntreeIndex>(octet) << 2 | (entetes ? 2u : 0u) | (cle ? 1u : 0u);
}

// Most pictures indexed (128 MB of index): a film with more, which only
// junk or a film of tiny pictures can be, is not indexed and seeks by the
// proportional rule.
constexpr int64_t PlafondIndexImages = int64_t(1) << 24;

struct IndexImages {
    std::vector<EntreeIndex> entrees;
    // Size of the film file the index was built from (-1: not known). An
    // index no longer describes a film whose size changed.
    int64_t tailleFichier = -1;
    // MPEG-4 and H.264: the sequence headers (object layer, parameter sets)
    // met before the first picture, [debutEntetes, finEntetes) in the file;
    // both -1 when there were none. A decoder started on a later key
    // picture that does not repeat them needs them first.
    int64_t debutEntetes = -1;
    int64_t finEntetes = -1;

    int64_t Nombre() const { return static_cast<int64_t>(entrees.size()); }
    int64_t Octet(int64_t k) const { return static_cast<int64_t>(entrees[static_cast<size_t>(k)] >> 2); }
    bool Cle(int64_t k) const { return (entrees[static_cast<size_t>(k)] & 1u) != 0; }
    bool AvecEntetes(int64_t k) const { return (entrees[static_cast<size_t>(k)] & 2u) != 0; }
    // Last key picture at or before k (k is clamped into the index); -1
    // when there is none.
    int64_t CleAuPlusTard(int64_t k) const;
    // First key picture at or after k; -1 when there is none.
    int64_t CleAuPlusTot(int64_t k) const;
};

class ScanneurImages
{
public:
    // `type`: 0 MPEG-4, 1 MJPEG, 2 H.264. `origine`: file offset of the
    // first byte that will be given (8 for a whole body). Past `plafond`
    // pictures the scanner stops and Terminer() leaves an empty index.
    explicit ScanneurImages(int type, int64_t origine = 0, int64_t plafond = PlafondIndexImages);

    // The next `n` bytes of the body.
    void Ajouter(const unsigned char* d, size_t n);
    // End of the body; the index is then complete (its spare room freed).
    void Terminer();

    // More pictures than the cap were met: the rest is not examined.
    bool Plafonne() const { return plafonne_; }

    const IndexImages& Index() const { return index_; }
    IndexImages Prendre() { return std::move(index_); }

private:
    // Examines the marker candidates starting at positions [debut, fin) of
    // b[0 .. n), `origine` being the file offset of b[0]. Returns the next
    // position to examine, which is below fin when a marker there needs
    // bytes beyond n.
    size_t Balayer(const unsigned char* b, size_t n, size_t debut, size_t fin, int64_t origine);
    void CodeDebut(const unsigned char* b, size_t p, int64_t origine);
    void Noter(int64_t octet, bool cle);
    bool entetes_ = false;        // sequence headers met since the last picture
    int64_t plafond_;
    bool plafonne_ = false;

    int type_;
    int64_t position_;            // file offset of the next byte given
    std::vector<unsigned char> reste_; // bytes whose markers were not examined yet
    int avantReste_ = -1;         // the byte before reste_ (-1: none)
    int avant_ = -1;              // the byte before the buffer Balayer examines
    // MJPEG: inside a picture since debutJpeg_.
    bool dansJpeg_ = false;
    int64_t debutJpeg_ = 0;
    // MPEG-4 and H.264: first header unit since the last picture, or -1.
    int64_t enAttente_ = -1;
    IndexImages index_;
};

// The index of a body held whole in memory, fed in blocks of `bloc` bytes
// (0: at once). `origine` is the file offset of d[0].
IndexImages IndexerOctets(int type, const unsigned char* d, size_t n, int64_t origine = 8, size_t bloc = 0);

// Picture of a start second: k = trunc(t * N / duree), within [0, N - 1];
// 0 for an empty index or a zero duration.
int64_t ImagePourSeconde(double seconde, uint32_t dureeSecondes, int64_t nbImages);
// Film time of picture k, in milliseconds: k * dureeMs / N (truncated).
int64_t MsPourImage(int64_t k, uint32_t dureeMs, int64_t nbImages);
