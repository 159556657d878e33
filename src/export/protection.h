// Whether a film really is protected, and the password record of a film
// cut out of a protected one.
#pragma once

#include <string>

// True when the film's ".mdp" record is a record of this very film: a
// regular file of at least 80 bytes whose film-name field, descrambled,
// names the film (whatever the password). A junk or foreign record does not
// protect the film: the player then reads its body as stored.
bool FilmProtege(const std::string& cheminFilm);

// True when a record naming `destination` can be written: path of 4 to 300
// characters, film name (backslash included) of at most 30.
bool FicheExtraitTient(const std::string& destination);

// Writes the ".mdp" record of `destination` from the record of the
// protected film `source`: the same bytes (the password among them) with
// the film-name field naming the new film, so that the same password opens
// it. 0 ok, -1 failure (source record unreadable, name too long, write).
int EcrireFicheExtrait(const std::string& source, const std::string& destination);
