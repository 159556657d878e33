// Jump targets decoded ahead: where the arrow keys land, and targets
// decoded on decoders of their own whose picture, decoder and stream a
// seek takes over.
#include "codecs/bitmap.h"
#include "codecs/korcodecs.h"
#include "commun/fichiers_essai.h"
#include "engine/index_images.h"
#include "engine/lecture_exacte.h"
#include "engine/lecture_film.h"
#include "engine/prevision_sauts.h"
#include "filmmaker.h"
#include "numero_image.h"

extern "C" {
#include <libavutil/frame.h>
}

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

std::vector<int64_t> Images(const std::vector<DepartExact>& cibles)
{
    std::vector<int64_t> k;
    for (const DepartExact& d : cibles)
        k.push_back(d.image);
    return k;
}

// 20 minutes at 25 pictures a second, a key picture every 50.
IndexImages IndexVingtMinutes()
{
    IndexImages index;
    for (int i = 0; i < 30000; ++i)
        index.entrees.push_back(FaireEntree(8 + 1000 * int64_t{i}, i % 50 == 0));
    return index;
}

TEST(CiblesDesSauts, OuTombentLesFlechesDansLOrdreDeLeurProbabilite)
{
    const IndexImages index = IndexVingtMinutes();
    // From second 100 (picture 2500 on screen): 160, 40, 105 and 95 s.
    std::vector<DepartExact> c = CiblesDesSauts(index, 100, 1200, 2500);
    EXPECT_EQ(Images(c), (std::vector<int64_t>{4000, 1000, 2625, 2375}));
    ASSERT_EQ(c.size(), 4u);
    EXPECT_EQ(c[2].cle, 2600); // decoding starts on the key picture before
    EXPECT_EQ(c[2].octet, 8 + 1000 * 2600);
    EXPECT_EQ(c[3].cle, 2350);

    // Near the start both jumps back land on picture 0, once; it is left
    // out when it is the picture on screen.
    EXPECT_EQ(Images(CiblesDesSauts(index, 2, 1200, 50)), (std::vector<int64_t>{1550, 0, 175}));
    EXPECT_EQ(Images(CiblesDesSauts(index, 0, 1200, 0)), (std::vector<int64_t>{1500, 125}));
    // Near the end both jumps on land on the last picture.
    EXPECT_EQ(Images(CiblesDesSauts(index, 1198, 1200, 29950)), (std::vector<int64_t>{29999, 28450, 29825}));

    // No key picture before a target: that one is not exact, the seek
    // there would read by the proportional rule.
    IndexImages sansCle = index;
    for (int i = 0; i < 2000; ++i)
        sansCle.entrees[static_cast<size_t>(i)] = FaireEntree(8 + 1000 * int64_t{i}, false);
    EXPECT_EQ(Images(CiblesDesSauts(sansCle, 82, 1200, 2050)), (std::vector<int64_t>{3550, 2175}));
    EXPECT_TRUE(CiblesDesSauts(IndexImages(), 20, 1200, 500).empty());
}

class PrevisionFilm : public ::testing::Test
{
protected:
    void SetUp() override
    {
        SilencerCodecs();
        ASSERT_TRUE(dossier_.Pret());
        bitmap_.reset(new unsigned char[KOR_BITMAP_TAILLE_MAX]);
    }
    // 200 pictures of 192 x 144, 20 a second, a key picture every 50,
    // numbered from `premier`; indexed.
    std::shared_ptr<const IndexImages> Film(int type, const std::string& nom, int premier = 0)
    {
        OptionsFilm o;
        o.largeur = 192;
        o.hauteur = 144;
        o.nbImages = 200;
        o.cadence = 20;
        o.gop = 50;
        o.premierNumero = premier;
        chemin_ = dossier_ / (nom + (type == TypeH264 ? ".264" : ".mp4"));
        ResultatFilm r;
        EXPECT_EQ(FabriquerFilm(chemin_, o, &r), 0);
        const Octets f = LireOctets(chemin_);
        return std::make_shared<IndexImages>(IndexerOctets(type, f.data() + 8, f.size() - 8, 8));
    }
    // The number drawn on a decoded picture.
    int Numero(DecodeurImages& d, const AVFrame* f)
    {
        int32_t taille = 0;
        if (d.Convertir(f, bitmap_.get(), KOR_BITMAP_TAILLE_MAX, &taille) != 0)
            return -2;
        return LireNumeroBitmap(bitmap_.get(), static_cast<size_t>(taille));
    }

    DossierTemporaire dossier_;
    std::string chemin_;
    std::unique_ptr<unsigned char[]> bitmap_;
};

struct Frame {
    AVFrame* f = av_frame_alloc();
    ~Frame() { av_frame_free(&f); }
};

// Targets decoded a picture at a time from their key picture; a taken one
// gives its picture, and the decoder and stream it hands over go on with
// the next picture. Another film, password or index takes nothing.
TEST_F(PrevisionFilm, CiblePriseAvecSonDecodeurEtSonFlux)
{
    for (int type : {TypeMpeg4, TypeH264}) {
        SCOPED_TRACE(type);
        const std::shared_ptr<const IndexImages> index = Film(type, "prevu");
        PrevisionSauts p(KOR_PREMIER_DECODEUR_AVANCE, 3);
        // Second 2 of 10 on screen (picture 40): targets 199, 0 and 140.
        const std::vector<DepartExact> cibles = CiblesDesSauts(*index, 2, 10, 40);
        ASSERT_EQ(Images(cibles), (std::vector<int64_t>{199, 0, 140}));
        p.Viser(chemin_.c_str(), type, "", index, cibles);
        int appels = 0;
        while (p.Avancer())
            ++appels;
        EXPECT_FALSE(p.AFaire());
        EXPECT_EQ(appels, 50 + 1 + 41); // 150-199, 0, 100-140
        EXPECT_EQ(p.NbDecodages(), 50 + 1 + 41);

        DecodeurImages lecteur(0);
        lecteur.Ouvrir(type);
        FluxFilm flux;
        Frame f;
        uint32_t dureeMs = 0;
        EXPECT_FALSE(p.Prendre(chemin_.c_str(), type, "", index.get(), 141, lecteur, flux, f.f, dureeMs));
        EXPECT_FALSE(p.Prendre(chemin_.c_str(), type, "autre", index.get(), 140, lecteur, flux, f.f, dureeMs));
        IndexImages copie = *index;
        EXPECT_FALSE(p.Prendre(chemin_.c_str(), type, "", &copie, 140, lecteur, flux, f.f, dureeMs));
        ASSERT_TRUE(p.Prendre(chemin_.c_str(), type, "", index.get(), 140, lecteur, flux, f.f, dureeMs));
        EXPECT_EQ(dureeMs, 10000u);
        EXPECT_EQ(Numero(lecteur, f.f), 140);
        // Taken once only.
        EXPECT_FALSE(p.Prendre(chemin_.c_str(), type, "", index.get(), 140, lecteur, flux, f.f, dureeMs));

        // The stream and decoder taken over continue: 141, 142 at one
        // decode each.
        const int64_t avant = lecteur.NbDecodages();
        for (int k = 141; k <= 142; ++k) {
            flux.Compacter();
            flux.Remplir("");
            ImageDecodee r;
            av_frame_unref(f.f);
            ASSERT_EQ(lecteur.DecoderSansConvertir(type, flux.Donnees(), flux.Disponibles(), f.f, r), 0) << k;
            flux.Avancer(r.octetsUtilises);
            EXPECT_EQ(Numero(lecteur, f.f), k);
        }
        EXPECT_EQ(lecteur.NbDecodages() - avant, 2);

        // New targets keep the work done on those still aimed at.
        const int64_t fait = p.NbDecodages();
        p.Viser(chemin_.c_str(), type, "", index, CiblesDesSauts(*index, 7, 10, 140));
        while (p.Avancer()) {
        }
        // From second 7: 199 and 0 are kept, 40 (2 s) is new: 41 pictures.
        EXPECT_EQ(p.NbDecodages() - fait, 41);
        ASSERT_TRUE(p.Prendre(chemin_.c_str(), type, "", index.get(), 0, lecteur, flux, f.f, dureeMs));
        EXPECT_EQ(Numero(lecteur, f.f), 0);
        ASSERT_TRUE(p.Prendre(chemin_.c_str(), type, "", index.get(), 40, lecteur, flux, f.f, dureeMs));
        EXPECT_EQ(Numero(lecteur, f.f), 40);

        // Another film drops everything.
        p.Viser("/ailleurs.264", type, "", index, CiblesDesSauts(*index, 2, 10, 40));
        EXPECT_FALSE(p.Prendre(chemin_.c_str(), type, "", index.get(), 199, lecteur, flux, f.f, dureeMs));
        p.Oublier();
        EXPECT_FALSE(p.AFaire());
    }
}

} // namespace
