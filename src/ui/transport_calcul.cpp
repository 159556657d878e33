#include "ui/transport_calcul.h"


namespace {

const CranVitesse TableVitesses[CranVitesseMax - CranVitesseMin + 1] = {
    {0.1, "x 0.1"}, {0.3, "x 0.3"}, {0.5, "x 0.5"}, {0.7, "x 0.7"}, {0.9, "x 0.9"},
    {1.0, "x 1"},   {2.0, "x 2"},   {3.0, "x 3"},   {4.0, "x 4"},   {5.0, "x 5"},
    {6.0, "x 6"},   {7.0, "x 7"},   {8.0, "x 8"},   {9.0, "x 9"},   {10.0, "x 10"},
    {11.0, "x 11"}, {12.0, "x 12"}, {13.0, "x 13"}, {14.0, "x 14"}, {15.0, "x 15"},
    {16.0, "x 16"},
};

// Ticks the slider shows at most, whatever the film's length.
constexpr uint32_t GraduationsMax = 300;

} // namespace

CranVitesse VitessePourCran(int position)
{
    if (position < CranVitesseMin || position > CranVitesseMax)
        return TableVitesses[CranVitesseNormal];
    return TableVitesses[position - CranVitesseMin];
}

int EcartGraduations(uint32_t duree)
{
    return int(duree / GraduationsMax + 1);
}

FinDeFilm DeciderFinDeFilm(bool lecture, bool finDeFilm, bool boucle, bool enchainer)
{
    if (lecture && !finDeFilm)
        return FinDeFilm::Continuer;
    if (!finDeFilm)
        return FinDeFilm::Arreter;
    if (enchainer)
        return FinDeFilm::Enchainer;
    if (boucle)
        return FinDeFilm::Boucler;
    return FinDeFilm::Arreter;
}
