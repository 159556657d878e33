// The film as the AVI export reads it, when the film shrinks under it (a
// recorder rewriting it, a pulled USB stick): no signal, the bytes past
// the cut are an end of data, and the export reports a failure without
// leaving a file behind.
#include "outils_export.h"

#include "export/avi_export.h"
#include "engine/fichierfilm.h"
#include "export/vue_film.h"

#include <gtest/gtest.h>

#include <filesystem>

#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// Nothing in the folder but the films: no AVI, no temporary file.
bool SeulementFilms(const DossierTemporaire& dossier)
{
    for (const auto& e : fs::directory_iterator(dossier.Chemin()))
        if (e.path().filename().string().find(".avi") != std::string::npos)
            return false;
    return true;
}

} // namespace

TEST(VueFilm, FilmRaccourciPendantLaLecture)
{
    DossierTemporaire dossier;
    ASSERT_TRUE(dossier.Pret());
    const std::string chemin = dossier / "f.mjp";
    Octets contenu(size_t(6) << 20);
    for (size_t i = 0; i < contenu.size(); ++i)
        contenu[i] = static_cast<unsigned char>(i * 7 + 1);
    EcrireOctets(chemin, contenu);

    VueFilm v;
    ASSERT_EQ(v.Ouvrir(chemin, false), 0);
    ASSERT_EQ(v.TailleCorps(), int64_t(contenu.size()) - 8);
    v.Preparer(1000);
    const size_t coupe = size_t(3) << 20;
    ASSERT_EQ(truncate(chemin.c_str(), off_t(coupe)), 0);
    v.Preparer(v.TailleCorps());
    EXPECT_TRUE(v.Tronquee());
    // Every byte read before the cut is the file's; past it, zeros.
    const unsigned char* d = v.Corps();
    EXPECT_TRUE(std::equal(d, d + coupe - 8, contenu.begin() + 8));
    size_t nonNuls = 0;
    for (int64_t i = int64_t(coupe) - 8; i < v.TailleCorps(); ++i)
        nonNuls += d[i] != 0;
    EXPECT_EQ(nonNuls, 0u);
    v.Liberer(v.TailleCorps());
    v.Terminer();

    // An unchanged film reads whole and is not cut.
    EcrireOctets(chemin, contenu);
    ASSERT_EQ(v.Ouvrir(chemin, false), 0);
    v.Preparer(v.TailleCorps());
    EXPECT_FALSE(v.Tronquee());
    EXPECT_TRUE(std::equal(v.Corps(), v.Corps() + v.TailleCorps(), contenu.begin() + 8));
}

// The film cut to a few pictures once the export has written its first
// sample: for a copied MPEG-4 film and a decoded MJPEG film alike, a read
// failure, no AVI and no temporary file.
TEST(VueFilm, ExportDUnFilmRaccourci)
{
    SilencerCodecs();
    for (const char* extension : {".mjp", ".mp4"}) {
        SCOPED_TRACE(extension);
        DossierTemporaire dossier;
        ASSERT_TRUE(dossier.Pret());
        OptionsFilm o;
        o.largeur = 640;
        o.hauteur = 480;
        o.nbImages = 150;
        o.gop = 1;
        o.qualiteJpeg = 98;
        const std::string film = dossier / (std::string("film") + extension);
        ResultatFilm r;
        ASSERT_EQ(FabriquerFilm(film, o, &r), 0);
        ASSERT_GT(r.tailleCorps, size_t(2) << 20); // well past what is read ahead

        ParametresAvi p;
        p.cheminFilm = film;
        p.type = TypeDeFilm(film);
        p.nbImages = r.nbImages;
        p.dureeSecondes = r.dureeMs / 1000;
        p.cheminAvi = dossier / "sortie.avi";
        SuiviAvi suivi;
        bool coupe = false;
        suivi.progression = [&](int64_t, int64_t) {
            if (!coupe)
                coupe = truncate(film.c_str(), 200000) == 0;
        };
        const BilanAvi b = ExportAvi(p, suivi);
        EXPECT_TRUE(coupe);
        EXPECT_EQ(b.resultat, ResultatAvi::ErreurLecture);
        EXPECT_STREQ(MessageAvi(b.resultat), "Erreur de création");
        EXPECT_TRUE(SeulementFilms(dossier));
    }
}
