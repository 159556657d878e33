// Motion search over a whole film: the film is read in chunks, its pictures
// decoded to their luma plane only (no colour conversion) at reduced cost,
// and fed to the detector (mouvement.h).
//
// Reduced cost, by kind: H.264 without its loop filter and without the
// pictures no other picture refers to, MPEG-4 without such pictures, both
// on two frame threads (both cores); MJPEG pictures stand alone, so only
// those the detector analyses are decoded, in grey and at a reduced scale.
// Memory stays flat whatever the film's length: one chunk, the decoder's
// pictures and the detector's few grids.
#pragma once

#include "engine/mouvement.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct ParametresRecherche {
    std::string cheminFilm;
    RectangleMouvement rectangle;  // picture pixels
    int sensibilite = SensibiliteDefaut;
    std::string motDePasse;        // opens a protected film
};

struct SuiviRecherche {
    // Bytes of the film read so far and in all; called after each chunk, on
    // the searching thread.
    std::function<void(int64_t fait, int64_t total)> progression;
    // Raised by another thread to stop; polled between pictures.
    const std::atomic<bool>* annuler = nullptr;
};

enum class ResultatRecherche {
    Terminee,
    Annulee,
    FilmIllisible,  // not a film (name, header), or cannot be opened
    ErreurLecture,  // a read failed on the way
    SansDecodeur,   // the decoder could not be set up
    HorsImage,      // the rectangle lies outside the first picture
};

struct BilanRecherche {
    ResultatRecherche resultat = ResultatRecherche::FilmIllisible;
    std::vector<MomentMouvement> moments;
    std::vector<VignetteMouvement> vignettes;  // one per moment, same order
    int64_t images = 0;     // pictures decoded
    int64_t analysees = 0;  // of which analysed
    int largeur = 0, hauteur = 0;  // picture size (full scale)
    uint32_t dureeMs = 0;          // the film's header
};

// True when the rectangle (positive sides) overlaps a picture of that size.
bool RectangleDansImage(const RectangleMouvement& r, int largeur, int hauteur);

// Searches the film for motion inside the rectangle. Runs on the caller's
// thread (plus the decoder's own). The search stops at the first picture
// when the rectangle does not overlap it (HorsImage).
BilanRecherche ChercherMouvement(const ParametresRecherche& p, const SuiviRecherche& suivi = {});

// French message for a result other than Terminee.
const char* MessageRecherche(ResultatRecherche r);
