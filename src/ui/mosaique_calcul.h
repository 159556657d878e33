// Several films side by side: which films are opened, where each tile lies
// and where its picture lies in it. Plain functions.
#pragma once

#include "ui/disposition_calcul.h"

#include <functional>
#include <string>
#include <vector>

// Shown when more films than the mosaic holds are given.
extern const char* const TexteTropDeFilms;

struct ChoixFilms {
    std::vector<std::string> films; // at most NbFilmsMosaiqueMax, in the order given
    bool coupe = false;             // some were left out: say so
};
// The first four films of those given.
ChoixFilms ChoisirFilms(const std::vector<std::string>& chemins);

// Films named on the command line. The whole text after the program name
// is one film when it names a regular file (a path with spaces given
// unquoted); otherwise, with two arguments or more each ending in a film
// extension, each argument is a film. Empty when neither.
std::vector<std::string> FilmsDeLaLigne(const std::vector<std::string>& arguments,
                                        const std::function<bool(const std::string&)>& fichierExiste);

// Tiles of n films (1 to 4) in an area: one takes it whole, two lie side by
// side, three or four in 2 x 2, left to right then top to bottom. Empty for
// another n.
std::vector<Boite> CellulesMosaique(int n, int largeur, int hauteur);

// A picture of largeurImage x hauteurImage fitted into a box, its aspect
// ratio kept, centred. An unknown size fills the box.
Boite ImageAjustee(int largeurImage, int hauteurImage, const Boite& cellule);

// "Taille réelle" in a tile: the picture at its own size corrected to its
// display ratio (as a single film's real size), centred on the cell; a
// picture larger than the cell overflows it on every side evenly and the
// tile crops it. An unknown size fills the cell.
Boite ImageTailleReelle(int largeurImage, int hauteurImage, const Boite& cellule);

// Tile under a point of the area, -1 for none.
int CelluleSousPoint(const std::vector<Boite>& cellules, int x, int y);
