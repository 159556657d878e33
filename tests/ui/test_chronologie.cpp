// The day strip and the previews: the day's films from folders of hourly
// films (with and without ".hrd", hours missing, names of other days and
// files that are no film), the mapping and zoom of the strip, the preview's
// key picture and decoding for the three kinds, the cache bound, the strip
// widget, and both in the main window.
#include "engine/apercu_calcul.h"
#include "engine/fichierfilm.h"
#include "engine/index_images.h"
#include "engine/th_indexeur.h"
#include "fenetre_essai.h"
#include "filmmaker.h"
#include "numero_image.h"
#include "ui/apercu.h"
#include "ui/chronologie.h"
#include "ui/chronologie_calcul.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QHelpEvent>
#include <QMouseEvent>
#include <QToolTip>
#include <QWheelEvent>

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

#include <sys/stat.h>
#include <iterator>

namespace {

constexpr double H = 3600, M = 60;

DateHeure Le(int heure, int minute, int seconde = 0, int jour = 12)
{
    DateHeure d;
    d.jour = jour;
    d.heure = heure;
    d.minute = minute;
    d.seconde = seconde;
    return d;
}

// A film of `dureeMs` in the hour folders of `racine`, named by `nom`
// (its start); its ".hrd" (when `dates`) starts at `debutDates`.
std::string Film(const std::string& racine, const DateHeure& nom, const char* ext, uint32_t dureeMs, bool dates,
                 const DateHeure& debutDates, bool mesures = false)
{
    OptionsFilm o;
    o.largeur = 64;
    o.hauteur = 48;
    o.nbImages = 10;
    o.dureeMs = dureeMs;
    o.dates = dates;
    o.dateDebut = debutDates;
    o.mesures = mesures;
    const std::string chemin = CheminHoraire(racine, nom, ext);
    EXPECT_EQ(FabriquerFilm(chemin, o), 0) << chemin;
    return chemin;
}

void Ecrire(const std::string& chemin, const std::string& octets)
{
    std::ofstream(chemin, std::ios::binary) << octets;
}

// A day of films: 10:00 (10 min, ".hrd" from 10:00:30), 10:20 (10 min,
// no ".hrd", measures), 13:05 (".264", 20 min, ".hrd"); hours 11 and 12
// missing. Beside them: a film of the next day, a name that is not
// hourly, a film whose header is not valid, a file of another kind, and
// FIFOs named as a film and as a measure file (a scan must not wait on them).
struct Journee {
    explicit Journee(const std::string& racine)
    {
        a = Film(racine, Le(10, 0), ".mjp", 600000, true, Le(10, 0, 30));
        b = Film(racine, Le(10, 20), ".mjp", 600000, false, Le(10, 20), true);
        c = Film(racine, Le(13, 5), ".264", 1200000, true, Le(13, 5));
        Film(racine, Le(10, 40, 0, 13), ".mjp", 600000, false, Le(10, 40));
        OptionsFilm o;
        o.largeur = 64, o.hauteur = 48, o.nbImages = 5;
        EXPECT_EQ(FabriquerFilm(racine + "/10/clip.mjp", o), 0);
        Ecrire(racine + "/10/12-05-2014-10-50.mjp", std::string(8, '\0'));
        Ecrire(racine + "/10/12-05-2014-10-55.txt", "12345678");
        EXPECT_EQ(mkfifo((racine + "/10/12-05-2014-10-45.mjp").c_str(), 0600), 0);
        EXPECT_EQ(mkfifo(NomCompagnon(a, "msr").c_str(), 0600), 0);
    }
    std::string a, b, c;
};

std::vector<uint8_t> EnRGB(const ImageApercu& i)
{
    std::vector<uint8_t> rgb(size_t(i.largeur) * size_t(i.hauteur) * 3);
    for (size_t k = 0; k < i.pixels.size(); ++k) {
        rgb[3 * k] = uint8_t(i.pixels[k] >> 16);
        rgb[3 * k + 1] = uint8_t(i.pixels[k] >> 8);
        rgb[3 * k + 2] = uint8_t(i.pixels[k]);
    }
    return rgb;
}

int NumeroApercu(const ImageApercu& i)
{
    const std::vector<uint8_t> rgb = EnRGB(i);
    return LireNumeroRGB(rgb.data(), i.largeur, i.hauteur);
}

IndexImages IndexDuFichier(const std::string& chemin)
{
    std::ifstream f(chemin, std::ios::binary);
    std::vector<unsigned char> d((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    return IndexerOctets(TypeDeFilm(chemin), d.data() + 8, d.size() - 8, 8);
}

} // namespace

TEST(ChronologieCalcul, FilmsDuJourSpansEtTrous)
{
    QTemporaryDir dossier;
    const std::string racine = dossier.path().toStdString();
    const Journee j(racine);

    JourDeFilms jour;
    ASSERT_EQ(ScannerJour(j.b, jour), 0);
    EXPECT_EQ(jour.jour, 12);
    EXPECT_EQ(jour.date, JoursDepuis1899(Le(0, 0)));
    ASSERT_EQ(jour.films.size(), 3u);
    const FilmDuJour& a = jour.films[0];
    const FilmDuJour& b = jour.films[1];
    const FilmDuJour& c = jour.films[2];
    EXPECT_EQ(a.chemin, j.a);
    EXPECT_EQ(b.chemin, j.b);
    EXPECT_EQ(c.chemin, j.c);
    // ".hrd": its own start, not the named minute.
    EXPECT_TRUE(a.datesFichier);
    EXPECT_NEAR(a.debut, 10 * H + 30, 0.01);
    EXPECT_NEAR(a.fin, 10 * H + 10 * M + 30, 0.01);
    // No ".hrd": the name and the header's duration.
    EXPECT_FALSE(b.datesFichier);
    EXPECT_DOUBLE_EQ(b.debut, 10 * H + 20 * M);
    EXPECT_DOUBLE_EQ(b.fin, 10 * H + 30 * M);
    EXPECT_EQ(b.dureeSecondes, 600u);
    EXPECT_NEAR(c.fin - c.debut, 1200, 0.01);
    // Measure lines of b, one a second, as instants of the day.
    ASSERT_FALSE(b.mesures.empty());
    EXPECT_DOUBLE_EQ(b.mesures.front(), b.debut);
    EXPECT_GT(b.mesures.size(), 500u);
    EXPECT_TRUE(a.mesures.empty());

    const std::vector<Intervalle> trous = TrousDuJour(jour.films);
    ASSERT_EQ(trous.size(), 4u);
    EXPECT_NEAR(trous[0].debut, 0, 1e-9);
    EXPECT_NEAR(trous[0].fin, 10 * H + 30, 0.01);
    EXPECT_NEAR(trous[1].debut, 10 * H + 10 * M + 30, 0.01);
    EXPECT_NEAR(trous[1].fin, 10 * H + 20 * M, 0.01);
    // Hours 11 and 12 are one gap.
    EXPECT_NEAR(trous[2].debut, 10 * H + 30 * M, 0.01);
    EXPECT_NEAR(trous[2].fin, 13 * H + 5 * M, 0.01);
    EXPECT_NEAR(trous[3].debut, 13 * H + 25 * M, 0.01);
    EXPECT_NEAR(trous[3].fin, SecondesParJour, 1e-9);

    // The same day from a film of another hour folder.
    JourDeFilms depuisC;
    ASSERT_EQ(ScannerJour(j.c, depuisC), 0);
    EXPECT_EQ(depuisC.films.size(), 3u);
    // Not an hourly name: no day.
    EXPECT_EQ(ScannerJour(racine + "/10/clip.mjp", depuisC), -1);
    EXPECT_TRUE(depuisC.films.empty());
}

TEST(ChronologieCalcul, DossierPlatEtDatesRefusees)
{
    QTemporaryDir dossier;
    const std::string plat = dossier.path().toStdString();
    // Films side by side in one folder that is not an hour folder.
    const std::string f1 = plat + "/12-05-2014-08-00.mp4";
    const std::string f2 = plat + "/12-05-2014-09-00.mjp";
    OptionsFilm o;
    o.largeur = 64, o.hauteur = 48, o.nbImages = 10, o.dureeMs = 60000;
    ASSERT_EQ(FabriquerFilm(f1, o), 0);
    ASSERT_EQ(FabriquerFilm(f2, o), 0);
    // A ".hrd" of another year is not this film's: the name is used.
    ASSERT_EQ(EcrireDatesFilm(f2, JoursDepuis1899(Le(9, 0)) - 400, JoursDepuis1899(Le(9, 0)) - 399), 0);
    EXPECT_EQ(DossiersDuJour(f1), std::vector<std::string>{plat});
    JourDeFilms jour;
    ASSERT_EQ(ScannerJour(f1, jour), 0);
    ASSERT_EQ(jour.films.size(), 2u);
    EXPECT_DOUBLE_EQ(jour.films[0].debut, 8 * H);
    EXPECT_FALSE(jour.films[1].datesFichier);
    EXPECT_DOUBLE_EQ(jour.films[1].debut, 9 * H);
    EXPECT_DOUBLE_EQ(jour.films[1].fin, 9 * H + 60);
}

TEST(ChronologieCalcul, PlacesFenetreEtZoom)
{
    std::vector<FilmDuJour> films(2);
    films[0].chemin = "a", films[0].debut = 100, films[0].fin = 300, films[0].dureeSecondes = 100;
    films[1].chemin = "b", films[1].debut = 1000, films[1].fin = 1600, films[1].dureeSecondes = 600;
    // Proportional inside a film whose span is not its duration.
    EXPECT_DOUBLE_EQ(SecondeDansFilm(films[0], 200), 50);
    EXPECT_DOUBLE_EQ(InstantDuFilm(films[0], 50), 200);
    PlaceDansJour p = PlacePourInstant(films, 1300, false);
    EXPECT_EQ(p.film, 1);
    EXPECT_DOUBLE_EQ(p.seconde, 300);
    EXPECT_EQ(PlacePourInstant(films, 500, false).film, -1);
    p = PlacePourInstant(films, 500, true);
    EXPECT_EQ(p.film, 1);
    EXPECT_DOUBLE_EQ(p.seconde, 0);
    EXPECT_EQ(PlacePourInstant(films, 2000, true).film, -1);
    EXPECT_EQ(FilmDuChemin(films, "b"), 1);
    EXPECT_EQ(FilmDuChemin(films, "z"), -1);

    const FenetreTemps jour;
    EXPECT_DOUBLE_EQ(XPourInstant(jour, 43200, 1000), 500);
    EXPECT_DOUBLE_EQ(InstantPourX(jour, 250, 1000), 21600);
    // Zooming keeps the instant under the pointer in place.
    const double pivot = 10 * H;
    FenetreTemps z = Zoomer(jour, pivot, 3);
    EXPECT_NEAR(z.fin - z.debut, SecondesParJour / std::pow(FacteurZoomCran, 3), 1e-6);
    EXPECT_NEAR(XPourInstant(z, pivot, 1000), XPourInstant(jour, pivot, 1000), 1e-6);
    // Down to a few minutes, never less; back out to the whole day, never more.
    z = Zoomer(z, pivot, 100);
    EXPECT_DOUBLE_EQ(z.fin - z.debut, FenetreMinSecondes);
    EXPECT_LE(z.debut, pivot);
    EXPECT_GE(z.fin, pivot);
    z = Zoomer(z, pivot, -100);
    EXPECT_DOUBLE_EQ(z.debut, 0);
    EXPECT_DOUBLE_EQ(z.fin, SecondesParJour);
    // Near midnight the window stays inside the day.
    z = Zoomer(jour, 23 * H + 59 * M, 10);
    EXPECT_LE(z.fin, SecondesParJour);
    z = Decaler(z, 5000);
    EXPECT_DOUBLE_EQ(z.fin, SecondesParJour);
    z = Decaler(z, -1e6);
    EXPECT_DOUBLE_EQ(z.debut, 0);

    EXPECT_EQ(TexteInstant(10 * H + 42 * M + 17.9), "10:42:17");
    EXPECT_EQ(TexteInstant(0), "00:00:00");
    EXPECT_EQ(JourDepuis1899(12, 5, 2014), JoursDepuis1899(Le(0, 0)));
    EXPECT_EQ(JourDepuis1899(1, 3, 2000) - JourDepuis1899(28, 2, 2000), 2);
    EXPECT_EQ(PasGraduation(SecondesParJour, 1440), 3600);
    EXPECT_EQ(PasGraduation(600, 1200), 60);
}

TEST(ApercuCalcul, CacheBorneEtMoinsRecemmentUtilise)
{
    ImageApercu image;
    image.largeur = LargeurApercu, image.hauteur = HauteurApercu;
    image.pixels.assign(size_t(LargeurApercu) * HauteurApercu, 0);
    const size_t poids = image.Octets();

    // The default budget: a long hover over many films stays under 64 MB.
    CacheApercus grand;
    EXPECT_EQ(grand.Budget(), 64u * 1024 * 1024);
    for (int k = 0; k < 1500; ++k)
        grand.Ajouter(CacheApercus::Cle("/f.mjp", k), image);
    EXPECT_LE(grand.Octets(), grand.Budget());
    EXPECT_GT(grand.Octets(), grand.Budget() - 2 * poids);
    EXPECT_LT(grand.Nombre(), 1500u);
    EXPECT_EQ(grand.Trouver(CacheApercus::Cle("/f.mjp", 0)), nullptr);
    EXPECT_NE(grand.Trouver(CacheApercus::Cle("/f.mjp", 1499)), nullptr);

    // A small budget: the least recently used go first.
    CacheApercus petit(5 * poids + 5 * 200);
    for (int k = 0; k < 5; ++k)
        petit.Ajouter(CacheApercus::Cle("/f.mjp", k), image);
    EXPECT_EQ(petit.Nombre(), 5u);
    ASSERT_NE(petit.Trouver(CacheApercus::Cle("/f.mjp", 0)), nullptr); // 0 is now the most recent
    petit.Ajouter(CacheApercus::Cle("/f.mjp", 5), image);
    EXPECT_EQ(petit.Nombre(), 5u);
    EXPECT_NE(petit.Trouver(CacheApercus::Cle("/f.mjp", 0)), nullptr);
    EXPECT_EQ(petit.Trouver(CacheApercus::Cle("/f.mjp", 1)), nullptr);
    // Replacing a key does not count it twice.
    const size_t avant = petit.Octets();
    petit.Ajouter(CacheApercus::Cle("/f.mjp", 5), image);
    EXPECT_EQ(petit.Octets(), avant);
    // A picture larger than the whole budget is not kept.
    ImageApercu enorme;
    enorme.largeur = 1000, enorme.hauteur = 1000;
    enorme.pixels.assign(1000000, 0);
    petit.Ajouter("x", enorme);
    EXPECT_EQ(petit.Trouver("x"), nullptr);
    EXPECT_LE(petit.Octets(), petit.Budget());
}

TEST(ApercuCalcul, ImageCleLaPlusProcheDesTroisSortes)
{
    QTemporaryDir dossier;
    for (const char* ext : {".mjp", ".mp4", ".264"}) {
        SCOPED_TRACE(ext);
        // 5 s at 10 pictures a second, a key picture every 10.
        OptionsFilm o;
        o.largeur = 320, o.hauteur = 240, o.nbImages = 50, o.cadence = 10, o.gop = 10;
        const std::string chemin = dossier.path().toStdString() + "/film" + ext;
        ASSERT_EQ(FabriquerFilm(chemin, o), 0);
        const IndexImages index = IndexDuFichier(chemin);
        const int64_t taille = TailleFichier(chemin);
        // Picture 24: key 20 is nearer than 30; picture 28: key 30. Every
        // MJPEG picture is a key picture.
        const bool mjpeg = std::string(ext) == ".mjp";
        for (auto [seconde, cle] : {std::pair<double, int>{2.4, 20}, {2.8, 30}, {0, 0}, {4.9, 40}}) {
            const int attendu = mjpeg ? int(seconde * 10 + 1e-9) : cle;
            int type = -1;
            const PlanApercu plan = PlanPourSeconde(chemin, seconde, &index, false, type);
            ASSERT_TRUE(plan.Valide());
            EXPECT_EQ(plan.image, attendu);
            EXPECT_EQ(plan.octet, index.Octet(attendu));
            EXPECT_LE(plan.fin, taille);
            ImageApercu image;
            ASSERT_EQ(DecoderApercu(chemin, type, plan, false, LargeurApercu, HauteurApercu, image), 0);
            // 4:3 fits the 16:9 box by its height.
            EXPECT_EQ(image.largeur, 120);
            EXPECT_EQ(image.hauteur, 90);
            EXPECT_EQ(NumeroApercu(image), attendu);
        }
        // Without the index: the key picture nearest to the proportional
        // offset (picture 22 lies between keys 20 and 30).
        int type = -1;
        const PlanApercu sans = PlanPourSeconde(chemin, 2.2, nullptr, false, type);
        ASSERT_TRUE(sans.Valide());
        ImageApercu image;
        ASSERT_EQ(DecoderApercu(chemin, type, sans, false, LargeurApercu, HauteurApercu, image), 0);
        const int n = NumeroApercu(image);
        if (mjpeg)
            EXPECT_NEAR(n, 22, 2);
        else
            EXPECT_EQ(n, 20);
        // Near the end: the last key picture.
        EXPECT_TRUE(PlanPourSeconde(chemin, 5, nullptr, false, type).Valide());
    }
}

TEST(ApercuCalcul, FilmProtege)
{
    QTemporaryDir dossier;
    OptionsFilm o;
    o.largeur = 320, o.hauteur = 240, o.nbImages = 30, o.cadence = 10, o.gop = 10;
    o.motDePasse = "secret";
    const std::string chemin = dossier.path().toStdString() + "/p.264";
    ASSERT_EQ(FabriquerFilm(chemin, o), 0);
    int type = -1;
    const PlanApercu plan = PlanPourSeconde(chemin, 1.0, nullptr, true, type);
    ASSERT_TRUE(plan.Valide());
    ImageApercu image;
    ASSERT_EQ(DecoderApercu(chemin, type, plan, true, LargeurApercu, HauteurApercu, image), 0);
    const int n = NumeroApercu(image);
    EXPECT_EQ(n, 10);
    // Read as stored, the bytes hold no picture.
    EXPECT_FALSE(PlanPourSeconde(chemin, 1.0, nullptr, false, type).Valide()
                 && DecoderApercu(chemin, type, plan, false, LargeurApercu, HauteurApercu, image) == 0
                 && NumeroApercu(image) == n);
}

// The preview thread: a second asked again comes from the cache; a
// protected film gives no picture without its password.
TEST(ApercuFil, CacheEtFilmProtege)
{
    QTemporaryDir dossier;
    OptionsFilm o;
    o.largeur = 320, o.hauteur = 240, o.nbImages = 30, o.cadence = 10, o.gop = 10;
    const std::string libre = dossier.path().toStdString() + "/libre.mp4";
    ASSERT_EQ(FabriquerFilm(libre, o), 0);
    o.motDePasse = "secret";
    const std::string protege = dossier.path().toStdString() + "/protege.mp4";
    ASSERT_EQ(FabriquerFilm(protege, o), 0);

    Th_Apercus fil;
    std::vector<std::pair<quint64, QImage>> rendus;
    QObject::connect(&fil, &Th_Apercus::Rendu, &fil,
                     [&](quint64 n, const QImage& i) { rendus.emplace_back(n, i); }, Qt::QueuedConnection);
    auto demander = [&](quint64 n, const std::string& chemin, double s, const std::string& mdp) {
        fil.Demander(n, chemin, s, mdp);
        return AttendreQue([&] { return !rendus.empty() && rendus.back().first == n; }, 10000);
    };
    ASSERT_TRUE(demander(1, libre, 1.0, ""));
    EXPECT_FALSE(rendus.back().second.isNull());
    EXPECT_EQ(fil.NbDecodes(), 1);
    ASSERT_TRUE(demander(2, libre, 1.0, ""));
    EXPECT_FALSE(rendus.back().second.isNull());
    EXPECT_EQ(fil.NbDecodes(), 1);
    EXPECT_GT(fil.OctetsCache(), 0u);
    ASSERT_TRUE(demander(3, protege, 1.0, "faux"));
    EXPECT_TRUE(rendus.back().second.isNull());
    ASSERT_TRUE(demander(4, protege, 1.0, "secret"));
    EXPECT_FALSE(rendus.back().second.isNull());
    EXPECT_EQ(fil.NbDecodes(), 2);
}

// The strip alone, with the window's side played by the test.
TEST(ChronologieWidget, SpansClicZoomBulleEtMarques)
{
    QTemporaryDir dossier;
    const Journee j(dossier.path().toStdString());
    std::string courant = j.b;
    double seconde = 60;
    std::vector<std::pair<std::string, int>> ouvertures;
    int dispositions = 0;
    LienChronologie lien;
    lien.cheminFilm = [&] { return courant; };
    lien.secondeFilm = [&] { return seconde; };
    lien.ouvrirA = [&](const std::string& c, int s) {
        ouvertures.emplace_back(c, s);
        courant = c;
        seconde = s;
    };
    lien.disposer = [&] { ++dispositions; };
    QWidget parent;
    Chronologie chrono(&parent, lien);
    chrono.setGeometry(0, 0, 1440, HauteurChronologie); // one pixel a minute
    parent.resize(1440, HauteurChronologie);
    parent.show();
    chrono.Suivre();
    ASSERT_TRUE(chrono.Utile());
    EXPECT_EQ(dispositions, 1);
    EXPECT_EQ(chrono.Jour().films.size(), 3u);
    EXPECT_EQ(chrono.Trous().size(), 4u);
    EXPECT_DOUBLE_EQ(chrono.InstantCourant(), 10 * H + 21 * M);

    // The hint: the time under the pointer and the film, or the gap.
    EXPECT_TRUE(chrono.TexteSous(10 * 60 + 25).startsWith(QStringLiteral("10:25:00")));
    EXPECT_TRUE(chrono.TexteSous(10 * 60 + 25).contains(QStringLiteral("12-05-2014-10-20.mjp")));
    EXPECT_TRUE(chrono.TexteSous(11 * 60 + 30).contains(QStringLiteral("pas d'enregistrement")));

    // The hint as the widget gives it on a help event.
    const QPoint pointe(11 * 60 + 30, 30);
    QHelpEvent aide(QEvent::ToolTip, pointe, chrono.mapToGlobal(pointe));
    QApplication::sendEvent(&chrono, &aide);
    EXPECT_TRUE(QToolTip::text().startsWith(QStringLiteral("11:30:00 — pas d'enregistrement")))
        << QToolTip::text().toStdString();

    // Hovering another film (not indexed) shows its preview; a gap hides it.
    Apercu apercu(&parent, nullptr, LienApercu{});
    chrono.FixerApercu(&apercu);
    const QPoint surC(13 * 60 + 15, 30);
    QMouseEvent survol(QEvent::MouseMove, surC, chrono.mapToGlobal(surC), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(&chrono, &survol);
    ASSERT_TRUE(AttendreQue([&] { return apercu.Bulle()->isVisible() && !apercu.Bulle()->pixmap().isNull(); },
                            10000));
    EXPECT_EQ(apercu.Fil()->NbDecodes(), 1);
    QMouseEvent versTrou(QEvent::MouseMove, pointe, chrono.mapToGlobal(pointe), Qt::NoButton, Qt::NoButton,
                         Qt::NoModifier);
    QApplication::sendEvent(&chrono, &versTrou);
    EXPECT_FALSE(apercu.Bulle()->isVisible());
    chrono.FixerApercu(nullptr);

    // What is drawn: films over the hatched gaps, motion marks at the bottom.
    chrono.FixerMouvements(j.b, {MomentMouvement{300, 360}});
    QImage vue = chrono.grab().toImage();
    const int basBande = HauteurChronologie - 2;
    const QColor film = vue.pixelColor(10 * 60 + 25, basBande - 10);
    const QColor trou = vue.pixelColor(12 * 60 + 3, basBande - 10);
    const QColor marque = vue.pixelColor(10 * 60 + 25, basBande);
    EXPECT_GT(film.blue(), 150);
    EXPECT_LT(trou.blue(), 120);
    EXPECT_GT(marque.red(), 200);
    EXPECT_LT(marque.blue(), 100);
    chrono.EffacerMouvements();
    vue = chrono.grab().toImage();
    EXPECT_LT(vue.pixelColor(10 * 60 + 25, basBande).red(), 150);

    // A click in another film opens it at that time; in a gap, the next film.
    QTest::mouseClick(&chrono, Qt::LeftButton, {}, QPoint(13 * 60 + 15, 30));
    ASSERT_EQ(ouvertures.size(), 1u);
    EXPECT_EQ(ouvertures[0].first, j.c);
    EXPECT_NEAR(ouvertures[0].second, 600, 1);
    QTest::mouseClick(&chrono, Qt::LeftButton, {}, QPoint(12 * 60, 30));
    ASSERT_EQ(ouvertures.size(), 2u);
    EXPECT_EQ(ouvertures[1].first, j.c);
    EXPECT_EQ(ouvertures[1].second, 0);
    EXPECT_DOUBLE_EQ(chrono.InstantCourant(), chrono.Jour().films[2].debut);

    // The wheel zooms around the pointer.
    const QPointF ou(10 * 60 + 25, 20);
    QWheelEvent molette(ou, chrono.mapToGlobal(ou), QPoint(), QPoint(0, 4 * 120), Qt::NoButton, Qt::NoModifier,
                        Qt::NoScrollPhase, false);
    QApplication::sendEvent(&chrono, &molette);
    const FenetreTemps f = chrono.Fenetre();
    EXPECT_NEAR(f.fin - f.debut, SecondesParJour / std::pow(FacteurZoomCran, 4), 1);
    EXPECT_NEAR(InstantPourX(f, ou.x(), chrono.width()), 10 * H + 25 * M, 1);
    EXPECT_TRUE(chrono.TexteSous(int(ou.x())).startsWith(QStringLiteral("10:25:00")));

    // Another day's film: a new scan; a film without an hourly name: none.
    courant = dossier.path().toStdString() + "/10/clip.mjp";
    chrono.Suivre();
    EXPECT_FALSE(chrono.Utile());
    EXPECT_EQ(dispositions, 2);
}

// The strip and the preview in the main window, with the real indexer.
class FenetreChronologie : public EssaiFenetre
{
protected:
    void SetUp() override
    {
        EssaiFenetre::SetUp();
        if (HasFatalFailure())
            return;
        Creer();
        w->resize(1200, 700);
        w->show();
    }
};

TEST_F(FenetreChronologie, BandeauOuvertureEtApercuAuSurvol)
{
    const std::string racine = dossier.path().toStdString();
    OptionsFilm o;
    o.largeur = 320, o.hauteur = 240, o.nbImages = 100, o.cadence = 10, o.gop = 10, o.dates = true;
    o.dateDebut = Le(10, 0);
    const std::string premier = CheminHoraire(racine, Le(10, 0), ".mp4");
    ASSERT_EQ(FabriquerFilm(premier, o), 0);
    o.dateDebut = Le(11, 0);
    const std::string second = CheminHoraire(racine, Le(11, 0), ".mp4");
    ASSERT_EQ(FabriquerFilm(second, o), 0);

    Selectionner(premier);
    ASSERT_STREQ(CheminFilm, premier.c_str());
    w->ChronologieFenetre->Suivre();
    ASSERT_TRUE(w->ChronologieFenetre->Utile());
    // The strip lies between the picture and the footer.
    EXPECT_TRUE(w->ChronologieFenetre->isVisible());
    EXPECT_EQ(w->ChronologieFenetre->geometry().bottom() + 1, w->Pied->geometry().top());
    EXPECT_EQ(w->Corps->geometry().bottom() + 1, w->ChronologieFenetre->geometry().top());

    // Opening the other film at a time: it is loaded and sought there.
    w->OuvrirFilmA(second, 6);
    EXPECT_STREQ(CheminFilm, second.c_str());
    EXPECT_EQ(w->CurseurMinutes1->value(), 6);
    EXPECT_EQ(SecondeDepart, 6);
    EXPECT_TRUE(w->FlagEnchainer->isChecked());

    // Hovering the slider shows a preview once the index is there.
    ASSERT_TRUE(AttendreQue([&] { return IndexFilm(second.c_str()) != nullptr; }, 20000));
    QSlider* curseur = w->CurseurMinutes1;
    const QPoint milieu(curseur->width() / 2, curseur->height() / 2);
    QMouseEvent survol(QEvent::MouseMove, milieu, curseur->mapToGlobal(milieu), Qt::NoButton, Qt::NoButton,
                       Qt::NoModifier);
    QApplication::sendEvent(curseur, &survol);
    QLabel* bulle = w->ApercuFenetre->Bulle();
    ASSERT_TRUE(AttendreQue([&] { return bulle->isVisible() && !bulle->pixmap().isNull(); }, 10000));
    // The picture (120 x 90) with its time under it, above the pointer.
    EXPECT_GE(bulle->pixmap().width(), 120);
    EXPECT_GT(bulle->pixmap().height(), 90);
    EXPECT_LT(bulle->geometry().bottom(), curseur->mapToGlobal(milieu).y());
    EXPECT_GE(w->ApercuFenetre->Fil()->NbDecodes(), 1);
    EXPECT_LE(w->ApercuFenetre->Fil()->OctetsCache(), BudgetCacheApercus);
    // The preview is the key picture nearest to the time under the pointer.
    const QImage vue = bulle->pixmap().toImage().copy(QRect((bulle->pixmap().width() - 120) / 2, 3, 120, 90))
                           .convertToFormat(QImage::Format_RGB888);
    const int n = LireNumeroRGB(vue.constBits(), vue.width(), vue.height());
    EXPECT_EQ(n % 10, 0);
    EXPECT_NEAR(n, curseur->maximum() > 0 ? 50 : 0, 10);
    // A click (a seek) hides it: the picture then shows that time.
    QMouseEvent appui(QEvent::MouseButtonPress, milieu, curseur->mapToGlobal(milieu), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QApplication::sendEvent(curseur, &appui);
    EXPECT_FALSE(bulle->isVisible());
    // The next move brings it back; leaving the slider hides it.
    QApplication::sendEvent(curseur, &survol);
    ASSERT_TRUE(AttendreQue([&] { return bulle->isVisible(); }, 10000));
    QEvent sortie(QEvent::Leave);
    QApplication::sendEvent(curseur, &sortie);
    EXPECT_FALSE(bulle->isVisible());
}
