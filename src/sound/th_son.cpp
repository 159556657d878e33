#include "sound/th_son.h"

#include "core/etat.h"

#include <algorithm>
#include <cstring>

bool SortieSonAudible(const EtatSortieSon& e)
{
    return e.lecture && !e.pause && e.sonActif && e.sonEcoute && e.vitesse == 1.0 && e.sens > 0;
}

TH_Son::TH_Son(int voie, int attenteDemarrageMs)
    : ThreadTravail(voie),
      attenteDemarrageMs_(attenteDemarrageMs),
      accumulation_(new unsigned char[TailleBufferSon])
{
    AUDIO_OUT_Open(voie, TailleBufferSon);
    start();
}

TH_Son::~TH_Son()
{
    // The thread writes to the slot: it must have ended before the close.
    requestInterruption();
    wait();
    AUDIO_OUT_Close(Voie());
}

void TH_Son::SendPending()
{
    const int32_t pending = pending_.load();
    if (pending <= 0)
        return;
    const int32_t n = std::min(pending, TailleBufferSon);
    AUDIO_OUT_Write(Voie(), accumulation_.get(), n);
    if (n < pending) {
        std::memmove(accumulation_.get(), accumulation_.get() + n, static_cast<size_t>(pending - n));
        pending_.store(pending - n);
    } else {
        pending_.store(0);
    }
}

void TH_Son::PrimeOutput()
{
    SendPending();
    SendPending();
    pending_.store(0);
}

void TH_Son::OnBufferDone(EnteteSon* header)
{
    AudioOutSlot* s = AUDIO_OUT_Slot(Voie());
    if (s == nullptr || s->device == 0 || s->busy.load() != 0)
        return;
    if (header != &s->headers[0] && header != &s->headers[1])
        return;
    SendPending();
}

void TH_Son::run()
{
    if (!Dormir(attenteDemarrageMs_))
        return;
    const int voie = Voie();
    // Slots go to 16, but only channels with a record can be served.
    if (voie < 0 || voie >= NbSlotsAudio || voie >= NbVoies)
        return;
    AudioOutSlot* slot = AUDIO_OUT_Slot(voie);
    ::Voie& v = Voies[voie];
    bool started = false;
    bool audible = false;
    uint32_t runJoue = 0;
    while (!isInterruptionRequested()) {
        if (!Dormir(1))
            return;
        EtatSortieSon e;
        e.vitesse = LireVitesse();
        bool vider = false;
        bool maintenant = false;
        bool nouveauRun = false;
        {
            const int r = PrendreMutexVoie(voie);
            vider = v.FlagViderSon != 0;
            v.FlagViderSon = 0;
            e.lecture = v.FlagLecture != 0;
            e.pause = v.FlagPause != 0;
            e.sonActif = v.FlagSonActif != 0;
            e.sonEcoute = v.FlagSonEcoute != 0;
            e.sens = v.Sens;
            e.numeroRun = v.NumeroRun;
            maintenant = SortieSonAudible(e);
            nouveauRun = maintenant && audible && e.numeroRun != runJoue;
            // Pause, silence and a new run drop what is held, and the device
            // is emptied below: it belongs to pictures no longer shown.
            if (vider || !maintenant || nouveauRun)
                pending_.store(0);
            if (!maintenant) {
                v.NbOctetsSon = 0;
            } else if (v.NbOctetsSon > 0 && v.NbOctetsSon + pending_.load() <= TailleBufferSon &&
                       v.BufferSon != nullptr) {
                const int32_t p = pending_.load();
                std::memcpy(accumulation_.get() + p, v.BufferSon, static_cast<size_t>(v.NbOctetsSon));
                pending_.store(p + v.NbOctetsSon);
                v.NbOctetsSon = 0;
            }
            if (r == 0)
                RendreMutexVoie(voie);
        }
        if ((audible && !maintenant) || nouveauRun)
            AUDIO_OUT_Reset(voie);
        audible = maintenant;
        runJoue = e.numeroRun;
        if (!audible) {
            started = false;
            continue;
        }

        // Without a device nothing can be queued: what is taken is dropped,
        // so the handover area keeps draining and the film plays silently.
        if (slot->device == 0)
            pending_.store(0);
        if (pending_.load() > 0) {
            const unsigned char fait = slot->doneFlag.exchange(0, std::memory_order_acquire);
            if (fait != 0)
                OnBufferDone(slot->doneHeader.load(std::memory_order_acquire));
            else if (!started) {
                PrimeOutput();
                started = true;
            }
        }
    }
}
