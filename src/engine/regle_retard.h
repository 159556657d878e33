// The late-picture rule: which pictures a playing run decodes, converts and
// hands over, which it passes by, and when it jumps to a key picture, so
// that the film time on screen follows the wall clock at the chosen speed
// even where the machine cannot decode every picture in time.
//
// Times are milliseconds since the run's anchor (its start, or the last
// pause or speed change); pictures are counted from the anchor picture
// (ecart 0), forwards or backwards. Plain functions of numbers: no clock,
// no thread.
#pragma once

#include <cstdint>

// A picture whose successor is not yet due by more than this is still on
// time: scheduling hiccups of a loaded machine do not drop pictures.
constexpr double RetardTolereMs = 20.0;
// The screen never stays still longer than this for lack of an on-time
// picture: a late picture is then shown anyway.
constexpr double ImmobileMaxMs = 30.0;
// Without the picture index a jump to the next key picture is made only
// when the run is this late: the distance to that picture is not known.
constexpr double RetardSautSansIndexMs = 200.0;

// Wall milliseconds between two pictures at `vitesse` (not truncated):
// dureeMs / (nbImages * vitesse). 0 for no pictures or a speed <= 0.
double IntervalleReelMs(uint32_t dureeMs, uint32_t nbImages, double vitesse);

// Due time of the picture `ecart` pictures past the anchor.
double EcheanceMs(int64_t ecart, double intervalleMs);

// What to do with a picture that has just been decoded (not converted).
enum class ChoixImage { Montrer, Passer };

struct EtatImage {
    double intervalleMs = 0;   // IntervalleReelMs at the speed
    double maintenantMs = 0;   // now, since the anchor
    int64_t ecart = 0;         // this picture, pictures past the anchor
    double dernierMontreMs = -1.0e18; // when a picture was last shown
    bool toutMontrer = false;  // every picture is shown (x 1 or slower)
};

// Shown when every picture is shown, when the next picture is not yet late
// by more than RetardTolereMs, or when nothing has been shown for
// ImmobileMaxMs; otherwise passed by (neither converted nor handed over).
ChoixImage ChoisirImage(const EtatImage& e);

// Wait before the next picture after showing picture `ecart`: until the
// next one is due, none when it already is.
double AttenteApresImageMs(const EtatImage& e);

// Whether to walk over the pictures before the next key picture without
// decoding them.
struct EtatSaut {
    double intervalleMs = 0;
    double maintenantMs = 0;
    int64_t ecart = 0;        // the next picture to decode, past the anchor
    int64_t ecartCle = -1;    // the next key picture after it, -1 when not known
    double coutImageMs = 0;   // time one picture takes to decode (average)
    bool toutMontrer = false;
};

// Never when every picture is shown or the run is on time (within
// RetardTolereMs). With the key picture known: only when decoding every
// picture up to it would reach it after its due time, and its due time is
// close enough that decoding further in this group would make it late
// (two pictures' cost and the tolerance): until then the pictures of this
// group keep the screen moving. Without it: when the run is
// RetardSautSansIndexMs late.
bool SauterALaCle(const EtatSaut& e);

// Without the picture index: the next key picture after picture
// `suivante`, guessed from the last key picture met and the length of the
// last key group met (both -1 or 0 while not known): -1 when not known.
int64_t CleEstimee(int64_t derniereCle, int64_t longueurGroupe, int64_t suivante);

// Running average of the decoding cost (weight 1/4 to the new sample).
double MoyenneCout(double moyenne, double echantillonMs);

// Backwards: the next key group to decode before key picture `fin`
// (exclusive), from a key picture list given as the last key picture at or
// before a picture (`cleAuPlusTard`, -1 for none). `debut` receives the
// group's key picture; false at the film's start.
template <typename F>
bool GroupePrecedent(int64_t fin, F cleAuPlusTard, int64_t& debut)
{
    if (fin <= 0)
        return false;
    debut = cleAuPlusTard(fin - 1);
    return debut >= 0 && debut < fin;
}

// Backwards: how many pictures of a group, from its key picture, are worth
// decoding: all of them when their decoding fits the wall time the group
// takes on screen (`longueur` pictures at `intervalleMs`, with a share kept
// for conversion and hand-over), else as many as fit, at least one.
int64_t ImagesADecoderEnArriere(int64_t longueur, double intervalleMs, double coutImageMs);
