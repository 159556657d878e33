// The picture index: offsets and key flags on hand-made bodies of each kind
// (markers split between blocks, false markers, cut streams, pictures made
// of several slices), on films from the film maker, and the indexer thread
// (protected films, cancellation by a new film).
#include "core/etat.h"
#include "engine/fichierfilm.h"
#include "engine/index_images.h"
#include "engine/motdepasse.h"
#include "engine/th_indexeur.h"
#include "filmmaker.h"

#include "commun/fichiers_essai.h"

#include <gtest/gtest.h>


#include <chrono>
#include <cstring>
#include <thread>
#include <utility>
#include <vector>

namespace {

struct Attendu {
    int64_t octet;
    bool cle;
};

void Ajouter(Octets& o, std::initializer_list<int> octets)
{
    for (int b : octets)
        o.push_back(static_cast<unsigned char>(b));
}

// The same body must give the same index whatever the block size: one byte
// at a time, sizes that split every marker somewhere, and at once.
void VerifierTousBlocs(int type, const Octets& corps, const std::vector<Attendu>& attendu)
{
    for (size_t bloc : {size_t(0), size_t(1), size_t(2), size_t(3), size_t(5), size_t(7), size_t(17), size_t(64)}) {
        const IndexImages index = IndexerOctets(type, corps.data(), corps.size(), 8, bloc);
        ASSERT_EQ(index.Nombre(), static_cast<int64_t>(attendu.size())) << "bloc " << bloc;
        for (size_t i = 0; i < attendu.size(); ++i) {
            EXPECT_EQ(index.Octet(static_cast<int64_t>(i)), attendu[i].octet) << "bloc " << bloc << " image " << i;
            EXPECT_EQ(index.Cle(static_cast<int64_t>(i)), attendu[i].cle) << "bloc " << bloc << " image " << i;
        }
    }
}

TEST(IndexImages, MjpegFauxMarqueursEtImageCoupee)
{
    Octets c;
    Ajouter(c, {0x12, 0xFF, 0x00});             // stray bytes, a lone FF
    const int64_t a = 8 + static_cast<int64_t>(c.size());
    Ajouter(c, {0xFF, 0xD8, 0xFF, 0xE0, 0x00}); // SOI, APP0
    Ajouter(c, {0xFF, 0xD8, 0x11, 0xFF, 0x00}); // a false SOI and stuffed FF inside the picture
    Ajouter(c, {0xFF, 0xFF, 0xD9});             // fill byte, then EOI
    Ajouter(c, {0x00, 0xFF, 0xD9});             // an EOI outside any picture
    const int64_t b = 8 + static_cast<int64_t>(c.size());
    Ajouter(c, {0xFF, 0xD8, 0x55, 0xFF, 0xD9});
    Ajouter(c, {0xFF, 0xD8, 0x01, 0x02, 0xFF}); // cut before its EOI: dropped
    VerifierTousBlocs(1, c, {{a, true}, {b, true}});
}

// Past its cap the scanner stops and leaves no index: a partial one would
// send a seek to the wrong picture.
TEST(IndexImages, PlafondDImages)
{
    Octets c;
    for (int i = 0; i < 5; ++i)
        Ajouter(c, {0xFF, 0xD8, 0xFF, 0xD9});
    for (int64_t plafond : {3, 4, 5, 6}) {
        ScanneurImages s(1, 8, plafond);
        s.Ajouter(c.data(), c.size());
        s.Terminer();
        EXPECT_EQ(s.Plafonne(), plafond < 5) << plafond;
        EXPECT_EQ(s.Index().Nombre(), plafond < 5 ? 0 : 5) << plafond;
    }
    EXPECT_EQ(PlafondIndexImages, int64_t(16777216));
}

TEST(IndexImages, Mpeg4CodesEtEntetes)
{
    Octets c;
    Ajouter(c, {0x00, 0x01, 0xB6, 0x00});       // not a start code (one zero)
    const int64_t vos = 8 + static_cast<int64_t>(c.size());
    Ajouter(c, {0x00, 0x00, 0x01, 0xB0, 0x01, 0x00, 0x00, 0x01, 0x20, 0x08, 0x00, 0x00, 0x01, 0xB2, 0x4C});
    const int64_t i0 = 8 + static_cast<int64_t>(c.size());
    Ajouter(c, {0x00, 0x00, 0x01, 0xB6, 0x10, 0xAA});   // I (top bits 00)
    const int64_t p1 = 8 + static_cast<int64_t>(c.size());
    Ajouter(c, {0x00, 0x00, 0x01, 0xB6, 0x51, 0x00, 0x00, 0x02}); // P (01)
    const int64_t g2 = 8 + static_cast<int64_t>(c.size());
    Ajouter(c, {0x00, 0x00, 0x01, 0xB3, 0x00, 0x00, 0x00, 0x01, 0xB6, 0x3F, 0x07}); // group header, then I
    const int64_t s3 = 8 + static_cast<int64_t>(c.size());
    Ajouter(c, {0x00, 0x00, 0x01, 0xB6, 0xC0, 0x00});   // S (11)
    Ajouter(c, {0x00, 0x00, 0x01, 0xB6});               // cut inside its start code: no picture
    VerifierTousBlocs(0, c, {{vos, true}, {p1, false}, {g2, true}, {s3, false}});
    const IndexImages index = IndexerOctets(0, c.data(), c.size(), 8, 3);
    EXPECT_TRUE(index.AvecEntetes(0));  // its object layer
    EXPECT_FALSE(index.AvecEntetes(2)); // a group header only
    EXPECT_EQ(index.debutEntetes, vos);
    EXPECT_EQ(index.finEntetes, i0);
}

TEST(IndexImages, H264TranchesEtImagesCles)
{
    Octets c;
    const int64_t i0 = 8;
    Ajouter(c, {0x00, 0x00, 0x00, 0x01, 0x67, 0x42, 0x00, 0x00, 0x01, 0x68, 0xCE}); // SPS, PPS (3-byte code)
    const int64_t tranche0 = 8 + static_cast<int64_t>(c.size());
    Ajouter(c, {0x00, 0x00, 0x01, 0x65, 0x88, 0x84});   // IDR, first_mb 0
    Ajouter(c, {0x00, 0x00, 0x01, 0x65, 0x5C, 0x21});   // IDR, second slice (first_mb 2)
    const int64_t p1 = 8 + static_cast<int64_t>(c.size());
    Ajouter(c, {0x00, 0x00, 0x00, 0x01, 0x41, 0x9A, 0x02}); // P, first slice
    Ajouter(c, {0x00, 0x00, 0x01, 0x41, 0x26, 0x00});   // its second slice
    const int64_t p2 = 8 + static_cast<int64_t>(c.size());
    Ajouter(c, {0x00, 0x00, 0x00, 0x01, 0x06, 0x05, 0x00, 0x00, 0x01, 0x41, 0x9B}); // SEI, then P
    Ajouter(c, {0x00, 0x00, 0x01, 0xE5, 0x88});         // forbidden bit set: not a unit
    const int64_t i3 = 8 + static_cast<int64_t>(c.size());
    Ajouter(c, {0x00, 0x00, 0x00, 0x01, 0x09, 0xF0, 0x00, 0x00, 0x00, 0x01, 0x65, 0xB8, 0x10}); // AUD, IDR
    Ajouter(c, {0x00, 0x00, 0x01, 0x41});               // cut before the slice header: no picture
    VerifierTousBlocs(2, c, {{i0, true}, {p1, false}, {p2, false}, {i3, true}});
    const IndexImages index = IndexerOctets(2, c.data(), c.size(), 8, 2);
    EXPECT_TRUE(index.AvecEntetes(0));  // SPS
    EXPECT_FALSE(index.AvecEntetes(2)); // SEI only
    EXPECT_FALSE(index.AvecEntetes(3)); // delimiter only
    EXPECT_EQ(index.debutEntetes, i0);
    EXPECT_EQ(index.finEntetes, tranche0);
}

TEST(IndexImages, ImagesDesSecondesEtClesPrecedentes)
{
    EXPECT_EQ(ImagePourSeconde(0, 10, 250), 0);
    EXPECT_EQ(ImagePourSeconde(5, 10, 250), 125);
    EXPECT_EQ(ImagePourSeconde(3, 7, 100), 42);   // trunc(300 / 7)
    EXPECT_EQ(ImagePourSeconde(10, 10, 250), 249); // the end shows the last picture
    EXPECT_EQ(ImagePourSeconde(5, 0, 250), 0);
    EXPECT_EQ(ImagePourSeconde(5, 10, 0), 0);
    EXPECT_EQ(MsPourImage(125, 10000, 250), 5000);
    EXPECT_EQ(MsPourImage(1, 10000, 3), 3333);
    EXPECT_EQ(MsPourImage(-1, 10000, 3), 0);

    IndexImages index;
    for (int i = 0; i < 12; ++i)
        index.entrees.push_back(FaireEntree(100 + i, i % 5 == 1));
    EXPECT_EQ(index.CleAuPlusTard(0), -1); // before the first key picture
    EXPECT_EQ(index.CleAuPlusTard(1), 1);
    EXPECT_EQ(index.CleAuPlusTard(5), 1);
    EXPECT_EQ(index.CleAuPlusTard(6), 6);
    EXPECT_EQ(index.CleAuPlusTard(99), 11);
    EXPECT_EQ(index.Octet(6), 106);
    EXPECT_EQ(IndexImages().CleAuPlusTard(3), -1);
}

// Films of each kind: every picture found where the coder put it, key
// pictures at the group boundaries.
TEST(IndexImages, FilmsDuFabricant)
{
    SilencerCodecs();
    for (int type : {FilmMpeg4, FilmMjpeg, FilmH264}) {
        OptionsFilm o;
        o.largeur = 96;
        o.hauteur = 64;
        o.nbImages = 23;
        o.gop = 7;
        Octets corps;
        std::vector<size_t> debuts;
        ASSERT_EQ(CoderCorps(type, o, corps, &debuts), 0);
        for (size_t bloc : {size_t(0), size_t(4093)}) {
            const IndexImages index = IndexerOctets(type, corps.data(), corps.size(), 8, bloc);
            ASSERT_EQ(index.Nombre(), o.nbImages) << "type " << type;
            for (int i = 0; i < o.nbImages; ++i) {
                EXPECT_EQ(index.Octet(i), static_cast<int64_t>(debuts[i]) + 8) << "type " << type << " image " << i;
                EXPECT_EQ(index.Cle(i), type == FilmMjpeg || i % o.gop == 0) << "type " << type << " image " << i;
                // The maker repeats the sequence headers at every key picture.
                EXPECT_EQ(index.AvecEntetes(i), type != FilmMjpeg && i % o.gop == 0) << "type " << type << " image " << i;
            }
        }
        // Memory: eight bytes a picture.
        EXPECT_EQ(sizeof(EntreeIndex), 8u);
    }
}

bool AttendreQue(const std::function<bool()>& c, int ms = 20000)
{
    const auto fin = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!c()) {
        if (std::chrono::steady_clock::now() > fin)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

TEST(Indexeur, FilmProtegeApresMotDePasseEtAnnulationParUnAutreFilm)
{
    ReinitialiserEtat();
    SilencerCodecs();
    DossierTemporaire dossier;
    ASSERT_TRUE(dossier.Pret());
    OptionsFilm o;
    o.largeur = 64;
    o.hauteur = 48;
    o.nbImages = 12;
    o.gop = 4;
    const std::string clair = dossier / "clair.264";
    const std::string protege = dossier / "protege.mjp";
    ASSERT_EQ(FabriquerFilm(clair, o), 0);
    o.motDePasse = "secret";
    ASSERT_EQ(FabriquerFilm(protege, o), 0);

    Th_Indexeur indexeur;
    // Without its password the protected film is not indexed: it waits.
    indexeur.Demander(protege.c_str(), FilmMjpeg);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(IndexFilm(protege.c_str()), nullptr);
    // Another film cancels it at once and is indexed.
    indexeur.Demander(clair.c_str(), FilmH264);
    ASSERT_TRUE(AttendreQue([&] { return IndexFilm(clair.c_str()) != nullptr; }));
    EXPECT_EQ(IndexFilm(clair.c_str())->Nombre(), 12);
    EXPECT_EQ(IndexFilm(protege.c_str()), nullptr);
    EXPECT_EQ(indexeur.NbAbandonnes(), 1);

    // Back to the protected film: indexed over its descrambled bytes once
    // the password is typed; the other film's index is forgotten.
    indexeur.Demander(protege.c_str(), FilmMjpeg);
    EXPECT_EQ(IndexFilm(clair.c_str()), nullptr);
    CopierTexte(MotDePasseFilm, sizeof MotDePasseFilm, "secret");
    ASSERT_TRUE(AttendreQue([&] { return IndexFilm(protege.c_str()) != nullptr; }));
    EXPECT_EQ(IndexFilm(protege.c_str())->Nombre(), 12);
    // Counted just after the publication.
    EXPECT_TRUE(AttendreQue([&] { return indexeur.NbTermines() == 2; }));
    ReinitialiserEtat();
}

// A film of more pictures than the cap is not indexed: the proportional
// rule stays. A film rewritten shorter under the player is indexed again,
// and its old index is not handed out meanwhile.
TEST(Indexeur, PlafondEtFilmRaccourci)
{
    ReinitialiserEtat();
    SilencerCodecs();
    DossierTemporaire dossier;
    ASSERT_TRUE(dossier.Pret());
    OptionsFilm o;
    o.largeur = 64;
    o.hauteur = 48;
    o.nbImages = 40;
    const std::string film = dossier / "f.mjp";
    ASSERT_EQ(FabriquerFilm(film, o), 0);
    {
        Th_Indexeur indexeur(30);
        indexeur.Demander(film.c_str(), FilmMjpeg);
        ASSERT_TRUE(AttendreQue([&] { return indexeur.NbPlafonnes() == 1; }));
        EXPECT_EQ(IndexFilm(film.c_str()), nullptr);
        EXPECT_EQ(indexeur.NbTermines(), 0);
    }

    Th_Indexeur indexeur;
    indexeur.Demander(film.c_str(), FilmMjpeg);
    ASSERT_TRUE(AttendreQue([&] { return IndexFilm(film.c_str()) != nullptr; }));
    EXPECT_EQ(IndexFilm(film.c_str())->Nombre(), 40);
    o.nbImages = 7;
    ASSERT_EQ(FabriquerFilm(film, o), 0);
    const auto index = IndexFilm(film.c_str());
    EXPECT_TRUE(index == nullptr || index->Nombre() == 7);
    ASSERT_TRUE(AttendreQue([&] {
        const auto i = IndexFilm(film.c_str());
        return i != nullptr && i->Nombre() == 7;
    }));
    // The finished count follows the publication.
    EXPECT_TRUE(AttendreQue([&] { return indexeur.NbTermines() >= 2; }));
    ReinitialiserEtat();
}

// A junk ".mdp" beside a film that is not protected (short, random, or a
// record made for another film name) neither makes it protected nor holds
// its index back.
TEST(Indexeur, MdpSansValeurACoteDUnFilmClair)
{
    ReinitialiserEtat();
    SilencerCodecs();
    DossierTemporaire dossier;
    ASSERT_TRUE(dossier.Pret());
    OptionsFilm o;
    o.largeur = 64;
    o.hauteur = 48;
    o.nbImages = 9;
    const std::string film = dossier / "clair.mjp";
    ASSERT_EQ(FabriquerFilm(film, o), 0);
    Octets hasard(80);
    for (size_t i = 0; i < hasard.size(); ++i)
        hasard[i] = static_cast<unsigned char>(i * 37 + 11);
    const std::string autre = dossier / "autre.mjp";
    ASSERT_EQ(EcrireFichierMotDePasse(autre, "secret"), 0);
    const Octets ficheAutre = LireOctets(NomCompagnon(autre, "mdp"));
    for (const Octets& mdp : {Octets{'x', 'y'}, hasard, ficheAutre}) {
        EcrireOctets(NomCompagnon(film, "mdp"), mdp);
        EXPECT_FALSE(FicheDuFilm(film.c_str()));
        Th_Indexeur indexeur;
        indexeur.Demander(film.c_str(), FilmMjpeg);
        ASSERT_TRUE(AttendreQue([&] { return IndexFilm(film.c_str()) != nullptr; }, 5000)) << mdp.size();
        EXPECT_EQ(IndexFilm(film.c_str())->Nombre(), 9);
        PublierIndex(nullptr, nullptr);
    }
    // The film's own record does make it protected.
    ASSERT_EQ(EcrireFichierMotDePasse(film, "secret"), 0);
    EXPECT_TRUE(FicheDuFilm(film.c_str()));
    ReinitialiserEtat();
}

} // namespace
