// Evidence exports end to end: the AVI with the date burned in (read back
// from the decoded pictures beside their numbers), the extraction of a
// protected film and the command line, each checked with sha256sum -c.
#include "engine/fichierfilm.h"
#include "export/avi_export.h"
#include "export/extraction.h"
#include "export/incrustation.h"
#include "export/preuves.h"
#include "outils_export.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>

#include <unistd.h>

namespace fs = std::filesystem;

namespace {

bool Verifier(const std::string& dossier, const std::string& liste)
{
    return std::system(("cd '" + dossier + "' && sha256sum --quiet -c '" + liste + "' >/dev/null 2>&1").c_str()) == 0;
}

// Mean difference, over the box, between a decoded top-down RGB picture and
// the box the test draws itself for `texte`.
double EcartBoite(const uint8_t* rgb, int l, int h, const std::string& texte)
{
    std::vector<unsigned char> reference(size_t(l) * h * 3, 128);
    const BoiteIncrustation b = IncrusterTexte(reference.data(), l, h, ptrdiff_t(l) * 3, texte);
    if (b.echelle == 0)
        return 1e9;
    double somme = 0;
    for (int y = b.haut; y < b.haut + b.hauteur; ++y)
        for (int x = b.gauche; x < b.gauche + b.largeur; ++x)
            somme += std::abs(int(rgb[(size_t(y) * l + x) * 3 + 1]) - int(reference[(size_t(y) * l + x) * 3 + 1]));
    return somme / (double(b.largeur) * b.hauteur);
}

// Over the pixels where the boxes of two texts differ: the mean distance of
// the decoded picture to each.
std::pair<double, double> Departager(const uint8_t* rgb, int l, int h, const std::string& a, const std::string& b)
{
    std::vector<unsigned char> ra(size_t(l) * h * 3, 128), rb(size_t(l) * h * 3, 128);
    const BoiteIncrustation boite = IncrusterTexte(ra.data(), l, h, ptrdiff_t(l) * 3, a);
    IncrusterTexte(rb.data(), l, h, ptrdiff_t(l) * 3, b);
    double da = 0, db = 0;
    int n = 0;
    for (int y = 0; y < boite.hauteur; ++y) {
        for (int x = 0; x < boite.largeur; ++x) {
            const size_t i = (size_t(y) * l + x) * 3 + 1;
            if (ra[i] == rb[i])
                continue;
            da += std::abs(int(rgb[i]) - int(ra[i]));
            db += std::abs(int(rgb[i]) - int(rb[i]));
            ++n;
        }
    }
    return n ? std::make_pair(da / n, db / n) : std::make_pair(0.0, 0.0);
}

struct Image {
    int numero;
    double ecartAttendu; // mean distance to the box of its own time
    double ecartAutre;   // how much closer to it than to the box one second later
};

// Every decoded picture of an AVI: its number, and how far its box is from
// the box of its own time and from that of a time one second off.
std::vector<Image> Relire(const std::string& avi, const FilmSource& film, int l, int h)
{
    const std::string brut = Commande("ffmpeg -v error -i '" + avi + "' -f rawvideo -pix_fmt rgb24 - 2>/dev/null");
    std::vector<Image> images;
    const size_t taille = size_t(l) * h * 3;
    for (size_t i = 0; i + taille <= brut.size(); i += taille) {
        const auto* rgb = reinterpret_cast<const uint8_t*>(brut.data() + i);
        Image im;
        im.numero = LireNumeroRGB(rgb, l, h);
        const double t = film.SecondesImage(im.numero < 0 ? 0 : im.numero);
        const auto texte = [&](double s) {
            return TexteIncrustation(film.dates, film.dateDebut, film.dateFin, film.DureeSecondes(), s);
        };
        im.ecartAttendu = EcartBoite(rgb, l, h, texte(t));
        const auto [proche, loin] = Departager(rgb, l, h, texte(t), texte(t + 1.0));
        im.ecartAutre = loin - proche; // > 0: closer to its own time

        images.push_back(im);
    }
    return images;
}

std::string Film(const DossierTemporaire& d, const std::string& nom, OptionsFilm o)
{
    SilencerCodecs();
    EXPECT_EQ(FabriquerFilm(d / nom, o), 0);
    return d / nom;
}

ParametresAvi Parametres(const std::string& film, const std::string& avi)
{
    EnteteFilm e;
    LireEnteteFilm(film, e);
    ParametresAvi p;
    p.cheminFilm = film;
    p.type = TypeDeFilm(film);
    p.nbImages = e.NbImages;
    p.dureeSecondes = e.DureeMs / 1000;
    p.cheminAvi = avi;
    return p;
}

} // namespace

TEST(PreuvesExports, AviAvecLaDateIncrusteeRelueEtVerifiee)
{
    DossierTemporaire d;
    for (const char* nom : {"date.mjp", "date.mp4"}) {
        OptionsFilm o;
        o.nbImages = 30;
        o.dureeMs = 3000;
        o.dates = true;
        LireDateHeure("31/12/2019 23:59:58", o.dateDebut); // the date turns within the film
        const std::string film = Film(d, nom, o);
        FilmSource source;
        ASSERT_EQ(LireFilmSource(film, source), 0);
        const std::string avi = film + ".avi";

        ParametresAvi p = Parametres(film, avi);
        p.recoder = true; // an MPEG-4 film is decoded too
        HachageSource hachage(TailleFichier(film));
        SuiviAvi suivi;
        suivi.observateurSource = [&](const unsigned char* b, size_t n) { hachage.Ajouter(b, n); };
        suivi.crochetImage = CrochetIncrustation(source);
        const BilanAvi b = ExportAvi(p, suivi);
        ASSERT_EQ(b.resultat, ResultatAvi::Enregistre) << nom;

        // One read: the source's digest came from the export itself.
        const std::string sha = hachage.Resultat();
        std::string attendu;
        ASSERT_EQ(Sha256Fichier(film, attendu), 0);
        EXPECT_EQ(sha, attendu);
        InfosRapport r = RapportAvi(source, avi, b.cadence, b.echantillons, true, sha);
        ASSERT_EQ(EcrireRapportIntegrite(r), 0);
        EXPECT_TRUE(Verifier(d.Chemin(), fs::path(avi).filename().string() + ".sha256")) << nom;

        const std::vector<Image> images = Relire(avi, source, 320, 240);
        ASSERT_GE(images.size(), 25u) << nom;
        int precedent = -1;
        for (const Image& im : images) {
            ASSERT_GT(im.numero, precedent) << nom; // numbers still readable, in order
            precedent = im.numero;
            EXPECT_LT(im.ecartAttendu, 25) << nom << " image " << im.numero;
            EXPECT_GT(im.ecartAutre, 60) << nom << " image " << im.numero;
        }
    }
}

TEST(PreuvesExports, CopieMpeg4SansIncrustationResteUneCopie)
{
    DossierTemporaire d;
    OptionsFilm o;
    o.nbImages = 20;
    const std::string film = Film(d, "copie.mp4", o);
    FilmSource source;
    LireFilmSource(film, source);
    const BilanAvi b = ExportAvi(Parametres(film, d / "copie.avi"));
    ASSERT_EQ(b.resultat, ResultatAvi::Enregistre);
    // No box: the film time of picture 0 is not found in the corner.
    const std::vector<Image> images = Relire(d / "copie.avi", source, 320, 240);
    ASSERT_FALSE(images.empty());
    EXPECT_GT(images[0].ecartAttendu, 25);
}

TEST(PreuvesExports, ExtractionDUnFilmProtegeVerifiee)
{
    DossierTemporaire d;
    OptionsFilm o;
    o.nbImages = 100;
    o.motDePasse = "1234";
    const std::string film = Film(d, "prot.264", o);
    fs::create_directory(d / "copies");
    Extrait s;
    ASSERT_EQ(ExtraireSegment(film, d / "copies/extrait.264", 2, 6, nullptr, &s), ResultatExtraction::Genere);
    FilmSource source;
    LireFilmSource(film, source);
    InfosRapport r = RapportExtraction(source, d / "copies/extrait.264", s.DebutSecondes, s.FinSecondes,
                                       s.PremiereImage, s.NbImages);
    ASSERT_EQ(EcrireRapportIntegrite(r), 0);
    EXPECT_TRUE(r.protege);
    EXPECT_TRUE(Verifier(d / "copies", "extrait.264.sha256"));
    const Octets sommes = LireOctets(d / "copies/extrait.264.sha256");
    const std::string texte(sommes.begin(), sommes.end());
    EXPECT_NE(texte.find(d / "prot.mdp"), std::string::npos) << texte;
    EXPECT_EQ(r.premiereImage, 20);
}

// A re-export without a report removes the report files an earlier export
// of that name left: they would vouch for another file.
TEST(PreuvesExports, SansRapportEffaceLesAnciens)
{
    DossierTemporaire d;
    OptionsFilm o;
    o.nbImages = 20;
    const std::string film = Film(d, "r.mjp", o);
    const std::string lecteur = std::string("env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM= ") + LECTEUR_ZR7;
    auto statut = [&](const std::string& arguments) {
        const int s = std::system((lecteur + " " + arguments + " >/dev/null 2>&1").c_str());
        return WIFEXITED(s) ? WEXITSTATUS(s) : -1;
    };
    ASSERT_EQ(statut("--extraire '" + film + "' 0 1 '" + (d / "c.mjp") + "'"), 0);
    ASSERT_TRUE(fs::exists(d / "c.mjp.sha256"));
    ASSERT_TRUE(fs::exists(d / "c.mjp.rapport.txt"));
    EXPECT_EQ(statut("--extraire '" + film + "' --sans-rapport 0 2 '" + (d / "c.mjp") + "'"), 0);
    EXPECT_FALSE(fs::exists(d / "c.mjp.sha256"));
    EXPECT_FALSE(fs::exists(d / "c.mjp.rapport.txt"));
    ASSERT_EQ(statut("--avi '" + film + "' '" + (d / "a.avi") + "'"), 0);
    ASSERT_TRUE(fs::exists(d / "a.avi.sha256"));
    EXPECT_EQ(statut("--sans-rapport --avi '" + film + "' '" + (d / "a.avi") + "'"), 2); // the command comes first
    EXPECT_EQ(statut("--avi --sans-rapport '" + film + "' '" + (d / "a.avi") + "'"), 0);
    EXPECT_FALSE(fs::exists(d / "a.avi.sha256"));
    EXPECT_FALSE(fs::exists(d / "a.avi.rapport.txt"));
    // A failed export leaves an earlier report alone.
    ASSERT_EQ(statut("--extraire '" + film + "' 0 1 '" + (d / "c.mjp") + "'"), 0);
    EXPECT_EQ(statut("--extraire '" + film + "' 5 9 '" + (d / "c.mjp") + "' --sans-rapport"), 2);
    EXPECT_TRUE(fs::exists(d / "c.mjp.sha256"));
}

// One unreadable companion is listed as such and the report goes on; the
// film is said protected only when its record is its own.
TEST(PreuvesExports, CompagnonIllisibleEtProtection)
{
    DossierTemporaire d;
    OptionsFilm o;
    o.nbImages = 20;
    o.son = true;
    const std::string film = Film(d, "c.mjp", o);
    EcrireOctets(d / "sortie.bin", Octets{1, 2, 3});
    FilmSource source;
    LireFilmSource(film, source);
    InfosRapport r = RapportPhoto(source, d / "sortie.bin", 0, 0);
    r.compagnons.resize(2);
    r.compagnons[0].chemin = d / "c.pcm";
    r.compagnons[1].chemin = d / "absent.msr";
    ASSERT_EQ(EcrireRapportIntegrite(r), 0);
    EXPECT_FALSE(r.compagnons[0].illisible);
    EXPECT_TRUE(r.compagnons[1].illisible);
    const Octets texte = LireOctets(d / "sortie.bin.rapport.txt");
    const std::string rapport(texte.begin(), texte.end());
    EXPECT_NE(rapport.find("absent.msr (illisible : sans empreinte)"), std::string::npos) << rapport;
    EXPECT_NE(rapport.find("protégé par mot de passe : non"), std::string::npos);
    EXPECT_TRUE(Verifier(d.Chemin(), "sortie.bin.sha256")); // the list holds what can be checked
    const Octets sommes = LireOctets(d / "sortie.bin.sha256");
    EXPECT_EQ(std::string(sommes.begin(), sommes.end()).find("absent.msr"), std::string::npos);

    // Unreadable by its mode (for a user the mode binds).
    if (geteuid() != 0) {
        fs::permissions(d / "c.pcm", fs::perms::none);
        InfosRapport m = RapportPhoto(source, d / "sortie.bin", 0, 0);
        EXPECT_EQ(EcrireRapportIntegrite(m), 0);
        fs::permissions(d / "c.pcm", fs::perms::owner_read | fs::perms::owner_write);
    }

    // A junk record beside an unprotected film: not protected.
    EcrireOctets(d / "c.mdp", Octets(80, 0x41));
    InfosRapport j = RapportPhoto(source, d / "sortie.bin", 0, 0);
    ASSERT_EQ(EcrireRapportIntegrite(j), 0);
    EXPECT_FALSE(j.protege);
    const Octets t2 = LireOctets(d / "sortie.bin.rapport.txt");
    EXPECT_NE(std::string(t2.begin(), t2.end()).find("protégé par mot de passe : non"), std::string::npos);
    // A record of this film: protected, whatever the password.
    o.motDePasse = "x";
    const std::string prot = Film(d, "p.mjp", o);
    FilmSource sp;
    LireFilmSource(prot, sp);
    InfosRapport p = RapportPhoto(sp, d / "sortie.bin", 0, 0);
    ASSERT_EQ(EcrireRapportIntegrite(p), 0);
    EXPECT_TRUE(p.protege);
}

TEST(PreuvesExports, LigneDeCommande)
{
    DossierTemporaire d;
    OptionsFilm o;
    o.nbImages = 20;
    o.dates = true;
    const std::string film = Film(d, "cmd.mjp", o);
    const std::string lecteur = LECTEUR_ZR7;
    auto statut = [&](const std::string& arguments) {
        const int s = std::system((lecteur + " " + arguments + " >/dev/null 2>&1").c_str());
        return WIFEXITED(s) ? WEXITSTATUS(s) : -1;
    };
    EXPECT_EQ(statut("--avi '" + film + "' '" + (d / "a.avi") + "' --incruster-date"), 0);
    EXPECT_TRUE(Verifier(d.Chemin(), "a.avi.sha256"));
    const Octets rapport = LireOctets(d / "a.avi.rapport.txt");
    EXPECT_NE(std::string(rapport.begin(), rapport.end()).find("Date incrustée dans les images : oui"),
              std::string::npos);
    EXPECT_EQ(statut("--avi '" + film + "' '" + (d / "b.avi") + "' --sans-rapport"), 0);
    EXPECT_TRUE(fs::exists(d / "b.avi"));
    EXPECT_FALSE(fs::exists(d / "b.avi.sha256"));
    EXPECT_EQ(statut("--extraire '" + film + "' 0 1 '" + (d / "c.mjp") + "'"), 0);
    EXPECT_TRUE(Verifier(d.Chemin(), "c.mjp.sha256"));
    // A report that cannot be written: failure, the output kept.
    fs::create_directory(d / "e.mjp.sha256");
    EXPECT_EQ(statut("--extraire '" + film + "' 0 1 '" + (d / "e.mjp") + "'"), 1);
    EXPECT_TRUE(fs::exists(d / "e.mjp"));
}
