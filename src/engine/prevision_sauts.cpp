#include "engine/prevision_sauts.h"

#include "engine/index_images.h"

extern "C" {
#include <libavutil/frame.h>
}

#include <algorithm>
#include <cstring>

#include <malloc.h>

std::vector<DepartExact> CiblesDesSauts(const IndexImages& index, int32_t seconde, uint32_t dureeSecondes,
                                        int64_t montree)
{
    static const int sauts[] = {SautLongSecondes, -SautLongSecondes, SautCourtSecondes, -SautCourtSecondes};
    std::vector<DepartExact> cibles;
    for (const int saut : sauts) {
        const int64_t s = std::clamp<int64_t>(static_cast<int64_t>(seconde) + saut, 0, dureeSecondes);
        const DepartExact d = CalculerDepartExact(&index, static_cast<int32_t>(s), dureeSecondes, -1);
        if (!d.exact || d.image == montree)
            continue;
        const bool deja = std::any_of(cibles.begin(), cibles.end(),
                                      [&](const DepartExact& c) { return c.image == d.image; });
        if (!deja)
            cibles.push_back(d);
    }
    return cibles;
}

PrevisionSauts::PrevisionSauts(int premiereInstance, int nbCibles)
{
    for (int i = 0; i < std::clamp(nbCibles, 1, NbCiblesPrevuesMax); ++i) {
        places_.push_back(std::make_unique<Place>());
        places_.back()->decodeur = std::make_unique<DecodeurImages>(premiereInstance + i);
    }
}

PrevisionSauts::~PrevisionSauts() = default;

void PrevisionSauts::Liberer(Place& p)
{
    p.groupe.Vider();
    p.cible = -1;
}

bool PrevisionSauts::Oublier()
{
    bool tenu = false;
    for (auto& p : places_) {
        tenu = tenu || p->cible >= 0 || p->decodeur->Ouvert();
        Liberer(*p);
        p->decodeur->Fermer();
    }
    index_.reset();
    chemin_.clear();
    motDePasse_.clear();
    type_ = -1;
    // The decoders' pictures were taken from the heaps of their threads,
    // which keep what is freed.
    if (tenu)
        malloc_trim(0);
    return tenu;
}

void PrevisionSauts::Viser(const char* chemin, int type, const char* motDePasse,
                           std::shared_ptr<const IndexImages> index, const std::vector<DepartExact>& cibles)
{
    const std::string mdp = motDePasse != nullptr ? motDePasse : "";
    if (index != index_ || type != type_ || chemin_ != chemin || motDePasse_ != mdp) {
        for (auto& p : places_) {
            Liberer(*p);
            // A decoder of another kind is of no use.
            if (type != type_)
                p->decodeur->Fermer();
        }
        chemin_ = chemin;
        motDePasse_ = mdp;
        type_ = type;
        index_ = std::move(index);
    }
    // Rank of a picture among the targets kept (n: not one of them).
    const size_t n = std::min(cibles.size(), places_.size());
    const auto rang = [&](int64_t image) {
        for (size_t i = 0; i < n; ++i)
            if (cibles[i].image == image)
                return i;
        return n;
    };
    for (auto& p : places_)
        if (p->cible >= 0 && rang(p->cible) == n)
            Liberer(*p);
    for (size_t i = 0; i < n; ++i) {
        const int64_t k = cibles[i].image;
        if (std::any_of(places_.begin(), places_.end(), [&](const auto& p) { return p->cible == k; }))
            continue;
        for (auto& p : places_) {
            if (p->cible >= 0)
                continue;
            p->cible = k;
            // From the key picture to k; only k is kept.
            p->groupe.Preparer(cibles[i].cle, k + 1, k + 1 - cibles[i].cle, k);
            break;
        }
    }
    // The most likely target first.
    std::stable_sort(places_.begin(), places_.end(),
                     [&](const auto& a, const auto& b) { return rang(a->cible) < rang(b->cible); });
}

bool PrevisionSauts::AFaire() const
{
    return index_ && std::any_of(places_.begin(), places_.end(), [](const auto& p) {
               return p->cible >= 0 && !p->groupe.Complet();
           });
}

bool PrevisionSauts::Avancer()
{
    if (!index_)
        return false;
    for (auto& place : places_) {
        Place& p = *place;
        if (p.cible < 0 || p.groupe.Complet())
            continue;
        if (!p.decodeur->Ouvert())
            p.decodeur->Ouvrir(type_);
        const int64_t avant = p.decodeur->NbDecodages();
        p.groupe.DecoderSuivante(*p.decodeur, type_, chemin_.c_str(), *index_, motDePasse_.c_str());
        decodages_ += p.decodeur->NbDecodages() - avant;
        return true;
    }
    return false;
}

bool PrevisionSauts::Prendre(const char* chemin, int type, const char* motDePasse, const IndexImages* index,
                             int64_t numero, DecodeurImages& decodeur, FluxFilm& flux, AVFrame* image,
                             uint32_t& dureeMs)
{
    if (!index_ || index != index_.get() || type != type_ || chemin_ != chemin
        || motDePasse_ != (motDePasse != nullptr ? motDePasse : ""))
        return false;
    for (auto& place : places_) {
        Place& p = *place;
        if (p.cible != numero || !p.groupe.Complet())
            continue;
        const AVFrame* f = p.groupe.Trouver(numero);
        if (f == nullptr || av_frame_ref(image, f) < 0)
            return false;
        dureeMs = p.groupe.DureeMs();
        decodeur.Echanger(*p.decodeur);
        flux.Echanger(p.groupe.Flux());
        // The place keeps the decoder it was given, open, for its next target.
        Liberer(p);
        return true;
    }
    return false;
}

int64_t PrevisionSauts::NbDecodages() const
{
    return decodages_;
}
