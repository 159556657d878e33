// Exports from the command line, without any window (no display needed):
//
//   lecteurzr7 --avi FILM SORTIE.avi [--images-par-seconde N] [--mot-de-passe MDP]
//   lecteurzr7 --extraire FILM DEBUT_S FIN_S SORTIE
//   lecteurzr7 --help
//
// They run the same functions as the window's buttons, print a progress
// line when standard error is a terminal, and end with status 0, or
// non-zero with a French message on standard error.
#pragma once

#include <cstdio>

// Exit statuses.
constexpr int SortieReussie = 0;
constexpr int SortieEchec = 1;
constexpr int SortieUsage = 2;

// True when the arguments ask for one of the commands above; the command
// has then run and *statut holds the exit status. False for anything else
// (a film to play), nothing done.
bool ExecuterCommandeExport(int argc, char** argv, int* statut, std::FILE* sortie = stdout,
                            std::FILE* erreurs = stderr);
