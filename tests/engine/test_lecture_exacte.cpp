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

#include <gtest/gtest.h>

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
    void AfficherImage(const unsigned char* bitmap, int taille) override
    {
        if (taille != KOR_BITMAP_NOIRE_TAILLE)
            numeros.push_back(LireNumeroBitmap(bitmap, static_cast<size_t>(taille)));
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
    static const char* const extensions[] = {".mp4", ".mjp", ".264"};
    for (int type : {FilmMpeg4, FilmMjpeg, FilmH264}) {
        SCOPED_TRACE(type);
        OptionsFilm o;
        o.largeur = 192;
        o.hauteur = 144;
        o.nbImages = 40;
        o.cadence = 10;
        o.gop = 10;
        const std::string chemin = dossier_ / (std::string("pas") + extensions[type]);
        ResultatFilm r;
        ASSERT_EQ(FabriquerFilm(chemin, o, &r), 0);
        Selectionner(chemin, type, r.nbImages, r.dureeMs);
        Indexer(chemin, type);

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
