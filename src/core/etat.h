// Process-wide state shared by the window and the worker threads.
//
// There are no queues between threads: the window writes commands here and
// the workers report progress here. Each field says who writes it, who reads
// it and under which lock. "No lock" fields are single aligned words or bytes
// written by one thread only.
#pragma once

#include <cstdint>

class QObject;

// Largest picture the player makes room for: 54-byte bitmap file header plus
// 2560 x 2048 pixels of 3 bytes.
constexpr int TailleBufferImage = 54 + 2560 * 2048 * 3; // 15,728,694
// Two seconds of G.711 sound at 8000 bytes a second.
constexpr int TailleBufferSon = 16000;

// Fixed text widths (characters, without the final zero byte).
constexpr int LongueurCheminFilm = 300;
constexpr int LongueurDossier = 200;
constexpr int LongueurDossierCoupe = 180; // DossierProgramme cut before "DONNEES"
constexpr int LongueurMotDePasse = 20;
constexpr int LongueurTitre = 80;

// Lock wait limits: a timeout lets the caller proceed (another thread is stuck).
constexpr int AttenteMutexVoieMs = 2500;
constexpr int AttenteMutexGeneralMs = 50;

// Channel indices accepted by the lock helpers: one channel per film shown
// together (the single film is channel 0).
constexpr int NbVoies = 4;

// ---- Commands and progress shared by every channel.
extern double Vitesse;                 // UI writes, readers read; under MutexGeneral
extern uint32_t PositionSecondes;      // UI writes; sound and measure readers read. No lock
extern unsigned char FlagArretGeneral; // shutdown writes once; every worker reads; under MutexGeneral

// ---- Environment: written by start-up before any worker exists.
extern char DossierProgramme[LongueurDossier + 1]; // executable folder, trailing '/'
extern char DossierDonnees[LongueurDossier + 1];   // DossierProgramme + "DONNEES", else the per-user one
extern char TitreMessages[LongueurTitre + 1];      // caption of every message box
// Picture control of each channel, where its reader hands its pictures
// (cible_image.h); set by the window that shows the channel.
extern QObject* CiblesImage[NbVoies];
extern unsigned char* ExportPictureBuffer;         // AVI export picture buffer, owned by the main window

// ---- Window-side flags, used by the main window only.
extern unsigned char FlagLectureLancee; // playback has been started: Play resumes a pause
extern unsigned char FlagMasque;        // controls hidden
extern int32_t HauteurAppliquee, LargeurAppliquee; // last film size applied to the layout

// ---- Channel record. Fields used by two threads are guarded by MutexVoie
// of the channel unless said otherwise.
struct Voie {
    // ---- The channel's film: written by the UI thread while the channel is
    // stopped (film selection, command line at start-up); read by the
    // channel's reader, the exports and the display. No lock.
    char CheminFilm[LongueurCheminFilm + 1] = {}; // empty when no film
    int32_t TypeFilm = 0;                         // 0 mp4, 1 mjp, 2 264, -1 not recognised
    uint32_t NbImagesFilm = 0;                    // first header word
    uint32_t DureeFilm = 0;                       // second header word / 1000 (whole seconds)
    double DateDebutFilm = 0, DateFinFilm = 0;    // days since 30/12/1899
    unsigned char FlagDatesFilm = 0;              // 1 when the ".hrd" file was read
    // Written by the UI thread (Play, AVI export, field changes); read by
    // the reader for each chunk. No lock: the reader copies it whole first.
    char MotDePasseFilm[LongueurMotDePasse + 1] = {};
    // UI writes (display timer, seek); the reader reads it at run start
    // under MutexGeneral.
    int32_t SecondeDepart = 0;
    unsigned char FlagLireTaille = 0;             // UI sets, reader clears. No lock (byte)
    int32_t HauteurFilm = 240, LargeurFilm = 320; // reader writes, display reads. No lock (aligned words)

    unsigned char FlagLecture = 0;   // UI start (1)/stop (0); reader, sound, measures, display timer read
    unsigned char FlagPause = 0;     // UI start (0)/Play-Stop toggle; reader, sound, measures read
    unsigned char FlagSonActif = 0;  // UI sound buttons; sound reader reads
    unsigned char FlagSonEcoute = 0; // UI sound buttons; audio output reads
    // The film path with its extension replaced: as long as a film path, so
    // that a companion name is never cut from a long one.
    char CheminSon[LongueurCheminFilm + 1] = {}; // UI at film loading; sound and measure readers. No lock (stopped)
    unsigned char* BufferImage = nullptr;     // start-up allocates; reader uses
    int32_t TailleImageSortie = 0;            // decoder writes, reader reads (reader thread only)
    unsigned char* ImageSortie = nullptr;     // start-up and reader; reader thread only
    unsigned char* BufferSon = nullptr;       // start-up allocates; sound reader and audio output
    int32_t NbOctetsSon = 0;                  // sound reader and audio output; under MutexVoie
    unsigned char FlagViderSon = 0;           // UI Stop sets; audio output reads and clears
    double PourcentFilm = 0;                  // reader writes; display timer reads
    unsigned char FlagFinDeFilm = 0;          // reader (1); playback start and loop restart (0)
    int32_t IntervalleImage = 0;              // reader thread only
    int32_t HauteurImage = 0, LargeurImage = 0; // reader thread only (last MJPEG picture)
    unsigned char FlagRafraichir = 0;         // UI seek/return/loading sets; reader reads and clears
    int32_t FlagMesuresPresentes = 0;         // UI at film selection; measure reader reads. No lock

    // ---- Run identity and the picture on screen, under MutexVoie. They let
    // the display tick, the sound and the measures tell the current run's
    // progress from a finished one's, and follow the picture actually shown.
    uint32_t NumeroDemande = 0;   // UI: incremented at every start, seek, refresh or stop command
    uint32_t NumeroRun = 0;       // reader: the NumeroDemande its current run started from
    int64_t ImageMontree = -1;    // reader: film picture number of the last picture handed over (-1: none)
    int64_t MsImageMontree = 0;   // reader: that picture's film time in milliseconds
    uint32_t RunImageMontree = 0; // reader: NumeroRun of the run that handed it over

    // ---- Exact navigation, under MutexVoie.
    // UI (picture steps): the picture the next refresh or run starts on, -1
    // for none. It holds only while SecondeDepart still equals
    // SecondeImageDemandee; a playing run uses it up (reader clears it).
    int64_t ImageDemandee = -1;
    int32_t SecondeImageDemandee = 0;
    // Reader: 1 when ImageMontree counts the pictures of the film's index
    // (exact), 0 when it is the proportional estimate.
    unsigned char ImageMontreeExacte = 0;

    // ---- Direction of playback, under MutexVoie.
    // UI: 1 plays forwards, -1 backwards (J/L); a playing run reads it at
    // its start and at each picture, a change ends the run like a command.
    signed char Sens = 1;
    // UI: 1 while the channel plays on, or is placed by, a clock shared
    // with other films: a late picture is then passed by even at x 1 and
    // slower, so that the tiles stay in step instead of the late one
    // showing its pictures in a burst. Read by a playing run at its start;
    // while it is 1 the idle reader decodes no jump target ahead (the
    // arrow keys then move the clock, not this film).
    unsigned char GarderLePas = 0;
    // Reader (1): a backwards run reached the film's first picture; playback
    // start and the window (0) as for FlagFinDeFilm.
    unsigned char FlagDebutDeFilm = 0;
};
extern Voie Voies[NbVoies];

// The film of channel 0 under the names the single-film code knows: the
// same fields, not copies.
extern char (&CheminFilm)[LongueurCheminFilm + 1];
extern int32_t& TypeFilm;
extern uint32_t& NbImagesFilm;
extern uint32_t& DureeFilm;
extern double& DateDebutFilm;
extern double& DateFinFilm;
extern unsigned char& FlagDatesFilm;
extern char (&MotDePasseFilm)[LongueurMotDePasse + 1];
extern int32_t& SecondeDepart;
extern unsigned char& FlagLireTaille;
extern int32_t& HauteurFilm;
extern int32_t& LargeurFilm;
extern QObject*& ImageAffichage;

// ---- Locks. Results: 0 = proceed (lock taken, or wait timed out), -1 = no
// lock at all (bad index, mutex absent). Release only what was taken: a
// release after a timed-out take does nothing.
int PrendreMutexVoie(int voie);
void RendreMutexVoie(int voie);
int PrendreMutexGeneral();
void RendreMutexGeneral();
// Vitesse, read under MutexGeneral.
double LireVitesse();

// Wake-up of a channel's reader from its idle wait, so that a seek or a
// picture step starts at once instead of at the next idle poll. The UI calls
// ReveillerVoie after writing a command (FlagRafraichir, FlagLecture); the
// reader takes CompteurReveilVoie before looking at the commands, then waits
// with AttendreReveilVoie, which returns once the count has moved on from
// `vu` or after `ms` milliseconds: a wake-up given in between is not lost.
void ReveillerVoie(int voie);
uint64_t CompteurReveilVoie(int voie);
void AttendreReveilVoie(int voie, uint64_t vu, int ms);

// Creation and closing of the three mutexes (start-up and shutdown).
// Each Creer* returns 0, or -1 when the mutex could not be created.
int CreerMutexVoie(int voie);
int CreerMutexGeneral();
int CreerMutexReserve();
void FermerMutexVoie(int voie);
void FermerMutexGeneral();
void FermerMutexReserve();
bool MutexReserveExiste();

// Puts every shared value back to its process-start state (tests use it
// between cases; the player itself starts from these values).
void ReinitialiserEtat();

// Bounded copy of a text into a fixed-size field: cut, always zero-ended.
void CopierTexte(char* destination, int taille, const char* source);
