// One wall clock over several films: where each film lies on it, which of
// its pictures the clock time stands for, and back. Plain functions; the
// clock object and the tiles call them.
//
// Clock times are microseconds counted from 30/12/1899 00:00 (the day count
// of the ".hrd" dates times a day), so that a picture's time never rounds
// onto its neighbour's.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

constexpr int64_t MicrosParJour = 86400LL * 1000000LL;
// Most films shown together.
constexpr int NbFilmsMosaiqueMax = 4;

// What the clock needs to know of a film.
struct FilmHorloge {
    uint32_t nbImages = 0;       // the header's picture count
    uint32_t dureeMs = 0;        // the header's duration
    bool dates = false;          // its ".hrd" was read
    double dateDebut = 0;        // day count of its first picture (with dates)
    int64_t nbImagesIndex = -1;  // pictures of its index, -1 while not indexed
};

// A film on the clock: [debut, fin) in clock microseconds.
struct PlageHorloge {
    int64_t debut = 0, fin = 0;
    bool valide = false; // a film with pictures and a duration
};

// Places every film: with dates at its ".hrd" start; without, all at the
// earliest dated start (at 0 when no film has dates). A film ends its
// duration after its start. An empty film (no picture or no duration) is
// not valide and lies nowhere.
std::vector<PlageHorloge> PlacerFilms(const std::vector<FilmHorloge>& films);

// From the earliest start to the latest end of the valid films; not valide
// when there is none.
PlageHorloge EtendueHorloge(const std::vector<PlageHorloge>& plages);

// The picture of a film at a clock time.
struct ImageHorloge {
    bool presente = false; // false: the film has no picture at this time
    int64_t image = 0;     // k, from 0
    int64_t nbImages = 0;  // N the picture counts in (N' when exact)
    bool exacte = false;   // k counts the pictures of the index
};
// k = floor((t - debut) * N / duration), N being the index's count when
// there is one (exact), else the header's (proportional). Absent before the
// start and from the end on.
ImageHorloge ImageAuTemps(const FilmHorloge& film, const PlageHorloge& plage, int64_t t);

// Clock time of picture k of a film: the first microsecond that maps back
// to k (so that ImageAuTemps gives k again).
int64_t TempsDeLImage(const FilmHorloge& film, const PlageHorloge& plage, int64_t k);

// Clock time of picture k of a film as the playing clock follows it: going
// forwards (sens 1) the picture's first microsecond, going backwards
// (sens -1) its last one, where the clock enters it from the picture after.
// Either maps back to k.
int64_t TempsSuiviDeLImage(const FilmHorloge& film, const PlageHorloge& plage, int64_t k, int sens);

// Clock time of a playing run: `ms` wall-clock milliseconds after it left
// `depart` at `vitesse` in direction `sens`. It never goes back over
// `actuel` (a film lagging behind does not turn the clock round) and stays
// within the span [debut, fin].
int64_t TempsEnLecture(int64_t depart, int64_t ms, double vitesse, int sens, int64_t actuel,
                       const PlageHorloge& etendue);

// What a film's channel does while the clock plays at t: it starts when
// the clock has entered the film's span (at its start going forwards, at
// its end going backwards), it stops when the clock has left the span
// (past its end, or before its start going backwards).
enum class ActionPiste { Rien, Demarrer, Arreter };
ActionPiste ActionPisteEnLecture(const PlageHorloge& plage, int64_t t, bool enCours);

// True once the playing clock has reached the end of its way: the span's
// end going forwards, its earliest start going backwards.
bool FinDeParcours(const PlageHorloge& etendue, int64_t t, int sens);

// The clock's End: the last picture of the film that ends last (the first
// such film in tile order), counted in its index when there is one, and
// its time. piste -1 when no film is valid.
struct FinHorloge {
    int piste = -1;
    int64_t image = 0;
    int64_t temps = 0;
};
FinHorloge DerniereImage(const std::vector<FilmHorloge>& films, const std::vector<PlageHorloge>& plages);

// Second of the film (for its reader's start) of clock time t, within
// [0, duration in whole seconds].
int32_t SecondeDuFilm(const FilmHorloge& film, const PlageHorloge& plage, int64_t t);

// Clock microseconds of a day count, to the millisecond (".hrd" dates).
int64_t TempsDeDate(double jours);
// "jj/mm/aaaa hh:mm:ss" of a clock time.
std::string TexteDateHeure(int64_t t);
// "hh:mm:ss" of a clock time.
std::string TexteHeure(int64_t t);

// Clock time of a go-to "hh:mm:ss". With dates, `secondes` is a time of
// day: on the span's first day, or the next one when the span runs past
// midnight and the time is before the start. Without, it counts from the
// span's start. -1 when outside the span.
int64_t TempsPourAllerA(int secondes, const PlageHorloge& etendue, bool dates);

// What a tile shows of its film's span when it has no picture:
// "Pas d'enregistrement" and the film's start and end times.
std::string TexteSansEnregistrement(const PlageHorloge& plage, bool dates);
