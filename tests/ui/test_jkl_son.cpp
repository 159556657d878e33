// The sound reader while the film plays backwards (J) and then forwards
// again (L): nothing is handed over backwards, and the pass that follows
// starts at the byte of the first picture shown forwards, as the window's
// turn round makes a new run.
#include "commun_son.h"
#include "sound/thmagnetoson.h"

namespace {

Octets Motif(size_t n)
{
    Octets o(n);
    for (size_t i = 0; i < n; ++i)
        o[i] = static_cast<unsigned char>((i * 7 + i / 509) % 256);
    return o;
}

using SonArriere = EtatSon;

TEST_F(SonArriere, MuetEnArrierePuisAuPasDeLImageEnAvant)
{
    const Octets pcm = Motif(400000);
    EcrireOctets(dossier_ / "J.pcm", pcm);
    ThMagnetoSon lecteur(0, 0);
    Jouer(dossier_ / "J.mjp", 10000);
    EXPECT_EQ(Prendre(), Octets(pcm.begin() + 80000, pcm.begin() + 96000));

    // J: the direction and a new run, whose pictures go back from 9.6 s.
    SousVerrou([](Voie& v) {
        v.Sens = -1;
        v.NumeroDemande = 2;
    });
    SousVerrou([](Voie& v) {
        v.NumeroRun = v.RunImageMontree = 2;
        v.ImageMontree = 240;
        v.MsImageMontree = 9600;
    });
    ASSERT_TRUE(Attendre([&] { return NbOctets() == 0; }, 3000));
    EXPECT_TRUE(Prendre(400).empty());
    SousVerrou([](Voie& v) {
        v.ImageMontree = 200;
        v.MsImageMontree = 8000;
    });
    EXPECT_TRUE(Prendre(400).empty());

    // L: forwards again, a new run from picture 200 at 8 s.
    SousVerrou([](Voie& v) {
        v.Sens = 1;
        v.NumeroDemande = 3;
    });
    EXPECT_TRUE(Prendre(200).empty());
    SousVerrou([](Voie& v) {
        v.NumeroRun = v.RunImageMontree = 3;
        v.ImageMontree = 200;
        v.MsImageMontree = 8000;
    });
    EXPECT_EQ(Prendre(), Octets(pcm.begin() + 64000, pcm.begin() + 80000));
    EXPECT_EQ(lecteur.DebutDernierePasse(), 64000);
}

} // namespace
