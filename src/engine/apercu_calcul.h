// Small pictures of a moment of a film (previews): which key picture to
// decode for a film second, its decoding scaled down, and a cache of the
// results bounded in bytes. Plain functions and one class; the thread
// around them is the window's (ui/apercu.h).
#pragma once

#include "engine/index_images.h"

#include <cstddef>
#include <cstdint>
#include <list>
#include <string>
#include <unordered_map>
#include <vector>

// Largest preview: a 16:9 box; a 4:3 film gives 120 x 90.
constexpr int LargeurApercu = 160;
constexpr int HauteurApercu = 90;
// Bytes the cache of previews may hold (pictures and keys).
constexpr size_t BudgetCacheApercus = 64u * 1024 * 1024;
// Without the film's index, the key picture is looked for in this much of
// the file around the proportional offset (four times as much when none is
// found there).
constexpr int64_t FenetreRechercheApercu = 4 * 1024 * 1024;
// The first bytes of a film read for its sequence headers when the key
// picture found does not carry them.
constexpr int64_t FenetreEntetesApercu = 1024 * 1024;
// Largest coded picture decoded for a preview.
constexpr int64_t TailleMaxImageApercu = 8 * 1024 * 1024;

// A decoded preview: top-down 32-bit pixels 0xFFRRGGBB.
struct ImageApercu {
    int largeur = 0, hauteur = 0;
    std::vector<uint32_t> pixels;
    size_t Octets() const { return pixels.size() * sizeof(uint32_t); }
};

// Bytes to decode for a preview: the key picture [octet, fin) and, when it
// does not carry them, the sequence headers [debutEntetes, finEntetes).
struct PlanApercu {
    int64_t octet = -1, fin = -1;
    int64_t debutEntetes = -1, finEntetes = -1;
    int64_t image = -1;  // picture number in the index (-1 without index)
    bool Valide() const { return octet >= 0 && fin > octet; }
};

// The key picture nearest to picture trunc(seconde * N / duration) (the
// one at or before it, or the next one when that is closer), from the
// film's picture index. Invalid for an empty index or one without key
// pictures.
PlanApercu PlanDepuisIndex(const IndexImages& index, int64_t tailleFichier, double seconde,
                           uint32_t dureeSecondes);

// Without an index: the key picture starting nearest to the file offset
// `cible` (the proportional offset of a second), found by scanning
// `donnees` (the file bytes from `origine` on, descrambled). `fichierEntier`
// tells that the bytes run to the end of the file (the last picture then
// ends with them). Invalid when none is whole in the bytes.
PlanApercu PlanDansOctets(int type, const unsigned char* donnees, size_t n, int64_t origine, bool fichierEntier,
                          int64_t cible);

// Reads, descrambles and decodes the picture of `plan` from the film at
// `chemin` of kind `type`, scaled to fit largeurMax x hauteurMax with its
// aspect kept. 0 ok, -1 failure. `desembrouiller`: the body is stored
// plus 17 (a protected film whose password was accepted).
int DecoderApercu(const std::string& chemin, int type, const PlanApercu& plan, bool desembrouiller,
                  int largeurMax, int hauteurMax, ImageApercu& sortie);

// The picture to decode for second `seconde` of the film at `chemin`: from
// `index` when given, else by scanning the film near the proportional
// offset (and its start for the sequence headers). The film's header gives
// its duration; `type` receives its kind. Invalid when there is none.
PlanApercu PlanPourSeconde(const std::string& chemin, double seconde, const IndexImages* index,
                           bool desembrouiller, int& type);

// Previews by key, least recently used dropped first once the bytes held
// pass the budget. One thread at a time.
class CacheApercus
{
public:
    explicit CacheApercus(size_t budget = BudgetCacheApercus) : budget_(budget) {}

    // The preview of `cle`, now the most recently used; null when absent.
    const ImageApercu* Trouver(const std::string& cle);
    // Adds (or replaces) the preview of `cle`, then drops the least
    // recently used ones until the budget holds. A preview larger than the
    // whole budget is not kept.
    void Ajouter(const std::string& cle, ImageApercu image);

    size_t Octets() const { return octets_; }
    size_t Nombre() const { return liste_.size(); }
    size_t Budget() const { return budget_; }

    // Key of a picture of a film.
    static std::string Cle(const std::string& chemin, int64_t octet);

private:
    struct Element {
        std::string cle;
        ImageApercu image;
    };
    static size_t Poids(const Element& e) { return e.image.Octets() + e.cle.size() + sizeof(Element); }
    size_t budget_;
    size_t octets_ = 0;
    std::list<Element> liste_;  // most recently used first
    std::unordered_map<std::string, std::list<Element>::iterator> table_;
};
