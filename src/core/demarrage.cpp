#include "core/demarrage.h"

#include "core/avis.h"
#include "core/boitemessage.h"
#include "core/dossier_utilisateur.h"
#include "core/etat.h"
#include "core/journal.h"
#include "core/messages.h"
#include "core/objet_dbus.h"
#include "core/ouverture.h"
#include "core/signaux.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QStandardPaths>
#include <QThread>
#include <QWidget>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <new>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

// Shortest command line that can name a film: one character and an extension.
constexpr size_t LongueurMinimaleLigne = 5;
// Time given to the workers to see FlagArretGeneral before their destruction.
constexpr int AttenteArretMs = 250;
constexpr int DureeMinimaleMs = 1000;
// Longest wait for one worker's end at shutdown: a worker stuck in a call
// that never returns is left behind rather than keeping the player open.
constexpr int AttenteFinThreadMs = 1500;

// Name of the working folder of the measure notices.
const char* const NomDossierDonnees = "DONNEES";

// Creates the folder (one level) when nothing has its name, then checks that
// a file can be made in it.
bool DossierInscriptible(const std::string& dossier, mode_t mode)
{
    struct stat st;
    if (stat(dossier.c_str(), &st) != 0)
        mkdir(dossier.c_str(), mode);
    // A link to a folder, set up by whoever installed the player, is kept.
    if (stat(dossier.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        return false;
    const std::string essai = dossier + "/.essai_ecriture_" + std::to_string(getpid());
    const int fd = open(essai.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    const bool ecrit = write(fd, "x", 1) == 1;
    close(fd);
    unlink(essai.c_str());
    return ecrit;
}

bool LireMot(FILE* f, uint32_t& mot)
{
    unsigned char o[4];
    if (std::fread(o, 1, 4, f) != 4)
        return false;
    mot = uint32_t(o[0]) | uint32_t(o[1]) << 8 | uint32_t(o[2]) << 16 | uint32_t(o[3]) << 24;
    return true;
}

void Tracer(const FabriquesLecteur& f, const char* etape)
{
    if (f.trace)
        f.trace(etape);
}

} // namespace

std::string JoindreArguments(int argc, char** argv)
{
    std::string texte;
    for (int i = 1; i < argc; ++i) {
        if (i > 1)
            texte += ' ';
        texte += argv[i] ? argv[i] : "";
    }
    return texte;
}

void AnalyserLigneCommande(const std::string& texte)
{
    if (texte.size() < LongueurMinimaleLigne)
        return;
    TypeFilm = -1;
    const std::string fin = texte.substr(texte.size() - 4);
    if (fin == ".mjp")
        TypeFilm = 1;
    else if (fin == ".mp4")
        TypeFilm = 0;
    else if (fin == ".264")
        TypeFilm = 2;
    // A path that does not fit CheminFilm is no film: cut, it would name
    // another file. Only a regular file is opened, without blocking on a
    // FIFO.
    if (TypeFilm < 0 || texte.size() > size_t(LongueurCheminFilm))
        return;
    FILE* f = OuvrirFichierOrdinaire(texte.c_str());
    if (!f)
        return;
    uint32_t nb = 0, duree = 0;
    const bool lu = LireMot(f, nb) && LireMot(f, duree);
    std::fclose(f);
    if (!lu)
        return;
    NbImagesFilm = nb;
    DureeFilm = duree / DureeMinimaleMs;
    if (DureeFilm != 0 && NbImagesFilm != 0)
        CopierTexte(CheminFilm, sizeof CheminFilm, texte.c_str());
}

const char* const TexteMesuresDirectCoupees =
    "Aucun dossier de données utilisable : les mesures en direct des autres programmes sont désactivées.";

void FixerDossiers(const std::string& cheminExecutable)
{
    const size_t barre = cheminExecutable.find_last_of('/');
    const std::string dossier = barre == std::string::npos ? "./" : cheminExecutable.substr(0, barre + 1);
    CopierTexte(DossierProgramme, sizeof DossierProgramme, dossier.c_str());
    DossierDonnees[0] = '\0';

    // The program folder's DONNEES when it fits its field whole and can be
    // written; never a cut name, which would land outside the program folder.
    // An installed player (marker file present) writes nothing beside itself,
    // even as root, who can write anywhere.
    const std::string donnees = dossier + NomDossierDonnees;
    const bool tient = donnees.size() <= static_cast<size_t>(LongueurDossier);
    if (tient && DossierProgrammeModifiable(dossier) && DossierInscriptible(donnees, 0755)) {
        CopierTexte(DossierDonnees, sizeof DossierDonnees, donnees.c_str());
    } else {
        // Installed where the user cannot write, or too deep: the per-user
        // data folder, private to the user.
        const QString base = QDir::cleanPath(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation));
        const std::string perso = base.isEmpty() ? std::string() : base.toStdString() + "/" + NomDossierDonnees;
        if (!perso.empty() && perso.size() <= static_cast<size_t>(LongueurDossier) &&
            QDir().mkpath(base) && DossierInscriptible(perso, 0700))
            CopierTexte(DossierDonnees, sizeof DossierDonnees, perso.c_str());
    }

    // No folder at all (a user without a home): a private one, so that the
    // film's own measures still reach the measure windows. Other programs
    // do not know it: their live measures cannot arrive.
    if (DossierDonnees[0] == '\0') {
        const std::string prive = DossierDonneesPrive();
        if (!prive.empty() && prive.size() <= static_cast<size_t>(LongueurDossier)) {
            CopierTexte(DossierDonnees, sizeof DossierDonnees, prive.c_str());
            PublierAvis(TexteMesuresDirectCoupees);
        }
    }

    char ligne[LongueurDossier + 64];
    if (DossierDonnees[0])
        std::snprintf(ligne, sizeof ligne, "Dossier de travail : %s", DossierDonnees);
    else
        std::snprintf(ligne, sizeof ligne, "Aucun dossier de travail utilisable");
    EcrireJournal(Journal::Magneto, 0, ligne);
    if (DossierDonnees[0] == '\0' || std::strncmp(DossierDonnees, dossier.c_str(), dossier.size()) != 0)
        qInfo("%s", ligne);
}

int ExecuterLecteur(int argc, char** argv, const FabriquesLecteur& fabriques)
{
    const FabriquesLecteur& f = fabriques;

    CopierTexte(TitreMessages, sizeof TitreMessages, "VelmoraZR7 : Lecteur autonome");
    Tracer(f, "titre");

    EnregistrerMessages();
    Tracer(f, "messages");

    // The message boxes below need the application object: create it now,
    // before the first one can be shown (no window exists yet either way).
    std::unique_ptr<QApplication> application(new QApplication(argc, argv));

    // SIGTERM, SIGINT and SIGHUP close the main window as "Quitter" does;
    // before it exists they end the run before the event loop.
    QWidget* fenetreAFermer = nullptr;
    bool arretDemande = false;
    GardeSignaux signaux([&](int) {
        arretDemande = true;
        if (fenetreAFermer)
            fenetreAFermer->close();
        else
            QCoreApplication::quit();
    });

    Voie& voie0 = Voies[0];
    voie0.BufferImage = new (std::nothrow) unsigned char[TailleBufferImage];
    voie0.ImageSortie = voie0.BufferImage;
    voie0.BufferSon = new (std::nothrow) unsigned char[TailleBufferSon];
    voie0.NbOctetsSon = 0;
    if (CreerMutexVoie(0) != 0)
        AfficherMessage("Erreur Création Sémaphore");
    if (CreerMutexGeneral() != 0)
        AfficherMessage("Erreur Création Sémaphore");
    if (CreerMutexReserve() != 0)
        AfficherMessage("Erreur Création Sémaphore", "Visualisateur");
    Tracer(f, "voies");

    AnalyserLigneCommande(JoindreArguments(argc, argv));
    Tracer(f, "ligne de commande");

    DemarrerRelaisMessages();
    Tracer(f, "application");

    FixerDossiers(QCoreApplication::applicationFilePath().toStdString());
    PublierObjetLecteur();
    Tracer(f, "dossiers");

    // Worker threads, in this order; each starts at once on channel 0.
    std::vector<std::unique_ptr<QThread>> threads;
    for (const auto* fabrique : {&f.lecteurMagneto, &f.son, &f.magnetoSon, &f.magnetoMesures}) {
        QThread* t = *fabrique ? (*fabrique)(0) : nullptr;
        if (t && !t->isRunning())
            t->start();
        threads.emplace_back(t);
    }
    Tracer(f, "threads");

    // No display name: the window system would add it to every caption.
    QApplication::setApplicationName("Lecteur ZR7");
    Tracer(f, "titre application");

    std::unique_ptr<QWidget> principale(f.fenetrePrincipale ? f.fenetrePrincipale() : nullptr);
    std::unique_ptr<QWidget> mesures1(f.fenetreMesures ? f.fenetreMesures() : nullptr);
    std::unique_ptr<QWidget> mesures2(f.fenetreMesures ? f.fenetreMesures() : nullptr);
    Tracer(f, "fenetres");

    fenetreAFermer = principale.get();
    int statut = 0;
    if (principale && !arretDemande) {
        // The loop ends when the main window closes, even while the measure
        // windows are still shown.
        QObject::connect(application.get(), &QApplication::lastWindowClosed, application.get(),
                         &QApplication::quit);
        principale->setAttribute(Qt::WA_QuitOnClose, true);
        if (mesures1)
            mesures1->setAttribute(Qt::WA_QuitOnClose, false);
        if (mesures2)
            mesures2->setAttribute(Qt::WA_QuitOnClose, false);
        statut = application->exec();
    }
    fenetreAFermer = nullptr;
    Tracer(f, "boucle terminee");

    // Shutdown.
    const int r = PrendreMutexGeneral();
    FlagArretGeneral = 1;
    if (r == 0)
        RendreMutexGeneral();
    Tracer(f, "arret general");
    QThread::msleep(AttenteArretMs);
    bool abandon = false;
    for (auto& t : threads) {
        if (!t)
            continue;
        t->requestInterruption();
        if (!t->wait(AttenteFinThreadMs)) {
            // Still blocked: left running, with everything it may touch.
            char ligne[96];
            std::snprintf(ligne, sizeof ligne, "Arret : un thread ne s'est pas termine en %d ms, abandonne",
                          AttenteFinThreadMs);
            EcrireJournal(Journal::Magneto, 0, ligne);
            qWarning("%s", ligne);
            Tracer(f, "thread abandonne");
            t.release();
            abandon = true;
            continue;
        }
        t.reset(); // ended: the destruction releases its resources
    }
    Tracer(f, "threads detruits");
    if (abandon) {
        // A thread left behind may still use the locks and buffers: they
        // stay until the process ends.
        RetirerObjetLecteur();
        ArreterRelaisMessages();
        mesures2.reset();
        mesures1.reset();
        principale.reset();
        return statut;
    }

    FermerMutexGeneral();
    FermerMutexReserve();
    FermerMutexVoie(0);
    Tracer(f, "mutex fermes");

    delete[] voie0.BufferImage;
    voie0.BufferImage = nullptr;
    voie0.ImageSortie = nullptr;
    delete[] voie0.BufferSon;
    voie0.BufferSon = nullptr;
    Tracer(f, "buffers liberes");

    RetirerObjetLecteur();
    ArreterRelaisMessages();
    mesures2.reset();
    mesures1.reset();
    principale.reset();
    application.reset();
    RetirerDossierDonneesPrive();
    return statut;
}
