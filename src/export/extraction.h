// Segment extraction: the stretch of a film between two marks (seconds)
// copied byte for byte into a new film file of the same kind, with its own
// picture count and duration in the header. Protected films are copied as
// stored, still scrambled.
#pragma once

#include "engine/fichierfilm.h"

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
    RienAFaire,        // marks not increasing or no film: no message
    ErreurCreation,    // output not created or not written whole (full disk)
    ErreurOuverture,   // film cannot be opened
    ErreurAcces,       // film empty or unreadable
};

// The message shown for a result ("" when none).
const char* MessageExtraction(ResultatExtraction r);

// Copies the segment [MarqueDebut, MarqueFin) of `source` (duration
// `dureeSecondes` T, `nbImages` N from its header) into `destination`,
// written under a temporary name and renamed at the end: on any failure no
// file is left and an existing destination is untouched. `bloc` (optional)
// is told the bytes of each copied block. `segment` (optional) receives the
// offsets and header words.
ResultatExtraction ExtraireSegment(const std::string& source, const std::string& destination,
                                   uint32_t dureeSecondes, uint32_t nbImages, int64_t marqueDebut,
                                   int64_t marqueFin,
                                   const std::function<void(int64_t octets)>& bloc = nullptr,
                                   SegmentFilm* segment = nullptr);
