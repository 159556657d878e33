// The main window's "Copie exacte" button: the film's own pictures, not
// coded again, with its sound and recording time, into an MP4 or Matroska
// file. Asks for the file (MP4 proposed for H.264 and MPEG-4 films,
// Matroska for MJPEG), takes the Début/Fin marks when both are set, runs
// the copy on a worker thread behind a progress dialog that can cancel,
// then writes the integrity report and tells the real start. The copy
// itself is in src/export/copie_exacte.
#pragma once

#include "export/copie_exacte.h"

#include <QObject>
#include <QPixmap>
#include <QString>

#include <functional>

class QProgressDialog;
class TLecteurZR7_Principale;

// Hint of the button.
extern const char* const BulleCopieExacte;

// Two film strips, the copy over the original (the buttons' 16 x 16 family).
QPixmap IconeCopieExacte();

// Save dialog filter for a film kind, the proposed container first.
QString FiltreCopie(int type);

class CopieFenetre : public QObject
{
    Q_OBJECT
public:
    explicit CopieFenetre(TLecteurZR7_Principale* fenetre);

    void BoutonCopieClick();

    // Called on the user-interface thread after each progress update shown
    // (tests cancel through the dialog from here).
    std::function<void(QProgressDialog*)> surProgression;
    // The request and outcome of the last copy.
    ParametresCopie derniersParametres;
    BilanCopie dernierBilan;

private:
    TLecteurZR7_Principale* w_;
};

// The window's copy object, made on first use.
CopieFenetre* CopieDe(TLecteurZR7_Principale* fenetre);
