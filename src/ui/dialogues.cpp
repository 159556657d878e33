#include "ui/dialogues.h"

#include "ui/reglages.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QFileDialog>
#include <QFile>
#include <QFileInfo>
#include <QInputDialog>
#include <QLineEdit>
#include <QGridLayout>
#include <QLibraryInfo>
#include <QStringList>
#include <QTranslator>

#include <mutex>

namespace {

std::mutex GestionnaireMutex;
GestionnaireDialogues Gestionnaire;

QString DialogueReel(const DemandeFichier& d)
{
    QFileDialog dialogue(d.parent, d.titre, d.dossier, d.filtre);
    dialogue.setAcceptMode(d.enregistrer ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialogue.setFileMode(d.enregistrer                 ? QFileDialog::AnyFile
                         : d.choisis != nullptr ? QFileDialog::ExistingFiles
                                                : QFileDialog::ExistingFile);
    if (!d.extensionDefaut.isEmpty())
        dialogue.setDefaultSuffix(d.extensionDefaut);
    if (!d.nomPropose.isEmpty())
        dialogue.selectFile(d.nomPropose);
    // Option boxes under the file list: only Qt's own dialog has room.
    std::vector<QCheckBox*> boites;
    if (d.cases && !d.cases->empty()) {
        dialogue.setOption(QFileDialog::DontUseNativeDialog, true);
        if (auto* grille = qobject_cast<QGridLayout*>(dialogue.layout())) {
            for (const CaseDialogue& c : *d.cases) {
                auto* boite = new QCheckBox(c.libelle, &dialogue);
                boite->setChecked(c.cochee);
                grille->addWidget(boite, grille->rowCount(), 0, 1, -1);
                boites.push_back(boite);
            }
        }
    }
    if (dialogue.exec() != QDialog::Accepted || dialogue.selectedFiles().isEmpty())
        return QString();
    for (size_t i = 0; i < boites.size(); ++i)
        (*d.cases)[i].cochee = boites[i]->isChecked();
    if (d.choisis)
        *d.choisis = dialogue.selectedFiles();
    return dialogue.selectedFiles().first();
}

} // namespace

QString DemanderFichier(const DemandeFichier& demande)
{
    GestionnaireDialogues g;
    {
        std::lock_guard<std::mutex> verrou(GestionnaireMutex);
        g = Gestionnaire;
    }
    DemandeFichier d = demande;
    const QString dernier = DernierDossier();
    if (!dernier.isEmpty())
        d.dossier = dernier;
    if (d.choisis)
        d.choisis->clear();
    const QString choisi = g ? g(d) : DialogueReel(d);
    // A handler that answers one path has chosen that one.
    if (d.choisis && d.choisis->isEmpty() && !choisi.isEmpty())
        d.choisis->append(choisi);
    RetenirDossier(choisi);
    return choisi;
}

GestionnaireDialogues RemplacerGestionnaireDialogues(GestionnaireDialogues g)
{
    std::lock_guard<std::mutex> verrou(GestionnaireMutex);
    GestionnaireDialogues ancien = std::move(Gestionnaire);
    Gestionnaire = std::move(g);
    return ancien;
}

QString FiltreQt(const char* filtreParPaires)
{
    const QStringList morceaux = QString::fromUtf8(filtreParPaires ? filtreParPaires : "").split('|');
    QStringList entrees;
    for (int i = 0; i + 1 < morceaux.size(); i += 2) {
        QString motifs = morceaux[i + 1];
        motifs.replace(';', ' ');
        entrees << QStringLiteral("%1 (%2)").arg(morceaux[i], motifs);
    }
    return entrees.join(QStringLiteral(";;"));
}

bool ChargerTraductionQt()
{
    auto* traduction = new QTranslator(QCoreApplication::instance());
    if (!traduction->load(QStringLiteral("qtbase_fr"), QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete traduction;
        return false;
    }
    QCoreApplication::installTranslator(traduction);
    return true;
}

bool TDialogueFichier::Execute(QWidget* parent)
{
    FileNames.clear();
    if (!ReponseImposee.isEmpty()) {
        FileName = ReponseImposee;
        FileNames = QStringList{FileName};
        ReponseImposee.clear();
        RetenirDossier(FileName);
        return true;
    }
    DemandeFichier d;
    d.enregistrer = enregistrer;
    d.titre = Title;
    d.dossier = InitialDir;
    d.filtre = Filter;
    d.extensionDefaut = DefaultExt;
    d.nomPropose = NomPropose;
    d.cases = &Cases;
    d.parent = parent;
    QStringList choisis;
    if (Plusieurs)
        d.choisis = &choisis;
    const QString choisi = DemanderFichier(d);
    if (choisi.isEmpty())
        return false;
    FileName = choisi;
    FileNames = Plusieurs ? choisis : QStringList{choisi};
    return true;
}

std::vector<std::string> CheminsLocaux(const QStringList& noms)
{
    std::vector<std::string> chemins;
    for (const QString& n : noms)
        chemins.push_back(QFile::encodeName(n).toStdString());
    return chemins;
}

namespace {
GestionnaireTexte GestionnaireSaisie;
} // namespace

bool DemanderTexte(const DemandeTexte& demande, QString& reponse)
{
    GestionnaireTexte g;
    {
        std::lock_guard<std::mutex> verrou(GestionnaireMutex);
        g = GestionnaireSaisie;
    }
    if (g)
        return g(demande, reponse);
    bool ok = false;
    const QString texte = QInputDialog::getText(demande.parent, demande.titre, demande.libelle, QLineEdit::Normal,
                                                demande.texte, &ok);
    if (ok)
        reponse = texte;
    return ok;
}

GestionnaireTexte RemplacerGestionnaireTexte(GestionnaireTexte g)
{
    std::lock_guard<std::mutex> verrou(GestionnaireMutex);
    GestionnaireTexte ancien = std::move(GestionnaireSaisie);
    GestionnaireSaisie = std::move(g);
    return ancien;
}
