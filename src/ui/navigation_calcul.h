// Exact navigation of the main window: which key does what, jumps, picture
// steps, the "image k / N'" label and the go-to time. Plain functions.
#pragma once

#include "engine/lecture_exacte.h" // the jumps of the arrow keys

#include <cstdint>
#include <string>

enum class ActionTouche {
    Aucune,
    LecturePause,    // Space
    Reculer5,        // Left
    Avancer5,        // Right
    Avancer60,       // Up
    Reculer60,       // Down
    Debut,           // Home
    ImageSuivante,   // "."
    ImagePrecedente, // ","
    AllerA,          // Ctrl+G
};


// The action of a key press: `touche` is Qt's key code, `texte` the text it
// types (".", "," whatever the keyboard layout needs to type them).
ActionTouche ActionPourTouche(int touche, bool ctrl, bool alt, const std::string& texte);

// position + saut, kept within [0, duree].
int SecondeApresSaut(int position, int saut, int duree);

// Picture after a step of `sens` (+1 / -1) from picture `montree` of
// `nbImages`; -1 when there is none (no index, already at the end).
int64_t ImageDuPas(int64_t montree, int sens, int64_t nbImages);

// "image k / N".
std::string TexteImage(int64_t k, int64_t nbImages);

// "hh:mm:ss" (or "hh:mm"), spaces around allowed, to seconds; -1 when
// malformed (minutes or seconds above 59, hours above 23 with `jour`).
int LireHeureSaisie(const std::string& texte, bool jour);

// Film second of a go-to time: with the film's dates, `secondes` is a time
// of day on the film's first day (or the next one, for a film that runs
// past midnight), mapped back through the read-out's date span; without,
// it counts from the film's start. -1 when outside [0, dureeFilm].
int SecondePourAllerA(int secondes, uint32_t dureeFilm, bool dates, double dateDebut, double dateFin);
