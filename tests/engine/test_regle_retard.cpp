// The late-picture rule: which pictures are shown or passed by, when a run
// walks to the next key picture, and a simulated clock over whole runs
// (decoding slower than the speed asks) checking that the film time kept
// follows the wall clock. Plus the picture walker on films of each kind.
#include "engine/index_images.h"
#include "engine/lecture_film.h"
#include "engine/regle_retard.h"
#include "filmmaker.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

EtatImage Image(double intervalle, double maintenant, int64_t ecart, double dernierMontre, bool tout = false)
{
    EtatImage e;
    e.intervalleMs = intervalle;
    e.maintenantMs = maintenant;
    e.ecart = ecart;
    e.dernierMontreMs = dernierMontre;
    e.toutMontrer = tout;
    return e;
}

TEST(RegleRetard, ImageMontreeOuPassee)
{
    struct Cas {
        EtatImage e;
        ChoixImage attendu;
    };
    const Cas cas[] = {
        // On time: picture 10 at 2.5 ms each, the next due at 27.5 ms.
        {Image(2.5, 26.0, 10, 24.0), ChoixImage::Montrer},
        // Within the tolerance after the next one's due time.
        {Image(2.5, 27.5 + RetardTolereMs, 10, 40.0), ChoixImage::Montrer},
        // Late, and a picture was shown a moment ago: passed by.
        {Image(2.5, 60.0, 10, 50.0), ChoixImage::Passer},
        // Late, but the screen has been still too long: shown anyway.
        {Image(2.5, 60.0, 10, 60.0 - ImmobileMaxMs), ChoixImage::Montrer},
        // x 1 and slower: every picture, however late.
        {Image(40.0, 5000.0, 10, 4999.0, true), ChoixImage::Montrer},
    };
    for (const Cas& c : cas)
        EXPECT_EQ(ChoisirImage(c.e), c.attendu) << c.e.maintenantMs << " " << c.e.dernierMontreMs;
}

TEST(RegleRetard, AttenteJusquALImageSuivante)
{
    EXPECT_DOUBLE_EQ(AttenteApresImageMs(Image(40.0, 30.0, 0, 30.0)), 10.0);
    EXPECT_DOUBLE_EQ(AttenteApresImageMs(Image(40.0, 95.0, 1, 95.0)), 0.0);
    EXPECT_DOUBLE_EQ(IntervalleReelMs(10000, 250, 2.0), 20.0);
    EXPECT_DOUBLE_EQ(IntervalleReelMs(10000, 0, 2.0), 0.0);
    EXPECT_DOUBLE_EQ(IntervalleReelMs(10000, 250, 0.0), 0.0);
}

EtatSaut Saut(double maintenant, int64_t ecart, int64_t ecartCle, double cout, bool tout = false)
{
    EtatSaut s;
    s.intervalleMs = 2.5;
    s.maintenantMs = maintenant;
    s.ecart = ecart;
    s.ecartCle = ecartCle;
    s.coutImageMs = cout;
    s.toutMontrer = tout;
    return s;
}

TEST(RegleRetard, SautALaCleAvecIndex)
{
    // Picture 10 due at 25 ms; key picture 50 due at 125 ms.
    EXPECT_FALSE(SauterALaCle(Saut(30.0, 10, 50, 8.0)));         // on time
    EXPECT_FALSE(SauterALaCle(Saut(60.0, 10, 50, 1.0)));         // decoding catches up before the key
    EXPECT_FALSE(SauterALaCle(Saut(60.0, 10, 50, 8.0)));         // late, but the key is far: keep moving
    EXPECT_TRUE(SauterALaCle(Saut(110.0, 10, 50, 8.0)));         // the key is due soon
    EXPECT_TRUE(SauterALaCle(Saut(400.0, 10, 50, 8.0)));         // the key is overdue already
    EXPECT_FALSE(SauterALaCle(Saut(400.0, 10, 50, 8.0, true)));  // every picture shown
    EXPECT_FALSE(SauterALaCle(Saut(400.0, 50, 50, 8.0)));        // the next picture is the key
}

TEST(RegleRetard, SautALaCleSansIndex)
{
    // The next key picture guessed from the last key group met.
    EXPECT_EQ(CleEstimee(-1, 0, 10), -1);
    EXPECT_EQ(CleEstimee(50, 0, 60), -1);
    EXPECT_EQ(CleEstimee(50, 50, 50), 100);
    EXPECT_EQ(CleEstimee(50, 50, 99), 100);
    EXPECT_EQ(CleEstimee(50, 50, 100), 150);
    EXPECT_EQ(CleEstimee(50, 50, 20), 50);
    EXPECT_FALSE(SauterALaCle(Saut(25.0 + RetardSautSansIndexMs, 10, -1, 8.0)));
    EXPECT_TRUE(SauterALaCle(Saut(26.0 + RetardSautSansIndexMs, 10, -1, 8.0)));
    EXPECT_FALSE(SauterALaCle(Saut(1000.0, 10, -1, 8.0, true)));
}

// A run simulated on a clock of its own: each decoded picture costs
// `cout` ms, each shown one `montre` ms more, key pictures every `gop`,
// over `duree` ms of wall time; what the screen shows when.
struct Simulation {
    std::vector<double> temps;    // when a picture was shown
    std::vector<int64_t> images;  // which one
    int64_t decodees = 0;
};

Simulation Simuler(double intervalle, double cout, double montre, int64_t gop, bool index, double duree)
{
    Simulation s;
    double t = 0;
    double dernier = -1.0e18;
    int64_t k = 0;
    int64_t derniereCle = -1, longueur = 0; // what a run without the index has met
    while (t < duree) {
        EtatSaut saut = Saut(t, k, -1, cout);
        saut.intervalleMs = intervalle;
        const int64_t cle = (k / gop + 1) * gop; // first key after picture k
        saut.ecartCle = index ? cle : CleEstimee(derniereCle, longueur, k);
        if (k % gop != 0 && SauterALaCle(saut)) {
            k = cle; // walking over the pictures costs nothing here
            continue;
        }
        if (k % gop == 0) {
            if (derniereCle >= 0)
                longueur = k - derniereCle;
            derniereCle = k;
        }
        t += cout;
        ++s.decodees;
        const EtatImage e = Image(intervalle, t, k, dernier);
        if (ChoisirImage(e) == ChoixImage::Montrer) {
            t += montre;
            dernier = t;
            s.temps.push_back(t);
            s.images.push_back(k);
            t += AttenteApresImageMs(Image(intervalle, t, k, dernier));
        }
        ++k;
    }
    return s;
}

// Film time advanced over each stretch of `fenetre` ms of wall time,
// against what the speed asks: the worst relative error.
double PireEcart(const Simulation& s, double intervalle, double fenetre, double debut = 0)
{
    double pire = 0;
    size_t j = 0;
    for (size_t i = 0; i < s.temps.size(); ++i) {
        if (s.temps[i] < debut)
            continue;
        while (j < s.temps.size() && s.temps[j] - s.temps[i] < fenetre)
            ++j;
        if (j >= s.temps.size())
            break;
        // The picture on screen at temps[i] + fenetre is the one before j.
        const double avance = static_cast<double>(s.images[j - 1] - s.images[i]) * intervalle;
        pire = std::max(pire, std::abs(avance - fenetre) / fenetre);
    }
    return pire;
}

double PlusLongueImmobilite(const Simulation& s)
{
    double pire = 0;
    for (size_t i = 1; i < s.temps.size(); ++i)
        pire = std::max(pire, s.temps[i] - s.temps[i - 1]);
    return pire;
}

TEST(RegleRetard, RunSimuleGardeLHeure)
{
    struct Cas {
        double intervalle, cout, montre;
        bool index;
    };
    // x 16 on 25 pictures/s (2.5 ms a picture): 1080p-like decoding (8 ms)
    // with and without the index; MPEG-4-like decoding (1.5 ms) that keeps
    // up once conversion is spared; x 4 (10 ms a picture).
    const Cas cas[] = {{2.5, 8.0, 4.0, true}, {2.5, 8.0, 4.0, false}, {2.5, 1.5, 4.0, true}, {10.0, 8.0, 4.0, true}};
    for (const Cas& c : cas) {
        const Simulation s = Simuler(c.intervalle, c.cout, c.montre, 50, c.index, 20000.0);
        ASSERT_GT(s.temps.size(), 20u);
        // Without the index the group length is known once two key
        // pictures have been met: the first second is left out.
        EXPECT_LE(PireEcart(s, c.intervalle, 3500.0, c.index ? 0.0 : 1000.0), 0.03)
            << c.intervalle << " " << c.cout << " " << c.index;
        EXPECT_LE(PlusLongueImmobilite(s), 150.0) << c.cout << " " << c.index;
        EXPECT_GE(static_cast<double>(s.temps.size()) / 20.0, 20.0) << c.cout << " " << c.index;
        // Film time kept: the last picture shown is where the clock is.
        EXPECT_NEAR(static_cast<double>(s.images.back()) * c.intervalle, s.temps.back(), 300.0);
    }
}

TEST(RegleRetard, RunSimuleRapideMontreTout)
{
    // Decoding and showing well within the interval: nothing is passed by.
    const Simulation s = Simuler(10.0, 2.0, 2.0, 50, true, 2000.0);
    for (size_t i = 0; i < s.images.size(); ++i)
        ASSERT_EQ(s.images[i], static_cast<int64_t>(i));
}

TEST(RegleRetard, GroupesEnArriere)
{
    // Key pictures every 10 from 0.
    const auto cle = [](int64_t k) { return k < 0 ? int64_t(-1) : k / 10 * 10; };
    int64_t debut = -1;
    ASSERT_TRUE(GroupePrecedent(35, cle, debut));
    EXPECT_EQ(debut, 30);
    ASSERT_TRUE(GroupePrecedent(30, cle, debut));
    EXPECT_EQ(debut, 20);
    ASSERT_TRUE(GroupePrecedent(1, cle, debut));
    EXPECT_EQ(debut, 0);
    EXPECT_FALSE(GroupePrecedent(0, cle, debut));

    // 50 pictures of 40 ms: decoding at 8 ms fits, at 2.5 ms a picture only 7 do.
    EXPECT_EQ(ImagesADecoderEnArriere(50, 40.0, 8.0), 50);
    EXPECT_EQ(ImagesADecoderEnArriere(50, 2.5, 8.0), 10);
    EXPECT_EQ(ImagesADecoderEnArriere(50, 0.1, 8.0), 1);
    EXPECT_EQ(ImagesADecoderEnArriere(0, 2.5, 8.0), 0);
}

// ---- The walker over film bytes agrees with the picture index.

std::vector<unsigned char> Corps(int type, const OptionsFilm& o, const std::string& nom)
{
    static const char* const extensions[] = {".mp4", ".mjp", ".264"};
    const std::string chemin = (std::filesystem::temp_directory_path() / (nom + extensions[type])).string();
    EXPECT_EQ(FabriquerFilm(chemin, o, nullptr), 0);
    std::ifstream f(chemin, std::ios::binary);
    std::vector<unsigned char> o8(std::istreambuf_iterator<char>(f), {});
    std::filesystem::remove(chemin);
    o8.erase(o8.begin(), o8.begin() + 8);
    return o8;
}

TEST(PlacerImage, ParcourtLesImagesCommeLIndex)
{
    for (int type : {TypeMpeg4, TypeMjpeg, TypeH264}) {
        OptionsFilm o;
        o.largeur = 160;
        o.hauteur = 120;
        o.nbImages = 30;
        o.gop = 7;
        std::vector<unsigned char> corps = Corps(type, o, "zr7placer_" + std::to_string(getpid()));
        const IndexImages index = IndexerOctets(type, corps.data(), corps.size(), 0);
        ASSERT_EQ(index.Nombre(), 30) << type;
        int32_t pos = 0;
        int64_t k = 0;
        const int32_t n = static_cast<int32_t>(corps.size());
        while (pos < n) {
            PlaceImage p;
            ASSERT_EQ(PlacerImage(type, corps.data() + pos, n - pos, p), 0) << type << " " << k;
            ASSERT_LT(k, 30);
            // A four-byte start code: the index starts the picture on its
            // leading zero.
            const int64_t debut = pos + p.debut;
            EXPECT_TRUE(index.Octet(k) == debut || index.Octet(k) == debut - 1) << type << " " << k;
            EXPECT_EQ(p.cle, index.Cle(k)) << type << " " << k;
            pos += p.fin;
            ++k;
        }
        EXPECT_EQ(k, 30) << type;
    }
}

} // namespace
