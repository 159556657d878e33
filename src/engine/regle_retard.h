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

#include <algorithm>
#include <cstdint>

// A picture whose successor is not yet due by more than this is still on
// time: scheduling hiccups of a loaded machine do not drop pictures.
constexpr double RetardTolereMs = 20.0;
// The screen never stays still longer than this for lack of an on-time
// picture: a late picture is then shown anyway.
constexpr double ImmobileMaxMs = 30.0;
// Backwards faster than x 1, a kept picture is not shown when the one
// after it comes within this of the last picture shown: converting and
// handing over pictures the eye cannot follow would take the time the
// decoding of the group before needs (at most 50 pictures a second).
constexpr double EcartMontreArriereMs = 20.0;
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

// Backwards: the picture due `maintenantMs` after the anchor, where
// picture `ancreImage` is due at 0.
int64_t ImageDueEnArriere(int64_t ancreImage, double maintenantMs, double intervalleMs);

// Backwards: the pictures of one key group to decode and keep next. The
// group is decoded from its key picture `cle` up to `cle + aDecoder`
// (exclusive); of these only the pictures in [debut, fin) are kept, `pas`
// apart at least but for the last one decoded (GroupeImages). `coupe`: the group is
// shown in several segments, each decoded again from the key picture.
struct SegmentArriere {
    int64_t cle = -1, debut = -1, fin = -1, aDecoder = 0, pas = 1;
    bool coupe = false;
};

struct EtatSegment {
    int64_t fin = 0;          // first picture of the segment shown (exclusive end)
    int64_t due = -1;         // the picture due once the segment can be decoded, -1 when not known
    bool chaqueImage = false; // every picture is kept (x 1 or slower)
    int64_t gardeesMax = 0;   // pictures one segment may keep (half the room), 0 when not known
    double intervalleMs = 0;
    double coutImageMs = 0;
};

// The group of the picture due when the run is late (the groups in
// between are passed by), else the group before `fin`. Every picture kept:
// a group larger than gardeesMax pictures is shown in equal segments from
// its top, each decoded again from its key picture (the memory stays
// bounded, and each segment has the time of the one before on screen to
// be decoded). Faster: decoded from its key as far as time allows, keeping
// pictures `pas` apart, as far apart as they can be shown and so that they
// fit the room. False at the film's start.
template <typename F>
bool SegmentPrecedent(const EtatSegment& e, F cleAuPlusTard, SegmentArriere& s)
{
    int64_t fin = e.fin;
    if (e.due >= 0)
        fin = std::max<int64_t>(std::min(fin, e.due + 1), std::min<int64_t>(fin, 1));
    int64_t cle = -1;
    if (!GroupePrecedent(fin, cleAuPlusTard, cle))
        return false;
    const int64_t longueur = fin - cle;
    s.cle = cle;
    s.fin = fin;
    s.debut = cle;
    s.aDecoder = longueur;
    s.pas = 1;
    s.coupe = false;
    if (e.chaqueImage) {
        if (e.gardeesMax > 0 && longueur > e.gardeesMax) {
            const int64_t parties = (longueur + e.gardeesMax - 1) / e.gardeesMax;
            s.debut = fin - (longueur + parties - 1) / parties;
            s.coupe = true;
        }
        return true;
    }
    // Pictures closer than EcartMontreArriereMs are not both shown.
    if (e.intervalleMs > 0)
        s.pas = std::max<int64_t>(1, static_cast<int64_t>(EcartMontreArriereMs / e.intervalleMs));
    if (e.gardeesMax > 0) {
        const int64_t utiles = ImagesADecoderEnArriere(longueur, e.intervalleMs, e.coutImageMs);
        s.pas = std::max(s.pas, (utiles + e.gardeesMax - 1) / e.gardeesMax);
    }
    return true;
}

// What the backwards reader does next. It shows the pictures kept of the
// segment on screen (the "courant" one) from the top down at their due
// times, and decodes the segment before it (the "suivant" one) in the
// waits between them.
enum class ActionArriere {
    DecoderCourant, // the run's first segment, decoded before any of it is shown
    Preparer,       // choose the segment before (SegmentPrecedent)
    DecoderSuivant, // one more picture of the segment before
    Echanger,       // the segment shown is over: the one before, as decoded so far, is shown next
    Passer,         // the top kept picture is dropped unseen
    Montrer,        // the top kept picture is shown
    Attendre,       // until attenteMs has passed
    Debut,          // nothing before: the film's start is reached
};

struct EtatArriere {
    double intervalleMs = 0;
    double maintenantMs = 0;          // since the anchor
    int64_t ancreImage = 0;           // due at 0
    double dernierMontreMs = -1.0e18; // since the anchor
    double coutImageMs = 0;           // decoding one picture (average)
    bool toutMontrer = false;
    // The segment shown.
    bool courantComplet = false;
    int64_t haut = -1;  // its top kept picture, -1 when none is left
    int64_t apres = -1; // the kept picture after it in showing order, -1: none
    // The segment before.
    bool suivantPrepare = false;
    bool suivantComplet = false;
    int64_t suivantCle = -1;
    int64_t suivantProchaine = -1; // next picture it decodes
    int64_t suivantDebut = -1;     // first picture it keeps
    int64_t suivantGardees = 0;    // pictures it keeps so far
    bool debutAtteint = false;     // no segment before the one shown
    // Key picture of the group of the picture due once a picture is
    // decoded from now (-1 when not known).
    int64_t cleDue = -1;
};

struct DecisionArriere {
    ActionArriere action = ActionArriere::Attendre;
    double attenteMs = 0;
};

// Faster than x 1, a picture of the segment before is decoded only when it
// can be ready by its due time, and a kept picture is dropped when the next
// one is already due: the run never stalls on a group that is late, it
// shows what it has and goes on with the group due. At x 1 and slower
// every picture is decoded and shown.
DecisionArriere DeciderArriere(const EtatArriere& e);
