// One clock over several films: placing films by their dates, the span,
// picture of a clock time and back, go-to times and the texts.
#include "engine/horloge_calcul.h"

#include <gtest/gtest.h>

namespace {

// 12/05/2014 as a ".hrd" day count, and a time of that day in days.
constexpr double Jour = 41771.0;
double Heure(int h, int m, int s)
{
    return Jour + (h * 3600 + m * 60 + s) / 86400.0;
}
int64_t T(int h, int m, int s, int ms = 0)
{
    return TempsDeDate(Jour) + ((h * 3600LL + m * 60 + s) * 1000 + ms) * 1000;
}

FilmHorloge Film(uint32_t images, uint32_t dureeMs, bool dates = false, double debut = 0, int64_t index = -1)
{
    FilmHorloge f;
    f.nbImages = images;
    f.dureeMs = dureeMs;
    f.dates = dates;
    f.dateDebut = debut;
    f.nbImagesIndex = index;
    return f;
}

TEST(HorlogeCalcul, FilmsPlacedByDatesAndUndatedOnesAtTheEarliestStart)
{
    // A at 10:00:00 (60 s), B 20 s later (60 s), C without dates, D empty.
    const std::vector<FilmHorloge> films = {Film(1500, 60000, true, Heure(10, 0, 0)),
                                            Film(1500, 60000, true, Heure(10, 0, 20)), Film(300, 30000),
                                            Film(0, 0)};
    const auto p = PlacerFilms(films);
    ASSERT_EQ(p.size(), 4u);
    EXPECT_EQ(p[0].debut, T(10, 0, 0));
    EXPECT_EQ(p[0].fin, T(10, 1, 0));
    EXPECT_EQ(p[1].debut, T(10, 0, 20));
    EXPECT_EQ(p[1].fin, T(10, 1, 20));
    EXPECT_EQ(p[2].debut, T(10, 0, 0));
    EXPECT_EQ(p[2].fin, T(10, 0, 30));
    EXPECT_FALSE(p[3].valide);
    const PlageHorloge e = EtendueHorloge(p);
    EXPECT_TRUE(e.valide);
    EXPECT_EQ(e.debut, T(10, 0, 0));
    EXPECT_EQ(e.fin, T(10, 1, 20));

    // The earliest start wins even when it is not the first film's.
    const auto q = PlacerFilms({Film(10, 1000), Film(10, 1000, true, Heure(9, 0, 0)),
                                Film(10, 1000, true, Heure(8, 0, 0))});
    EXPECT_EQ(q[0].debut, T(8, 0, 0));

    // No dates at all: every film starts at 0 together.
    const auto r = PlacerFilms({Film(10, 1000), Film(20, 4000)});
    EXPECT_EQ(r[0].debut, 0);
    EXPECT_EQ(r[1].debut, 0);
    EXPECT_EQ(EtendueHorloge(r).fin, 4000000);
    EXPECT_FALSE(EtendueHorloge({}).valide);
}

TEST(HorlogeCalcul, PictureOfAClockTimeAcrossFilmsAndGaps)
{
    const std::vector<FilmHorloge> films = {Film(1500, 60000, true, Heure(10, 0, 0), 1500),
                                            Film(1500, 60000, true, Heure(10, 0, 20), 1500)};
    const auto p = PlacerFilms(films);
    // 10:00:30: A's picture 750, B's 250.
    ImageHorloge a = ImageAuTemps(films[0], p[0], T(10, 0, 30));
    ImageHorloge b = ImageAuTemps(films[1], p[1], T(10, 0, 30));
    ASSERT_TRUE(a.presente && b.presente);
    EXPECT_EQ(a.image, 750);
    EXPECT_EQ(b.image, 250);
    EXPECT_TRUE(a.exacte);
    EXPECT_EQ(a.nbImages, 1500);
    // Picture 751 of A: its time gives B's 251.
    const int64_t t = TempsDeLImage(films[0], p[0], 751);
    EXPECT_EQ(t, T(10, 0, 30, 40));
    EXPECT_EQ(ImageAuTemps(films[1], p[1], t).image, 251);
    // Before B's start and from A's end on: no recording; the start and
    // the last microsecond are inside.
    EXPECT_FALSE(ImageAuTemps(films[1], p[1], T(10, 0, 10)).presente);
    EXPECT_FALSE(ImageAuTemps(films[0], p[0], T(10, 1, 0)).presente);
    EXPECT_EQ(ImageAuTemps(films[1], p[1], T(10, 0, 20)).image, 0);
    EXPECT_EQ(ImageAuTemps(films[0], p[0], T(10, 1, 0) - 1).image, 1499);
}

TEST(HorlogeCalcul, DifferentRatesAndTheIndexCount)
{
    // 30 pictures a second against 25, and a film whose index found fewer
    // pictures than its header says (the index counts).
    const FilmHorloge trente = Film(900, 30000, true, Heure(10, 0, 0), 900);
    const FilmHorloge vingtCinq = Film(750, 30000, true, Heure(10, 0, 0), 750);
    const FilmHorloge manque = Film(750, 30000, true, Heure(10, 0, 0), 600);
    const FilmHorloge sansIndex = Film(750, 30000, true, Heure(10, 0, 0));
    const auto p = PlacerFilms({trente, vingtCinq, manque, sansIndex});
    const int64_t t = T(10, 0, 10);
    EXPECT_EQ(ImageAuTemps(trente, p[0], t).image, 300);
    EXPECT_EQ(ImageAuTemps(vingtCinq, p[1], t).image, 250);
    EXPECT_EQ(ImageAuTemps(manque, p[2], t).image, 200);
    EXPECT_EQ(ImageAuTemps(manque, p[2], t).nbImages, 600);
    const ImageHorloge proportionnelle = ImageAuTemps(sansIndex, p[3], t);
    EXPECT_EQ(proportionnelle.image, 250);
    EXPECT_FALSE(proportionnelle.exacte);
    // Every picture of a 30/s film maps back to itself although its times
    // are not whole microseconds, and steps one by one.
    for (int64_t k = 0; k < 900; ++k) {
        const int64_t tk = TempsDeLImage(trente, p[0], k);
        ASSERT_EQ(ImageAuTemps(trente, p[0], tk).image, k) << k;
        ASSERT_EQ(ImageAuTemps(trente, p[0], tk - 1).image, k - 1 < 0 ? 0 : k - 1) << k;
    }
    // Pictures out of range are held to the film.
    EXPECT_EQ(TempsDeLImage(trente, p[0], -5), p[0].debut);
    EXPECT_EQ(ImageAuTemps(trente, p[0], TempsDeLImage(trente, p[0], 5000)).image, 899);
}

TEST(HorlogeCalcul, FilmSecondAndGoToTimes)
{
    const FilmHorloge a = Film(1500, 60500, true, Heure(23, 59, 30));
    const auto p = PlacerFilms({a});
    const PlageHorloge e = EtendueHorloge(p);
    EXPECT_EQ(SecondeDuFilm(a, p[0], p[0].debut + 12999999), 12);
    EXPECT_EQ(SecondeDuFilm(a, p[0], p[0].debut - 5), 0);
    EXPECT_EQ(SecondeDuFilm(a, p[0], p[0].fin + 10000000), 60);
    // The film runs past midnight: 00:00:10 is the next day's.
    EXPECT_EQ(TempsPourAllerA(23 * 3600 + 59 * 60 + 40, e, true), p[0].debut + 10000000);
    EXPECT_EQ(TempsPourAllerA(10, e, true), p[0].debut + 40000000);
    EXPECT_EQ(TempsPourAllerA(12 * 3600, e, true), -1);
    EXPECT_EQ(TempsPourAllerA(-1, e, true), -1);
    // Without dates the time counts from the start; the end is outside.
    const auto q = PlacerFilms({Film(100, 20000)});
    EXPECT_EQ(TempsPourAllerA(15, EtendueHorloge(q), false), 15000000);
    EXPECT_EQ(TempsPourAllerA(20, EtendueHorloge(q), false), -1);
}

TEST(HorlogeCalcul, PlayingBackwardsAcrossFilms)
{
    // A 10:00:00-10:00:30 and B 09:59:50-10:00:20, 10 pictures a second
    // (B 30/s, whose picture times are not whole microseconds).
    const FilmHorloge a = Film(300, 30000, true, Heure(10, 0, 0), 300);
    const FilmHorloge b = Film(900, 30000, true, Heure(9, 59, 50), 900);
    const auto p = PlacerFilms({a, b});
    const PlageHorloge e = EtendueHorloge(p);

    // The time followed of a picture on screen maps back to it both ways:
    // forwards its first microsecond, backwards its last.
    for (int64_t k : {0, 1, 150, 299}) {
        const int64_t avant = TempsSuiviDeLImage(a, p[0], k, 1);
        const int64_t arriere = TempsSuiviDeLImage(a, p[0], k, -1);
        EXPECT_EQ(avant, TempsDeLImage(a, p[0], k));
        EXPECT_EQ(ImageAuTemps(a, p[0], arriere).image, k) << k;
        const ImageHorloge suivante = ImageAuTemps(a, p[0], arriere + 1);
        EXPECT_TRUE(suivante.presente ? suivante.image == k + 1 : k == 299) << k;
    }
    for (int64_t k = 0; k < 900; ++k)
        ASSERT_EQ(ImageAuTemps(b, p[1], TempsSuiviDeLImage(b, p[1], k, -1)).image, k) << k;
    EXPECT_EQ(TempsSuiviDeLImage(a, p[0], 299, -1), p[0].fin - 1);

    // 2 s of wall clock at x 4 backwards from 10:00:24: 10:00:16; the
    // clock never goes back over where it stands, nor below the span.
    EXPECT_EQ(TempsEnLecture(T(10, 0, 24), 2000, 4.0, -1, T(10, 0, 24), e), T(10, 0, 16));
    EXPECT_EQ(TempsEnLecture(T(10, 0, 24), 2000, 4.0, -1, T(10, 0, 10), e), T(10, 0, 10));
    EXPECT_EQ(TempsEnLecture(T(10, 0, 24), 60000, 1.0, -1, T(10, 0, 24), e), e.debut);
    EXPECT_EQ(TempsEnLecture(T(10, 0, 24), 500, 2.0, 1, T(10, 0, 24), e), T(10, 0, 25));
    EXPECT_EQ(TempsEnLecture(T(10, 0, 24), 500, 2.0, 1, T(10, 0, 26), e), T(10, 0, 26));
    EXPECT_EQ(TempsEnLecture(T(10, 0, 24), 60000, 1.0, 1, T(10, 0, 24), e), e.fin);

    // Going back from 10:00:24: B (ended at 10:00:20) starts when the clock
    // enters its span at its end, A stops once the clock passes its start.
    EXPECT_EQ(ActionPisteEnLecture(p[1], T(10, 0, 24), false), ActionPiste::Rien);
    EXPECT_EQ(ActionPisteEnLecture(p[1], T(10, 0, 20), false), ActionPiste::Rien);
    EXPECT_EQ(ActionPisteEnLecture(p[1], T(10, 0, 20) - 1, false), ActionPiste::Demarrer);
    EXPECT_EQ(ActionPisteEnLecture(p[1], T(10, 0, 12), true), ActionPiste::Rien);
    EXPECT_EQ(ActionPisteEnLecture(p[0], T(10, 0, 0), true), ActionPiste::Rien);
    EXPECT_EQ(ActionPisteEnLecture(p[0], T(10, 0, 0) - 1, true), ActionPiste::Arreter);
    EXPECT_EQ(ActionPisteEnLecture(p[0], T(9, 59, 55), false), ActionPiste::Rien);
    EXPECT_EQ(ActionPisteEnLecture(PlageHorloge(), T(10, 0, 5), false), ActionPiste::Rien);

    // The way ends at the earliest start backwards, at the latest end
    // forwards.
    EXPECT_FALSE(FinDeParcours(e, T(9, 59, 50) + 1, -1));
    EXPECT_TRUE(FinDeParcours(e, T(9, 59, 50), -1));
    EXPECT_FALSE(FinDeParcours(e, T(9, 59, 50), 1));
    EXPECT_TRUE(FinDeParcours(e, T(10, 0, 30), 1));
    EXPECT_FALSE(FinDeParcours(e, T(10, 0, 30) - 1, 1));
    EXPECT_FALSE(FinDeParcours(PlageHorloge(), 0, -1));
}

TEST(HorlogeCalcul, EndIsTheLastPictureOfTheFilmThatEndsLast)
{
    // A 10:00:00-10:01:00, B 10:00:20-10:01:20 (indexed: 1498 pictures),
    // C ends with B but comes after it, D empty.
    const std::vector<FilmHorloge> films = {Film(1500, 60000, true, Heure(10, 0, 0)),
                                            Film(1500, 60000, true, Heure(10, 0, 20), 1498),
                                            Film(600, 60000, true, Heure(10, 0, 20)), Film(0, 0)};
    const auto p = PlacerFilms(films);
    const FinHorloge fin = DerniereImage(films, p);
    EXPECT_EQ(fin.piste, 1);
    EXPECT_EQ(fin.image, 1497);
    EXPECT_EQ(fin.temps, TempsDeLImage(films[1], p[1], 1497));
    const ImageHorloge b = ImageAuTemps(films[1], p[1], fin.temps);
    EXPECT_TRUE(b.presente);
    EXPECT_EQ(b.image, 1497);
    // Without the index, the header's count; the end is inside the span.
    const std::vector<FilmHorloge> sansIndex = {films[0], Film(1500, 60000, true, Heure(10, 0, 20))};
    const FinHorloge f2 = DerniereImage(sansIndex, PlacerFilms(sansIndex));
    EXPECT_EQ(f2.image, 1499);
    EXPECT_LT(f2.temps, T(10, 1, 20));
    EXPECT_GE(f2.temps, T(10, 1, 19, 960));
    EXPECT_EQ(DerniereImage({Film(0, 0)}, PlacerFilms({Film(0, 0)})).piste, -1);
}

TEST(HorlogeCalcul, Texts)
{
    EXPECT_EQ(TexteDateHeure(T(10, 0, 30, 999)), "12/05/2014 10:00:30");
    EXPECT_EQ(TexteDateHeure(TempsDeDate(2)), "01/01/1900 00:00:00");
    EXPECT_EQ(TexteDateHeure(TempsDeDate(61)), "01/03/1900 00:00:00");
    EXPECT_EQ(TexteHeure(75 * 1000000LL), "00:01:15");
    const auto p = PlacerFilms({Film(10, 60000, true, Heure(10, 0, 20))});
    EXPECT_EQ(TexteSansEnregistrement(p[0], true),
              "Pas d'enregistrement\n12/05/2014 10:00:20 - 12/05/2014 10:01:20");
    const auto q = PlacerFilms({Film(10, 60000)});
    EXPECT_EQ(TexteSansEnregistrement(q[0], false), "Pas d'enregistrement\n00:00:00 - 00:01:00");
}

} // namespace
