// A film dropped on the main window opens as "Sélectionner" would (same
// checks, same messages); anything else is refused with the message a
// wrong film gets.
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

class QMimeData;
class TLecteurZR7_Principale;

enum class Depot { Film, PasUnFilm, Illisible };

// What a dropped path is: a film by its extension (".mjp", ".mp4",
// ".264", exactly) that names a regular file, a file that is no film, or a
// film name that cannot be opened.
Depot JugerDepot(const std::string& chemin);

// The local file a drag carries (the first one), empty when none.
QString FichierDuDepot(const QMimeData* donnees);
// Every local file it carries, in order.
QStringList FichiersDuDepot(const QMimeData* donnees);

class TDepotFilm : public QObject
{
    Q_OBJECT
public:
    explicit TDepotFilm(TLecteurZR7_Principale* fenetre);
    // Opens a dropped path, or says why not.
    void Deposer(const QString& chemin);
    // Several films dropped together open side by side (mosaique.h).
    void DeposerPlusieurs(const QStringList& chemins);

protected:
    bool eventFilter(QObject* objet, QEvent* evenement) override;

private:
    TLecteurZR7_Principale* fenetre_;
};
