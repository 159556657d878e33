// Segment extraction, snapshots' JPEG conversion and the command-line
// exports (the real program, run without any display).
#include "outils_export.h"

#include "codecs/bitmap.h"
#include "engine/fichierfilm.h"
#include "engine/motdepasse.h"
#include "export/extraction.h"
#include "export/photo.h"

#include <gtest/gtest.h>

#include <turbojpeg.h>

#include <csignal>
#include <filesystem>

#include <sys/resource.h>
#include <sys/stat.h>

namespace fs = std::filesystem;

namespace {

bool SansTemporaire(const DossierTemporaire& d)
{
    for (const auto& e : fs::directory_iterator(d.Chemin()))
        if (e.path().filename().string().find(".ecriture") != std::string::npos)
            return false;
    return true;
}

// A film file of `taille` bytes whose byte i is i mod 251 (header included).
std::string Source(const DossierTemporaire& d, size_t taille)
{
    Octets o(taille);
    for (size_t i = 0; i < taille; ++i)
        o[i] = uint8_t(i % 251);
    const std::string chemin = d / "source.mjp";
    EcrireOctets(chemin, o);
    return chemin;
}

TEST(Extraction, ExtensionEtFiltre)
{
    EXPECT_EQ(ExtensionExtraction("/films/cam1.mjp"), ".mjp");
    EXPECT_EQ(ExtensionExtraction("/films/cam1"), ".mp4");
    EXPECT_EQ(ExtensionExtraction("/films.v2/cam1"), ".v2/cam1");
    EXPECT_EQ(ExtensionExtraction("/a.123456789012345678901234"), ".1234567890123456789"); // 20 characters
    EXPECT_EQ(FiltreExtraction(".mjp"), "Film (*.mjp)|*.mjp");
}

// The proportional cut: 1,000,000 bytes, 100 s, 2,500 pictures, marked 10-20 s.
TEST(Extraction, SegmentProportionnel)
{
    DossierTemporaire d;
    const std::string source = Source(d, 1000000);
    const Octets tout = LireOctets(source);
    SegmentFilm s;
    std::vector<int64_t> blocs;
    const std::string sortie = d / "seg.mjp";
    ASSERT_EQ(ExtraireSegment(source, sortie, 100, 2500, 10, 20, [&](int64_t n) { blocs.push_back(n); }, &s),
              ResultatExtraction::Genere);
    EXPECT_EQ(s.Debut, 100000);
    EXPECT_EQ(s.Fin, 200000);
    EXPECT_EQ(s.DureeMs, 10000u);
    EXPECT_EQ(s.NbImages, 250u);
    const Octets f = LireOctets(sortie);
    ASSERT_EQ(f.size(), 100008u);
    EXPECT_EQ(Mot32(f.data()), 250u);
    EXPECT_EQ(Mot32(f.data() + 4), 10000u);
    EXPECT_TRUE(std::equal(f.begin() + 8, f.end(), tout.begin() + 100000));
    EXPECT_EQ(blocs, (std::vector<int64_t>{100000}));

    // 250,000 bytes from byte 0: three blocks, the source header carried along.
    blocs.clear();
    ASSERT_EQ(ExtraireSegment(source, sortie, 100, 2500, 0, 25, [&](int64_t n) { blocs.push_back(n); }, &s),
              ResultatExtraction::Genere);
    EXPECT_EQ(blocs, (std::vector<int64_t>{100000, 100000, 50000}));
    const Octets g = LireOctets(sortie);
    ASSERT_EQ(g.size(), 250008u);
    EXPECT_TRUE(std::equal(g.begin() + 8, g.end(), tout.begin()));
    // An end mark at the film's end stops at its last byte.
    ASSERT_EQ(ExtraireSegment(source, sortie, 100, 2500, 90, 100, nullptr, &s), ResultatExtraction::Genere);
    EXPECT_EQ(LireOctets(sortie).size(), 100008u);
    EXPECT_TRUE(SansTemporaire(d));
}

// Every line of the failure table, and a full disk: the right message and
// no file left behind (an existing file of the chosen name untouched).
TEST(Extraction, Echecs)
{
    DossierTemporaire d;
    const std::string source = Source(d, 1000000);
    const std::string sortie = d / "seg.mjp";
    EXPECT_EQ(ExtraireSegment(source, sortie, 100, 2500, 10, 10), ResultatExtraction::RienAFaire);
    EXPECT_EQ(ExtraireSegment(source, sortie, 100, 2500, 20, 10), ResultatExtraction::RienAFaire);
    EXPECT_EQ(ExtraireSegment(source, sortie, 0, 2500, 0, 10), ResultatExtraction::RienAFaire);
    EXPECT_EQ(ExtraireSegment(source, d / "absent/seg.mjp", 100, 2500, 0, 10), ResultatExtraction::ErreurCreation);
    EXPECT_EQ(ExtraireSegment(d / "absent.mjp", sortie, 100, 2500, 0, 10), ResultatExtraction::ErreurOuverture);
    ASSERT_EQ(mkfifo((d / "fifo.mjp").c_str(), 0600), 0);
    EXPECT_EQ(ExtraireSegment(d / "fifo.mjp", sortie, 100, 2500, 0, 10), ResultatExtraction::ErreurOuverture);
    EcrireOctets(d / "vide.mjp", Octets());
    EXPECT_EQ(ExtraireSegment(d / "vide.mjp", sortie, 100, 2500, 0, 10), ResultatExtraction::ErreurAcces);
    EXPECT_FALSE(fs::exists(sortie));
    EXPECT_STREQ(MessageExtraction(ResultatExtraction::ErreurCreation), "Erreur de création de fichier");
    EXPECT_STREQ(MessageExtraction(ResultatExtraction::ErreurOuverture), "Erreur d'ouverture de fichier");
    EXPECT_STREQ(MessageExtraction(ResultatExtraction::ErreurAcces), "Erreur d'accès au fichier");
    EXPECT_STREQ(MessageExtraction(ResultatExtraction::Genere), "Le fichier est généré");
    EXPECT_STREQ(MessageExtraction(ResultatExtraction::RienAFaire), "");

    EcrireOctets(sortie, Octets{9, 9});
    struct sigaction ignorer {}, avant {};
    ignorer.sa_handler = SIG_IGN;
    sigaction(SIGXFSZ, &ignorer, &avant);
    rlimit ancienne {};
    getrlimit(RLIMIT_FSIZE, &ancienne);
    rlimit limite = ancienne;
    limite.rlim_cur = 150000;
    setrlimit(RLIMIT_FSIZE, &limite);
    const ResultatExtraction plein = ExtraireSegment(source, sortie, 100, 2500, 0, 50);
    setrlimit(RLIMIT_FSIZE, &ancienne);
    sigaction(SIGXFSZ, &avant, nullptr);
    EXPECT_EQ(plein, ResultatExtraction::ErreurCreation);
    EXPECT_EQ(LireOctets(sortie), (Octets{9, 9}));
    EXPECT_TRUE(SansTemporaire(d));
}

// A protected film is extracted still scrambled, without a password file;
// a real film's segment opens as a film with the expected header.
TEST(Extraction, FilmProtegeResteEmbrouille)
{
    DossierTemporaire d;
    OptionsFilm o;
    o.nbImages = 100;
    o.motDePasse = "secret";
    ResultatFilm r;
    const std::string film = d / "cam1.mjp";
    ASSERT_EQ(FabriquerFilm(film, o, &r), 0);
    const std::string sortie = d / "extrait.mjp";
    SegmentFilm s;
    ASSERT_EQ(ExtraireSegment(film, sortie, r.dureeMs / 1000, r.nbImages, 2, 6, nullptr, &s),
              ResultatExtraction::Genere);
    const Octets source = LireOctets(film), extrait = LireOctets(sortie);
    ASSERT_EQ(extrait.size(), size_t(8 + s.Fin - s.Debut));
    EXPECT_TRUE(std::equal(extrait.begin() + 8, extrait.end(), source.begin() + s.Debut));
    EXPECT_FALSE(fs::exists(NomCompagnon(sortie, "mdp")));
    EnteteFilm e;
    EXPECT_EQ(LireEnteteFilm(sortie, e), 0);
    EXPECT_EQ(e.DureeMs, 4000u);
    EXPECT_EQ(e.NbImages, 40u);
}

// JPEG of a 2560 x 2048 picture at its own size, quality 50; bitmaps it
// cannot read and a JPEG larger than the room are refused.
TEST(Photo, BitmapToJpeg)
{
    const int l = 2560, h = 2048;
    std::vector<uint8_t> bgr(size_t(l) * h * 3);
    DessinerImage(7, 0.7, l, h, bgr.data(), l * 3);
    std::vector<unsigned char> bitmap(size_t(BitmapTailleFichier(l, h)));
    int32_t b = 0;
    ASSERT_EQ(BitmapDepuisBGR(bgr.data(), l * 3, l, h, bitmap.data(), int32_t(bitmap.size()), &b), 0);
    std::vector<unsigned char> jpeg(bitmap.size());
    int32_t j = 0;
    ASSERT_EQ(BitmapToJpeg(bitmap.data(), b, jpeg.data(), &j, b), 0);
    ASSERT_GT(j, 0);
    tjhandle t = tjInitDecompress();
    int lj = 0, hj = 0, sous = 0, couleurs = 0;
    ASSERT_EQ(tjDecompressHeader3(t, jpeg.data(), (unsigned long)j, &lj, &hj, &sous, &couleurs), 0);
    EXPECT_EQ(lj, l);
    EXPECT_EQ(hj, h);
    std::vector<uint8_t> rgb(size_t(l) * h * 3);
    ASSERT_EQ(tjDecompress2(t, jpeg.data(), (unsigned long)j, rgb.data(), l, l * 3, h, TJPF_RGB, 0), 0);
    tjDestroy(t);
    EXPECT_EQ(LireNumeroRGB(rgb.data(), l, h), 7); // right way up

    EXPECT_EQ(BitmapToJpeg(bitmap.data(), b, jpeg.data(), &j, 100), -1);
    EXPECT_EQ(j, 0);
    EXPECT_EQ(BitmapToJpeg(bitmap.data(), 1000, jpeg.data(), &j, b), -1); // truncated image
    bitmap[28] = 32;                                                      // not 24 bits
    EXPECT_EQ(BitmapToJpeg(bitmap.data(), b, jpeg.data(), &j, b), -1);

    EXPECT_EQ(CheminPhoto("/d/photo.JPG"), "/d/photo.JPG");
    EXPECT_EQ(CheminPhoto("/d/photo.jpeg"), "/d/photo.jpeg.jpg");
    EXPECT_EQ(CheminPhoto(".jpg"), ".jpg.jpg");
    EXPECT_EQ(CheminPhoto(std::string(301, 'p')), "");
}

// The program's command-line exports, with no display at all.
TEST(LigneCommande, AviEtExtraction)
{
    DossierTemporaire d;
    OptionsFilm o;
    o.nbImages = 40;
    o.motDePasse = "mdp";
    const std::string film = d / "cam.264";
    ASSERT_EQ(FabriquerFilm(film, o), 0);
    const std::string programme = LECTEUR_ZR7;
    const std::string sansEcran = "env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM= ";
    auto statut = [&](const std::string& args) {
        const int r = std::system((sansEcran + programme + " " + args + " >/dev/null 2>" + (d / "err.txt")).c_str());
        return WIFEXITED(r) ? WEXITSTATUS(r) : -1;
    };
    EXPECT_EQ(statut("--avi '" + film + "' '" + (d / "sortie") + "' --mot-de-passe mdp --images-par-seconde 5"), 0);
    const std::string sonde = Commande("ffprobe -v error -show_entries stream=codec_tag_string,r_frame_rate -of "
                                       "default=nw=1 '" + (d / "sortie.avi") + "'");
    EXPECT_NE(sonde.find("DX50"), std::string::npos);
    EXPECT_NE(sonde.find("r_frame_rate=5/1"), std::string::npos);
    EXPECT_EQ(NumerosDecodes(d / "sortie.avi", 320, 240).size(), 40u); // the last picture too

    EXPECT_EQ(statut("--avi '" + film + "' '" + (d / "faux.avi") + "' --mot-de-passe non"), 1);
    const Octets erreur = LireOctets(d / "err.txt");
    EXPECT_NE(std::string(erreur.begin(), erreur.end()).find("Erreur de création"), std::string::npos);
    EXPECT_FALSE(fs::exists(d / "faux.avi"));

    EXPECT_EQ(statut("--extraire '" + film + "' 1 3 '" + (d / "part.264") + "'"), 0);
    EnteteFilm e;
    EXPECT_EQ(LireEnteteFilm(d / "part.264", e), 0);
    EXPECT_EQ(e.DureeMs, 2000u);
    EXPECT_EQ(statut("--extraire '" + film + "' 3 1 '" + (d / "x.264") + "'"), 2);
    EXPECT_EQ(statut("--extraire '" + film + "' 1 deux '" + (d / "x.264") + "'"), 2);
    EXPECT_EQ(statut("--extraire '" + (d / "absent.264") + "' 1 3 '" + (d / "x.264") + "'"), 1);
    EXPECT_EQ(statut("--avi seul"), 2);
    EXPECT_FALSE(fs::exists(d / "x.264"));
    EXPECT_EQ(statut("--help"), 0);
    const std::string aide = Commande(programme + " --help");
    EXPECT_NE(aide.find("--avi"), std::string::npos);
    EXPECT_NE(aide.find("--extraire"), std::string::npos);
}

} // namespace
