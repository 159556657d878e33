// Motion search over the day's films: every film of the day of the current
// film (the films the day strip shows, chronologie_calcul.h), one after the
// other in time order, with one progress over the whole. A protected film
// is searched with the typed password when it opens it, else left out with
// a note. Plain computation on files: no widget; runs on the caller's
// thread (plus the decoder's own).
#pragma once

#include "engine/recherche_mouvement.h"
#include "ui/chronologie_calcul.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// A moment found, with its film and its place in time.
struct MomentTrouve {
    std::string film;
    MomentMouvement moment;  // film seconds
    // Seconds of the day for a search of the day's films (the film's span
    // in the day, as the strip places it); film seconds otherwise.
    double instant = 0;
};

// A film of the day that was not searched, and why (French).
struct NoteFilm {
    std::string film;
    double instant = 0;  // the film's start in the day
    std::string texte;
};

struct SuiviJour {
    // Share done, 0 to 1000, over the bytes of all the films; and the film
    // under way (0-based) of how many. Called on the searching thread.
    std::function<void(int pourMille)> progression;
    std::function<void(size_t film, size_t nombre)> film;
    // Raised by another thread to stop; polled between pictures.
    const std::atomic<bool>* annuler = nullptr;
};

struct BilanJour {
    ResultatRecherche resultat = ResultatRecherche::Terminee;  // or Annulee
    std::vector<MomentTrouve> moments;         // by instant
    std::vector<VignetteMouvement> vignettes;  // one per moment, same order
    std::vector<NoteFilm> notes;               // by instant
    size_t filmsParcourus = 0;                 // searched to their end
};

// Share done (0 to 1000) of a search of films of `tailles` bytes, in that
// order, while film `film` is at `fait` of its `total` bytes.
int PourMilleJour(const std::vector<int64_t>& tailles, size_t film, int64_t fait, int64_t total);

// Searches every film of `jour` for motion in the rectangle of `p` (its
// film path is not used). Stops at the first film a cancel reaches
// (Annulee, with what the films before it gave); a film that cannot be
// searched (protected, unreadable, rectangle outside its pictures) gets a
// note and the search goes on.
BilanJour ChercherMouvementJour(const JourDeFilms& jour, const ParametresRecherche& p, const SuiviJour& suivi = {});

// Note of a protected film that the typed password does not open.
extern const char* const NoteFilmProtege;
