// Backwards playback's rule: the segment of a key group decoded next, the
// reader's next action, and whole backwards runs simulated on a clock of
// their own (decoding, showing and waiting cost what the case says) with
// the same decisions and the same keeping of pictures as the reader.
#include "engine/groupe_images.h"
#include "engine/regle_retard.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <deque>
#include <vector>

namespace {

// Key pictures every 50 from 0.
int64_t Cle50(int64_t k)
{
    return k < 0 ? int64_t(-1) : k / 50 * 50;
}

EtatSegment Segment(int64_t fin, bool chaque, int64_t gardeesMax, double intervalle = 40.0, double cout = 8.0,
                    int64_t due = -1)
{
    EtatSegment e;
    e.fin = fin;
    e.chaqueImage = chaque;
    e.gardeesMax = gardeesMax;
    e.intervalleMs = intervalle;
    e.coutImageMs = cout;
    e.due = due;
    return e;
}

TEST(LectureArriere, SegmentsDesGroupes)
{
    SegmentArriere s;
    // x 1, a group that fits: all of it, kept whole.
    ASSERT_TRUE(SegmentPrecedent(Segment(150, true, 52), Cle50, s));
    EXPECT_EQ(s.cle, 100);
    EXPECT_EQ(s.debut, 100);
    EXPECT_EQ(s.fin, 150);
    EXPECT_EQ(s.aDecoder, 50);
    EXPECT_FALSE(s.coupe);
    // x 1, a group of 50 where 23 fit: three equal parts from the top,
    // each decoded from the key picture; then the next part below.
    ASSERT_TRUE(SegmentPrecedent(Segment(150, true, 23), Cle50, s));
    EXPECT_EQ(s.debut, 133);
    EXPECT_EQ(s.aDecoder, 50);
    EXPECT_TRUE(s.coupe);
    ASSERT_TRUE(SegmentPrecedent(Segment(133, true, 23), Cle50, s));
    EXPECT_EQ(s.cle, 100);
    EXPECT_EQ(s.debut, 116);
    EXPECT_EQ(s.aDecoder, 33);
    ASSERT_TRUE(SegmentPrecedent(Segment(116, true, 23), Cle50, s));
    EXPECT_EQ(s.debut, 100);
    EXPECT_FALSE(s.coupe);
    // The size of the pictures not yet known: no bound.
    ASSERT_TRUE(SegmentPrecedent(Segment(150, true, 0), Cle50, s));
    EXPECT_EQ(s.debut, 100);
    // x 16 (2.5 ms a picture): the kept pictures 8 apart (20 ms); late, the
    // group of the picture due, not the one before.
    ASSERT_TRUE(SegmentPrecedent(Segment(150, false, 23, 2.5, 8.0, 71), Cle50, s));
    EXPECT_EQ(s.cle, 50);
    EXPECT_EQ(s.fin, 72);
    EXPECT_EQ(s.debut, 50);
    EXPECT_EQ(s.pas, 8);
    // On time: the group before.
    ASSERT_TRUE(SegmentPrecedent(Segment(150, false, 23, 2.5, 8.0, 160), Cle50, s));
    EXPECT_EQ(s.cle, 100);
    EXPECT_EQ(s.fin, 150);
    // x 2 on 1080p: 50 decodable, 23 fit: every third picture.
    ASSERT_TRUE(SegmentPrecedent(Segment(150, false, 23, 20.0, 8.0), Cle50, s));
    EXPECT_EQ(s.pas, 3);
    // The film's start.
    EXPECT_FALSE(SegmentPrecedent(Segment(0, true, 23), Cle50, s));
    ASSERT_TRUE(SegmentPrecedent(Segment(50, false, 23, 2.5, 8.0, 0), Cle50, s));
    EXPECT_EQ(s.cle, 0);
    EXPECT_EQ(s.fin, 1);
}

struct Entree {
    int64_t numero;
};

TEST(LectureArriere, RangementDesImagesGardees)
{
    // Kept at least 3 apart, but the top one.
    std::deque<Entree> l;
    int64_t debut = 0;
    for (int64_t k = 0; k < 8; ++k)
        RangerImage(l, Entree{k}, 3, 0, 1, debut);
    std::vector<int64_t> n;
    for (const Entree& e : l)
        n.push_back(e.numero);
    EXPECT_EQ(n, (std::vector<int64_t>{0, 3, 6, 7}));
    // Beyond the bound the oldest go, and the segment starts higher.
    l.clear();
    for (int64_t k = 10; k < 20; ++k)
        RangerImage(l, Entree{k}, 1, 4, 1, debut);
    ASSERT_EQ(l.size(), 4u);
    EXPECT_EQ(l.front().numero, 16);
    EXPECT_EQ(debut, 16);
}

EtatArriere Etat(double maintenant, int64_t haut, int64_t apres)
{
    // x 16 on 25 pictures/s: picture 1000 due at 0, 2.5 ms a picture.
    EtatArriere e;
    e.intervalleMs = 2.5;
    e.maintenantMs = maintenant;
    e.ancreImage = 1000;
    e.dernierMontreMs = -100;
    e.coutImageMs = 8.0;
    e.courantComplet = true;
    e.haut = haut;
    e.apres = apres;
    e.suivantPrepare = true;
    e.suivantCle = 900;
    e.suivantProchaine = 900;
    e.suivantDebut = 900;
    return e;
}

TEST(LectureArriere, Decisions)
{
    // The first segment is decoded before anything.
    EtatArriere e = Etat(0, -1, -1);
    e.courantComplet = false;
    EXPECT_EQ(DeciderArriere(e).action, ActionArriere::DecoderCourant);
    // Picture 990 due at 25 ms: meanwhile the group before is decoded,
    // then the reader waits.
    e = Etat(10, 990, 980);
    EXPECT_EQ(DeciderArriere(e).action, ActionArriere::DecoderSuivant);
    e.maintenantMs = 20;
    DecisionArriere d = DeciderArriere(e);
    EXPECT_EQ(d.action, ActionArriere::Attendre);
    EXPECT_DOUBLE_EQ(d.attenteMs, 5.0);
    e.maintenantMs = 25;
    EXPECT_EQ(DeciderArriere(e).action, ActionArriere::Montrer);
    // The next one (980, due at 50 ms) already due: 990 is passed by.
    e.maintenantMs = 51;
    EXPECT_EQ(DeciderArriere(e).action, ActionArriere::Passer);
    // The next one comes within 20 ms of the last picture shown: passed by.
    e = Etat(25, 990, 985);
    e.dernierMontreMs = 20;
    EXPECT_EQ(DeciderArriere(e).action, ActionArriere::Passer);
    // Every picture shown at x 1: none passed, however late.
    e = Etat(500, 990, 980);
    e.toutMontrer = true;
    e.intervalleMs = 40;
    EXPECT_EQ(DeciderArriere(e).action, ActionArriere::Montrer);
    // A picture of the group before that cannot be ready by its due time
    // (940 due at 150 ms) is not decoded: the segment is over with what it
    // has when the one shown ends.
    e = Etat(145, -1, -1);
    e.suivantProchaine = 940;
    e.suivantGardees = 3;
    EXPECT_EQ(DeciderArriere(e).action, ActionArriere::Echanger);
    e.maintenantMs = 140;
    EXPECT_EQ(DeciderArriere(e).action, ActionArriere::DecoderSuivant);
    // Its key picture is no longer due and nothing of it is decoded: the
    // group due is chosen instead.
    e = Etat(300, -1, -1);
    e.cleDue = 850;
    EXPECT_EQ(DeciderArriere(e).action, ActionArriere::Preparer);
    // Nothing prepared before the segment shown, and none left: the start.
    e = Etat(300, -1, -1);
    e.suivantPrepare = false;
    EXPECT_EQ(DeciderArriere(e).action, ActionArriere::Preparer);
    e.debutAtteint = true;
    EXPECT_EQ(DeciderArriere(e).action, ActionArriere::Debut);
}

// ---- Whole backwards runs on a simulated clock.

struct Cas {
    double intervalle;   // wall ms a picture at the speed
    double cout;         // decoding one picture
    double montre;       // converting and handing over one
    int64_t place;       // pictures the room holds (both segments)
    bool toutMontrer;    // x 1 and slower
    int64_t depart = 1999;
    double duree = 20000;
};

struct Essai {
    std::vector<double> temps;
    std::vector<int64_t> images;
    int64_t decodees = 0;
    size_t gardeesMax = 0;
    bool debut = false;
};

// A segment as GroupeImages keeps it, each picture costing `cout`.
struct FauxSegment {
    int64_t cle = -1, fin = -1, aDecoder = 0, debut = -1, pas = 1, octetsMax = 0, prochaine = -1;
    std::deque<Entree> images;
    bool Prepare() const { return cle >= 0; }
    bool Complet() const { return Prepare() && prochaine >= cle + aDecoder; }
    void Preparer(const SegmentArriere& s, int64_t octets)
    {
        *this = FauxSegment();
        cle = s.cle;
        fin = s.fin;
        aDecoder = s.aDecoder;
        debut = s.debut;
        pas = s.pas;
        octetsMax = octets;
        prochaine = s.cle;
    }
    void Decoder()
    {
        const int64_t k = prochaine++;
        if (k >= debut)
            RangerImage(images, Entree{k}, pas, octetsMax, 1, debut);
    }
};

// The reader's backwards loop (th_lecteur_arriere.cpp) on a clock of its own.
Essai Jouer(const Cas& c)
{
    Essai r;
    double t = 0, ancre = 0, dernier = -1.0e18;
    bool ancree = false, debutAtteint = false;
    int64_t ancreImage = c.depart;
    const int64_t octetsSegment = c.place / 2;
    FauxSegment courant, suivant;
    SegmentArriere premier;
    premier.cle = Cle50(c.depart);
    premier.fin = c.depart + 1;
    premier.debut = premier.cle;
    premier.aDecoder = premier.fin - premier.cle;
    courant.Preparer(premier, octetsSegment);
    bool coupe = false, coupeSuivant = false, premierGroupe = true;
    const auto decoder = [&](FauxSegment& s) {
        t += c.cout;
        ++r.decodees;
        s.Decoder();
    };
    while (t < c.duree) {
        if (!ancree && courant.Complet()) {
            ancree = true;
            ancre = t;
            ancreImage = courant.images.empty() ? courant.debut - 1 : courant.images.back().numero;
        }
        if (premierGroupe && courant.Complet()) {
            premierGroupe = false;
            coupe = courant.debut > courant.cle;
        }
        const bool chaque = c.toutMontrer;
        EtatArriere e;
        e.intervalleMs = c.intervalle;
        e.maintenantMs = t - ancre;
        e.ancreImage = ancreImage;
        e.dernierMontreMs = dernier - ancre;
        e.coutImageMs = c.cout;
        e.toutMontrer = chaque && !coupe;
        e.courantComplet = courant.Complet();
        e.haut = courant.images.empty() ? -1 : courant.images.back().numero;
        e.apres = courant.images.size() < 2 ? -1 : courant.images[courant.images.size() - 2].numero;
        e.suivantPrepare = suivant.Prepare();
        e.suivantComplet = suivant.Complet();
        e.suivantCle = suivant.cle;
        e.suivantProchaine = suivant.prochaine;
        e.suivantDebut = suivant.debut;
        e.suivantGardees = static_cast<int64_t>(suivant.images.size());
        e.debutAtteint = debutAtteint;
        if (ancree && !e.toutMontrer) {
            const int64_t due = ImageDueEnArriere(ancreImage, e.maintenantMs + c.cout, c.intervalle);
            e.cleDue = due >= 0 ? Cle50(due) : 0;
        }
        r.gardeesMax = std::max(r.gardeesMax, courant.images.size() + suivant.images.size());
        const DecisionArriere d = DeciderArriere(e);
        switch (d.action) {
        case ActionArriere::DecoderCourant:
            decoder(courant);
            break;
        case ActionArriere::Preparer: {
            EtatSegment s;
            s.fin = courant.debut;
            s.chaqueImage = chaque;
            s.intervalleMs = c.intervalle;
            s.coutImageMs = c.cout;
            s.gardeesMax = octetsSegment;
            if (!(chaque && !coupe) && ancree)
                s.due = std::max<int64_t>(0, ImageDueEnArriere(ancreImage, t + 2 * c.cout - ancre, c.intervalle));
            SegmentArriere seg;
            if (!SegmentPrecedent(s, Cle50, seg)) {
                suivant = FauxSegment();
                debutAtteint = true;
            } else {
                suivant.Preparer(seg, octetsSegment);
                coupeSuivant = seg.coupe;
            }
            break;
        }
        case ActionArriere::DecoderSuivant:
            decoder(suivant);
            break;
        case ActionArriere::Echanger:
            suivant.aDecoder = suivant.prochaine - suivant.cle;
            std::swap(courant, suivant);
            std::swap(coupe, coupeSuivant);
            suivant = FauxSegment();
            break;
        case ActionArriere::Attendre:
            t += std::max(1.0, std::floor(std::min(d.attenteMs, 10.0)));
            break;
        case ActionArriere::Debut:
            r.debut = true;
            return r;
        case ActionArriere::Montrer:
        case ActionArriere::Passer: {
            const int64_t k = courant.images.back().numero;
            if (d.action == ActionArriere::Montrer) {
                t += c.montre;
                dernier = t;
                r.temps.push_back(t);
                r.images.push_back(k);
            }
            courant.images.pop_back();
            if (k == 0) {
                r.debut = true;
                return r;
            }
            break;
        }
        }
    }
    return r;
}

// Film time gone back over each stretch of 3.5 s from a picture shown (the
// first second left out), against what the speed asks: the worst relative
// error, as the benchmark measures it.
double PireEcart(const Essai& s, double intervalle)
{
    const double fenetre = 3500.0;
    double pire = 0;
    size_t j = 0;
    for (size_t i = 0; i < s.temps.size(); ++i) {
        if (s.temps[i] - s.temps.front() < 1000.0)
            continue;
        while (j < s.temps.size() && s.temps[j] - s.temps[i] < fenetre)
            ++j;
        if (j >= s.temps.size())
            break;
        const double recul = static_cast<double>(s.images[i] - s.images[j - 1]) * intervalle;
        pire = std::max(pire, std::abs(recul - fenetre) / fenetre);
    }
    return pire;
}

double PlusLongueImmobilite(const Essai& s)
{
    double pire = 0;
    for (size_t i = 1; i < s.temps.size(); ++i)
        pire = std::max(pire, s.temps[i] - s.temps[i - 1]);
    return pire;
}

TEST(LectureArriere, X16GardeLHeureAuPassageDesGroupes)
{
    // x 16 on 25 pictures/s for 8 s: 720p-like and 1080p-like decoding and
    // showing (a group takes 125 ms on screen, decoding one whole takes 150
    // and 400 ms), and a room that holds little.
    const Cas cas[] = {
        {2.5, 3.0, 2.5, 104, false, 7999, 8000},
        {2.5, 8.0, 4.0, 46, false, 7999, 8000},
        {2.5, 8.0, 4.0, 10, false, 7999, 8000},
    };
    for (const Cas& c : cas) {
        const Essai s = Jouer(c);
        SCOPED_TRACE(testing::Message() << "cout " << c.cout << " place " << c.place);
        ASSERT_GT(s.temps.size(), 40u);
        EXPECT_LE(PireEcart(s, c.intervalle), 0.03);
        EXPECT_LE(PlusLongueImmobilite(s), 150.0);
        const double duree = s.temps.back() - s.temps.front();
        EXPECT_GE(static_cast<double>(s.temps.size() - 1) * 1000.0 / duree, 20.0);
        // Film time kept: the picture shown last is where the clock is.
        EXPECT_NEAR(static_cast<double>(s.images.front() - s.images.back()) * c.intervalle, duree, 100.0);
        EXPECT_LE(s.gardeesMax, static_cast<size_t>(c.place) + 1);
        // Always backwards.
        for (size_t i = 1; i < s.images.size(); ++i)
            ASSERT_LT(s.images[i], s.images[i - 1]);
    }
}

TEST(LectureArriere, X1ChaqueImageMemeEnParties)
{
    // x 1 from picture 420 to the start: every picture in reverse order,
    // with room for two whole groups (720p-like), and with room for 46
    // (1080p-like: each group in three parts, decoded again from its key).
    for (const int64_t place : {104, 46}) {
        SCOPED_TRACE(place);
        Cas c{40.0, 8.0, 4.0, place, true, 420, 60000};
        const Essai s = Jouer(c);
        EXPECT_TRUE(s.debut);
        ASSERT_EQ(s.images.size(), 421u);
        for (size_t i = 0; i < s.images.size(); ++i)
            ASSERT_EQ(s.images[i], 420 - static_cast<int64_t>(i));
        EXPECT_LE(s.gardeesMax, static_cast<size_t>(place) + 1);
        // Whole groups decode each picture once; in parts, 50 + 33 + 16 a group.
        if (place == 104)
            EXPECT_EQ(s.decodees, 421);
        else
            EXPECT_LE(s.decodees, 421 * 2);
        // On time: each picture 40 ms after the one before.
        EXPECT_LE(PlusLongueImmobilite(s), 40.0 + 4.0 + 1.0);
        EXPECT_LE(PireEcart(s, c.intervalle), 0.03);
    }
}

} // namespace
