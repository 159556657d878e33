// What each export adds so that its output can stand as evidence: the
// integrity report of an AVI, an extraction or a snapshot, the date burned
// into AVI pictures and the snapshot's name and comment. Plain functions
// shared by the window and the command line; they only read the film's
// header and dates, never the shared state.
#pragma once

#include "export/integrite.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

// The film an export starts from, as its header and ".hrd" file tell.
struct FilmSource {
    std::string chemin;
    uint32_t nbImages = 0;
    uint32_t dureeMs = 0;
    bool dates = false;
    double dateDebut = 0, dateFin = 0;
    double DureeSecondes() const { return dureeMs / 1000.0; }
    // Film time of picture n (from 0) and its wall-clock date.
    double SecondesImage(int64_t n) const;
    double DateA(double secondes) const;
};

// Reads the header and dates of a film. 0 ok, -1 when the header is not a
// valid film's.
int LireFilmSource(const std::string& chemin, FilmSource& film);

// The source film hashed as an export reads it: feed it every byte of the
// file in file order (the AVI export's observer); Resultat gives the digest
// when the whole file went through, empty otherwise (then the report hashes
// the file itself).
class HachageSource
{
public:
    explicit HachageSource(int64_t tailleFichier);
    void Ajouter(const unsigned char* octets, size_t nb);
    std::string Resultat();

private:
    HacheurSha256 hacheur_;
    int64_t taille_;
};

// Picture hook of the AVI export that burns the wall-clock time (film time
// without dates) of each picture into it. `numero` is the picture's place
// among the pictures decoded (0 for the first).
using CrochetImageAvi =
    std::function<void(unsigned char* bitmap, int32_t taille, int32_t largeur, int32_t hauteur, int64_t numero)>;
CrochetImageAvi CrochetIncrustation(const FilmSource& film);

// Whether "Incruster la date" starts checked: when the film has dates.
bool IncrustationParDefaut(const FilmSource& film);

// Reports of each kind, filled with what the export knows; the hashes
// still missing are computed by EcrireRapportIntegrite.
InfosRapport RapportAvi(const FilmSource& film, const std::string& cheminAvi, uint32_t cadenceMillieme,
                        int64_t echantillons, bool dateIncrustee, const std::string& shaSource);
// An extraction's report: the film times and source pictures actually
// copied (from `premiereImage`, `nbImagesSegment` of them).
InfosRapport RapportExtraction(const FilmSource& film, const std::string& destination, double debutSecondes,
                               double finSecondes, int64_t premiereImage, uint32_t nbImagesSegment);
InfosRapport RapportPhoto(const FilmSource& film, const std::string& jpeg, int64_t image, double secondes);

// The snapshot's proposed name and its JPEG comment for the picture at
// film time `secondes`.
std::string NomPhotoProposee(const FilmSource& film, double secondes);
std::string CommentairePhotoFilm(const FilmSource& film, double secondes);
