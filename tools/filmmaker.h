// Film maker: synthetic films of the three kinds with their companion
// files, for tests, benchmarks and the demonstration set.
//
// Every picture shows its number in large digits and as the code row of
// numero_image.h, so that a test can check which picture it got back.
// Results follow the project's rule: 0 = success, -1 = failure.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Kinds of film, as the player numbers them.
constexpr int FilmMpeg4 = 0;  // ".mp4"
constexpr int FilmMjpeg = 1;  // ".mjp"
constexpr int FilmH264 = 2;   // ".264"

// Sound companion: G.711 mu-law, one byte per sample.
constexpr int OctetsSonParSeconde = 8000;
// Greatest time a measure line can carry: its time field is read from six characters.
constexpr uint32_t TempsMaxMesure = 999999;

// Smallest and largest pictures the maker draws: the code row needs about
// three pixels per block, and the player holds at most 2560 x 2048.
constexpr int LargeurMinFilm = 64;
constexpr int HauteurMinFilm = 48;
constexpr int LargeurMaxFilm = 2560;
constexpr int HauteurMaxFilm = 2048;

// A calendar date-time, as written in hourly film names and date files.
struct DateHeure {
    int jour = 12, mois = 5, annee = 2014;
    int heure = 10, minute = 15, seconde = 0;
};

struct OptionsFilm {
    int largeur = 320;
    int hauteur = 240;          // even for ".mp4" and ".264" (4:2:0 pictures)
    int nbImages = 50;          // pictures drawn and coded
    int premierNumero = 0;      // number shown on the first picture
    double cadence = 10.0;      // pictures per second, used when dureeMs is 0
    uint32_t dureeMs = 0;       // duration of the pictures drawn; 0 = from the rate
    int gop = 10;               // pictures from one key picture to the next
    int sauter = 0;             // pictures whose bytes are cut from the start of the body
    int qualiteJpeg = 85;
    bool dates = false;         // write ".hrd" from dateDebut
    DateHeure dateDebut;
    bool son = false;           // write ".pcm"
    bool mesures = false;       // write ".msr"
    std::string motDePasse;     // not empty: scrambled body and ".mdp"
};

struct ResultatFilm {
    uint32_t nbImages = 0;      // picture count in the header
    uint32_t dureeMs = 0;       // duration in the header
    size_t tailleCorps = 0;     // bytes after the header
    // After a failure: what failed, in French, with the path and the
    // system's reason ("impossible d'écrire /x/a.pcm : c'est un dossier").
    std::string erreur;
};

// The system's reason for an errno value, in French (the messages of the
// system itself are English on most machines).
std::string RaisonSysteme(int erreur);

// Longest path of a protected film: the player compares the record with
// film paths of at most 300 bytes.
constexpr int LongueurMaxCheminProtege = 300;

// Why a password record cannot be written for a film (French).
std::string RaisonMotDePasseRefuse();

// Why the options cannot make a film of this kind (French), empty when
// they can.
std::string RaisonOptionsRefusees(const OptionsFilm& options, int type);

// Draws picture `numero` as packed top-down BGR rows (`pas` bytes apart).
// `secondes` is the film time shown in small print.
void DessinerImage(int numero, double secondes, int largeur, int hauteur, uint8_t* bgr, int pas);

// Codes the pictures premierNumero .. premierNumero + nbImages - 1 into a
// body of the given kind, unscrambled and uncut. debutsImages (if given)
// receives, for each picture, the offset in the body where its bytes start.
int CoderCorps(int type, const OptionsFilm& options, std::vector<uint8_t>& corps,
               std::vector<size_t>* debutsImages = nullptr);

// Keeps the coding libraries to error messages (the H.264 coder otherwise
// prints a summary of every film). Process-wide.
void SilencerCodecs();

// Writes a film and the companions asked for; the kind comes from the
// extension of `chemin`. With `sauter` = k the body starts at picture k's
// bytes and the header counts the nbImages - k pictures that remain, over
// their share of the duration. A protected film's name (30 characters with
// its backslash) and password (20) must fit their record fields. On failure
// resultat->erreur says what failed, and every file written by this call
// (film and companions) is removed again.
int FabriquerFilm(const std::string& chemin, const OptionsFilm& options, ResultatFilm* resultat = nullptr);

// ".pcm" of the film: a quiet tone with a short click at each whole second,
// 8000 bytes per second of `dureeMs`.
int EcrireSon(const std::string& cheminFilm, uint32_t dureeMs);
// G.711 mu-law code of a 16-bit sample.
uint8_t EncoderMuLaw(int16_t echantillon);

// ".msr" of the film: each whole second, row 1 the film time, row 2 the
// picture number due, row 3 a made-up temperature; a clearing line at 0.
// Lines stop at TempsMaxMesure, the latest time the reader can take.
int EcrireMesures(const std::string& cheminFilm, uint32_t dureeMs, double cadence, int premierNumero);

// "logo1.jpg" and "logo2.jpg" in `dossier`. On failure errno tells why.
int EcrireLogos(const std::string& dossier);

// Days since 30/12/1899 with the time of day as the fraction.
double JoursDepuis1899(const DateHeure& date);
// Reads "dd/mm/yyyy hh:mm:ss" (seconds optional); -1 if malformed.
int LireDateHeure(const char* texte, DateHeure& date);
// "DOSSIER/HH/dd-mm-yyyy-HH-MM.ext" for `extension` ".mjp", ".mp4" or ".264".
std::string CheminHoraire(const std::string& dossier, const DateHeure& date, const char* extension);
// Moves to the next minute as the player's chaining does: 10:59 -> 11:00,
// no calendar arithmetic; false at 23:59 (a chain never crosses midnight).
bool MinuteSuivante(DateHeure& date);

// Demonstration set in `dossier`: an hourly MJPEG film of two minutes with
// dates, sound and measures, the film of the next minute, and the logos.
// `premierFilm` receives the path of the first film; `erreur`, after a
// failure, what failed (French).
int FabriquerDemo(const std::string& dossier, std::string* premierFilm, std::string* erreur = nullptr);
