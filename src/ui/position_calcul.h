// Position read-out of the main window: the played second, the clock text
// and the recording date-time of a slider position. Plain functions.
#pragma once

#include <cstdint>
#include <string>

struct DecoupageTemps {
    int heures, minutes, secondes;
};

// t seconds split into hours, minutes and seconds (integer division).
DecoupageTemps DecouperTemps(int64_t t);

// Second shown for a progress share: trunc(duree x pourcent x 0.01), held
// at the film's end (never above duree, never below 0).
uint32_t SecondeJouee(uint32_t dureeFilm, double pourcentFilm);

// "%.150s (%02d:%02d:%02d / %02d:%02d:%02d)": path cut to 150 characters,
// position, duration.
std::string TexteLecture(const char* cheminFilm, int64_t position, int64_t duree);

// A date-time (days since 30/12/1899, time of day as the fraction) as
// "dd/mm/yyyy hh:nn:ss".
std::string FormaterDateHeure(double jours);

// Date-time of slider position p of maximum m over the film's date span:
// debut + (fin - debut) x p / m (debut when m is 0).
double DateDeLaPosition(double debut, double fin, int position, int maximum);

// The read-out of a position: the clock text, or with dates the date-time
// of the slider position put through "%.100s".
std::string TexteLectureComplet(const char* cheminFilm, int position, int maximum, uint32_t duree,
                                bool datesPresentes, double dateDebut, double dateFin);

// PositionSecondes from the slider: trunc(position x duree / maximum);
// false (nothing to store) when maximum is not above 0.
bool PositionDuCurseur(int position, int maximum, uint32_t duree, uint32_t& positionSecondes);
