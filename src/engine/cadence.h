// Pacing of the film pictures: interval between pictures at a speed, due
// time of a picture since the start of a run, and the wait before the next
// picture. Plain functions of numbers: no clock, no thread.
#pragma once

#include <cstdint>

// A picture is never held longer than this, whatever the speed: at x 0.1 on
// a slow film the interval would otherwise reach many seconds.
constexpr int AttenteMaxImageMs = 1000;

// Wait after a picture that came too late: the next one follows at once,
// after a token sleep that still lets the other threads run.
constexpr int AttenteImageEnRetardMs = 1;

// Speed 0 (never chosen from the gauge) plays a hundred times slower.
constexpr int FacteurVitesseNulle = 100;

// Milliseconds between two pictures at `vitesse`:
// trunc((dureeMs + 0.5) / (nbImages * vitesse)), or, for speed 0,
// (dureeMs / nbImages) * 100. 0 for a film of 0 pictures.
int32_t IntervalleImageMs(uint32_t dureeMs, uint32_t nbImages, double vitesse);

// What the pacing needs to know after a good picture. Times are milliseconds
// of one monotonic clock.
struct EtatCadence {
    bool relatif = false;        // a pause or a speed change happened in this run
    uint32_t imagesDecodees = 0; // good pictures since the start of the run, this one included
    uint32_t dureeMs = 0;        // header duration of the film
    uint32_t nbImages = 0;       // header picture count
    double vitesse = 1.0;
    int32_t intervalle = 0;      // IntervalleImageMs at this speed
    int64_t maintenant = 0;
    int64_t debutRun = 0;        // clock at the start of the run
    int64_t debutImage = 0;      // clock just before this picture was decoded
};

// Due time of the next picture, counted from the run start: picture k of a
// run (k = imagesDecodees) is followed by picture k + 1 at
// trunc((k * dureeMs + 0.5) / (nbImages * vitesse)). For speed 0: 0 when
// this picture took longer than the interval, else k * intervalle (the
// interval at speed 0 already holds the slow-down factor).
int64_t EcheanceImageMs(const EtatCadence& e);

// The wait before the next picture, not yet capped:
// - relative pacing: intervalle - time spent on this picture, or 1 when the
//   picture took longer than the interval;
// - absolute pacing: due time - time since the run start, or 1 when the
//   due time has passed.
int64_t AttenteBruteMs(const EtatCadence& e);

// The sleep actually taken: AttenteBruteMs capped at AttenteMaxImageMs.
int32_t AttenteImageMs(const EtatCadence& e);

// Share of the film (0 to 100) at the start of a run from second `seconde`
// of a film of `dureeSecondes`: what the progress reads until the run's
// first picture. 0 for a zero duration or a negative second.
double PourcentageDepart(int32_t seconde, uint32_t dureeSecondes);

// Film time in milliseconds of picture `numero` of a film of `nbImages`
// pictures over `dureeMs` (header words): numero * dureeMs / nbImages,
// integer division. 0 for 0 pictures or a negative number.
int64_t MsDeLImage(int64_t numero, uint32_t dureeMs, uint32_t nbImages);

// A failed picture sounds the system beep, at most once in this time so
// that a damaged film does not ring continuously.
constexpr int64_t IntervalleBipMs = 1000;

// True when a beep may sound at `maintenantMs`, the last one having sounded
// at `dernierBipMs` (updated when it may). Milliseconds of one steady clock.
bool BipPermis(int64_t maintenantMs, int64_t& dernierBipMs);
