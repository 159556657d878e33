// Several films at once: each channel's reader plays its own film (path,
// kind, start second, picture asked for) to its own target, and reports
// its own picture size.
#include "commun/attente_essai.h"
#include "core/etat.h"
#include "engine/cible_image.h"
#include "engine/index_images.h"
#include "engine/lecture_film.h"
#include "engine/th_indexeur.h"
#include "engine/th_lecteur_magneto.h"
#include "filmmaker.h"
#include "numero_image.h"

#include <QCoreApplication>
#include <QObject>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr int DemarrageEssaiMs = 10;
constexpr int GardeEssaiMs = 10;
constexpr int LimiteMs = 20000;

class CibleNumeros : public QObject, public CibleImage
{
public:
    std::vector<int> numeros; // main thread only
    void AfficherImage(const unsigned char* bitmap, int taille) override
    {
        const int n = LireNumeroBitmap(bitmap, static_cast<size_t>(taille));
        if (n >= 0)
            numeros.push_back(n);
    }
};

void EcrireVoie(int voie, const std::function<void(Voie&)>& f)
{
    const int r = PrendreMutexVoie(voie);
    f(Voies[voie]);
    if (r == 0)
        RendreMutexVoie(voie);
}

bool Attendre(const std::function<bool()>& condition)
{
    return AttendreEnTraitantEvenements(condition, LimiteMs);
}

// One film per channel, as the mosaic sets them up.
class VoiesLecteur : public ::testing::Test
{
protected:
    static constexpr int VoieA = 0, VoieB = 2;

    void SetUp() override
    {
        ReinitialiserEtat();
        CreerMutexGeneral();
        for (int v : {VoieA, VoieB}) {
            CreerMutexVoie(v);
            images_[v].reset(new unsigned char[TailleBufferImage]);
            Voies[v].BufferImage = Voies[v].ImageSortie = images_[v].get();
            CiblesImage[v] = &cibles_[v];
        }
        std::string modele = (fs::temp_directory_path() / "zr7voies_XXXXXX").string();
        ASSERT_NE(mkdtemp(modele.data()), nullptr);
        dossier_ = modele;
        SilencerCodecs();
    }
    void TearDown() override
    {
        for (int v : {VoieA, VoieB})
            EcrireVoie(v, [](Voie& x) { x.FlagLecture = 0; });
        for (auto& l : lecteurs_)
            l.reset();
        PublierIndex(nullptr, nullptr);
        for (int v : {VoieA, VoieB}) {
            CiblesImage[v] = nullptr;
            Voies[v].BufferImage = Voies[v].ImageSortie = nullptr;
            FermerMutexVoie(v);
        }
        std::error_code ec;
        fs::remove_all(dossier_, ec);
    }

    // A film of `n` pictures numbered from `premier`, selected on `voie`.
    std::string Film(int voie, const char* nom, int type, int premier, int largeur, int hauteur)
    {
        static const char* const extensions[] = {".mp4", ".mjp", ".264"};
        const std::string chemin = dossier_ + "/" + nom + extensions[type];
        OptionsFilm o;
        o.largeur = largeur;
        o.hauteur = hauteur;
        o.nbImages = 40;
        o.cadence = 10.0;
        o.premierNumero = premier;
        ResultatFilm res;
        EXPECT_EQ(FabriquerFilm(chemin, o, &res), 0);
        Voie& v = Voies[voie];
        CopierTexte(v.CheminFilm, sizeof v.CheminFilm, chemin.c_str());
        v.TypeFilm = type;
        v.NbImagesFilm = res.nbImages;
        v.DureeFilm = res.dureeMs / 1000;
        v.FlagLireTaille = 1;
        return chemin;
    }
    void Demarrer()
    {
        for (int v : {VoieA, VoieB})
            lecteurs_[v] = std::make_unique<Th_Lecteur_Magneto>(v, DemarrageEssaiMs, GardeEssaiMs);
    }
    void Rafraichir(int voie, int32_t seconde, int64_t image = -1)
    {
        EcrireVoie(voie, [&](Voie& v) {
            v.SecondeDepart = seconde;
            v.ImageDemandee = image;
            v.SecondeImageDemandee = seconde;
            v.FlagRafraichir = 1;
            ++v.NumeroDemande;
        });
    }

    CibleNumeros cibles_[NbVoies];
    std::unique_ptr<unsigned char[]> images_[NbVoies];
    std::unique_ptr<Th_Lecteur_Magneto> lecteurs_[NbVoies];
    std::string dossier_;
};

TEST_F(VoiesLecteur, EachChannelShowsItsOwnFilmAtItsOwnSecond)
{
    Film(VoieA, "a", TypeMjpeg, 0, 160, 120);
    Film(VoieB, "b", TypeMjpeg, 500, 176, 144);
    Demarrer();
    // Channel 0's film at 1 s, channel 2's at 3 s: each target gets its
    // own film's picture of that second (the proportional seek lands
    // within a picture or two), never the other's.
    Rafraichir(VoieA, 1);
    Rafraichir(VoieB, 3);
    ASSERT_TRUE(Attendre([&] { return !cibles_[VoieA].numeros.empty() && !cibles_[VoieB].numeros.empty(); }));
    EXPECT_GE(cibles_[VoieA].numeros.front(), 9);
    EXPECT_LE(cibles_[VoieA].numeros.front(), 12);
    EXPECT_GE(cibles_[VoieB].numeros.front(), 529);
    EXPECT_LE(cibles_[VoieB].numeros.front(), 532);
    // Each channel reports its own picture size (just after the hand-over).
    EXPECT_TRUE(Attendre([] { return Voies[VoieA].FlagLireTaille == 0 && Voies[VoieB].FlagLireTaille == 0; }));
    EXPECT_EQ(Voies[VoieA].LargeurFilm, 160);
    EXPECT_EQ(Voies[VoieA].HauteurFilm, 120);
    EXPECT_EQ(Voies[VoieB].LargeurFilm, 176);
    EXPECT_EQ(Voies[VoieB].HauteurFilm, 144);
}

TEST_F(VoiesLecteur, PlayingTogetherAndAnExactPictureOnAnotherChannel)
{
    const std::string a = Film(VoieA, "a", TypeMjpeg, 0, 160, 120);
    const std::string b = Film(VoieB, "b", TypeMjpeg, 500, 160, 120);
    // Both films indexed at once: one index does not replace the other.
    for (const std::string& c : {a, b}) {
        std::ifstream f(c, std::ios::binary);
        const std::vector<unsigned char> o{std::istreambuf_iterator<char>(f), {}};
        PublierIndex(c.c_str(), std::make_shared<IndexImages>(IndexerOctets(TypeMjpeg, o.data() + 8, o.size() - 8, 8)));
    }
    ASSERT_NE(IndexFilm(a.c_str()), nullptr);
    ASSERT_NE(IndexFilm(b.c_str()), nullptr);
    Demarrer();
    Rafraichir(VoieB, 2, 23);
    ASSERT_TRUE(Attendre([&] { return !cibles_[VoieB].numeros.empty(); }));
    EXPECT_EQ(cibles_[VoieB].numeros.back(), 523);
    EXPECT_TRUE(cibles_[VoieA].numeros.empty());

    // Played together from 3 s: both run to their ends, each on its film.
    for (int voie : {VoieA, VoieB}) {
        cibles_[voie].numeros.clear();
        EcrireVoie(voie, [](Voie& v) {
            v.SecondeDepart = 3;
            v.ImageDemandee = -1;
            v.FlagLecture = 1;
            v.FlagPause = 0;
            v.FlagFinDeFilm = 0;
            ++v.NumeroDemande;
        });
    }
    ASSERT_TRUE(Attendre([&] { return Voies[VoieA].FlagFinDeFilm != 0 && Voies[VoieB].FlagFinDeFilm != 0; }));
    const std::vector<int>& na = cibles_[VoieA].numeros;
    const std::vector<int>& nb = cibles_[VoieB].numeros;
    ASSERT_FALSE(na.empty());
    ASSERT_FALSE(nb.empty());
    EXPECT_EQ(na.front(), 30);
    EXPECT_EQ(na.back(), 39);
    EXPECT_EQ(nb.front(), 530);
    EXPECT_EQ(nb.back(), 539);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
