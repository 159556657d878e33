// Transport rules as plain functions: the speed gauge table, the slider's
// tick gap, and what to do when a film stops.
#pragma once

#include <cstddef>
#include <cstdint>

// Positions of the speed gauge.
constexpr int CranVitesseMin = 0;
constexpr int CranVitesseMax = 20;
constexpr int CranVitesseNormal = 5; // "x 1"

struct CranVitesse {
    double vitesse;
    const char* texte; // what LabelVitesse shows
};

// Speed factor and label of a gauge position; any position outside 0..20
// gives 1.0 and "x 1".
CranVitesse VitessePourCran(int position);

// Tick gap of the position slider: about 300 ticks at most.
int EcartGraduations(uint32_t duree);

// What the display tick does once it has read the channel.
enum class FinDeFilm {
    Continuer, // still playing: go on with the position display
    Arreter,   // stopped or ended: stop and stay there
    Boucler,   // ended with "Lire en boucle": restart the same film at 0
    Enchainer, // ended with "Enchainer dans heure": play the next minute's film
};

FinDeFilm DeciderFinDeFilm(bool lecture, bool finDeFilm, bool boucle, bool enchainer);
