// Opening an input file that must be a regular file (a film or one of its
// companions), without ever blocking: a FIFO opened for reading waits for a
// writer, and a device or folder named like a film is no film.
#pragma once

#include <cstdio>

// Opens `chemin` for binary reading when it is a regular file (symbolic
// links followed). The type is checked on the opened descriptor, so a file
// swapped for a FIFO between a check and the open is still refused. nullptr
// for a null or empty path, a file that cannot be opened, or anything that
// is not a regular file (errno then EISDIR for a folder, ENXIO otherwise).
std::FILE* OuvrirFichierOrdinaire(const char* chemin);
