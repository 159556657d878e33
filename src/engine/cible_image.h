// Where the reader's pictures go: the window's picture control.
//
// The control derives from QObject and from CibleImage, and the window
// registers it by setting its channel's CiblesImage (core/etat.h) to it
// (ImageAffichage for channel 0). The reader
// hands every picture over by one blocking call run on the control's
// thread, so the picture bytes stay valid and unchanged during the call.
#pragma once

class CibleImage
{
public:
    virtual ~CibleImage();
    // Called on the target's own thread. `bitmapFichier` is a complete
    // 24-bit bitmap file image (54-byte header, bottom-up rows) of `taille`
    // bytes, valid only during the call: keep a copy, not the pointer.
    virtual void AfficherImage(const unsigned char* bitmapFichier, int taille) = 0;
};

// Hands a bitmap file image to the target registered for the calling
// worker's channel (channel 0 for any other thread) and waits until it has
// taken it. Never call this from the target's thread
// with another thread waiting on it; from the target's own thread the call
// is direct. 0 when the picture was handed over, -1 when no target is
// registered (null, or an object that is not a CibleImage). An exception
// thrown by the target is swallowed: the reader goes on.
int RemettreImage(const unsigned char* bitmapFichier, int taille);
// The same for the target of channel `voie`.
int RemettreImageVoie(int voie, const unsigned char* bitmapFichier, int taille);

// Runs the hand-overs waiting for the registered targets. Used by the
// target's thread while it waits for the reader to end, so that a reader
// blocked in a hand-over can finish it instead of waiting for ever.
void ExecuterRemisesEnAttente();
