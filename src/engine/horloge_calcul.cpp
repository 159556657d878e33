#include "engine/horloge_calcul.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

// Day count of 01/01/1970 in the ".hrd" reckoning (days since 30/12/1899).
constexpr int64_t JourUnix = 25569;

bool FilmValide(const FilmHorloge& f)
{
    return f.nbImages > 0 && f.dureeMs > 0;
}

// The count k runs over: the index's when there is one.
int64_t NombreImages(const FilmHorloge& f, bool& exacte)
{
    exacte = f.nbImagesIndex > 0;
    return exacte ? f.nbImagesIndex : static_cast<int64_t>(f.nbImages);
}

int64_t DivisionPlancher(int64_t a, int64_t b)
{
    int64_t q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0)))
        --q;
    return q;
}

struct DateCivile {
    int jour, mois, annee, heure, minute, seconde;
};

// Calendar date of a clock time (proleptic Gregorian, days from 1970 on).
DateCivile Civile(int64_t t)
{
    const int64_t secondes = DivisionPlancher(t, 1000000);
    const int64_t jours = DivisionPlancher(secondes, 86400) - JourUnix;
    const int64_t dansJour = secondes - DivisionPlancher(secondes, 86400) * 86400;
    // Days to year/month/day, after the civil-from-days method.
    const int64_t z = jours + 719468;
    const int64_t ere = DivisionPlancher(z, 146097);
    const int64_t jde = z - ere * 146097;
    const int64_t ade = (jde - jde / 1460 + jde / 36524 - jde / 146096) / 365;
    const int64_t jda = jde - (365 * ade + ade / 4 - ade / 100);
    const int64_t mp = (5 * jda + 2) / 153;
    DateCivile d{};
    d.jour = static_cast<int>(jda - (153 * mp + 2) / 5 + 1);
    d.mois = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    d.annee = static_cast<int>(ade + ere * 400 + (d.mois <= 2 ? 1 : 0));
    d.heure = static_cast<int>(dansJour / 3600);
    d.minute = static_cast<int>(dansJour / 60 % 60);
    d.seconde = static_cast<int>(dansJour % 60);
    return d;
}

} // namespace

int64_t TempsDeDate(double jours)
{
    return static_cast<int64_t>(std::llround(jours * 86400000.0)) * 1000;
}

std::vector<PlageHorloge> PlacerFilms(const std::vector<FilmHorloge>& films)
{
    bool dateTrouvee = false;
    int64_t premierDebut = 0;
    for (const FilmHorloge& f : films) {
        if (!FilmValide(f) || !f.dates)
            continue;
        const int64_t debut = TempsDeDate(f.dateDebut);
        premierDebut = dateTrouvee ? std::min(premierDebut, debut) : debut;
        dateTrouvee = true;
    }
    std::vector<PlageHorloge> plages(films.size());
    for (size_t i = 0; i < films.size(); ++i) {
        const FilmHorloge& f = films[i];
        if (!FilmValide(f))
            continue;
        PlageHorloge& p = plages[i];
        p.debut = f.dates ? TempsDeDate(f.dateDebut) : premierDebut;
        p.fin = p.debut + static_cast<int64_t>(f.dureeMs) * 1000;
        p.valide = true;
    }
    return plages;
}

PlageHorloge EtendueHorloge(const std::vector<PlageHorloge>& plages)
{
    PlageHorloge e;
    for (const PlageHorloge& p : plages) {
        if (!p.valide)
            continue;
        if (!e.valide) {
            e = p;
            continue;
        }
        e.debut = std::min(e.debut, p.debut);
        e.fin = std::max(e.fin, p.fin);
    }
    return e;
}

ImageHorloge ImageAuTemps(const FilmHorloge& film, const PlageHorloge& plage, int64_t t)
{
    ImageHorloge r;
    if (!plage.valide || !FilmValide(film) || t < plage.debut || t >= plage.fin)
        return r;
    r.nbImages = NombreImages(film, r.exacte);
    const int64_t dureeUs = static_cast<int64_t>(film.dureeMs) * 1000;
    // (t - debut) < duration <= 2^32 ms, times N (< 2^32): fits in 64 bits
    // only through a split, as the product could reach 2^94.
    const int64_t ecart = t - plage.debut;
    const long double k = static_cast<long double>(ecart) * r.nbImages / dureeUs;
    r.image = std::min<int64_t>(static_cast<int64_t>(k), r.nbImages - 1);
    r.presente = true;
    return r;
}

int64_t TempsDeLImage(const FilmHorloge& film, const PlageHorloge& plage, int64_t k)
{
    bool exacte = false;
    const int64_t n = NombreImages(film, exacte);
    if (n <= 0)
        return plage.debut;
    k = std::max<int64_t>(0, std::min(k, n - 1));
    const long double dureeUs = static_cast<long double>(film.dureeMs) * 1000;
    // The first whole microsecond at or after k * D / N.
    return plage.debut + static_cast<int64_t>(std::ceil(k * dureeUs / n));
}

int64_t TempsSuiviDeLImage(const FilmHorloge& film, const PlageHorloge& plage, int64_t k, int sens)
{
    if (sens >= 0)
        return TempsDeLImage(film, plage, k);
    bool exacte = false;
    const int64_t n = NombreImages(film, exacte);
    if (n <= 0)
        return plage.debut;
    k = std::max<int64_t>(0, std::min(k, n - 1));
    // The microsecond before the next picture's first (the film's end for
    // the last picture).
    const int64_t suivante = k + 1 < n ? TempsDeLImage(film, plage, k + 1) : plage.fin;
    return std::max(TempsDeLImage(film, plage, k), suivante - 1);
}

int64_t TempsEnLecture(int64_t depart, int64_t ms, double vitesse, int sens, int64_t actuel,
                       const PlageHorloge& etendue)
{
    const int64_t ecart = static_cast<int64_t>(static_cast<double>(ms) * 1000.0 * vitesse);
    int64_t t = sens < 0 ? std::min(actuel, depart - ecart) : std::max(actuel, depart + ecart);
    if (etendue.valide)
        t = std::max(etendue.debut, std::min(t, etendue.fin));
    return t;
}

ActionPiste ActionPisteEnLecture(const PlageHorloge& plage, int64_t t, bool enCours)
{
    const bool dedans = plage.valide && t >= plage.debut && t < plage.fin;
    if (dedans && !enCours)
        return ActionPiste::Demarrer;
    if (!dedans && enCours)
        return ActionPiste::Arreter;
    return ActionPiste::Rien;
}

bool FinDeParcours(const PlageHorloge& etendue, int64_t t, int sens)
{
    if (!etendue.valide)
        return false;
    return sens < 0 ? t <= etendue.debut : t >= etendue.fin;
}

FinHorloge DerniereImage(const std::vector<FilmHorloge>& films, const std::vector<PlageHorloge>& plages)
{
    FinHorloge fin;
    for (size_t i = 0; i < films.size() && i < plages.size(); ++i) {
        if (!plages[i].valide || (fin.piste >= 0 && plages[i].fin <= plages[size_t(fin.piste)].fin))
            continue;
        const int64_t n = films[i].nbImagesIndex > 0 ? films[i].nbImagesIndex : int64_t(films[i].nbImages);
        if (n <= 0)
            continue;
        fin.piste = int(i);
        fin.image = n - 1;
        fin.temps = TempsDeLImage(films[i], plages[i], fin.image);
    }
    return fin;
}

int32_t SecondeDuFilm(const FilmHorloge& film, const PlageHorloge& plage, int64_t t)
{
    const int64_t duree = film.dureeMs / 1000;
    const int64_t s = DivisionPlancher(t - plage.debut, 1000000);
    return static_cast<int32_t>(std::max<int64_t>(0, std::min(s, duree)));
}

std::string TexteDateHeure(int64_t t)
{
    const DateCivile d = Civile(t);
    char texte[32];
    std::snprintf(texte, sizeof texte, "%02d/%02d/%04d %02d:%02d:%02d", d.jour, d.mois, d.annee, d.heure, d.minute,
                  d.seconde);
    return texte;
}

std::string TexteHeure(int64_t t)
{
    const DateCivile d = Civile(t);
    char texte[16];
    std::snprintf(texte, sizeof texte, "%02d:%02d:%02d", d.heure, d.minute, d.seconde);
    return texte;
}

int64_t TempsPourAllerA(int secondes, const PlageHorloge& etendue, bool dates)
{
    if (!etendue.valide || secondes < 0)
        return -1;
    int64_t t = 0;
    if (dates) {
        const int64_t jour = DivisionPlancher(etendue.debut, MicrosParJour) * MicrosParJour;
        t = jour + static_cast<int64_t>(secondes) * 1000000;
        if (t < etendue.debut)
            t += MicrosParJour;
    } else {
        t = etendue.debut + static_cast<int64_t>(secondes) * 1000000;
    }
    return (t >= etendue.debut && t < etendue.fin) ? t : -1;
}

std::string TexteSansEnregistrement(const PlageHorloge& plage, bool dates)
{
    std::string texte = "Pas d'enregistrement";
    if (!plage.valide)
        return texte;
    texte += "\n";
    texte += dates ? TexteDateHeure(plage.debut) : TexteHeure(plage.debut);
    texte += " - ";
    texte += dates ? TexteDateHeure(plage.fin) : TexteHeure(plage.fin);
    return texte;
}
