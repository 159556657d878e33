// Jump targets decoded ahead. While the reader of a single film has nothing
// to do, it decodes, one picture at a time between two looks at its
// commands, the pictures the arrow keys would land on (+60 s and -60 s from
// the second on screen; +5 s and -5 s come next where those coincide), each
// on a decoder of its own. A seek to
// one of them then hands over the picture already decoded, and the reader
// takes that decoder and its stream as its own, so that "." right after
// still decodes one picture.
#pragma once

#include "engine/groupe_images.h"
#include "engine/lecture_exacte.h"
#include "engine/lecture_film.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct AVFrame;
struct IndexImages;

// Targets the reader decodes ahead, hence decoders of its own: the two
// long jumps. Each decoder holds about 35 MB at 1080p (its frame threads
// and pictures); four of them took a paused player from 200 to 340 MB.
constexpr int NbCiblesPrevues = 2;
// Decoders the codec library has for it (korcodecs.h).
constexpr int NbCiblesPrevuesMax = 4;
// Quiet time after the reader's last command before it decodes ahead: a
// held key (30 a second) never waits for a picture decoded ahead.
constexpr int DelaiPrevisionMs = 80;

// Where the jumps from second `seconde` of a film of `dureeSecondes` land
// (positions kept within the film, as the keys keep them), in the order
// +60, -60, +5, -5 s: the exact starts a seek there takes, without repeats
// and without picture `montree` (already on screen). Empty without an
// exact start.
std::vector<DepartExact> CiblesDesSauts(const IndexImages& index, int32_t seconde, uint32_t dureeSecondes,
                                        int64_t montree);

class PrevisionSauts
{
public:
    // `nbCibles` targets at most (up to NbCiblesPrevuesMax), on decoders
    // `premiereInstance` on.
    explicit PrevisionSauts(int premiereInstance, int nbCibles = NbCiblesPrevues);
    ~PrevisionSauts();
    PrevisionSauts(const PrevisionSauts&) = delete;
    PrevisionSauts& operator=(const PrevisionSauts&) = delete;

    // The targets of film `chemin` (its kind, password and index). Targets
    // already being decoded keep their work; the others are dropped. A
    // different film, kind, password or index drops everything.
    void Viser(const char* chemin, int type, const char* motDePasse, std::shared_ptr<const IndexImages> index,
               const std::vector<DepartExact>& cibles);
    // A target is still to decode.
    bool AFaire() const;
    // Decodes one picture of the first target not ready. False when there
    // was none.
    bool Avancer();
    // Target picture `image` of that film, when ready: `image` gets a new
    // reference to its picture, `decodeur` and `flux` exchange their state
    // with the target's decoder and stream (which then continue after the
    // picture), `dureeMs` the film's header duration. False otherwise.
    bool Prendre(const char* chemin, int type, const char* motDePasse, const IndexImages* index, int64_t numero,
                 DecodeurImages& decodeur, FluxFilm& flux, AVFrame* image, uint32_t& dureeMs);
    // Drops the targets, their pictures and streams, and closes the decoders;
    // their memory goes back to the system (freed memory would otherwise
    // stay with the process, on top of what playback takes next). True
    // when anything was held.
    bool Oublier();

    // Pictures decoded ahead since construction.
    int64_t NbDecodages() const;

private:
    struct Place {
        std::unique_ptr<DecodeurImages> decodeur;
        GroupeImages groupe;
        int64_t cible = -1; // picture aimed at (-1: free)
    };
    void Liberer(Place& p);

    std::vector<std::unique_ptr<Place>> places_; // the most likely target first
    std::string chemin_, motDePasse_;
    int type_ = -1;
    std::shared_ptr<const IndexImages> index_;
    int64_t decodages_ = 0;
};
