// The day of the current film as plain functions: the recorder's films of
// that day (hourly names), each one's recorded span, the gaps between them,
// the measure lines as instants, and the mapping between a time of the day
// and a place on the strip for a zoom window. No clock, thread or widget.
//
// Times are seconds since midnight of the film's day (0 to 86,400).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

constexpr double SecondesParJour = 86400;
// Narrowest zoom window: a few minutes still show single measure lines
// apart, and a second is then several pixels wide on a usual screen.
constexpr double FenetreMinSecondes = 300;
// Zoom of one wheel notch (120 units of angle): eight notches go from the
// whole day to about two hours.
constexpr double FacteurZoomCran = 1.4;
// A measure file read for its instants is cut here: a day of such files
// must scan in a blink, and the instants past it are seldom worth a tick.
constexpr int64_t TailleMaxMesuresJour = 2 * 1024 * 1024;

struct FilmDuJour {
    std::string chemin;
    double debut = 0, fin = 0;    // recorded span, seconds of the day
    uint32_t dureeSecondes = 0;   // header duration in whole seconds
    bool datesFichier = false;    // span from ".hrd" (else name + duration)
    std::vector<double> mesures;  // instants of its measure lines, one per second at most
};

struct Intervalle {
    double debut = 0, fin = 0;
};

struct JourDeFilms {
    int jour = 0, mois = 0, annee = 0;
    double date = 0;                 // midnight as a day count since 30/12/1899
    std::vector<FilmDuJour> films;   // by start
};

// Day count since 30/12/1899 of a calendar date (proleptic Gregorian).
double JourDepuis1899(int jour, int mois, int annee);

// The five numbers of an hourly name ("dd-mm-yyyy-hh-mm..."), false when
// the file name does not start with them or they are no date and time.
struct HeureHoraire {
    int jour = 0, mois = 0, annee = 0, heure = 0, minute = 0;
};
bool LireHeureHoraire(const std::string& chemin, HeureHoraire& h);

// Folders holding the films of the day of `cheminFilm`: its own folder
// and, when that folder is named by the film's two-digit hour (the
// recorder's layout), the hour folders "00" to "23" beside it.
std::vector<std::string> DossiersDuJour(const std::string& cheminFilm);

// One film of the day: span, duration and measure instants, from its
// header, its ".hrd" and its ".msr" (regular files only). False when the
// name is not hourly or the header is not a valid film. The ".hrd" span is
// used when it starts between the day before and the day after the named
// day and does not end before it starts; otherwise the span is the named
// minute plus the header's duration.
bool LireFilmDuJour(const std::string& chemin, double dateJour, FilmDuJour& film);

// Measure instants of a ".msr" image: the times of its lines (the rules of
// the measure reader: first six characters, short lines skipped, nothing
// in the last 12 bytes), as film seconds, one per whole second, in order.
std::vector<double> SecondesDesMesures(const char* image, size_t taille);

// Every film of the folders of the day of `cheminFilm` whose hourly name
// has that day and whose header is valid, by start. -1 when `cheminFilm`
// has no hourly name (the day is then empty).
int ScannerJour(const std::string& cheminFilm, JourDeFilms& jour);

// The parts of [debut, fin) that no film covers, in order.
std::vector<Intervalle> TrousDuJour(const std::vector<FilmDuJour>& films, double debut = 0,
                                    double fin = SecondesParJour);

// Film second of an instant of a film, and back: the proportional rule of
// the position read-out (the span is the film's duration).
double SecondeDansFilm(const FilmDuJour& film, double t);
double InstantDuFilm(const FilmDuJour& film, double seconde);

// The film an instant falls in (the later one when two overlap) and its
// second there. In a gap: the next film from its start when `suivantDansTrou`,
// else none. film = -1 when there is none.
struct PlaceDansJour {
    int film = -1;
    double seconde = 0;
};
PlaceDansJour PlacePourInstant(const std::vector<FilmDuJour>& films, double t, bool suivantDansTrou);

// Index of the film at `chemin`, -1 when it is not in the day.
int FilmDuChemin(const std::vector<FilmDuJour>& films, const std::string& chemin);

// Shown part of the day.
struct FenetreTemps {
    double debut = 0, fin = SecondesParJour;
};
// Place on a strip `largeur` pixels wide, and back (not clamped).
double XPourInstant(const FenetreTemps& f, double t, int largeur);
double InstantPourX(const FenetreTemps& f, double x, int largeur);
// The window after `crans` wheel notches (positive: closer) around the
// instant `pivot`, which stays at the same place: never narrower than
// FenetreMinSecondes, never wider than the day, always inside it.
FenetreTemps Zoomer(const FenetreTemps& f, double pivot, double crans);
// The window moved by `decalage` seconds, kept inside the day.
FenetreTemps Decaler(const FenetreTemps& f, double decalage);

// "hh:mm:ss" of an instant of the day (truncated, 00:00:00 to 23:59:59 for
// the day itself; 24:00:00 at its very end).
std::string TexteInstant(double t);

// Seconds between two hour lines of the strip for a window of `duree`
// seconds on `largeur` pixels: one line at least every 60 pixels.
double PasGraduation(double duree, int largeur);
