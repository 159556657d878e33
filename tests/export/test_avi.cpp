// AVI export of films made by the film maker, checked with ffprobe and
// ffmpeg and by reading the file's own header and index.
#include "outils_export.h"

#include "engine/fichierfilm.h"
#include "export/avi_export.h"
#include "export/ecrivain_avi.h"
#include "export/incrustation.h"
#include "export/preuves.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <csignal>
#include <filesystem>

#include <sys/resource.h>
#include <sys/stat.h>

namespace fs = std::filesystem;

namespace {

struct Sorte {
    const char* extension;
    int type;
    bool recoder; // an MPEG-4 film decoded and coded again
};

// Pictures ffprobe counts by decoding the first video stream of a file.
int ImagesComptees(const std::string& chemin)
{
    return std::atoi(Commande("ffprobe -v error -count_frames -select_streams v:0 -show_entries "
                              "stream=nb_read_frames -of csv=p=0 '" + chemin + "'").c_str());
}

// A film file of the given body behind its header words.
void EcrireFilm(const std::string& chemin, uint32_t nbImages, uint32_t dureeMs, const Octets& corps)
{
    Octets f(8);
    for (int i = 0; i < 4; ++i) {
        f[size_t(i)] = uint8_t(nbImages >> (8 * i));
        f[size_t(4 + i)] = uint8_t(dureeMs >> (8 * i));
    }
    f.insert(f.end(), corps.begin(), corps.end());
    EcrireOctets(chemin, f);
}

// The burned-in text of a decoded top-down RGB picture, read character by
// character: each cell of the box is matched against every character the
// font draws, drawn alone into a reference picture.
std::string LireTexteIncruste(const uint8_t* rgb, int l, int h, int nbCaracteres)
{
    const BoiteIncrustation b = CalculerBoiteIncrustation(l, h, nbCaracteres);
    if (b.echelle == 0)
        return std::string();
    const std::string jeu = "0123456789/: ";
    std::vector<std::vector<unsigned char>> references;
    for (const char c : jeu) {
        references.emplace_back(size_t(l) * h * 3, 128);
        IncrusterTexte(references.back().data(), l, h, ptrdiff_t(l) * 3, std::string(size_t(nbCaracteres), c));
    }
    std::string lu;
    const int e = b.echelle;
    for (int i = 0; i < nbCaracteres; ++i) {
        double meilleur = 1e18;
        char choisi = '?';
        for (size_t k = 0; k < jeu.size(); ++k) {
            double ecart = 0;
            for (int y = b.haut + e; y < b.haut + e * (1 + HauteurGlyphe); ++y)
                for (int x = b.gauche + e * (1 + i * LargeurCellule); x < b.gauche + e * (1 + (i + 1) * LargeurCellule);
                     ++x) {
                    const size_t o = (size_t(y) * l + x) * 3 + 1;
                    ecart += std::abs(int(rgb[o]) - int(references[k][o]));
                }
            if (ecart < meilleur) {
                meilleur = ecart;
                choisi = jeu[k];
            }
        }
        lu += choisi;
    }
    return lu;
}

class Avi : public ::testing::Test
{
protected:
    void SetUp() override { SilencerCodecs(); }
    std::string Film(const std::string& nom, const OptionsFilm& o)
    {
        const std::string chemin = dossier / nom;
        EXPECT_EQ(FabriquerFilm(chemin, o, &resultat), 0);
        return chemin;
    }
    ParametresAvi Parametres(const std::string& film, const std::string& avi)
    {
        ParametresAvi p;
        p.cheminFilm = film;
        p.type = TypeDeFilm(film);
        p.nbImages = resultat.nbImages;
        p.dureeSecondes = resultat.dureeMs / 1000;
        p.cheminAvi = avi;
        return p;
    }
    // Nothing left in the folder but the films (no AVI, no temporary file).
    bool SeulementFilms()
    {
        for (const auto& e : fs::directory_iterator(dossier.Chemin())) {
            const std::string nom = e.path().filename().string();
            if (nom.find(".avi") != std::string::npos)
                return false;
        }
        return true;
    }
    DossierTemporaire dossier;
    ResultatFilm resultat;
};

// Each kind exported: ffprobe sees an MPEG-4 stream tagged DX50 of the
// film's size and rate, ffmpeg decodes every sample without error, the
// pictures come back in order, and the index marks exactly the intra
// pictures as key frames.
TEST_F(Avi, ChaqueSorteDeFilm)
{
    for (const Sorte s : {Sorte{".mp4", FilmMpeg4, false}, Sorte{".mjp", FilmMjpeg, false},
                          Sorte{".264", FilmH264, false}, Sorte{".mp4", FilmMpeg4, true}}) {
        SCOPED_TRACE(std::string(s.extension) + (s.recoder ? " recodé" : ""));
        OptionsFilm o;
        o.largeur = 320;
        o.hauteur = 240;
        o.nbImages = 45;
        o.cadence = 15;
        o.gop = 10;
        const std::string film = Film(std::string("film") + s.extension, o);
        const std::string avi = dossier / (std::string("sortie") + s.extension + (s.recoder ? "r" : "") + ".avi");
        std::vector<unsigned char> source;
        int64_t numeroCrochet = -1;
        SuiviAvi suivi;
        suivi.observateurSource = [&](const unsigned char* d, size_t n) { source.insert(source.end(), d, d + n); };
        suivi.crochetImage = [&](unsigned char*, int32_t, int32_t l, int32_t h, int64_t numero) {
            EXPECT_EQ(l, 320);
            EXPECT_EQ(h, 240);
            EXPECT_EQ(numero, numeroCrochet + 1);
            numeroCrochet = numero;
        };
        ParametresAvi p = Parametres(film, avi);
        p.recoder = s.recoder;
        const BilanAvi b = ExportAvi(p, suivi);
        ASSERT_EQ(b.resultat, ResultatAvi::Enregistre);
        EXPECT_EQ(b.imagesPerdues, 0);
        EXPECT_EQ(b.echantillons, o.nbImages);
        EXPECT_EQ(b.largeur, 320);
        EXPECT_EQ(b.hauteur, 240);
        EXPECT_EQ(b.cadence, 15000u);
        // The observer saw the film file exactly, in order.
        EXPECT_EQ(source, LireOctets(film));
        if (s.type != FilmMpeg4 || s.recoder)
            EXPECT_EQ(numeroCrochet + 1, b.echantillons);
        EXPECT_GE(b.debutSource, 8);
        EXPECT_LE(b.finSource, int64_t(source.size()));

        const std::string sonde = Commande("ffprobe -v error -select_streams v:0 -show_entries "
                                           "stream=codec_name,codec_tag_string,width,height,r_frame_rate "
                                           "-of default=nw=1 '" + avi + "'");
        EXPECT_NE(sonde.find("codec_name=mpeg4"), std::string::npos) << sonde;
        EXPECT_NE(sonde.find("codec_tag_string=DX50"), std::string::npos) << sonde;
        EXPECT_NE(sonde.find("width=320"), std::string::npos) << sonde;
        EXPECT_NE(sonde.find("height=240"), std::string::npos) << sonde;
        EXPECT_NE(sonde.find("r_frame_rate=15/1"), std::string::npos) << sonde;
        EXPECT_EQ(std::system(("ffmpeg -v error -xerror -i '" + avi + "' -f null - 2>/dev/null").c_str()), 0);

        // Header fields: handler DIVX, scale 1000, rate R, image size 1,843,200.
        const Octets f = LireOctets(avi);
        const ChunksAvi c = TrouverChunksAvi(f.data(), int64_t(f.size()));
        ASSERT_GE(c.strh, 0);
        ASSERT_GE(c.strf, 0);
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(f.data() + c.strh + 8), 4), "vids");
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(f.data() + c.strh + 12), 4), "DIVX");
        EXPECT_EQ(Mot32(f.data() + c.strh + 28), 1000u);
        EXPECT_EQ(Mot32(f.data() + c.strh + 32), 15000u);
        EXPECT_EQ(Mot32(f.data() + c.strf + 8), 40u);
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(f.data() + c.strf + 24), 4), "DX50");
        EXPECT_EQ(Mot32(f.data() + c.strf + 28), 1843200u);

        // Key frames: exactly the samples that start with an intra picture,
        // the first among them.
        const std::vector<EchantillonAvi> index = LireIndexAvi(f);
        ASSERT_EQ(int64_t(index.size()), b.echantillons);
        int cles = 0;
        for (size_t i = 0; i < index.size(); ++i) {
            const bool intra = TypeImageMpeg4(index[i].donnees.data(), int64_t(index[i].donnees.size())) == 1;
            EXPECT_EQ(index[i].cle, intra) << "sample " << i;
            cles += index[i].cle;
        }
        EXPECT_TRUE(index[0].cle);
        EXPECT_GE(cles, 3);
        EXPECT_EQ(cles, b.cles);

        // Every picture in order from 0, the last one included.
        const std::vector<int> numeros = NumerosDecodes(avi, 320, 240);
        ASSERT_EQ(int(numeros.size()), o.nbImages);
        for (size_t i = 0; i < numeros.size(); ++i)
            EXPECT_EQ(numeros[i], int(i));
    }
}

// A still scene: after its first picture, predicted pictures of a few
// bytes. Each coded picture is one sample of its own, the headers go with
// the picture after them, the copy holds the stream byte for byte, and the
// intra pictures (every 25th) are the key frames.
TEST_F(Avi, SceneImmobileMpeg4ImageParImage)
{
    const std::string flux = dossier / "immobile.m4v";
    ASSERT_EQ(std::system(("ffmpeg -v error -nostdin -f lavfi -i color=c=gray:s=320x240:r=25 -frames:v 100 "
                           "-c:v mpeg4 -g 25 -bf 0 -f m4v -y '" + flux + "'").c_str()),
              0);
    const Octets corps = LireOctets(flux);
    const std::string film = dossier / "immobile.mp4";
    EcrireFilm(film, 100, 4000, corps);
    ParametresAvi p;
    p.cheminFilm = film;
    p.type = FilmMpeg4;
    p.nbImages = 100;
    p.dureeSecondes = 4;
    p.cheminAvi = dossier / "immobile.avi";
    const BilanAvi b = ExportAvi(p);
    ASSERT_EQ(b.resultat, ResultatAvi::Enregistre);
    EXPECT_EQ(b.echantillons, 100);
    EXPECT_EQ(b.cles, 4);
    EXPECT_EQ(ImagesComptees(p.cheminAvi), 100);
    EXPECT_EQ(Commande("ffprobe -v error -show_entries format=duration -of csv=p=0 '" + p.cheminAvi + "'"),
              "4.000000\n");

    const std::vector<EchantillonAvi> index = LireIndexAvi(LireOctets(p.cheminAvi));
    ASSERT_EQ(index.size(), 100u);
    Octets copie;
    for (size_t i = 0; i < index.size(); ++i) {
        EXPECT_EQ(index[i].cle, i % 25 == 0) << "sample " << i;
        copie.insert(copie.end(), index[i].donnees.begin(), index[i].donnees.end());
    }
    EXPECT_TRUE(copie == corps) << "the samples are not the stream as stored";
}

// The pictures coded again carry the AVI's rate inside their stream too:
// another program re-encoding the AVI keeps every picture, at 25 and at
// a rate that is no whole number (7 pictures in 3 s).
TEST_F(Avi, CadenceDuFluxRecode)
{
    struct Cas {
        const char* nom;
        int nbImages;
        uint32_t dureeMs;
    } cas[] = {{"a.mjp", 50, 2000}, {"b.264", 50, 2000}, {"c.mjp", 7, 3000}};
    for (const Cas& c : cas) {
        SCOPED_TRACE(c.nom);
        OptionsFilm o;
        o.nbImages = c.nbImages;
        o.dureeMs = c.dureeMs;
        o.gop = 10;
        const std::string film = Film(c.nom, o);
        const std::string avi = dossier / (std::string(c.nom) + ".avi");
        const BilanAvi b = ExportAvi(Parametres(film, avi));
        ASSERT_EQ(b.resultat, ResultatAvi::Enregistre);
        EXPECT_EQ(b.echantillons, c.nbImages);
        const std::string mp4 = avi + ".mp4";
        ASSERT_EQ(std::system(("ffmpeg -v error -nostdin -i '" + avi + "' -c:v libx264 -preset ultrafast -y '"
                               + mp4 + "'").c_str()),
                  0);
        EXPECT_EQ(ImagesComptees(mp4), c.nbImages);
    }
}

// Damage in the middle of an H.264 film: a picture that cannot be decoded
// followed by a megabyte without any start code. The search for the next
// picture crosses it, every other picture is exported, and the export
// says one picture is missing instead of calling itself complete.
TEST_F(Avi, H264EndommageJusquALaFin)
{
    OptionsFilm o;
    o.nbImages = 40;
    o.gop = 10;
    Octets corps;
    std::vector<size_t> debuts;
    ASSERT_EQ(CoderCorps(FilmH264, o, corps, &debuts), 0);
    ASSERT_EQ(debuts.size(), 40u);
    // A slice that opens a picture and names a parameter set that does not
    // exist, then nothing but FF bytes.
    Octets casse = {0, 0, 0, 1, 0x41, 0x88, 0x01, 0x93};
    casse.resize(1000000, 0xFF);
    corps.insert(corps.begin() + long(debuts[20]), casse.begin(), casse.end());
    const std::string film = dossier / "abime.264";
    EcrireFilm(film, 40, 4000, corps);
    ParametresAvi p;
    p.cheminFilm = film;
    p.type = FilmH264;
    p.nbImages = 40;
    p.dureeSecondes = 4;
    p.cheminAvi = dossier / "abime.avi";
    const BilanAvi b = ExportAvi(p);
    EXPECT_EQ(b.resultat, ResultatAvi::Incomplet);
    EXPECT_EQ(b.imagesPerdues, 1);
    EXPECT_EQ(b.echantillons, 40);
    const std::vector<int> numeros = NumerosDecodes(p.cheminAvi, 320, 240);
    ASSERT_EQ(numeros.size(), 40u);
    for (size_t i = 0; i < numeros.size(); ++i)
        EXPECT_EQ(numeros[i], int(i));
    EXPECT_EQ(MessageFinAvi(b), "Export incomplet : 1 image du film n'a pas pu être exportée (40 images enregistrées)");
}

// An MJPEG picture that does not decode is counted, not silently skipped.
TEST_F(Avi, MjpegImageIllisibleComptee)
{
    OptionsFilm o;
    o.nbImages = 20;
    Octets corps;
    std::vector<size_t> debuts;
    ASSERT_EQ(CoderCorps(FilmMjpeg, o, corps, &debuts), 0);
    // Picture 7 keeps its start marker and loses its headers.
    std::fill(corps.begin() + long(debuts[7]) + 2, corps.begin() + long(debuts[7]) + 40, 0x11);
    const std::string film = dossier / "abime.mjp";
    EcrireFilm(film, 20, 2000, corps);
    ParametresAvi p = Parametres(film, dossier / "abime.avi");
    p.nbImages = 20;
    p.dureeSecondes = 2;
    const BilanAvi b = ExportAvi(p);
    EXPECT_EQ(b.resultat, ResultatAvi::Incomplet);
    EXPECT_EQ(b.imagesPerdues, 1);
    EXPECT_EQ(b.echantillons, 19);
    EXPECT_TRUE(fs::exists(p.cheminAvi)); // what could be exported is kept

    BilanAvi plusieurs;
    plusieurs.resultat = ResultatAvi::Incomplet;
    plusieurs.imagesPerdues = 3;
    plusieurs.echantillons = 97;
    EXPECT_EQ(MessageFinAvi(plusieurs),
              "Export incomplet : 3 images du film n'ont pas pu être exportées (97 images enregistrées)");
    BilanAvi complet;
    complet.resultat = ResultatAvi::Enregistre;
    EXPECT_EQ(MessageFinAvi(complet), "Le film est enregistré");
    EXPECT_STREQ(MessageAvi(ResultatAvi::Incomplet), "Export incomplet : des images du film n'ont pas pu être exportées");
}

// The date burned into the pictures of a film recorded from 29/02/2024
// 23:59:58, read back from the decoded AVI: the leap day, then 1 March.
TEST_F(Avi, DateIncrusteeDuVingtNeufFevrier)
{
    OptionsFilm o;
    o.largeur = 640;
    o.hauteur = 480;
    o.nbImages = 30;
    o.dureeMs = 3000;
    o.dates = true;
    o.dateDebut.jour = 29;
    o.dateDebut.mois = 2;
    o.dateDebut.annee = 2024;
    o.dateDebut.heure = 23;
    o.dateDebut.minute = 59;
    o.dateDebut.seconde = 58;
    const std::string film = Film("bissextile.mjp", o);
    FilmSource source;
    ASSERT_EQ(LireFilmSource(film, source), 0);
    ASSERT_TRUE(source.dates);
    ParametresAvi p = Parametres(film, dossier / "bissextile.avi");
    SuiviAvi suivi;
    suivi.crochetImage = CrochetIncrustation(source);
    ASSERT_EQ(ExportAvi(p, suivi).resultat, ResultatAvi::Enregistre);

    const std::string brut =
        Commande("ffmpeg -v error -i '" + p.cheminAvi + "' -f rawvideo -pix_fmt rgb24 - 2>/dev/null");
    const size_t taille = size_t(640) * 480 * 3;
    ASSERT_EQ(brut.size(), taille * 30);
    const char* attendus[] = {"29/02/2024 23:59:58", "29/02/2024 23:59:59", "01/03/2024 00:00:00"};
    int lues = 0;
    for (size_t i = 0; i < 30; ++i) {
        const auto* rgb = reinterpret_cast<const uint8_t*>(brut.data() + i * taille);
        const int n = LireNumeroRGB(rgb, 640, 480);
        ASSERT_EQ(n, int(i));
        if (n % 10 == 0 || n % 10 == 9)
            continue; // next to a turn of the second
        EXPECT_EQ(LireTexteIncruste(rgb, 640, 480, 19), attendus[n / 10]) << "image " << n;
        ++lues;
    }
    EXPECT_EQ(lues, 24);
}

// Path rules and picture rates.
TEST(CheminEtCadenceAvi, Regles)
{
    EXPECT_EQ(CheminAvi("/d/x.AVI"), "/d/x.AVI");
    EXPECT_EQ(CheminAvi("/d/x.Avi"), "/d/x.Avi");
    EXPECT_EQ(CheminAvi("/d/x.av"), "/d/x.av.avi");
    EXPECT_EQ(CheminAvi(".avi"), ".avi.avi");
    EXPECT_EQ(CheminAvi("a"), "a.avi");
    EXPECT_EQ(CheminAvi("/d/film.mjp"), "/d/film.mjp.avi");
    EXPECT_EQ(CheminAvi(""), "");
    EXPECT_EQ(CheminAvi(std::string(301, 'a')), "");           // refused, not cut
    EXPECT_EQ(CheminAvi(std::string(296, 'a') + ".avi").size(), 300u);

    EXPECT_EQ(CadenceAvi(true, "15", 9000, 600), 15000u);
    EXPECT_EQ(CadenceAvi(true, "  +25 img", 0, 0), 25000u);
    EXPECT_EQ(CadenceAvi(true, "", 9000, 600), 1000u);
    EXPECT_EQ(CadenceAvi(true, "abc", 9000, 600), 1000u);
    EXPECT_EQ(CadenceAvi(true, "0", 9000, 600), 1000u);
    EXPECT_EQ(CadenceAvi(true, "-5", 9000, 600), 0u);          // no rate rather than a huge one
    EXPECT_EQ(CadenceAvi(true, "99999999", 9000, 600), 0u);
    EXPECT_EQ(CadenceAvi(false, "15", 9000, 600), 15000u);
    EXPECT_EQ(CadenceAvi(false, "", 2500, 100), 25000u);
    EXPECT_EQ(CadenceAvi(false, "", 1, 2000), 0u);             // 1 picture over 2000 s
    EXPECT_EQ(CadenceAvi(false, "", 7, 3), 2333u);             // truncated

    const std::string t = TexteProgressionAvi(120, 500, 12.0);
    EXPECT_EQ(t, "Image 120 sur 500 — temps restant : 0:38");
    EXPECT_EQ(TexteProgressionAvi(0, 500, 1.0), "Image 0 sur 500 — temps restant : estimation en cours");
    EXPECT_EQ(TexteProgressionAvi(1, 10000, 1.0), "Image 1 sur 10000 — temps restant : 2:46:39");
}

// A film too slow for a rate, a film gone, and no film at all: no file,
// nothing started or a read error.
TEST_F(Avi, RefusSansFichier)
{
    OptionsFilm o;
    o.nbImages = 20;
    const std::string film = Film("lent.mjp", o);
    ParametresAvi p = Parametres(film, dossier / "lent.avi");
    p.nbImages = 1;
    p.dureeSecondes = 2000;
    EXPECT_EQ(ExportAvi(p).resultat, ResultatAvi::NonDemarre);
    p = Parametres(film, dossier / "vide.avi");
    p.dureeSecondes = 0;
    EXPECT_EQ(ExportAvi(p).resultat, ResultatAvi::NonDemarre);
    // Forced rate: the film's own numbers no longer matter.
    p = Parametres(film, dossier / "force.avi");
    p.nbImages = 1;
    p.dureeSecondes = 2000;
    p.forcerCadence = true;
    p.texteCadence = "x";
    const BilanAvi force = ExportAvi(p);
    EXPECT_EQ(force.resultat, ResultatAvi::Enregistre);
    EXPECT_EQ(force.cadence, 1000u);
    fs::remove(dossier / "force.avi");
    EXPECT_TRUE(SeulementFilms());

    // Gone between its selection and the export, or a folder: a read
    // error, and no AVI without samples.
    p = Parametres(film, dossier / "parti.avi");
    fs::remove(film);
    EXPECT_EQ(ExportAvi(p).resultat, ResultatAvi::ErreurLecture);
    fs::create_directory(film);
    EXPECT_EQ(ExportAvi(p).resultat, ResultatAvi::ErreurLecture);
    // A FIFO named like the film: refused at once, never waited on.
    fs::remove(film);
    ASSERT_EQ(mkfifo(film.c_str(), 0600), 0);
    EXPECT_EQ(ExportAvi(p).resultat, ResultatAvi::ErreurLecture);
    fs::remove(film);
    EXPECT_STREQ(MessageAvi(ResultatAvi::ErreurLecture), "Erreur de création");
    EXPECT_STREQ(MessageAvi(ResultatAvi::Enregistre), "Le film est enregistré");
    EXPECT_TRUE(SeulementFilms());
}

// A protected film exported with its password decodes; the observer still
// sees the film as stored (scrambled).
TEST_F(Avi, FilmProtege)
{
    OptionsFilm o;
    o.nbImages = 20;
    o.motDePasse = "secret";
    for (const char* nom : {"protege.mjp", "protege.mp4"}) {
        SCOPED_TRACE(nom);
        const std::string film = Film(nom, o);
        ParametresAvi p = Parametres(film, dossier / (std::string(nom) + ".avi"));
        p.motDePasse = "secret";
        Octets vu;
        SuiviAvi suivi;
        suivi.observateurSource = [&](const unsigned char* d, size_t n) { vu.insert(vu.end(), d, d + n); };
        const BilanAvi b = ExportAvi(p, suivi);
        ASSERT_EQ(b.resultat, ResultatAvi::Enregistre);
        EXPECT_EQ(vu, LireOctets(film));
        const std::vector<int> numeros = NumerosDecodes(p.cheminAvi, 320, 240);
        ASSERT_GE(numeros.size(), 19u);
        EXPECT_EQ(numeros.front(), 0);
        EXPECT_EQ(numeros[18], 18);
        // Without the password no picture decodes: no AVI at all.
        p.motDePasse = "faux";
        fs::remove(p.cheminAvi);
        EXPECT_EQ(ExportAvi(p).resultat, ResultatAvi::ErreurLecture);
        EXPECT_FALSE(fs::exists(p.cheminAvi));
    }
}

// Cancel mid-export, and a disk that fills up: no file under the chosen
// name, no temporary file left.
TEST_F(Avi, AnnulationEtDisquePlein)
{
    OptionsFilm o;
    o.nbImages = 60;
    const std::string film = Film("long.mjp", o);
    ParametresAvi p = Parametres(film, dossier / "annule.avi");
    SuiviAvi suivi;
    int64_t vus = 0;
    suivi.progression = [&](int64_t fait, int64_t total) {
        vus = fait;
        EXPECT_EQ(total, 60);
    };
    suivi.annuler = [&] { return vus >= 10; };
    const BilanAvi b = ExportAvi(p, suivi);
    EXPECT_EQ(b.resultat, ResultatAvi::Annule);
    EXPECT_EQ(b.echantillons, 10);
    EXPECT_STREQ(MessageAvi(ResultatAvi::Annule), "");
    EXPECT_TRUE(SeulementFilms());

    // An existing file of the chosen name survives a failed export.
    EcrireOctets(dossier / "plein.avi", Octets{1, 2, 3});
    p = Parametres(film, dossier / "plein.avi");
    struct sigaction ignorer {}, avant {};
    ignorer.sa_handler = SIG_IGN;
    sigaction(SIGXFSZ, &ignorer, &avant);
    rlimit limite {}, ancienne {};
    getrlimit(RLIMIT_FSIZE, &ancienne);
    limite = ancienne;
    limite.rlim_cur = 20000; // room for the header and a few pictures
    setrlimit(RLIMIT_FSIZE, &limite);
    const BilanAvi plein = ExportAvi(p);
    setrlimit(RLIMIT_FSIZE, &ancienne);
    sigaction(SIGXFSZ, &avant, nullptr);
    EXPECT_EQ(plein.resultat, ResultatAvi::ErreurEcriture);
    EXPECT_EQ(LireOctets(dossier / "plein.avi"), (Octets{1, 2, 3}));
    fs::remove(dossier / "plein.avi");
    EXPECT_TRUE(SeulementFilms());
}

// Pictures larger than the old 7,680,000-byte probe buffer (2560 x 1600:
// 12,288,054 bytes) are probed and exported at their size.
TEST_F(Avi, GrandesImages)
{
    OptionsFilm o;
    o.largeur = 2560;
    o.hauteur = 1600;
    o.cadence = 1; // 3 s
    o.nbImages = 3;
    o.qualiteJpeg = 50;
    const std::string film = Film("grand.mjp", o);
    int32_t l = 0, h = 0;
    EXPECT_EQ(SonderDimensionsAvi(film, FilmMjpeg, false, &l, &h), 0);
    EXPECT_EQ(l, 2560);
    EXPECT_EQ(h, 1600);
    const BilanAvi b = ExportAvi(Parametres(film, dossier / "grand.avi"));
    EXPECT_EQ(b.resultat, ResultatAvi::Enregistre);
    EXPECT_EQ(b.echantillons, 3);
}

TEST(TypeImage, Mpeg4)
{
    const unsigned char intra[] = {0, 0, 1, 0xB0, 1, 0, 0, 1, 0xB6, 0x10, 0};
    const unsigned char predite[] = {0, 0, 1, 0xB6, 0x50, 0};
    const unsigned char rien[] = {0, 0, 1, 0xB3, 0x00, 0};
    EXPECT_EQ(TypeImageMpeg4(intra, sizeof intra), 1);
    EXPECT_EQ(TypeImageMpeg4(predite, sizeof predite), 0);
    EXPECT_EQ(TypeImageMpeg4(rien, sizeof rien), -1);
    EXPECT_EQ(TypeImageMpeg4(predite, 4), -1); // type byte outside the data
}

} // namespace
