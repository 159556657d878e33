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

int64_t ImageDueEnArriere(int64_t ancreImage, double maintenantMs, double intervalleMs)
{
    if (!(intervalleMs > 0))
        return ancreImage;
    return ancreImage - static_cast<int64_t>(std::floor(maintenantMs / intervalleMs));
}

namespace {

// Due time of picture `numero` backwards.
double EcheanceArriere(const EtatArriere& e, int64_t numero)
{
    return EcheanceMs(e.ancreImage - numero, e.intervalleMs);
}

// Whether the next picture of the segment before is worth decoding now:
// always at x 1 and slower, for the pictures decoded only as references,
// and for the first kept one (a segment shows at least one picture); else
// only when it can be ready by its due time (later ones are due earlier).
bool SuivanteUtile(const EtatArriere& e)
{
    if (e.toutMontrer || e.suivantGardees == 0 || e.suivantProchaine < e.suivantDebut)
        return true;
    return e.maintenantMs + e.coutImageMs <= EcheanceArriere(e, e.suivantProchaine);
}

} // namespace

DecisionArriere DeciderArriere(const EtatArriere& e)
{
    DecisionArriere d;
    if (!e.courantComplet) {
        d.action = ActionArriere::DecoderCourant;
        return d;
    }
    // A segment before chosen earlier whose key picture is no longer due:
    // the group due instead, before anything of it is decoded for nothing.
    if (!e.toutMontrer && e.suivantPrepare && e.suivantGardees == 0 && e.cleDue >= 0 && e.cleDue < e.suivantCle) {
        d.action = ActionArriere::Preparer;
        return d;
    }
    if (e.haut < 0) {
        if (!e.suivantPrepare)
            d.action = e.debutAtteint ? ActionArriere::Debut : ActionArriere::Preparer;
        else if (!e.suivantComplet && SuivanteUtile(e))
            d.action = ActionArriere::DecoderSuivant;
        else
            d.action = ActionArriere::Echanger;
        return d;
    }
    if (!e.suivantPrepare && !e.debutAtteint) {
        d.action = ActionArriere::Preparer;
        return d;
    }
    // The picture due now rather than the next in order; none that the
    // next one would follow too closely.
    if (!e.toutMontrer && e.apres >= 0
        && (EcheanceArriere(e, e.apres) <= e.maintenantMs
            || EcheanceArriere(e, e.apres) - e.dernierMontreMs <= EcartMontreArriereMs)) {
        d.action = ActionArriere::Passer;
        return d;
    }
    const double echeance = EcheanceArriere(e, e.haut);
    if (e.maintenantMs < echeance - 0.5) {
        if (e.suivantPrepare && !e.suivantComplet && e.maintenantMs + e.coutImageMs < echeance
            && SuivanteUtile(e)) {
            d.action = ActionArriere::DecoderSuivant;
            return d;
        }
        d.action = ActionArriere::Attendre;
        d.attenteMs = echeance - e.maintenantMs;
        return d;
    }
    EtatImage i;
    i.intervalleMs = e.intervalleMs;
    i.maintenantMs = e.maintenantMs;
    i.ecart = e.ancreImage - e.haut;
    i.dernierMontreMs = e.dernierMontreMs;
    i.toutMontrer = e.toutMontrer;
    d.action = ChoisirImage(i) == ChoixImage::Montrer ? ActionArriere::Montrer : ActionArriere::Passer;
    return d;
}
