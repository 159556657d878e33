// The picture rate a user forces on an AVI export ("Forcer" box of the
// window, --images-par-seconde of the command line): a whole number of
// pictures per second from 1 to 1000, nothing else.
#pragma once

#include <string>

constexpr int CadenceForceeMin = 1;
constexpr int CadenceForceeMax = 1000;

// Reads the typed rate (blanks around it allowed). 0 with *cadence set, or
// -1 with *raison, in French, saying what is expected.
int LireCadenceForcee(const std::string& texte, int* cadence, std::string* raison);
