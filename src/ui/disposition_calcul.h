// Picture layout of the main window: display aspect ratio, the fitted box,
// the real-size picture, the footer widths and the place of the measure
// windows. Plain functions, integer arithmetic as the window uses it.
#pragma once

struct Rapport {
    int largeur, hauteur; // e.g. 4:3
};

struct Boite {
    int gauche, haut, largeur, hauteur;
    bool operator==(const Boite& b) const
    {
        return gauche == b.gauche && haut == b.haut && largeur == b.largeur && hauteur == b.hauteur;
    }
};

// Display ratio of a w x h picture: 4:3, 16:9, 16:10 or 1:1 when the size
// matches one of them (tested in that order), 4:3 otherwise.
Rapport RapportAffichage(int largeurFilm, int hauteurFilm);

// Box of the picture fitted into a panel of hauteurPanneau x
// (largeurPanneau - 6), centred (left at least 1).
Boite BoiteAjustee(Rapport r, int largeurPanneau, int hauteurPanneau);

// Picture at its own size corrected to the display ratio, centred in the
// panel (left at least 1, top at least 0: a larger picture scrolls).
Boite BoiteTailleReelle(Rapport r, int largeurFilm, int hauteurFilm, int largeurPanneau,
                        int hauteurPanneau);

struct LargeursPied {
    int blocLecture, curseur;
};
// Footer widths: the play block takes the footer less 249 pixels, the
// slider the block less its left margin twice.
LargeursPied CalculerLargeursPied(int largeurPied, int gaucheCurseur);

// Place of a measure window: the lower third of the picture area, whose
// box is given in screen coordinates.
Boite PlaceFenetreMesures(Boite scrollEcran);
