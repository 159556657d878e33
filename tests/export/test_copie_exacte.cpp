// Exact copy: films of each kind copied to MP4 and Matroska, read back with
// ffprobe and ffmpeg (pictures compared by framemd5 with the film's own
// body, key flags, time stamps, sound, dates), segments, protected films,
// the output's safety rules, cancel, a full disk and Ctrl+C.
#include "engine/fichierfilm.h"
#include "engine/motdepasse.h"
#include "export/copie_exacte.h"
#include "outils_export.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <map>
#include <sstream>
#include <thread>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

constexpr int Largeur = 320, Hauteur = 240;

// Dates are compared in UTC: the ".hrd" wall-clock time is then the
// container's creation time itself.
class CopieExacte : public testing::Test
{
protected:
    void SetUp() override
    {
        setenv("TZ", "UTC", 1);
        tzset();
        SilencerCodecs();
        ASSERT_TRUE(d.Pret());
    }
    DossierTemporaire d;
};

const char* FormatBrut(int type)
{
    return type == FilmH264 ? "h264" : type == FilmMjpeg ? "mjpeg" : "m4v";
}

// Hashes of the decoded pictures, in order (the framemd5 hash column).
std::vector<std::string> Empreintes(const std::string& options)
{
    std::vector<std::string> r;
    std::istringstream lignes(Commande("ffmpeg -v error " + options + " -map 0:v -f framemd5 - 2>/dev/null"));
    for (std::string l; std::getline(lignes, l);) {
        if (l.empty() || l[0] == '#')
            continue;
        r.push_back(l.substr(l.find_last_of(',') + 1));
    }
    return r;
}

// The film's body as stored (descrambled when protected), decoded raw.
std::vector<std::string> EmpreintesCorps(const DossierTemporaire& d, const std::string& film, int type,
                                         bool protege = false)
{
    Octets o = LireOctets(film);
    Octets corps(o.begin() + 8, o.end());
    if (protege)
        Desembrouiller(corps.data(), int(corps.size()));
    const std::string chemin = d / "corps.brut";
    EcrireOctets(chemin, corps);
    return Empreintes(std::string("-f ") + FormatBrut(type) + " -i '" + chemin + "'");
}

// "key=value" lines of ffprobe.
std::map<std::string, std::string> Sonde(const std::string& chemin, const std::string& entrees,
                                         const char* flux = nullptr)
{
    std::map<std::string, std::string> r;
    std::istringstream lignes(Commande(std::string("ffprobe -v error ") + (flux ? std::string("-select_streams ") + flux + " " : "")
                                       + "-show_entries " + entrees + " -of default=nw=1 '" + chemin + "'"));
    for (std::string l; std::getline(lignes, l);) {
        const size_t egal = l.find('=');
        if (egal != std::string::npos && !r.count(l.substr(0, egal)))
            r[l.substr(0, egal)] = l.substr(egal + 1);
    }
    return r;
}

// Key flag of each video packet, in order.
std::string Cles(const std::string& chemin)
{
    std::string r;
    std::istringstream lignes(
        Commande("ffprobe -v error -select_streams v -show_entries packet=flags -of csv=p=0 '" + chemin + "'"));
    for (std::string l; std::getline(lignes, l);)
        r += (!l.empty() && l[0] == 'K') ? 'K' : '.';
    return r;
}

// Seconds of sound ffmpeg decodes from the file (edit lists applied).
double SecondesSon(const std::string& chemin)
{
    return Commande("ffmpeg -v error -i '" + chemin + "' -map 0:a -f s16le -ac 1 -ar 8000 - 2>/dev/null").size()
           / 16000.0;
}

bool AccepteParFfmpeg(const std::string& chemin)
{
    return std::system(("ffmpeg -v error -xerror -i '" + chemin + "' -f null - >/dev/null 2>&1").c_str()) == 0;
}

// Files of the folder other than those named.
std::vector<std::string> Autres(const DossierTemporaire& d, const std::vector<std::string>& connus)
{
    std::vector<std::string> r;
    for (const auto& e : fs::directory_iterator(d.Chemin())) {
        const std::string n = e.path().filename().string();
        if (std::find(connus.begin(), connus.end(), n) == connus.end())
            r.push_back(n);
    }
    return r;
}

std::string MotifCles(int n, int gop)
{
    std::string r;
    for (int i = 0; i < n; ++i)
        r += (gop <= 1 || i % gop == 0) ? 'K' : '.';
    return r;
}

OptionsFilm Options(int nbImages = 40, int gop = 10)
{
    OptionsFilm o;
    o.largeur = Largeur;
    o.hauteur = Hauteur;
    o.nbImages = nbImages;
    o.cadence = 10;
    o.gop = gop;
    o.dates = true;
    o.son = true;
    return o;
}

// Everything a whole copy must keep, checked on one output.
void VerifierCopieEntiere(const DossierTemporaire& d, const std::string& film, int type, const std::string& sortie,
                          const OptionsFilm& o)
{
    SCOPED_TRACE(sortie);
    ParametresCopie p;
    p.cheminFilm = film;
    p.sortie = sortie;
    const BilanCopie b = CopierExacte(p);
    ASSERT_EQ(b.resultat, ResultatCopie::Enregistree);
    EXPECT_EQ(b.images, o.nbImages);
    EXPECT_EQ(b.largeur, Largeur);
    EXPECT_EQ(b.hauteur, Hauteur);
    EXPECT_TRUE(AccepteParFfmpeg(sortie));

    const std::vector<std::string> attendu = EmpreintesCorps(d, film, type);
    ASSERT_EQ(attendu.size(), size_t(o.nbImages));
    EXPECT_EQ(Empreintes("-i '" + sortie + "'"), attendu);
    EXPECT_EQ(Cles(sortie), MotifCles(o.nbImages, type == FilmMjpeg ? 1 : o.gop));

    // Time stamps at the film's rate: 10 pictures a second.
    auto v = Sonde(sortie, "stream=avg_frame_rate,start_time:packet=pts_time", "v");
    EXPECT_NEAR(std::atof(v["start_time"].c_str()), 0.0, 1e-3);
    EXPECT_EQ(v["avg_frame_rate"], "10/1");
    auto dernier = Commande("ffprobe -v error -select_streams v -show_entries packet=pts_time,duration_time -of csv=p=0 '"
                            + sortie + "' | tail -1");
    double pts = 0, duree = 0;
    ASSERT_EQ(std::sscanf(dernier.c_str(), "%lf,%lf", &pts, &duree), 2);
    EXPECT_NEAR(pts + duree, o.nbImages / 10.0, 1e-3);

    // Sound from the first picture, as long as the ".pcm".
    auto a = Sonde(sortie, "stream=codec_name,start_time", "a");
    EXPECT_EQ(a["codec_name"], ConteneurPourSortie(sortie) == ConteneurCopie::Mp4 ? "aac" : "pcm_mulaw");
    EXPECT_NEAR(std::atof(a["start_time"].c_str()), 0.0, 1e-3);
    const double pcm = double(fs::file_size(NomCompagnon(film, "pcm"))) / 8000.0;
    EXPECT_NEAR(SecondesSon(sortie), pcm, 0.25);
    EXPECT_TRUE(b.son);
    EXPECT_EQ(b.echantillonsSon, int64_t(fs::file_size(NomCompagnon(film, "pcm"))));

    // The recording time and the film's name.
    auto f = Sonde(sortie, "format_tags=creation_time,title");
    EXPECT_EQ(f["TAG:creation_time"].substr(0, 19), "2014-05-12T10:15:00");
    EXPECT_EQ(f["TAG:title"], fs::path(film).filename().string());
}

} // namespace

TEST_F(CopieExacte, H264VersMp4EtMatroska)
{
    const OptionsFilm o = Options();
    const std::string film = d / "cam1.264";
    ASSERT_EQ(FabriquerFilm(film, o), 0);
    VerifierCopieEntiere(d, film, FilmH264, d / "copie.mp4", o);
    VerifierCopieEntiere(d, film, FilmH264, d / "copie.mkv", o);
    // Index first: the file plays while it is still being copied.
    const Octets mp4 = LireOctets(d / "copie.mp4");
    const std::string t(mp4.begin(), mp4.end());
    ASSERT_NE(t.find("moov"), std::string::npos);
    EXPECT_LT(t.find("moov"), t.find("mdat"));
    EXPECT_NE(t.find("avcC"), std::string::npos);
    EXPECT_NE(t.find("stss"), std::string::npos);
}

TEST_F(CopieExacte, MjpegVersMatroskaEtMp4)
{
    const OptionsFilm o = Options(30);
    const std::string film = d / "cam2.mjp";
    ASSERT_EQ(FabriquerFilm(film, o), 0);
    VerifierCopieEntiere(d, film, FilmMjpeg, d / "copie.mkv", o);
    VerifierCopieEntiere(d, film, FilmMjpeg, d / "copie.mp4", o);
}

TEST_F(CopieExacte, Mpeg4VersMp4)
{
    const OptionsFilm o = Options(40, 8);
    const std::string film = d / "cam3.mp4";
    ASSERT_EQ(FabriquerFilm(film, o), 0);
    VerifierCopieEntiere(d, film, FilmMpeg4, d / "copie.mp4", o);
    EXPECT_NE(LireOctets(d / "copie.mp4").size(), 0u);
}

// A start mark in the middle of a key group: the copy starts on the key
// picture before it, every picture as in the film, the sound with it.
TEST_F(CopieExacte, SegmentAuMilieuDUnGroupe)
{
    for (int type : {FilmH264, FilmMpeg4}) {
        SCOPED_TRACE(type);
        OptionsFilm o = Options(60, 8);
        const std::string film = d / (type == FilmH264 ? "seg.264" : "seg.mp4");
        ASSERT_EQ(FabriquerFilm(film, o), 0);
        ParametresCopie p;
        p.cheminFilm = film;
        p.sortie = d / "segment.mkv";
        p.debutSecondes = 2; // picture 20, in the group of picture 16
        p.finSecondes = 4;   // up to picture 39
        const BilanCopie b = CopierExacte(p);
        ASSERT_EQ(b.resultat, ResultatCopie::Enregistree);
        EXPECT_EQ(b.premiereImage, 16);
        EXPECT_EQ(b.images, 24);
        EXPECT_NEAR(b.debutSecondes, 1.6, 1e-9);
        std::vector<int> numeros = NumerosDecodes(p.sortie, Largeur, Hauteur);
        ASSERT_EQ(numeros.size(), 24u);
        for (int i = 0; i < 24; ++i)
            EXPECT_EQ(numeros[size_t(i)], 16 + i);
        const std::vector<std::string> corps = EmpreintesCorps(d, film, type);
        ASSERT_GE(corps.size(), 40u);
        EXPECT_EQ(Empreintes("-i '" + p.sortie + "'"),
                  std::vector<std::string>(corps.begin() + 16, corps.begin() + 40));
        EXPECT_EQ(Cles(p.sortie), "K.......K.......K.......");
        EXPECT_NEAR(SecondesSon(p.sortie), 2.4, 0.25);
        EXPECT_EQ(b.echantillonsSon, 24 * 800);
        // The creation time is the first picture's.
        EXPECT_EQ(Sonde(p.sortie, "format_tags=creation_time")["TAG:creation_time"].substr(0, 22),
                  "2014-05-12T10:15:01.60");
        fs::remove(p.sortie);
    }
}

TEST_F(CopieExacte, FilmProtegeDemandeSonMotDePasse)
{
    OptionsFilm o = Options(20);
    o.motDePasse = "secret";
    const std::string film = d / "prot.264";
    ASSERT_EQ(FabriquerFilm(film, o), 0);
    ParametresCopie p;
    p.cheminFilm = film;
    p.sortie = d / "prot.mp4";
    for (const char* faux : {"", "Secret"}) {
        p.motDePasse = faux;
        EXPECT_EQ(CopierExacte(p).resultat, ResultatCopie::MotDePasse);
        EXPECT_FALSE(fs::exists(p.sortie));
    }
    p.motDePasse = "secret";
    const BilanCopie b = CopierExacte(p);
    ASSERT_EQ(b.resultat, ResultatCopie::Enregistree);
    EXPECT_TRUE(b.protege);
    EXPECT_EQ(Empreintes("-i '" + p.sortie + "'"), EmpreintesCorps(d, film, FilmH264, true));

    // The report says where the pictures came from.
    FilmSource source;
    ASSERT_EQ(LireFilmSource(film, source), 0);
    InfosRapport r = RapportCopie(source, p.sortie, b);
    ASSERT_EQ(EcrireRapportIntegrite(r), 0);
    const Octets texte = LireOctets(CheminRapport(p.sortie));
    const std::string rapport(texte.begin(), texte.end());
    EXPECT_NE(rapport.find("copie exacte (images d'origine, non réencodées)"), std::string::npos);
    EXPECT_NE(rapport.find("Film protégé par mot de passe : oui"), std::string::npos);
    EXPECT_NE(rapport.find("Date et heure du début : 12/05/2014 10:15:00"), std::string::npos);
    EXPECT_NE(rapport.find("Date et heure de la fin : 12/05/2014 10:15:01"), std::string::npos);
    EXPECT_EQ(std::system(("cd '" + d.Chemin() + "' && sha256sum --quiet -c prot.mp4.sha256 >/dev/null 2>&1").c_str()),
              0);
}

// Never onto the film or a companion, never over what is not a plain file,
// an existing output replaced only by a whole copy.
TEST_F(CopieExacte, ReglesDeSurete)
{
    const OptionsFilm o = Options(20);
    const std::string film = d / "cam4.mp4";
    ASSERT_EQ(FabriquerFilm(film, o), 0);
    const Octets avant = LireOctets(film);
    ParametresCopie p;
    p.cheminFilm = film;

    p.sortie = film; // an MPEG-4 film has the container's extension
    EXPECT_EQ(CopierExacte(p).resultat, ResultatCopie::SortieRefusee);
    EXPECT_EQ(LireOctets(film), avant);
    fs::create_symlink(film, d / "lien.mp4");
    p.sortie = d / "lien.mp4";
    EXPECT_EQ(CopierExacte(p).resultat, ResultatCopie::SortieRefusee);
    fs::create_hard_link(NomCompagnon(film, "pcm"), d / "son.mkv");
    p.sortie = d / "son.mkv";
    EXPECT_EQ(CopierExacte(p).resultat, ResultatCopie::SortieRefusee);
    EXPECT_EQ(fs::file_size(NomCompagnon(film, "pcm")), 20u * 800);

    ASSERT_EQ(mkfifo((d / "tube.mkv").c_str(), 0600), 0);
    p.sortie = d / "tube.mkv";
    EXPECT_EQ(CopierExacte(p).resultat, ResultatCopie::SortieRefusee);
    EXPECT_TRUE(fs::is_fifo(d / "tube.mkv"));
    fs::create_directory(d / "dossier.mkv");
    p.sortie = d / "dossier.mkv";
    EXPECT_EQ(CopierExacte(p).resultat, ResultatCopie::SortieRefusee);
    EXPECT_TRUE(fs::is_directory(d / "dossier.mkv"));

    p.sortie = d / "copie.avi";
    EXPECT_EQ(CopierExacte(p).resultat, ResultatCopie::NonDemarree);
    EXPECT_FALSE(fs::exists(p.sortie));

    // An older copy is replaced whole.
    p.sortie = d / "ancienne.MKV";
    EcrireOctets(p.sortie, Octets(10, 'x'));
    ASSERT_EQ(CopierExacte(p).resultat, ResultatCopie::Enregistree);
    EXPECT_EQ(Empreintes("-i '" + p.sortie + "'").size(), 20u);
    EXPECT_TRUE(Autres(d, {"cam4.mp4", "cam4.hrd", "cam4.pcm", "lien.mp4", "son.mkv", "tube.mkv", "dossier.mkv",
                           "ancienne.MKV", "corps.brut"})
                    .empty());
}

TEST_F(CopieExacte, AnnulationNeLaissePasDeFichier)
{
    const std::string film = d / "cam5.264";
    ASSERT_EQ(FabriquerFilm(film, Options(40)), 0);
    ParametresCopie p;
    p.cheminFilm = film;
    p.sortie = d / "copie.mp4";
    EcrireOctets(p.sortie, Octets(10, 'x'));
    int64_t vus = 0;
    SuiviCopie s;
    s.progression = [&](int64_t fait, int64_t total) {
        vus = fait;
        EXPECT_EQ(total, 40);
    };
    s.annuler = [&] { return vus >= 5; };
    const BilanCopie b = CopierExacte(p, s);
    EXPECT_EQ(b.resultat, ResultatCopie::Annulee);
    EXPECT_EQ(b.images, 5);
    EXPECT_EQ(LireOctets(p.sortie), Octets(10, 'x'));
    EXPECT_TRUE(Autres(d, {"cam5.264", "cam5.hrd", "cam5.pcm", "copie.mp4"}).empty());
    // Cancelled while looking for the segment's key picture.
    p.debutSecondes = 2;
    s.annuler = [] { return true; };
    EXPECT_EQ(CopierExacte(p, s).resultat, ResultatCopie::Annulee);
    EXPECT_TRUE(Autres(d, {"cam5.264", "cam5.hrd", "cam5.pcm", "copie.mp4"}).empty());
}

// The command line: message, report, exit statuses; a full disk (a file
// size limit) and Ctrl+C leave nothing behind.
TEST_F(CopieExacte, LigneDeCommande)
{
    const std::string lecteur = LECTEUR_ZR7;
    const std::string film = d / "cam6.mjp";
    ASSERT_EQ(FabriquerFilm(film, Options(30)), 0);
    const std::string sortie = d / "cam6.mkv";
    const std::string texte = Commande("'" + lecteur + "' --copie '" + film + "' '" + sortie + "' --debut 1 2>&1; echo statut=$?");
    EXPECT_NE(texte.find("La copie exacte est enregistrée : 20 images, début réel 00:00:01 (image 10), avec le son"),
              std::string::npos)
        << texte;
    EXPECT_NE(texte.find("statut=0"), std::string::npos);
    EXPECT_EQ(std::system(("cd '" + d.Chemin() + "' && sha256sum --quiet -c cam6.mkv.sha256 >/dev/null 2>&1").c_str()), 0);
    const Octets r = LireOctets(CheminRapport(sortie));
    EXPECT_NE(std::string(r.begin(), r.end()).find("Images : 10 à 29 (20 images)"), std::string::npos);

    EXPECT_NE(Commande("'" + lecteur + "' --copie '" + film + "' x.avi 2>&1; echo statut=$?").find("statut=2"),
              std::string::npos);
    EXPECT_NE(Commande("'" + lecteur + "' --copie '" + film + "' 2>&1; echo statut=$?").find("statut=2"),
              std::string::npos);
    // The statuses shared by the export commands: refused output, film
    // missing, protected film without its password.
    EXPECT_NE(Commande("'" + lecteur + "' --copie '" + film + "' '" + (d / "cam6.pcm.mkv") + "' 2>&1; echo statut=$?")
                  .find("statut=0"),
              std::string::npos);
    fs::create_hard_link(NomCompagnon(film, "hrd"), d / "dates.mkv");
    EXPECT_NE(Commande("'" + lecteur + "' --copie '" + film + "' '" + (d / "dates.mkv") + "' 2>&1; echo statut=$?")
                  .find("statut=2"),
              std::string::npos);
    fs::remove(d / "dates.mkv");
    fs::remove(d / "cam6.pcm.mkv");
    fs::remove(d / "cam6.pcm.mkv.sha256");
    fs::remove(d / "cam6.pcm.mkv.rapport.txt");
    EXPECT_NE(Commande("'" + lecteur + "' --copie '" + (d / "absent.mjp") + "' x.mkv 2>&1; echo statut=$?").find("statut=4"),
              std::string::npos);
    OptionsFilm protege = Options(10);
    protege.motDePasse = "cle";
    ASSERT_EQ(FabriquerFilm(d / "prot.mjp", protege), 0);
    const std::string sansCle =
        Commande("'" + lecteur + "' --copie '" + (d / "prot.mjp") + "' '" + (d / "prot.mkv") + "' 2>&1; echo statut=$?");
    EXPECT_NE(sansCle.find("statut=3"), std::string::npos) << sansCle;
    EXPECT_NE(Commande("'" + lecteur + "' --copie '" + (d / "prot.mjp") + "' '" + (d / "prot.mkv")
                       + "' --mot-de-passe cle --sans-rapport 2>&1; echo statut=$?")
                  .find("statut=0"),
              std::string::npos);
    for (const char* f : {"prot.mjp", "prot.hrd", "prot.pcm", "prot.mdp", "prot.mkv"})
        fs::remove(d / f);

    // A file size limit stands for a full disk: the write fails, the old
    // copy stays, no temporary file is left.
    fs::remove(CheminSomme(sortie));
    fs::remove(CheminRapport(sortie));
    const Octets ancienne = LireOctets(sortie);
    const std::string plein = Commande("trap '' XFSZ; ulimit -f 8; '" + lecteur + "' --copie '" + film + "' '" + sortie
                                       + "' --sans-rapport 2>&1; echo statut=$?");
    EXPECT_NE(plein.find("Erreur d'écriture"), std::string::npos) << plein;
    EXPECT_NE(plein.find("taille de fichier maximale atteinte"), std::string::npos) << plein;
    EXPECT_EQ(plein.find("statut=0"), std::string::npos);
    EXPECT_EQ(LireOctets(sortie), ancienne);
    EXPECT_TRUE(Autres(d, {"cam6.mjp", "cam6.hrd", "cam6.pcm", "cam6.mkv", "corps.brut"}).empty());
}

TEST_F(CopieExacte, CtrlCNeLaissePasDeFichier)
{
    // A long film made quickly: one key group of a small H.264 film, its
    // body repeated (each repetition starts on a key picture).
    const std::string petit = d / "motif.264";
    OptionsFilm o = Options(10, 10);
    o.son = o.dates = false;
    ASSERT_EQ(FabriquerFilm(petit, o), 0);
    const Octets motif = LireOctets(petit);
    const size_t repetitions = (200u << 20) / (motif.size() - 8) + 1;
    const std::string film = d / "long.264";
    {
        std::ofstream f(film, std::ios::binary);
        const uint32_t mots[2] = {uint32_t(repetitions * 10), uint32_t(repetitions * 1000)};
        f.write(reinterpret_cast<const char*>(mots), sizeof mots);
        for (size_t i = 0; i < repetitions; ++i)
            f.write(reinterpret_cast<const char*>(motif.data() + 8), std::streamsize(motif.size() - 8));
    }
    fs::remove(petit);
    const pid_t enfant = fork();
    ASSERT_GE(enfant, 0);
    if (enfant == 0) {
        const std::string lecteur = LECTEUR_ZR7;
        const std::string sortie = d / "long.mp4";
        execl(lecteur.c_str(), lecteur.c_str(), "--copie", film.c_str(), sortie.c_str(), "--sans-rapport",
              static_cast<char*>(nullptr));
        _exit(127);
    }
    // Interrupted once the copy has started writing.
    bool ecrit = false;
    for (int i = 0; i < 20000 && !ecrit; ++i) {
        ecrit = !Autres(d, {"long.264"}).empty();
        if (!ecrit)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    kill(enfant, SIGINT);
    int statut = 0;
    ASSERT_EQ(waitpid(enfant, &statut, 0), enfant);
    EXPECT_TRUE(ecrit);
    EXPECT_FALSE(WIFEXITED(statut) && WEXITSTATUS(statut) == 0);
    EXPECT_TRUE(Autres(d, {"long.264"}).empty());
}

TEST(CopieExacteCalcul, ConteneurEtExtensionProposee)
{
    EXPECT_EQ(ConteneurPourSortie("/a/b.mp4"), ConteneurCopie::Mp4);
    EXPECT_EQ(ConteneurPourSortie("b.MKV"), ConteneurCopie::Matroska);
    EXPECT_EQ(ConteneurPourSortie(".mkv"), ConteneurCopie::Aucun);
    EXPECT_EQ(ConteneurPourSortie("b.mp4.avi"), ConteneurCopie::Aucun);
    EXPECT_STREQ(ExtensionProposeeCopie(FilmMjpeg), ".mkv");
    EXPECT_STREQ(ExtensionProposeeCopie(FilmH264), ".mp4");
    EXPECT_STREQ(ExtensionProposeeCopie(FilmMpeg4), ".mp4");
}

TEST(CopieExacteCalcul, PlageEtSon)
{
    struct Cas {
        int64_t debut, fin, premiere, finImages;
    } cas[] = {{0, -1, 0, 250}, {2, 4, 50, 100}, {0, 10, 0, 250}, {0, 99, 0, 250}, {4, 4, 100, 100}, {5, 3, 125, 125}};
    for (const Cas& c : cas) {
        const PlageImages p = PlageCopie(250, 10, c.debut, c.fin);
        EXPECT_EQ(p.premiere, c.premiere) << c.debut << " " << c.fin;
        EXPECT_EQ(p.fin, c.finImages) << c.debut << " " << c.fin;
    }
    EXPECT_EQ(OctetSonPourImage(25, 250, 10000), 8000);
    EXPECT_EQ(OctetSonPourImage(1, 3, 1000), 2666);
    EXPECT_EQ(OctetSonPourImage(0, 0, 1000), 0);
}

TEST(CopieExacteCalcul, ConfigurationsDesFlux)
{
    const Octets h264 = {0, 0, 0, 1, 9, 0x10, 0, 0, 0, 1, 0x67, 1, 2, 3, 0, 0, 1, 0x68, 4, 5, 0, 0, 0, 1, 0x65, 0x88, 0, 0, 1, 0x67, 9};
    EXPECT_EQ(ParametresH264(h264.data(), h264.size()),
              (Octets{0, 0, 0, 1, 0x67, 1, 2, 3, 0, 0, 0, 1, 0x68, 4, 5}));
    EXPECT_TRUE(ParametresH264(h264.data() + 20, h264.size() - 20).empty()); // after the slice
    const Octets mpeg4 = {0, 0, 1, 0xB0, 1, 0, 0, 1, 0x20, 7, 7, 0, 0, 1, 0xB6, 0x10};
    EXPECT_EQ(EntetesConfigMpeg4(mpeg4.data(), mpeg4.size()), Octets(mpeg4.begin(), mpeg4.begin() + 11));
    EXPECT_TRUE(EntetesConfigMpeg4(mpeg4.data() + 11, mpeg4.size() - 11).empty());
}

TEST(CopieExacteCalcul, DateDeCreationEnUtc)
{
    const char* avant = std::getenv("TZ");
    const std::string garde = avant ? avant : "";
    setenv("TZ", "UTC-2", 1); // two hours ahead of UTC
    tzset();
    // 12/05/2014 10:15:00 local
    const double jours = 41771 + (10 * 3600 + 15 * 60) / 86400.0;
    EXPECT_EQ(DateCreationConteneur(jours), "2014-05-12T08:15:00.000000Z");
    EXPECT_EQ(DateCreationConteneur(jours + 0.5 / 86400), "2014-05-12T08:15:00.500000Z");
    EXPECT_EQ(DateCreationConteneur(0), "");
    EXPECT_EQ(DateCreationConteneur(NAN), "");
    if (avant)
        setenv("TZ", garde.c_str(), 1);
    else
        unsetenv("TZ");
    tzset();
}
