// Start-up and shutdown: the command-line film, the program folders, and the
// whole run in its fixed order with test threads and a self-closing window.
#include "core/avis.h"
#include "core/boitemessage.h"
#include "core/demarrage.h"
#include "core/dossier_utilisateur.h"
#include "core/etat.h"
#include "core/messages.h"
#include "core/travail.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QStandardPaths>
#include <QTimer>
#include <QWidget>
#include <algorithm>
#include <atomic>
#include <cstring>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <future>
#include <mutex>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

std::string DossierTemporaire()
{
    char modele[] = "/tmp/zr7demarrageXXXXXX";
    return mkdtemp(modele) ? std::string(modele) + "/" : std::string();
}

void EcrireFilm(const std::string& chemin, uint32_t nb, uint32_t dureeMs, int octets = 8)
{
    unsigned char e[8];
    for (int i = 0; i < 4; ++i) {
        e[i] = static_cast<unsigned char>(nb >> (8 * i));
        e[4 + i] = static_cast<unsigned char>(dureeMs >> (8 * i));
    }
    std::ofstream f(chemin, std::ios::binary);
    f.write(reinterpret_cast<const char*>(e), octets);
    if (octets == 8)
        f << "corps";
}

class LigneCommande : public ::testing::Test
{
protected:
    std::string dossier;
    void SetUp() override
    {
        ReinitialiserEtat();
        dossier = DossierTemporaire();
        ASSERT_FALSE(dossier.empty());
    }
    void TearDown() override { std::system(("rm -rf '" + dossier + "'").c_str()); }
};

} // namespace

TEST(Arguments, JointsParUnEspace)
{
    char a0[] = "lecteurzr7", a1[] = "/films/ma", a2[] = "camera.mjp";
    char* argv[] = {a0, a1, a2, nullptr};
    EXPECT_EQ(JoindreArguments(3, argv), "/films/ma camera.mjp");
    EXPECT_EQ(JoindreArguments(1, argv), "");
}

TEST_F(LigneCommande, FilmsReconnusParExtensionExacte)
{
    struct Cas {
        std::string nom;
        int32_t type;
    } cas[] = {{"cam1.mjp", 1}, {"cam1.mp4", 0}, {"cam1.264", 2}};
    for (const Cas& c : cas) {
        ReinitialiserEtat();
        const std::string chemin = dossier + c.nom;
        EcrireFilm(chemin, 250, 10000);
        AnalyserLigneCommande(chemin);
        EXPECT_EQ(TypeFilm, c.type) << c.nom;
        EXPECT_EQ(std::string(CheminFilm), chemin) << c.nom;
        EXPECT_EQ(NbImagesFilm, 250u);
        EXPECT_EQ(DureeFilm, 10u);
    }
}

TEST_F(LigneCommande, RefusesSansRienSignaler)
{
    int messages = 0;
    RemplacerGestionnaireMessages([&](const DemandeMessage&) {
        ++messages;
        return ReponseMessage::Ok;
    });
    EcrireFilm(dossier + "ok.mjp", 250, 10000);
    EcrireFilm(dossier + "MAJ.MJP", 250, 10000);
    EcrireFilm(dossier + "court.mjp", 250, 10000, 6);
    EcrireFilm(dossier + "vide.mjp", 0, 0, 0);
    EcrireFilm(dossier + "zero.mjp", 0, 10000);
    EcrireFilm(dossier + "999.mjp", 10, 999);
    struct Cas {
        std::string texte;
        int32_t type;
    } cas[] = {
        {"\"" + dossier + "ok.mjp\"", -1}, // quotes are kept: last character is a quote
        {dossier + "MAJ.MJP", -1},         // extension compared case-sensitively
        {dossier + "absent.mjp", 1},
        {dossier + "court.mjp", 1},
        {dossier + "vide.mjp", 1},
        {dossier + "zero.mjp", 1},
        {dossier + "999.mjp", 1},
        {".mjp", 0}, // four characters: nothing happens
        {"a", 0},
        {"", 0},
    };
    for (const Cas& c : cas) {
        ReinitialiserEtat();
        AnalyserLigneCommande(c.texte);
        EXPECT_EQ(TypeFilm, c.type) << c.texte;
        EXPECT_STREQ(CheminFilm, "") << c.texte;
    }
    EXPECT_EQ(messages, 0);
    RemplacerGestionnaireMessages(nullptr);
}

// Paths of 300 bytes are taken whole, longer ones are no film; a FIFO,
// a folder or a device named like a film is refused without blocking.
TEST_F(LigneCommande, CheminsTropLongsEtFichiersSpeciaux)
{
    std::string profond = dossier;
    while (profond.size() < 300 - 8 - 100)
        profond += std::string(100 - 1, 'd') + "/";
    profond += std::string(300 - 8 - profond.size() - 1, 'e') + "/";
    ASSERT_EQ(profond.size(), 300u - 8);
    ASSERT_EQ(std::system(("mkdir -p '" + profond + "'").c_str()), 0);
    const std::string juste = profond + "cam1.mjp";  // 300 bytes
    const std::string trop = profond + "cam12.mjp";  // 301 bytes
    EcrireFilm(juste, 250, 10000);
    EcrireFilm(trop, 250, 10000);
    AnalyserLigneCommande(juste);
    EXPECT_STREQ(CheminFilm, juste.c_str());
    ReinitialiserEtat();
    AnalyserLigneCommande(trop);
    EXPECT_STREQ(CheminFilm, "");

    ASSERT_EQ(mkfifo((dossier + "f.mjp").c_str(), 0600), 0);
    ASSERT_EQ(mkdir((dossier + "d.mjp").c_str(), 0700), 0);
    ASSERT_EQ(symlink("/dev/zero", (dossier + "z.264").c_str()), 0);
    alarm(60);  // a blocked open ends the program instead of passing
    for (const char* nom : {"f.mjp", "d.mjp", "z.264"}) {
        ReinitialiserEtat();
        AnalyserLigneCommande(dossier + nom);
        EXPECT_STREQ(CheminFilm, "") << nom;
    }
    alarm(0);
}

// The per-user working folder (XDG_DATA_HOME is a temporary folder here).
std::string DonneesUtilisateur()
{
    return QDir::cleanPath(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation)).toStdString() + "/DONNEES";
}

TEST_F(LigneCommande, DossiersDuProgramme)
{
    FixerDossiers(dossier + "lecteurzr7");
    EXPECT_EQ(std::string(DossierProgramme), dossier);
    EXPECT_EQ(std::string(DossierDonnees), dossier + "DONNEES");
    struct stat st;
    ASSERT_EQ(stat(DossierDonnees, &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_NE(std::system(("ls -A '" + dossier + "DONNEES' | grep -q .").c_str()), 0) << "write probe left behind";

    // A file named DONNEES stays a file; the per-user folder is used instead.
    const std::string autre = DossierTemporaire();
    std::ofstream(autre + "DONNEES") << "x";
    FixerDossiers(autre + "lecteurzr7");
    ASSERT_EQ(stat((autre + "DONNEES").c_str(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode));
    EXPECT_EQ(std::string(DossierDonnees), DonneesUtilisateur());
    ASSERT_EQ(stat(DossierDonnees, &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    std::system(("rm -rf '" + autre + "'").c_str());

    // An installed player (marker file) leaves its folder alone, even when
    // it could write there (root can write anywhere).
    const std::string installe = DossierTemporaire();
    std::ofstream(installe + MarqueInstallation) << "";
    FixerDossiers(installe + "lecteurzr7");
    EXPECT_EQ(std::string(DossierDonnees), DonneesUtilisateur());
    EXPECT_NE(stat((installe + "DONNEES").c_str(), &st), 0);
    std::system(("rm -rf '" + installe + "'").c_str());
}

// A program folder too long for "DONNEES" to fit whole: nothing is made
// under a cut name (which would lie outside the program folder).
TEST_F(LigneCommande, DossierTropLongPasDeNomCoupe)
{
    std::string prog = dossier;
    while (prog.size() < 196)
        prog += std::string(std::min<size_t>(40, 196 - prog.size()), 'd') + "/";
    ASSERT_EQ(std::system(("mkdir -p '" + prog + "'").c_str()), 0);
    ASSERT_GT(prog.size() + 7, static_cast<size_t>(LongueurDossier));
    FixerDossiers(prog + "lecteurzr7");
    EXPECT_EQ(std::string(DossierDonnees), DonneesUtilisateur());
    // Nothing named like the working folder anywhere in the tree.
    EXPECT_NE(std::system(("find '" + dossier + "' -name '*DONNEES*' | grep -q .").c_str()), 0);

    // 193 characters + "DONNEES" = 200: fits.
    std::string juste = dossier;
    juste += std::string(193 - juste.size() - 1, 'j') + "/";
    ASSERT_EQ(mkdir(juste.c_str(), 0755), 0);
    FixerDossiers(juste + "lecteurzr7");
    EXPECT_EQ(std::string(DossierDonnees), juste + "DONNEES");
}

// With neither the program folder nor a per-user folder usable (a user
// whose home cannot be made), the data folder is a private one, and the
// user is told once that live measures from other programs are off.
TEST_F(LigneCommande, SansDossierUtilisableUnDossierPrive)
{
    const std::string installe = dossier + "installe/";
    ASSERT_EQ(mkdir(installe.c_str(), 0755), 0);
    std::ofstream(installe + MarqueInstallation) << "";
    std::ofstream(dossier + "fichier") << "x";
    const QByteArray donneesAvant = qgetenv("XDG_DATA_HOME");
    const QByteArray executionAvant = qgetenv("XDG_RUNTIME_DIR");
    qputenv("XDG_DATA_HOME", (dossier + "fichier/share").c_str()); // under a file: never made
    const std::string execution = dossier + "run";
    ASSERT_EQ(mkdir(execution.c_str(), 0700), 0);
    qputenv("XDG_RUNTIME_DIR", execution.c_str());
    OublierAvis();

    FixerDossiers(installe + "lecteurzr7");
    EXPECT_EQ(std::string(DossierDonnees), execution + "/lecteurzr7-DONNEES");
    struct stat st;
    ASSERT_EQ(lstat(DossierDonnees, &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    std::string avis;
    ASSERT_TRUE(PrendreAvis(avis));
    EXPECT_EQ(avis, TexteMesuresDirectCoupees);
    FixerDossiers(installe + "lecteurzr7");
    EXPECT_FALSE(PrendreAvis(avis)) << "said once";

    // A runtime folder others may enter is not used: a new private folder
    // under TMPDIR, removed at the end of the run.
    ASSERT_EQ(chmod(execution.c_str(), 0777), 0);
    const QByteArray tmpAvant = qgetenv("TMPDIR");
    qputenv("TMPDIR", dossier.c_str());
    FixerDossiers(installe + "lecteurzr7");
    const std::string prive = DossierDonnees;
    EXPECT_EQ(prive.rfind(dossier + "/lecteurzr7-", 0), 0u) << prive;
    ASSERT_EQ(lstat(prive.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    std::ofstream(prive + "/mesures_0.tmp") << "notice";
    RetirerDossierDonneesPrive();
    EXPECT_NE(lstat(prive.c_str(), &st), 0);

    qputenv("TMPDIR", tmpAvant);
    qputenv("XDG_RUNTIME_DIR", executionAvant);
    qputenv("XDG_DATA_HOME", donneesAvant);
}

namespace {

std::mutex TraceMutex;
std::vector<std::string> Trace;

void Noter(const std::string& s)
{
    std::lock_guard<std::mutex> v(TraceMutex);
    Trace.push_back(s);
}

// A worker that records its start and end.
class ThreadTemoin : public ThreadTravail
{
public:
    ThreadTemoin(const char* nom) : ThreadTravail(0), nom_(nom) {}
    ~ThreadTemoin() override
    {
        requestInterruption();
        wait();
        Noter(std::string("detruit ") + nom_);
    }

protected:
    void run() override
    {
        Noter(std::string("demarre ") + nom_);
        ThreadTravail::run();
        Noter(std::string("fin ") + nom_);
    }

private:
    const char* nom_;
};

} // namespace

TEST(Demarrage, OrdreDuDemarrageEtDeLArret)
{
    ReinitialiserEtat();
    const std::string dossier = DossierTemporaire();
    const std::string film = dossier + "cam1.mjp";
    EcrireFilm(film, 250, 10000);

    FabriquesLecteur f;
    f.lecteurMagneto = [](int) { return new ThreadTemoin("lecteur"); };
    f.son = [](int) { return new ThreadTemoin("son"); };
    f.magnetoSon = [](int) { return new ThreadTemoin("magnetoson"); };
    f.magnetoMesures = [](int) { return new ThreadTemoin("mesures"); };
    f.fenetrePrincipale = [] {
        Noter("fenetre principale");
        auto* w = new QWidget;
        w->show();
        QTimer::singleShot(300, w, &QWidget::close);
        return w;
    };
    f.fenetreMesures = [] {
        Noter("fenetre mesures");
        return new QWidget;
    };
    f.trace = [](const char* etape) {
        Noter(etape);
        if (std::string(etape) == "voies") {
            EXPECT_NE(Voies[0].BufferImage, nullptr);
            EXPECT_EQ(Voies[0].ImageSortie, Voies[0].BufferImage);
            EXPECT_NE(Voies[0].BufferSon, nullptr);
            EXPECT_EQ(PrendreMutexVoie(0), 0);
            RendreMutexVoie(0);
        }
    };

    std::string arg1 = film;
    char a0[] = "lecteurzr7";
    char* argv[] = {a0, arg1.data(), nullptr};
    int argc = 2;
    const auto debut = std::chrono::steady_clock::now();
    const int statut = ExecuterLecteur(argc, argv, f);
    const auto duree = std::chrono::steady_clock::now() - debut;

    EXPECT_EQ(statut, 0);
    EXPECT_LT(duree, std::chrono::seconds(5));
    EXPECT_STREQ(TitreMessages, "VelmoraZR7 : Lecteur autonome");
    EXPECT_NE(IdMessages[MSG_MAG_MESURES], 0u);
    EXPECT_EQ(std::string(CheminFilm), film);
    EXPECT_EQ(TypeFilm, 1);
    EXPECT_EQ(FlagArretGeneral, 1);
    EXPECT_EQ(Voies[0].BufferImage, nullptr);
    EXPECT_EQ(Voies[0].BufferSon, nullptr);
    EXPECT_EQ(PrendreMutexVoie(0), -1);
    EXPECT_EQ(PrendreMutexGeneral(), -1);
    EXPECT_FALSE(MutexReserveExiste());

    std::vector<std::string> t;
    {
        std::lock_guard<std::mutex> v(TraceMutex);
        t = Trace;
    }
    auto pos = [&](const std::string& s) {
        auto it = std::find(t.begin(), t.end(), s);
        EXPECT_NE(it, t.end()) << s;
        return it - t.begin();
    };
    // Start-up steps in order.
    const char* etapes[] = {"titre", "messages", "voies", "ligne de commande", "application",
                            "dossiers", "threads", "titre application", "fenetre principale",
                            "fenetre mesures", "fenetres", "boucle terminee", "arret general",
                            "threads detruits", "mutex fermes", "buffers liberes"};
    for (size_t i = 1; i < std::size(etapes); ++i)
        EXPECT_LT(pos(etapes[i - 1]), pos(etapes[i])) << etapes[i - 1] << " / " << etapes[i];
    EXPECT_EQ(std::count(t.begin(), t.end(), "fenetre mesures"), 2);
    // Threads are destroyed in creation order, each after its loop ended,
    // all after the general stop and before the mutexes close.
    const char* noms[] = {"lecteur", "son", "magnetoson", "mesures"};
    for (size_t i = 0; i < 4; ++i) {
        const std::string n = noms[i];
        EXPECT_LT(pos("dossiers"), pos("demarre " + n));
        EXPECT_LT(pos("arret general"), pos("fin " + n));
        EXPECT_LT(pos("fin " + n), pos("detruit " + n));
        EXPECT_LT(pos("detruit " + n), pos("threads detruits"));
        if (i > 0) {
            EXPECT_LT(pos(std::string("detruit ") + noms[i - 1]), pos("detruit " + n));
        }
    }
    std::system(("rm -rf '" + dossier + "'").c_str());
}

namespace {

// A worker stuck in a call that ignores every stop request (as an open of
// a FIFO would), until the test lets it go.
class ThreadBloque : public ThreadTravail
{
public:
    explicit ThreadBloque(std::shared_future<void> liberation)
        : ThreadTravail(0), liberation_(std::move(liberation))
    {
    }
    std::atomic<bool> libereParLeTest{false};

protected:
    void run() override
    {
        libereParLeTest = liberation_.wait_for(std::chrono::seconds(20)) == std::future_status::ready;
    }

private:
    std::shared_future<void> liberation_;
};

} // namespace

// Shutdown waits a bounded time for each worker: one that never ends is
// left behind, traced, and the run ends with the others destroyed.
TEST(Demarrage, UnThreadBloqueNeRetientPasLArret)
{
    ReinitialiserEtat();
    {
        std::lock_guard<std::mutex> v(TraceMutex);
        Trace.clear();
    }
    std::promise<void> promesse;
    std::shared_future<void> liberation = promesse.get_future().share();
    ThreadBloque* bloque = nullptr;
    FabriquesLecteur f;
    f.lecteurMagneto = [](int) { return new ThreadTemoin("lecteur"); };
    f.son = [&](int) { return bloque = new ThreadBloque(liberation); };
    f.magnetoSon = [](int) { return new ThreadTemoin("magnetoson"); };
    f.fenetrePrincipale = [] {
        auto* w = new QWidget;
        w->show();
        QTimer::singleShot(300, w, &QWidget::close);
        return w;
    };
    f.trace = [](const char* etape) { Noter(etape); };
    char a0[] = "lecteurzr7";
    char* argv[] = {a0, nullptr};
    int argc = 1;
    EXPECT_EQ(ExecuterLecteur(argc, argv, f), 0);
    ASSERT_NE(bloque, nullptr);
    EXPECT_TRUE(bloque->isRunning());
    std::vector<std::string> t;
    {
        std::lock_guard<std::mutex> v(TraceMutex);
        t = Trace;
    }
    EXPECT_EQ(std::count(t.begin(), t.end(), "thread abandonne"), 1);
    EXPECT_NE(std::find(t.begin(), t.end(), "detruit magnetoson"), t.end());
    promesse.set_value();
    bloque->wait();
    EXPECT_TRUE(bloque->libereParLeTest);
    delete bloque;
}

// SIGTERM (logout, kill) closes the main window as its close button does,
// and the run ends normally.
TEST(Demarrage, SigtermFermeLaFenetrePrincipale)
{
    ReinitialiserEtat();
    static bool fermee = false;
    class Fenetre : public QWidget
    {
    protected:
        void closeEvent(QCloseEvent* e) override
        {
            fermee = true;
            QWidget::closeEvent(e);
        }
    };
    FabriquesLecteur f;
    f.lecteurMagneto = [](int) { return new ThreadTemoin("lecteur"); };
    f.fenetrePrincipale = [] {
        auto* w = new Fenetre;
        w->show();
        QTimer::singleShot(300, w, [] { std::raise(SIGTERM); });
        return w;
    };
    char a0[] = "lecteurzr7";
    char* argv[] = {a0, nullptr};
    int argc = 1;
    EXPECT_EQ(ExecuterLecteur(argc, argv, f), 0);
    EXPECT_TRUE(fermee);
    // The default action is back once the run has ended.
    struct sigaction sa = {};
    sigaction(SIGTERM, nullptr, &sa);
    EXPECT_EQ(sa.sa_handler, SIG_DFL);
}

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // The per-user working folder goes into a temporary folder, not the home.
    const std::string donnees = DossierTemporaire();
    qputenv("XDG_DATA_HOME", donnees.c_str());
    ::testing::InitGoogleTest(&argc, argv);
    const int r = RUN_ALL_TESTS();
    std::system(("rm -rf '" + donnees + "'").c_str());
    return r;
}
