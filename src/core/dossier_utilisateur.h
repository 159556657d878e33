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

// A private data folder (mode 0700, owned by the user) for a user with no
// usable home: $XDG_RUNTIME_DIR/lecteurzr7-DONNEES when that variable names
// the user's own folder, else a new folder made by mkdtemp under $TMPDIR
// (or /tmp). No trailing '/'. Empty when neither can be made.
std::string DossierDonneesPrive();
// Removes the folder DossierDonneesPrive made by mkdtemp, with the files the
// player left in it; nothing when it made none.
void RetirerDossierDonneesPrive();
