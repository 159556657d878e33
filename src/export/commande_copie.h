// The exact copy from the command line, without any window:
//
//   lecteurzr7 --copie FILM SORTIE [--debut S] [--fin S] [--mot-de-passe MDP] [--sans-rapport]
//
// SORTIE ends in ".mp4" or ".mkv". A progress line is shown when standard
// error is a terminal; the exit status is 0 on success, non-zero with a
// French message on standard error otherwise (as the other export
// commands). Ctrl+C stops the copy and leaves no file behind.
#pragma once

#include <cstdio>

// True when argv[1] is "--copie": the command has then run and *statut
// holds the exit status. False for anything else, nothing done.
bool ExecuterCommandeCopie(int argc, char** argv, int* statut, std::FILE* sortie = stdout,
                           std::FILE* erreurs = stderr);

// French reason of a write failure's libavformat error code ("plus de
// place sur le disque" for ENOSPC); empty when there is none to give.
const char* RaisonEcriture(int codeErreur);
