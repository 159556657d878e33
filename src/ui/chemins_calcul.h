// Names of the files the window looks for in the program folder.
#pragma once

#include <string>

// Path of a logo file ("logo1.jpg", "logo2.jpg") in the program folder.
// False when the folder fills its whole field (DossierProgramme holds 200
// characters: a folder of that length may have been cut, and a cut name
// would look in another folder) or is empty: the logo then counts as
// missing, and the splash goes on without it.
bool CheminLogo(const char* dossierProgramme, const char* nom, std::string& chemin);
