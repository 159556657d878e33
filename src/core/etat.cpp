#include "core/etat.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <thread>

double Vitesse = 1.0;
uint32_t PositionSecondes = 0;
unsigned char FlagArretGeneral = 0;

char DossierProgramme[LongueurDossier + 1];
char DossierDonnees[LongueurDossier + 1];
char TitreMessages[LongueurTitre + 1] = "Enregistreur Vidéo";
QObject* CiblesImage[NbVoies] = {};
unsigned char* ExportPictureBuffer = nullptr;

unsigned char FlagLectureLancee = 0;
unsigned char FlagMasque = 0;
int32_t HauteurAppliquee = 320, LargeurAppliquee = 240;

Voie Voies[NbVoies];

char (&CheminFilm)[LongueurCheminFilm + 1] = Voies[0].CheminFilm;
int32_t& TypeFilm = Voies[0].TypeFilm;
uint32_t& NbImagesFilm = Voies[0].NbImagesFilm;
uint32_t& DureeFilm = Voies[0].DureeFilm;
double& DateDebutFilm = Voies[0].DateDebutFilm;
double& DateFinFilm = Voies[0].DateFinFilm;
unsigned char& FlagDatesFilm = Voies[0].FlagDatesFilm;
char (&MotDePasseFilm)[LongueurMotDePasse + 1] = Voies[0].MotDePasseFilm;
int32_t& SecondeDepart = Voies[0].SecondeDepart;
unsigned char& FlagLireTaille = Voies[0].FlagLireTaille;
int32_t& HauteurFilm = Voies[0].HauteurFilm;
int32_t& LargeurFilm = Voies[0].LargeurFilm;
QObject*& ImageAffichage = CiblesImage[0];

namespace {

// A timed mutex that remembers which thread holds it, so that a release
// from a thread whose take timed out does not unlock someone else's lock
// (undefined behaviour for a standard mutex). The owner may take it again:
// its takes are counted and the last matching release frees it.
struct VerrouTemporise {
    std::timed_mutex mutex;
    std::atomic<std::thread::id> proprietaire{};
    int prises = 0; // takes by the owner; touched by the owner only
};

std::unique_ptr<VerrouTemporise> MutexVoie[NbVoies];
std::unique_ptr<VerrouTemporise> MutexGeneral;
std::unique_ptr<VerrouTemporise> MutexReserve;

int Prendre(VerrouTemporise* v, int attenteMs)
{
    if (!v)
        return -1;
    if (v->proprietaire.load() == std::this_thread::get_id()) {
        ++v->prises;
        return 0;
    }
    if (v->mutex.try_lock_for(std::chrono::milliseconds(attenteMs))) {
        v->proprietaire.store(std::this_thread::get_id());
        v->prises = 1;
    }
    return 0;
}

void Rendre(VerrouTemporise* v)
{
    if (!v || v->proprietaire.load() != std::this_thread::get_id())
        return;
    if (--v->prises > 0)
        return;
    v->proprietaire.store(std::thread::id());
    v->mutex.unlock();
}

int Creer(std::unique_ptr<VerrouTemporise>& v)
{
    v.reset(new (std::nothrow) VerrouTemporise);
    return v ? 0 : -1;
}

} // namespace

int PrendreMutexVoie(int voie)
{
    if (voie < 0 || voie >= NbVoies)
        return -1;
    return Prendre(MutexVoie[voie].get(), AttenteMutexVoieMs);
}

void RendreMutexVoie(int voie)
{
    if (voie < 0 || voie >= NbVoies)
        return;
    Rendre(MutexVoie[voie].get());
}

int PrendreMutexGeneral() { return Prendre(MutexGeneral.get(), AttenteMutexGeneralMs); }
void RendreMutexGeneral() { Rendre(MutexGeneral.get()); }

namespace {
std::mutex ReveilMutex;
std::condition_variable ReveilCondition;
uint64_t ReveilCompteurs[NbVoies] = {};
} // namespace

void ReveillerVoie(int voie)
{
    if (voie < 0 || voie >= NbVoies)
        return;
    {
        std::lock_guard<std::mutex> verrou(ReveilMutex);
        ++ReveilCompteurs[voie];
    }
    ReveilCondition.notify_all();
}

uint64_t CompteurReveilVoie(int voie)
{
    if (voie < 0 || voie >= NbVoies)
        return 0;
    std::lock_guard<std::mutex> verrou(ReveilMutex);
    return ReveilCompteurs[voie];
}

void AttendreReveilVoie(int voie, uint64_t vu, int ms)
{
    if (voie < 0 || voie >= NbVoies || ms <= 0)
        return;
    std::unique_lock<std::mutex> verrou(ReveilMutex);
    ReveilCondition.wait_for(verrou, std::chrono::milliseconds(ms),
                             [&] { return ReveilCompteurs[voie] != vu; });
}

double LireVitesse()
{
    const int r = PrendreMutexGeneral();
    const double v = Vitesse;
    if (r == 0)
        RendreMutexGeneral();
    return v;
}

int CreerMutexVoie(int voie)
{
    if (voie < 0 || voie >= NbVoies)
        return -1;
    return Creer(MutexVoie[voie]);
}
int CreerMutexGeneral() { return Creer(MutexGeneral); }
int CreerMutexReserve() { return Creer(MutexReserve); }

void FermerMutexVoie(int voie)
{
    if (voie >= 0 && voie < NbVoies)
        MutexVoie[voie].reset();
}
void FermerMutexGeneral() { MutexGeneral.reset(); }
void FermerMutexReserve() { MutexReserve.reset(); }
bool MutexReserveExiste() { return MutexReserve != nullptr; }

void CopierTexte(char* destination, int taille, const char* source)
{
    if (!destination || taille <= 0)
        return;
    std::snprintf(destination, static_cast<size_t>(taille), "%s", source ? source : "");
}

void ReinitialiserEtat()
{
    // Each channel's film goes with its record below.
    Vitesse = 1.0;
    PositionSecondes = 0;
    FlagArretGeneral = 0;
    CopierTexte(TitreMessages, sizeof TitreMessages, "Enregistreur Vidéo");
    FlagLectureLancee = 0;
    FlagMasque = 0;
    HauteurAppliquee = 320;
    LargeurAppliquee = 240;
    for (Voie& v : Voies) {
        unsigned char* image = v.BufferImage;
        unsigned char* son = v.BufferSon;
        v = Voie();
        v.BufferImage = image; // buffers belong to start-up/shutdown
        v.BufferSon = son;
        v.ImageSortie = image;
    }
}
