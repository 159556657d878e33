// Audio-out layer: one record per channel over an SDL audio device opened at
// 8000 Hz, mono, signed 16-bit samples.
//
// Each open slot owns two buffers of mu-law bytes with their headers. A
// write fills the current header and queues it; the device's callback plays
// the queued headers in order, decoded to samples when they were queued, and
// records each header as done (doneHeader, then doneFlag) shortly before its
// end, and nothing else.
// The thread that writes reads doneFlag and doneHeader without a lock.
//
// Every function takes the slot index first and does nothing (or returns -1)
// when it is outside 0 to 16. Only slots 0 to 15 can be opened.
#pragma once

#include <SDL.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

constexpr int NbSlotsAudio = 17;
constexpr int NbSlotsOuvrables = 16;
// Device rate and the samples it asks for at each callback (32 ms: the
// device's own delay stays well under what a viewer notices).
constexpr int FrequenceSon = 8000;
constexpr int EchantillonsParRappel = 256;

// Header flags (a header stands for one buffer handed to the device).
constexpr uint32_t EnteteFinie = 0x01;    // returned by the device
constexpr uint32_t EntetePreparee = 0x02; // decoded and ready to queue
constexpr uint32_t EnteteEnFile = 0x10;   // queued to the device, not yet returned

// Wave error codes used by the layer; the texts are those of TexteErreurWave.
constexpr int WaveOk = 0;
constexpr int WaveErreurInconnue = 1;   // SDL failed: its error string goes into the line
constexpr int WaveSansPeripherique = 2; // no real device behind the driver
constexpr int WaveParametre = 11;
constexpr int WaveEncoreEnLecture = 33; // a header still queued cannot be refilled
constexpr int WaveNonPreparee = 34;

// Format of the sound files: mu-law, one channel, 8000 bytes a second. The
// block alignment of 2 is what the recorders declare.
struct FormatSon {
    uint16_t wFormatTag = 0;
    uint16_t nChannels = 0;
    uint32_t nSamplesPerSec = 0;
    uint32_t nAvgBytesPerSec = 0;
    uint16_t nBlockAlign = 0;
    uint16_t wBitsPerSample = 0;
    uint16_t cbSize = 0;
};

struct EnteteSon {
    unsigned char* lpData = nullptr; // bufferSize mu-law bytes
    int32_t dwBufferLength = 0;      // bytes to play
    std::atomic<uint32_t> dwFlags{0};
    // Samples decoded when the header is prepared; the callback reads only
    // these, so a write into lpData never changes what is playing.
    int16_t* echantillons = nullptr;
    int32_t nbEchantillons = 0;
    bool annonce = false; // recorded as done (callback side)
};

// What the callback saw at one call: when it ran, the device position of
// its first sample, and how many queued samples it handed over first (the
// rest of the call is silence).
struct TraceRappel {
    int64_t tempsNs = 0;            // steady clock
    int64_t positionPeripherique = 0; // samples handed to the device before this call
    int64_t positionDonnees = 0;    // queued samples handed over before this call
    int32_t nbDonnees = 0;
    int32_t nbEchantillons = 0;
    bool annonce = false; // recorded as done (callback side)
};

struct AudioOutSlot {
    std::atomic<unsigned char> busy{0}; // 1 while opening and from the close on
    FormatSon format;
    SDL_AudioDeviceID device = 0;       // 0 while the slot is not open
    EnteteSon headers[2];
    int32_t current = 0;                // the header the next write fills
    int32_t bufferSize = 0;
    std::atomic<unsigned char> doneFlag{0};
    std::atomic<EnteteSon*> doneHeader{nullptr};

    // Device side: the queued headers in play order, touched by the
    // callback and, under the device lock, by the writing thread.
    EnteteSon* file[2] = {nullptr, nullptr};
    int nbFile = 0;
    int32_t lus = 0; // samples of file[0] already handed over
    int64_t positionPeripherique = 0;
    int64_t positionDonnees = 0;
    int echantillonsPeripherique = 0; // samples per callback granted by SDL

    // Callback trace, a ring the callback writes and readers copy.
    TraceRappel* traces = nullptr;
    std::atomic<uint64_t> nbTraces{0};
};

// Opens the slot: format, device, two buffers of bufferSize bytes, both
// headers prepared. Returns 0 or the wave error code of the step that
// failed (the slot then stays closed, or open without buffers).
int AUDIO_OUT_Open(int slot, int bufferSize);
// Copies min(length, bufferSize) bytes into the current header and queues it.
void AUDIO_OUT_Write(int slot, const unsigned char* data, int length);
// Queues the current header and moves to the other one. Returns the wave
// result (0 = queued).
int AUDIO_OUT_QueueNextBuffer(int slot);
// Returns every queued header to the writer, each recorded as done.
void AUDIO_OUT_Reset(int slot);
void AUDIO_OUT_Close(int slot);

// The slot record, for the audio output thread and for tests; nullptr
// outside 0 to 16.
AudioOutSlot* AUDIO_OUT_Slot(int slot);
bool AUDIO_OUT_Ouvert(int slot);

// The callback trace of an open slot, oldest first (the last calls only
// when the ring has wrapped).
std::vector<TraceRappel> AUDIO_OUT_Traces(int slot);

// Text of a wave error code ("raised an unknown error (code N)" for codes
// not in the table).
std::string TexteErreurWave(int code);
// Log line of a failure: label cut to 100 characters, a space, the text;
// an SDL error string, when given, follows the unknown-error text.
std::string LigneErreurWave(const char* label, int code, const char* erreurSdl = nullptr);
