#include "export/preuves.h"

#include "engine/fichierfilm.h"
#include "export/incrustation.h"

#include <cmath>

double FilmSource::SecondesImage(int64_t n) const
{
    return SecondesDeLImage(n, nbImages, dureeMs);
}

double FilmSource::DateA(double secondes) const
{
    return DateALInstant(dateDebut, dateFin, DureeSecondes(), secondes);
}

int LireFilmSource(const std::string& chemin, FilmSource& film)
{
    film = FilmSource{};
    film.chemin = chemin;
    EnteteFilm e;
    const int r = LireEnteteFilm(chemin, e);
    film.nbImages = e.NbImages;
    film.dureeMs = e.DureeMs;
    const DatesFilm d = LireDatesFilm(chemin);
    film.dates = d.Presentes;
    film.dateDebut = d.Debut;
    film.dateFin = d.Fin;
    return r;
}

HachageSource::HachageSource(int64_t tailleFichier) : taille_(tailleFichier) {}

void HachageSource::Ajouter(const unsigned char* octets, size_t nb)
{
    hacheur_.Ajouter(octets, nb);
}

std::string HachageSource::Resultat()
{
    if (taille_ < 0 || hacheur_.OctetsVus() != taille_)
        return std::string();
    return hacheur_.Terminer();
}

CrochetImageAvi CrochetIncrustation(const FilmSource& film)
{
    return [film](unsigned char* bitmap, int32_t taille, int32_t, int32_t, int64_t numero) {
        const double t = film.SecondesImage(numero > 0 ? numero : 0);
        IncrusterBitmap(bitmap, size_t(taille > 0 ? taille : 0),
                        TexteIncrustation(film.dates, film.dateDebut, film.dateFin, film.DureeSecondes(), t));
    };
}

bool IncrustationParDefaut(const FilmSource& film)
{
    return film.dates;
}

namespace {

InfosRapport Base(const FilmSource& film, GenreExport genre, const std::string& sortie)
{
    InfosRapport r;
    r.genre = genre;
    r.sortie.chemin = sortie;
    r.source.chemin = film.chemin;
    r.dates = film.dates;
    r.imagesParSeconde = film.dureeMs ? film.nbImages * 1000.0 / film.dureeMs : 0;
    return r;
}

void Portee(InfosRapport& r, const FilmSource& film, double debut, double fin, int64_t premiere,
            int64_t derniere)
{
    r.debutSecondes = debut;
    r.finSecondes = fin;
    r.premiereImage = premiere;
    r.derniereImage = derniere < premiere ? premiere : derniere;
    if (film.dates) {
        r.dateDebut = film.DateA(debut);
        r.dateFin = film.DateA(fin);
    }
}

} // namespace

InfosRapport RapportAvi(const FilmSource& film, const std::string& cheminAvi, uint32_t cadenceMillieme,
                        int64_t echantillons, bool dateIncrustee, const std::string& shaSource)
{
    InfosRapport r = Base(film, GenreExport::Avi, cheminAvi);
    r.imagesParSeconde = cadenceMillieme / 1000.0;
    r.dateIncrustee = dateIncrustee;
    if (!shaSource.empty()) {
        r.source.sha256 = shaSource;
        r.source.taille = TailleFichier(film.chemin);
    }
    Portee(r, film, 0, film.DureeSecondes(), 0, echantillons - 1);
    return r;
}

InfosRapport RapportExtraction(const FilmSource& film, const std::string& destination, double debutSecondes,
                               double finSecondes, int64_t premiereImage, uint32_t nbImagesSegment)
{
    InfosRapport r = Base(film, GenreExport::Extraction, destination);
    Portee(r, film, debutSecondes, finSecondes, premiereImage, premiereImage + int64_t(nbImagesSegment) - 1);
    return r;
}

InfosRapport RapportPhoto(const FilmSource& film, const std::string& jpeg, int64_t image, double secondes)
{
    InfosRapport r = Base(film, GenreExport::Photo, jpeg);
    Portee(r, film, secondes, secondes, image < 0 ? 0 : image, image < 0 ? 0 : image);
    return r;
}

std::string NomPhotoProposee(const FilmSource& film, double secondes)
{
    return NomPhoto(film.chemin, film.dates, film.DateA(secondes), secondes);
}

std::string CommentairePhotoFilm(const FilmSource& film, double secondes)
{
    return CommentairePhoto(film.chemin, film.dates, film.DateA(secondes), secondes);
}
