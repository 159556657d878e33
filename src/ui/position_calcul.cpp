#include "ui/position_calcul.h"

#include <cmath>
#include <cstdio>

namespace {
constexpr int LongueurCheminLecture = 150; // path characters kept in the read-out
constexpr int LongueurLecture = 150;       // read-out field
constexpr int64_t MsParJour = 86400000;
// Day 0 of the date-times is 30 December 1899; days from 1 March of year 0
// (the start of the civil-from-days computation) to it.
constexpr int64_t JoursAvantOrigine = 693899;

// Civil date of a day count from 1 March of year 0 (proleptic Gregorian).
void DateCivile(int64_t jours, int& annee, int& mois, int& jour)
{
    const int64_t ere = (jours >= 0 ? jours : jours - 146096) / 146097;
    const int64_t doe = jours - ere * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    jour = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    mois = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    annee = static_cast<int>(yoe + ere * 400 + (mois <= 2 ? 1 : 0));
}
} // namespace

DecoupageTemps DecouperTemps(int64_t t)
{
    const int64_t h = t / 3600;
    const int64_t m = t / 60 - h * 60;
    const int64_t s = t - h * 3600 - m * 60;
    return {static_cast<int>(h), static_cast<int>(m), static_cast<int>(s)};
}

uint32_t SecondeJouee(uint32_t dureeFilm, double pourcentFilm)
{
    const long double s = std::trunc(static_cast<long double>(dureeFilm) * pourcentFilm * 0.01L);
    if (!(s > 0)) // negative or not a number: the start
        return 0;
    if (s >= dureeFilm)
        return dureeFilm;
    return static_cast<uint32_t>(s);
}

std::string TexteLecture(const char* cheminFilm, int64_t position, int64_t duree)
{
    const DecoupageTemps p = DecouperTemps(position);
    const DecoupageTemps d = DecouperTemps(duree);
    char texte[LongueurCheminLecture + 64];
    std::snprintf(texte, sizeof texte, "%.150s (%02d:%02d:%02d / %02d:%02d:%02d)",
                  cheminFilm ? cheminFilm : "", p.heures, p.minutes, p.secondes, d.heures, d.minutes,
                  d.secondes);
    return texte;
}

std::string FormaterDateHeure(double jours)
{
    if (!std::isfinite(jours) || std::fabs(jours) > 3e6) // beyond year 9999: nothing sensible to show
        return std::string();
    // Negative date-times count days backwards but their fraction still
    // runs forwards from midnight.
    const double partieJour = std::trunc(jours);
    const double fraction = std::fabs(jours - partieJour);
    int64_t ms = static_cast<int64_t>(std::llround(fraction * MsParJour));
    int64_t jour = static_cast<int64_t>(partieJour);
    if (ms >= MsParJour) { // rounding reached the next midnight
        ms -= MsParJour;
        jour += jours < 0 ? -1 : 1;
    }
    int annee, mois, j;
    DateCivile(jour + JoursAvantOrigine, annee, mois, j);
    const int secondes = static_cast<int>(ms / 1000);
    char texte[64];
    std::snprintf(texte, sizeof texte, "%02d/%02d/%04d %02d:%02d:%02d", j, mois, annee,
                  secondes / 3600, secondes / 60 % 60, secondes % 60);
    return texte;
}

double DateDeLaPosition(double debut, double fin, int position, int maximum)
{
    if (maximum == 0)
        return debut;
    return debut + (fin - debut) * position / maximum;
}

std::string TexteLectureComplet(const char* cheminFilm, int position, int maximum, uint32_t duree,
                                bool datesPresentes, double dateDebut, double dateFin)
{
    char texte[LongueurLecture + 1];
    if (datesPresentes) {
        const std::string date = FormaterDateHeure(DateDeLaPosition(dateDebut, dateFin, position, maximum));
        std::snprintf(texte, sizeof texte, "%.100s", date.c_str());
        return texte;
    }
    return TexteLecture(cheminFilm, position, duree);
}

bool PositionDuCurseur(int position, int maximum, uint32_t duree, uint32_t& positionSecondes)
{
    if (maximum <= 0)
        return false;
    const int64_t p = static_cast<int64_t>(position) * duree / maximum;
    positionSecondes = p < 0 ? 0 : static_cast<uint32_t>(p);
    return true;
}
