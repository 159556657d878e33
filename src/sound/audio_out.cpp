#include "sound/audio_out.h"

#include "core/journal.h"
#include "sound/g711.h"
#include "sound/silence_alsa.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <new>

namespace {

AudioOutSlot Slots[NbSlotsAudio];

// About nine minutes of callbacks at 32 ms each.
constexpr uint64_t TailleTrace = 1u << 14;
constexpr int LongueurLabelMax = 100;
constexpr uint16_t FormatMuLaw = 7;
// Samples left in a lone buffer when it is reported done: 250 ms.
constexpr int AvanceAnnonce = FrequenceSon / 4;

bool Valide(int slot)
{
    return slot >= 0 && slot < NbSlotsAudio;
}

void Journaliser(int slot, const std::string& ligne)
{
    EcrireJournal(Journal::Audio, slot, ligne.c_str());
}

int64_t MaintenantNs()
{
    using namespace std::chrono;
    return duration_cast<nanoseconds>(steady_clock::now().time_since_epoch()).count();
}

void Annoncer(AudioOutSlot& s, EnteteSon* h)
{
    h->annonce = true;
    s.doneHeader.store(h, std::memory_order_release);
    s.doneFlag.store(1, std::memory_order_release);
}

// Device callback: copies queued samples, records finished headers. No
// lock, allocation, log or file access here.
//
// A header alone in the queue is recorded as done when a quarter of a
// second (or one call) is left of it, others when they end: the writer then
// queues the next buffer behind it in time even on a busy machine, and no
// silence falls between two buffers (each gap would put the sound further
// behind the pictures).
void SDLCALL Rappel(void* userdata, Uint8* flux, int longueur)
{
    AudioOutSlot& s = Slots[reinterpret_cast<intptr_t>(userdata)];
    int16_t* sortie = reinterpret_cast<int16_t*>(flux);
    const int n = longueur / static_cast<int>(sizeof(int16_t));
    int i = 0;
    while (i < n && s.nbFile > 0) {
        EnteteSon* h = s.file[0];
        const int k = std::min(n - i, h->nbEchantillons - s.lus);
        if (k > 0) {
            std::memcpy(sortie + i, h->echantillons + s.lus, static_cast<size_t>(k) * sizeof(int16_t));
            i += k;
            s.lus += k;
        }
        if (s.lus >= h->nbEchantillons) {
            h->dwFlags.store((h->dwFlags.load() & ~EnteteEnFile) | EnteteFinie);
            s.file[0] = s.file[1];
            s.file[1] = nullptr;
            --s.nbFile;
            s.lus = 0;
            if (!h->annonce)
                Annoncer(s, h);
        }
    }
    if (i < n)
        std::memset(sortie + i, 0, static_cast<size_t>(n - i) * sizeof(int16_t));
    // Early only for a header alone in the queue: the writer then fills the
    // other header, which is free.
    if (s.nbFile == 1 && !s.file[0]->annonce &&
        s.file[0]->nbEchantillons - s.lus <= std::max(n, AvanceAnnonce))
        Annoncer(s, s.file[0]);
    if (s.traces != nullptr) {
        const uint64_t k = s.nbTraces.load(std::memory_order_relaxed);
        TraceRappel& t = s.traces[k % TailleTrace];
        t.tempsNs = MaintenantNs();
        t.positionPeripherique = s.positionPeripherique;
        t.positionDonnees = s.positionDonnees;
        t.nbDonnees = i;
        t.nbEchantillons = n;
        s.nbTraces.store(k + 1, std::memory_order_release);
    }
    s.positionPeripherique += n;
    s.positionDonnees += i;
}

int Preparer(EnteteSon& h)
{
    if (h.lpData == nullptr || h.echantillons == nullptr)
        return WaveParametre;
    if (h.dwFlags.load() & EnteteEnFile)
        return WaveEncoreEnLecture;
    h.nbEchantillons = std::max(0, h.dwBufferLength);
    DecoderMuLawBloc(h.lpData, h.nbEchantillons, h.echantillons);
    h.dwFlags.store(h.dwFlags.load() | EntetePreparee);
    return WaveOk;
}

int Depreparer(EnteteSon& h)
{
    if (h.dwFlags.load() & EnteteEnFile)
        return WaveEncoreEnLecture;
    h.dwFlags.store(h.dwFlags.load() & ~EntetePreparee);
    return WaveOk;
}

int MettreEnFile(AudioOutSlot& s, EnteteSon& h)
{
    const uint32_t f = h.dwFlags.load();
    if (!(f & EntetePreparee))
        return WaveNonPreparee;
    if (f & EnteteEnFile)
        return WaveEncoreEnLecture;
    SDL_LockAudioDevice(s.device);
    int r = WaveOk;
    if (s.nbFile >= 2) {
        r = WaveEncoreEnLecture;
    } else {
        h.annonce = false;
        h.dwFlags.store((f & ~EnteteFinie) | EnteteEnFile);
        s.file[s.nbFile++] = &h;
    }
    SDL_UnlockAudioDevice(s.device);
    return r;
}

void LibererTampons(AudioOutSlot& s)
{
    for (EnteteSon& h : s.headers) {
        delete[] h.lpData;
        delete[] h.echantillons;
        h.lpData = nullptr;
        h.echantillons = nullptr;
        h.dwBufferLength = 0;
        h.nbEchantillons = 0;
        h.dwFlags.store(0);
    }
    delete[] s.traces;
    s.traces = nullptr;
}

void Effacer(AudioOutSlot& s)
{
    s.busy.store(0);
    s.format = FormatSon();
    s.device = 0;
    for (EnteteSon& h : s.headers) {
        h.lpData = nullptr;
        h.echantillons = nullptr;
        h.dwBufferLength = 0;
        h.nbEchantillons = 0;
        h.dwFlags.store(0);
    }
    s.current = 0;
    s.bufferSize = 0;
    s.doneFlag.store(0);
    s.doneHeader.store(nullptr);
    s.file[0] = s.file[1] = nullptr;
    s.nbFile = 0;
    s.lus = 0;
    s.positionPeripherique = s.positionDonnees = 0;
    s.echantillonsPeripherique = 0;
    s.traces = nullptr;
    s.nbTraces.store(0);
}

// The dummy driver plays nothing: the slot behaves as without a device.
bool PilotePeripherique()
{
    const char* pilote = SDL_GetCurrentAudioDriver();
    return pilote != nullptr && std::strcmp(pilote, "dummy") != 0;
}

} // namespace

AudioOutSlot* AUDIO_OUT_Slot(int slot)
{
    return Valide(slot) ? &Slots[slot] : nullptr;
}

bool AUDIO_OUT_Ouvert(int slot)
{
    return Valide(slot) && Slots[slot].device != 0;
}

int AUDIO_OUT_Open(int slot, int bufferSize)
{
    if (!Valide(slot))
        return -1;
    AudioOutSlot& s = Slots[slot];
    if (s.device != 0)
        AUDIO_OUT_Close(slot);
    Effacer(s);
    s.busy.store(1);
    s.bufferSize = bufferSize;
    s.format.wFormatTag = FormatMuLaw;
    s.format.nChannels = 1;
    s.format.nSamplesPerSec = FrequenceSon;
    s.format.nAvgBytesPerSec = FrequenceSon;
    s.format.nBlockAlign = 2;
    s.format.wBitsPerSample = 8;
    s.format.cbSize = 0;

    // The player handles the end-of-session signals itself (core/signaux.h):
    // SDL must not take them over. Without a card, libasound stays quiet.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    DetournerErreursAlsa();

    int resultat = WaveOk;
    if (slot >= NbSlotsOuvrables || bufferSize <= 0) {
        // No completion routine for this slot: it stays closed.
        resultat = WaveParametre;
    } else if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
        resultat = WaveErreurInconnue;
        Journaliser(slot, LigneErreurWave("WaveOutOpen", resultat, SDL_GetError()));
    } else if (!PilotePeripherique()) {
        resultat = WaveSansPeripherique;
        Journaliser(slot, LigneErreurWave("WaveOutOpen", resultat));
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
    } else {
        SDL_AudioSpec voulu{};
        voulu.freq = FrequenceSon;
        voulu.format = AUDIO_S16SYS;
        voulu.channels = 1;
        voulu.samples = EchantillonsParRappel;
        voulu.callback = Rappel;
        voulu.userdata = reinterpret_cast<void*>(static_cast<intptr_t>(slot));
        SDL_AudioSpec obtenu{};
        const SDL_AudioDeviceID dev = SDL_OpenAudioDevice(nullptr, 0, &voulu, &obtenu, 0);
        if (dev == 0) {
            resultat = WaveErreurInconnue;
            Journaliser(slot, LigneErreurWave("WaveOutOpen", resultat, SDL_GetError()));
            SDL_QuitSubSystem(SDL_INIT_AUDIO);
        } else {
            s.device = dev;
            s.echantillonsPeripherique = obtenu.samples;
            bool alloue = true;
            for (EnteteSon& h : s.headers) {
                h.lpData = new (std::nothrow) unsigned char[static_cast<size_t>(bufferSize)];
                h.echantillons = new (std::nothrow) int16_t[static_cast<size_t>(bufferSize)];
                if (h.lpData == nullptr || h.echantillons == nullptr) {
                    delete[] h.lpData;
                    delete[] h.echantillons;
                    h.lpData = nullptr;
                    h.echantillons = nullptr;
                    alloue = false;
                    break;
                }
                std::memset(h.lpData, 0xFF, static_cast<size_t>(bufferSize)); // mu-law silence
                h.dwBufferLength = bufferSize;
            }
            if (!alloue) {
                resultat = WaveOk; // the open itself succeeded
                Journaliser(slot, LigneErreurWave("WaveOutOpen malloc", resultat));
            } else {
                for (EnteteSon& h : s.headers) {
                    const int r = Preparer(h);
                    if (r != WaveOk) {
                        resultat = r;
                        Journaliser(slot, LigneErreurWave("waveOutPrepareHeader", r));
                        break;
                    }
                }
                s.traces = new (std::nothrow) TraceRappel[TailleTrace];
                if (resultat == WaveOk)
                    Journaliser(slot, "Initialisation OK");
            }
            SDL_PauseAudioDevice(dev, 0);
        }
    }
    s.busy.store(0);
    return resultat;
}

void AUDIO_OUT_Write(int slot, const unsigned char* data, int length)
{
    if (!AUDIO_OUT_Ouvert(slot) || data == nullptr)
        return;
    AudioOutSlot& s = Slots[slot];
    const int n = std::min(length, s.bufferSize);
    if (n <= 0)
        return;
    EnteteSon& h = s.headers[s.current];
    if (h.lpData == nullptr)
        return;
    std::memcpy(h.lpData, data, static_cast<size_t>(n));
    h.dwBufferLength = n;
    AUDIO_OUT_QueueNextBuffer(slot);
}

int AUDIO_OUT_QueueNextBuffer(int slot)
{
    if (!AUDIO_OUT_Ouvert(slot))
        return -1;
    AudioOutSlot& s = Slots[slot];
    EnteteSon& h = s.headers[s.current];
    int r = Depreparer(h);
    if (r == WaveOk)
        r = Preparer(h);
    if (r != WaveOk) {
        Journaliser(slot, LigneErreurWave("AUDIO_OUT_QueueNextBuffer", r));
        return r;
    }
    h.dwFlags.store(EntetePreparee);
    r = MettreEnFile(s, h);
    s.current = s.current == 0 ? 1 : 0;
    return r;
}

void AUDIO_OUT_Reset(int slot)
{
    if (!AUDIO_OUT_Ouvert(slot))
        return;
    AudioOutSlot& s = Slots[slot];
    SDL_LockAudioDevice(s.device);
    for (int i = 0; i < s.nbFile; ++i) {
        EnteteSon* h = s.file[i];
        h->dwFlags.store((h->dwFlags.load() & ~EnteteEnFile) | EnteteFinie);
        Annoncer(s, h);
        s.file[i] = nullptr;
    }
    s.nbFile = 0;
    s.lus = 0;
    SDL_UnlockAudioDevice(s.device);
}

void AUDIO_OUT_Close(int slot)
{
    if (!AUDIO_OUT_Ouvert(slot))
        return;
    AudioOutSlot& s = Slots[slot];
    for (EnteteSon& h : s.headers)
        Depreparer(h);
    s.busy.store(1);
    AUDIO_OUT_Reset(slot);
    SDL_CloseAudioDevice(s.device); // waits for the callback's end
    s.device = 0;
    LibererTampons(s);
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    Journaliser(slot, "Fermeture OK");
}

std::vector<TraceRappel> AUDIO_OUT_Traces(int slot)
{
    std::vector<TraceRappel> v;
    if (!AUDIO_OUT_Ouvert(slot) || Slots[slot].traces == nullptr)
        return v;
    const AudioOutSlot& s = Slots[slot];
    const uint64_t n = s.nbTraces.load(std::memory_order_acquire);
    // The oldest entry may be overwritten while it is copied: keep a margin.
    const uint64_t debut = n > TailleTrace - 64 ? n - (TailleTrace - 64) : 0;
    for (uint64_t k = debut; k < n; ++k)
        v.push_back(s.traces[k % TailleTrace]);
    return v;
}

std::string TexteErreurWave(int code)
{
    switch (code) {
    case 2: return "The specified resource does not exist.";
    case 4: return "The specified resource is already in use.";
    case 5: return "The specified handle is invalid.";
    case 6: return "A suitable driver is not available to provide valid format selections.";
    case 7: return "The system is unable to allocate resources.";
    case 10: return "At least one flag is invalid.";
    case 11: return "At least one parameter is invalid.";
    case 32: return "Unsupported audio format.";
    case 35: return "The specified device does not support asynchronous operation.";
    default: break;
    }
    char texte[64];
    std::snprintf(texte, sizeof texte, "raised an unknown error (code %d)", code);
    return texte;
}

std::string LigneErreurWave(const char* label, int code, const char* erreurSdl)
{
    std::string ligne(label != nullptr ? label : "");
    if (ligne.size() > static_cast<size_t>(LongueurLabelMax))
        ligne.resize(static_cast<size_t>(LongueurLabelMax));
    ligne += ' ';
    ligne += TexteErreurWave(code);
    if (erreurSdl != nullptr && *erreurSdl != 0 && TexteErreurWave(code).rfind("raised", 0) == 0) {
        ligne += ": ";
        ligne += erreurSdl;
    }
    return ligne;
}
