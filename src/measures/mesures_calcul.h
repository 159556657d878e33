// Measure lines and measure notices as plain functions: the reader's line
// fields and pass start, the notice text and names, and the window's notice
// parsing and row editing. No clock, thread or widget in here.
#pragma once

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// ---- Measure file (".msr"): lines "time;row;text;rest\r\n".
constexpr size_t LongueurChampTemps = 6;      // only the first six characters of the time are read
constexpr size_t LongueurChampRang = 20;      // at most 20 characters of the row are read
constexpr size_t LongueurTexteMesure = 1500;  // at most 1500 characters of text per line
constexpr size_t LongueurLigneIgnoree = 6;    // lines of this many bytes or fewer (CR LF included) are skipped
constexpr size_t MargeFinMesures = 12;        // only lines starting before the last 12 bytes are considered

// ---- Notices.
constexpr uint32_t NumeroAvisMax = 9999;      // notice numbers run 1..9999, 0, 1, ...
constexpr int64_t TailleMaxAvis = 64 * 1024;  // a larger notice file is never read
constexpr int LimiteAffichage = 4999;         // characters of a display that pass through the row editing
constexpr int RangMaxAffichage = 4999;        // a higher row cannot fit in that display
constexpr int LongueurTexteAvis = 1400;       // characters of a notice's text shown
constexpr int LongueurLectureAvis = 1499;     // a notice is read in pieces of at most this many bytes

// Time of a line in milliseconds: its first six characters read as a
// decimal number (leading blanks and a sign allowed, stops at the first
// non-digit). "1234567;..." gives 123456.
int32_t LireTempsMesure(const char* ligne, size_t longueur);

// Row and text of a line (CR LF excluded or not: the fields end at their ';').
// Not valid when the first or second ';' is missing, or when the row is 1 or
// more and the third ';' is missing. A row of 0 or less has the text " ".
struct LigneMesure {
    bool valide = false;
    int32_t rang = 0;
    std::string texte;
};
LigneMesure AnalyserLigneMesure(const char* ligne, size_t longueur);

// Length of the line starting at `debut`, CR LF included; 0 when no CR LF
// follows within the image.
size_t LongueurLigne(const char* image, size_t taille, size_t debut);

// Where a pass that starts at second `secondeDebut` may begin reading:
// every line before it is earlier than the pass start and would be skipped.
// The index holds, in file order, the first considered line of each new
// whole second reached (times compared unsigned); it is built once per
// file, so that a pass does not walk the file from its start again.
struct RepereMesure {
    uint32_t tempsMs;
    size_t debut;
};
std::vector<RepereMesure> IndexerMesures(const char* image, size_t taille);
// Offset to start from; `taille` when no line remains.
size_t DebutDePasse(const std::vector<RepereMesure>& index, uint32_t secondeDebut, size_t taille);

// "ZR7_MESURES;0;row;text;" (text " " for a row of 0 or less).
std::string TexteAvisMesure(int32_t rang, const std::string& texte);
// 1, 2, ..., 9999, 0, 1, ...
uint32_t NumeroAvisSuivant(uint32_t numero);
// "DOSSIER/mesures_mag_VOIE_N.tmp" and "DOSSIER/mesures_SOURCE.tmp" (folder cut to 200).
std::string CheminAvisFilm(const char* dossier, int voie, int64_t numero);
std::string CheminAvisDirect(const char* dossier, int source);

// What a notice file asks: row index (row - 1; below 0 clears) and text.
// Not trouve when no tagged line carries a row and a text: the display then
// stays as it is. The last usable tagged line counts.
struct AvisMesure {
    bool trouve = false;
    int64_t index = -1;
    QString texte;
};
AvisMesure LireAvisMesure(const QByteArray& contenu);

// The display after putting `texte` on line `index` (0-based): index below 0
// empties it; an index within the display replaces that line; a later one
// adds empty lines up to it. The display passes through LimiteAffichage
// characters each way. A row that cannot fit (index >= RangMaxAffichage)
// leaves the display unchanged.
QString EditerAffichage(const QString& affichage, int64_t index, const QString& texte);

// Reads a notice file for the window. Symbolic links, FIFOs, devices and
// folders are neither read nor deleted (opened without following links or
// blocking); a regular file larger than TailleMaxAvis is not read.
enum class LectureAvis { Lu, Absent, PasOrdinaire, TropGrand };
LectureAvis LireFichierAvis(const std::string& chemin, QByteArray& contenu);
