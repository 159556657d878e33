// Exact start of a reader run from the film's picture index: the picture
// asked for, the key picture the decoding starts on, and the count of the
// pictures decoded on the way, which are not handed over. Plain functions
// and a small counter; the reader thread calls them from its run.
#pragma once

#include "engine/index_images.h"

#include <cstdint>
#include <algorithm>
#include <memory>

// Jumps of the arrow keys, in seconds: the window's seeks, and the targets
// the reader decodes ahead.
constexpr int SautCourtSecondes = 5;
constexpr int SautLongSecondes = 60;

struct DepartExact {
    bool exact = false;      // false: the proportional rule applies
    int64_t image = 0;       // k, the first picture handed over
    int64_t cle = 0;         // last key picture at or before k
    int64_t octet = 0;       // file offset of that key picture
    int64_t nbImages = 0;    // N', pictures in the index
    // Sequence headers to put before the key picture: set when decoding
    // starts past the first picture on a key picture that does not repeat
    // them (a decoder opened for the run has not seen them).
    int64_t debutEntetes = -1, finEntetes = -1;
};

// Where a run from second `seconde` of a film of `dureeSecondes` starts:
// picture `imageDemandee` when it is >= 0 (a picture step), else
// trunc(seconde * N' / duration). Not exact without an index, with an empty
// one, or when no key picture lies at or before k.
DepartExact CalculerDepartExact(const IndexImages* index, int32_t seconde, uint32_t dureeSecondes,
                                int64_t imageDemandee);

// Reader side: the exact start of a run of channel `voie` on `chemin`, from
// the published index, SecondeDepart's value `seconde` and the channel's
// ImageDemandee (which a playing run, `imageUnique` false, uses up).
DepartExact DepartExactDuRun(int voie, const char* chemin, int32_t seconde, uint32_t dureeSecondes,
                             bool imageUnique);

// Counts the good pictures of an exact run and tells which to hand over.
class SuiviExact
{
public:
    void Debuter(const DepartExact& d)
    {
        depart_ = d;
        prochaine_ = d.cle;
    }
    bool Exact() const { return depart_.exact; }
    // After a good picture: false for a picture before k (decoded for its
    // references only), true from k on (always true when not exact).
    bool AMontrer()
    {
        if (!depart_.exact)
            return true;
        courante_ = prochaine_++;
        return courante_ >= depart_.image;
    }
    // Film picture number of the last good picture (exact runs).
    int64_t Courante() const { return courante_; }
    const DepartExact& Depart() const { return depart_; }

private:
    DepartExact depart_;
    int64_t prochaine_ = 0;
    int64_t courante_ = -1;
};

class FluxFilm;
enum OuvertureFlux : int;

// Opens the film for a run of channel `voie`: exactly at the picture the
// index gives (DepartExactDuRun), else by the proportional rule; `suivi`
// is set up for the run either way.
OuvertureFlux OuvrirFluxDuRun(FluxFilm& flux, SuiviExact& suivi, int voie, const char* chemin, int32_t seconde,
                              uint32_t dureeSecondes, bool imageUnique, const char* motDePasse);

// Opens the film for a run from an exact start already computed (or by the
// proportional rule when `d` is not exact); `suivi` is set up either way.
OuvertureFlux OuvrirFluxDepuis(FluxFilm& flux, SuiviExact& suivi, const DepartExact& d, const char* chemin,
                               int32_t seconde, uint32_t dureeSecondes, const char* motDePasse);
