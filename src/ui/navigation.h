// Exact navigation of the main window: the film's picture indexer, the
// keys (Space, arrows, Home, ".", ",", Ctrl+G) whatever control has the
// focus except the text fields, picture steps, the go-to dialog "Aller à…"
// and the "image k / N'" label to the right of the read-out. Seeks go
// through the window's own slider seek; a step also names the picture the
// reader is to show (ImageDemandee).
#pragma once

#include "ui/navigation_calcul.h"

#include <QObject>

#include <memory>

class QLabel;
class QTimer;
class TLecteurZR7_Principale;
class Th_Indexeur;

// How often the picture label follows the picture on screen.
constexpr int IntervalleEtiquetteImageMs = 100;

class Navigation : public QObject
{
    Q_OBJECT
public:
    explicit Navigation(TLecteurZR7_Principale* fenetre);
    ~Navigation() override;

    // A film was set up (selection, command line, chaining): its index is
    // asked for (the previous one's indexing stops) and any picture step
    // request is forgotten.
    void FilmCharge();
    // Forgets a picture step request (back to start, slider moved).
    void OublierImageDemandee();

    // Runs the action of a key; false when it does not apply now.
    bool Executer(ActionTouche action);
    // Seeks to second `s` as the slider release does.
    void AllerASeconde(int s);
    // One picture forward (+1) or back (-1); false without an index.
    bool Pas(int sens);
    // Ctrl+G: asks "hh:mm:ss" and seeks there; a time outside the film is
    // refused with a message.
    void AllerA();
    // Follows the picture on screen in the label.
    void MettreAJourEtiquette();
    // A picture of the reader has been handed over: the reader noted it
    // just before, so the label changes with the picture, never after it.
    void ImageRemise();

    QLabel* LabelImage = nullptr;
    Th_Indexeur* Indexeur() const { return indexeur_.get(); }

protected:
    bool eventFilter(QObject* objet, QEvent* evenement) override;

private:
    TLecteurZR7_Principale* f_;
    std::unique_ptr<Th_Indexeur> indexeur_;
    QTimer* minuterie_ = nullptr;
    bool deplacementInterne_ = false; // the slider is moved by a step
    // The picture on screen as of the last hand-over (-1: none).
    int64_t imageEcran_ = -1;
    bool imageEcranExacte_ = false;
};
