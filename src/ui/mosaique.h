// Several films shown together (up to four) on one clock: the tiles, their
// channels, readers and indexers, the layout, the selection and the
// commands of the window's transport while two films or more are open.
//
// The selected tile's film is always on channel 0, the channel of the
// window's own sound, measures, password, exports and snapshot: selecting
// another tile swaps the two channels' films. A single film is the
// window's own path (one tile).
#pragma once

#include "ui/navigation_calcul.h"

#include <QObject>
#include <QRect>
#include <QString>

#include <memory>
#include <string>
#include <vector>

class QTimer;
class TLecteurZR7_Principale;
class THorloge;
class TTuile;
class Th_Indexeur;
class Th_Lecteur_Magneto;

// Follow-up of the playing clock and of the tiles (read-out, no recording).
constexpr int IntervalleMosaiqueMs = 40;

// What a film gives a tile when it is opened: its channel's description,
// or the French reason it cannot be shown. Plain file checks, as the
// window's own selection makes them.
struct FilmTuile {
    std::string chemin;
    bool valide = false;
    std::string erreur; // when not valide
    int type = 0;
    uint32_t nbImages = 0, dureeMs = 0;
    bool dates = false;
    double dateDebut = 0, dateFin = 0;
};
FilmTuile ExaminerFilm(const std::string& chemin);

class Mosaique : public QObject
{
    Q_OBJECT
public:
    explicit Mosaique(TLecteurZR7_Principale* fenetre);
    ~Mosaique() override;

    // Opens films together: one goes the window's own way; two to four
    // make the mosaic (more: the first four and a message).
    void Ouvrir(const std::vector<std::string>& chemins);
    // Back to the window's single film: the other channels stop.
    void Fermer();
    bool Active() const { return !tuiles_.empty(); }

    // Lays the tiles over the picture panel; false when not active.
    bool Disposer();
    // The window's transport while active.
    bool Executer(ActionTouche action);
    void Jouer();
    void Pause();
    void Debut();
    void CurseurRelache();
    // Ctrl+G: a wall-clock time (or a time from the start without dates).
    void AllerA();
    // Click and double-click on a tile.
    void Selectionner(int tuile);
    void BasculerSeule(int tuile);

    int NbTuiles() const { return static_cast<int>(tuiles_.size()); }
    TTuile* Tuile(int i) const { return tuiles_[size_t(i)]; }
    int VoieDeTuile(int i) const { return voies_[size_t(i)]; }
    int TuileSelectionnee() const;
    int TuileSeule() const { return seule_; }
    THorloge* Horloge() const { return horloge_; }
    // Second of the selected film at the clock time, held to the film.
    int SecondeDuFilmSelectionne() const;
    // "jj/mm/aaaa hh:mm:ss" then "image k / N" (or why none) per tile.
    QString TexteLecture() const;
    // Follows the clock: tiles, read-out, slider; the end of the span.
    void Suivre();

signals:
    // The clock turned forwards by itself (backwards to the earliest start).
    void SensChange();

private:
    // Stops the channels and removes the tiles; the window is left as is.
    void ArreterVoies();
    void PreparerVoie(int voie);
    void MontrerCompagnons();
    void MettreAJourTuiles();
    void MontrerTemps();
    void FixerPistes();

    TLecteurZR7_Principale* f_;
    THorloge* horloge_;
    QTimer* minuterie_;
    std::vector<TTuile*> tuiles_;
    std::vector<int> voies_;          // channel of each tile, -1 for a bad film
    std::vector<FilmTuile> films_;    // as opened, in tile order
    int seule_ = -1;                  // tile shown alone, -1 for the mosaic
    // Channels 1 to 3: reader, indexer and picture buffer (channel 0's are
    // start-up's and the window's).
    std::unique_ptr<Th_Lecteur_Magneto> lecteurs_[4];
    std::unique_ptr<Th_Indexeur> indexeurs_[4];
    std::unique_ptr<unsigned char[]> images_[4];
};
