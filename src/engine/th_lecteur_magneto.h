// Film reader and decoder thread of a channel.
//
// Polls the channel's commands (FlagLecture, FlagPause, FlagRafraichir) and
// Vitesse, reads the current film (CheminFilm, TypeFilm, from SecondeDepart)
// in chunks, decodes one picture at a time, hands each picture to the target
// registered in ImageAffichage (cible_image.h), paces the pictures by the
// film's nominal rate and the speed, and reports PourcentFilm, the picture
// size (FlagLireTaille) and FlagFinDeFilm. Looping and chaining films are
// the window's business.
#pragma once

#include "core/travail.h"
#include "engine/lecture_film.h"

#include <cstdint>
#include <memory>

// Waits of the reader, in milliseconds.
constexpr int AttenteDemarrageLecteurMs = 1000; // lets the window come up before the first look
// Before opening or closing a decoder instance: the maker's libraries
// needed it; ours open and close synchronously under the instance's own
// lock, so it protects nothing and only delayed every seek.
constexpr int GardeDecodeurMs = 0;
constexpr int AttenteReessaiMs = 50;            // between two attempts to open a film
// Idle poll: a seek waits for it on average half of it, so it is short;
// an idle pass costs two lock takes.
constexpr int AttenteReposMs = 20;
constexpr int AttentePauseMs = 10;              // pause poll, and end-of-run poll
constexpr int AttenteEchecH264Ms = 10;          // after a failed H.264 picture

class Th_Lecteur_Magneto : public ThreadTravail
{
    Q_OBJECT
public:
    // The thread starts at once. Only channel 0 is served: any other index
    // ends the thread after its start delay. The waits can be shortened for
    // tests; the player uses the defaults.
    explicit Th_Lecteur_Magneto(int voie, int attenteDemarrageMs = AttenteDemarrageLecteurMs,
                                int gardeDecodeurMs = GardeDecodeurMs);
    // Requests termination and waits for the thread (running hand-overs
    // addressed to this thread meanwhile), then closes a decoder instance
    // still open, after the guard wait.
    ~Th_Lecteur_Magneto() override;

protected:
    void run() override;

private:
    enum class Suite { Repos, Fin };

    Suite Run(bool imageUnique);
    void MontrerImageNoire();
    void SignalerFinDeFilm();
    static int64_t Maintenant();

    int attenteDemarrageMs_;
    int gardeDecodeurMs_;
    DecodeurImages decodeur_;
    std::unique_ptr<unsigned char[]> imageNoire_;
    int32_t tailleImageNoire_ = 0;
    int64_t octetsDepuisRepos_ = 0; // file bytes read since the reader was last idle (log)
};
