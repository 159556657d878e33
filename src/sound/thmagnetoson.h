// Sound-file reader thread: reads the film's ".pcm" (G.711 mu-law, 8000
// bytes a second of film) and hands it, two seconds at a time, to the audio
// output through the channel's one-chunk handover area (BufferSon,
// NbOctetsSon).
//
// A pass starts at the byte of the picture on screen (8 bytes a
// millisecond), once the current run has shown its first picture, and hands
// the file on from there. A pause ends the pass (the output empties the
// device); after it the next pass starts at the first picture shown again,
// as after a seek. Once a pass has handed the file over to its end, the next
// one waits until the picture on screen has passed that end: the sound is
// never played twice. Nothing is handed over while sound is off, the film is
// not playing, the speed is not x 1 or the film plays backwards: the sound
// could not follow the pictures then. The pass reads only the chunks it
// hands over, never the whole file.
#pragma once

#include "core/travail.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

constexpr int AttenteDemarrageMagnetoSonMs = 1000;
constexpr int DebitSonOctetsParSeconde = 8000;
constexpr int OctetsSonParMs = DebitSonOctetsParSeconde / 1000;
// Longest sound path taken from CheminSon.
constexpr int LongueurCheminSon = 300;

// What the sound reader sees of the channel at one check.
struct EtatLectureSon {
    bool lecture = false, pause = false, sonActif = false, sonEcoute = false;
    double vitesse = 1.0;
    int sens = 1; // -1 while the film plays backwards
    uint32_t numeroDemande = 0;
    uint32_t numeroRun = 0;
    int64_t imageMontree = -1;
    int64_t msImageMontree = 0;
    uint32_t runImageMontree = 0;
};

// Sound is active: film playing and sound switched on.
bool SonActif(const EtatLectureSon& e);
// Active, forwards and at x 1: chunks may be handed over.
bool SonAuPas(const EtatLectureSon& e);
// The reader has taken up the window's latest command and its run has
// handed its first picture over.
bool PremiereImageDuRunMontree(const EtatLectureSon& e);

// The sound file of CheminSon: at most 300 characters, the last three
// replaced by "pcm" (shorter texts are returned as they are).
std::string CheminFichierSon(const char* cheminSon);
// First byte of a pass for the picture shown at `msImage`; -1 for a
// negative time.
int64_t DebutPasseSon(int64_t msImage);
// Size of the chunk at `offset` of a file of `longueur` bytes.
int32_t TailleMorceauSon(int64_t longueur, int64_t offset);

// What holds the next pass back within a run.
struct AttenteSon {
    enum class Type { Aucune, Reprise, Fin } type = Type::Aucune;
    uint32_t run = 0;        // NumeroRun when it was set; a new run clears it
    // Reprise: the picture on screen at the pause (and its run).
    int64_t image = -1;
    uint32_t runImage = 0;
    int64_t finOctet = 0;    // Fin: the length handed over to its end
};
// The hold of a pause seen in `e`, and of a file handed over to its end.
AttenteSon AttentePause(const EtatLectureSon& e);
AttenteSon AttenteFin(const EtatLectureSon& e, int64_t longueur);
// A pass may begin: the run's first picture is shown, the film is not
// paused, and the hold is gone (new run; after a pause, another picture
// shown; after the end, the picture on screen at or past that end).
bool PasseSonPermise(const EtatLectureSon& e, const AttenteSon& a);

// Text said once when the sound file exists but cannot be read.
std::string TexteSonIllisible(const std::string& cheminFichierSon);

class ThMagnetoSon : public ThreadTravail
{
    Q_OBJECT
public:
    // Starts the thread at once. Channels outside 0 to 15 end after the
    // start wait, which tests can shorten.
    explicit ThMagnetoSon(int voie, int attenteDemarrageMs = AttenteDemarrageMagnetoSonMs);

    // Byte at which the last pass began (-1 before the first), and the
    // number of passes begun: for tests and benchmarks.
    int64_t DebutDernierePasse() const { return debutDernierePasse_.load(); }
    int NbPasses() const { return nbPasses_.load(); }
    // Bytes handed over since the start.
    int64_t OctetsRemis() const { return octetsRemis_.load(); }

protected:
    void run() override;

private:
    enum class Suite { Cycle, Fin };
    Suite Passe();
    EtatLectureSon LireEtat() const;
    void ViderRemise() const;
    void SignalerIllisible(const std::string& chemin, int erreur) const;

    int attenteDemarrageMs_;
    std::unique_ptr<unsigned char[]> morceau_;
    std::atomic<int64_t> debutDernierePasse_{-1};
    std::atomic<int> nbPasses_{0};
    std::atomic<int64_t> octetsRemis_{0};
    AttenteSon attente_; // this thread only
};
