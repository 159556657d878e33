// Motion search from the command line, without any window:
//
//   lecteurzr7 --chercher-mouvement FILM X Y L H [--sensibilite S] [--mot-de-passe MDP]
//
// X Y L H: the rectangle in picture pixels (left, top, width, height).
// Prints one line per moment, "DEBUT_S FIN_S" in film seconds with two
// decimals, followed by the wall-clock date-time of its start when the
// film has its dates (".hrd"). Nothing moving: no line, status 0. A
// progress line goes to standard error when it is a terminal. Statuses as
// the export commands (ligne_commande.h): 0, 1 failure, 2 bad arguments.
#pragma once

#include "engine/mouvement.h"

#include <cstdio>
#include <string>

// True when the arguments ask for the search; it has then run and *statut
// holds the exit status. False for anything else, nothing done.
bool ExecuterCommandeMouvement(int argc, char** argv, int* statut, std::FILE* sortie = stdout,
                               std::FILE* erreurs = stderr);

// One output line (without its newline) for a moment: "12.40 15.80", then
// " dd/mm/yyyy hh:mm:ss" of its start when `dates` holds.
std::string LigneMoment(const MomentMouvement& m, bool dates, double debutJours, double finJours,
                        double dureeSecondes);
