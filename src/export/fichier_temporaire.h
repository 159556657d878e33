// Files written under a temporary name beside their destination and moved
// into place once complete, so that a crash, a cancel or a full disk never
// leaves a half-written file under the chosen name.
//
// The temporary name is short (".zr7-" and six characters, in the
// destination's folder), so a destination whose own name is close to the
// system's limit still gets one. Every temporary file is remembered until
// it is put in place or abandoned: a command-line export stopped by a
// signal removes it on its way out.
#pragma once

#include <string>

// Creates a new empty file ".zr7-XXXXXX" in the folder of `destination`
// (ordinary read and write permission) and returns its path; empty when it
// cannot be created.
std::string CreerNomTemporaire(const std::string& destination);

// Moves the temporary file into place; on failure it is removed. Never
// replaces what is not a regular file (checked again right before the
// rename). 0 / -1.
int MettreEnPlace(const std::string& nomTemporaire, const std::string& destination);

// Removes a temporary file that will not be put in place. 0 / -1.
int AbandonnerTemporaire(const std::string& nomTemporaire);

// From now on SIGINT, SIGTERM and SIGHUP remove the temporary files not yet
// in place, then end the process as the signal would. For the command line.
void NettoyerTemporairesSurSignal();
