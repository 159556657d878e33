// Measure-file reader thread: while the film plays, turns each measure line
// that has come due (its time reached by PositionSecondes) into a notice file
// in DossierDonnees and broadcasts "VelmoraZr7WM_MAG_MESURES" with the
// notice number, for the measure window to show.
#pragma once

#include "core/travail.h"
#include "measures/mesures_calcul.h"

#include <atomic>
#include <cstdint>
#include <string>
#include <sys/types.h>
#include <vector>

// Waits of the measure reader, in milliseconds.
constexpr int AttenteDemarrageMesuresMs = 1000; // before the first look
constexpr int AttenteInactiveMesuresMs = 1;     // idle poll
constexpr int AttentePasseMesuresMs = 10;       // between passes, and while a line is not yet due
constexpr int AttenteEchecMesuresMs = 50;       // after a measure file that cannot be read
constexpr int EspacementAvisMs = 20;            // after each notice, so that notices are spaced out

// The measure file is copied whole into memory, as far as this: measure
// files are text of a few megabytes; anything beyond is not read (logged).
constexpr int64_t TailleMaxMesures = int64_t(256) << 20;

class ThMagnetoMesures : public ThreadTravail
{
    Q_OBJECT
public:
    // The thread starts at once. A channel outside the table ends it after
    // its start wait. Tests shorten the wait and start the notice numbers
    // elsewhere; the player uses the defaults.
    explicit ThMagnetoMesures(int voie, int attenteDemarrageMs = AttenteDemarrageMesuresMs,
                              uint32_t numeroInitial = 0);
    ~ThMagnetoMesures() override;

    // Notice number of the last notice (0 before the first).
    uint32_t DernierNumero() const { return numero_.load(); }

protected:
    void run() override;

private:
    enum class FinPasse { FinDeFichier, Inactives, Arret };

    bool MesuresActives() const;
    // Copies the measure file into memory unless the copy already holds it
    // unchanged. Returns -1 when the file cannot be read, 1 when it was
    // (re)read, 0 when the copy was kept.
    int Charger(const std::string& chemin);
    void Liberer();
    FinPasse Passe(uint32_t secondeDebut);
    void Annoncer(const LigneMesure& ligne);

    int attenteDemarrageMs_;
    std::atomic<uint32_t> numero_;

    // The copy of the measure file and its line index, kept from one pass
    // to the next while the file is unchanged (reader thread only).
    std::vector<char> copie_;
    const char* image_ = nullptr;
    size_t taille_ = 0;
    std::string cheminCharge_;
    dev_t peripherique_ = 0;
    ino_t inode_ = 0;
    off_t tailleFichier_ = -1;
    int64_t modifieNs_ = 0;
    std::vector<RepereMesure> index_;
};
