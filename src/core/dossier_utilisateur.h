// Where the player may write. From its build folder it writes beside the
// executable as designed; once installed (the folder holds the marker file
// MarqueInstallation, or cannot be written) it writes into the user's own
// folders instead, so that nothing is ever added to the installation.
#pragma once

#include <string>

// Left by `make install` and the package in the program folder.
extern const char* const MarqueInstallation; // "lecteurzr7.installe"

// True when the player may write into its program folder (trailing '/'):
// it can be written and holds no installation marker.
bool DossierProgrammeModifiable(const std::string& dossierProgramme);

// The user's state folder of the player, created if needed (mode 0700):
// $XDG_STATE_HOME/lecteurzr7/, or $HOME/.local/state/lecteurzr7/, with a
// trailing '/'. Empty when neither variable gives a folder that can be made.
std::string DossierEtatUtilisateur();

// Folder of the diagnostic logs (trailing '/'): the program folder when it
// may be written, the user's state folder otherwise (the program folder
// still when that one cannot be made: a log that fails is silent).
std::string DossierDesJournaux(const std::string& dossierProgramme);
