// AVI export of a whole film: plain functions for the path, the rate, the
// JPEG pictures and the MPEG-4 picture types, and ExportAvi, the export
// itself, which the window's worker thread and the command line both run.
//
// MPEG-4 films are copied picture by picture; MJPEG and H.264 films are
// decoded and coded again by the codec library's MPEG-4 encoder (encoder
// instance 0; decoder instance 1 for sizes and H.264 pictures). The film is
// read through a memory mapping, so memory does not grow with the film.
#pragma once

#include "export/vue_film.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

// Encoder settings passed unchanged to the codec library: bit rate and
// seconds between intra pictures. Its picture rate is the AVI's, R / 1000.
constexpr int32_t DebitEncodeurAvi = 1048576;
constexpr int32_t SecondesEntreClesAvi = 1;
// Room for one encoded MPEG-4 picture.
constexpr int32_t TailleSortieEncodeur = 524288;
// Longest chosen path kept; a longer one is refused rather than cut.
constexpr int LongueurMaxCheminExport = 300;

// Path of the AVI for a chosen file name: ".avi" appended when the name has
// 4 characters or fewer or does not end in a dot and a, v, i in either
// case. Empty for an empty name or one longer than LongueurMaxCheminExport.
std::string CheminAvi(const std::string& choisi);

// Picture rate R in thousandths: forced, the integer at the start of
// `texte` (blanks, optional sign) x 1000, or 1000 when that is 0; else
// trunc(nbImages x 1000 / dureeSecondes). 0 means no rate (no export); a
// forced negative or oversized rate also gives 0.
uint32_t CadenceAvi(bool forcer, const char* texte, uint32_t nbImages, uint32_t dureeSecondes);

// MPEG-4: coding type of the first picture (00 00 01 B6) of the data:
// 1 intra, 0 another type, -1 no picture start.
int TypeImageMpeg4(const unsigned char* d, int64_t n);

// JPEG decoder of the export (TurboJPEG, fastest settings).
class DecodeurJpegExport
{
public:
    DecodeurJpegExport();
    ~DecodeurJpegExport();
    DecodeurJpegExport(const DecodeurJpegExport&) = delete;
    DecodeurJpegExport& operator=(const DecodeurJpegExport&) = delete;

    // Decodes the first JPEG picture of the data (first FF D8, then the
    // first FF D9 after it) into a bitmap file image at `destination` of
    // `capacite` bytes. 0 when the picture was found (*consomme: the FF D9
    // offset + 2) and decoded (*taille, *largeur, *hauteur set; a picture
    // larger than the room leaves them 0), -1 otherwise.
    int DecodeJpegToBitmap(const unsigned char* donnees, int64_t longueur, unsigned char* destination,
                           int32_t capacite, int32_t* taille, int32_t* consomme, int32_t* largeur,
                           int32_t* hauteur);

private:
    void* h_ = nullptr;
};

// What an export is asked to do.
struct ParametresAvi {
    std::string cheminFilm;     // CheminFilm
    int type = -1;              // TypeFilm
    uint32_t nbImages = 0;      // N
    uint32_t dureeSecondes = 0; // T
    std::string motDePasse;     // MotDePasseFilm
    bool forcerCadence = false; // "Forcer"
    std::string texteCadence;   // EditFR
    std::string cheminAvi;      // from CheminAvi
    // MPEG-4 films too are decoded and coded again (their pictures are
    // changed, e.g. the date burned in); otherwise they are copied.
    bool recoder = false;
};

// Followers of an export, all optional. They are called one at a time,
// never concurrently: the source observer on the thread that walks the film
// (the decoding thread for MJPEG and H.264), the others on the calling
// thread.
struct SuiviAvi {
    // Polled between pictures: true stops the export (partial file removed).
    std::function<bool()> annuler;
    // Samples written so far, of about `total` (the film's picture count).
    std::function<void(int64_t fait, int64_t total)> progression;
    // Every byte of the film file as stored, once, in file order, during
    // the writing pass.
    ObservateurOctets observateurSource;
    // Each decoded picture (bitmap file image) before it is coded again;
    // may change its pixels. `numero`: pictures decoded so far.
    std::function<void(unsigned char* bitmap, int32_t taille, int32_t largeur, int32_t hauteur,
                       int64_t numero)>
        crochetImage;
};

enum class ResultatAvi {
    Enregistre,   // 0: the AVI is in place, with every picture of the film
    Incomplet,    // the AVI is in place, but pictures of the film could not be exported
    NonDemarre,   // no film, no picture rate, bad path: no file
    ErreurLecture,// the film cannot be read, or none of its pictures decodes: no file
    ErreurEcriture, // the AVI could not be written (full disk...): no file
    Annule,       // stopped by the user: no file
};

struct BilanAvi {
    ResultatAvi resultat = ResultatAvi::NonDemarre;
    int32_t largeur = 0, hauteur = 0; // W, H
    uint32_t cadence = 0;             // R
    int64_t echantillons = 0;         // samples written
    int64_t cles = 0;                 // of which marked as key frames
    // Pictures found in the film that could not be exported (did not
    // decode or code); more than 0 makes the result Incomplet.
    int64_t imagesPerdues = 0;
    // Film file bytes [debutSource, finSource) the samples came from.
    int64_t debutSource = 0, finSource = 0;
};

// The message the window shows for a result ("" for a cancel).
const char* MessageAvi(ResultatAvi r);
// The message at the end of an export: MessageAvi's, with the count of
// pictures not exported for an incomplete one.
std::string MessageFinAvi(const BilanAvi& b);

// Probe pass: the width and height of the first picture that decodes.
// 0 ok (both known), -1 when no picture decodes, -2 when the film cannot be
// read.
int SonderDimensionsAvi(const std::string& cheminFilm, int type, bool protege, int32_t* largeur,
                        int32_t* hauteur);

// The whole export: probe, rate, writing under a temporary name beside
// `cheminAvi`, renamed into place only when complete. One export at a time
// per process (the codec instances are shared): a second concurrent call
// gives NonDemarre.
BilanAvi ExportAvi(const ParametresAvi& p, const SuiviAvi& suivi = SuiviAvi());

// Progress read-out shared by the window and the command line:
// "Image 120 sur 500 — temps restant : 0:12" (":"-separated minutes and
// seconds, hours when needed; "estimation en cours" before the first picture).
std::string TexteProgressionAvi(int64_t fait, int64_t total, double secondesEcoulees);
