// What the player remembers from one run to the next: the last folder of
// the open and save dialogs, the window's place, size and maximised state,
// "Lire en boucle", "Forcer" and its rate, and the export options. Kept in
// one INI file per user; off (nothing read or written) until the program
// names the file, so tests never see a person's settings.
#pragma once

#include <QObject>
#include <QString>
#include <QVariant>

class TLecteurZR7_Principale;

// The per-user settings file: $XDG_CONFIG_HOME/lecteurzr7/lecteurzr7.conf.
QString FichierReglagesParDefaut();
// Switches the settings on with this file (empty: off).
void FixerFichierReglages(const QString& chemin);
bool ReglagesActifs();

QVariant LireReglage(const QString& cle, const QVariant& defaut = QVariant());
void EcrireReglage(const QString& cle, const QVariant& valeur);

// Folder of the last file chosen in a dialog (empty when none or off).
QString DernierDossier();
// Remembers the folder of a chosen file (nothing for an empty path).
void RetenirDossier(const QString& cheminFichier);

// Keys of the export options (read by the export dialogs).
extern const char* const CleRapportIntegrite;

// Brings the main window back as it was left, and records its changes.
class TReglagesFenetre : public QObject
{
    Q_OBJECT
public:
    explicit TReglagesFenetre(TLecteurZR7_Principale* fenetre);
    // Place, size and maximised state now (also done when it closes).
    void EnregistrerFenetre();

protected:
    bool eventFilter(QObject* objet, QEvent* evenement) override;

private:
    void Restaurer();
    TLecteurZR7_Principale* fenetre_;
};
