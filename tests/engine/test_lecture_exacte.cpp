// Exact seeks of the reader thread with the film's picture index: the start
// computed from the index, refreshes that land on the picture asked for (a
// step across a key picture, a second of a film whose bit rate varies),
// playback paced from there, and the picture on screen reported.
#include "commun/attente_essai.h"
#include "codecs/bitmap.h"
#include "core/etat.h"
#include "engine/cible_image.h"
#include "engine/index_images.h"
#include "engine/lecture_exacte.h"
#include "engine/th_indexeur.h"
#include "engine/th_lecteur_magneto.h"
#include "filmmaker.h"
#include "numero_image.h"

#include "commun/fichiers_essai.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QObject>
#include <QThread>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr int LimiteMs = 20000;

class CibleNumeros : public QObject, public CibleImage
{
public:
    std::vector<int> numeros;
    int lenteurMs = 0; // time the target takes for each picture
    void AfficherImage(const unsigned char* bitmap, int taille) override
    {
        if (taille != KOR_BITMAP_NOIRE_TAILLE)
            numeros.push_back(LireNumeroBitmap(bitmap, static_cast<size_t>(taille)));
        if (lenteurMs > 0)
            QThread::msleep(static_cast<unsigned long>(lenteurMs));
    }
};

bool Attendre(const std::function<bool()>& condition, int ms = LimiteMs)
{
    return AttendreEnTraitantEvenements(condition, ms);
}

void EcrireVoie(const std::function<void(Voie&)>& f)
{
    const int r = PrendreMutexVoie(0);
    f(Voies[0]);
    if (r == 0)
        RendreMutexVoie(0);
}

TEST(DepartExact, DepuisLIndex)
{
    IndexImages index;
    // 30 pictures, key pictures every 10, headers before the first.
    for (int i = 0; i < 30; ++i)
        index.entrees.push_back(FaireEntree(1000 + 100 * i, i % 10 == 0, i == 20));
    index.debutEntetes = 990;
    index.finEntetes = 1000;
    EXPECT_FALSE(CalculerDepartExact(nullptr, 5, 10, -1).exact);
    EXPECT_EQ(CalculerDepartExact(&index, 5, 0, -1).image, 0);

    DepartExact d = CalculerDepartExact(&index, 5, 10, -1); // k = 15
    EXPECT_TRUE(d.exact);
    EXPECT_EQ(d.image, 15);
    EXPECT_EQ(d.cle, 10);
    EXPECT_EQ(d.octet, 2000);
    EXPECT_EQ(d.nbImages, 30);
    EXPECT_EQ(d.debutEntetes, 990); // past the first picture: headers put before
    EXPECT_EQ(d.finEntetes, 1000);

    d = CalculerDepartExact(&index, 5, 10, 9); // a step asks for picture 9
    EXPECT_EQ(d.image, 9);
    EXPECT_EQ(d.cle, 0);
    EXPECT_EQ(d.octet, 990 + 10); // the first picture's own offset
    EXPECT_EQ(d.debutEntetes, -1);
    EXPECT_EQ(CalculerDepartExact(&index, 5, 10, 99).image, 29);
    // Picture 20 carries its own headers: none are put before it.
    d = CalculerDepartExact(&index, 5, 10, 25);
    EXPECT_EQ(d.cle, 20);
    EXPECT_EQ(d.debutEntetes, -1);

    index.entrees[0] &= ~EntreeIndex(1); // no key picture before 10
    EXPECT_FALSE(CalculerDepartExact(&index, 0, 10, 3).exact);
    EXPECT_TRUE(CalculerDepartExact(&index, 0, 10, 12).exact);

    SuiviExact s;
    d = CalculerDepartExact(&index, 5, 10, 12);
    s.Debuter(d);
    EXPECT_FALSE(s.AMontrer()); // 10
    EXPECT_FALSE(s.AMontrer()); // 11
    EXPECT_TRUE(s.AMontrer());  // 12
    EXPECT_EQ(s.Courante(), 12);
}

class LectureExacte : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ReinitialiserEtat();
        CreerMutexVoie(0);
        CreerMutexGeneral();
        image_.reset(new unsigned char[TailleBufferImage]);
        Voies[0].BufferImage = Voies[0].ImageSortie = image_.get();
        ImageAffichage = &cible_;
        SilencerCodecs();
        ASSERT_TRUE(dossier_.Pret());
    }
    void TearDown() override
    {
        EcrireVoie([](Voie& v) { v.FlagLecture = 0; });
        lecteur_.reset();
        PublierIndex(nullptr, nullptr);
        ImageAffichage = nullptr;
        Voies[0].BufferImage = Voies[0].ImageSortie = nullptr;
    }
    void Selectionner(const std::string& chemin, int type, uint32_t nbImages, uint32_t dureeMs)
    {
        CopierTexte(CheminFilm, sizeof CheminFilm, chemin.c_str());
        TypeFilm = type;
        NbImagesFilm = nbImages;
        DureeFilm = dureeMs / 1000;
    }
    void Indexer(const std::string& chemin, int type)
    {
        const Octets f = LireOctets(chemin);
        PublierIndex(chemin.c_str(),
                     std::make_shared<IndexImages>(IndexerOctets(type, f.data() + 8, f.size() - 8, 8)));
    }
    // One refresh at second `s`, picture `k` asked for (-1: none); the
    // number of the picture shown.
    int Rafraichir(int32_t s, int64_t k = -1)
    {
        if (!lecteur_)
            lecteur_ = std::make_unique<Th_Lecteur_Magneto>(0, 10, 10);
        const size_t avant = cible_.numeros.size();
        SecondeDepart = s;
        EcrireVoie([&](Voie& v) {
            v.ImageDemandee = k;
            v.SecondeImageDemandee = s;
            v.FlagRafraichir = 1;
        });
        if (!Attendre([&] { return cible_.numeros.size() > avant; }))
            return -100;
        return cible_.numeros.back();
    }
public:
    // A film of 192 x 144 (40 pictures, 20 a second, a key picture every
    // 10 unless told), numbered from `premier`, selected and indexed.
    std::string FilmIndexePublic(int type, const std::string& nom, int nbImages = 40, double cadence = 20,
                                 int gop = 10, int premier = 0)
    {
        static const char* const extensions[] = {".mp4", ".mjp", ".264"};
        OptionsFilm o;
        o.largeur = 192;
        o.hauteur = 144;
        o.nbImages = nbImages;
        o.cadence = cadence;
        o.gop = gop;
        o.premierNumero = premier;
        const std::string chemin = dossier_ / (nom + extensions[type]);
        ResultatFilm r;
        EXPECT_EQ(FabriquerFilm(chemin, o, &r), 0);
        Selectionner(chemin, type, r.nbImages, r.dureeMs);
        Indexer(chemin, type);
        return chemin;
    }

protected:
    // Plays from the picture on screen (GarderLePas as given) until the
    // film's end; the numbers of the pictures handed over meanwhile.
    std::vector<int> JouerJusquALaFin(unsigned char garderLePas = 0)
    {
        const size_t avant = cible_.numeros.size();
        EcrireVoie([&](Voie& v) {
            v.GarderLePas = garderLePas;
            v.FlagLecture = 1;
            v.FlagPause = 0;
            v.FlagFinDeFilm = 0;
            ++v.NumeroDemande;
        });
        const bool fin = Attendre([&] {
            unsigned char f = 0;
            EcrireVoie([&](Voie& v) { f = v.FlagFinDeFilm; });
            return f != 0;
        });
        EXPECT_TRUE(fin);
        return std::vector<int>(cible_.numeros.begin() + static_cast<std::ptrdiff_t>(avant), cible_.numeros.end());
    }
    int64_t Montree()
    {
        int64_t k = -1;
        EcrireVoie([&](Voie& v) { k = v.ImageMontree; });
        return k;
    }

    DossierTemporaire dossier_;
    CibleNumeros cible_;
    std::unique_ptr<unsigned char[]> image_;
    std::unique_ptr<Th_Lecteur_Magneto> lecteur_;
};

// Steps forward and back across a key picture give k + 1 and k - 1, for
// each kind; then playback from there goes on with the next pictures.
TEST_F(LectureExacte, PasDePartEtDAutreDUneImageCle)
{
    for (int type : {FilmMpeg4, FilmMjpeg, FilmH264}) {
        SCOPED_TRACE(type);
        FilmIndexePublic(type, "pas", 40, 10, 10);

        EXPECT_EQ(Rafraichir(1, 19), 19);
        EXPECT_TRUE(Attendre([&] { return Montree() == 19; }));
        EXPECT_EQ(Rafraichir(2, 20), 20); // the key picture
        EXPECT_EQ(Rafraichir(2, 21), 21);
        EXPECT_EQ(Rafraichir(2, 20), 20);
        EXPECT_EQ(Rafraichir(1, 19), 19); // decoded from picture 10
        EXPECT_EQ(Rafraichir(3, 37), 37);
        // A request for another second than SecondeDepart's is stale.
        EXPECT_EQ(Rafraichir(2, -1), 20);
        EcrireVoie([](Voie& v) {
            v.ImageDemandee = 7;
            v.SecondeImageDemandee = 3;
        });
        EXPECT_EQ(Rafraichir(1, -1), 10);
        EXPECT_EQ(ImagePourSeconde(1, 4, 40), 10);

        // Play after a step: picture 21 first, then 22, 23, ... paced from there.
        Rafraichir(2, 21);
        // Let the refresh run end before Play, as a person would.
        Attendre([] { return false; }, 300);
        const size_t avant = cible_.numeros.size();
        EcrireVoie([](Voie& v) {
            v.FlagLecture = 1;
            v.FlagPause = 0;
            v.FlagFinDeFilm = 0;
        });
        ASSERT_TRUE(Attendre([&] { return cible_.numeros.size() >= avant + 4; }));
        EcrireVoie([](Voie& v) { v.FlagLecture = 0; });
        EXPECT_EQ(std::vector<int>(cible_.numeros.begin() + avant, cible_.numeros.begin() + avant + 4),
                  (std::vector<int>{21, 22, 23, 24}));
        int64_t demandee = 0;
        EcrireVoie([&](Voie& v) { demandee = v.ImageDemandee; });
        EXPECT_EQ(demandee, -1); // used up by the playing run
        lecteur_.reset();
    }
}

// Makes a film of `type` (40 pictures, 20 a second, a key picture every
// 10), selects and indexes it.
std::string FilmIndexe(LectureExacte& t, int type, const std::string& nom);

// Backwards at x 1: every picture in reverse order, across the key groups,
// down to the film's first picture, which raises FlagDebutDeFilm (and not
// the end of the film).
TEST_F(LectureExacte, ArriereEnOrdreInverseJusquAuDebut)
{
    for (int type : {FilmMpeg4, FilmMjpeg, FilmH264}) {
        SCOPED_TRACE(type);
        FilmIndexe(*this, type, "arriere");
        ASSERT_EQ(Rafraichir(1, 25), 25);
        Attendre([] { return false; }, 100);
        const size_t avant = cible_.numeros.size();
        EcrireVoie([](Voie& v) {
            v.Sens = -1;
            v.ImageDemandee = 25;
            v.SecondeImageDemandee = 1;
            v.FlagLecture = 1;
            v.FlagPause = 0;
            v.FlagFinDeFilm = 0;
            v.FlagDebutDeFilm = 0;
            ++v.NumeroDemande;
        });
        ASSERT_TRUE(Attendre([&] {
            unsigned char debut = 0;
            EcrireVoie([&](Voie& v) { debut = v.FlagDebutDeFilm; });
            return debut != 0;
        }));
        std::vector<int> attendus;
        for (int k = 25; k >= 0; --k)
            attendus.push_back(k);
        EXPECT_EQ(std::vector<int>(cible_.numeros.begin() + static_cast<std::ptrdiff_t>(avant), cible_.numeros.end()),
                  attendus);
        EXPECT_EQ(Montree(), 0);
        unsigned char fin = 1;
        double pourcent = -1;
        EcrireVoie([&](Voie& v) {
            fin = v.FlagFinDeFilm;
            pourcent = v.PourcentFilm;
            v.FlagLecture = 0;
            v.Sens = 1;
        });
        EXPECT_EQ(fin, 0);
        EXPECT_DOUBLE_EQ(pourcent, 100.0 / 40);
        lecteur_.reset();
    }
}

// A step after a seek decodes that one picture, not its key group again;
// a step back decodes the key group once, and the next step back none.
TEST_F(LectureExacte, PasApresRechercheUneImageDecodee)
{
    for (int type : {FilmMpeg4, FilmMjpeg, FilmH264}) {
        SCOPED_TRACE(type);
        FilmIndexe(*this, type, "pas_suite");
        ASSERT_EQ(Rafraichir(1, 25), 25); // the middle of the group of 20
        Attendre([] { return false; }, 100);
        int64_t avant = lecteur_->NbDecodages();
        ASSERT_EQ(Rafraichir(1, 26), 26);
        EXPECT_EQ(lecteur_->NbDecodages() - avant, 1);
        avant = lecteur_->NbDecodages();
        ASSERT_EQ(Rafraichir(1, 27), 27);
        EXPECT_EQ(lecteur_->NbDecodages() - avant, 1);

        ASSERT_EQ(Rafraichir(1, 26), 26);
        avant = lecteur_->NbDecodages();
        // Every MJPEG picture is its own key group: one decode a step.
        const int64_t parPas = type == FilmMjpeg ? 1 : 0;
        ASSERT_EQ(Rafraichir(1, 25), 25);
        EXPECT_EQ(lecteur_->NbDecodages() - avant, parPas);
        ASSERT_EQ(Rafraichir(1, 24), 24);
        EXPECT_EQ(lecteur_->NbDecodages() - avant, 2 * parPas);
        EXPECT_EQ(Montree(), 24);
        lecteur_.reset();
    }
}

// Steps back right after a seek: the first decodes the key group up to
// the picture asked for once, the next ones take the kept pictures; past
// the key picture the group before is decoded once more.
TEST_F(LectureExacte, PasArriereApresRechercheReprendLeGroupe)
{
    for (int type : {FilmMpeg4, FilmH264}) {
        SCOPED_TRACE(type);
        FilmIndexe(*this, type, "pas_arriere");
        ASSERT_EQ(Rafraichir(1, 25), 25); // the middle of the group of 20
        Attendre([] { return false; }, 100);
        int64_t avant = lecteur_->NbDecodages();
        ASSERT_EQ(Rafraichir(1, 24), 24);
        EXPECT_EQ(lecteur_->NbDecodages() - avant, 5); // 20 to 24
        for (int k = 23; k >= 20; --k) {
            avant = lecteur_->NbDecodages();
            ASSERT_EQ(Rafraichir(1, k), k);
            EXPECT_EQ(lecteur_->NbDecodages() - avant, 0) << k;
        }
        avant = lecteur_->NbDecodages();
        ASSERT_EQ(Rafraichir(0, 19), 19);
        EXPECT_EQ(lecteur_->NbDecodages() - avant, 10); // 10 to 19
        avant = lecteur_->NbDecodages();
        ASSERT_EQ(Rafraichir(0, 18), 18);
        EXPECT_EQ(lecteur_->NbDecodages() - avant, 0);
        lecteur_.reset();
    }
}

// A target that takes its time: faster than x 1 pictures are passed by,
// and the picture on screen, its time and the progress are those of the
// last picture handed over, not of the last one decoded.
TEST_F(LectureExacte, LectureRapideSuitLImageMontree)
{
    for (int type : {FilmMjpeg, FilmH264}) {
        SCOPED_TRACE(type);
        const std::string chemin = FilmIndexe(*this, type, "rapide");
        ASSERT_EQ(Rafraichir(0, 0), 0);
        cible_.lenteurMs = 40;
        {
            const int r = PrendreMutexGeneral();
            Vitesse = 8.0; // 6.25 ms a picture
            if (r == 0)
                RendreMutexGeneral();
        }
        const std::vector<int> vus = JouerJusquALaFin();
        cible_.lenteurMs = 0;
        ASSERT_GE(vus.size(), 2u);
        EXPECT_LT(vus.size(), 40u); // 40 ms a picture against 6.25: some were passed by
        EXPECT_TRUE(std::is_sorted(vus.begin(), vus.end()));
        int64_t montree = -1, ms = -1;
        double pourcent = -1;
        EcrireVoie([&](Voie& v) {
            montree = v.ImageMontree;
            ms = v.MsImageMontree;
            pourcent = v.PourcentFilm;
            v.FlagLecture = 0;
        });
        EXPECT_EQ(montree, vus.back());
        EXPECT_EQ(ms, montree * 2000 / 40);
        EXPECT_DOUBLE_EQ(pourcent, (montree + 1) * 100.0 / 40);
        {
            const int r = PrendreMutexGeneral();
            Vitesse = 1.0;
            if (r == 0)
                RendreMutexGeneral();
        }
        lecteur_.reset();
        (void)chemin;
    }
}

// At x 1 a slow screen delays a single film but drops nothing; a film
// played on a clock shared with others passes its late pictures instead,
// so that it stays in step with the other tiles.
TEST_F(LectureExacte, AX1UnFilmEnMosaiqueGardeLePas)
{
    const std::string chemin = FilmIndexe(*this, FilmMjpeg, "pas");
    for (const bool garder : {false, true}) {
        SCOPED_TRACE(garder);
        ASSERT_EQ(Rafraichir(0, 0), 0);
        cible_.lenteurMs = 100; // against 50 ms a picture
        const auto debut = std::chrono::steady_clock::now();
        const std::vector<int> vus = JouerJusquALaFin(garder ? 1 : 0);
        const double secondes =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - debut).count();
        cible_.lenteurMs = 0;
        EcrireVoie([](Voie& v) {
            v.FlagLecture = 0;
            v.GarderLePas = 0;
        });
        EXPECT_TRUE(std::is_sorted(vus.begin(), vus.end()));
        if (garder) {
            // About one picture in two: the others were late.
            EXPECT_LT(vus.size(), 30u);
            EXPECT_GE(vus.size(), 5u);
        } else {
            EXPECT_EQ(vus.size(), 40u); // every picture
            EXPECT_GT(secondes, 3.9); // 40 hand-overs of 100 ms
        }
        lecteur_.reset();
    }
    (void)chemin;
}

std::string FilmIndexe(LectureExacte& t, int type, const std::string& nom)
{
    return t.FilmIndexePublic(type, nom);
}

// Jumps decoded ahead: the idle reader decodes where the arrow keys would
// land on decoders of its own; a seek there shows the picture without a
// decode of the reader, and "." after it decodes one picture. Without
// them the same seek decodes its key group. A film rewritten in place is
// never shown from pictures decoded ahead of the old one.
TEST_F(LectureExacte, SautDecodeDAvanceMontreSansDecoder)
{
    for (int type : {FilmMpeg4, FilmH264}) {
        SCOPED_TRACE(type);
        FilmIndexePublic(type, "saut", 3000, 20, 50); // 150 s

        ASSERT_EQ(Rafraichir(62), 1240); // the middle of the group of 1200
        // -60 s and +60 s: pictures 40 and 2440, 41 pictures each.
        ASSERT_TRUE(Attendre([&] { return lecteur_->NbDecodagesPrevus() >= 41 + 41; }));
        int64_t avant = lecteur_->NbDecodages();
        EXPECT_EQ(Rafraichir(122), 2440);
        EXPECT_EQ(lecteur_->NbDecodages() - avant, 0);
        EXPECT_EQ(Montree(), 2440);
        avant = lecteur_->NbDecodages();
        EXPECT_EQ(Rafraichir(122, 2441), 2441);
        EXPECT_EQ(lecteur_->NbDecodages() - avant, 1);
        // From second 122: the last picture (50 pictures) and 1240 again (41).
        const int64_t prevus = lecteur_->NbDecodagesPrevus();
        ASSERT_TRUE(Attendre([&] { return lecteur_->NbDecodagesPrevus() >= prevus + 50 + 41; }));
        avant = lecteur_->NbDecodages();
        EXPECT_EQ(Rafraichir(62), 1240);
        EXPECT_EQ(lecteur_->NbDecodages() - avant, 0);

        lecteur_->PermettrePrevision(false);
        Attendre([] { return false; }, 300);
        avant = lecteur_->NbDecodages();
        EXPECT_EQ(Rafraichir(122), 2440);
        EXPECT_EQ(lecteur_->NbDecodages() - avant, 41);
        lecteur_->PermettrePrevision(true);

        ASSERT_EQ(Rafraichir(62), 1240);
        const int64_t prevus2 = lecteur_->NbDecodagesPrevus();
        ASSERT_TRUE(Attendre([&] { return lecteur_->NbDecodagesPrevus() >= prevus2 + 41 + 41; }));
        FilmIndexePublic(type, "saut", 3000, 20, 50, 1000); // same path
        EXPECT_EQ(Rafraichir(122), 3440);
        lecteur_.reset();
    }
}

// A film whose first half takes most of the bytes: the middle second shows
// picture N'/2 once indexed, the proportional picture before.
TEST_F(LectureExacte, DebitVariableMilieuExactApresIndex)
{
    OptionsFilm lourd;
    lourd.largeur = 320;
    lourd.hauteur = 240;
    lourd.nbImages = 20;
    lourd.qualiteJpeg = 100;
    OptionsFilm leger = lourd;
    leger.premierNumero = 20;
    leger.qualiteJpeg = 5;
    Octets a, b;
    ASSERT_EQ(CoderCorps(FilmMjpeg, lourd, a), 0);
    ASSERT_EQ(CoderCorps(FilmMjpeg, leger, b), 0);
    ASSERT_GT(a.size(), 2 * b.size());
    Octets film = {40, 0, 0, 0, 0x10, 0x27, 0, 0}; // 40 pictures, 10,000 ms
    film.insert(film.end(), a.begin(), a.end());
    film.insert(film.end(), b.begin(), b.end());
    const std::string chemin = dossier_ / "variable.mjp";
    EcrireOctets(chemin, film);
    Selectionner(chemin, FilmMjpeg, 40, 10000);

    const int proportionnelle = Rafraichir(5);
    EXPECT_LT(proportionnelle, 20);
    EXPECT_GE(proportionnelle, 0);
    Indexer(chemin, FilmMjpeg);
    EXPECT_EQ(Rafraichir(5), 20);
    EXPECT_TRUE(Attendre([&] { return Montree() == 20; }));
    EXPECT_EQ(Rafraichir(0), 0);
    EXPECT_EQ(Rafraichir(10), 39);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
