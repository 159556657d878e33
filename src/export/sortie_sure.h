// Checks made before any export writes a byte: the chosen output must not
// be the film or one of its companions, and an existing output must be a
// plain file (a device, a FIFO, a socket or a folder is never replaced).
// Every export path (AVI, extraction, snapshot, exact copy; window and
// command line) asks here first.
#pragma once

#include <string>

// French reason why `sortie` may not receive an export of `cheminFilm`;
// empty when it may. Refused: the film itself or a companion (".hrd",
// ".pcm", ".msr", ".mdp"), recognised as the same file (device and inode,
// links followed) and, for a name that does not exist yet, by its absolute
// path; an existing output that is not a regular file. An empty film path
// checks the output's type alone.
std::string RaisonSortieRefusee(const std::string& cheminFilm, const std::string& sortie);

// The same check without the output's type: empty unless `sortie` is the
// film or one of its companions.
std::string RaisonSortieEstLeFilm(const std::string& cheminFilm, const std::string& sortie);

// True when a rename may put a new file at `chemin`: nothing is there, or a
// regular file (a link to one is replaced itself, its target untouched).
// False for a device, FIFO, socket or folder, directly or through a link.
bool RemplacementPermis(const std::string& chemin);
