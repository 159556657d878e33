// Segment extraction, snapshots' JPEG conversion and the command-line
// exports (the real program, run without any display).
#include "outils_export.h"

#include "codecs/bitmap.h"
#include "engine/fichierfilm.h"
#include "engine/index_images.h"
#include "engine/motdepasse.h"
#include "export/cadence_forcee.h"
#include "export/extraction.h"
#include "export/fichier_temporaire.h"
#include "export/ligne_commande.h"
#include "export/photo.h"
#include "export/sortie_sure.h"

#include <gtest/gtest.h>

#include <turbojpeg.h>

#include <csignal>
#include <filesystem>

#include <chrono>
#include <thread>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

bool SansTemporaire(const DossierTemporaire& d)
{
    for (const auto& e : fs::directory_iterator(d.Chemin())) {
        const std::string nom = e.path().filename().string();
        if (nom.find(".ecriture") != std::string::npos || nom.rfind(".zr7-", 0) == 0)
            return false;
    }
    return true;
}

// A film of `nb` pictures at 10 pictures/s from the film maker.
std::string FilmDe(const DossierTemporaire& d, const std::string& nom, int nb = 100, int gop = 10)
{
    OptionsFilm o;
    o.nbImages = nb;
    o.gop = gop;
    o.largeur = 160;
    o.hauteur = 120;
    const std::string chemin = d / nom;
    EXPECT_EQ(FabriquerFilm(chemin, o), 0);
    return chemin;
}

// Picture numbers ffmpeg decodes from a film's body (header left out,
// descrambled when asked), named so that ffmpeg knows its coding.
std::vector<int> NumerosDuCorps(const DossierTemporaire& d, const std::string& film, bool embrouille = false)
{
    Octets o = LireOctets(film);
    if (o.size() < 8)
        return {};
    Octets corps(o.begin() + 8, o.end());
    if (embrouille)
        Desembrouiller(corps.data(), int(corps.size()));
    const std::string ext = film.substr(film.size() - 4);
    const std::string brut = d / (ext == ".mjp" ? "corps.mjpeg" : ext == ".mp4" ? "corps.m4v" : "corps.h264");
    EcrireOctets(brut, corps);
    return NumerosDecodes(brut, 160, 120);
}

std::vector<int> DeA(int premier, int fin)
{
    std::vector<int> v;
    for (int i = premier; i < fin; ++i)
        v.push_back(i);
    return v;
}

TEST(Extraction, ExtensionEtFiltre)
{
    EXPECT_EQ(ExtensionExtraction("/films/cam1.mjp"), ".mjp");
    EXPECT_EQ(ExtensionExtraction("/films/cam1"), ".mp4");
    EXPECT_EQ(ExtensionExtraction("/films.v2/cam1"), ".v2/cam1");
    EXPECT_EQ(ExtensionExtraction("/a.123456789012345678901234"), ".1234567890123456789"); // 20 characters
    EXPECT_EQ(FiltreExtraction(".mjp"), "Film (*.mjp)|*.mjp");
}

// One counting rule for the three kinds: the pictures from the first at or
// after the start mark to the last before the end mark, whole, never the
// source's header; the header counts them over their own duration.
TEST(Extraction, MemeRegleDeComptePourLesTroisGenres)
{
    for (const char* ext : {".mjp", ".mp4", ".264"}) {
        SCOPED_TRACE(ext);
        DossierTemporaire d;
        const std::string film = FilmDe(d, std::string("cam") + ext);
        const Octets source = LireOctets(film);
        const std::string sortie = d / (std::string("seg") + ext);
        Extrait x;
        std::vector<int64_t> blocs;
        ASSERT_EQ(ExtraireSegment(film, sortie, 1, 3, [&](int64_t n) { blocs.push_back(n); }, &x),
                  ResultatExtraction::Genere);
        EXPECT_EQ(x.NbImages, 20u);
        EXPECT_EQ(x.DureeMs, 2000u);
        EXPECT_EQ(x.PremiereImage, 10);
        EXPECT_DOUBLE_EQ(x.DebutSecondes, 1.0);
        EXPECT_DOUBLE_EQ(x.FinSecondes, 3.0);
        const Octets f = LireOctets(sortie);
        ASSERT_EQ(f.size(), size_t(8 + x.Fin - x.Debut));
        EXPECT_EQ(Mot32(f.data()), 20u);
        EXPECT_EQ(Mot32(f.data() + 4), 2000u);
        EXPECT_TRUE(std::equal(f.begin() + 8, f.end(), source.begin() + x.Debut));
        int64_t total = 0;
        for (int64_t b : blocs) {
            EXPECT_LE(b, TailleBlocCopieFilm);
            total += b;
        }
        EXPECT_EQ(total, x.Fin - x.Debut);
        EXPECT_EQ(NumerosDuCorps(d, sortie), DeA(10, 30));

        // From second 0: the same count, and the body starts on the first
        // picture, not on the source's header.
        ASSERT_EQ(ExtraireSegment(film, sortie, 0, 2, nullptr, &x), ResultatExtraction::Genere);
        EXPECT_EQ(x.NbImages, 20u);
        EXPECT_EQ(x.DureeMs, 2000u);
        EXPECT_GE(x.Debut, 8);
        const Octets g = LireOctets(sortie);
        EXPECT_FALSE(std::equal(source.begin(), source.begin() + 8, g.begin() + 8));
        EXPECT_EQ(NumerosDuCorps(d, sortie), DeA(0, 20));
        EXPECT_TRUE(SansTemporaire(d));
    }
}

// MPEG-4 and H.264 start on the key picture at or before the start mark, so
// that every picture counted can be shown.
TEST(Extraction, DepartSurUneImageCle)
{
    for (const char* ext : {".mp4", ".264"}) {
        SCOPED_TRACE(ext);
        DossierTemporaire d;
        const std::string film = FilmDe(d, std::string("cam") + ext, 100, 7);
        const std::string sortie = d / (std::string("seg") + ext);
        Extrait x;
        ASSERT_EQ(ExtraireSegment(film, sortie, 1, 3, nullptr, &x), ResultatExtraction::Genere);
        EXPECT_EQ(x.PremiereImage, 7);
        EXPECT_EQ(x.NbImages, 23u);
        EXPECT_EQ(x.DureeMs, 2300u);
        EXPECT_EQ(NumerosDuCorps(d, sortie), DeA(7, 30));
    }
}

// Marks beyond the film: a start past its end is refused, an end past it
// stops at its last picture; the header never claims more than is copied.
TEST(Extraction, ReperesAuDelaDuFilm)
{
    DossierTemporaire d;
    const std::string film = FilmDe(d, "cam.mjp");
    const std::string sortie = d / "seg.mjp";
    Extrait x;
    EXPECT_EQ(ExtraireSegment(film, sortie, 20, 30, nullptr, &x), ResultatExtraction::HorsDuFilm);
    EXPECT_EQ(ExtraireSegment(film, sortie, 10, 11, nullptr, &x), ResultatExtraction::HorsDuFilm);
    EXPECT_FALSE(fs::exists(sortie));
    ASSERT_EQ(ExtraireSegment(film, sortie, 0, 2147483647, nullptr, &x), ResultatExtraction::Genere);
    EXPECT_EQ(x.NbImages, 100u);
    EXPECT_EQ(x.DureeMs, 10000u);
    EXPECT_EQ(x.Fin, int64_t(LireOctets(film).size()));
    EXPECT_EQ(NumerosDuCorps(d, sortie).size(), 100u);
    ASSERT_EQ(ExtraireSegment(film, sortie, 9, 10, nullptr, &x), ResultatExtraction::Genere);
    EXPECT_EQ(x.NbImages, 10u);
    EXPECT_EQ(NumerosDuCorps(d, sortie), DeA(90, 100));

    // A film holding fewer pictures than its header says: counted as held.
    Octets court = LireOctets(film);
    const std::string tronque = d / "tronque.mjp";
    court.resize(court.size() / 2);
    EcrireOctets(tronque, court);
    ASSERT_EQ(ExtraireSegment(tronque, sortie, 0, 10, nullptr, &x), ResultatExtraction::Genere);
    // Held as the player reads it: whole pictures (a cut one is dropped).
    const Octets extrait = LireOctets(sortie);
    ASSERT_GT(extrait.size(), 8u);
    const int64_t tenues = IndexerOctets(1, extrait.data() + 8, extrait.size() - 8).Nombre();
    EXPECT_EQ(int64_t(x.NbImages), tenues);
    EXPECT_EQ(Mot32(extrait.data()), x.NbImages);
    EXPECT_LT(tenues, 100);
    EXPECT_GT(tenues, 40);
    EXPECT_EQ(ExtraireSegment(tronque, sortie, 8, 10, nullptr, &x), ResultatExtraction::SansImage);

    // Pictures every 400 ms: 1-2 s holds two, 800 ms, which no film may be.
    OptionsFilm lent;
    lent.nbImages = 25;
    lent.cadence = 2.5;
    lent.largeur = 160;
    lent.hauteur = 120;
    ASSERT_EQ(FabriquerFilm(d / "lent.mjp", lent), 0);
    EXPECT_EQ(ExtraireSegment(d / "lent.mjp", sortie, 1, 2, nullptr, &x), ResultatExtraction::TropCourt);
    EXPECT_EQ(x.NbImages, 2u);
    EXPECT_TRUE(SansTemporaire(d));
}

// Every line of the failure table, and a full disk: the right message and
// no file left behind (an existing file of the chosen name untouched).
TEST(Extraction, Echecs)
{
    DossierTemporaire d;
    const std::string source = FilmDe(d, "source.mjp");
    const std::string sortie = d / "seg.mjp";
    EXPECT_EQ(ExtraireSegment(source, sortie, 10, 10), ResultatExtraction::RienAFaire);
    EXPECT_EQ(ExtraireSegment(source, sortie, 20, 10), ResultatExtraction::RienAFaire);
    EXPECT_EQ(ExtraireSegment(source, d / "absent/seg.mjp", 0, 10), ResultatExtraction::ErreurCreation);
    EXPECT_EQ(ExtraireSegment(d / "absent.mjp", sortie, 0, 10), ResultatExtraction::ErreurOuverture);
    ASSERT_EQ(mkfifo((d / "fifo.mjp").c_str(), 0600), 0);
    EXPECT_EQ(ExtraireSegment(d / "fifo.mjp", sortie, 0, 10), ResultatExtraction::ErreurOuverture);
    EcrireOctets(d / "vide.mjp", Octets());
    EXPECT_EQ(ExtraireSegment(d / "vide.mjp", sortie, 0, 10), ResultatExtraction::ErreurAcces);
    EcrireOctets(d / "entete.mjp", Octets{100, 0, 0, 0, 0x10, 0x27, 0, 0});
    EXPECT_EQ(ExtraireSegment(d / "entete.mjp", sortie, 0, 10), ResultatExtraction::ErreurAcces);
    EXPECT_EQ(ExtraireSegment(source, std::string(250, 'n') + "/" + std::string(60, 'x'), 0, 10),
              ResultatExtraction::NomTropLong);
    EXPECT_FALSE(fs::exists(sortie));
    EXPECT_STREQ(MessageExtraction(ResultatExtraction::ErreurCreation), "Erreur de création de fichier");
    EXPECT_STREQ(MessageExtraction(ResultatExtraction::ErreurOuverture), "Erreur d'ouverture de fichier");
    EXPECT_STREQ(MessageExtraction(ResultatExtraction::Genere), "Le fichier est généré");
    EXPECT_STREQ(MessageExtraction(ResultatExtraction::RienAFaire), "");
    EXPECT_TRUE(RefusDeLaDemande(ResultatExtraction::HorsDuFilm));
    EXPECT_FALSE(RefusDeLaDemande(ResultatExtraction::ErreurCreation));

    EcrireOctets(sortie, Octets{9, 9});
    struct sigaction ignorer {}, avant {};
    ignorer.sa_handler = SIG_IGN;
    sigaction(SIGXFSZ, &ignorer, &avant);
    rlimit ancienne {};
    getrlimit(RLIMIT_FSIZE, &ancienne);
    rlimit limite = ancienne;
    limite.rlim_cur = 50000;
    setrlimit(RLIMIT_FSIZE, &limite);
    const ResultatExtraction plein = ExtraireSegment(source, sortie, 0, 10);
    setrlimit(RLIMIT_FSIZE, &ancienne);
    sigaction(SIGXFSZ, &avant, nullptr);
    EXPECT_EQ(plein, ResultatExtraction::ErreurCreation);
    EXPECT_EQ(LireOctets(sortie), (Octets{9, 9}));
    EXPECT_TRUE(SansTemporaire(d));
}

// A protected film's segment stays scrambled and gets its own password
// record: the same password opens it, and its pictures are the source's.
TEST(Extraction, FilmProtegeSOuvreCommeSaSource)
{
    DossierTemporaire d;
    OptionsFilm o;
    o.nbImages = 100;
    o.largeur = 160;
    o.hauteur = 120;
    o.motDePasse = "secret";
    ResultatFilm r;
    const std::string film = d / "cam1.mjp";
    ASSERT_EQ(FabriquerFilm(film, o, &r), 0);
    const std::string sortie = d / "extrait.mjp";
    Extrait x;
    ASSERT_EQ(ExtraireSegment(film, sortie, 2, 6, nullptr, &x), ResultatExtraction::Genere);
    EXPECT_TRUE(x.Protege);
    const Octets source = LireOctets(film), extrait = LireOctets(sortie);
    ASSERT_EQ(extrait.size(), size_t(8 + x.Fin - x.Debut));
    EXPECT_TRUE(std::equal(extrait.begin() + 8, extrait.end(), source.begin() + x.Debut));
    EXPECT_EQ(VerifierMotDePasse(sortie.c_str(), "secret"), 1);
    EXPECT_EQ(VerifierMotDePasse(sortie.c_str(), "autre"), -1);
    EXPECT_EQ(NumerosDuCorps(d, sortie, true), DeA(20, 60));
    EnteteFilm e;
    EXPECT_EQ(LireEnteteFilm(sortie, e), 0);
    EXPECT_EQ(e.DureeMs, 4000u);
    EXPECT_EQ(e.NbImages, 40u);

    // A name the record cannot hold: refused, nothing written.
    const std::string long31 = d / (std::string(30, 'n') + ".mjp");
    EXPECT_EQ(ExtraireSegment(film, long31, 2, 6), ResultatExtraction::NomTropLong);
    EXPECT_FALSE(fs::exists(long31));
    EXPECT_FALSE(fs::exists(NomCompagnon(long31, "mdp")));
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
    EXPECT_EQ(NumerosDecodes(d / "sortie.avi", 320, 240).size(), 39u);

    EXPECT_EQ(statut("--avi '" + film + "' '" + (d / "faux.avi") + "' --mot-de-passe non"), SortieMotDePasse);
    const Octets erreur = LireOctets(d / "err.txt");
    EXPECT_NE(std::string(erreur.begin(), erreur.end()).find("Mot de passe refusé"), std::string::npos);
    EXPECT_FALSE(fs::exists(d / "faux.avi"));

    EXPECT_EQ(statut("--extraire '" + film + "' 1 3 '" + (d / "part.264") + "'"), 0);
    EnteteFilm e;
    EXPECT_EQ(LireEnteteFilm(d / "part.264", e), 0);
    EXPECT_EQ(e.DureeMs, 2000u);
    EXPECT_EQ(statut("--extraire '" + film + "' 3 1 '" + (d / "x.264") + "'"), 2);
    EXPECT_EQ(statut("--extraire '" + film + "' 1 deux '" + (d / "x.264") + "'"), 2);
    EXPECT_EQ(statut("--extraire '" + (d / "absent.264") + "' 1 3 '" + (d / "x.264") + "'"), SortieFilmIllisible);
    EXPECT_EQ(statut("--avi seul"), 2);
    EXPECT_FALSE(fs::exists(d / "x.264"));
    EXPECT_EQ(statut("--help"), 0);
    const std::string aide = Commande(programme + " --help");
    EXPECT_NE(aide.find("--avi"), std::string::npos);
    EXPECT_NE(aide.find("--extraire"), std::string::npos);
}

// The real program, run without any display: its status and what it wrote
// on standard error.
struct Programme {
    explicit Programme(const DossierTemporaire& dossier) : d(dossier) {}
    const DossierTemporaire& d;
    std::string erreurs;
    int operator()(const std::string& args)
    {
        const std::string err = d / "err.txt";
        const int r = std::system(("env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM= " + std::string(LECTEUR_ZR7)
                                   + " " + args + " >/dev/null 2>'" + err + "' </dev/null")
                                      .c_str());
        const Octets e = LireOctets(err);
        erreurs.assign(e.begin(), e.end());
        return WIFEXITED(r) ? WEXITSTATUS(r) : -1;
    }
};

std::string Q(const std::string& s)
{
    return "'" + s + "'";
}

// Never written over: the film itself, a companion (existing or not), the
// same file through a symbolic or a hard link; refused before anything is
// written, with status 2 and a French reason.
TEST(LigneCommande, SortieQuiEstLeFilmRefusee)
{
    DossierTemporaire d;
    OptionsFilm o;
    o.nbImages = 50;
    o.son = true;
    o.largeur = 160;
    o.hauteur = 120;
    const std::string film = d / "src.mjp";
    ASSERT_EQ(FabriquerFilm(film, o), 0);
    const Octets avant = LireOctets(film), son = LireOctets(d / "src.pcm");
    fs::create_symlink(film, d / "lien.mjp");
    fs::create_hard_link(film, d / "dur.mjp");
    fs::create_symlink(film, d / "lien.avi");
    Programme lancer(d);
    for (const std::string& sortie : {film, d / "src.pcm", d / "src.msr", d / "src.hrd", d / "lien.mjp",
                                      d / "dur.mjp", d / "./src.mjp"}) {
        EXPECT_EQ(lancer("--extraire " + Q(film) + " 2 5 " + Q(sortie)), SortieUsage) << sortie;
        EXPECT_NE(lancer.erreurs.find("choisissez un autre nom"), std::string::npos) << lancer.erreurs;
    }
    EXPECT_EQ(lancer("--avi " + Q(film) + " " + Q(d / "lien.avi")), SortieUsage);
    EXPECT_EQ(LireOctets(film), avant);
    EXPECT_EQ(LireOctets(d / "src.pcm"), son);
    EXPECT_FALSE(fs::exists(d / "src.msr"));
    EXPECT_FALSE(fs::exists(d / "src.mjp.sha256"));
    EXPECT_TRUE(fs::is_symlink(d / "lien.avi"));
    EXPECT_TRUE(SansTemporaire(d));

    EXPECT_EQ(RaisonSortieRefusee(film, d / "autre.mjp"), "");
    EXPECT_NE(RaisonSortieRefusee(film, d / "lien.mjp"), "");
    EXPECT_NE(RaisonSortieEstLeFilm(film, d / "src.mdp"), "");
}

// What is not a plain file is never replaced: a FIFO, a socket, a folder, a
// device reached through a link; nor by the final rename.
TEST(LigneCommande, SortieQuiNEstPasUnFichierRefusee)
{
    DossierTemporaire d;
    OptionsFilm o;
    o.nbImages = 30;
    o.largeur = 160;
    o.hauteur = 120;
    const std::string film = d / "f.mjp";
    ASSERT_EQ(FabriquerFilm(film, o), 0);
    ASSERT_EQ(mkfifo((d / "tube.mjp").c_str(), 0600), 0);
    fs::create_symlink("/dev/null", d / "nul.mjp");
    fs::create_symlink("/dev/null", d / "nul.avi");
    fs::create_directory(d / "dossier.mjp");
    const int s = socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(s, 0);
    sockaddr_un adresse {};
    adresse.sun_family = AF_UNIX;
    const std::string prise = d / "prise.mjp";
    ASSERT_LT(prise.size(), sizeof adresse.sun_path);
    std::strcpy(adresse.sun_path, prise.c_str());
    ASSERT_EQ(bind(s, reinterpret_cast<sockaddr*>(&adresse), sizeof adresse), 0);
    Programme lancer(d);
    for (const char* nom : {"tube.mjp", "nul.mjp", "dossier.mjp", "prise.mjp"}) {
        EXPECT_EQ(lancer("--extraire " + Q(film) + " 0 2 " + Q(d / nom)), SortieUsage) << nom;
        EXPECT_NE(lancer.erreurs.find("pas un fichier ordinaire"), std::string::npos) << lancer.erreurs;
    }
    EXPECT_EQ(lancer("--avi " + Q(film) + " " + Q(d / "nul.avi")), SortieUsage);
    close(s);
    EXPECT_TRUE(fs::is_fifo(d / "tube.mjp"));
    EXPECT_TRUE(fs::is_socket(d / "prise.mjp"));
    EXPECT_TRUE(fs::is_directory(d / "dossier.mjp"));
    EXPECT_TRUE(fs::is_symlink(d / "nul.mjp"));
    EXPECT_TRUE(fs::is_character_file("/dev/null"));

    // The rename itself: a FIFO put in place meanwhile is not replaced.
    const std::string temp = CreerNomTemporaire(d / "tube.mjp");
    ASSERT_FALSE(temp.empty());
    EXPECT_EQ(MettreEnPlace(temp, d / "tube.mjp"), -1);
    EXPECT_TRUE(fs::is_fifo(d / "tube.mjp"));
    EXPECT_FALSE(fs::exists(temp));
    EXPECT_TRUE(RemplacementPermis(d / "absent.mjp"));
    EXPECT_TRUE(RemplacementPermis(film));
    EXPECT_FALSE(RemplacementPermis(d / "nul.mjp"));
}

// The forced rate: a whole number of 1 to 1000, anything else refused with
// the reason and status 2, no file written.
TEST(LigneCommande, CadenceForcee)
{
    int c = 0;
    std::string raison;
    EXPECT_EQ(LireCadenceForcee("25", &c, &raison), 0);
    EXPECT_EQ(c, 25);
    EXPECT_EQ(LireCadenceForcee(" 1000 ", &c, &raison), 0);
    EXPECT_EQ(c, 1000);
    EXPECT_EQ(LireCadenceForcee("1", &c, &raison), 0);
    EXPECT_EQ(c, 1);
    for (const char* faux : {"abc", "", " ", "0", "1e3", "1001", "-5", "+5", "2.5", "99999999999999999999", "12a"}) {
        raison.clear();
        EXPECT_EQ(LireCadenceForcee(faux, &c, &raison), -1) << faux;
        EXPECT_NE(raison.find("de 1 à 1000"), std::string::npos) << raison;
    }

    DossierTemporaire d;
    OptionsFilm o;
    o.nbImages = 20;
    o.largeur = 160;
    o.hauteur = 120;
    const std::string film = d / "f.mjp";
    ASSERT_EQ(FabriquerFilm(film, o), 0);
    Programme lancer(d);
    for (const char* faux : {"abc", "", "0", "1e3"}) {
        EXPECT_EQ(lancer("--avi " + Q(film) + " " + Q(d / "x.avi") + " --images-par-seconde '" + faux + "'"),
                  SortieUsage)
            << faux;
        EXPECT_NE(lancer.erreurs.find("Cadence invalide"), std::string::npos) << lancer.erreurs;
    }
    EXPECT_FALSE(fs::exists(d / "x.avi"));
    EXPECT_EQ(lancer("--avi " + Q(film) + " " + Q(d / "x.avi") + " --images-par-seconde 1000 --sans-rapport"),
              SortieReussie);
    // The stream header's rate and scale.
    const Octets avi = LireOctets(d / "x.avi");
    const std::string texte(avi.begin(), avi.end());
    const size_t strh = texte.find("strh");
    ASSERT_NE(strh, std::string::npos);
    ASSERT_LT(strh + 40, avi.size());
    const uint32_t echelle = Mot32(avi.data() + strh + 8 + 20), taux = Mot32(avi.data() + strh + 8 + 24);
    ASSERT_GT(echelle, 0u);
    EXPECT_EQ(taux / echelle, 1000u);
}

// Statuses and messages: usage errors (2, with the usage), password (3),
// film (4); options in any position; long names refused.
TEST(LigneCommande, StatutsEtMessages)
{
    DossierTemporaire d;
    OptionsFilm o;
    o.nbImages = 30;
    o.largeur = 160;
    o.hauteur = 120;
    const std::string film = d / "f.mjp";
    ASSERT_EQ(FabriquerFilm(film, o), 0);
    o.motDePasse = "clef";
    const std::string protege = d / "p.264";
    ASSERT_EQ(FabriquerFilm(protege, o), 0);
    Programme lancer(d);

    EXPECT_EQ(lancer("--version"), SortieUsage);
    EXPECT_NE(lancer.erreurs.find("Option inconnue : --version"), std::string::npos) << lancer.erreurs;
    EXPECT_NE(lancer.erreurs.find("Usage"), std::string::npos);
    EXPECT_EQ(lancer("--avi " + Q(film) + " " + Q(d / "a.avi") + " --bidon"), SortieUsage);
    EXPECT_EQ(lancer("--avi " + Q(film) + " " + Q(d / "a.avi") + " --images-par-seconde"), SortieUsage);
    EXPECT_FALSE(fs::exists(d / "a.avi"));

    EXPECT_EQ(lancer("--avi " + Q(protege) + " " + Q(d / "a.avi")), SortieMotDePasse);
    EXPECT_NE(lancer.erreurs.find("--mot-de-passe"), std::string::npos) << lancer.erreurs;
    EXPECT_EQ(lancer("--avi " + Q(protege) + " " + Q(d / "a.avi") + " --mot-de-passe faux"), SortieMotDePasse);
    EXPECT_NE(lancer.erreurs.find("Mot de passe refusé"), std::string::npos) << lancer.erreurs;
    EXPECT_FALSE(fs::exists(d / "a.avi"));

    EcrireOctets(d / "vide.mjp", Octets());
    EXPECT_EQ(lancer("--avi " + Q(d / "vide.mjp") + " " + Q(d / "a.avi")), SortieFilmIllisible);
    EXPECT_NE(lancer.erreurs.find("vide"), std::string::npos) << lancer.erreurs;
    EcrireOctets(d / "entete.mjp", Octets{30, 0, 0, 0, 0xB8, 0x0B, 0, 0});
    EXPECT_EQ(lancer("--avi " + Q(d / "entete.mjp") + " " + Q(d / "a.avi")), SortieFilmIllisible);
    EXPECT_EQ(lancer("--extraire " + Q(d / "entete.mjp") + " 0 2 " + Q(d / "e.mjp")), SortieFilmIllisible);
    EcrireOctets(d / "faux.mjp", Octets{0, 0, 0, 0, 1, 2, 3});
    EXPECT_EQ(lancer("--avi " + Q(d / "faux.mjp") + " " + Q(d / "a.avi")), SortieFilmIllisible);
    EXPECT_NE(lancer.erreurs.find("pas un film lisible"), std::string::npos) << lancer.erreurs;
    EXPECT_FALSE(fs::exists(d / "a.avi"));

    // Write failure: 1.
    EXPECT_EQ(lancer("--extraire " + Q(film) + " 0 2 " + Q(d / "absent/e.mjp")), SortieEchec);

    // --sans-rapport first, and "--" before a name starting with a dash.
    EXPECT_EQ(lancer("--extraire --sans-rapport " + Q(film) + " 0 2 " + Q(d / "e.mjp")), SortieReussie)
        << lancer.erreurs;
    EXPECT_TRUE(fs::exists(d / "e.mjp"));
    EXPECT_FALSE(fs::exists(d / "e.mjp.sha256"));
    EXPECT_EQ(std::system(("cd '" + d.Chemin() + "' && env -u DISPLAY " + std::string(LECTEUR_ZR7)
                           + " --extraire --sans-rapport f.mjp 0 2 -- -tiret.mjp >/dev/null 2>&1")
                              .c_str()),
              0);
    EXPECT_TRUE(fs::exists(d / "-tiret.mjp"));

    // Names over 300 bytes are refused by both commands.
    const std::string dossier = DossierDeLongueur(d.Chemin(), 296);
    ASSERT_FALSE(dossier.empty());
    EXPECT_EQ(lancer("--extraire " + Q(film) + " 0 2 " + Q(dossier + "abcde")), SortieUsage);
    EXPECT_EQ(lancer("--avi " + Q(film) + " " + Q(dossier + "abcde")), SortieUsage);
    EXPECT_EQ(lancer("--extraire " + Q(film) + " 0 2 " + Q(dossier + "abcd")), SortieReussie) << lancer.erreurs;
}

// Beyond the film's end: a start is refused, an end stops at the last
// picture; the header claims only what the body holds.
TEST(LigneCommande, ExtractionAuDelaDeLaFin)
{
    DossierTemporaire d;
    OptionsFilm o;
    o.nbImages = 100;
    o.largeur = 160;
    o.hauteur = 120;
    const std::string film = d / "a.mjp";
    ASSERT_EQ(FabriquerFilm(film, o), 0);
    Programme lancer(d);
    EXPECT_EQ(lancer("--extraire " + Q(film) + " 20 30 " + Q(d / "x.mjp")), SortieUsage);
    EXPECT_NE(lancer.erreurs.find("au-delà de la fin du film"), std::string::npos) << lancer.erreurs;
    EXPECT_FALSE(fs::exists(d / "x.mjp"));
    EXPECT_EQ(lancer("--extraire " + Q(film) + " 0 2147483647 " + Q(d / "y.mjp")), SortieReussie);
    EnteteFilm e;
    ASSERT_EQ(LireEnteteFilm(d / "y.mjp", e), 0);
    EXPECT_EQ(e.NbImages, 100u);
    EXPECT_EQ(e.DureeMs, 10000u);
    EXPECT_EQ(NumerosDuCorps(d, d / "y.mjp").size(), 100u);

    // 1-3 s of each kind: 20 pictures over 2000 ms.
    for (const char* ext : {".mjp", ".mp4", ".264"}) {
        ASSERT_EQ(FabriquerFilm(d / (std::string("k") + ext), o), 0);
        EXPECT_EQ(lancer("--extraire " + Q(d / (std::string("k") + ext)) + " 1 3 " + Q(d / (std::string("s") + ext))),
                  SortieReussie);
        ASSERT_EQ(LireEnteteFilm(d / (std::string("s") + ext), e), 0) << ext;
        EXPECT_EQ(e.NbImages, 20u) << ext;
        EXPECT_EQ(e.DureeMs, 2000u) << ext;
    }
}

// A protected film's extract opens with the same password, from the
// command line too.
TEST(LigneCommande, ExtraitProtegeAvecSaFiche)
{
    DossierTemporaire d;
    OptionsFilm o;
    o.nbImages = 50;
    o.largeur = 160;
    o.hauteur = 120;
    o.motDePasse = "clef";
    const std::string film = d / "p.mp4";
    ASSERT_EQ(FabriquerFilm(film, o), 0);
    Programme lancer(d);
    EXPECT_EQ(lancer("--extraire " + Q(film) + " 1 4 " + Q(d / "q.mp4") + " --sans-rapport"), SortieReussie);
    EXPECT_EQ(VerifierMotDePasse((d / "q.mp4").c_str(), "clef"), 1);
    EXPECT_EQ(NumerosDuCorps(d, d / "q.mp4", true), DeA(10, 40));
    EXPECT_EQ(lancer("--avi " + Q(d / "q.mp4") + " " + Q(d / "q.avi") + " --mot-de-passe clef --sans-rapport"),
              SortieReussie)
        << lancer.erreurs;
}

// A name of 250 bytes still gets its temporary file, and a signal during a
// command-line export leaves nothing behind.
TEST(LigneCommande, TemporaireCourtEtSupprimeSurSignal)
{
    DossierTemporaire d;
    OptionsFilm o;
    o.nbImages = 30;
    o.largeur = 160;
    o.hauteur = 120;
    const std::string film = d / "f.mjp";
    ASSERT_EQ(FabriquerFilm(film, o), 0);
    const std::string longNom = d / (std::string(246, 'n') + ".mjp");
    Extrait x;
    EXPECT_EQ(ExtraireSegment(film, longNom, 0, 2, nullptr, &x), ResultatExtraction::Genere);
    EXPECT_TRUE(fs::exists(longNom));
    const std::string temp = CreerNomTemporaire(d / "sortie.avi");
    EXPECT_EQ(fs::path(temp).parent_path(), fs::path(d.Chemin()));
    EXPECT_EQ(fs::path(temp).filename().string().size(), 11u);
    EXPECT_EQ(AbandonnerTemporaire(temp), 0);
    EXPECT_FALSE(fs::exists(temp));

    // A long export, stopped by each signal once its temporary file is there.
    OptionsFilm grand;
    grand.nbImages = 1500;
    grand.largeur = 640;
    grand.hauteur = 480;
    grand.qualiteJpeg = 95;
    const std::string gros = d / "gros.mjp";
    ASSERT_EQ(FabriquerFilm(gros, grand), 0);
    fs::create_directory(d / "sorties");
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
        SCOPED_TRACE(signal);
        const pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            const int nul = open("/dev/null", O_WRONLY);
            dup2(nul, 1);
            dup2(nul, 2);
            execl(LECTEUR_ZR7, LECTEUR_ZR7, "--avi", gros.c_str(), (d / "sorties/s.avi").c_str(),
                  "--incruster-date", static_cast<char*>(nullptr));
            _exit(127);
        }
        bool vu = false;
        for (int i = 0; i < 3000 && !vu; ++i) {
            for (const auto& e : fs::directory_iterator(d / "sorties"))
                vu = vu || e.path().filename() != "s.avi";
            if (!vu)
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        EXPECT_TRUE(vu);
        kill(pid, signal);
        int etat = 0;
        ASSERT_EQ(waitpid(pid, &etat, 0), pid);
        if (vu) {
            EXPECT_TRUE(WIFSIGNALED(etat));
            EXPECT_TRUE(fs::is_empty(d / "sorties"));
        }
    }
}

} // namespace
