#include "engine/th_indexeur.h"

#include "core/etat.h"
#include "core/ouverture.h"
#include "engine/fichierfilm.h"
#include "engine/motdepasse.h"

#include <chrono>
#include <cstdio>
#include <vector>

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

std::mutex verrouPublication;
std::string cheminPublie;
std::shared_ptr<const IndexImages> indexPublie;

// Nice value of the indexer: the lowest share of the processor, so that
// playback never waits for it.
constexpr int GentillesseIndexeur = 19;

struct FermerFichier {
    void operator()(FILE* f) const
    {
        if (f != nullptr)
            std::fclose(f);
    }
};

} // namespace

std::shared_ptr<const IndexImages> IndexFilm(const char* chemin)
{
    std::lock_guard<std::mutex> garde(verrouPublication);
    if (chemin == nullptr || cheminPublie != chemin)
        return nullptr;
    return indexPublie;
}

void PublierIndex(const char* chemin, std::shared_ptr<const IndexImages> index)
{
    std::lock_guard<std::mutex> garde(verrouPublication);
    cheminPublie = chemin != nullptr ? chemin : "";
    indexPublie = std::move(index);
}

Th_Indexeur::Th_Indexeur()
{
    start(QThread::LowestPriority);
}

Th_Indexeur::~Th_Indexeur()
{
    {
        std::lock_guard<std::mutex> garde(verrou_);
        arret_ = true;
        ++demande_;
    }
    reveil_.notify_all();
    wait();
}

void Th_Indexeur::Demander(const char* chemin, int type)
{
    PublierIndex(nullptr, nullptr);
    {
        std::lock_guard<std::mutex> garde(verrou_);
        chemin_ = chemin != nullptr ? chemin : "";
        type_ = type;
        ++demande_;
    }
    reveil_.notify_all();
}

int Th_Indexeur::NbTermines() const
{
    std::lock_guard<std::mutex> garde(verrou_);
    return termines_;
}

int Th_Indexeur::NbAbandonnes() const
{
    std::lock_guard<std::mutex> garde(verrou_);
    return abandonnes_;
}

bool Th_Indexeur::Annule(uint64_t demande) const
{
    if (FlagArretGeneral != 0) // a byte written once at shutdown
        return true;
    std::lock_guard<std::mutex> garde(verrou_);
    return arret_ || demande_ != demande;
}

void Th_Indexeur::run()
{
    // Per-thread nice value (Linux): QThread's priorities do not lower a
    // normal thread's share.
    setpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)), GentillesseIndexeur);
    uint64_t fait = 0;
    for (;;) {
        std::string chemin;
        int type = -1;
        uint64_t demande = 0;
        {
            std::unique_lock<std::mutex> garde(verrou_);
            reveil_.wait(garde, [&] { return arret_ || demande_ != fait; });
            if (arret_)
                return;
            demande = fait = demande_;
            chemin = chemin_;
            type = type_;
        }
        if (chemin.empty() || type < 0)
            continue;
        const int r = Indexer(chemin, type, demande);
        std::lock_guard<std::mutex> garde(verrou_);
        if (r == 0)
            ++termines_;
        else if (r == 1)
            ++abandonnes_;
    }
}

int Th_Indexeur::Indexer(const std::string& chemin, int type, uint64_t demande)
{
    // A protected film waits for its password: its stored bytes would
    // index as noise.
    bool desembrouiller = false;
    for (;;) {
        if (Annule(demande))
            return 1;
        char motDePasse[LongueurMotDePasse + 1];
        CopierTexte(motDePasse, sizeof motDePasse, MotDePasseFilm);
        const int v = VerifierMotDePasse(chemin.c_str(), motDePasse);
        if (v >= 0) {
            desembrouiller = v == 1;
            break;
        }
        std::unique_lock<std::mutex> garde(verrou_);
        reveil_.wait_for(garde, std::chrono::milliseconds(AttenteMotDePasseIndexMs),
                         [&] { return arret_ || demande_ != demande; });
    }
    std::unique_ptr<FILE, FermerFichier> f(OuvrirFichierOrdinaire(chemin.c_str()));
    if (!f)
        return -1;
    std::vector<unsigned char> bloc;
    try {
        bloc.resize(BlocIndexeur);
    } catch (const std::bad_alloc&) {
        return -1;
    }
    if (std::fread(bloc.data(), 1, TailleEnteteFilm, f.get()) != static_cast<size_t>(TailleEnteteFilm))
        return -1;
    ScanneurImages scanneur(type, TailleEnteteFilm);
    for (;;) {
        if (Annule(demande))
            return 1;
        const size_t lu = std::fread(bloc.data(), 1, bloc.size(), f.get());
        if (lu == 0)
            break;
        if (desembrouiller)
            Desembrouiller(bloc.data(), static_cast<int>(lu));
        scanneur.Ajouter(bloc.data(), lu);
    }
    scanneur.Terminer();
    if (Annule(demande))
        return 1;
    auto index = std::make_shared<IndexImages>(scanneur.Prendre());
    // Published only if no other film was asked for meanwhile (the
    // publication's lock is always taken after this one, never before).
    std::lock_guard<std::mutex> garde(verrou_);
    if (arret_ || demande_ != demande)
        return 1;
    PublierIndex(chemin.c_str(), std::move(index));
    return 0;
}
