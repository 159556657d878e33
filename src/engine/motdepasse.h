// Password record of a protected film (".mdp" companion) and the byte
// scrambling of protected film bodies.
//
// A recorder that protects a film stores every body byte plus 17 (mod 256)
// and writes an 80-byte password record beside the film:
//
//   offset  size  field
//        0    13  unused
//       13    20  password, scrambled with CleMotDePasse
//       33    17  unused
//       50    30  film name ("\cam1" for ".../cam1.mjp"), scrambled with CleNomFilm
//
// Scrambled field byte i = plain byte i + key byte i (mod 256). Plain fields
// are texts ended by a zero byte within their width, or filling it whole.
#pragma once

#include <string>

// Added to every body byte of a protected film by the recorders.
constexpr int DecalageEmbrouillage = 17;

// Size of the password record; shorter files are refused.
constexpr int TailleFichierMotDePasse = 80;
constexpr int PositionChampMotDePasse = 13;
constexpr int LargeurChampMotDePasse = 20;
constexpr int PositionChampNomFilm = 50;
constexpr int LargeurChampNomFilm = 30;

// Longest film name compared, backslash included.
constexpr int LongueurMaxNomFilm = 100;

// Key tables of the two scrambled fields, one byte per field byte.
extern const unsigned char CleMotDePasse[LargeurChampMotDePasse];
extern const unsigned char CleNomFilm[LargeurChampNomFilm];

// Checks the typed password against the film's ".mdp" record.
// 1 accepted (record present, password and film name both match exactly),
// 0 no record (no regular file of that name: the film is not protected),
// -1 refused: path null, under 4 or over 300 characters (longer than any
// film path of the player; never cut), record under 80 bytes, or a field
// that does not match. A null typed password counts as empty; an empty one
// matches only a plain password field starting with a zero byte.
int VerifierMotDePasse(const char* cheminFilm, const char* motDePasse);

// True when the film's ".mdp" is a record written for this film (80 bytes
// or more, its film name matching), whatever the password: the film is then
// protected, and only its password opens it. A missing, short or junk
// ".mdp", or one made for another film name, does not make it so.
bool FicheDuFilm(const char* cheminFilm);

// Subtracts DecalageEmbrouillage (mod 256) from each byte in place; nothing
// for a null pointer or nb <= 0.
void Desembrouiller(unsigned char* octets, int nb);

// Adds DecalageEmbrouillage (mod 256) to each byte in place, as the
// recorders do to a protected body; nothing for a null pointer or nb <= 0.
void Embrouiller(unsigned char* octets, int nb);

// Name a record must hold for this film: the text after the last '/' or
// '\' (whichever comes later), everything from its last '.' removed, with a
// backslash in front (the recorders are Windows programs), at most 100
// characters. ".../cam1.mjp" gives "\cam1".
std::string NomFilmPourComparaison(const std::string& cheminFilm);

// True when a record for this film and password can be written so that it
// matches: film path of 4 to 300 characters, password of at most 20
// characters (up to its first zero byte), film name for the comparison of
// at most 30 characters (backslash included).
bool ChampsMotDePasseTiennent(const std::string& cheminFilm, const std::string& motDePasse);

// Writes the film's ".mdp" record as a recorder would: unused bytes zero,
// each text ended by a zero byte, or at full width without one when it
// fills its field (20 password characters, 30 name characters). 0 ok; -1
// when ChampsMotDePasseTiennent is false (nothing written: a record that
// could never match is refused) or on a write failure (errno tells why).
int EcrireFichierMotDePasse(const std::string& cheminFilm, const std::string& motDePasse);
