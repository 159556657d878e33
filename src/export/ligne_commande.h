// Exports from the command line, without any window (no display needed):
//
//   lecteurzr7 --avi FILM SORTIE.avi [--images-par-seconde N] [--mot-de-passe MDP]
//              [--incruster-date] [--sans-rapport]
//   lecteurzr7 --extraire FILM DEBUT_S FIN_S SORTIE [--sans-rapport]
//   lecteurzr7 --help
//
// Options may come in any position after the command. They run the same
// functions as the window's buttons, print a progress line when standard
// error is a terminal, and end with one of the statuses below and, on
// failure, a French message on standard error. A signal (Ctrl+C, kill,
// hang-up) during an export removes its temporary file.
#pragma once

#include <cstdio>

// Exit statuses.
constexpr int SortieReussie = 0;
constexpr int SortieEchec = 1;          // the output could not be written
constexpr int SortieUsage = 2;          // bad or unknown argument, refused output or marks
constexpr int SortieMotDePasse = 3;     // protected film: password missing or wrong
constexpr int SortieFilmIllisible = 4;  // film missing, unreadable, empty or not a film

// True when the arguments ask for one of the commands above, or for an
// unknown option (usage, status 2); the command has then run and *statut
// holds the exit status. False for anything else (a film to play), nothing
// done.
bool ExecuterCommandeExport(int argc, char** argv, int* statut, std::FILE* sortie = stdout,
                            std::FILE* erreurs = stderr);
