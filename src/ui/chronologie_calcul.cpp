#include "ui/chronologie_calcul.h"

#include "core/ouverture.h"
#include "engine/fichierfilm.h"
#include "measures/mesures_calcul.h"
#include "ui/selection_calcul.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>

#include <dirent.h>

namespace {

// Days from 01/01/1970 of a proleptic Gregorian date (the usual
// era-of-400-years arithmetic).
int64_t JoursCivils(int64_t a, int64_t m, int64_t j)
{
    a -= m <= 2;
    const int64_t ere = (a >= 0 ? a : a - 399) / 400;
    const int64_t annee = a - ere * 400;
    const int64_t jourAnnee = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + j - 1;
    const int64_t jourEre = annee * 365 + annee / 4 - annee / 100 + jourAnnee;
    return ere * 146097 + jourEre - 719468;
}

constexpr int SecondesParHeure = 3600;
constexpr int SecondesParMinute = 60;
// A ".hrd" start more than this many days before or after the named day
// is not this film's (a recorder's clock may be set wrong, not by a year).
constexpr double EcartMaxDatesJours = 1;

struct FermerFichier {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

std::vector<double> LireMesuresFilm(const std::string& cheminFilm)
{
    const std::string nom = NomCompagnon(cheminFilm, "msr");
    std::unique_ptr<std::FILE, FermerFichier> f(OuvrirFichierOrdinaire(nom.c_str()));
    if (!f)
        return {};
    std::vector<char> image;
    try {
        image.resize(size_t(TailleMaxMesuresJour));
    } catch (const std::bad_alloc&) {
        return {};
    }
    const size_t lu = std::fread(image.data(), 1, image.size(), f.get());
    return SecondesDesMesures(image.data(), lu);
}

bool EstNomDossierHeure(const std::string& nom, int heure)
{
    char attendu[8];
    std::snprintf(attendu, sizeof attendu, "%02d", heure);
    return nom == attendu;
}

} // namespace

double JourDepuis1899(int jour, int mois, int annee)
{
    return double(JoursCivils(annee, mois, jour) - JoursCivils(1899, 12, 30));
}

bool LireHeureHoraire(const std::string& chemin, HeureHoraire& h)
{
    char nom[LongueurNomFichier + 1];
    NomDeFichier(chemin.c_str(), nom, sizeof nom);
    HeureHoraire n;
    if (std::sscanf(nom, "%02d-%02d-%04d-%02d-%02d", &n.jour, &n.mois, &n.annee, &n.heure, &n.minute) != 5)
        return false;
    if (n.jour < 1 || n.jour > 31 || n.mois < 1 || n.mois > 12 || n.annee < 1900 || n.annee > 9999 || n.heure < 0
        || n.heure > 23 || n.minute < 0 || n.minute > 59)
        return false;
    h = n;
    return true;
}

std::vector<std::string> DossiersDuJour(const std::string& cheminFilm)
{
    const size_t barre = cheminFilm.find_last_of('/');
    const std::string dossier = barre == std::string::npos ? std::string(".") : cheminFilm.substr(0, barre);
    std::vector<std::string> dossiers{dossier};
    HeureHoraire h;
    if (!LireHeureHoraire(cheminFilm, h) || barre == std::string::npos)
        return dossiers;
    const size_t barreParent = dossier.find_last_of('/');
    const std::string nomDossier = barreParent == std::string::npos ? dossier : dossier.substr(barreParent + 1);
    if (!EstNomDossierHeure(nomDossier, h.heure))
        return dossiers;
    const std::string parent = barreParent == std::string::npos ? std::string(".") : dossier.substr(0, barreParent);
    dossiers.clear();
    for (int heure = 0; heure < 24; ++heure) {
        char nom[8];
        std::snprintf(nom, sizeof nom, "%02d", heure);
        dossiers.push_back(parent + "/" + nom);
    }
    return dossiers;
}

std::vector<double> SecondesDesMesures(const char* image, size_t taille)
{
    std::vector<double> secondes;
    if (!image)
        return secondes;
    for (const RepereMesure& r : IndexerMesures(image, taille))
        secondes.push_back(r.tempsMs / 1000.0);
    return secondes;
}

bool LireFilmDuJour(const std::string& chemin, double dateJour, FilmDuJour& film)
{
    HeureHoraire h;
    if (!LireHeureHoraire(chemin, h))
        return false;
    EnteteFilm entete;
    if (LireEnteteFilm(chemin, entete) != 0)
        return false;
    film = FilmDuJour();
    film.chemin = chemin;
    film.dureeSecondes = entete.DureeMs / 1000;
    const DatesFilm dates = LireDatesFilm(chemin);
    if (dates.Presentes && dates.Fin >= dates.Debut && dates.Debut >= dateJour - EcartMaxDatesJours
        && dates.Debut < dateJour + 1 + EcartMaxDatesJours) {
        film.debut = (dates.Debut - dateJour) * SecondesParJour;
        film.fin = (dates.Fin - dateJour) * SecondesParJour;
        film.datesFichier = true;
    } else {
        film.debut = double(h.heure * SecondesParHeure + h.minute * SecondesParMinute);
        film.fin = film.debut + entete.DureeMs / 1000.0;
    }
    for (double s : LireMesuresFilm(chemin))
        if (s <= film.dureeSecondes)
            film.mesures.push_back(InstantDuFilm(film, s));
    return true;
}

int ScannerJour(const std::string& cheminFilm, JourDeFilms& jour)
{
    jour = JourDeFilms();
    HeureHoraire courant;
    if (!LireHeureHoraire(cheminFilm, courant))
        return -1;
    jour.jour = courant.jour;
    jour.mois = courant.mois;
    jour.annee = courant.annee;
    jour.date = JourDepuis1899(courant.jour, courant.mois, courant.annee);
    for (const std::string& dossier : DossiersDuJour(cheminFilm)) {
        std::unique_ptr<DIR, int (*)(DIR*)> d(opendir(dossier.c_str()), closedir);
        if (!d)
            continue;
        while (const dirent* e = readdir(d.get())) {
            const std::string nom = e->d_name;
            HeureHoraire h;
            if (!LireHeureHoraire(nom, h) || h.jour != courant.jour || h.mois != courant.mois
                || h.annee != courant.annee || TypeFilmPourExtension(nom.c_str()) < 0)
                continue;
            FilmDuJour film;
            // LireEnteteFilm and the companions' readers open regular files
            // only, without blocking.
            if (LireFilmDuJour(dossier + "/" + nom, jour.date, film))
                jour.films.push_back(std::move(film));
        }
    }
    std::sort(jour.films.begin(), jour.films.end(), [](const FilmDuJour& a, const FilmDuJour& b) {
        return a.debut != b.debut ? a.debut < b.debut : a.chemin < b.chemin;
    });
    return 0;
}

std::vector<Intervalle> TrousDuJour(const std::vector<FilmDuJour>& films, double debut, double fin)
{
    std::vector<Intervalle> spans;
    for (const FilmDuJour& f : films)
        spans.push_back({f.debut, f.fin});
    std::sort(spans.begin(), spans.end(), [](const Intervalle& a, const Intervalle& b) { return a.debut < b.debut; });
    std::vector<Intervalle> trous;
    double couvert = debut;
    for (const Intervalle& s : spans) {
        if (s.debut > couvert && couvert < fin)
            trous.push_back({couvert, std::min(s.debut, fin)});
        couvert = std::max(couvert, s.fin);
    }
    if (couvert < fin)
        trous.push_back({couvert, fin});
    return trous;
}

double SecondeDansFilm(const FilmDuJour& film, double t)
{
    const double etendue = film.fin - film.debut;
    if (etendue <= 0)
        return 0;
    return std::clamp((t - film.debut) * film.dureeSecondes / etendue, 0.0, double(film.dureeSecondes));
}

double InstantDuFilm(const FilmDuJour& film, double seconde)
{
    if (film.dureeSecondes == 0)
        return film.debut;
    return film.debut + (film.fin - film.debut) * seconde / film.dureeSecondes;
}

PlaceDansJour PlacePourInstant(const std::vector<FilmDuJour>& films, double t, bool suivantDansTrou)
{
    PlaceDansJour p;
    for (size_t i = 0; i < films.size(); ++i)
        if (t >= films[i].debut && t < films[i].fin)
            p.film = int(i);
    if (p.film >= 0) {
        p.seconde = SecondeDansFilm(films[size_t(p.film)], t);
        return p;
    }
    if (!suivantDansTrou)
        return p;
    for (size_t i = 0; i < films.size(); ++i)
        if (films[i].debut >= t && (p.film < 0 || films[i].debut < films[size_t(p.film)].debut))
            p.film = int(i);
    return p;
}

int FilmDuChemin(const std::vector<FilmDuJour>& films, const std::string& chemin)
{
    for (size_t i = 0; i < films.size(); ++i)
        if (films[i].chemin == chemin)
            return int(i);
    return -1;
}

double XPourInstant(const FenetreTemps& f, double t, int largeur)
{
    const double duree = f.fin - f.debut;
    return duree > 0 ? (t - f.debut) * largeur / duree : 0;
}

double InstantPourX(const FenetreTemps& f, double x, int largeur)
{
    return largeur > 0 ? f.debut + x * (f.fin - f.debut) / largeur : f.debut;
}

FenetreTemps Zoomer(const FenetreTemps& f, double pivot, double crans)
{
    const double duree = std::max(f.fin - f.debut, FenetreMinSecondes);
    const double nouvelle = std::clamp(duree / std::pow(FacteurZoomCran, crans), FenetreMinSecondes, SecondesParJour);
    const double part = std::clamp((pivot - f.debut) / duree, 0.0, 1.0);
    FenetreTemps z;
    z.debut = pivot - part * nouvelle;
    z.fin = z.debut + nouvelle;
    return Decaler(z, 0);
}

FenetreTemps Decaler(const FenetreTemps& f, double decalage)
{
    const double duree = std::min(f.fin - f.debut, SecondesParJour);
    FenetreTemps z;
    z.debut = std::clamp(f.debut + decalage, 0.0, SecondesParJour - duree);
    z.fin = z.debut + duree;
    return z;
}

std::string TexteInstant(double t)
{
    const int64_t s = std::clamp<int64_t>(int64_t(std::floor(t)), 0, int64_t(SecondesParJour));
    char texte[16];
    std::snprintf(texte, sizeof texte, "%02d:%02d:%02d", int(s / SecondesParHeure),
                  int(s / SecondesParMinute % 60), int(s % SecondesParMinute));
    return texte;
}

double PasGraduation(double duree, int largeur)
{
    static const double pas[] = {60, 120, 300, 600, 900, 1800, 3600, 7200, 10800, 21600};
    const double minimum = largeur > 0 ? duree * 60 / largeur : SecondesParJour;
    for (double p : pas)
        if (p >= minimum)
            return p;
    return SecondesParJour / 2;
}
