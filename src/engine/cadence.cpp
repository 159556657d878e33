#include "engine/cadence.h"

#include <algorithm>

int32_t IntervalleImageMs(uint32_t dureeMs, uint32_t nbImages, double vitesse)
{
    if (nbImages == 0)
        return 0;
    if (vitesse == 0.0)
        return static_cast<int32_t>(dureeMs / nbImages) * FacteurVitesseNulle;
    const double ms = (static_cast<double>(dureeMs) + 0.5) / (static_cast<double>(nbImages) * vitesse);
    // A negative speed would give a negative interval: the waits then fall
    // back to the late-picture rule.
    if (!(ms < static_cast<double>(INT32_MAX)))
        return INT32_MAX;
    return static_cast<int32_t>(ms);
}

int64_t EcheanceImageMs(const EtatCadence& e)
{
    if (e.vitesse == 0.0) {
        if (e.intervalle < e.maintenant - e.debutImage)
            return 0;
        // The interval at speed 0 already carries the slow-down factor.
        return static_cast<int64_t>(e.imagesDecodees) * e.intervalle;
    }
    if (e.nbImages == 0)
        return 0;
    const double ms = (static_cast<double>(e.imagesDecodees) * e.dureeMs + 0.5)
                      / (static_cast<double>(e.nbImages) * e.vitesse);
    if (!(ms < 9.0e18))
        return INT64_MAX;
    return static_cast<int64_t>(ms);
}

int64_t AttenteBruteMs(const EtatCadence& e)
{
    if (e.relatif) {
        const int64_t passe = e.maintenant - e.debutImage;
        return passe > e.intervalle ? AttenteImageEnRetardMs : e.intervalle - passe;
    }
    const int64_t attente = EcheanceImageMs(e) - (e.maintenant - e.debutRun);
    return attente > 0 ? attente : AttenteImageEnRetardMs;
}

int32_t AttenteImageMs(const EtatCadence& e)
{
    return static_cast<int32_t>(std::min<int64_t>(AttenteBruteMs(e), AttenteMaxImageMs));
}

double PourcentageDepart(int32_t seconde, uint32_t dureeSecondes)
{
    if (dureeSecondes == 0 || seconde <= 0)
        return 0;
    return std::min(double(seconde) * 100.0 / dureeSecondes, 100.0);
}

int64_t MsDeLImage(int64_t numero, uint32_t dureeMs, uint32_t nbImages)
{
    if (nbImages == 0 || numero <= 0)
        return 0;
    return numero * int64_t(dureeMs) / int64_t(nbImages);
}

bool BipPermis(int64_t maintenantMs, int64_t& dernierBipMs)
{
    if (maintenantMs - dernierBipMs < IntervalleBipMs)
        return false;
    dernierBipMs = maintenantMs;
    return true;
}
