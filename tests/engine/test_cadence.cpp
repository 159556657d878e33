// Pacing arithmetic and stream markers of the reader.
#include "engine/cadence.h"
#include "engine/reperes.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

EtatCadence Cadence(uint32_t dureeMs, uint32_t nbImages, double vitesse)
{
    EtatCadence e;
    e.dureeMs = dureeMs;
    e.nbImages = nbImages;
    e.vitesse = vitesse;
    e.intervalle = IntervalleImageMs(dureeMs, nbImages, vitesse);
    return e;
}

TEST(Cadence, IntervalleSelonLaVitesse)
{
    EXPECT_EQ(IntervalleImageMs(10000, 250, 1.0), 40);
    EXPECT_EQ(IntervalleImageMs(10000, 250, 2.0), 20);
    EXPECT_EQ(IntervalleImageMs(10000, 250, 16.0), 2);  // 2.5 truncated
    EXPECT_EQ(IntervalleImageMs(1000, 1, 0.1), 10005);  // (1000.5 / 0.1)
    EXPECT_EQ(IntervalleImageMs(10000, 250, 0.0), 4000); // 40 x 100
    EXPECT_EQ(IntervalleImageMs(10000, 0, 1.0), 0);
}

// 250 pictures over 10 s: picture k is followed by picture k + 1 at k x 40 ms
// (k x 20 at x 2), so the wait is what remains of that after its decoding.
TEST(Cadence, EcheancesAbsolues)
{
    for (double vitesse : {1.0, 2.0}) {
        const int pas = vitesse == 1.0 ? 40 : 20;
        EtatCadence e = Cadence(10000, 250, vitesse);
        e.debutRun = 5000;
        for (uint32_t k : {1u, 2u, 10u, 250u}) {
            e.imagesDecodees = k;
            // Picture k decoded 3 ms after its own due time (k - 1) x pas.
            e.maintenant = e.debutRun + (k - 1) * pas + 3;
            e.debutImage = e.maintenant - 3;
            EXPECT_EQ(EcheanceImageMs(e), static_cast<int64_t>(k) * pas) << vitesse << " " << k;
            EXPECT_EQ(AttenteImageMs(e), pas - 3) << vitesse << " " << k;
        }
    }
}

TEST(Cadence, ImageEnRetardSuivieApresUneMilliseconde)
{
    EtatCadence e = Cadence(10000, 250, 1.0);
    e.imagesDecodees = 5; // due to be followed at 200 ms
    e.maintenant = 200;   // exactly on time: not positive
    EXPECT_EQ(AttenteImageMs(e), 1);
    e.maintenant = 900;
    EXPECT_EQ(AttenteImageMs(e), 1);
    e.relatif = true; // relative: the picture took longer than the interval
    e.debutImage = 850;
    EXPECT_EQ(AttenteImageMs(e), 1);
}

// x 0.1 on a film of one picture a second: a 10 s interval, but no wait
// over one second, in either pacing.
TEST(Cadence, AttentePlafonneeAUneSeconde)
{
    EtatCadence e = Cadence(60000, 60, 0.1);
    ASSERT_EQ(e.intervalle, 10000);
    e.imagesDecodees = 3;
    e.maintenant = 2500;
    e.debutImage = 2490;
    EXPECT_GT(AttenteBruteMs(e), 1000);
    EXPECT_EQ(AttenteImageMs(e), 1000);
    e.relatif = true;
    EXPECT_EQ(AttenteBruteMs(e), 9990);
    EXPECT_EQ(AttenteImageMs(e), 1000);
}

// After a pause or a speed change each picture waits the interval less its
// own decoding time, whatever the run's clock says.
TEST(Cadence, CadenceRelative)
{
    EtatCadence e = Cadence(10000, 250, 1.0);
    e.relatif = true;
    e.imagesDecodees = 10;
    e.debutRun = 0;
    e.debutImage = 60000; // long after the due time of picture 10
    e.maintenant = 60007;
    EXPECT_EQ(AttenteImageMs(e), 33);
    e.relatif = false; // absolute pacing would show it at once
    EXPECT_EQ(AttenteImageMs(e), 1);
}

TEST(Cadence, VitesseNulle)
{
    EtatCadence e = Cadence(10000, 250, 0.0);
    e.imagesDecodees = 2;
    e.debutRun = e.debutImage = 0;
    e.maintenant = 10;
    EXPECT_EQ(EcheanceImageMs(e), 8000);
    e.maintenant = 4001; // the picture took longer than its interval
    EXPECT_EQ(EcheanceImageMs(e), 0);
}

using Octets = std::vector<unsigned char>;

TEST(Cadence, PartDuDepartTempsDUneImageEtBips)
{
    EXPECT_DOUBLE_EQ(PourcentageDepart(1862, 3725), 1862 * 100.0 / 3725);
    EXPECT_DOUBLE_EQ(PourcentageDepart(0, 3725), 0.0);
    EXPECT_DOUBLE_EQ(PourcentageDepart(-5, 3725), 0.0);
    EXPECT_DOUBLE_EQ(PourcentageDepart(10, 0), 0.0);
    EXPECT_DOUBLE_EQ(PourcentageDepart(4000, 3725), 100.0);

    EXPECT_EQ(MsDeLImage(39, 4000, 40), 3900);
    EXPECT_EQ(MsDeLImage(1, 10000, 3), 3333);
    EXPECT_EQ(MsDeLImage(-1, 4000, 40), 0);
    EXPECT_EQ(MsDeLImage(5, 4000, 0), 0);
    EXPECT_EQ(MsDeLImage(3000000, 3600000, 90000), 120000000); // beyond 32 bits on the way

    int64_t dernier = -IntervalleBipMs;
    EXPECT_TRUE(BipPermis(0, dernier));
    EXPECT_FALSE(BipPermis(10, dernier));
    EXPECT_FALSE(BipPermis(999, dernier));
    EXPECT_TRUE(BipPermis(1000, dernier));
    EXPECT_EQ(dernier, 1000);
    EXPECT_FALSE(BipPermis(1500, dernier));
}

TEST(Reperes, DebutMpeg4)
{
    // B6 with a predicted picture (top bits 01) is no start; B6 intra is.
    Octets d = {9, 0, 0, 1, 0xB6, 0x55, 0, 0, 1, 0xB6, 0x12, 7};
    EXPECT_EQ(ChercherDebutMpeg4(d.data(), static_cast<int32_t>(d.size())), 6);
    Octets s = {0, 0, 1, 0xB0, 1};
    EXPECT_EQ(ChercherDebutMpeg4(s.data(), 5), 0);
    // The code must lie before n - 4.
    Octets t = {5, 5, 0, 0, 1, 0xB0};
    EXPECT_EQ(ChercherDebutMpeg4(t.data(), 6), -1);
}

TEST(Reperes, ImageJpeg)
{
    Octets d = {1, 0xFF, 0xD9, 0xFF, 0xD8, 0xFF, 0xD9, 0xFF, 0xD8, 3, 0xFF, 0xD9, 4};
    int32_t a = -1, e = -1;
    ASSERT_EQ(ChercherImageJpeg(d.data(), static_cast<int32_t>(d.size()), &a, &e), 0);
    EXPECT_EQ(a, 3);
    EXPECT_EQ(e, 5);
    // End marker cut off by the window: no picture.
    EXPECT_EQ(ChercherImageJpeg(d.data() + 7, 4, &a, &e), -1);
    EXPECT_EQ(ChercherImageJpeg(d.data() + 7, 5, &a, &e), 0);
    EXPECT_EQ(e, 3);
}

TEST(Reperes, SautsApresEchec)
{
    Octets j = {0xFF, 0xD9, 7, 7, 0xFF, 0xD9, 7, 7};
    EXPECT_EQ(SautApresEchec(1, j.data(), 8), 4); // from byte 1 on
    EXPECT_EQ(SautApresEchec(1, j.data(), 5), SautSansRepereMjpeg);
    Octets m = {0, 0, 1, 0xB6, 0, 0, 0, 1, 0x65, 0, 0};
    EXPECT_EQ(SautApresEchec(0, m.data(), 11), 5);   // the 00 00 01 inside 00 00 00 01
    EXPECT_EQ(SautApresEchec(2, m.data(), 11), 4);   // 00 00 00 01 at 4
    Octets h = {0, 0, 0, 1, 9, 0, 0, 1, 9, 0, 0, 0, 1, 9, 9};
    EXPECT_EQ(SautApresEchec(2, h.data(), 15), 9);   // a 3-byte code does not do
    EXPECT_EQ(SautApresEchec(0, h.data(), 15), 1);
    EXPECT_EQ(SautApresEchec(2, h.data(), 12), SautSansRepereCode);
}

} // namespace
