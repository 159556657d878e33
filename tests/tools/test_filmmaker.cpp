// Films made by the film maker: decoded by ffmpeg, their numbers read back;
// cut, protected and hourly films; the companion files; the command line.

#include "filmmaker.h"
#include "numero_image.h"
#include "engine/fichierfilm.h"
#include "engine/motdepasse.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

class DossierTemporaire {
public:
    DossierTemporaire()
    {
        std::string modele = (fs::temp_directory_path() / "zr7film-XXXXXX").string();
        if (mkdtemp(modele.data()))
            chemin_ = modele;
    }
    ~DossierTemporaire()
    {
        std::error_code e;
        if (!chemin_.empty())
            fs::remove_all(chemin_, e);
    }
    std::string operator/(const std::string& nom) const { return chemin_ + "/" + nom; }
    const std::string& chemin() const { return chemin_; }

private:
    std::string chemin_;
};

std::vector<uint8_t> LireTout(const std::string& chemin)
{
    std::ifstream f(chemin, std::ios::binary | std::ios::ate);
    if (!f)
        return {};
    std::vector<uint8_t> octets(static_cast<size_t>(f.tellg()));
    f.seekg(0);
    f.read(reinterpret_cast<char*>(octets.data()), static_cast<std::streamsize>(octets.size()));
    return octets;
}

uint32_t Mot(const std::vector<uint8_t>& f, size_t pos)
{
    return f[pos] | (f[pos + 1] << 8) | (f[pos + 2] << 16) | (static_cast<uint32_t>(f[pos + 3]) << 24);
}

std::vector<uint8_t> Corps(const std::vector<uint8_t>& film)
{
    return std::vector<uint8_t>(film.begin() + TailleEnteteFilm, film.end());
}

// Runs a command through the shell; its exit status, -1 if it did not end normally.
int Lancer(const std::string& commande, std::string* sortie = nullptr)
{
    FILE* p = popen(commande.c_str(), "r");
    if (!p)
        return -1;
    char tampon[512];
    size_t n;
    while ((n = fread(tampon, 1, sizeof tampon, p)) > 0)
        if (sortie)
            sortie->append(tampon, n);
    const int etat = pclose(p);
    return WIFEXITED(etat) ? WEXITSTATUS(etat) : -1;
}

const char* FormatFfmpeg(int type)
{
    return type == FilmMjpeg ? "mjpeg" : type == FilmMpeg4 ? "m4v" : "h264";
}

// Decodes a film's body with ffmpeg, scaled to largeur x hauteur, and reads
// the number of every picture. Empty when ffmpeg fails.
std::vector<int> NumerosDecodes(const std::string& film, int type, int largeur, int hauteur)
{
    const std::vector<uint8_t> contenu = LireTout(film);
    const std::string corps = film + ".corps";
    const std::string brut = film + ".brut";
    {
        std::ofstream f(corps, std::ios::binary);
        f.write(reinterpret_cast<const char*>(contenu.data()) + TailleEnteteFilm,
                static_cast<std::streamsize>(contenu.size() - TailleEnteteFilm));
    }
    const std::string commande = std::string("'") + ZR7_FFMPEG + "' -nostdin -v error -y -f " + FormatFfmpeg(type)
                                 + " -i '" + corps + "' -fps_mode passthrough -vf scale=" + std::to_string(largeur) + ":"
                                 + std::to_string(hauteur) + " -f rawvideo -pix_fmt bgr24 '" + brut + "' 2>&1";
    std::string messages;
    if (Lancer(commande, &messages) != 0) {
        ADD_FAILURE() << commande << "\n" << messages;
        return {};
    }
    const std::vector<uint8_t> images = LireTout(brut);
    const size_t taille = static_cast<size_t>(largeur) * hauteur * 3;
    EXPECT_EQ(images.size() % taille, 0u);
    std::vector<int> numeros;
    for (size_t pos = 0; pos + taille <= images.size(); pos += taille)
        numeros.push_back(LireNumeroImage(images.data() + pos, largeur, hauteur, 3 * largeur, false));
    return numeros;
}

std::vector<int> Suite(int premier, int dernier)
{
    std::vector<int> v;
    for (int i = premier; i <= dernier; ++i)
        v.push_back(i);
    return v;
}

#define EXIGER_FFMPEG()                                                                  \
    do {                                                                                 \
        if (!*ZR7_FFMPEG)                                                                \
            GTEST_SKIP() << "ffmpeg is not installed: the films cannot be decoded here"; \
    } while (0)

OptionsFilm Petit()
{
    OptionsFilm o;
    o.largeur = 176;
    o.hauteur = 144;
    o.nbImages = 30;
    o.cadence = 10;
    o.gop = 5;
    return o;
}

struct Sorte {
    int type;
    const char* extension;
};

void PrintTo(const Sorte& s, std::ostream* os)
{
    *os << s.extension;
}

class FilmParSorte : public ::testing::TestWithParam<Sorte> {};

// The companion tests make H.264 films too: keep the coder quiet for all.
const int Silence = (SilencerCodecs(), 0);

TEST_P(FilmParSorte, DecodesToEveryPictureInOrder)
{
    EXIGER_FFMPEG();
    DossierTemporaire dossier;
    const std::string film = dossier / (std::string("film") + GetParam().extension);
    ResultatFilm r;
    ASSERT_EQ(FabriquerFilm(film, Petit(), &r), 0);

    EnteteFilm e;
    ASSERT_EQ(LireEnteteFilm(film, e), 0);
    EXPECT_EQ(e.NbImages, 30u);
    EXPECT_EQ(e.DureeMs, 3000u);
    EXPECT_EQ(r.tailleCorps + TailleEnteteFilm, LireTout(film).size());

    EXPECT_EQ(NumerosDecodes(film, GetParam().type, 176, 144), Suite(0, 29));
}

TEST_P(FilmParSorte, BodyCutMidStreamPlaysFromTheNextKeyPicture)
{
    EXIGER_FFMPEG();
    DossierTemporaire dossier;
    const std::string entier = dossier / (std::string("entier") + GetParam().extension);
    const std::string coupe = dossier / (std::string("coupe") + GetParam().extension);
    OptionsFilm o = Petit();
    ASSERT_EQ(FabriquerFilm(entier, o), 0);
    o.sauter = 7;
    ASSERT_EQ(FabriquerFilm(coupe, o), 0);

    const std::vector<uint8_t> a = LireTout(entier);
    const std::vector<uint8_t> b = LireTout(coupe);
    EXPECT_EQ(Mot(b, 0), 23u);
    EXPECT_EQ(Mot(b, 4), 2300u);
    // The cut body is the tail of the whole one.
    ASSERT_LT(b.size(), a.size());
    EXPECT_TRUE(std::equal(b.begin() + TailleEnteteFilm, b.end(), a.end() - (b.size() - TailleEnteteFilm)));

    // Pictures 7 to 9 depend on pictures that were cut away (groups of 5):
    // only JPEG pictures stand alone. ffmpeg may still put out the three
    // unreadable ones (grey) before the key picture 10.
    const int premier = GetParam().type == FilmMjpeg ? 7 : 10;
    std::vector<int> numeros = NumerosDecodes(coupe, GetParam().type, 176, 144);
    size_t illisibles = 0;
    while (illisibles < numeros.size() && numeros[illisibles] == -1)
        ++illisibles;
    EXPECT_LE(illisibles, static_cast<size_t>(premier - 7));
    numeros.erase(numeros.begin(), numeros.begin() + static_cast<ptrdiff_t>(illisibles));
    EXPECT_EQ(numeros, Suite(premier, 29));
}

TEST_P(FilmParSorte, NumbersSurviveScalingByThePlayer)
{
    EXIGER_FFMPEG();
    DossierTemporaire dossier;
    const std::string film = dossier / (std::string("film") + GetParam().extension);
    OptionsFilm o = Petit();
    o.nbImages = 8;
    ASSERT_EQ(FabriquerFilm(film, o), 0);
    EXPECT_EQ(NumerosDecodes(film, GetParam().type, 160, 120), Suite(0, 7));
    EXPECT_EQ(NumerosDecodes(film, GetParam().type, 1920, 1080), Suite(0, 7));
}

TEST_P(FilmParSorte, ProtectedBodyDescramblesToThePlainBody)
{
    DossierTemporaire dossier;
    const std::string clair = dossier / (std::string("clair") + GetParam().extension);
    const std::string protege = dossier / (std::string("protege") + GetParam().extension);
    OptionsFilm o = Petit();
    ASSERT_EQ(FabriquerFilm(clair, o), 0);
    o.motDePasse = "secret";
    ASSERT_EQ(FabriquerFilm(protege, o), 0);

    const std::vector<uint8_t> a = LireTout(clair);
    std::vector<uint8_t> b = LireTout(protege);
    ASSERT_EQ(a.size(), b.size());
    EXPECT_TRUE(std::equal(a.begin(), a.begin() + TailleEnteteFilm, b.begin()));  // header stays plain
    EXPECT_NE(Corps(a), Corps(b));
    Desembrouiller(b.data() + TailleEnteteFilm, static_cast<int>(b.size() - TailleEnteteFilm));
    EXPECT_EQ(Corps(a), Corps(b));

    EXPECT_EQ(VerifierMotDePasse(protege.c_str(), "secret"), 1);
    EXPECT_EQ(VerifierMotDePasse(protege.c_str(), "autre"), -1);
    EXPECT_EQ(VerifierMotDePasse(clair.c_str(), ""), 0);
}

INSTANTIATE_TEST_SUITE_P(TroisSortes, FilmParSorte,
                         ::testing::Values(Sorte{FilmMjpeg, ".mjp"}, Sorte{FilmMpeg4, ".mp4"},
                                           Sorte{FilmH264, ".264"}),
                         [](const ::testing::TestParamInfo<Sorte>& i) { return std::string(i.param.extension + 1) == "264" ? std::string("h264") : std::string(i.param.extension + 1); });

// Start codes of an elementary stream: offset of the byte after 00 00 01.
std::vector<size_t> CodesDepart(const std::vector<uint8_t>& corps)
{
    std::vector<size_t> codes;
    for (size_t i = 0; i + 3 < corps.size(); ++i)
        if (corps[i] == 0 && corps[i + 1] == 0 && corps[i + 2] == 1)
            codes.push_back(i + 3);
    return codes;
}

TEST(FilmMaker, H264KeyPicturesCarryParameterSetsBehindFourByteStartCodes)
{
    DossierTemporaire dossier;
    ASSERT_EQ(FabriquerFilm(dossier / "film.264", Petit()), 0);  // 30 pictures, groups of 5
    const std::vector<uint8_t> corps = Corps(LireTout(dossier / "film.264"));
    int sps = 0, pps = 0, idr = 0, tranches = 0;
    for (size_t pos : CodesDepart(corps)) {
        ASSERT_GE(pos, 4u);
        EXPECT_EQ(corps[pos - 4], 0) << "three-byte start code at " << pos - 3;
        const int type = corps[pos] & 0x1F;
        sps += type == 7;
        pps += type == 8;
        idr += type == 5;
        tranches += type == 1 || type == 5;
        if (type == 5) {
            EXPECT_GE(sps, idr) << "IDR picture without its parameter sets";
        }
    }
    EXPECT_EQ(tranches, 30);
    EXPECT_EQ(idr, 6);
    EXPECT_EQ(sps, 6);
    EXPECT_EQ(pps, 6);
}

TEST(FilmMaker, Mpeg4IntraPicturesFollowASequenceHeader)
{
    DossierTemporaire dossier;
    ASSERT_EQ(FabriquerFilm(dossier / "film.mp4", Petit()), 0);
    const std::vector<uint8_t> corps = Corps(LireTout(dossier / "film.mp4"));
    int sequences = 0, intra = 0, images = 0;
    bool sequenceAvant = false;
    for (size_t pos : CodesDepart(corps)) {
        if (corps[pos] == 0xB0) {
            ++sequences;
            sequenceAvant = true;
        } else if (corps[pos] == 0xB6 && pos + 1 < corps.size()) {
            ++images;
            if ((corps[pos + 1] & 0xC0) == 0) {  // intra-coded picture
                ++intra;
                EXPECT_TRUE(sequenceAvant) << "intra picture " << images - 1 << " without a sequence header";
            }
            sequenceAvant = false;
        }
    }
    EXPECT_EQ(images, 30);
    EXPECT_EQ(intra, 6);
    EXPECT_EQ(sequences, 6);
}

TEST(FilmMaker, RefusesWhatItCannotMake)
{
    DossierTemporaire dossier;
    OptionsFilm o = Petit();
    EXPECT_EQ(FabriquerFilm(dossier / "film.avi", o), -1);
    EXPECT_EQ(FabriquerFilm(dossier / "film.MJP", o), -1);
    o.largeur = 175;  // odd: no 4:2:0 picture
    EXPECT_EQ(FabriquerFilm(dossier / "film.264", o), -1);
    EXPECT_EQ(FabriquerFilm(dossier / "film.mjp", o), 0);  // JPEG takes any width
    o = Petit();
    o.sauter = o.nbImages;
    EXPECT_EQ(FabriquerFilm(dossier / "film.mjp", o), -1);
    o = Petit();
    o.premierNumero = NumeroMaxImage - 10;  // numbers would not fit the code row
    EXPECT_EQ(FabriquerFilm(dossier / "film.mjp", o), -1);
    o = Petit();
    o.largeur = 3000;
    EXPECT_EQ(FabriquerFilm(dossier / "film.mjp", o), -1);
}

TEST(FilmMaker, DurationFromRateOrGivenExplicitly)
{
    DossierTemporaire dossier;
    OptionsFilm o = Petit();
    o.cadence = 25;
    ResultatFilm r;
    ASSERT_EQ(FabriquerFilm(dossier / "a.mjp", o, &r), 0);
    EXPECT_EQ(r.nbImages, 30u);
    EXPECT_EQ(r.dureeMs, 1200u);
    o.dureeMs = 4500;
    ASSERT_EQ(FabriquerFilm(dossier / "b.mjp", o, &r), 0);
    EXPECT_EQ(r.dureeMs, 4500u);
    EnteteFilm e;
    ASSERT_EQ(LireEnteteFilm(dossier / "b.mjp", e), 0);
    EXPECT_EQ(e.DureeMs, 4500u);
}

// G.711 mu-law expansion, written out independently of the maker's coder.
int DecoderMuLaw(uint8_t octet)
{
    const int u = ~octet & 0xFF;
    const int t = (((u & 0x0F) << 3) + 0x84) << ((u & 0x70) >> 4);
    return (u & 0x80) ? 0x84 - t : t - 0x84;
}

TEST(Companions, SoundIs8000BytesASecondWithAClickEachSecond)
{
    DossierTemporaire dossier;
    OptionsFilm o = Petit();
    o.son = true;
    ASSERT_EQ(FabriquerFilm(dossier / "film.264", o), 0);
    const std::vector<uint8_t> son = LireTout(dossier / "film.pcm");
    ASSERT_EQ(son.size(), 3u * OctetsSonParSeconde);

    for (size_t seconde = 0; seconde < 3; ++seconde) {
        int clic = 0, ton = 0;
        for (size_t i = 0; i < OctetsSonParSeconde; ++i) {
            const int v = std::abs(DecoderMuLaw(son[seconde * OctetsSonParSeconde + i]));
            if (i < 20)
                clic = std::max(clic, v);
            else if (i >= 100)  // past the click
                ton = std::max(ton, v);
        }
        EXPECT_GT(clic, 3 * ton) << "second " << seconde;
        EXPECT_GT(ton, 1000) << "second " << seconde;
    }

    ASSERT_EQ(EcrireSon(dossier / "court.mjp", 2500), 0);
    EXPECT_EQ(LireTout(dossier / "court.pcm").size(), 20000u);
}

TEST(Companions, MuLawCodesMatchTheG711Table)
{
    EXPECT_EQ(EncoderMuLaw(0), 0xFF);
    EXPECT_EQ(EncoderMuLaw(32767), 0x80);
    EXPECT_EQ(EncoderMuLaw(-32768), 0x00);
    for (int v = -32000; v <= 32000; v += 250) {
        const int retour = DecoderMuLaw(EncoderMuLaw(static_cast<int16_t>(v)));
        EXPECT_LE(std::abs(retour - v), std::abs(v) / 16 + 8) << v;  // within one quantisation step
    }
}

TEST(Companions, MeasureLinesAreInTheReadersFormat)
{
    DossierTemporaire dossier;
    OptionsFilm o = Petit();
    o.mesures = true;
    o.premierNumero = 100;
    o.sauter = 10;
    ASSERT_EQ(FabriquerFilm(dossier / "film.mp4", o), 0);  // 20 pictures left: 2 seconds
    const std::vector<uint8_t> octets = LireTout(dossier / "film.msr");
    const std::string texte(octets.begin(), octets.end());
    ASSERT_GT(texte.size(), 12u);

    size_t debut = 0;
    int lignes = 0, dernierTemps = -1;
    bool effacement = false;
    while (debut < texte.size()) {
        const size_t fin = texte.find("\r\n", debut);
        ASSERT_NE(fin, std::string::npos) << "line without CR LF at " << debut;
        ASSERT_LT(debut, texte.size() - 12) << "a line starting in the last 12 bytes is never read";
        const std::string ligne = texte.substr(debut, fin - debut);
        ASSERT_GT(ligne.size() + 2, 6u);
        // Six-digit time, then row and text each closed by ';'.
        for (int i = 0; i < 6; ++i) {
            ASSERT_TRUE(isdigit(static_cast<unsigned char>(ligne[i]))) << ligne;
        }
        ASSERT_EQ(ligne[6], ';') << ligne;
        const int temps = std::stoi(ligne.substr(0, 6));
        const size_t p2 = ligne.find(';', 7);
        ASSERT_NE(p2, std::string::npos) << ligne;
        const int rang = std::stoi(ligne.substr(7, p2 - 7));
        const size_t p3 = ligne.find(';', p2 + 1);
        ASSERT_EQ(p3, ligne.size() - 1) << ligne;
        const std::string valeur = ligne.substr(p2 + 1, p3 - p2 - 1);
        EXPECT_GE(temps, dernierTemps) << ligne;
        EXPECT_LE(temps, 2000);
        dernierTemps = temps;
        if (rang == 0)
            effacement = true;
        if (rang == 2) {
            EXPECT_EQ(valeur, "Image : " + std::to_string(110 + temps / 100)) << ligne;
        }
        ++lignes;
        debut = fin + 2;
    }
    EXPECT_TRUE(effacement);
    EXPECT_EQ(lignes, 1 + 3 * 3);  // clearing line, then seconds 0, 1, 2
}

TEST(Companions, DatesStartAtTheGivenTimeAndSpanTheDuration)
{
    DossierTemporaire dossier;
    OptionsFilm o = Petit();
    o.dates = true;
    ASSERT_EQ(LireDateHeure("12/05/2014 10:15:00", o.dateDebut), 0);
    ASSERT_EQ(FabriquerFilm(dossier / "film.mjp", o), 0);
    const DatesFilm d = LireDatesFilm(dossier / "film.mjp");
    ASSERT_TRUE(d.Presentes);
    EXPECT_DOUBLE_EQ(d.Debut, 41771.0 + (10 * 3600 + 15 * 60) / 86400.0);
    EXPECT_NEAR((d.Fin - d.Debut) * 86400.0, 3.0, 1e-6);
}

TEST(Dates, DayCountsAndParsing)
{
    const struct {
        const char* texte;
        double jours;
    } cas[] = {
        {"30/12/1899 00:00:00", 0.0},  {"31/12/1899 12:00:00", 1.5}, {"01/01/1900 00:00", 2.0},
        {"01/03/1900 06:00:00", 61.25}, {"12/05/2014 00:00:00", 41771.0}, {"29/02/2016 00:00:00", 42429.0},
    };
    for (const auto& c : cas) {
        DateHeure d;
        ASSERT_EQ(LireDateHeure(c.texte, d), 0) << c.texte;
        EXPECT_DOUBLE_EQ(JoursDepuis1899(d), c.jours) << c.texte;
    }
    for (const char* faux : {"", "12/05/2014", "32/05/2014 10:00:00", "12/13/2014 10:00:00", "12/05/2014 24:00:00",
                             "12/05/2014 10:60:00", "12/05/2014 10:15:00 plus",
                             "12/05/2014 10:15 x", "12/05/2014 10:15:"}) {
        DateHeure d;
        EXPECT_EQ(LireDateHeure(faux, d), -1) << faux;
    }
}

TEST(HourlyNames, FolderOfTheHourAndNextMinuteAsThePlayerChains)
{
    DateHeure d;
    ASSERT_EQ(LireDateHeure("12/05/2014 10:15:00", d), 0);
    EXPECT_EQ(CheminHoraire("/films", d, ".mjp"), "/films/10/12-05-2014-10-15.mjp");
    EXPECT_EQ(CheminHoraire("/films/", d, ".264"), "/films/10/12-05-2014-10-15.264");
    // Last 23 characters: hour folder, separator, 16-character name, extension.
    EXPECT_EQ(CheminHoraire("x", d, ".mp4").size(), 2u + 23u);

    const struct {
        const char* avant;
        const char* apres;  // nullptr: no next film
    } cas[] = {
        {"12/05/2014 10:15:00", "/f/10/12-05-2014-10-16.mjp"},
        {"12/05/2014 10:59:00", "/f/11/12-05-2014-11-00.mjp"},
        {"31/12/2014 22:59:00", "/f/23/31-12-2014-23-00.mjp"},
        {"12/05/2014 23:59:00", nullptr},
    };
    for (const auto& c : cas) {
        ASSERT_EQ(LireDateHeure(c.avant, d), 0);
        const bool suivante = MinuteSuivante(d);
        EXPECT_EQ(suivante, c.apres != nullptr) << c.avant;
        if (suivante && c.apres) {
            EXPECT_EQ(CheminHoraire("/f", d, ".mjp"), c.apres);
        }
    }
}

TEST(Logos, BothAreJpegPictures)
{
    DossierTemporaire dossier;
    ASSERT_EQ(EcrireLogos(dossier.chemin()), 0);
    for (const char* nom : {"logo1.jpg", "logo2.jpg"}) {
        const std::vector<uint8_t> f = LireTout(dossier / nom);
        ASSERT_GT(f.size(), 1000u) << nom;
        EXPECT_EQ(f[0], 0xFF);
        EXPECT_EQ(f[1], 0xD8);
        EXPECT_EQ(f[f.size() - 2], 0xFF);
        EXPECT_EQ(f[f.size() - 1], 0xD9);
    }
    EXPECT_NE(LireTout(dossier / "logo1.jpg"), LireTout(dossier / "logo2.jpg"));
}

// --- the command line --------------------------------------------------------

TEST(CommandLine, HelpListsTheOptions)
{
    std::string sortie;
    ASSERT_EQ(Lancer(std::string("'") + ZR7FILM + "' --help", &sortie), 0);
    for (const char* option : {"--taille", "--images", "--cadence", "--duree", "--gop", "--sauter", "--date", "--son",
                               "--mesures", "--mot-de-passe", "--horaire", "--logos", "--demo"})
        EXPECT_NE(sortie.find(option), std::string::npos) << option;
}

TEST(CommandLine, BadArgumentsAreRefused)
{
    DossierTemporaire dossier;
    const std::string exe = std::string("'") + ZR7FILM + "'";
    EXPECT_EQ(Lancer(exe + " --inconnue '" + (dossier / "a.mjp") + "' 2>/dev/null"), 2);
    EXPECT_EQ(Lancer(exe + " -t 176 '" + (dossier / "a.mjp") + "' 2>/dev/null"), 2);
    EXPECT_EQ(Lancer(exe + " -D 12/05/2014 '" + (dossier / "a.mjp") + "' 2>/dev/null"), 2);
    EXPECT_EQ(Lancer(exe + " '" + (dossier / "a.avi") + "' 2>/dev/null"), 2);
    EXPECT_EQ(Lancer(exe + " -n 10 -s 10 '" + (dossier / "a.mjp") + "' 2>/dev/null"), 2);
    EXPECT_EQ(Lancer(exe + " 2>/dev/null"), 2);
    EXPECT_FALSE(fs::exists(dossier / "a.mjp"));
}

TEST(CommandLine, HourlyFilmWithCompanions)
{
    DossierTemporaire dossier;
    std::string sortie;
    ASSERT_EQ(Lancer(std::string("'") + ZR7FILM + "' -t 176x144 -n 20 -D '12/05/2014 10:59:00' -S -m -P mdp -T 264 -H '"
                         + dossier.chemin() + "'",
                     &sortie),
              0);
    const std::string film = dossier / "10/12-05-2014-10-59.264";
    EXPECT_EQ(sortie, film + "\n");
    EnteteFilm e;
    ASSERT_EQ(LireEnteteFilm(film, e), 0);
    EXPECT_EQ(e.NbImages, 20u);
    EXPECT_EQ(e.DureeMs, 2000u);
    for (const char* ext : {"hrd", "pcm", "msr", "mdp"})
        EXPECT_TRUE(fs::exists(NomCompagnon(film, ext))) << ext;
    EXPECT_EQ(VerifierMotDePasse(film.c_str(), "mdp"), 1);
}

TEST(CommandLine, DemoSetChainsIntoTheNextMinute)
{
    DossierTemporaire dossier;
    std::string sortie;
    ASSERT_EQ(Lancer(std::string("'") + ZR7FILM + "' --demo '" + dossier.chemin() + "'", &sortie), 0);
    const std::string premier = dossier / "10/12-05-2014-10-15.mjp";
    EXPECT_EQ(sortie, premier + "\n");

    EnteteFilm e;
    ASSERT_EQ(LireEnteteFilm(premier, e), 0);
    EXPECT_GE(e.DureeMs, 100000u);
    EXPECT_LE(e.DureeMs, 180000u);
    for (const char* ext : {"hrd", "pcm", "msr"})
        EXPECT_TRUE(fs::exists(NomCompagnon(premier, ext))) << ext;
    EXPECT_EQ(TailleFichier(NomCompagnon(premier, "pcm")), static_cast<int64_t>(e.DureeMs) * 8);

    DateHeure d;
    ASSERT_EQ(LireDateHeure("12/05/2014 10:15:00", d), 0);
    ASSERT_TRUE(MinuteSuivante(d));
    EXPECT_EQ(LireEnteteFilm(CheminHoraire(dossier.chemin(), d, ".mjp"), e), 0);
    EXPECT_TRUE(fs::exists(dossier / "logo1.jpg"));
    EXPECT_TRUE(fs::exists(dossier / "logo2.jpg"));

    // The body starts right away with a JPEG picture.
    const std::vector<uint8_t> film = LireTout(premier);
    ASSERT_GT(film.size(), 10u);
    EXPECT_EQ(film[8], 0xFF);
    EXPECT_EQ(film[9], 0xD8);
}

// --- failures of the film maker --------------------------------------------

// Files left in a folder (names only), sorted.
std::vector<std::string> Contenu(const std::string& dossier)
{
    std::vector<std::string> noms;
    std::error_code e;
    for (const auto& f : fs::directory_iterator(dossier, e))
        noms.push_back(f.path().filename().string());
    std::sort(noms.begin(), noms.end());
    return noms;
}

// A small tmpfs mounted for one test (root only), unmounted at the end.
class PetitDisque {
public:
    PetitDisque(const std::string& dossier, const char* options) : dossier_(dossier)
    {
        fs::create_directories(dossier);
        monte_ = geteuid() == 0
                 && Lancer("mount -t tmpfs -o " + std::string(options) + " tmpfs '" + dossier + "' 2>/dev/null") == 0;
    }
    ~PetitDisque()
    {
        if (monte_)
            Lancer("umount '" + dossier_ + "'");
    }
    bool Monte() const { return monte_; }

private:
    std::string dossier_;
    bool monte_ = false;
};

// Every failure names the path and the system's reason in French, exits 1
// and leaves nothing of what was written behind.
TEST(CommandLine, FailuresSayWhatFailedAndLeaveNothing)
{
    DossierTemporaire dossier;
    const std::string exe = std::string("'") + ZR7FILM + "' -n 10 -t 64x48 ";
    struct Cas {
        std::string commande, attendu;
    };
    fs::create_directories(dossier / "dossier.mjp");
    fs::create_directories(dossier / "c/c.pcm");
    std::vector<Cas> cas = {
        {exe + "'" + (dossier / "dossier.mjp") + "'", "impossible d'écrire " + (dossier / "dossier.mjp") + " : c'est un dossier"},
        // The sound companion cannot be written: the film and dates go too.
        {exe + "-D '12/05/2014 10:15:00' -S '" + (dossier / "c/c.mjp") + "'",
         "impossible d'écrire " + (dossier / "c/c.pcm") + " : c'est un dossier"},
        // A file-size limit stands for a full disk, also for root.
        {"trap '' XFSZ; ulimit -f 100; exec " + exe + "-d 60000 -S '" + (dossier / "l/f.mjp") + "'",
         "impossible d'écrire " + (dossier / "l/f.pcm") + " : fichier trop grand pour la limite de taille des fichiers"},
    };
    for (const Cas& c : cas) {
        std::string sortie;
        EXPECT_EQ(Lancer(c.commande + " 2>&1", &sortie), 1) << c.commande;
        EXPECT_EQ(sortie, "zr7film : " + c.attendu + "\n") << c.commande;
    }
    EXPECT_EQ(Contenu(dossier / "c"), std::vector<std::string>{"c.pcm"});
    EXPECT_FALSE(fs::exists(dossier / "l"));  // the folder it made goes too

    // A read-only folder and a full disk, on small mounted file systems.
    PetitDisque lectureSeule(dossier / "ro", "ro,size=64k");
    PetitDisque plein(dossier / "plein", "size=128k");
    if (!lectureSeule.Monte() || !plein.Monte())
        GTEST_SKIP() << "mounting a tmpfs is not permitted here";
    std::string sortie;
    EXPECT_EQ(Lancer(exe + "'" + (dossier / "ro/a.mjp") + "' 2>&1", &sortie), 1);
    EXPECT_EQ(sortie, "zr7film : impossible d'écrire " + (dossier / "ro/a.mjp") + " : système de fichiers en lecture seule\n");
    sortie.clear();
    EXPECT_EQ(Lancer(exe + "-d 60000 -S -P mdp '" + (dossier / "plein/a.mjp") + "' 2>&1", &sortie), 1);
    EXPECT_EQ(sortie, "zr7film : impossible d'écrire " + (dossier / "plein/a.pcm") + " : plus de place sur le disque\n");
    EXPECT_TRUE(Contenu(dossier / "plein").empty());
}

// Numbers out of range are argument errors (exit 2), never an overflow.
TEST(CommandLine, NumbersAreRangeChecked)
{
    DossierTemporaire dossier;
    const std::string exe = std::string("'") + ZR7FILM + "' ";
    const std::string film = " '" + (dossier / "a.mjp") + "' 2>/dev/null";
    for (const char* options : {"-t 99999999999x2", "-t 64x99999999999999999999", "-t -64x48", "-t 63x48",
                                "-t 2561x48", "-t 64x48x2", "-t ' 64x48'", "-n 99999999999", "-n -5", "-d 4294967296",
                                "-g 1e3", "-D '99999999999/05/2014 10:15'", "-D '12/05/2014 99999999999:15'",
                                "-D '12/05/2014 10:15:-1'"})
        EXPECT_EQ(Lancer(exe + options + film), 2) << options;
    EXPECT_FALSE(fs::exists(dossier / "a.mjp"));
    EXPECT_EQ(Lancer(exe + "-n 10 -t 2560x48 -D '1/5/2014 9:05'" + film), 0);
}

// Protected films: a name of 29 characters and a password of 20 fill their
// fields and open; one more character is refused before anything is written.
TEST(CommandLine, ProtectedFilmsFitTheirRecordOrAreRefused)
{
    DossierTemporaire dossier;
    const std::string exe = std::string("'") + ZR7FILM + "' -n 10 -t 64x48 -P ";
    const std::string nom29 = dossier / (std::string(29, 'n') + ".mjp");
    const std::string nom30 = dossier / (std::string(30, 'n') + ".mjp");
    const std::string mot20(20, 'm');
    EXPECT_EQ(Lancer(exe + "secret '" + nom29 + "' >/dev/null"), 0);
    EXPECT_EQ(VerifierMotDePasse(nom29.c_str(), "secret"), 1);
    EXPECT_EQ(Lancer(exe + mot20 + " '" + (dossier / "p.mjp") + "' >/dev/null"), 0);
    EXPECT_EQ(VerifierMotDePasse((dossier / "p.mjp").c_str(), mot20.c_str()), 1);

    std::string sortie;
    EXPECT_EQ(Lancer(exe + "secret '" + nom30 + "' 2>&1", &sortie), 2);
    EXPECT_NE(sortie.find("film protégé impossible"), std::string::npos) << sortie;
    EXPECT_EQ(Lancer(exe + mot20 + "m '" + (dossier / "q.mjp") + "' 2>/dev/null"), 2);
    EXPECT_FALSE(fs::exists(nom30));
    EXPECT_FALSE(fs::exists(dossier / "q.mjp"));
    EXPECT_FALSE(fs::exists(dossier / "q.mdp"));
}

} // namespace
