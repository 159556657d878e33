// What the exports add as evidence, from a film's header and dates: the
// burn-in hook, the source hashed as it is read, the ranges of each report.
#include "commun/fichiers_essai.h"
#include "export/incrustation.h"
#include "export/preuves.h"
#include "filmmaker.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

std::vector<unsigned char> Bitmap(int l, int h)
{
    const size_t pas = (size_t(l) * 3 + 3) & ~size_t(3);
    std::vector<unsigned char> f(54 + pas * size_t(h), 100);
    std::memset(f.data(), 0, 54);
    f[0] = 'B';
    f[1] = 'M';
    f[10] = 54;
    f[14] = 40;
    f[18] = uint8_t(l);
    f[19] = uint8_t(l >> 8);
    f[22] = uint8_t(h);
    f[23] = uint8_t(h >> 8);
    f[26] = 1;
    f[28] = 24;
    return f;
}

FilmSource FilmDate(const DossierTemporaire& d, int nbImages, uint32_t dureeMs)
{
    SilencerCodecs();
    OptionsFilm o;
    o.nbImages = nbImages;
    o.dureeMs = dureeMs;
    o.dates = true;
    LireDateHeure("12/05/2014 10:15:00", o.dateDebut);
    EXPECT_EQ(FabriquerFilm(d / "film.mjp", o), 0);
    FilmSource f;
    EXPECT_EQ(LireFilmSource(d / "film.mjp", f), 0);
    return f;
}

} // namespace

TEST(Preuves, IncrustationDeChaqueImageASonHeure)
{
    DossierTemporaire d;
    const FilmSource film = FilmDate(d, 40, 4000);
    ASSERT_TRUE(film.dates);
    EXPECT_TRUE(IncrustationParDefaut(film));
    EXPECT_DOUBLE_EQ(film.SecondesImage(25), 2.5);
    EXPECT_EQ(TexteDateHeure(film.DateA(2.5)), "12/05/2014 10:15:02");

    // The hook's picture 25 (the 26th decoded) is film picture 25.
    const CrochetImageAvi crochet = CrochetIncrustation(film);
    auto image = Bitmap(320, 240), attendu = Bitmap(320, 240);
    crochet(image.data(), int32_t(image.size()), 320, 240, 25);
    IncrusterBitmap(attendu.data(), attendu.size(), "12/05/2014 10:15:02");
    EXPECT_EQ(image, attendu);

    // Without dates: the film time to the tenth.
    FilmSource sansDates = film;
    sansDates.dates = false;
    EXPECT_FALSE(IncrustationParDefaut(sansDates));
    auto image2 = Bitmap(320, 240), attendu2 = Bitmap(320, 240);
    CrochetIncrustation(sansDates)(image2.data(), int32_t(image2.size()), 320, 240, 13);
    IncrusterBitmap(attendu2.data(), attendu2.size(), "00:00:01.3");
    EXPECT_EQ(image2, attendu2);
}

TEST(Preuves, SourceHacheeEnLaLisantUneFois)
{
    DossierTemporaire d;
    const FilmSource film = FilmDate(d, 10, 1000);
    const Octets octets = LireOctets(film.chemin);
    std::string attendu;
    ASSERT_EQ(Sha256Fichier(film.chemin, attendu), 0);

    HachageSource entier(int64_t(octets.size()));
    entier.Ajouter(octets.data(), 100);
    entier.Ajouter(octets.data() + 100, octets.size() - 100);
    EXPECT_EQ(entier.Resultat(), attendu);
    // A read that stopped short gives no digest: the report hashes the file.
    HachageSource partiel(int64_t(octets.size()));
    partiel.Ajouter(octets.data(), 100);
    EXPECT_EQ(partiel.Resultat(), "");

    EcrireOctets(d / "sortie.avi", Octets(10, 1));
    InfosRapport r = RapportAvi(film, d / "sortie.avi", 10000, 10, true, attendu);
    EXPECT_EQ(r.source.taille, int64_t(octets.size()));
    EXPECT_EQ(r.derniereImage, 9);
    EXPECT_DOUBLE_EQ(r.imagesParSeconde, 10);
    EXPECT_EQ(TexteDateHeure(r.dateFin), "12/05/2014 10:15:01");
    ASSERT_EQ(EcrireRapportIntegrite(r), 0);
    EXPECT_EQ(r.source.sha256, attendu);
}

TEST(Preuves, PorteesDeLExtractionEtDeLaPhoto)
{
    DossierTemporaire d;
    const FilmSource film = FilmDate(d, 250, 25000);
    // Marks 10-20 s of 250 pictures in 25 s: pictures 100 to 199.
    const InfosRapport e = RapportExtraction(film, d / "extrait.mjp", 10, 20, 100);
    EXPECT_EQ(e.genre, GenreExport::Extraction);
    EXPECT_EQ(e.premiereImage, 100);
    EXPECT_EQ(e.derniereImage, 199);
    EXPECT_EQ(TexteDateHeure(e.dateDebut), "12/05/2014 10:15:10");
    EXPECT_EQ(TexteDateHeure(e.dateFin), "12/05/2014 10:15:20");
    EXPECT_DOUBLE_EQ(e.imagesParSeconde, 10);

    const InfosRapport p = RapportPhoto(film, d / "p.jpg", 123, 12.3);
    EXPECT_EQ(p.premiereImage, 123);
    EXPECT_EQ(p.derniereImage, 123);
    EXPECT_EQ(NomPhotoProposee(film, 12.3), "film_12-05-2014_10-15-12.jpg");
    EXPECT_EQ(CommentairePhotoFilm(film, 12.3),
              "Film : film.mjp ; date et heure : 12/05/2014 10:15:12 ; temps du film : 00:00:12.3");
    FilmSource vide;
    EXPECT_EQ(LireFilmSource(d / "absent.mjp", vide), -1);
}
