#include "engine/lecture_exacte.h"

#include "core/etat.h"
#include "engine/lecture_film.h"
#include "engine/th_indexeur.h"

DepartExact CalculerDepartExact(const IndexImages* index, int32_t seconde, uint32_t dureeSecondes,
                                int64_t imageDemandee)
{
    DepartExact d;
    if (index == nullptr || index->Nombre() == 0)
        return d;
    d.nbImages = index->Nombre();
    d.image = imageDemandee >= 0 ? std::min(imageDemandee, d.nbImages - 1)
                                 : ImagePourSeconde(seconde, dureeSecondes, d.nbImages);
    d.cle = index->CleAuPlusTard(d.image);
    if (d.cle < 0)
        return DepartExact();
    d.octet = index->Octet(d.cle);
    if (d.cle > 0 && !index->AvecEntetes(d.cle) && index->debutEntetes >= 0 && index->finEntetes > index->debutEntetes
        && d.octet >= index->finEntetes) {
        d.debutEntetes = index->debutEntetes;
        d.finEntetes = index->finEntetes;
    }
    d.exact = true;
    return d;
}

DepartExact DepartExactDuRun(int voie, const char* chemin, int32_t seconde, uint32_t dureeSecondes,
                             bool imageUnique)
{
    int64_t demandee = -1;
    {
        const int r = PrendreMutexVoie(voie);
        Voie& v = Voies[voie];
        if (v.ImageDemandee >= 0 && v.SecondeImageDemandee == seconde)
            demandee = v.ImageDemandee;
        if (!imageUnique)
            v.ImageDemandee = -1;
        if (r == 0)
            RendreMutexVoie(voie);
    }
    const std::shared_ptr<const IndexImages> index = IndexFilm(chemin);
    return CalculerDepartExact(index.get(), seconde, dureeSecondes, demandee);
}

OuvertureFlux OuvrirFluxDuRun(FluxFilm& flux, SuiviExact& suivi, int voie, const char* chemin, int32_t seconde,
                              uint32_t dureeSecondes, bool imageUnique, const char* motDePasse)
{
    const DepartExact d = DepartExactDuRun(voie, chemin, seconde, dureeSecondes, imageUnique);
    return OuvrirFluxDepuis(flux, suivi, d, chemin, seconde, dureeSecondes, motDePasse);
}

OuvertureFlux OuvrirFluxDepuis(FluxFilm& flux, SuiviExact& suivi, const DepartExact& d, const char* chemin,
                               int32_t seconde, uint32_t dureeSecondes, const char* motDePasse)
{
    suivi.Debuter(d);
    if (!d.exact)
        return flux.Ouvrir(chemin, seconde, dureeSecondes, motDePasse);
    return flux.OuvrirExact(chemin, d.octet, d.debutEntetes, d.finEntetes, static_cast<uint32_t>(d.image),
                            motDePasse);
}
