#include "engine/th_indexeur.h"

#include "core/etat.h"
#include "core/journal.h"
#include "core/ouverture.h"
#include "engine/fichierfilm.h"
#include "engine/motdepasse.h"

#include <chrono>
#include <cstdio>
#include <map>
#include <vector>

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

// One index per film: the films shown together are indexed side by side.
std::mutex verrouPublication;
std::map<std::string, std::shared_ptr<const IndexImages>> indexPublies;

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
    std::shared_ptr<const IndexImages> index;
    {
        std::lock_guard<std::mutex> garde(verrouPublication);
        if (chemin == nullptr)
            return nullptr;
        const auto trouve = indexPublies.find(chemin);
        if (trouve == indexPublies.end())
            return nullptr;
        index = trouve->second;
    }
    // A film whose size changed (rewritten, cut) is no longer the one
    // indexed: the proportional rule until the indexer has seen it again.
    if (index && index->tailleFichier >= 0 && TailleFichier(chemin) != index->tailleFichier)
        return nullptr;
    return index;
}

void PublierIndex(const char* chemin, std::shared_ptr<const IndexImages> index)
{
    std::lock_guard<std::mutex> garde(verrouPublication);
    if (chemin == nullptr)
        indexPublies.clear();
    else if (!index)
        indexPublies.erase(chemin);
    else
        indexPublies[chemin] = std::move(index);
}

Th_Indexeur::Th_Indexeur(int64_t plafond, int voie) : plafond_(plafond), voie_(voie)
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
    std::string precedent;
    {
        std::lock_guard<std::mutex> garde(verrou_);
        precedent = chemin_;
    }
    // This indexer's previous film only: the others' stay published.
    if (!precedent.empty())
        PublierIndex(precedent.c_str(), nullptr);
    if (chemin != nullptr && chemin[0] != '\0')
        PublierIndex(chemin, nullptr);
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

int Th_Indexeur::NbPlafonnes() const
{
    std::lock_guard<std::mutex> garde(verrou_);
    return plafonnes_;
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
    // The film last worked on, and its size then: a film that changes size
    // (rewritten, cut) is indexed again.
    std::string cheminFait;
    int typeFait = -1;
    int64_t tailleFaite = -1;
    for (;;) {
        std::string chemin;
        int type = -1;
        uint64_t demande = 0;
        bool nouvelle = false;
        {
            std::unique_lock<std::mutex> garde(verrou_);
            nouvelle = reveil_.wait_for(garde, std::chrono::milliseconds(SurveillanceIndexMs),
                                        [&] { return arret_ || demande_ != fait; });
            if (arret_)
                return;
            if (nouvelle) {
                demande = fait = demande_;
                chemin = chemin_;
                type = type_;
            }
        }
        if (!nouvelle) {
            if (cheminFait.empty() || TailleFichier(cheminFait) == tailleFaite)
                continue;
            demande = fait; // a new request meanwhile cancels this one
            chemin = cheminFait;
            type = typeFait;
        }
        cheminFait.clear();
        if (chemin.empty() || type < 0)
            continue;
        int64_t taille = -1;
        const int r = Indexer(chemin, type, demande, taille);
        if (r != 1) {
            cheminFait = chemin;
            typeFait = type;
            tailleFaite = taille;
        }
        std::lock_guard<std::mutex> garde(verrou_);
        if (r == 0)
            ++termines_;
        else if (r == 1)
            ++abandonnes_;
        else if (r == 2)
            ++plafonnes_;
    }
}

int Th_Indexeur::Indexer(const std::string& chemin, int type, uint64_t demande, int64_t& taille)
{
    // A protected film waits for its password: its stored bytes would
    // index as noise. Only a record written for this film makes it
    // protected; beside any other ".mdp" (junk, short, another film's) the
    // reader plays the body as stored, and that is what is indexed.
    bool desembrouiller = false;
    for (;;) {
        if (Annule(demande))
            return 1;
        char motDePasse[LongueurMotDePasse + 1];
        // The password typed for this film: on the channel that shows it
        // now (films change channels when another one is selected).
        int voie = voie_;
        for (int v = 0; v < NbVoies; ++v)
            if (chemin == Voies[v].CheminFilm)
                voie = v;
        CopierTexte(motDePasse, sizeof motDePasse, Voies[voie].MotDePasseFilm);
        const int v = VerifierMotDePasse(chemin.c_str(), motDePasse);
        if (v >= 0 || !FicheDuFilm(chemin.c_str())) {
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
    struct stat st;
    if (fstat(fileno(f.get()), &st) != 0)
        return -1;
    taille = st.st_size;
    std::vector<unsigned char> bloc;
    try {
        bloc.resize(BlocIndexeur);
    } catch (const std::bad_alloc&) {
        return -1;
    }
    if (std::fread(bloc.data(), 1, TailleEnteteFilm, f.get()) != static_cast<size_t>(TailleEnteteFilm))
        return -1;
    ScanneurImages scanneur(type, TailleEnteteFilm, plafond_);
    while (!scanneur.Plafonne()) {
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
    if (scanneur.Plafonne()) {
        char ligne[400];
        std::snprintf(ligne, sizeof ligne, "Index : %.300s a plus de %lld images, non indexé (recherche proportionnelle)",
                      chemin.c_str(), static_cast<long long>(plafond_));
        EcrireJournal(Journal::Magneto, 0, ligne);
        return 2;
    }
    auto index = std::make_shared<IndexImages>(scanneur.Prendre());
    index->tailleFichier = taille;
    // Published only if no other film was asked for meanwhile (the
    // publication's lock is always taken after this one, never before).
    std::lock_guard<std::mutex> garde(verrou_);
    if (arret_ || demande_ != demande)
        return 1;
    PublierIndex(chemin.c_str(), std::move(index));
    return 0;
}
