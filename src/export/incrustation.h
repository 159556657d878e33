// Date and time carried by exported pictures: the text of a picture's time,
// the box burned into its top left corner, the snapshot's proposed name and
// the comment marker of its JPEG.
//
// The box is drawn with a small built-in digit font scaled up, so it needs
// neither a display nor installed fonts. Plain functions over numbers,
// texts and 24-bit BGR pixel rows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// A date-time (days since 30/12/1899, time of day as the fraction) as
// "dd/mm/yyyy hh:mm:ss" (to the second, rounded to the millisecond first);
// empty when it is not a sensible date.
std::string TexteDateHeure(double jours);

// A film time as "hh:mm:ss.d" (tenths truncated); negative times count as 0.
std::string TexteTempsFilm(double secondes);

// Film time of picture n (from 0): n x dureeMs / nbImages, in seconds;
// 0 for a film without pictures.
double SecondesDeLImage(int64_t n, uint32_t nbImages, uint32_t dureeMs);

// Wall-clock date of film time t over the film's date span:
// debut + (fin - debut) x t / duree (debut for a duration of 0).
double DateALInstant(double debut, double fin, double dureeSecondes, double t);

// The burned-in text of film time t: the wall-clock date-time when the film
// has dates, the film time otherwise.
std::string TexteIncrustation(bool dates, double debut, double fin, double dureeSecondes, double t);

// Glyphs of the built-in font: 5 x 7 dots in a 6 x 8 cell, scaled.
constexpr int LargeurGlyphe = 5;
constexpr int HauteurGlyphe = 7;
constexpr int LargeurCellule = LargeurGlyphe + 1;
// Picture rows per font scale step: the text grows with the picture so that
// it stays legible after compression (240 rows give scale 2, 720 give 6).
constexpr int LignesParEchelle = 120;

struct BoiteIncrustation {
    int gauche = 0, haut = 0, largeur = 0, hauteur = 0;
    int echelle = 0; // 0: nothing drawn (picture too small)
};

// The dark box of `nbCaracteres` characters at the top left of a picture:
// scale from the height, reduced until the box fits the width; a margin of
// one scaled dot around the text.
BoiteIncrustation CalculerBoiteIncrustation(int largeur, int hauteur, int nbCaracteres);

// Burns `texte` in white on a dark box into 24-bit BGR pixels. `haut`
// points at the first byte of the picture's TOP row and `pas` is the signed
// distance in bytes from one row to the one below it (negative for a
// bottom-up bitmap seen from its top row). Characters other than digits,
// ' ', '/', ':', '.', '-' draw as blanks. Returns the box drawn.
BoiteIncrustation IncrusterTexte(unsigned char* haut, int largeur, int hauteur, ptrdiff_t pas,
                                 const std::string& texte);

// Same over a 24-bit bitmap file image in memory (54-byte header, rows
// padded to 4 bytes, bottom-up or top-down). 0 ok, -1 for a header it
// cannot use or data shorter than the header says.
int IncrusterBitmap(unsigned char* fichier, size_t taille, const std::string& texte);

// Proposed snapshot name "FILM_jj-mm-aaaa_hh-mm-ss.jpg": FILM is the film's
// file name without its extension, then the wall-clock time of the picture;
// "FILM_hh-mm-ss.jpg" with the film time when the film has no dates.
std::string NomPhoto(const std::string& cheminFilm, bool dates, double dateImage, double secondesFilm);

// Text of the snapshot's comment marker: film name and picture time.
std::string CommentairePhoto(const std::string& cheminFilm, bool dates, double dateImage,
                             double secondesFilm);

// Inserts a comment marker (FF FE) carrying `texte` into a JPEG, after the
// start marker and any APP0 segment. The text is cut to the marker's limit
// of 65,533 bytes. 0 ok, -1 when the bytes do not start as a JPEG.
int AjouterCommentaireJpeg(std::vector<unsigned char>& jpeg, const std::string& texte);

// The text of the first comment marker of a JPEG (empty when there is none).
std::string LireCommentaireJpeg(const unsigned char* jpeg, size_t taille);
