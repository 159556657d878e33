// Integrity report of an export: SHA-256 of the output, of the source film
// and of its companions, written beside the output as "OUT.sha256" (the
// format `sha256sum -c` reads) and "OUT.rapport.txt" (the same facts in
// French, with the range exported and the time of the export).
//
// Plain functions and one small hashing object; the export worker feeds the
// source bytes to a HacheurSha256 while it reads them, so the film is read
// once.
#pragma once

#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// Companion endings looked for beside a film, in the report's order.
extern const char* const ExtensionsCompagnons[4];

// Shown when the report cannot be written after a successful export.
extern const char* const MessageRapportImpossible;

// Streaming SHA-256 (OpenSSL EVP). Feed bytes in any number of pieces, then
// ask for the digest once.
class HacheurSha256
{
public:
    HacheurSha256();
    ~HacheurSha256();
    HacheurSha256(const HacheurSha256&) = delete;
    HacheurSha256& operator=(const HacheurSha256&) = delete;

    // False when the library failed (the digest is then empty).
    bool Ajouter(const void* octets, size_t nb);
    // Lower-case hexadecimal digest (64 characters), empty after a failure
    // or a second call. Bytes fed since Recommencer count.
    std::string Terminer();
    void Recommencer();
    int64_t OctetsVus() const { return vus_; }

private:
    struct Etat;
    std::unique_ptr<Etat> etat_;
    int64_t vus_ = 0;
    bool echec_ = false;
};

// SHA-256 of a whole file, read in blocks. `progres` (may be empty) is told
// the bytes read so far and may return false to stop. 0 ok, -1 failure
// (missing, unreadable, stopped).
int Sha256Fichier(const std::string& chemin, std::string& hex,
                  const std::function<bool(int64_t)>& progres = {});

// The companions present beside a film (regular files only), in the order
// ".hrd", ".pcm", ".msr", ".mdp".
std::vector<std::string> CompagnonsPresents(const std::string& cheminFilm);

// Absolute, normalised form of a path (the current folder in front of a
// relative one; symbolic links of the folder resolved when it exists).
std::string CheminAbsolu(const std::string& chemin);

// How the ".sha256" file names `fichier`: its bare name when it lies in
// `dossierRapport`, its absolute path otherwise.
std::string NomPourSomme(const std::string& dossierRapport, const std::string& fichier);

// One line of a `sha256sum` file: "HEX  NAME\n". A name holding a
// backslash or a line feed is escaped as sha256sum does (leading '\').
std::string LigneSomme(const std::string& hex, const std::string& nom);

// Names of the two files of the report of `sortie`.
std::string CheminSomme(const std::string& sortie);   // sortie + ".sha256"
std::string CheminRapport(const std::string& sortie); // sortie + ".rapport.txt"

enum class GenreExport { Avi, Extraction, Photo, CopieExacte };

struct FichierHache {
    std::string chemin;
    int64_t taille = -1;
    std::string sha256;
    bool illisible = false; // a companion that could not be read: named, not hashed
};

// Everything the report says. The range is in film seconds and picture
// numbers; the wall-clock ends are given when the film has dates.
struct InfosRapport {
    GenreExport genre = GenreExport::Avi;
    FichierHache sortie;
    FichierHache source;
    std::vector<FichierHache> compagnons;
    bool protege = false;          // the film's password record is its own (FilmProtege)
    double debutSecondes = 0, finSecondes = 0;
    int64_t premiereImage = 0, derniereImage = 0; // inclusive
    bool dates = false;
    double dateDebut = 0, dateFin = 0; // days since 30/12/1899
    double imagesParSeconde = 0;
    bool dateIncrustee = false;
    std::string version;
    std::time_t instant = 0;       // time of the export
};

// The French text of "OUT.rapport.txt" (local time from the process's
// time zone).
std::string TexteRapport(const InfosRapport& infos);

// The text of "OUT.sha256": output, source, companions.
std::string TexteSommes(const InfosRapport& infos);

// An empty source path (a snapshot with no film open) gives a report of the
// output alone.
// Fills what is missing (sizes and hashes of the output, of the source when
// the export did not hash it while reading, and of the companions present;
// whether the film is protected; version and instant when unset), then
// writes both files, each under a temporary name renamed into place. A
// companion that cannot be read is listed as unreadable and left out of
// the ".sha256" list. 0 ok, -1 when the output or the source could not be
// hashed or a file could not be made (no partial report file is left; the
// output is not touched).
int EcrireRapportIntegrite(InfosRapport& infos);

// Removes the report files of `sortie` left by an earlier export (regular
// files or links only): after an export without a report, they would vouch
// for another file.
void SupprimerRapportsPerimes(const std::string& sortie);

// Version of the player, written in the reports.
const char* VersionLecteur();
