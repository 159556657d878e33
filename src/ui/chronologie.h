// The day strip above the footer: the recorder's films of the current
// film's day as their recorded spans, the gaps between them, measure lines
// as ticks, motion hits as marks and the current time as a cursor. A click
// opens the film under the pointer at that time; the wheel zooms from the
// whole day down to a few minutes (Shift+wheel moves along the day); the
// hint and the preview give the time under the pointer.
#pragma once

#include "engine/mouvement.h"
#include "ui/chronologie_calcul.h"

#include <QString>
#include <QWidget>

#include <functional>
#include <map>
#include <string>
#include <vector>

class Apercu;
class QTimer;

// Height of the strip in the window.
constexpr int HauteurChronologie = 40;
// How often the strip follows the current film and its position.
constexpr int IntervalleChronologieMs = 250;

// What the strip needs of the window.
struct LienChronologie {
    std::function<std::string()> cheminFilm;    // empty: no film
    std::function<double()> secondeFilm;         // position in the current film
    // Opens `chemin` at second `seconde` (the current film: a seek).
    std::function<void(const std::string& chemin, int seconde)> ouvrirA;
    // The strip's height changed between 0 and HauteurChronologie.
    std::function<void()> disposer;
};

class Chronologie : public QWidget
{
    Q_OBJECT
public:
    Chronologie(QWidget* parent, LienChronologie lien);

    // Whether there is a day to show (the current film has an hourly name).
    bool Utile() const { return !jour_.films.empty(); }
    // Reads the film and position now instead of at the next tick; rescans
    // the day when the film changed or `rescanner` is set.
    void Suivre(bool rescanner = false);

    // Motion hits of a film (film seconds), drawn as marks; replaces the
    // film's previous ones. An empty list removes them.
    void FixerMouvements(const std::string& chemin, const std::vector<MomentMouvement>& moments);
    void EffacerMouvements();
    // The marks drawn, by film.
    const std::map<std::string, std::vector<MomentMouvement>>& Mouvements() const { return mouvements_; }

    // The preview shown while hovering (may be null).
    void FixerApercu(Apercu* apercu) { apercu_ = apercu; }

    // Time of the day and film under x, as the hint reads it:
    // "10:42:17 — 12-05-2014-10-15.mjp", or "… — pas d'enregistrement".
    QString TexteSous(int x) const;

    const JourDeFilms& Jour() const { return jour_; }
    const std::vector<Intervalle>& Trous() const { return trous_; }
    const FenetreTemps& Fenetre() const { return fenetre_; }
    double InstantCourant() const { return instantCourant_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    bool event(QEvent* event) override;

private:
    QString TexteBulle(int x) const;

    // A film opened from the strip at a second, whose exact picture is
    // asked for again once its index is there.
    struct AttenteExacte {
        std::string chemin;
        int seconde = 0;
        int tics = 0;
    };
    AttenteExacte attente_;
    LienChronologie lien_;
    Apercu* apercu_ = nullptr;
    QTimer* minuterie_;
    std::string chemin_;
    JourDeFilms jour_;
    std::vector<Intervalle> trous_;
    FenetreTemps fenetre_;
    double instantCourant_ = -1;
    std::map<std::string, std::vector<MomentMouvement>> mouvements_;
};
