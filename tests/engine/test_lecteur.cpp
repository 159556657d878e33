// The reader thread end to end: small films made by the film maker, played
// through Th_Lecteur_Magneto to a target that records the picture numbers.
#include "commun/attente_essai.h"
#include "codecs/bitmap.h"
#include "core/etat.h"
#include "engine/cible_image.h"
#include "engine/lecture_film.h"
#include "engine/motdepasse.h"
#include "engine/th_lecteur_magneto.h"
#include "filmmaker.h"
#include "numero_image.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QObject>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

// Waits of the reader cut down for tests.
constexpr int DemarrageEssaiMs = 10;
constexpr int GardeEssaiMs = 10;
// Generous limit for anything the reader should do within a second or two.
constexpr int LimiteMs = 20000;
constexpr int ImageNoire = -2; // number recorded for the blank picture

QElapsedTimer Horloge;

struct Remise {
    int numero;   // picture number, ImageNoire, or -1 when unreadable
    int taille;
    qint64 ms;
};

class CibleEnregistreuse : public QObject, public CibleImage
{
public:
    std::vector<Remise> remises; // touched on the main thread only
    // Runs inside the hand-over, the reader still blocked in it.
    std::function<void(const Remise&)> pendantRemise;

    void AfficherImage(const unsigned char* bitmap, int taille) override
    {
        int numero = LireNumeroBitmap(bitmap, static_cast<size_t>(taille));
        if (taille == KOR_BITMAP_NOIRE_TAILLE
            && std::all_of(bitmap + KOR_BITMAP_ENTETE, bitmap + taille, [](unsigned char o) { return o == 0; }))
            numero = ImageNoire;
        remises.push_back({numero, taille, Horloge.elapsed()});
        if (pendantRemise)
            pendantRemise(remises.back());
    }

    std::vector<int> Numeros() const
    {
        std::vector<int> n;
        for (const Remise& r : remises)
            if (r.numero != ImageNoire)
                n.push_back(r.numero);
        return n;
    }
    int NbNoires() const
    {
        return static_cast<int>(std::count_if(remises.begin(), remises.end(),
                                              [](const Remise& r) { return r.numero == ImageNoire; }));
    }
};

bool Attendre(const std::function<bool()>& condition, int ms = LimiteMs)
{
    return AttendreEnTraitantEvenements(condition, ms);
}

void Patienter(int ms)
{
    Attendre([] { return false; }, ms);
}

void EcrireVoie(const std::function<void(Voie&)>& f)
{
    const int r = PrendreMutexVoie(0);
    f(Voies[0]);
    if (r == 0)
        RendreMutexVoie(0);
}

template <typename T>
T LireVoie(T Voie::*champ)
{
    const int r = PrendreMutexVoie(0);
    const T v = Voies[0].*champ;
    if (r == 0)
        RendreMutexVoie(0);
    return v;
}

void ChangerVitesse(double v)
{
    const int r = PrendreMutexGeneral();
    Vitesse = v;
    if (r == 0)
        RendreMutexGeneral();
}

std::vector<int> Suite(int premier, int dernier)
{
    std::vector<int> s;
    for (int i = premier; i <= dernier; ++i)
        s.push_back(i);
    return s;
}

std::vector<unsigned char> LireFichier(const std::string& chemin)
{
    std::ifstream f(chemin, std::ios::binary);
    return std::vector<unsigned char>(std::istreambuf_iterator<char>(f), {});
}

void EcrireFichier(const std::string& chemin, const std::vector<unsigned char>& o)
{
    std::ofstream f(chemin, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(o.data()), static_cast<std::streamsize>(o.size()));
}

// Offsets of the JPEG start markers (FF D8 FF) of an MJPEG film file.
std::vector<size_t> DebutsJpeg(const std::vector<unsigned char>& f)
{
    std::vector<size_t> d;
    for (size_t i = 8; i + 2 < f.size(); ++i)
        if (f[i] == 0xFF && f[i + 1] == 0xD8 && f[i + 2] == 0xFF)
            d.push_back(i);
    return d;
}

class Lecteur : public ::testing::Test
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
        std::string modele = (fs::temp_directory_path() / "zr7lect_XXXXXX").string();
        ASSERT_NE(mkdtemp(modele.data()), nullptr);
        dossier_ = modele;
        SilencerCodecs();
    }
    void TearDown() override
    {
        EcrireVoie([](Voie& v) { v.FlagLecture = 0; });
        lecteur_.reset();
        ImageAffichage = nullptr;
        Voies[0].BufferImage = Voies[0].ImageSortie = nullptr;
        std::error_code ec;
        fs::remove_all(dossier_, ec);
    }

    // Makes a film and selects it as the window would.
    std::string Film(int type, OptionsFilm o, const char* nom = "film")
    {
        static const char* const extensions[] = {".mp4", ".mjp", ".264"};
        const std::string chemin = dossier_ + "/" + nom + extensions[type];
        ResultatFilm res;
        EXPECT_EQ(FabriquerFilm(chemin, o, &res), 0);
        Selectionner(chemin, type, res.nbImages, res.dureeMs);
        return chemin;
    }
    void Selectionner(const std::string& chemin, int type, uint32_t nbImages, uint32_t dureeMs)
    {
        CopierTexte(CheminFilm, sizeof CheminFilm, chemin.c_str());
        TypeFilm = type;
        NbImagesFilm = nbImages;
        DureeFilm = dureeMs / 1000;
        dureeMs_ = dureeMs;
        FlagLireTaille = 1;
    }

    void Demarrer() { lecteur_ = std::make_unique<Th_Lecteur_Magneto>(0, DemarrageEssaiMs, GardeEssaiMs); }
    void Jouer()
    {
        EcrireVoie([](Voie& v) { JouerSousVerrou(v); });
    }
    // What Play does to the channel, the channel lock held.
    static void JouerSousVerrou(Voie& v)
    {
        v.FlagLecture = 1;
        v.FlagPause = 0;
        v.FlagFinDeFilm = 0;
        v.FlagRafraichir = 0;
        ++v.NumeroDemande;
    }
    void Rafraichir()
    {
        EcrireVoie([](Voie& v) {
            v.FlagRafraichir = 1;
            ++v.NumeroDemande;
        });
    }
    bool AttendreRemises(size_t n)
    {
        return Attendre([&] { return cible_.remises.size() >= n; });
    }
    bool AttendreFin()
    {
        return Attendre([] { return LireVoie(&Voie::FlagFinDeFilm) != 0; });
    }
    // Plays the selected film to its end and stops.
    void JouerJusquALaFin()
    {
        Demarrer();
        Jouer();
        ASSERT_TRUE(AttendreFin());
        EcrireVoie([](Voie& v) { v.FlagLecture = 0; });
    }

    CibleEnregistreuse cible_;
    std::unique_ptr<unsigned char[]> image_;
    std::unique_ptr<Th_Lecteur_Magneto> lecteur_;
    std::string dossier_;
    uint32_t dureeMs_ = 0;
};

OptionsFilm Petit(int nbImages, double cadence)
{
    OptionsFilm o;
    o.largeur = 160;
    o.hauteur = 120;
    o.nbImages = nbImages;
    o.cadence = cadence;
    return o;
}

// ---- Whole films, from their first decoding point to their end.

struct CasFilm {
    int type;
    int sauter;         // body cut before this picture
    int premierAttendu; // first picture that can be shown
};

class LecteurFilm : public Lecteur, public ::testing::WithParamInterface<CasFilm>
{
};

TEST_P(LecteurFilm, MontreChaqueImageDansLOrdre)
{
    const CasFilm cas = GetParam();
    OptionsFilm o = Petit(40, 30.0);
    o.sauter = cas.sauter;
    Film(cas.type, o);
    // Every picture is promised at x 1 only: faster, a late one is passed by.
    ChangerVitesse(1.0);
    JouerJusquALaFin();

    EXPECT_EQ(cible_.Numeros(), Suite(cas.premierAttendu, 39));
    EXPECT_EQ(cible_.NbNoires(), 0);
    const double attendu = (40.0 - cas.premierAttendu) * 100.0 / (40 - cas.sauter);
    EXPECT_DOUBLE_EQ(LireVoie(&Voie::PourcentFilm), attendu);
    EXPECT_EQ(FlagLireTaille, 0);
    EXPECT_EQ(HauteurFilm, 120);
    EXPECT_EQ(LargeurFilm, 160);
}

INSTANTIATE_TEST_SUITE_P(Genres, LecteurFilm,
                         ::testing::Values(CasFilm{1, 0, 0}, CasFilm{0, 0, 0}, CasFilm{2, 0, 0},
                                           // Taken mid-stream: MJPEG resumes at the next
                                           // picture, the others at the next key picture.
                                           CasFilm{1, 3, 3}, CasFilm{0, 3, 10}, CasFilm{2, 3, 10}));

// ---- Start positions.

TEST_F(Lecteur, DepartALaSecondeProportionnelle)
{
    const std::string chemin = Film(1, Petit(40, 20.0)); // 2 s
    SecondeDepart = 1;
    JouerJusquALaFin();

    const std::vector<unsigned char> f = LireFichier(chemin);
    const size_t octet = f.size() * 1 / 2;
    const std::vector<size_t> debuts = DebutsJpeg(f);
    ASSERT_EQ(debuts.size(), 40u);
    const int premier = static_cast<int>(std::lower_bound(debuts.begin(), debuts.end(), octet) - debuts.begin());
    const std::vector<int> vus = cible_.Numeros();
    EXPECT_EQ(vus, Suite(premier, 39));
    // 20 pictures are counted as played before the start.
    EXPECT_DOUBLE_EQ(LireVoie(&Voie::PourcentFilm), (vus.size() + 20) * 100.0 / 40);
}

TEST_F(Lecteur, DepartH264SurUneImageCle)
{
    OptionsFilm o = Petit(40, 10.0);
    o.gop = 8;
    Film(2, o);
    SecondeDepart = 2;
    ChangerVitesse(1.0);
    JouerJusquALaFin();
    const std::vector<int> vus = cible_.Numeros();
    ASSERT_FALSE(vus.empty());
    EXPECT_EQ(vus.front() % 8, 0);
    EXPECT_GE(vus.front(), 16);
    EXPECT_LE(vus.front(), 24);
    EXPECT_EQ(vus, Suite(vus.front(), 39));
    EXPECT_DOUBLE_EQ(LireVoie(&Voie::PourcentFilm), (vus.size() + 20) * 100.0 / 40);
}

// ---- Commands during a run.

TEST_F(Lecteur, PauseSansRafaleALaReprise)
{
    Film(1, Petit(30, 20.0)); // 50 ms between pictures
    Demarrer();
    Jouer();
    ASSERT_TRUE(Attendre([&] { return cible_.Numeros().size() >= 5; }));
    EcrireVoie([](Voie& v) { v.FlagPause = 1; });
    Patienter(300);
    const size_t pendantPause = cible_.remises.size();
    Patienter(400);
    EXPECT_EQ(cible_.remises.size(), pendantPause);
    EXPECT_LT(pendantPause, 30u);

    const qint64 reprise = Horloge.elapsed();
    EcrireVoie([](Voie& v) { v.FlagPause = 0; });
    ASSERT_TRUE(AttendreFin());
    EXPECT_EQ(cible_.Numeros(), Suite(0, 29));
    // Absolute pacing would show the overdue pictures at once; relative
    // pacing keeps about 50 ms between them.
    ASSERT_GE(cible_.remises.size(), pendantPause + 4);
    EXPECT_GE(cible_.remises[pendantPause + 3].ms - reprise, 100);
}

TEST_F(Lecteur, ChangementDeVitesse)
{
    Film(1, Petit(40, 10.0)); // 100 ms between pictures, 4 s at x 1
    Demarrer();
    Jouer();
    ASSERT_TRUE(Attendre([&] { return cible_.Numeros().size() >= 3; }));
    const qint64 changement = Horloge.elapsed();
    ChangerVitesse(8.0);
    ASSERT_TRUE(AttendreFin());
    // Faster than x 1 a late picture may be passed by: the pictures still
    // come in order, up to the last one.
    const std::vector<int> vus = cible_.Numeros();
    ASSERT_GE(vus.size(), 4u);
    EXPECT_TRUE(std::is_sorted(vus.begin(), vus.end()));
    EXPECT_EQ(std::adjacent_find(vus.begin(), vus.end()), vus.end());
    EXPECT_EQ(vus.back(), 39);
    EXPECT_EQ(Voies[0].IntervalleImage, 12); // (4000.5 / (40 x 8))
    // At x 1 the remaining 37 pictures would take 3.7 s.
    EXPECT_LT(cible_.remises.back().ms - changement, 2500);
}

// ---- Protected films.

TEST_F(Lecteur, FilmProtegeBonMotDePasse)
{
    OptionsFilm o = Petit(20, 20.0);
    o.motDePasse = "zebre12";
    Film(1, o);
    CopierTexte(MotDePasseFilm, sizeof MotDePasseFilm, "zebre12");
    ChangerVitesse(4.0);
    JouerJusquALaFin();
    EXPECT_EQ(cible_.Numeros(), Suite(0, 19));
}

TEST_F(Lecteur, FilmProtegeMauvaisMotDePasse)
{
    OptionsFilm o = Petit(20, 20.0);
    o.motDePasse = "zebre12";
    Film(1, o);
    CopierTexte(MotDePasseFilm, sizeof MotDePasseFilm, "zebre13");
    ChangerVitesse(4.0);
    JouerJusquALaFin();
    EXPECT_TRUE(cible_.Numeros().empty());
}

// The stream across several chunks: every byte comes out descrambled once,
// and a password change takes effect at the next chunk read. Whether or not
// compacting moves the bytes, the held data starts at the decoding point.
TEST_F(Lecteur, FluxDesembrouilleChaqueMorceauUneFois)
{
    const std::string chemin = dossier_ + "/long.mjp";
    const size_t corps = 3 * TailleMorceauFlux + 12345;
    std::vector<unsigned char> f(8 + corps);
    const uint32_t mots[2] = {100, 10000};
    std::memcpy(f.data(), mots, 8);
    auto clair = [](size_t i) { return static_cast<unsigned char>(i * 7 + i / 1000); };
    for (size_t i = 0; i < corps; ++i)
        f[8 + i] = clair(i);
    Embrouiller(f.data() + 8, static_cast<int>(corps));
    EcrireFichier(chemin, f);
    ASSERT_EQ(EcrireFichierMotDePasse(chemin, "pw"), 0);

    FluxFilm flux;
    ASSERT_EQ(flux.Ouvrir(chemin.c_str(), 0, 10, "pw"), FluxOuvert);
    EXPECT_EQ(flux.NbImages(), 100u);
    size_t position = 0, erreurs = 0, erreursApresChangement = 0;
    const char* motDePasse = "pw";
    size_t changement = 0;
    while (flux.Reste()) {
        if (flux.Remplir(motDePasse) > 0 && position > 2 * TailleMorceauFlux && changement == 0) {
            // Bytes already held stay as read; the next chunk is read as stored.
            motDePasse = "faux";
            changement = position + flux.Disponibles();
        }
        const int32_t pas = std::min<int32_t>(flux.Disponibles(), 70001);
        for (int32_t i = 0; i < pas; ++i, ++position) {
            const unsigned char o = flux.Donnees()[i];
            if (changement == 0 || position < changement)
                erreurs += o != clair(position);
            else
                erreursApresChangement += o != static_cast<unsigned char>(clair(position) + 17);
        }
        flux.Avancer(pas);
        flux.Compacter();
        ASSERT_LE(flux.Tamponne(), TailleTamponFlux);
        ASSERT_EQ(flux.Consomme(), 0);
        ASSERT_EQ(flux.Tamponne(), flux.Disponibles());
    }
    EXPECT_EQ(position, corps);
    EXPECT_GT(changement, 0u);
    EXPECT_EQ(erreurs, 0u);
    EXPECT_EQ(erreursApresChangement, 0u);

    // A refill due right after a compaction that left the bytes in place
    // (the decoding point moved on in between) keeps them in order.
    ASSERT_EQ(flux.Ouvrir(chemin.c_str(), 0, 10, "pw"), FluxOuvert);
    flux.Avancer(flux.Disponibles() - ReserveFlux);
    flux.Compacter();
    flux.Avancer(1000);
    size_t lu = TailleMorceauFlux - ReserveFlux + 1000;
    ASSERT_GT(flux.Remplir("pw"), 0);
    EXPECT_EQ(flux.Consomme(), 1000);
    EXPECT_EQ(flux.Tamponne(), ReserveFlux + TailleMorceauFlux);
    size_t faux = 0;
    for (int32_t i = 0; i < flux.Disponibles(); ++i, ++lu)
        faux += flux.Donnees()[i] != clair(lu);
    EXPECT_EQ(faux, 0u);

    // From second 5 of 10: half the file.
    ASSERT_EQ(flux.Ouvrir(chemin.c_str(), 5, 10, "pw"), FluxOuvert);
    EXPECT_EQ(flux.ImageBase(), 50u);
    EXPECT_EQ(flux.Donnees()[0], clair(f.size() / 2 - 8));
}

// ---- Failures.

TEST_F(Lecteur, FilmAbsentSignaleLaFinToutesLes50Ms)
{
    Selectionner(dossier_ + "/absent.mjp", 1, 10, 1000);
    Demarrer();
    Jouer();
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(AttendreFin()) << i;
        EcrireVoie([](Voie& v) { v.FlagFinDeFilm = 0; });
    }
    ASSERT_TRUE(AttendreFin());
    EXPECT_GE(cible_.NbNoires(), 3);
    EXPECT_TRUE(cible_.Numeros().empty());
    // Stopped: the attempts end.
    EcrireVoie([](Voie& v) { v.FlagLecture = 0; });
    Patienter(150);
    const size_t remises = cible_.remises.size();
    Patienter(300);
    EXPECT_EQ(cible_.remises.size(), remises);
}

// A JPEG header may claim a picture far larger than the picture buffer:
// such pictures are skipped, the others shown, also after a picture the
// JPEG decoder refused.
TEST_F(Lecteur, ImagesJpegDemesureesSautees)
{
    const std::string chemin = Film(1, Petit(12, 12.0));
    std::vector<unsigned char> f = LireFichier(chemin);
    const std::vector<size_t> debuts = DebutsJpeg(f);
    ASSERT_EQ(debuts.size(), 12u);
    auto redimensionner = [&](int image, int largeur, int hauteur) {
        for (size_t i = debuts[image]; i + 9 < f.size(); ++i)
            if (f[i] == 0xFF && (f[i + 1] == 0xC0 || f[i + 1] == 0xC2)) {
                f[i + 5] = static_cast<unsigned char>(hauteur >> 8);
                f[i + 6] = static_cast<unsigned char>(hauteur);
                f[i + 7] = static_cast<unsigned char>(largeur >> 8);
                f[i + 8] = static_cast<unsigned char>(largeur);
                return;
            }
        FAIL() << "pas de SOF";
    };
    redimensionner(0, 60000, 60000);
    redimensionner(5, 3000, 3000);   // under 8192, but 27 MB of bitmap
    redimensionner(8, 65535, 65535); // refused by the JPEG decoder itself
    EcrireFichier(chemin, f);
    ChangerVitesse(4.0);
    JouerJusquALaFin();
    std::vector<int> attendus = Suite(1, 11);
    attendus.erase(std::find(attendus.begin(), attendus.end(), 8));
    attendus.erase(std::find(attendus.begin(), attendus.end(), 5));
    EXPECT_EQ(cible_.Numeros(), attendus);
}

// ---- Single pictures while stopped (seek, film loading).

TEST_F(Lecteur, ImageUniqueApresLImageNoire)
{
    const std::string chemin = Film(1, Petit(40, 10.0));
    SecondeDepart = 1;
    Demarrer();
    EcrireVoie([](Voie& v) { v.FlagRafraichir = 1; });
    ASSERT_TRUE(AttendreRemises(2));
    EXPECT_EQ(LireVoie(&Voie::FlagRafraichir), 0);
    Patienter(300);
    // A single picture is not the end of a film.
    EXPECT_EQ(LireVoie(&Voie::FlagFinDeFilm), 0);
    ASSERT_EQ(cible_.remises.size(), 2u);
    EXPECT_EQ(cible_.remises[0].numero, ImageNoire);
    const std::vector<size_t> debuts = DebutsJpeg(LireFichier(chemin));
    const size_t octet = fs::file_size(chemin) / 4;
    const int attendu = static_cast<int>(std::lower_bound(debuts.begin(), debuts.end(), octet) - debuts.begin());
    EXPECT_EQ(cible_.remises[1].numero, attendu);
    EXPECT_DOUBLE_EQ(LireVoie(&Voie::PourcentFilm), (1 + 10) * 100.0 / 40);

    // Again at another second.
    SecondeDepart = 3;
    EcrireVoie([](Voie& v) { v.FlagRafraichir = 1; });
    ASSERT_TRUE(AttendreRemises(4));
    Patienter(200);
    EXPECT_EQ(LireVoie(&Voie::FlagFinDeFilm), 0);
    ASSERT_EQ(cible_.remises.size(), 4u);
    EXPECT_EQ(cible_.remises[2].numero, ImageNoire);
    EXPECT_GT(cible_.remises[3].numero, attendu);
}

// A single picture whose first candidate fails to decode still shows the
// next good one instead of leaving the blank picture.
TEST_F(Lecteur, ImageUniquePasseUneImageRatee)
{
    const std::string chemin = Film(1, Petit(10, 10.0));
    std::vector<unsigned char> f = LireFichier(chemin);
    const std::vector<size_t> debuts = DebutsJpeg(f);
    for (size_t i = debuts[0]; i + 9 < f.size(); ++i)
        if (f[i] == 0xFF && f[i + 1] == 0xC0) {
            f[i + 5] = f[i + 6] = f[i + 7] = f[i + 8] = 0xFF;
            break;
        }
    EcrireFichier(chemin, f);
    Demarrer();
    EcrireVoie([](Voie& v) { v.FlagRafraichir = 1; });
    ASSERT_TRUE(AttendreRemises(2));
    Patienter(200);
    ASSERT_EQ(cible_.remises.size(), 2u);
    EXPECT_EQ(cible_.remises[0].numero, ImageNoire);
    EXPECT_EQ(cible_.remises[1].numero, 1);
}

TEST_F(Lecteur, ImageUniqueH264)
{
    OptionsFilm o = Petit(40, 10.0);
    o.gop = 8;
    Film(2, o);
    SecondeDepart = 2;
    Demarrer();
    EcrireVoie([](Voie& v) { v.FlagRafraichir = 1; });
    ASSERT_TRUE(AttendreRemises(2));
    Patienter(200);
    ASSERT_EQ(cible_.remises.size(), 2u);
    EXPECT_EQ(cible_.remises[0].numero, ImageNoire);
    EXPECT_EQ(cible_.remises[1].numero % 8, 0);
    EXPECT_GE(cible_.remises[1].numero, 16);
}

// ---- Run identity and the hand-off to the window.

// Play pressed while the single picture of a seek is being handed over: the
// single-picture run must not report the end of the film, and the run that
// Play starts goes on to the real end.
TEST_F(Lecteur, PlayPendantLImageUniqueNeFinitPasLeFilm)
{
    Film(1, Petit(40, 40.0));
    SecondeDepart = 0;
    cible_.pendantRemise = [](const Remise& r) {
        if (r.numero >= 0 && LireVoie(&Voie::FlagLecture) == 0)
            EcrireVoie([](Voie& v) { JouerSousVerrou(v); });
    };
    Demarrer();
    Rafraichir();
    ASSERT_TRUE(AttendreFin());
    const std::vector<int> vus = cible_.Numeros();
    ASSERT_FALSE(vus.empty());
    EXPECT_EQ(vus.back(), 39) << "end of film reported after " << vus.size() << " pictures";
}

// A playing run stopped under it, or overtaken by a newer command, ends
// without reporting the end of the film.
TEST_F(Lecteur, RunArreteOuDepasseSansFinDeFilm)
{
    Film(1, Petit(40, 40.0));
    Demarrer();
    for (int cas = 0; cas < 2; ++cas) {
        cible_.remises.clear();
        cible_.pendantRemise = [cas](const Remise& r) {
            if (r.numero == 3)
                EcrireVoie([cas](Voie& v) {
                    if (cas == 0)
                        v.FlagLecture = 0;
                    else
                        ++v.NumeroDemande; // another start: the run is no longer the current one
                });
        };
        Jouer();
        ASSERT_TRUE(Attendre([&] { return !cible_.Numeros().empty() && cible_.Numeros().back() >= 3; })) << cas;
        Patienter(300);
        EXPECT_EQ(LireVoie(&Voie::FlagFinDeFilm), 0) << cas;
        if (cas == 1) { // the newer command's run starts again from SecondeDepart
            EXPECT_TRUE(Attendre([&] { return cible_.Numeros().back() < 3; }));
        }
        cible_.pendantRemise = nullptr;
        EcrireVoie([](Voie& v) { v.FlagLecture = 0; });
        Patienter(100);
    }
}

// The run takes the command number, starts its progress at the start's
// share (not the previous run's), and tells which picture is on screen.
TEST_F(Lecteur, NumeroDeRunProgressionEtImageMontree)
{
    Film(1, Petit(40, 10.0)); // 4 s
    SecondeDepart = 2;
    ChangerVitesse(8.0);
    Demarrer();
    Patienter(100);
    EcrireVoie([](Voie& v) {
        v.PourcentFilm = 99.0; // a previous run's share
        v.NumeroDemande = 6;
    });
    double pourcentALaPremiere = -1;
    uint32_t runALaPremiere = 0;
    cible_.pendantRemise = [&](const Remise&) {
        if (pourcentALaPremiere < 0) {
            pourcentALaPremiere = LireVoie(&Voie::PourcentFilm);
            runALaPremiere = LireVoie(&Voie::NumeroRun);
        }
    };
    Jouer();
    ASSERT_TRUE(AttendreFin());
    EXPECT_DOUBLE_EQ(pourcentALaPremiere, 50.0);
    EXPECT_EQ(runALaPremiere, 7u);
    EXPECT_EQ(LireVoie(&Voie::RunImageMontree), 7u);
    // The run's start picture is estimated (20 of 40 at half the film).
    const int64_t derniere = 20 + int64_t(cible_.Numeros().size()) - 1;
    EXPECT_EQ(LireVoie(&Voie::ImageMontree), derniere);
    EXPECT_EQ(LireVoie(&Voie::MsImageMontree), derniere * dureeMs_ / 40);
}

// A protected film selected before its password is typed: the single
// picture stays blank at once, and once the password is typed Play shows
// the film without waiting for a search through scrambled data.
TEST_F(Lecteur, FilmProtegeMotDePasseTapeApresLaSelection)
{
    OptionsFilm o = Petit(120, 25.0);
    o.largeur = 640;
    o.hauteur = 480;
    o.gop = 1;
    o.motDePasse = "loutre7";
    const std::string chemin = Film(2, o);
    // Several MB: a search through the scrambled data would take 20 s and more.
    std::vector<unsigned char> f = LireFichier(chemin);
    f.resize(f.size() + 2000000, 0x5A);
    EcrireFichier(chemin, f);
    Demarrer();
    Rafraichir();
    ASSERT_TRUE(AttendreRemises(1));
    Patienter(200);
    CopierTexte(MotDePasseFilm, sizeof MotDePasseFilm, "loutre7");
    const qint64 play = Horloge.elapsed();
    Jouer();
    // Generous for a loaded machine; the fault took the whole film's search.
    ASSERT_TRUE(Attendre([&] { return !cible_.Numeros().empty(); }, 8000));
    EXPECT_LT(cible_.remises.back().ms - play, 8000);
    EXPECT_EQ(cible_.remises.front().numero, ImageNoire);
    EXPECT_EQ(cible_.Numeros().front(), 0);
}

// Pure random bytes behind a valid header: a seek neither holds the reader
// (Play on another film works at once) nor searches for ever, and the
// failures beep at most once a second.
TEST_F(Lecteur, DonneesAleatoiresRechercheBornee)
{
    std::atomic<int> bips{0};
    RemplacerBipEchecImage([&bips] { ++bips; });
    const std::string aleatoire = dossier_ + "/bruit.264";
    std::vector<unsigned char> f(8 + 3000000);
    const uint32_t mots[2] = {100, 10000};
    std::memcpy(f.data(), mots, 8);
    uint32_t x = 12345;
    for (size_t i = 8; i < f.size(); ++i) {
        x = x * 1664525u + 1013904223u;
        f[i] = static_cast<unsigned char>(x >> 24);
    }
    EcrireFichier(aleatoire, f);
    OptionsFilm o = Petit(20, 20.0);
    ResultatFilm res;
    const std::string bon = dossier_ + "/bon.mjp";
    ASSERT_EQ(FabriquerFilm(bon, o, &res), 0);

    Selectionner(aleatoire, 2, 100, 10000);
    Demarrer();
    Rafraichir();
    ASSERT_TRUE(AttendreRemises(1));
    Patienter(300);
    Selectionner(bon, 1, res.nbImages, res.dureeMs);
    const qint64 play = Horloge.elapsed();
    Jouer();
    ASSERT_TRUE(Attendre([&] { return !cible_.Numeros().empty(); }, 8000));
    EXPECT_LT(cible_.remises.back().ms - play, 8000);
    EcrireVoie([](Voie& v) { v.FlagLecture = 0; });
    Patienter(200);

    // Alone, the search gives up: the beeps stop, the blank picture stays.
    cible_.remises.clear();
    Selectionner(aleatoire, 2, 100, 10000);
    const qint64 debut = Horloge.elapsed();
    const int bipsAvant = bips;
    Rafraichir();
    int dernier = -1;
    qint64 calme = Horloge.elapsed();
    ASSERT_TRUE(Attendre(
        [&] {
            if (bips != dernier) {
                dernier = bips;
                calme = Horloge.elapsed();
            }
            return Horloge.elapsed() - calme > 2000;
        },
        30000))
        << "the search did not give up";
    const int nouveaux = bips - bipsAvant;
    EXPECT_GE(nouveaux, 1);
    EXPECT_LE(nouveaux, (calme - debut) / 1000 + 1);
    EXPECT_TRUE(cible_.Numeros().empty());
    EXPECT_EQ(LireVoie(&Voie::FlagFinDeFilm), 0);
    RemplacerBipEchecImage(nullptr);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    Horloge.start();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
