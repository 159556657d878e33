// Film files of the VelmoraZR7 recorders and their date companion (".hrd").
//
// A film file is an 8-byte header (picture count, then duration in
// milliseconds, both unsigned 32-bit little-endian) followed by the coded
// pictures, with no index. Companion files share the film's path and differ
// only in their last three characters ("hrd", "pcm", "msr", "mdp").
//
// Everything here is a plain function over paths, bytes and numbers: no
// clock, no thread, no shared state. Failures are results (0 / -1).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Bytes before the first coded picture: the two header words.
constexpr int TailleEnteteFilm = 8;

// Size of the ".hrd" file: two IEEE doubles (first and last picture).
constexpr int TailleFichierDates = 16;

// Block size of the segment copy: memory use stays flat whatever the length.
constexpr int TailleBlocCopieFilm = 100000;

struct EnteteFilm {
    uint32_t NbImages = 0;  // first word: number of pictures
    uint32_t DureeMs = 0;   // second word: length in milliseconds
};

// Film kind from the last four characters of the name, case-sensitive:
// 0 ".mp4" (MPEG-4 visual elementary stream), 1 ".mjp" (succession of JPEG
// pictures), 2 ".264" (H.264 Annex B byte stream), -1 for any other ending,
// including paths shorter than four characters.
int TypeDeFilm(const std::string& chemin);

// Reads the two header words. Returns 0 for a valid film (both words read
// whole, picture count non-zero, DureeMs / 1000 non-zero), -1 otherwise.
// `e` is zeroed first and then holds whatever words were read whole, so a
// caller can still see a count of 0 or a duration of 999 after a refusal.
int LireEnteteFilm(const std::string& chemin, EnteteFilm& e);

// The film path with its last three characters replaced by `ext3`
// ("hrd", "pcm", "msr", "mdp"). A path shorter than three characters, or a
// null `ext3`, gives an empty string: an empty path opens nothing, whereas
// returning the path unchanged could make a companion reader open the film
// itself.
std::string NomCompagnon(const std::string& chemin, const char* ext3);

// Calendar span of the dates of a ".hrd" file, as day counts: 01/01/1900
// (day 2) up to the end of 31/12/9999.
constexpr double PremierJourDates = 2;
constexpr double JourApresDernierDates = 2958466;

struct DatesFilm {
    double Debut = 0;        // day count since 30/12/1899, time as fraction
    double Fin = 0;
    bool Presentes = false;  // the ".hrd" file was read and both dates are dates
};

// Reads the ".hrd" companion of a film (a regular file only). Both dates
// start at 0; a date whose 8 bytes are not all in the file stays 0. The
// span is present only when both dates are finite calendar dates of
// 01/01/1900 to 31/12/9999 and the start is not after the end; otherwise
// (NaN, infinities, +-1e308, a date missing from a short file, a start
// after the end) both are 0 and Presentes is false, as without the file.
DatesFilm LireDatesFilm(const std::string& cheminFilm);

// Writes the 16-byte ".hrd" companion of a film. 0 ok, -1 failure.
int EcrireDatesFilm(const std::string& cheminFilm, double debut, double fin);

struct PositionDepart {
    int64_t Octet = TailleEnteteFilm;  // where the reader positions the file
    uint32_t ImageEstimee = 0;         // pictures counted as already played
};

// Maps a start second to a byte offset and an estimated picture number by
// the proportional rule: trunc(size * t / duration), trunc(count * t /
// duration), in floating point over the whole file (header included).
// t <= 0, t >= duration, or a file of 8 bytes or less start at offset 8,
// picture 0.
PositionDepart PositionPourSeconde(int64_t tailleFichier, uint32_t nbImages,
                                   uint32_t dureeSecondes, int64_t seconde);

// Offset of a segment mark: trunc(size * t / duration), in extended
// floating point. Unlike PositionPourSeconde there is no snapping to the
// body: a mark at 0 gives offset 0 (the source header is carried into the
// segment) and a mark at the duration gives the file size. Within
// 0 < t < duration both functions give the same offset. A duration of 0 or
// a negative mark gives 0.
int64_t OctetPourSeconde(int64_t tailleFichier, uint32_t dureeSecondes, int64_t seconde);

// Header words and byte range of a segment cut between two marks.
struct SegmentFilm {
    int64_t Debut = 0;      // first source byte copied
    int64_t Fin = 0;        // first source byte not copied
    uint32_t DureeMs = 0;   // trunc(length * duration * 1000 / size)
    uint32_t NbImages = 0;  // trunc(DureeMs * count / (1000 * duration))
};

// The segment between two marks (seconds) of a film of `tailleFichier`
// bytes, `dureeSecondes` whole seconds and `nbImages` pictures. The
// duration is the segment's byte share of the film's, the picture count is
// in the same proportion. All zeros when the size or the duration is 0 or
// the marks are not increasing. Values beyond 32 bits are capped.
SegmentFilm CalculerSegment(int64_t tailleFichier, uint32_t dureeSecondes, uint32_t nbImages,
                            int64_t marqueDebut, int64_t marqueFin);

// Share of the film played after a picture, 0 to 100:
// (pictures shown in this run + estimated start picture) * 100 / count.
// 0 for a count of 0; capped at 100 for a film holding more pictures than
// its header says.
double PourcentagePourImages(uint32_t imagesMontrees, uint32_t imageEstimee, uint32_t nbImages);

// Back from a share to whole seconds: trunc(duration * pct * 0.01), never
// above the duration, 0 for a negative or undefined share.
uint32_t SecondesPourPourcentage(uint32_t dureeSecondes, double pourcent);

// Nominal milliseconds between pictures: dureeMs / nbImages (integer
// division); 0 for 0 pictures.
int IntervalleNominalMs(uint32_t nbImages, uint32_t dureeMs);

// Writes a film: the two header words, then the source bytes
// [debut, fin) copied unchanged in blocks of TailleBlocCopieFilm (scrambled
// bytes stay scrambled). A range running past the source's end stops there.
// The file is written under a temporary name beside the destination and
// renamed into place only when every byte is written, so a failure leaves
// no partial film (and an existing destination untouched). The source may
// be the destination. 0 ok; -1 for a negative start, fin < debut, a source
// that cannot be opened or read, or any write failure.
int EcrireFilm(const std::string& destination, uint32_t nbImages, uint32_t dureeMs,
               const std::string& source, int64_t debut, int64_t fin);

// Writes `nb` bytes as the whole content of `chemin`, under a temporary
// name beside it renamed into place at the end: either the complete file is
// there or nothing has changed. 0 ok, -1 failure (null bytes with nb > 0),
// with errno telling why (EROFS, ENOSPC, EISDIR for a folder in the way...).
int EcrireOctetsFichier(const std::string& chemin, const void* octets, size_t nb);

// Size in bytes of a regular file, -1 if it is missing or not a file.
int64_t TailleFichier(const std::string& chemin);

// True for a regular file (symbolic links followed). Every opener of a film
// asks first: a FIFO would block the opener, a device or folder is no film.
// The readers of this file open through OuvrirFichierOrdinaire
// (core/ouverture.h), which checks the type on the opened file itself.
bool EstFichierOrdinaire(const std::string& chemin);
