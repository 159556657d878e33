#include "ui/recherche_jour.h"

#include "engine/fichierfilm.h"
#include "engine/motdepasse.h"

#include <algorithm>
#include <numeric>

const char* const NoteFilmProtege = "film protégé : le mot de passe tapé ne l'ouvre pas, non parcouru";

namespace {

bool Arret(const SuiviJour& s)
{
    return s.annuler && s.annuler->load(std::memory_order_relaxed);
}

} // namespace

int PourMilleJour(const std::vector<int64_t>& tailles, size_t film, int64_t fait, int64_t total)
{
    int64_t tout = 0, avant = 0;
    for (size_t i = 0; i < tailles.size(); ++i) {
        tout += std::max<int64_t>(0, tailles[i]);
        if (i < film)
            avant += std::max<int64_t>(0, tailles[i]);
    }
    if (tout <= 0)
        return 0;
    double courant = 0;
    if (film < tailles.size() && total > 0)
        courant = std::max<int64_t>(0, tailles[film]) * std::clamp(double(fait) / double(total), 0.0, 1.0);
    return int(std::clamp((double(avant) + courant) * 1000 / double(tout), 0.0, 1000.0));
}

BilanJour ChercherMouvementJour(const JourDeFilms& jour, const ParametresRecherche& p, const SuiviJour& suivi)
{
    BilanJour b;
    const size_t n = jour.films.size();
    std::vector<int64_t> tailles;
    for (const FilmDuJour& f : jour.films)
        tailles.push_back(std::max<int64_t>(0, TailleFichier(f.chemin)));
    std::vector<MomentTrouve> moments;
    std::vector<VignetteMouvement> vignettes;
    for (size_t i = 0; i < n; ++i) {
        if (Arret(suivi)) {
            b.resultat = ResultatRecherche::Annulee;
            break;
        }
        const FilmDuJour& f = jour.films[i];
        if (suivi.film)
            suivi.film(i, n);
        // Without the password the body stays scrambled: nothing to search.
        if (FicheDuFilm(f.chemin.c_str()) && VerifierMotDePasse(f.chemin.c_str(), p.motDePasse.c_str()) != 1) {
            b.notes.push_back({f.chemin, f.debut, NoteFilmProtege});
            continue;
        }
        ParametresRecherche pf = p;
        pf.cheminFilm = f.chemin;
        SuiviRecherche s;
        s.annuler = suivi.annuler;
        if (suivi.progression)
            s.progression = [&](int64_t fait, int64_t total) { suivi.progression(PourMilleJour(tailles, i, fait, total)); };
        BilanRecherche r = ChercherMouvement(pf, s);
        if (r.resultat == ResultatRecherche::Annulee) {
            b.resultat = ResultatRecherche::Annulee;
            break;
        }
        if (r.resultat != ResultatRecherche::Terminee) {
            b.notes.push_back({f.chemin, f.debut, MessageRecherche(r.resultat)});
            continue;
        }
        ++b.filmsParcourus;
        for (size_t k = 0; k < r.moments.size(); ++k) {
            moments.push_back({f.chemin, r.moments[k], InstantDuFilm(f, r.moments[k].debutS)});
            vignettes.push_back(k < r.vignettes.size() ? std::move(r.vignettes[k]) : VignetteMouvement());
        }
    }
    // Films of the day may overlap: the moments go by their time of day.
    std::vector<size_t> ordre(moments.size());
    std::iota(ordre.begin(), ordre.end(), 0);
    std::stable_sort(ordre.begin(), ordre.end(),
                     [&](size_t a, size_t c) { return moments[a].instant < moments[c].instant; });
    for (size_t k : ordre) {
        b.moments.push_back(std::move(moments[k]));
        b.vignettes.push_back(std::move(vignettes[k]));
    }
    if (suivi.progression && b.resultat == ResultatRecherche::Terminee)
        suivi.progression(1000);
    return b;
}
