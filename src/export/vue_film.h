// A film file seen as one run of memory, so that an export walks a film of
// any size without holding it in memory: the bytes are copied in with pread
// just ahead of the walk, into anonymous pages that are given back behind
// it.
//
// The film is not mapped: a mapped file that shrinks under the export (a
// recorder rewriting it, a pulled USB stick) turns the next read of a lost
// page into SIGBUS. Copied with pread, a shrink is only a short read: the
// bytes past it stay zero, which no scan takes for a picture, and Tronquee()
// tells the export that the film was cut under it.
//
// A protected film's body is descrambled in place just ahead of the walk.
// An optional observer sees every byte of the file as stored (header first,
// scrambled bytes still scrambled) exactly once and in file order, as the
// walk reaches it; Terminer() hands it whatever the walk did not reach.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

using ObservateurOctets = std::function<void(const unsigned char* octets, size_t nb)>;

class VueFilm
{
public:
    VueFilm() = default;
    ~VueFilm();
    VueFilm(const VueFilm&) = delete;
    VueFilm& operator=(const VueFilm&) = delete;

    // Opens a regular film file of at least its 8 header bytes (never
    // waiting on a FIFO) and sets room aside for it. 0 ok, -1 when it is not
    // a regular file, cannot be opened, or is too short.
    int Ouvrir(const std::string& chemin, bool desembrouiller,
               ObservateurOctets observateur = nullptr);
    void Fermer();

    // The body (the bytes after the header) and its length.
    const unsigned char* Corps() const { return base_ ? base_ + decalageCorps_ : nullptr; }
    int64_t TailleCorps() const { return taille_ > decalageCorps_ ? int64_t(taille_ - decalageCorps_) : 0; }
    int64_t TailleFichier() const { return int64_t(taille_); }

    // Makes the body bytes below `fin` readable (descrambled, observed).
    // Work is done in steps, so the bytes made ready may run further.
    void Preparer(int64_t fin);
    // The walk will not come back below body offset `debut`: those pages
    // may be given back.
    void Liberer(int64_t debut);
    // Observes the rest of the file (the walk is over).
    void Terminer();

    // Body bytes made ready so far.
    int64_t Prepares() const { return int64_t(prepare_) - int64_t(decalageCorps_); }

    // True once the file has been found shorter than when it was opened:
    // the walk met an end of data that is not the film's end.
    bool Tronquee() const { return tronquee_; }

private:
    // Copies file bytes [debut, fin) in; false at a short read.
    bool Lire(size_t debut, size_t fin);

    int fd_ = -1;
    unsigned char* base_ = nullptr;
    size_t taille_ = 0;
    size_t decalageCorps_ = 0;
    size_t prepare_ = 0;  // file bytes made ready (read, or zero past a shrink)
    size_t lu_ = 0;       // file bytes actually read
    size_t libere_ = 0;   // file bytes given back
    bool desembrouiller_ = false;
    bool tronquee_ = false;
    ObservateurOctets observateur_;
};
