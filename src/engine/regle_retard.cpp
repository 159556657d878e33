#include "engine/regle_retard.h"

#include <algorithm>
#include <cmath>

namespace {

// Share of a group's wall time that decoding may take backwards: the rest
// goes to converting and handing over the pictures shown.
constexpr double PartDecodageArriere = 0.7;
// Weight of a new sample in the average decoding cost.
constexpr double PoidsCout = 0.25;

} // namespace

double IntervalleReelMs(uint32_t dureeMs, uint32_t nbImages, double vitesse)
{
    if (nbImages == 0 || !(vitesse > 0))
        return 0;
    return static_cast<double>(dureeMs) / (static_cast<double>(nbImages) * vitesse);
}

double EcheanceMs(int64_t ecart, double intervalleMs)
{
    return static_cast<double>(ecart) * intervalleMs;
}

ChoixImage ChoisirImage(const EtatImage& e)
{
    if (e.toutMontrer)
        return ChoixImage::Montrer;
    if (e.maintenantMs <= EcheanceMs(e.ecart + 1, e.intervalleMs) + RetardTolereMs)
        return ChoixImage::Montrer;
    if (e.maintenantMs - e.dernierMontreMs >= ImmobileMaxMs)
        return ChoixImage::Montrer;
    return ChoixImage::Passer;
}

double AttenteApresImageMs(const EtatImage& e)
{
    return std::max(0.0, EcheanceMs(e.ecart + 1, e.intervalleMs) - e.maintenantMs);
}

bool SauterALaCle(const EtatSaut& e)
{
    if (e.toutMontrer)
        return false;
    const double retard = e.maintenantMs - EcheanceMs(e.ecart, e.intervalleMs);
    if (retard <= RetardTolereMs)
        return false;
    if (e.ecartCle < 0)
        return retard > RetardSautSansIndexMs;
    if (e.ecartCle <= e.ecart)
        return false;
    const double echeanceCle = EcheanceMs(e.ecartCle, e.intervalleMs);
    const double arrivee = e.maintenantMs + static_cast<double>(e.ecartCle - e.ecart) * e.coutImageMs;
    if (arrivee <= echeanceCle)
        return false;
    return echeanceCle - e.maintenantMs <= 2.0 * e.coutImageMs + RetardTolereMs;
}

int64_t CleEstimee(int64_t derniereCle, int64_t longueurGroupe, int64_t suivante)
{
    if (derniereCle < 0 || longueurGroupe <= 0)
        return -1;
    if (suivante < derniereCle)
        return derniereCle;
    return derniereCle + ((suivante - derniereCle) / longueurGroupe + 1) * longueurGroupe;
}

double MoyenneCout(double moyenne, double echantillonMs)
{
    if (!(moyenne > 0))
        return echantillonMs;
    return moyenne + PoidsCout * (echantillonMs - moyenne);
}

int64_t ImagesADecoderEnArriere(int64_t longueur, double intervalleMs, double coutImageMs)
{
    if (longueur <= 0)
        return 0;
    if (!(coutImageMs > 0))
        return longueur;
    const double temps = static_cast<double>(longueur) * intervalleMs * PartDecodageArriere;
    const double n = std::floor(temps / coutImageMs);
    if (n >= static_cast<double>(longueur))
        return longueur;
    return std::max<int64_t>(1, static_cast<int64_t>(n));
}
