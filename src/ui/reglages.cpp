#include "ui/reglages.h"

#include "ui/lecteurzr7_principale.h"

#include <QCheckBox>
#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <QLineEdit>
#include <QSettings>
#include <QStandardPaths>

#include <memory>
#include <mutex>

const char* const CleRapportIntegrite = "exports/rapportIntegrite";

namespace {

const char* const CleDossier = "dialogues/dernierDossier";
const char* const CleGeometrie = "fenetre/geometrie";
const char* const CleMaximisee = "fenetre/maximisee";
const char* const CleBoucle = "lecture/boucle";
const char* const CleForcer = "lecture/forcer";
const char* const CleImagesParSeconde = "lecture/imagesParSeconde";

std::mutex FichierMutex;
QString Fichier;

std::unique_ptr<QSettings> Ouvrir()
{
    std::lock_guard<std::mutex> verrou(FichierMutex);
    if (Fichier.isEmpty())
        return nullptr;
    return std::make_unique<QSettings>(Fichier, QSettings::IniFormat);
}

} // namespace

QString FichierReglagesParDefaut()
{
    return QDir(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation))
        .filePath(QStringLiteral("lecteurzr7/lecteurzr7.conf"));
}

void FixerFichierReglages(const QString& chemin)
{
    std::lock_guard<std::mutex> verrou(FichierMutex);
    Fichier = chemin;
}

bool ReglagesActifs()
{
    std::lock_guard<std::mutex> verrou(FichierMutex);
    return !Fichier.isEmpty();
}

QVariant LireReglage(const QString& cle, const QVariant& defaut)
{
    auto r = Ouvrir();
    return r ? r->value(cle, defaut) : defaut;
}

void EcrireReglage(const QString& cle, const QVariant& valeur)
{
    if (auto r = Ouvrir())
        r->setValue(cle, valeur);
}

QString DernierDossier()
{
    const QString d = LireReglage(QString::fromLatin1(CleDossier)).toString();
    // A folder removed since is no better than the caller's own default.
    return !d.isEmpty() && QFileInfo(d).isDir() ? d : QString();
}

void RetenirDossier(const QString& cheminFichier)
{
    if (cheminFichier.isEmpty())
        return;
    EcrireReglage(QString::fromLatin1(CleDossier), QFileInfo(cheminFichier).absolutePath());
}

TReglagesFenetre::TReglagesFenetre(TLecteurZR7_Principale* fenetre) : QObject(fenetre), fenetre_(fenetre)
{
    Restaurer();
    fenetre_->installEventFilter(this);
    connect(fenetre_->FlagBoucle, &QCheckBox::toggled, this,
            [](bool v) { EcrireReglage(QString::fromLatin1(CleBoucle), v); });
    connect(fenetre_->FlagForcerFR, &QCheckBox::toggled, this,
            [](bool v) { EcrireReglage(QString::fromLatin1(CleForcer), v); });
    connect(fenetre_->EditFR, &QLineEdit::textChanged, this,
            [](const QString& t) { EcrireReglage(QString::fromLatin1(CleImagesParSeconde), t); });
}

void TReglagesFenetre::Restaurer()
{
    if (!ReglagesActifs())
        return;
    auto& f = *fenetre_;
    f.FlagBoucle->setChecked(LireReglage(QString::fromLatin1(CleBoucle), f.FlagBoucle->isChecked()).toBool());
    f.FlagForcerFR->setChecked(LireReglage(QString::fromLatin1(CleForcer), f.FlagForcerFR->isChecked()).toBool());
    f.EditFR->setText(LireReglage(QString::fromLatin1(CleImagesParSeconde), f.EditFR->text()).toString());
    const QByteArray geometrie = LireReglage(QString::fromLatin1(CleGeometrie)).toByteArray();
    if (geometrie.isEmpty())
        return; // first run: the window opens maximised as designed
    f.setWindowState(Qt::WindowNoState);
    f.restoreGeometry(geometrie);
    if (LireReglage(QString::fromLatin1(CleMaximisee), true).toBool())
        f.setWindowState(Qt::WindowMaximized);
    else
        f.setWindowState(Qt::WindowNoState);
}

void TReglagesFenetre::EnregistrerFenetre()
{
    // The full-screen mode hides the controls but keeps the window: its
    // geometry is still the window's own.
    EcrireReglage(QString::fromLatin1(CleGeometrie), fenetre_->saveGeometry());
    EcrireReglage(QString::fromLatin1(CleMaximisee), fenetre_->isMaximized());
}

bool TReglagesFenetre::eventFilter(QObject* objet, QEvent* e)
{
    if (objet == fenetre_ && e->type() == QEvent::Close)
        EnregistrerFenetre();
    return false;
}
