// The one place where the main window asks for a file name. Tests replace
// the handler so that no test ever waits on a modal dialog.
#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <string>
#include <vector>

class QWidget;

// A check box shown in a dialog under the file list (export options).
struct CaseDialogue {
    QString libelle;
    bool cochee = false; // the box's state before and, when chosen, after
};

struct DemandeFichier {
    bool enregistrer = false; // save dialog instead of open dialog
    QString titre;
    QString dossier;          // initial folder
    QString filtre;           // Qt form: "Description (*.a *.b);;..."
    QString extensionDefaut;  // added to a saved name given without one
    QString nomPropose;       // file name offered in the save dialog
    std::vector<CaseDialogue>* cases = nullptr; // shown, and updated when a file is chosen
    QWidget* parent = nullptr;
    // Not null: several files may be chosen (open dialog), all of them
    // given here in the order chosen; the returned path is the first.
    QStringList* choisis = nullptr;
};

// Returns the chosen path, empty when the user cancels. With the settings
// on (reglages.h), the dialog starts in the last folder used and the folder
// of the chosen path is remembered.
using GestionnaireDialogues = std::function<QString(const DemandeFichier&)>;

QString DemanderFichier(const DemandeFichier& demande);
// Replaces the handler (nullptr restores the real dialogs); returns the old one.
GestionnaireDialogues RemplacerGestionnaireDialogues(GestionnaireDialogues g);

// "Description|*.a;*.b|..." pairs turned into Qt's "Description (*.a *.b);;...".
QString FiltreQt(const char* filtreParPaires);

// Loads Qt's own French texts (standard buttons, file dialogs) into the
// application. False when the translation file is missing.
bool ChargerTraductionQt();

// An open or save dialog of the window: its settings, and the file name
// chosen by the last Execute.
struct TDialogueFichier {
    bool enregistrer = false;
    QString Title;
    QString InitialDir;
    QString Filter;     // Qt form
    QString DefaultExt; // without the dot
    QString FileName;
    // Offered name and option boxes of the next Execute (the boxes keep the
    // states chosen).
    QString NomPropose;
    std::vector<CaseDialogue> Cases;
    // An answer known before asking (a film dropped on the window): the
    // next Execute takes it instead of showing the dialog, then forgets it.
    QString ReponseImposee;
    // Several files may be chosen: all are in FileNames (FileName is the
    // first). Without it FileNames holds the one file chosen.
    bool Plusieurs = false;
    QStringList FileNames;
    // Runs the dialog; true when a file was chosen (then in FileName).
    bool Execute(QWidget* parent);
};

// Chosen or dropped names as the system's paths.
std::vector<std::string> CheminsLocaux(const QStringList& noms);

// A one-line text asked of the user (the go-to time). Tests replace the
// handler like the file dialogs'.
struct DemandeTexte {
    QString titre;
    QString libelle;
    QString texte; // proposed text
    QWidget* parent = nullptr;
};
// The text typed; false when the user cancels.
using GestionnaireTexte = std::function<bool(const DemandeTexte&, QString& reponse)>;
bool DemanderTexte(const DemandeTexte& demande, QString& reponse);
// Replaces the handler (nullptr restores the real dialog); returns the old one.
GestionnaireTexte RemplacerGestionnaireTexte(GestionnaireTexte g);
