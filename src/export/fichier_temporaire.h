// Files written under a temporary name beside their destination and moved
// into place once complete, so that a crash, a cancel or a full disk never
// leaves a half-written file under the chosen name.
#pragma once

#include <string>

// Creates a new empty file "<destination>.ecritureN" (ordinary read and
// write permission) and returns its name; empty when it cannot be created.
std::string CreerNomTemporaire(const std::string& destination);

// Moves the temporary file into place; on failure it is removed. 0 / -1.
int MettreEnPlace(const std::string& nomTemporaire, const std::string& destination);
