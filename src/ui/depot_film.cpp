#include "ui/depot_film.h"

#include "core/boitemessage.h"
#include "engine/fichierfilm.h"
#include "ui/dialogues.h"
#include "ui/lecteurzr7_principale.h"
#include "ui/mosaique.h"
#include "ui/selection_calcul.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QLineEdit>
#include <QMimeData>
#include <QUrl>

Depot JugerDepot(const std::string& chemin)
{
    if (TypeFilmPourExtension(chemin.c_str()) < 0)
        return Depot::PasUnFilm;
    return EstFichierOrdinaire(chemin) ? Depot::Film : Depot::Illisible;
}

QString FichierDuDepot(const QMimeData* donnees)
{
    if (!donnees || !donnees->hasUrls())
        return QString();
    for (const QUrl& u : donnees->urls())
        if (u.isLocalFile())
            return u.toLocalFile();
    return QString();
}

QStringList FichiersDuDepot(const QMimeData* donnees)
{
    QStringList fichiers;
    if (!donnees || !donnees->hasUrls())
        return fichiers;
    for (const QUrl& u : donnees->urls())
        if (u.isLocalFile())
            fichiers << u.toLocalFile();
    return fichiers;
}

TDepotFilm::TDepotFilm(TLecteurZR7_Principale* fenetre) : QObject(fenetre), fenetre_(fenetre)
{
    fenetre_->setAcceptDrops(true);
    fenetre_->installEventFilter(this);
    // A film dropped on the rate or password box opens too, rather than
    // typing its path there.
    for (QLineEdit* saisie : fenetre_->findChildren<QLineEdit*>())
        saisie->setAcceptDrops(false);
}

void TDepotFilm::Deposer(const QString& chemin)
{
    const std::string local = QFile::encodeName(chemin).toStdString();
    switch (JugerDepot(local)) {
    case Depot::PasUnFilm:
        AfficherMessage("Fichier vidéo incorrect", std::string(), fenetre_);
        return;
    case Depot::Illisible:
        AfficherMessage("Erreur d'ouverture de fichier", std::string(), fenetre_);
        return;
    case Depot::Film:
        // The selection itself, with the dropped film as the dialog's answer.
        fenetre_->OpenDialog1.ReponseImposee = chemin;
        fenetre_->BoutonSelectionClick();
        fenetre_->OpenDialog1.ReponseImposee.clear();
        return;
    }
}

void TDepotFilm::DeposerPlusieurs(const QStringList& chemins)
{
    if (chemins.size() == 1)
        return Deposer(chemins.front());
    // Each film is judged on its own tile: a bad one shows its error there.
    fenetre_->MosaiqueFenetre->Ouvrir(CheminsLocaux(chemins));
}

bool TDepotFilm::eventFilter(QObject* objet, QEvent* e)
{
    if (objet != fenetre_)
        return false;
    if (e->type() == QEvent::DragEnter || e->type() == QEvent::DragMove) {
        auto* d = static_cast<QDropEvent*>(e);
        if (!FichierDuDepot(d->mimeData()).isEmpty())
            d->acceptProposedAction();
        return true;
    }
    if (e->type() == QEvent::Drop) {
        auto* d = static_cast<QDropEvent*>(e);
        const QStringList chemins = FichiersDuDepot(d->mimeData());
        if (chemins.isEmpty())
            return false;
        d->acceptProposedAction();
        // Opening shows message boxes and waits for the reader: after the
        // drag has finished, not inside it.
        QMetaObject::invokeMethod(this, [this, chemins] { DeposerPlusieurs(chemins); }, Qt::QueuedConnection);
        return true;
    }
    return false;
}
