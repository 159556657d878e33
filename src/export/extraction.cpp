#include "export/extraction.h"

#include "core/ouverture.h"
#include "export/fichier_temporaire.h"

#include <cstdio>
#include <memory>
#include <new>
#include <vector>

int32_t MarqueDebut = 0;
int32_t MarqueFin = 0;

namespace {

// Longest extension kept from the film path.
constexpr size_t LongueurMaxExtension = 20;

struct FermerFichier {
    void operator()(std::FILE* f) const
    {
        if (f)
            std::fclose(f);
    }
};
using Fichier = std::unique_ptr<std::FILE, FermerFichier>;

void Poser32(unsigned char* p, uint32_t v)
{
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
    p[2] = uint8_t(v >> 16);
    p[3] = uint8_t(v >> 24);
}

} // namespace

std::string ExtensionExtraction(const std::string& cheminFilm)
{
    const size_t point = cheminFilm.rfind('.');
    if (point == std::string::npos)
        return ".mp4";
    return cheminFilm.substr(point, LongueurMaxExtension);
}

std::string FiltreExtraction(const std::string& extension)
{
    return "Film (*" + extension + ")|*" + extension;
}

const char* MessageExtraction(ResultatExtraction r)
{
    switch (r) {
    case ResultatExtraction::Genere:
        return "Le fichier est généré";
    case ResultatExtraction::ErreurCreation:
        return "Erreur de création de fichier";
    case ResultatExtraction::ErreurOuverture:
        return "Erreur d'ouverture de fichier";
    case ResultatExtraction::ErreurAcces:
        return "Erreur d'accès au fichier";
    default:
        return "";
    }
}

ResultatExtraction ExtraireSegment(const std::string& source, const std::string& destination,
                                   uint32_t dureeSecondes, uint32_t nbImages, int64_t marqueDebut,
                                   int64_t marqueFin, const std::function<void(int64_t)>& bloc,
                                   SegmentFilm* segment)
{
    if (marqueDebut >= marqueFin || dureeSecondes == 0)
        return ResultatExtraction::RienAFaire;
    const std::string temp = CreerNomTemporaire(destination);
    if (temp.empty())
        return ResultatExtraction::ErreurCreation;
    auto echec = [&](ResultatExtraction r) {
        std::remove(temp.c_str());
        return r;
    };
    Fichier sortie(std::fopen(temp.c_str(), "r+b"));
    if (!sortie)
        return echec(ResultatExtraction::ErreurCreation);
    Fichier film(OuvrirFichierOrdinaire(source.c_str()));
    if (!film)
        return echec(ResultatExtraction::ErreurOuverture);
    const int64_t taille = TailleFichier(source);
    if (taille < 1)
        return echec(ResultatExtraction::ErreurAcces);
    const SegmentFilm s = CalculerSegment(taille, dureeSecondes, nbImages, marqueDebut, marqueFin);
    if (segment)
        *segment = s;
    if (fseeko(film.get(), off_t(s.Debut), SEEK_SET) != 0)
        return echec(ResultatExtraction::ErreurAcces);
    std::vector<unsigned char> tampon;
    try {
        tampon.resize(TailleBlocCopieFilm);
    } catch (const std::bad_alloc&) {
        return echec(ResultatExtraction::ErreurOuverture);
    }
    unsigned char entete[TailleEnteteFilm];
    Poser32(entete, s.NbImages);
    Poser32(entete + 4, s.DureeMs);
    if (std::fwrite(entete, 1, sizeof entete, sortie.get()) != sizeof entete)
        return echec(ResultatExtraction::ErreurCreation);
    const int64_t longueur = s.Fin - s.Debut;
    int64_t total = 0;
    while (total < longueur) {
        const size_t voulu = size_t(std::min<int64_t>(TailleBlocCopieFilm, longueur - total));
        const size_t lus = std::fread(tampon.data(), 1, voulu, film.get());
        if (lus == 0) {
            // The film's end ends the segment; a failed read fails it.
            if (std::ferror(film.get()))
                return echec(ResultatExtraction::ErreurAcces);
            break;
        }
        if (std::fwrite(tampon.data(), 1, lus, sortie.get()) != lus)
            return echec(ResultatExtraction::ErreurCreation);
        total += int64_t(lus);
        if (bloc)
            bloc(int64_t(lus));
    }
    film.reset();
    const bool ferme = std::fflush(sortie.get()) == 0 && !std::ferror(sortie.get())
                       && std::fclose(sortie.release()) == 0;
    if (!ferme)
        return echec(ResultatExtraction::ErreurCreation);
    if (MettreEnPlace(temp, destination) != 0)
        return ResultatExtraction::ErreurCreation;
    return ResultatExtraction::Genere;
}
