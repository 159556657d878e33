// Entry point of the player: builds the real threads and windows and hands
// them to start-up.
#include "core/demarrage.h"
#include "core/tas_memoire.h"
#include "engine/th_lecteur_magneto.h"
#include "export/commande_mouvement.h"
#include "export/commande_copie.h"
#include "export/ligne_commande.h"
#include "measures/dmesures.h"
#include "measures/thmagnetomesures.h"
#include "sound/th_son.h"
#include "sound/thmagnetoson.h"
#include "ui/dialogues.h"
#include "engine/fichierfilm.h"
#include "ui/lecteurzr7_principale.h"
#include "ui/mosaique.h"
#include "ui/mosaique_calcul.h"
#include "ui/reglages.h"

#include <QTimer>

#include <cstdio>
#include <exception>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    ReglerTasMemoire();
    // The commands run without any window. The export dispatcher comes last:
    // it answers every option it does not know with the usage.
    if (int statut = 0; ExecuterCommandeCopie(argc, argv, &statut))
        return statut;
    if (int statut = 0; ExecuterCommandeMouvement(argc, argv, &statut))
        return statut;
    if (int statut = 0; ExecuterCommandeExport(argc, argv, &statut))
        return statut;
    FabriquesLecteur f;
    f.lecteurMagneto = [](int voie) { return new Th_Lecteur_Magneto(voie); };
    f.son = [](int voie) { return new TH_Son(voie); };
    f.magnetoSon = [](int voie) { return new ThMagnetoSon(voie); };
    f.magnetoMesures = [](int voie) { return new ThMagnetoMesures(voie); };
    // The main window comes first; the two measure windows, made right
    // after it, are handed to it.
    TLecteurZR7_Principale* principale = nullptr;
    QWidget* mesures[2] = {nullptr, nullptr};
    int nbMesures = 0;
    // Several films named on the command line open side by side once the
    // window is up; one film is start-up's own (its splash, then Play).
    const std::vector<std::string> films = FilmsDeLaLigne(
        std::vector<std::string>(argv + 1, argv + argc), [](const std::string& c) { return EstFichierOrdinaire(c); });
    f.fenetrePrincipale = [&principale, &films] {
        ChargerTraductionQt();
        principale = new TLecteurZR7_Principale;
        FixerFichierReglages(FichierReglagesParDefaut());
        new TReglagesFenetre(principale);
        principale->show();
        if (films.size() > 1) {
            TLecteurZR7_Principale* fenetre = principale;
            QTimer::singleShot(0, fenetre, [fenetre, films] { fenetre->MosaiqueFenetre->Ouvrir(films); });
        }
        return principale;
    };
    f.fenetreMesures = [&] {
        auto* m = new TDMesures;
        if (principale)
            m->FixerProprietaire(principale); // above the main window, not above other programs
        if (nbMesures < 2)
            mesures[nbMesures++] = m;
        if (principale && nbMesures == 2)
            principale->FixerFenetresMesures(mesures[0], mesures[1]);
        return m;
    };
    try {
        return ExecuterLecteur(argc, argv, f);
    } catch (const std::exception& e) {
        // An escaped exception ends the program at once; the system reclaims the rest.
        std::fprintf(stderr, "%s\n", e.what());
        std::_Exit(1);
    } catch (...) {
        std::_Exit(1);
    }
}
