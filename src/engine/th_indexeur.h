// The picture indexer: a thread of the lowest priority that indexes the
// current film's body (index_images.h) and publishes the index once it is
// complete. A new request (another film) or a stop cancels the work in
// progress at the next block; a film whose size changes is indexed again. A protected film is indexed over its
// descrambled bytes, once the password typed (its channel's MotDePasseFilm)
// opens it.
//
// Nothing waits for the index: while it is not published the reader and
// the window keep the proportional rule.
#pragma once

#include "engine/index_images.h"

#include <QThread>

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

// Block read from the film at a time: large enough for memory speed, small
// enough for a cancel to take effect at once.
constexpr size_t BlocIndexeur = 4 * 1024 * 1024;
// Poll of the typed password while a protected film waits for it.
constexpr int AttenteMotDePasseIndexMs = 200;
// Look at the indexed film's size this often: a film rewritten or cut under
// the player is indexed again.
constexpr int SurveillanceIndexMs = 1000;

// The published index of `chemin`: null while it is not complete, or when
// no index of that film is published. Any thread; takes only the
// publication's own lock, never with another one held.
std::shared_ptr<const IndexImages> IndexFilm(const char* chemin);
// Publishes (or, with a null index, forgets) the index of `chemin`; a null
// path forgets every film's.
void PublierIndex(const char* chemin, std::shared_ptr<const IndexImages> index);

class Th_Indexeur : public QThread
{
    Q_OBJECT
public:
    // `plafond`: most pictures indexed (tests lower it); a film with more
    // is not indexed (logged) and keeps the proportional rule.
    // `voie`: the channel whose password opens a protected film when no
    // channel shows it.
    explicit Th_Indexeur(int64_t plafond = PlafondIndexImages, int voie = 0);
    // Cancels the work in progress and waits for the thread.
    ~Th_Indexeur() override;

    // Indexes the film `chemin` of kind `type` (TypeFilm) from now on; the
    // index of this indexer's previous film is forgotten and its indexing
    // cancelled.
    // An empty path only cancels.
    void Demander(const char* chemin, int type);

    // Films indexed to the end since creation (tests).
    int NbTermines() const;
    // Films whose indexing was given up (cancelled) since creation (tests).
    int NbAbandonnes() const;
    // Films left unindexed for having more pictures than the cap (tests).
    int NbPlafonnes() const;

protected:
    void run() override;

private:
    // 0 complete, 1 cancelled or stopped, 2 over the cap, -1 unreadable.
    // `taille`: the film's size when it was opened (-1 before).
    int Indexer(const std::string& chemin, int type, uint64_t demande, int64_t& taille);
    bool Annule(uint64_t demande) const;

    mutable std::mutex verrou_;
    std::condition_variable reveil_;
    uint64_t demande_ = 0;   // bumped by each request; the work checks it
    std::string chemin_;
    int type_ = -1;
    bool arret_ = false;
    int termines_ = 0, abandonnes_ = 0, plafonnes_ = 0;
    const int64_t plafond_;
    const int voie_;
};
