// Start-up and shutdown of the player: the shared state, the command-line
// film, the program folders, the four worker threads and the windows, in a
// fixed order.
#pragma once

#include <functional>
#include <string>

class QThread;
class QWidget;

// The command-line text after the program name: the arguments joined with
// single spaces (the system hands them over already split).
std::string JoindreArguments(int argc, char** argv);

// Recognises a film named on the command line: text of at least 5
// characters ending exactly in ".mjp", ".mp4" or ".264", at most 300 bytes
// long (never cut), naming a regular file with a valid header (a FIFO or
// device is refused without blocking). Sets TypeFilm (-1 when the extension is not recognised),
// NbImagesFilm, DureeFilm and CheminFilm; reports nothing.
void AnalyserLigneCommande(const std::string& texte);

// Sets DossierProgramme (folder of the executable, trailing '/') and
// DossierDonnees: the program folder's "DONNEES", created when nothing has
// that name. When it cannot be created or written, or does not fit its field
// whole, the per-user data folder's "DONNEES" instead (created private); empty
// when neither can be used: then a private folder (DossierDonneesPrive), and
// the notice TexteMesuresDirectCoupees is published. The folder used goes
// into the log.
extern const char* const TexteMesuresDirectCoupees;
void FixerDossiers(const std::string& cheminExecutable);

// What start-up builds; the player passes its real classes, tests their own.
struct FabriquesLecteur {
    std::function<QThread*(int voie)> lecteurMagneto, son, magnetoSon, magnetoMesures;
    std::function<QWidget*()> fenetrePrincipale;
    std::function<QWidget*()> fenetreMesures; // called twice
    // Told the name of each step as it is taken (tests check the order).
    std::function<void(const char*)> trace;
};

// Runs the whole program: start-up, event loop, shutdown. Returns the exit
// status. SIGTERM, SIGINT and SIGHUP close the main window. At shutdown each
// worker is waited for at most 1.5 s; one still running is left behind
// (traced "thread abandonne", logged) with the locks and buffers it may use.
int ExecuterLecteur(int argc, char** argv, const FabriquesLecteur& fabriques);
