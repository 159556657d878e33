// Playback in both directions for the main window: the keys J (backwards),
// K (pause), L (forwards) and End (last picture), the button "Lecture
// arrière" beside Play, the speed label with its direction, and what the
// display tick does when a backwards run reaches the film's start (stop
// there, or with "Enchainer dans heure" go on at the end of the previous
// hourly film).
//
// The window's transport stays the one way to start, pause and stop: this
// object writes the direction (Voie::Sens) and the place a run in the other
// direction starts from, then uses the window's handlers.
#pragma once

#include "ui/lecture_jkl_calcul.h"

#include <QObject>

#include <functional>

class THorloge;
class TLecteurZR7_Principale;
class TOxBouton;

// What of the window this object needs beyond its public controls and
// transport operations.
struct AccesJkl {
    TLecteurZR7_Principale* fenetre = nullptr;
    // Reads the header, dates and sound file of the film now in CheminFilm
    // and sets the slider up for it; false when it is not a valid film.
    std::function<bool()> relireFilm;
    // Empties the rows of the visible measure windows.
    std::function<void()> viderMesures;
    // Shows the read-out and the measures of the position now set.
    std::function<void()> montrerPosition;
    // The clock of films shown together, null for a single film: J, K and
    // L then act on it, and through it on every tile.
    std::function<THorloge*()> horloge;
};

class LectureJkl : public QObject
{
    Q_OBJECT
public:
    explicit LectureJkl(const AccesJkl& acces);
    ~LectureJkl() override;

    // "Lecture arrière": J as a button.
    TOxBouton* BoutonArriere = nullptr;

    // Runs J, K, L or End; false when it does not apply (no film).
    bool Executer(ToucheJkl touche);
    // Play (button or Space) plays forwards: a backwards run turns round
    // at x 1. Called by the window before it starts or resumes.
    void AvantPlay();
    // Display tick: a backwards run has reached the film's start. True when
    // it was handled here and the tick ends.
    bool TraiterDebutDeFilm();
    // Direction, speed and pause as J, K and L see them.
    EtatJkl Etat() const;
    // The speed label with its direction.
    void MontrerVitesse();

protected:
    bool eventFilter(QObject* objet, QEvent* evenement) override;

private:
    bool FilmCharge() const;
    // Direction written: the clock's with several films, channel 0's alone.
    int SensCourant() const;
    // Writes the direction; with `reprendre` a running run is ended and the
    // next one starts on the picture on screen.
    void FixerSens(int sens, bool reprendre);
    void AllerALaFin();
    bool EnchainerPrecedent();
    void ArreterAuDebut();

    AccesJkl acces_;
    TLecteurZR7_Principale* f_;
    // Set while this object starts or resumes playback itself, so that the
    // window's Play does not turn the run forwards.
    bool commandeJkl_ = false;
};
