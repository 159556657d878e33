// Exact copy of a film: its own coded pictures, never decoded and coded
// again, put in a container every computer and phone plays (ISO base media
// ".mp4" or Matroska ".mkv", chosen by the output's extension), with its
// sound and its recording time.
//
// - Pictures are cut from the body at the picture index's boundaries and
//   written as they are stored (a protected film's body descrambled), time
//   stamped at the film's own rate (header picture count over duration),
//   key pictures flagged as sync samples. H.264 parameter sets and MPEG-4
//   object layer headers become the stream's codec configuration.
// - A segment starts on the last key picture at or before its start mark,
//   so that every picture of the copy decodes as in the film.
// - The ".pcm" sound follows from the first picture copied: as stored
//   (G.711 mu-law) in Matroska, coded to AAC in MP4, which players of that
//   container do not play mu-law in.
// - The ".hrd" date of the first picture is the file's creation time, and
//   the film's name its title.
// - The body is streamed in blocks: memory does not grow with the film.
//   The output is written under a temporary name and renamed when whole.
#pragma once

#include "export/preuves.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

enum class ConteneurCopie { Aucun, Mp4, Matroska };

// Container of an output path, from its extension (".mp4", ".mkv", either
// case); Aucun for any other.
ConteneurCopie ConteneurPourSortie(const std::string& sortie);

// Extension the save dialog proposes for a film kind (0 MPEG-4, 1 MJPEG,
// 2 H.264): ".mkv" for MJPEG, ".mp4" otherwise.
const char* ExtensionProposeeCopie(int type);

// What a copy is asked to do.
struct ParametresCopie {
    std::string cheminFilm;
    std::string sortie;
    std::string motDePasse;
    // Segment marks in whole seconds of the film; finSecondes < 0 copies to
    // the film's end. A start of 0 and no end copy the whole film.
    int64_t debutSecondes = 0;
    int64_t finSecondes = -1;
};

// Followers of a copy, both optional, called on the copying thread.
struct SuiviCopie {
    // Polled between pictures: true stops the copy (nothing left behind).
    std::function<bool()> annuler;
    // Pictures written so far, of about `total`.
    std::function<void(int64_t fait, int64_t total)> progression;
};

enum class ResultatCopie {
    Enregistree,      // the copy is in place
    NonDemarree,      // not a film, unknown container, empty segment: no file
    MotDePasse,       // protected film, password missing or wrong: no file
    SortieRefusee,    // output is the film, a companion, or not a plain file
    ErreurLecture,    // no picture to copy, or the film cannot be read
    ErreurEcriture,   // the output could not be written (full disk...): no file
    Annulee,          // stopped by the user: no file
};

// The message for a result ("" for a cancel).
const char* MessageCopie(ResultatCopie r);

struct BilanCopie {
    ResultatCopie resultat = ResultatCopie::NonDemarree;
    std::string raison;               // SortieRefusee: why, in French
    ConteneurCopie conteneur = ConteneurCopie::Aucun;
    int type = -1;                    // film kind
    bool protege = false;             // body descrambled with the password
    int32_t largeur = 0, hauteur = 0;
    int64_t premiereImage = 0;        // film picture number of the first picture copied
    int64_t images = 0;               // pictures written
    int64_t cles = 0;                 // of which key pictures
    double debutSecondes = 0;         // film time of the first picture copied
    double finSecondes = 0;           // film time at the end of the last one
    bool son = false;                 // a sound stream was written
    int64_t echantillonsSon = 0;      // mu-law samples taken from the ".pcm"
    int codeErreur = 0;               // libavformat error of an ErreurEcriture
};

// Picture range [premiere, fin) of two marks in whole seconds of a film of
// `nbImages` pictures and `dureeSecondes` seconds, by the navigation's rule
// (trunc(t * N / T)); finSecondes < 0 or at or beyond the duration gives
// fin = nbImages. Before key pictures are taken into account.
struct PlageImages {
    int64_t premiere = 0;
    int64_t fin = 0;
};
PlageImages PlageCopie(uint32_t nbImages, uint32_t dureeSecondes, int64_t debutSecondes, int64_t finSecondes);

// First sound byte (mu-law sample) of picture k: trunc(k * dureeMs * 8 / N).
int64_t OctetSonPourImage(int64_t image, uint32_t nbImages, uint32_t dureeMs);

// The sequence and picture parameter sets (unit types 7 and 8) of an H.264
// Annex B stretch, each behind a 4-byte start code, in their order; empty
// when there are none.
std::vector<uint8_t> ParametresH264(const unsigned char* d, size_t n);

// MPEG-4: the headers in front of the first picture start code (00 00 01
// B6) when they hold an object layer header (00 00 01 20..2F); empty
// otherwise.
std::vector<uint8_t> EntetesConfigMpeg4(const unsigned char* d, size_t n);

// A ".hrd" date (days since 30/12/1899, local wall-clock time) as the UTC
// time the container keeps: "2014-05-12T08:15:00.000000Z" for a local time
// two hours ahead of UTC. Empty for a date outside the calendar.
std::string DateCreationConteneur(double jours);

// Runs the copy. One film, one output; any failure or cancel leaves no
// file, and an existing output is replaced only when the copy is whole.
BilanCopie CopierExacte(const ParametresCopie& p, const SuiviCopie& suivi = SuiviCopie());

// The integrity report of a copy, filled with what the copy knows.
InfosRapport RapportCopie(const FilmSource& film, const std::string& sortie, const BilanCopie& b);

// The final message of a successful copy, with the real start:
// "La copie exacte est enregistrée : 250 images, début réel 00:01:04
// (image 1600)".
std::string TexteBilanCopie(const BilanCopie& b);

// Progress read-out shared by the window and the command line (the AVI
// export's words).
std::string TexteProgressionCopie(int64_t fait, int64_t total, double secondesEcoulees);
