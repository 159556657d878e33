#include "engine/fichierfilm.h"
#include "core/ouverture.h"
#include "engine/lecture_film.h"
#include "engine/motdepasse.h"

#include "commun/fichiers_essai.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <limits>
#include <sys/stat.h>
#include <unistd.h>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

Octets Entete(uint32_t nbImages, uint32_t dureeMs)
{
    Octets o(8);
    for (int i = 0; i < 4; ++i) {
        o[i] = static_cast<unsigned char>(nbImages >> (8 * i));
        o[4 + i] = static_cast<unsigned char>(dureeMs >> (8 * i));
    }
    return o;
}

// Header followed by `taille` body bytes of a recognisable pattern.
Octets Film(uint32_t nbImages, uint32_t dureeMs, size_t taille)
{
    Octets o = Entete(nbImages, dureeMs);
    for (size_t i = 0; i < taille; ++i)
        o.push_back(static_cast<unsigned char>((i * 7 + i / 251) & 0xFF));
    return o;
}

std::vector<std::string> Contenu(const DossierTemporaire& d)
{
    std::vector<std::string> noms;
    for (const auto& e : fs::directory_iterator(d.Chemin()))
        noms.push_back(e.path().filename().string());
    std::sort(noms.begin(), noms.end());
    return noms;
}

}  // namespace

// --- Kind and companion names -------------------------------------------

TEST(TypeDeFilm, DecidedByTheLastFourCharactersCaseSensitive)
{
    struct Cas {
        const char* chemin;
        int attendu;
    } cas[] = {
        {"/films/cam1.mp4", 0}, {"/films/cam1.mjp", 1}, {"/films/cam1.264", 2}, {".mjp", 1},
        {"/films/cam1.MJP", -1}, {"/films/cam1.Mp4", -1}, {"/films/cam1.avi", -1},
        {"/films/cam1.mjp.bak", -1}, {"/films/cam1mjp", -1}, {"mjp", -1}, {"", -1},
    };
    for (const Cas& c : cas)
        EXPECT_EQ(TypeDeFilm(c.chemin), c.attendu) << c.chemin;
}

TEST(NomCompagnon, ReplacesTheLastThreeCharacters)
{
    EXPECT_EQ(NomCompagnon("/films/cam1.mjp", "hrd"), "/films/cam1.hrd");
    EXPECT_EQ(NomCompagnon("/films/cam1.264", "pcm"), "/films/cam1.pcm");
    EXPECT_EQ(NomCompagnon("/films/cam1.mp4", "msr"), "/films/cam1.msr");
    EXPECT_EQ(NomCompagnon("/films/cam1.mp4", "mdp"), "/films/cam1.mdp");
    EXPECT_EQ(NomCompagnon("abc", "mdp"), "mdp");
}

TEST(NomCompagnon, TooShortPathOrNoExtensionGivesEmpty)
{
    EXPECT_EQ(NomCompagnon("ab", "hrd"), "");
    EXPECT_EQ(NomCompagnon("", "hrd"), "");
    EXPECT_EQ(NomCompagnon("/films/cam1.mjp", nullptr), "");
}

// --- Header --------------------------------------------------------------

TEST(EnteteFilm, ValidFilmGivesCountDurationAndInterval)
{
    DossierTemporaire d;
    ASSERT_TRUE(d.Pret());
    EcrireOctets(d / "cam1.mjp", Film(250, 10000, 100));

    EnteteFilm e;
    ASSERT_EQ(LireEnteteFilm(d / "cam1.mjp", e), 0);
    EXPECT_EQ(e.NbImages, 250u);
    EXPECT_EQ(e.DureeMs, 10000u);
    EXPECT_EQ(e.DureeMs / 1000, 10u);
    EXPECT_EQ(IntervalleNominalMs(e.NbImages, e.DureeMs), 40);
}

TEST(EnteteFilm, WordsAreLittleEndian)
{
    DossierTemporaire d;
    ASSERT_TRUE(d.Pret());
    EcrireOctets(d / "f.mp4", {0x01, 0x02, 0x03, 0x04, 0xE8, 0x03, 0x01, 0x00});
    EnteteFilm e;
    EXPECT_EQ(LireEnteteFilm(d / "f.mp4", e), 0);
    EXPECT_EQ(e.NbImages, 0x04030201u);
    EXPECT_EQ(e.DureeMs, 0x000103E8u);
}

TEST(EnteteFilm, DurationUnderOneSecondIsRefused)
{
    DossierTemporaire d;
    ASSERT_TRUE(d.Pret());
    EcrireOctets(d / "f.mjp", Film(25, 999, 10));
    EnteteFilm e;
    EXPECT_EQ(LireEnteteFilm(d / "f.mjp", e), -1);
    EXPECT_EQ(e.NbImages, 25u);
    EXPECT_EQ(e.DureeMs, 999u);
    EXPECT_EQ(e.DureeMs / 1000, 0u);

    EcrireOctets(d / "g.mjp", Film(25, 1000, 10));
    EXPECT_EQ(LireEnteteFilm(d / "g.mjp", e), 0);
}

TEST(EnteteFilm, ZeroPictureCountIsRefused)
{
    DossierTemporaire d;
    ASSERT_TRUE(d.Pret());
    EcrireOctets(d / "f.mjp", Film(0, 10000, 10));
    EnteteFilm e;
    EXPECT_EQ(LireEnteteFilm(d / "f.mjp", e), -1);
    EXPECT_EQ(e.NbImages, 0u);
    EXPECT_EQ(e.DureeMs, 10000u);
}

TEST(EnteteFilm, ShortOrMissingFileIsRefusedKeepingWhatWasRead)
{
    DossierTemporaire d;
    ASSERT_TRUE(d.Pret());
    EnteteFilm e;
    EXPECT_EQ(LireEnteteFilm(d / "absent.mjp", e), -1);
    EXPECT_EQ(e.NbImages, 0u);
    EXPECT_EQ(e.DureeMs, 0u);

    Octets sept = Entete(250, 10000);
    sept.resize(7);
    EcrireOctets(d / "court.mjp", sept);
    EXPECT_EQ(LireEnteteFilm(d / "court.mjp", e), -1);
    EXPECT_EQ(e.NbImages, 250u);
    EXPECT_EQ(e.DureeMs, 0u);

    EcrireOctets(d / "vide.mjp", {});
    EXPECT_EQ(LireEnteteFilm(d / "vide.mjp", e), -1);
    EXPECT_EQ(LireEnteteFilm(d.Chemin(), e), -1);  // a folder
    EXPECT_EQ(LireEnteteFilm("", e), -1);
}

TEST(IntervalleNominalMs, IntegerDivisionAndZeroPictures)
{
    EXPECT_EQ(IntervalleNominalMs(250, 10000), 40);
    EXPECT_EQ(IntervalleNominalMs(3, 10000), 3333);
    EXPECT_EQ(IntervalleNominalMs(0, 10000), 0);
    EXPECT_EQ(IntervalleNominalMs(20000, 10000), 0);
    EXPECT_EQ(IntervalleNominalMs(1, UINT32_MAX), INT_MAX);
}

// --- Dates ---------------------------------------------------------------

TEST(DatesFilm, RoundTripThroughTheHrdFile)
{
    DossierTemporaire d;
    ASSERT_TRUE(d.Pret());
    const std::string film = d / "cam1.mjp";
    ASSERT_EQ(EcrireDatesFilm(film, 45123.25, 45123.2916666), 0);

    const Octets brut = LireOctets(d / "cam1.hrd");
    ASSERT_EQ(brut.size(), 16u);
    const double debut = 45123.25;
    uint64_t bits;
    std::memcpy(&bits, &debut, 8);
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(brut[i], static_cast<unsigned char>(bits >> (8 * i))) << "byte " << i;

    const DatesFilm dates = LireDatesFilm(film);
    EXPECT_TRUE(dates.Presentes);
    EXPECT_EQ(dates.Debut, 45123.25);
    EXPECT_EQ(dates.Fin, 45123.2916666);
}

TEST(DatesFilm, MissingFileGivesZerosAndNotPresent)
{
    DossierTemporaire d;
    ASSERT_TRUE(d.Pret());
    const DatesFilm dates = LireDatesFilm(d / "cam1.mjp");
    EXPECT_FALSE(dates.Presentes);
    EXPECT_EQ(dates.Debut, 0);
    EXPECT_EQ(dates.Fin, 0);
    EXPECT_FALSE(LireDatesFilm("ab").Presentes);
}

// A date missing from a short file is no date: the span counts as absent.
TEST(DatesFilm, ShortFileCountsAsNoDates)
{
    DossierTemporaire d;
    ASSERT_TRUE(d.Pret());
    const std::string film = d / "cam1.mjp";
    ASSERT_EQ(EcrireDatesFilm(film, 45000.5, 45000.75), 0);
    Octets brut = LireOctets(d / "cam1.hrd");
    for (size_t taille : {12u, 5u}) {
        brut.resize(taille);
        EcrireOctets(d / "cam1.hrd", brut);
        const DatesFilm dates = LireDatesFilm(film);
        EXPECT_FALSE(dates.Presentes) << taille;
        EXPECT_EQ(dates.Debut, 0) << taille;
        EXPECT_EQ(dates.Fin, 0) << taille;
    }
}

// Dates that are not finite, fall outside 01/01/1900 - 31/12/9999 or run
// backwards make the span absent; the calendar's first and last days are
// kept.
TEST(DatesFilm, ValuesThatAreNotDatesCountAsAbsent)
{
    DossierTemporaire d;
    ASSERT_TRUE(d.Pret());
    const std::string film = d / "cam1.mjp";
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    struct Cas {
        double debut, fin;
        bool presentes;
    } cas[] = {
        {nan, 45000.75, false},  {45000.5, nan, false},      {inf, 45000.75, false},
        {45000.5, -inf, false},  {1e308, 1e308, false},       {-1e308, 45000.75, false},
        {1.99, 45000.75, false}, {45000.5, 2958466.0, false}, {2.0, 2958465.999, true},
        {45000.5, 45000.75, true},
        // A start after the end is no span; a film of one instant is.
        {45000.75, 45000.5, false}, {45000.5, 45000.4999999, false}, {45000.5, 45000.5, true},
    };
    for (const Cas& c : cas) {
        ASSERT_EQ(EcrireDatesFilm(film, c.debut, c.fin), 0);
        const DatesFilm dates = LireDatesFilm(film);
        EXPECT_EQ(dates.Presentes, c.presentes) << c.debut << " " << c.fin;
        if (c.presentes) {
            EXPECT_EQ(dates.Debut, c.debut);
            EXPECT_EQ(dates.Fin, c.fin);
        } else {
            EXPECT_EQ(dates.Debut, 0);
            EXPECT_EQ(dates.Fin, 0);
        }
    }
}

// A FIFO, a folder or a device named like a film or a companion is refused
// at once: nothing waits for a writer.
TEST(FichiersOrdinaires, FifoFolderAndDeviceAreRefusedWithoutBlocking)
{
    DossierTemporaire d;
    ASSERT_TRUE(d.Pret());
    ASSERT_EQ(mkfifo((d / "f.mjp").c_str(), 0600), 0);
    ASSERT_EQ(mkfifo((d / "f.hrd").c_str(), 0600), 0);
    fs::create_directories(d / "dossier.mjp");
    // A hang would end the program instead of passing.
    alarm(60);
    for (const std::string& chemin : {d / "f.mjp", d / "dossier.mjp", std::string("/dev/zero")}) {
        EXPECT_FALSE(EstFichierOrdinaire(chemin)) << chemin;
        EXPECT_EQ(OuvrirFichierOrdinaire(chemin.c_str()), nullptr) << chemin;
        EnteteFilm e;
        EXPECT_EQ(LireEnteteFilm(chemin, e), -1) << chemin;
        EXPECT_EQ(TailleFichier(chemin), -1) << chemin;
    }
    EXPECT_FALSE(LireDatesFilm(d / "f.mjp").Presentes);
    EXPECT_EQ(EcrireFilm(d / "copie.mjp", 1, 1000, d / "f.mjp", 0, 100), -1);
    FluxFilm flux;
    EXPECT_EQ(flux.Ouvrir((d / "f.mjp").c_str(), 0, 10, ""), FluxSansFichier);
    EXPECT_EQ(flux.Ouvrir((d / "dossier.mjp").c_str(), 0, 10, ""), FluxSansFichier);
    // The exact start (picture index) opens through the same check.
    EXPECT_EQ(flux.OuvrirExact((d / "f.mjp").c_str(), 8, 0, 0, 0, ""), FluxSansFichier);
    EXPECT_EQ(flux.OuvrirExact((d / "dossier.mjp").c_str(), 8, 0, 0, 0, ""), FluxSansFichier);
    // A FIFO password record is no record: the film reads as unprotected.
    EcrireOctets(d / "g.mjp", Entete(1, 1000));
    ASSERT_EQ(mkfifo((d / "g.mdp").c_str(), 0600), 0);
    EXPECT_EQ(VerifierMotDePasse((d / "g.mjp").c_str(), "pw"), 0);
    EXPECT_FALSE(fs::exists(d / "copie.mjp"));
    alarm(0);

    // A regular file, also behind a symbolic link, opens and reads.
    const Octets film = {1, 0, 0, 0, 0xE8, 0x03, 0, 0, 0xFF, 0xD8};
    EcrireOctets(d / "bon.mjp", film);
    fs::create_symlink(d / "bon.mjp", d / "lien.mjp");
    for (const std::string& chemin : {d / "bon.mjp", d / "lien.mjp"}) {
        std::FILE* f = OuvrirFichierOrdinaire(chemin.c_str());
        ASSERT_NE(f, nullptr) << chemin;
        unsigned char octets[16];
        EXPECT_EQ(std::fread(octets, 1, sizeof octets, f), film.size());
        std::fclose(f);
    }
}

// --- Positions and progress ---------------------------------------------

TEST(PositionPourSeconde, ProportionalOffsetAndPictureEstimate)
{
    const PositionDepart p = PositionPourSeconde(1000008, 250, 10, 5);
    EXPECT_EQ(p.Octet, 500004);
    EXPECT_EQ(p.ImageEstimee, 125u);
}

TEST(PositionPourSeconde, ResultsAreTruncated)
{
    const PositionDepart p = PositionPourSeconde(1001, 5, 3, 1);
    EXPECT_EQ(p.Octet, 333);         // 333.67
    EXPECT_EQ(p.ImageEstimee, 1u);   // 1.67
    const PositionDepart q = PositionPourSeconde(1001, 5, 3, 2);
    EXPECT_EQ(q.Octet, 667);         // 667.33
    EXPECT_EQ(q.ImageEstimee, 3u);   // 3.33
}

TEST(PositionPourSeconde, OutsideTheFilmStartsAfterTheHeader)
{
    struct Cas {
        int64_t taille;
        uint32_t duree;
        int64_t seconde;
    } cas[] = {
        {1000008, 10, 0}, {1000008, 10, -3}, {1000008, 10, 10}, {1000008, 10, 11},
        {8, 10, 5}, {3, 10, 5}, {0, 10, 5}, {1000008, 0, 5}, {1000008, 0, 0},
    };
    for (const Cas& c : cas) {
        const PositionDepart p = PositionPourSeconde(c.taille, 250, c.duree, c.seconde);
        EXPECT_EQ(p.Octet, TailleEnteteFilm) << c.taille << " " << c.duree << " " << c.seconde;
        EXPECT_EQ(p.ImageEstimee, 0u) << c.taille << " " << c.duree << " " << c.seconde;
    }
}

TEST(OctetPourSeconde, SegmentMarksAreNotSnappedToTheBody)
{
    EXPECT_EQ(OctetPourSeconde(1000008, 10, 5), 500004);
    EXPECT_EQ(OctetPourSeconde(1000008, 10, 0), 0);         // carries the source header
    EXPECT_EQ(OctetPourSeconde(1000008, 10, 10), 1000008);  // end mark at the end
    EXPECT_EQ(OctetPourSeconde(1001, 3, 1), 333);
    EXPECT_EQ(OctetPourSeconde(1000008, 0, 5), 0);
    EXPECT_EQ(OctetPourSeconde(1000008, 10, -1), 0);
    for (int64_t t = 1; t < 10; ++t)
        EXPECT_EQ(OctetPourSeconde(1000008, 10, t), PositionPourSeconde(1000008, 250, 10, t).Octet);
}

TEST(CalculerSegment, BytesDurationAndPicturesInProportion)
{
    const SegmentFilm s = CalculerSegment(1000000, 100, 2500, 10, 20);
    EXPECT_EQ(s.Debut, 100000);
    EXPECT_EQ(s.Fin, 200000);
    EXPECT_EQ(s.DureeMs, 10000u);
    EXPECT_EQ(s.NbImages, 250u);

    const SegmentFilm entier = CalculerSegment(1000000, 100, 2500, 0, 100);
    EXPECT_EQ(entier.Debut, 0);
    EXPECT_EQ(entier.Fin, 1000000);
    EXPECT_EQ(entier.DureeMs, 100000u);
    EXPECT_EQ(entier.NbImages, 2500u);
}

TEST(CalculerSegment, NothingForEqualMarksOrNoFilm)
{
    for (const SegmentFilm& s : {CalculerSegment(1000000, 100, 2500, 0, 0),
                                 CalculerSegment(1000000, 100, 2500, 20, 10),
                                 CalculerSegment(1000000, 0, 2500, 10, 20),
                                 CalculerSegment(0, 100, 2500, 10, 20)}) {
        EXPECT_EQ(s.Debut, 0);
        EXPECT_EQ(s.Fin, 0);
        EXPECT_EQ(s.DureeMs, 0u);
        EXPECT_EQ(s.NbImages, 0u);
    }
}

TEST(PourcentagePourImages, ShownPlusEstimatedOverCount)
{
    EXPECT_DOUBLE_EQ(PourcentagePourImages(0, 125, 250), 50.0);
    EXPECT_DOUBLE_EQ(PourcentagePourImages(25, 125, 250), 60.0);
    EXPECT_DOUBLE_EQ(PourcentagePourImages(1, 0, 3), 100.0 / 3);
    EXPECT_DOUBLE_EQ(PourcentagePourImages(250, 0, 250), 100.0);
    EXPECT_DOUBLE_EQ(PourcentagePourImages(300, 0, 250), 100.0);
    EXPECT_DOUBLE_EQ(PourcentagePourImages(5, 5, 0), 0.0);
}

TEST(SecondesPourPourcentage, TruncatedAndCappedAtTheDuration)
{
    EXPECT_EQ(SecondesPourPourcentage(10, 50.0), 5u);
    EXPECT_EQ(SecondesPourPourcentage(10, 59.9), 5u);
    EXPECT_EQ(SecondesPourPourcentage(10, 100.0), 10u);
    EXPECT_EQ(SecondesPourPourcentage(10, 150.0), 10u);
    EXPECT_EQ(SecondesPourPourcentage(10, 0.0), 0u);
    EXPECT_EQ(SecondesPourPourcentage(10, -5.0), 0u);
    EXPECT_EQ(SecondesPourPourcentage(10, std::nan("")), 0u);
    EXPECT_EQ(SecondesPourPourcentage(0, 50.0), 0u);
}

TEST(Progression, SeekToSecondFiveShowsSecondFive)
{
    const PositionDepart p = PositionPourSeconde(1000008, 250, 10, 5);
    EXPECT_EQ(SecondesPourPourcentage(10, PourcentagePourImages(0, p.ImageEstimee, 250)), 5u);
    EXPECT_EQ(SecondesPourPourcentage(10, PourcentagePourImages(25, p.ImageEstimee, 250)), 6u);
}

// --- Writing a film ------------------------------------------------------

TEST(EcrireFilm, HeaderThenExactByteRange)
{
    DossierTemporaire d;
    ASSERT_TRUE(d.Pret());
    const Octets source = Film(250, 10000, 992);
    EcrireOctets(d / "source.mjp", source);

    ASSERT_EQ(EcrireFilm(d / "segment.mjp", 7, 2500, d / "source.mjp", 100, 350), 0);
    const Octets ecrit = LireOctets(d / "segment.mjp");
    Octets attendu = Entete(7, 2500);
    attendu.insert(attendu.end(), source.begin() + 100, source.begin() + 350);
    EXPECT_EQ(ecrit, attendu);

    EnteteFilm e;
    EXPECT_EQ(LireEnteteFilm(d / "segment.mjp", e), 0);
    EXPECT_EQ(e.NbImages, 7u);
    EXPECT_EQ(e.DureeMs, 2500u);
    EXPECT_EQ(Contenu(d), (std::vector<std::string>{"segment.mjp", "source.mjp"}));
}

TEST(EcrireFilm, RangeFromZeroCarriesTheSourceHeader)
{
    DossierTemporaire d;
    ASSERT_TRUE(d.Pret());
    const Octets source = Film(250, 10000, 92);
    EcrireOctets(d / "source.mp4", source);
    ASSERT_EQ(EcrireFilm(d / "debut.mp4", 25, 1000, d / "source.mp4", 0, 50), 0);
    const Octets ecrit = LireOctets(d / "debut.mp4");
    ASSERT_EQ(ecrit.size(), 58u);
    EXPECT_TRUE(std::equal(source.begin(), source.begin() + 50, ecrit.begin() + 8));
}

TEST(EcrireFilm, RangePastTheEndStopsAtTheEnd)
{
    DossierTemporaire d;
    ASSERT_TRUE(d.Pret());
    const Octets source = Film(250, 10000, 492);
    EcrireOctets(d / "source.264", source);

    ASSERT_EQ(EcrireFilm(d / "fin.264", 1, 1000, d / "source.264", 400, 10000), 0);
    Octets attendu = Entete(1, 1000);
    attendu.insert(attendu.end(), source.begin() + 400, source.end());
    EXPECT_EQ(LireOctets(d / "fin.264"), attendu);

    ASSERT_EQ(EcrireFilm(d / "rien.264", 1, 1000, d / "source.264", 600, 700), 0);
    EXPECT_EQ(LireOctets(d / "rien.264"), Entete(1, 1000));

    ASSERT_EQ(EcrireFilm(d / "vide.264", 1, 1000, d / "source.264", 40, 40), 0);
    EXPECT_EQ(LireOctets(d / "vide.264"), Entete(1, 1000));
}

TEST(EcrireFilm, LongRangeCopiedOverSeveralBlocks)
{
    DossierTemporaire d;
    ASSERT_TRUE(d.Pret());
    const Octets source = Film(2500, 100000, 3 * TailleBlocCopieFilm + 12345);
    EcrireOctets(d / "source.mjp", source);
    const int64_t debut = 1234;
    const int64_t fin = static_cast<int64_t>(source.size()) - 17;

    ASSERT_EQ(EcrireFilm(d / "long.mjp", 2400, 96000, d / "source.mjp", debut, fin), 0);
    Octets attendu = Entete(2400, 96000);
    attendu.insert(attendu.end(), source.begin() + debut, source.begin() + fin);
    EXPECT_EQ(LireOctets(d / "long.mjp"), attendu);
}

TEST(EcrireFilm, ScrambledBytesStayScrambled)
{
    DossierTemporaire d;
    ASSERT_TRUE(d.Pret());
    Octets source = Film(250, 10000, 1000);
    Embrouiller(source.data() + 8, 1000);
    EcrireOctets(d / "protege.mjp", source);

    ASSERT_EQ(EcrireFilm(d / "extrait.mjp", 50, 2000, d / "protege.mjp", 208, 608), 0);
    const Octets ecrit = LireOctets(d / "extrait.mjp");
    ASSERT_EQ(ecrit.size(), 408u);
    EXPECT_TRUE(std::equal(ecrit.begin() + 8, ecrit.end(), source.begin() + 208));

    Octets clair = Film(250, 10000, 1000);
    Octets corps(ecrit.begin() + 8, ecrit.end());
    Desembrouiller(corps.data(), static_cast<int>(corps.size()));
    EXPECT_TRUE(std::equal(corps.begin(), corps.end(), clair.begin() + 208));
}

TEST(EcrireFilm, SourceMayBeTheDestination)
{
    DossierTemporaire d;
    ASSERT_TRUE(d.Pret());
    const Octets source = Film(250, 10000, 292);
    EcrireOctets(d / "film.mjp", source);
    ASSERT_EQ(EcrireFilm(d / "film.mjp", 3, 1500, d / "film.mjp", 8, 108), 0);
    Octets attendu = Entete(3, 1500);
    attendu.insert(attendu.end(), source.begin() + 8, source.begin() + 108);
    EXPECT_EQ(LireOctets(d / "film.mjp"), attendu);
}

TEST(EcrireFilm, FailuresLeaveNoFileBehind)
{
    DossierTemporaire d;
    ASSERT_TRUE(d.Pret());
    EcrireOctets(d / "source.mjp", Film(250, 10000, 92));

    EXPECT_EQ(EcrireFilm(d / "a.mjp", 1, 1000, d / "absent.mjp", 0, 50), -1);
    EXPECT_EQ(EcrireFilm(d / "b.mjp", 1, 1000, d / "source.mjp", 50, 40), -1);
    EXPECT_EQ(EcrireFilm(d / "c.mjp", 1, 1000, d / "source.mjp", -1, 40), -1);
    EXPECT_EQ(EcrireFilm(d / "absent/d.mjp", 1, 1000, d / "source.mjp", 0, 40), -1);
    EXPECT_EQ(EcrireFilm("", 1, 1000, d / "source.mjp", 0, 40), -1);
    EXPECT_EQ(EcrireFilm(d.Chemin(), 1, 1000, d / "source.mjp", 0, 40), -1);  // a folder
    EXPECT_EQ(Contenu(d), std::vector<std::string>{"source.mjp"});
}

TEST(EcrireFilm, FailureKeepsAnExistingDestination)
{
    DossierTemporaire d;
    ASSERT_TRUE(d.Pret());
    const Octets ancien = Film(10, 5000, 20);
    EcrireOctets(d / "film.mjp", ancien);
    EXPECT_EQ(EcrireFilm(d / "film.mjp", 1, 1000, d / "absent.mjp", 0, 50), -1);
    EXPECT_EQ(LireOctets(d / "film.mjp"), ancien);
    EXPECT_EQ(Contenu(d), std::vector<std::string>{"film.mjp"});
}

TEST(EcrireFilm, ExistingDestinationIsReplaced)
{
    DossierTemporaire d;
    ASSERT_TRUE(d.Pret());
    EcrireOctets(d / "source.mjp", Film(250, 10000, 92));
    EcrireOctets(d / "film.mjp", Film(10, 5000, 2000));
    ASSERT_EQ(EcrireFilm(d / "film.mjp", 1, 1000, d / "source.mjp", 0, 10), 0);
    EXPECT_EQ(TailleFichier(d / "film.mjp"), 18);
}

// --- Sizes ---------------------------------------------------------------

TEST(TailleFichier, SizeOrMinusOne)
{
    DossierTemporaire d;
    ASSERT_TRUE(d.Pret());
    EcrireOctets(d / "vide", {});
    EcrireOctets(d / "plein", Octets(1234, 0xAB));
    EXPECT_EQ(TailleFichier(d / "vide"), 0);
    EXPECT_EQ(TailleFichier(d / "plein"), 1234);
    EXPECT_EQ(TailleFichier(d / "absent"), -1);
    EXPECT_EQ(TailleFichier(d.Chemin()), -1);
    EXPECT_EQ(TailleFichier(""), -1);
}

TEST(EcrireOctetsFichier, WholeContentOrNothing)
{
    DossierTemporaire d;
    ASSERT_TRUE(d.Pret());
    const Octets octets = {1, 2, 3, 4, 5};
    ASSERT_EQ(EcrireOctetsFichier(d / "f", octets.data(), octets.size()), 0);
    EXPECT_EQ(LireOctets(d / "f"), octets);
    EXPECT_EQ(EcrireOctetsFichier(d / "g", nullptr, 3), -1);
    EXPECT_EQ(EcrireOctetsFichier(d / "absent/h", octets.data(), octets.size()), -1);
    EXPECT_EQ(Contenu(d), std::vector<std::string>{"f"});
}
