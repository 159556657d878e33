// Segment extraction: the pictures of a film between two marks (seconds)
// copied byte for byte into a new film file of the same kind, with its own
// picture count and duration in the header.
//
// The rule, the same for the three kinds:
// - picture i of the film is at i x duration / N (N, duration: the film's
//   header); the segment holds the pictures from the first at or after the
//   start mark to the last before the end mark; an end mark at or beyond the
//   film's last whole second runs to the film's end;
// - MPEG-4 and H.264: the segment starts at the last key picture at or
//   before that first picture (the pictures before it could not be shown),
//   with the film's sequence headers in front when that picture lacks them;
// - the pictures are found in the body (the header is never copied), and
//   the new header counts exactly the pictures copied, P, over P x duration
//   / N milliseconds;
// - a start mark at or beyond the film's end, a segment without pictures, or
//   one shorter than a second (the player could not open it) is refused;
// - a protected film's segment stays scrambled and gets its own ".mdp"
//   record (same password), so it opens exactly like its source.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

// Marks of the position slider, in seconds from the film start; set by
// "Début" and "Fin", kept for the whole process (not cleared when another
// film is opened). UI thread only.
extern int32_t MarqueDebut;
extern int32_t MarqueFin;

// Extension offered for the new film: from the last '.' of the whole path
// to its end, at most 20 characters; ".mp4" when the path has no dot.
std::string ExtensionExtraction(const std::string& cheminFilm);

// Save dialog filter for that extension: "Film (*.mjp)|*.mjp".
std::string FiltreExtraction(const std::string& extension);

enum class ResultatExtraction {
    Genere,            // "Le fichier est généré"
    RienAFaire,        // marks not increasing: no message
    ErreurCreation,    // output not created or not written whole (full disk)
    ErreurOuverture,   // film cannot be opened
    ErreurAcces,       // film empty, unreadable, or no valid header
    SortieRefusee,     // the output is the film, a companion, or no plain file
    HorsDuFilm,        // start mark at or beyond the film's end
    SansImage,         // no picture of the film between the marks
    TropCourt,         // under one second: no film could hold it
    NomTropLong,       // over 300 bytes, or a protected film's name over 30
};

// The message shown for a result ("" when none).
const char* MessageExtraction(ResultatExtraction r);

// True for the results that come from the marks or the chosen name (the
// command line's usage errors) rather than from the files.
bool RefusDeLaDemande(ResultatExtraction r);

// What was extracted.
struct Extrait {
    int64_t Debut = 0, Fin = 0;    // source bytes [Debut, Fin) copied after the header
    int64_t DebutEntetes = 0, FinEntetes = 0; // sequence headers [Debut, Fin) put in front
    int64_t PremiereImage = 0;     // the source's picture the segment starts with
    uint32_t NbImages = 0;         // P, header word 1
    uint32_t DureeMs = 0;          // header word 2
    double DebutSecondes = 0, FinSecondes = 0; // film times of the pictures' span
    bool Protege = false;          // a ".mdp" record was written
};

// Where the pictures of the segment [debutS, finS) lie in `source` and
// what its header says, without writing anything: the rule above.
ResultatExtraction PreparerExtrait(const std::string& source, int64_t debutS, int64_t finS, Extrait* extrait);

// Extracts the segment [marqueDebut, marqueFin) of `source` into
// `destination`, written under a temporary name and renamed at the end: on
// any failure no file is left and an existing destination is untouched.
// `bloc` (optional) is told the bytes of each copied block; `extrait`
// (optional) receives what was extracted.
ResultatExtraction ExtraireSegment(const std::string& source, const std::string& destination, int64_t marqueDebut,
                                   int64_t marqueFin, const std::function<void(int64_t octets)>& bloc = nullptr,
                                   Extrait* extrait = nullptr);
