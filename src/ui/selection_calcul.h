// Film selection rules as plain functions over paths: the film kind from
// the extension, the hourly naming of recorder films and the name of the
// next film of an hourly chain.
#pragma once

#include <cstddef>

// Longest file name the hourly rules look at (longer names are cut).
constexpr int LongueurNomFichier = 80;

// Characters an hourly film path ends with: the two-digit hour folder, the
// separator, the 16-character DD-MM-YYYY-HH-MM name and the extension.
constexpr int LongueurFinHoraire = 2 + 1 + 16 + 4;

// Longest extension looked at, dot included.
constexpr int LongueurExtension = 10;

// Film kind from the characters after the last ".", compared exactly:
// ".mp4" 0, ".mjp" 1, ".264" 2; -1 for anything else (no dot, other case).
int TypeFilmPourExtension(const char* chemin);

// The file name part of a path (after the last '/' or '\\'), cut to
// LongueurNomFichier characters, into `nom` (at least LongueurNomFichier + 1).
void NomDeFichier(const char* chemin, char* nom, size_t taille);

// True when the file name starts with DD-MM-YYYY-HH-MM (five numbers read
// with "%02d-%02d-%04d-%02d-%02d"); what follows does not matter.
bool EstNomHoraire(const char* chemin);

// The path of the film recorded one minute after `chemin`: the last 23
// characters become "HH/DD-MM-YYYY-HH-MM.ext" for the next minute (10:59
// gives 11:00 in folder 11). Day, month and year are kept as read. False,
// with `suivant` left empty, when the name is not hourly, at 23:59 (a chain
// never crosses midnight) or when the path has 23 characters or fewer.
bool CalculerFilmSuivant(const char* chemin, char* suivant, size_t taille);

// The path of the film recorded one minute before `chemin`, the other way
// along the same naming: 11:00 gives 10:59 in folder 10. Going backwards the
// calendar is followed, so that 00:00 gives 23:59 of the day before (in
// folder 23 beside the current hour's folder) across months, leap days and
// years. False, with `precedent` left empty, when the name is not hourly or
// not a real date and time, or when the path has 23 characters or fewer.
bool CalculerFilmPrecedent(const char* chemin, char* precedent, size_t taille);
