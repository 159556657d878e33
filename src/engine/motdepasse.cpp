#include "engine/motdepasse.h"

#include "core/ouverture.h"
#include "engine/fichierfilm.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

// The key tables are shared with the program that writes the records (our
// film maker); any record written with other tables is refused.
const unsigned char CleMotDePasse[LargeurChampMotDePasse] = {
    0x5A, 0xC3, 0x17, 0x8E, 0x2B, 0xF4, 0x61, 0x9D, 0x0C, 0xB7,
    0x46, 0xE9, 0x73, 0x1F, 0xA8, 0x35, 0xD2, 0x6C, 0x90, 0x4B,
};

const unsigned char CleNomFilm[LargeurChampNomFilm] = {
    0x3E, 0x81, 0xD5, 0x27, 0x6A, 0xFC, 0x12, 0xB9, 0x4D, 0xE0,
    0x75, 0x08, 0x9B, 0xC6, 0x33, 0x5F, 0xA2, 0x1C, 0xEB, 0x64,
    0x97, 0x2D, 0xF1, 0x4A, 0x86, 0x0F, 0xBC, 0x59, 0xD8, 0x23,
};

namespace {

// Film paths of the player are texts of this many characters at most.
constexpr size_t LongueurMaxCheminFilm = 300;

struct FermerFichier {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

// Plain text of a field: up to its first zero byte, or its whole width.
std::string TexteChamp(const unsigned char* champ, size_t largeur)
{
    const char* texte = reinterpret_cast<const char*>(champ);
    return std::string(texte, strnlen(texte, largeur));
}

}  // namespace

void Desembrouiller(unsigned char* octets, int nb)
{
    if (!octets)
        return;
    for (int i = 0; i < nb; ++i)
        octets[i] = static_cast<unsigned char>(octets[i] - DecalageEmbrouillage);
}

void Embrouiller(unsigned char* octets, int nb)
{
    if (!octets)
        return;
    for (int i = 0; i < nb; ++i)
        octets[i] = static_cast<unsigned char>(octets[i] + DecalageEmbrouillage);
}

std::string NomFilmPourComparaison(const std::string& cheminFilm)
{
    const size_t separateur = cheminFilm.find_last_of("/\\");
    std::string nom = separateur == std::string::npos ? cheminFilm : cheminFilm.substr(separateur + 1);
    const size_t point = nom.rfind('.');
    if (point != std::string::npos)
        nom.erase(point);
    nom.insert(0, 1, '\\');
    if (nom.size() > size_t(LongueurMaxNomFilm))
        nom.resize(LongueurMaxNomFilm);
    return nom;
}

namespace {

// Reads and descrambles the film's record. 1 read, 0 no record, -1 refused
// (bad path, record under 80 bytes).
int LireFiche(const char* cheminFilm, std::string& chemin, unsigned char (&fiche)[TailleFichierMotDePasse])
{
    if (!cheminFilm)
        return -1;
    // A path longer than a film path is refused: cut, it would name another
    // record.
    chemin.assign(cheminFilm, strnlen(cheminFilm, LongueurMaxCheminFilm + 1));
    if (chemin.size() < 4 || chemin.size() > LongueurMaxCheminFilm)
        return -1;
    {
        // Only a regular file is a record; a FIFO is never waited on.
        std::unique_ptr<std::FILE, FermerFichier> f(OuvrirFichierOrdinaire(NomCompagnon(chemin, "mdp").c_str()));
        if (!f)
            return 0;
        if (std::fread(fiche, 1, sizeof fiche, f.get()) != sizeof fiche)
            return -1;
    }
    unsigned char* champMdp = fiche + PositionChampMotDePasse;
    for (int i = 0; i < LargeurChampMotDePasse; ++i)
        champMdp[i] = static_cast<unsigned char>(champMdp[i] - CleMotDePasse[i]);
    unsigned char* champNom = fiche + PositionChampNomFilm;
    for (int i = 0; i < LargeurChampNomFilm; ++i)
        champNom[i] = static_cast<unsigned char>(champNom[i] - CleNomFilm[i]);
    return 1;
}

}  // namespace

bool FicheDuFilm(const char* cheminFilm)
{
    std::string chemin;
    unsigned char fiche[TailleFichierMotDePasse];
    return LireFiche(cheminFilm, chemin, fiche) == 1
           && NomFilmPourComparaison(chemin) == TexteChamp(fiche + PositionChampNomFilm, LargeurChampNomFilm);
}

int VerifierMotDePasse(const char* cheminFilm, const char* motDePasse)
{
    std::string chemin;
    unsigned char fiche[TailleFichierMotDePasse];
    const int lue = LireFiche(cheminFilm, chemin, fiche);
    if (lue <= 0)
        return lue;
    const unsigned char* champMdp = fiche + PositionChampMotDePasse;
    const unsigned char* champNom = fiche + PositionChampNomFilm;

    // One character past the field's width is enough to tell a longer
    // typed password apart, and never reads further into the caller's text.
    const char* tape = motDePasse ? motDePasse : "";
    const std::string motTape(tape, strnlen(tape, LargeurChampMotDePasse + 1));

    if (motTape != TexteChamp(champMdp, LargeurChampMotDePasse))
        return -1;
    if (NomFilmPourComparaison(chemin) != TexteChamp(champNom, LargeurChampNomFilm))
        return -1;
    return 1;
}

bool ChampsMotDePasseTiennent(const std::string& cheminFilm, const std::string& motDePasse)
{
    return cheminFilm.size() >= 4 && cheminFilm.size() <= LongueurMaxCheminFilm
           && strnlen(motDePasse.c_str(), LargeurChampMotDePasse + 1) <= size_t(LargeurChampMotDePasse)
           && NomFilmPourComparaison(cheminFilm).size() <= size_t(LargeurChampNomFilm);
}

int EcrireFichierMotDePasse(const std::string& cheminFilm, const std::string& motDePasse)
{
    // A record that could never match is refused rather than written.
    if (!ChampsMotDePasseTiennent(cheminFilm, motDePasse)) {
        errno = EINVAL;
        return -1;
    }

    unsigned char fiche[TailleFichierMotDePasse] = {};
    // A text shorter than its field ends with a zero byte; one that fills
    // the field is written at full width, as the recorders do, and the
    // reader compares it over the width only. A password is taken up to
    // its first zero byte, as the reader sees it.
    const std::string mot(motDePasse.c_str(), strnlen(motDePasse.c_str(), LargeurChampMotDePasse));
    const std::string nom = NomFilmPourComparaison(cheminFilm);
    std::memcpy(fiche + PositionChampMotDePasse, mot.data(), mot.size());
    std::memcpy(fiche + PositionChampNomFilm, nom.data(), nom.size());

    for (int i = 0; i < LargeurChampMotDePasse; ++i)
        fiche[PositionChampMotDePasse + i] += CleMotDePasse[i];
    for (int i = 0; i < LargeurChampNomFilm; ++i)
        fiche[PositionChampNomFilm + i] += CleNomFilm[i];

    return EcrireOctetsFichier(NomCompagnon(cheminFilm, "mdp"), fiche, sizeof fiche);
}
