// Motion search from the window: Shift+drag on the picture draws the
// rectangle (drawn over the picture; Escape removes it), the panel
// "Recherche de mouvement" runs the search in the background with its
// progress and "Annuler", and lists the moments found (start, duration, a
// thumbnail). The moments are marked on the position slider; a click on
// one, or the keys "N" / "P", go exactly to the start of the next or
// previous one.
//
// With "Chercher dans les films du jour" checked, the search runs over every
// film of the current film's day (recherche_jour.h): the list gives each
// moment with its film and its time of day, the marks go on the day strip
// (and on the slider for the current film), and a click or "N" / "P" on a
// moment of another film opens that film there, then seeks exactly once its
// index is built.
//
// The window gives it only what it needs (AccesRecherche): the picture
// control, the slider, the film, the exact seek and the opening of a film.
#pragma once

#include "engine/mouvement.h"
#include "ui/recherche_jour.h"

#include <QImage>
#include <QObject>
#include <QPointF>
#include <QRectF>
#include <QSize>

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

class QCheckBox;
class QLabel;
class QListWidget;
class QProgressBar;
class QPushButton;
class QSlider;
class QSpinBox;
class QTimer;
class QWidget;
class TImageEtiree;
class TLecteurZR7_Principale;

// ---- Plain computations ----

// The rectangle in picture pixels between two points of the picture
// control (`controle` its size), which shows the part `partie` (fractions)
// of a picture of `image` pixels; clipped to the picture.
RectangleMouvement RectangleDansLImage(QPointF a, QPointF b, QSizeF controle, const QRectF& partie, QSize image);
// Back: where a picture rectangle lies on the control.
QRectF RectangleSurLeControle(const RectangleMouvement& r, QSizeF controle, const QRectF& partie, QSize image);

// The moment to go to from film second `position`: the first starting
// after it (sens +1) or the last starting before it (sens -1), with half a
// second of slack so that "P" from a moment's start goes to the one
// before. -1 when there is none.
int MomentVoisin(const std::vector<MomentMouvement>& m, double position, int sens);

// Text of a moment in the list: its start (wall-clock when the film has
// dates, film time otherwise) and its duration in seconds.
std::string TexteMoment(const MomentMouvement& m, bool dates, double debutJours, double finJours,
                        double dureeSecondes);

// Text of a moment of a search of the day's films: the date and time of
// day of its start (the film's place on the day strip) and its duration,
// then its film's name on a second line.
std::string TexteMomentDuJour(const MomentMouvement& m, const FilmDuJour& film, const JourDeFilms& jour);

// ---- The window side ----

struct AccesRecherche {
    TImageEtiree* image = nullptr;  // Shift+drag, the rectangle drawn over it
    QSlider* curseur = nullptr;     // the moments' marks
    QWidget* fenetre = nullptr;     // keys, owner of the panel
    std::function<std::string()> film;         // the current film ("" without one)
    std::function<std::string()> motDePasse;   // opens a protected film
    std::function<double()> position;          // film second shown (default PositionMontree)
    std::function<void(double)> allerA;        // exact seek to a film second
    // Opens another film at a film second (the window's opening and seek
    // to that second); the exact seek follows once its index is built.
    std::function<void(const std::string& chemin, double seconde)> ouvrirA;
    // Whether a film's index is built (default: the indexer's).
    std::function<bool(const std::string& chemin)> indexPret;
};

// Film second of the picture on screen: the reader's last picture, else
// the slider's second.
double PositionMontree();

// The exact seek of the main window: the picture at film second `t`
// (through the film's index when it is built), as a picture step does.
void AllerExactementA(TLecteurZR7_Principale* f, double t);

class RechercheMouvement : public QObject
{
    Q_OBJECT
public:
    explicit RechercheMouvement(const AccesRecherche& acces, QObject* parent = nullptr);
    ~RechercheMouvement() override;

    bool ARectangle() const { return aRectangle_; }
    const RectangleMouvement& Rectangle() const { return rect_; }
    void FixerRectangle(const RectangleMouvement& r);
    void EffacerRectangle();

    // Starts the search of the current film, or of the day's films when
    // the box is checked and the film has an hourly name (nothing without
    // a rectangle or a film, or while one runs); Annuler stops it.
    void Chercher();
    void Annuler();
    bool EnCours() const { return enCours_; }

    // Forgets the moments (a film not searched was set up).
    void Oublier();
    // The moments of the last search, in time order.
    const std::vector<MomentTrouve>& Moments() const { return moments_; }
    // The same by film (film seconds), for the marks.
    std::map<std::string, std::vector<MomentMouvement>> MomentsParFilm() const;
    // Whether the moments come from a search of the day's films.
    bool RechercheDuJour() const { return duJour_; }
    // Goes to moment i (its start, in its film); false when there is none.
    bool AllerAuMoment(int i);
    // "N" (+1) / "P" (-1) from the position shown.
    bool Voisin(int sens);

    QWidget* Panneau() const { return panneau_; }
    QPushButton* BoutonChercher() const { return chercher_; }
    QPushButton* BoutonAnnuler() const { return annuler_; }
    QListWidget* Liste() const { return liste_; }
    QSpinBox* Sensibilite() const { return sensibilite_; }
    QCheckBox* CaseJour() const { return caseJour_; }
    QProgressBar* Progression() const { return progression_; }
    QLabel* Etat() const { return etat_; }

    bool eventFilter(QObject* objet, QEvent* evenement) override;

signals:
    // The search ended (found, nothing, cancelled or failed).
    void RechercheTerminee();
    // The moments changed (a search ended, or they were forgotten).
    void MomentsChanges();

private:
    struct Resultat;
    void Terminer(const std::shared_ptr<Resultat>& r);
    void Lister(const Resultat& r);
    void MettreAJourBoutons();
    bool FiltreImage(QEvent* e);
    // Time of the position shown on the scale of the moments' instants; -1
    // when the current film was not searched.
    double InstantMontre() const;
    bool IndexPret(const std::string& chemin) const;
    void SuivreFilm();

    AccesRecherche acces_;
    RectangleMouvement rect_;
    bool aRectangle_ = false;
    bool trace_ = false;  // a Shift+drag is under way
    QPointF origine_;

    QWidget* panneau_ = nullptr;
    QWidget* calqueImage_ = nullptr;
    QWidget* calqueCurseur_ = nullptr;
    QLabel* aide_ = nullptr;
    QSpinBox* sensibilite_ = nullptr;
    QCheckBox* caseJour_ = nullptr;
    QPushButton* chercher_ = nullptr;
    QPushButton* annuler_ = nullptr;
    QProgressBar* progression_ = nullptr;
    QListWidget* liste_ = nullptr;
    QLabel* etat_ = nullptr;
    QTimer* minuterieAttente_ = nullptr;

    std::vector<MomentTrouve> moments_;
    std::vector<int> lignes_;             // row of each moment in the list
    JourDeFilms jourMoments_;             // films searched (one without the day)
    bool duJour_ = false;
    std::string filmMarques_;             // film whose moments the slider shows
    int dernierSaut_ = -1;  // moment last jumped to
    // A moment of another film opened at its second, whose exact picture
    // is asked for once the film's index is built.
    struct SautEnAttente {
        std::string film;
        double seconde = 0;
        int tics = 0;
    } attente_;
    bool enCours_ = false;
    std::atomic<bool> arret_{false};
    std::thread fil_;
};
