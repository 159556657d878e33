// Audio output thread: takes the sound reader's chunks out of the channel's
// handover area, holds at most one chunk of 16,000 bytes, and queues it to
// the audio-out slot of the channel when the device reports a buffer done
// (just before its end, so the next follows without a gap), or at once when
// the output has not started.
//
// The output is silent, with everything it holds dropped and the device's
// queue returned, while the film is not playing or is paused, sound is off,
// the speed is not x 1, the film plays backwards, or when a new run begins:
// sound played then would not match the pictures.
#pragma once

#include "core/travail.h"
#include "sound/audio_out.h"

#include <atomic>
#include <cstdint>
#include <memory>

constexpr int AttenteDemarrageSonMs = 500;

// What the output thread sees of the channel at one cycle.
struct EtatSortieSon {
    bool lecture = false, pause = false, sonActif = false, sonEcoute = false;
    double vitesse = 1.0;
    int sens = 1; // -1 while the film plays backwards
    uint32_t numeroRun = 0;
};

// True while the output may play: film playing and not paused, sound on,
// speed x 1, forwards.
bool SortieSonAudible(const EtatSortieSon& e);

class TH_Son : public ThreadTravail
{
    Q_OBJECT
public:
    // Opens the channel's audio-out slot and starts the thread. The start
    // wait can be shortened for tests.
    explicit TH_Son(int voie, int attenteDemarrageMs = AttenteDemarrageSonMs);
    // Waits for the thread's end, then closes the slot.
    ~TH_Son() override;

    // Bytes accumulated and not yet queued (for tests).
    int32_t Pending() const { return pending_.load(); }

    void SendPending();
    void PrimeOutput();
    void OnBufferDone(EnteteSon* header);

protected:
    void run() override;

private:
    int attenteDemarrageMs_;
    std::unique_ptr<unsigned char[]> accumulation_;
    std::atomic<int32_t> pending_{0};
};
