// Film reader and decoder thread of a channel.
//
// Polls the channel's commands (FlagLecture, FlagPause, FlagRafraichir,
// NumeroDemande) and Vitesse, reads the channel's film (its CheminFilm,
// TypeFilm, from its SecondeDepart) in chunks, decodes one picture at a
// time, hands each picture to the channel's target (cible_image.h), paces
// the pictures by the film's nominal rate and the speed, and reports
// PourcentFilm, the picture on screen (ImageMontree...), the picture size
// (FlagLireTaille) and FlagFinDeFilm. Looping and chaining films are the
// window's business.
//
// A run is one pass over the film from SecondeDepart: a playing run while
// FlagLecture is 1, or a single-picture run (seek, film loading) while it
// is 0. Each run carries the NumeroDemande it started from (NumeroRun); a
// newer command ends it at the next picture, and only a playing run that
// is still the current one when it reaches the end of the data raises
// FlagFinDeFilm.
#pragma once

#include "core/travail.h"
#include "engine/cadence.h"
#include "engine/lecture_exacte.h"
#include "engine/lecture_film.h"
#include "engine/prevision_sauts.h"
#include "engine/regle_retard.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <deque>
#include <memory>

struct AVFrame;
struct IndexImages;
class GroupeImages;

// Waits of the reader, in milliseconds.
// Longest film path the reader keeps (CheminFilm's width).
constexpr int LongueurCheminFilmLecteur = 300;
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

// A single-picture run looks past pictures that show nothing, but only this
// far: undecodable data (wrong kind, damage, scrambled) would otherwise keep
// the reader busy for as long as the whole film takes to fail.
constexpr int64_t RechercheImageMaxOctets = 2000000;
constexpr int RechercheImageMaxEchecs = 300;

// The beep of a failed picture, called on the reader's thread. By default
// it queues the system beep to the application's thread; tests count it.
// Returns the previous one; an empty function restores the default.
std::function<void()> RemplacerBipEchecImage(std::function<void()> bip);

class Th_Lecteur_Magneto : public ThreadTravail
{
    Q_OBJECT
public:
    // The thread starts at once and serves channel `voie`: an index
    // outside the channel table ends the thread after its start delay. The waits can be shortened for
    // tests; the player uses the defaults.
    explicit Th_Lecteur_Magneto(int voie, int attenteDemarrageMs = AttenteDemarrageLecteurMs,
                                int gardeDecodeurMs = GardeDecodeurMs);
    // Requests termination and waits for the thread (running hand-overs
    // addressed to this thread meanwhile), then closes a decoder instance
    // still open, after the guard wait.
    ~Th_Lecteur_Magneto() override;

    // Pictures decoded by this reader since its start (tests, benchmarks),
    // apart from those decoded ahead.
    int64_t NbDecodages() const { return decodeur_.NbDecodages(); }
    // Pictures decoded ahead for the jumps, and whether the reader does it
    // (channel 0, one film shown; on by default). Any thread.
    int64_t NbDecodagesPrevus() const { return decodagesPrevus_.load(); }
    void PermettrePrevision(bool oui) { prevoir_.store(oui); }

protected:
    void run() override;

private:
    enum class Suite { Repos, Fin };
    // What the idle step found to do.
    // Reveil: woken by a command while idle, or one picture decoded ahead;
    // the commands are looked at again at once, without the 1 ms pause
    // between idle steps.
    enum class Commande { Attendre, Reveil, Lire, ImageUnique, Fin };
    // How the picture loop of a run ended.
    enum class FinBoucle { FinDesDonnees, Commande, Abandon, Fin };

    Commande AttendreCommande();
    Suite Run(bool imageUnique);
    bool PreparerRun();
    bool DebuterRun(bool imageUnique, int32_t& seconde, uint32_t& dureeSecondes);
    FinBoucle BouclerImages(FluxFilm& flux, EtatCadence& cadence, int type, bool imageUnique,
                            const IndexImages* index);
    // Walks over the pictures before the next key picture without decoding
    // them; counts them in `passees`. False when the data ended first.
    bool AllerALaCle(FluxFilm& flux, int type, int64_t& passees);
    Suite AttendreFinDeRun();
    // Backwards playback from the start position (th_lecteur_arriere.cpp).
    Suite RunArriere(const char* chemin, int type, int32_t seconde, uint32_t dureeSecondes);
    void SignalerDebutDeFilm();
    // A single picture from the kept pictures, or by decoding its key group
    // and keeping it (a backward step). False when neither applies.
    bool MontrerImageTenue(const DepartExact& depart, const char* chemin, int type, const char* motDePasse);
    // Idle: decodes one picture of a jump target ahead, once the reader has
    // had no command for DelaiPrevisionMs. False when there was nothing to do.
    bool PrevoirUnPas();
    // A single picture decoded ahead: hands it over and takes its decoder
    // and stream as the kept ones. False when it was not decoded ahead.
    bool MontrerImagePrevue(const DepartExact& depart, const char* chemin, int type, const char* motDePasse);
    bool AttendreFinDePause(bool& pause);
    // The film the kept stream and kept pictures belong to.
    void NoterFilmSuite(int type, const char* chemin);
    // Forgets the stream kept for the next picture step.
    void OublierSuite();
    bool RunCourant(bool imageUnique);
    void NoterImage(int64_t numero, uint32_t dureeMs, uint32_t nbImages);
    void NoterProgression(int64_t numero, uint32_t nbImages);
    // Shows a decoded picture: converts it when it is a frame, notes it,
    // hands it over. Returns the bitmap size handed over (0: nothing).
    int32_t MontrerImage(const ImageDecodee& image, bool frame, int64_t numero, uint32_t dureeMs,
                         uint32_t nbImages);
    void MontrerImageNoire();
    void SignalerFinDeFilm();
    void SignalerEchecImage();
    static int64_t Maintenant();
    static double MaintenantPrecis(); // milliseconds, fractions kept

    int attenteDemarrageMs_;
    int gardeDecodeurMs_;
    DecodeurImages decodeur_;
    std::unique_ptr<unsigned char[]> imageNoire_;
    int32_t tailleImageNoire_ = 0;
    int64_t octetsDepuisRepos_ = 0; // file bytes read since the reader was last idle (log)
    uint32_t numeroRun_ = 0;        // NumeroDemande of the current run
    int64_t dernierBipMs_ = -IntervalleBipMs;
    SuiviExact suivi_; // exact start of the current run (picture index)
    struct LibererFrame {
        void operator()(AVFrame* f) const;
    };
    std::unique_ptr<AVFrame, LibererFrame> frame_; // the picture just decoded, not converted
    double coutDecodageMs_ = 0;  // average time one picture takes to decode
    signed char sens_ = 1;       // Sens of the current run
    bool garderLePas_ = false;   // GarderLePas of the current run
    // The stream of the last forward run, kept open with the decoder after
    // it so that a step to the next picture decodes that picture only.
    FluxFilm flux_;
    bool suiteValide_ = false;
    int64_t imageSuivanteFlux_ = -1; // picture the kept stream continues with (-1: none)
    int typeSuite_ = -1;
    char cheminSuite_[LongueurCheminFilmLecteur + 1] = {};
    // Decoded pictures kept for backward steps (a key group).
    std::unique_ptr<GroupeImages> tenues_;
    // Jump targets decoded ahead (channel 0 only).
    std::unique_ptr<PrevisionSauts> prevision_;
    std::atomic<bool> prevoir_{true};
    std::atomic<int64_t> decodagesPrevus_{0};
    int64_t finDernierRunMs_ = 0; // when the last run ended
};
