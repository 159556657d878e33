#include "export/extraction.h"

#include "core/ouverture.h"
#include "engine/fichierfilm.h"
#include "engine/index_images.h"
#include "engine/motdepasse.h"
#include "export/fichier_temporaire.h"
#include "export/protection.h"
#include "export/sortie_sure.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <new>
#include <vector>

#include <sys/stat.h>

int32_t MarqueDebut = 0;
int32_t MarqueFin = 0;

namespace {

// Longest extension kept from the film path.
constexpr size_t LongueurMaxExtension = 20;
// Longest output path (as for the film paths).
constexpr size_t LongueurMaxSortie = 300;
// The body is read in blocks of this size to find its pictures.
constexpr size_t BlocBalayage = 1 << 20;
// Shortest film the player opens.
constexpr uint32_t DureeMinFilmMs = 1000;

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

uint32_t Lire32(const unsigned char* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// First picture at or after second t: ceil(t x 1000 x N / duration).
int64_t ImageApres(int64_t t, uint32_t nbImages, uint32_t dureeMs)
{
    const unsigned __int128 n = (unsigned __int128)t * 1000u * nbImages;
    return int64_t((n + dureeMs - 1) / dureeMs);
}

// Copies [debut, fin) of the film into the output. 0 ok, -1 read error,
// -2 write error.
int Copier(std::FILE* film, std::FILE* sortie, int64_t debut, int64_t fin, std::vector<unsigned char>& tampon,
           const std::function<void(int64_t)>& bloc)
{
    if (fin <= debut)
        return 0;
    if (fseeko(film, off_t(debut), SEEK_SET) != 0)
        return -1;
    int64_t total = 0;
    while (total < fin - debut) {
        const size_t voulu = size_t(std::min<int64_t>(int64_t(tampon.size()), fin - debut - total));
        const size_t lus = std::fread(tampon.data(), 1, voulu, film);
        if (lus == 0)
            return std::ferror(film) ? -1 : 0; // a shrunk film ends the copy
        if (std::fwrite(tampon.data(), 1, lus, sortie) != lus)
            return -2;
        total += int64_t(lus);
        if (bloc)
            bloc(int64_t(lus));
    }
    return 0;
}

struct FilmOuvert {
    Fichier f;
    EnteteFilm entete;
    int64_t taille = 0;
};

ResultatExtraction Ouvrir(const std::string& source, FilmOuvert& film)
{
    film.f.reset(OuvrirFichierOrdinaire(source.c_str()));
    if (!film.f)
        return ResultatExtraction::ErreurOuverture;
    struct stat s {};
    unsigned char entete[TailleEnteteFilm];
    if (fstat(fileno(film.f.get()), &s) != 0 || s.st_size <= TailleEnteteFilm
        || std::fread(entete, 1, sizeof entete, film.f.get()) != sizeof entete)
        return ResultatExtraction::ErreurAcces;
    film.taille = int64_t(s.st_size);
    film.entete.NbImages = Lire32(entete);
    film.entete.DureeMs = Lire32(entete + 4);
    if (film.entete.NbImages == 0 || film.entete.DureeMs / 1000 == 0)
        return ResultatExtraction::ErreurAcces;
    return ResultatExtraction::Genere;
}

ResultatExtraction Preparer(const std::string& source, FilmOuvert& film, int64_t debutS, int64_t finS, Extrait& x)
{
    x = Extrait{};
    if (debutS < 0 || debutS >= finS)
        return ResultatExtraction::RienAFaire;
    const int type = TypeDeFilm(source);
    if (type < 0)
        return ResultatExtraction::ErreurAcces;
    const ResultatExtraction r = Ouvrir(source, film);
    if (r != ResultatExtraction::Genere)
        return r;
    const uint32_t n = film.entete.NbImages, dureeMs = film.entete.DureeMs;
    const int64_t secondes = dureeMs / 1000;
    if (debutS >= secondes)
        return ResultatExtraction::HorsDuFilm;
    const int64_t premiere = ImageApres(debutS, n, dureeMs);
    int64_t derniere = finS >= secondes ? INT64_MAX : ImageApres(finS, n, dureeMs); // excluded

    // The pictures of the body, up to the one after the segment.
    x.Protege = FilmProtege(source);
    ScanneurImages scanneur(type, TailleEnteteFilm);
    std::vector<unsigned char> tampon;
    try {
        tampon.resize(BlocBalayage);
    } catch (const std::bad_alloc&) {
        return ResultatExtraction::ErreurOuverture;
    }
    if (fseeko(film.f.get(), TailleEnteteFilm, SEEK_SET) != 0)
        return ResultatExtraction::ErreurAcces;
    for (;;) {
        const size_t lus = std::fread(tampon.data(), 1, tampon.size(), film.f.get());
        if (lus == 0) {
            if (std::ferror(film.f.get()))
                return ResultatExtraction::ErreurAcces;
            break;
        }
        if (x.Protege)
            Desembrouiller(tampon.data(), int(lus));
        scanneur.Ajouter(tampon.data(), lus);
        if (scanneur.Index().Nombre() > derniere)
            break;
    }
    scanneur.Terminer();
    const IndexImages& index = scanneur.Index();
    const int64_t nombre = index.Nombre();
    derniere = std::min(derniere, nombre);
    if (premiere >= derniere)
        return ResultatExtraction::SansImage;
    int64_t depart = premiere;
    if (type != 1) {
        // Decoding starts on a key picture.
        depart = index.CleAuPlusTard(premiere);
        if (depart < 0) {
            depart = premiere;
            while (depart < derniere && !index.Cle(depart))
                ++depart;
            if (depart >= derniere)
                return ResultatExtraction::SansImage;
        }
        if (!index.AvecEntetes(depart) && index.debutEntetes >= 0 && index.finEntetes <= index.Octet(depart)) {
            x.DebutEntetes = index.debutEntetes;
            x.FinEntetes = index.finEntetes;
        }
    }
    x.PremiereImage = depart;
    x.Debut = index.Octet(depart);
    x.Fin = derniere < nombre ? index.Octet(derniere) : film.taille;
    const uint64_t p = uint64_t(derniere - depart);
    x.NbImages = uint32_t(std::min<uint64_t>(p, UINT32_MAX));
    x.DureeMs = uint32_t(std::min<uint64_t>(p * dureeMs / n, UINT32_MAX));
    x.DebutSecondes = double(depart) * dureeMs / n / 1000.0;
    x.FinSecondes = double(derniere) * dureeMs / n / 1000.0;
    if (x.DureeMs < DureeMinFilmMs)
        return ResultatExtraction::TropCourt;
    return ResultatExtraction::Genere;
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
        return "Erreur d'accès au fichier : le film est vide ou illisible";
    case ResultatExtraction::SortieRefusee:
        return "Ce fichier ne peut pas recevoir l'extrait : c'est le film, un de ses fichiers associés, "
               "ou ce n'est pas un fichier ordinaire";
    case ResultatExtraction::HorsDuFilm:
        return "Le début de l'extrait est au-delà de la fin du film";
    case ResultatExtraction::SansImage:
        return "Aucune image du film entre ces deux repères";
    case ResultatExtraction::TropCourt:
        return "L'extrait durerait moins d'une seconde : le lecteur ne pourrait pas l'ouvrir";
    case ResultatExtraction::NomTropLong:
        return "Nom de fichier trop long (300 octets au plus ; 29 caractères sans l'extension pour un film "
               "protégé)";
    default:
        return "";
    }
}

bool RefusDeLaDemande(ResultatExtraction r)
{
    switch (r) {
    case ResultatExtraction::RienAFaire:
    case ResultatExtraction::SortieRefusee:
    case ResultatExtraction::HorsDuFilm:
    case ResultatExtraction::SansImage:
    case ResultatExtraction::TropCourt:
    case ResultatExtraction::NomTropLong:
        return true;
    default:
        return false;
    }
}

ResultatExtraction PreparerExtrait(const std::string& source, int64_t debutS, int64_t finS, Extrait* extrait)
{
    FilmOuvert film;
    Extrait x;
    const ResultatExtraction r = Preparer(source, film, debutS, finS, x);
    if (extrait)
        *extrait = x;
    return r;
}

ResultatExtraction ExtraireSegment(const std::string& source, const std::string& destination, int64_t marqueDebut,
                                   int64_t marqueFin, const std::function<void(int64_t)>& bloc, Extrait* extrait)
{
    if (marqueDebut < 0 || marqueDebut >= marqueFin)
        return ResultatExtraction::RienAFaire;
    if (destination.size() > LongueurMaxSortie)
        return ResultatExtraction::NomTropLong;
    // Nothing is written over the film, its companions or what is no file.
    if (!RaisonSortieRefusee(source, destination).empty())
        return ResultatExtraction::SortieRefusee;
    FilmOuvert film;
    Extrait x;
    ResultatExtraction r = Preparer(source, film, marqueDebut, marqueFin, x);
    if (extrait)
        *extrait = x;
    if (r != ResultatExtraction::Genere)
        return r;
    const std::string fiche = NomCompagnon(destination, "mdp");
    if (x.Protege) {
        if (!FicheExtraitTient(destination))
            return ResultatExtraction::NomTropLong;
        if (!RaisonSortieRefusee(source, fiche).empty())
            return ResultatExtraction::SortieRefusee;
    }

    const std::string temp = CreerNomTemporaire(destination);
    if (temp.empty())
        return ResultatExtraction::ErreurCreation;
    auto echec = [&](ResultatExtraction e) {
        AbandonnerTemporaire(temp);
        return e;
    };
    Fichier sortie(std::fopen(temp.c_str(), "r+b"));
    if (!sortie)
        return echec(ResultatExtraction::ErreurCreation);
    std::vector<unsigned char> tampon;
    try {
        tampon.resize(TailleBlocCopieFilm);
    } catch (const std::bad_alloc&) {
        return echec(ResultatExtraction::ErreurOuverture);
    }
    unsigned char entete[TailleEnteteFilm];
    Poser32(entete, x.NbImages);
    Poser32(entete + 4, x.DureeMs);
    if (std::fwrite(entete, 1, sizeof entete, sortie.get()) != sizeof entete)
        return echec(ResultatExtraction::ErreurCreation);
    // The film's first sequence headers, for a key picture without its own.
    int c = Copier(film.f.get(), sortie.get(), x.DebutEntetes, x.FinEntetes, tampon, bloc);
    if (c == 0)
        c = Copier(film.f.get(), sortie.get(), x.Debut, x.Fin, tampon, bloc);
    if (c == -1)
        return echec(ResultatExtraction::ErreurAcces);
    if (c == -2)
        return echec(ResultatExtraction::ErreurCreation);
    film.f.reset();
    const bool ferme = std::fflush(sortie.get()) == 0 && !std::ferror(sortie.get())
                       && std::fclose(sortie.release()) == 0;
    if (!ferme)
        return echec(ResultatExtraction::ErreurCreation);
    // The record first: a film in place without it would not open.
    if (x.Protege && EcrireFicheExtrait(source, destination) != 0)
        return echec(ResultatExtraction::ErreurCreation);
    if (MettreEnPlace(temp, destination) != 0) {
        if (x.Protege)
            std::remove(fiche.c_str());
        return ResultatExtraction::ErreurCreation;
    }
    return ResultatExtraction::Genere;
}
