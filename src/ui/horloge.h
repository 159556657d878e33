// The one clock of films shown together: it owns the time, and drives
// every film's channel from it (seek, picture step, play, pause), so that
// each tile shows the picture whose time is the clock's.
//
// Paused, after a seek, a go-to or a step, each channel is asked for the
// picture of the clock time (exact with the film's index). While playing,
// every channel runs at the shared speed from the same start, in the
// clock's direction, and the clock follows the selected film's picture on
// screen; a film whose span the clock enters (its start forwards, its end
// backwards) starts there, one whose span it leaves stops.
#pragma once

#include "engine/horloge_calcul.h"

#include <QObject>

#include <cstdint>
#include <functional>
#include <vector>

// A film driven by the clock.
struct PisteHorloge {
    int voie = -1;          // its channel; -1 for a tile without a film
    FilmHorloge film;
    PlageHorloge plage;
};

class THorloge : public QObject
{
    Q_OBJECT
public:
    explicit THorloge(QObject* parent = nullptr);

    // The films, in tile order; the clock goes to the earliest start,
    // stopped. Index counts are read again at each command.
    void FixerPistes(const std::vector<PisteHorloge>& pistes);
    const std::vector<PisteHorloge>& Pistes() const { return pistes_; }
    // The film whose picture the clock follows and steps (a tile number).
    void FixerSelection(int piste) { selection_ = piste; }
    int Selection() const { return selection_; }

    int64_t Temps() const { return temps_; }
    const PlageHorloge& Etendue() const { return etendue_; }
    bool EnLecture() const { return lecture_; }
    // Direction: 1 forwards, -1 backwards. Turning round while playing
    // pauses every channel on the selected film's picture and plays again
    // from there the other way.
    void FixerSens(int sens);
    int Sens() const { return sens_; }

    // Stops every channel and asks each for its picture at t (held to the
    // span). `image` >= 0: that picture of film `piste` exactly, the
    // others at its time.
    void Aller(int64_t t, int piste = -1, int64_t image = -1);
    // Stops every channel and goes to the last picture of the film that
    // ends last, the others at its time (End).
    void AllerALaFin();
    // One picture of the selected film forward (+1) or back (-1), the
    // others at its time; false when there is no picture there.
    bool Pas(int sens);
    // Every film with a picture at the clock time plays from it.
    void Jouer();
    // Stops every channel and shows, on each, the picture of the time the
    // selected film had reached.
    void Pause();
    // Stops every channel and waits for the readers to see it, the time
    // kept (before the films change channels).
    void Arreter();
    // While playing: follows the time, starts and stops films at the edges
    // of their spans. True once the clock has reached the end of its way:
    // the span's end forwards, its earliest start backwards (the caller
    // then loops or stops).
    bool Avancer();

    // The picture of film `piste` at the clock time.
    ImageHorloge ImageDe(int piste) const;

    // How the clock waits for the readers to see a stop (a real sleep by
    // default; tests may count instead).
    std::function<void(int ms)> Attendre;

signals:
    // The clock moved (a command, or playback going on).
    void TempsChange();

private:
    void ArreterVoies();
    void Positionner(size_t i, int64_t t, int64_t image, bool jouer);
    // Film index count now (the index may have been published meanwhile).
    FilmHorloge FilmActuel(size_t i) const;
    int64_t TempsMontre(size_t i, bool& connu) const;

    std::vector<PisteHorloge> pistes_;
    std::vector<bool> enCours_; // channel playing in the current run
    PlageHorloge etendue_;
    int64_t temps_ = 0;
    int selection_ = 0;
    bool lecture_ = false;
    int sens_ = 1;
    // Start of the current playing run: clock time and wall-clock ms.
    int64_t tempsDepart_ = 0;
    int64_t msDepart_ = 0;
    double vitesseDepart_ = 1.0;
};
