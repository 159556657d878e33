// Playback in both directions driven by J, K and L as plain functions: the
// keys, what each key does to the direction, speed and pause, the speed
// label with its direction, where a new run in the other direction starts,
// and what the window does when a backwards run reaches the film's start.
//
// J plays backwards, K pauses, L plays forwards. J (or L) again while
// playing in that direction doubles the speed, up to x 16. Starting from a
// pause or a stop, or turning round, starts at x 1: a faster speed in the
// other direction would jump far from the picture the user was looking at.
#pragma once

#include "ui/transport_calcul.h"

#include <cstdint>
#include <string>

enum class ToucheJkl {
    Aucune,
    Arriere, // J
    Pause,   // K
    Avant,   // L
    Fin,     // End: the film's last picture
};

// The action of a key press (Qt's key code); modified keys are left to
// others.
ToucheJkl ToucheJklPour(int touche, bool ctrl, bool alt);

// What J, K and L look at and change.
struct EtatJkl {
    int sens = 1;         // 1 forwards, -1 backwards
    int cran = CranVitesseNormal; // position of the speed gauge
    bool lecture = false; // playing, neither paused nor stopped
};

bool operator==(const EtatJkl& a, const EtatJkl& b);

// The state after J, K or L (any other key leaves it as it is).
EtatJkl TransitionJkl(const EtatJkl& e, ToucheJkl t);

// Gauge position of at least twice the speed of `cran`, at most x 16.
int CranDouble(int cran);

// The speed label: "x 4" forwards, "x -4" backwards.
std::string TexteVitesseSens(int cran, int sens);

// Where a run in the other direction starts: the picture on screen.
struct Reprise {
    int32_t seconde = 0; // the slider's second of that picture
    int64_t image = -1;  // the picture to start on, -1: from `seconde`
};
// `montree` and `msMontree` are the last picture handed over and its film
// time (-1: none yet), `exacte` tells whether `montree` counts the index's
// pictures. Without a picture the run starts at `secondeDepart`.
Reprise RepriseSurImageMontree(int64_t montree, int64_t msMontree, bool exacte, int32_t secondeDepart,
                               uint32_t dureeFilm);

// What the display tick does about the film's start.
enum class DebutDeFilm {
    Continuer,  // no backwards run has reached the start
    Arreter,    // stop there
    Precedent,  // "Enchainer dans heure": go on at the end of the previous film
};
DebutDeFilm DeciderDebutDeFilm(bool lecture, bool debutDeFilm, bool enchainer);
