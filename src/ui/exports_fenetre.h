// The main window's export buttons: "Film AVI" (export on a worker thread
// with a progress dialog that can cancel), "Photo" (the picture shown, as
// JPEG), and "Début" / "Fin" / "Extraire" (segment marks, drawn on the
// position slider, and the extraction). The work itself is in src/export;
// this object only asks, shows and reports.
#pragma once

#include "export/avi_export.h"

#include <QObject>
#include <QWidget>

#include <functional>

class QProgressDialog;
class QSlider;
class TLecteurZR7_Principale;

// Hint of a mark button: "Début : 00:01:00" (hours, minutes, seconds).
QString TexteMarque(const QString& nom, int32_t secondes);

// Horizontal pixel of a slider value: the centre of the handle when the
// slider is at that value, the groove starting at `debutGorge` and
// `largeurGorge` wide, the handle `largeurPoignee` wide.
int AbscisseMarque(int valeur, int minimum, int maximum, int debutGorge, int largeurGorge,
                   int largeurPoignee);

// Two small ticks over the position slider at the marks.
class MarquesCurseur : public QWidget
{
    Q_OBJECT
public:
    explicit MarquesCurseur(QSlider* curseur);
    // Abscissas of the ticks drawn, -1 for a tick not drawn.
    int AbscisseDebut() const;
    int AbscisseFin() const;
    bool debutPose = false, finPose = false;

protected:
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* objet, QEvent* event) override;

private:
    int Abscisse(bool pose, int32_t valeur) const;
    QSlider* curseur_;
};

class ExportsFenetre : public QObject
{
    Q_OBJECT
public:
    explicit ExportsFenetre(TLecteurZR7_Principale* fenetre);

    void BoutonAviClick();
    void BoutonPhotoClick();
    void OxBouton1Click();
    void OxBouton2Click();
    void OxBouton3Click();

    MarquesCurseur* Marques() const { return marques_; }

    // Followers added to every AVI export (source observer, picture hook);
    // progress and cancel are this object's own.
    SuiviAvi suiviAjoute;
    // Called on the user-interface thread after each progress update shown
    // (tests cancel through the dialog from here).
    std::function<void(QProgressDialog*)> surProgression;
    // Outcome of the last AVI export.
    BilanAvi dernierBilan;

private:
    void MontrerMarques();
    TLecteurZR7_Principale* w_;
    MarquesCurseur* marques_;
};

// The window's export object, made on first use.
ExportsFenetre* ExportsDe(TLecteurZR7_Principale* fenetre);
