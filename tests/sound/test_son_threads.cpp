// The sound-file reader and the audio output thread, on films and sound
// files made for each case, with SDL's disk driver (the samples the device
// plays, in real time) or the dummy driver.
#include "commun_son.h"
#include "filmmaker.h"
#include "sound/audio_out.h"
#include "sound/th_son.h"
#include "sound/thmagnetoson.h"

#include <cstring>
#include <memory>

namespace {

Octets Motif(size_t n)
{
    Octets o(n);
    for (size_t i = 0; i < n; ++i)
        o[i] = static_cast<unsigned char>((i * 13 + i / 251) % 256);
    return o;
}

} // namespace

using SonThreads = EtatSon;

TEST_F(SonThreads, SoundSwitchedOnAtSecond10PlaysTheFileFromByte80000WithoutGapOrRepeat)
{
    const std::string film = dossier_ / "A.mjp";
    OptionsFilm o;
    o.nbImages = 20;
    o.cadence = 1.0; // 20 s of film, 160,000 bytes of sound
    o.son = true;
    ASSERT_EQ(FabriquerFilm(film, o), 0);
    const Octets pcm = LireOctets(dossier_ / "A.pcm");
    ASSERT_EQ(pcm.size(), 160000u);

    const std::string sortie = dossier_ / "sortie.raw";
    PiloteDisque(sortie);
    {
        TH_Son son(0, 0);
        ThMagnetoSon lecteur(0, 0);
        ASSERT_TRUE(AUDIO_OUT_Ouvert(0));
        Jouer(film, 10000);
        // Long enough for the second chunk to follow the first in the device.
        Dormir(3200);
        EXPECT_EQ(lecteur.DebutDernierePasse(), 80000);
    }
    const std::vector<int16_t> joue = SansSilences(LireEchantillons(sortie));
    ASSERT_GT(joue.size(), 20000u);
    const std::vector<int16_t> attendu = ReferenceDecodage(pcm, 80000, joue.size());
    ASSERT_EQ(attendu.size(), joue.size());
    size_t premiereDifference = joue.size();
    for (size_t i = 0; i < joue.size() && premiereDifference == joue.size(); ++i)
        if (joue[i] != attendu[i])
            premiereDifference = i;
    EXPECT_EQ(premiereDifference, joue.size()) << "on " << joue.size() << " samples";
}

TEST_F(SonThreads, A20000ByteFileGivesChunksOf16000And4000ThenANewPass)
{
    const Octets pcm = Motif(20000);
    EcrireOctets(dossier_ / "B.pcm", pcm);
    ThMagnetoSon lecteur(0, 0);
    Jouer(dossier_ / "B.264", 0);
    const Octets a = Prendre(), b = Prendre(), c = Prendre();
    EXPECT_EQ(a, Octets(pcm.begin(), pcm.begin() + 16000));
    EXPECT_EQ(b, Octets(pcm.begin() + 16000, pcm.end()));
    EXPECT_EQ(c, a);
    EXPECT_GE(lecteur.NbPasses(), 2);
}

TEST_F(SonThreads, SoundOffDropsAnUntakenChunkAndAnOtherSpeedIsSilent)
{
    const Octets pcm = Motif(160000);
    EcrireOctets(dossier_ / "C.pcm", pcm);
    ThMagnetoSon lecteur(0, 0);
    Jouer(dossier_ / "C.mp4", 0);
    ASSERT_TRUE(Attendre([&] { return NbOctets() == 16000; }, 3000));
    SousVerrou([](Voie& v) { v.FlagSonActif = v.FlagSonEcoute = 0; });
    EXPECT_TRUE(Attendre([&] { return NbOctets() == 0; }, 3000));

    // At x 2 nothing is handed over; back at x 1 a pass starts at the
    // picture then shown.
    {
        const int r = PrendreMutexGeneral();
        Vitesse = 2.0;
        if (r == 0)
            RendreMutexGeneral();
    }
    SousVerrou([](Voie& v) {
        v.FlagSonActif = v.FlagSonEcoute = 1;
        v.MsImageMontree = 5125;
    });
    EXPECT_TRUE(Prendre(400).empty());
    {
        const int r = PrendreMutexGeneral();
        Vitesse = 1.0;
        if (r == 0)
            RendreMutexGeneral();
    }
    EXPECT_EQ(Prendre(), Octets(pcm.begin() + 41000, pcm.begin() + 57000));
}

TEST_F(SonThreads, StopAndRestartStartANewPassAtTheNewRunsFirstPicture)
{
    const Octets pcm = Motif(400000);
    EcrireOctets(dossier_ / "D.pcm", pcm);
    ThMagnetoSon lecteur(0, 0);
    Jouer(dossier_ / "D.mjp", 10000);
    EXPECT_EQ(Prendre(), Octets(pcm.begin() + 80000, pcm.begin() + 96000));

    // As the window does: stop, then start (each a new command).
    SousVerrou([](Voie& v) {
        v.FlagLecture = 0;
        v.NumeroDemande = 2;
    });
    Dormir(100);
    SousVerrou([](Voie& v) {
        v.NumeroDemande = 3;
        v.FlagLecture = 1;
    });
    // The reader still shows the last run's picture, then starts the new
    // run: nothing is handed over before its first picture.
    EXPECT_TRUE(Prendre(200).empty());
    SousVerrou([](Voie& v) { v.NumeroRun = 3; });
    EXPECT_TRUE(Prendre(200).empty());
    SousVerrou([](Voie& v) {
        v.RunImageMontree = 3;
        v.ImageMontree = 762;
        v.MsImageMontree = 30480;
    });
    EXPECT_EQ(Prendre(), Octets(pcm.begin() + 243840, pcm.begin() + 259840));
    EXPECT_EQ(lecteur.DebutDernierePasse(), 243840);

    // A pause moves the pass back 32,000 bytes once: with the next chunk
    // waiting in the handover area, the pass goes on from two chunks back.
    ASSERT_TRUE(Attendre([&] { return NbOctets() == 16000; }, 3000));
    SousVerrou([](Voie& v) { v.FlagPause = 1; });
    Dormir(100);
    SousVerrou([](Voie& v) { v.FlagPause = 0; });
    EXPECT_EQ(Prendre(), Octets(pcm.begin() + 259840, pcm.begin() + 275840));
    EXPECT_EQ(Prendre(), Octets(pcm.begin() + 243840, pcm.begin() + 259840));
}

TEST_F(SonThreads, PauseDropsTheAccumulatedChunkAndTakesTheHandoverInTheSameCycle)
{
    const std::string sortie = dossier_ / "sortie.raw";
    PiloteDisque(sortie);
    const Octets tout = Motif(48000);
    const Octets a(tout.begin(), tout.begin() + 16000), b(tout.begin() + 16000, tout.begin() + 32000),
        c(tout.begin() + 32000, tout.end());
    auto remettre = [&](const Octets& m, bool vider) {
        SousVerrou([&](Voie& v) {
            std::memcpy(v.BufferSon, m.data(), m.size());
            v.NbOctetsSon = static_cast<int32_t>(m.size());
            if (vider)
                v.FlagViderSon = 1;
        });
    };
    {
        TH_Son son(0, 0);
        ASSERT_TRUE(AUDIO_OUT_Ouvert(0));
        Jouer(dossier_ / "E.mjp", 0);
        remettre(a, false); // queued at once: nothing has started
        ASSERT_TRUE(Attendre([&] { return NbOctets() == 0 && son.Pending() == 0; }, 1000));
        remettre(b, false); // waits for the device
        ASSERT_TRUE(Attendre([&] { return NbOctets() == 0 && son.Pending() == 16000; }, 1000));
        remettre(c, true);  // pause, with a chunk in the handover area
        ASSERT_TRUE(Attendre([&] { return NbOctets() == 0; }, 1000));
        EXPECT_EQ(son.Pending(), 16000);
        EXPECT_EQ(AUDIO_OUT_Slot(0)->nbFile, 1); // a plays on
        Dormir(4300);
    }
    // c follows a without a gap; b is never heard.
    std::vector<int16_t> attendu = ReferenceDecodage(a, 0, a.size());
    const std::vector<int16_t> suite = ReferenceDecodage(c, 0, c.size());
    attendu.insert(attendu.end(), suite.begin(), suite.end());
    EXPECT_EQ(SansSilences(LireEchantillons(sortie)), attendu);
}

TEST_F(SonThreads, WithoutADeviceTheHandoverKeepsDrainingSilently)
{
    PiloteMuet();
    EcrireOctets(dossier_ / "F.pcm", Motif(40000));
    TH_Son son(0, 0);
    ThMagnetoSon lecteur(0, 0);
    EXPECT_FALSE(AUDIO_OUT_Ouvert(0));
    Jouer(dossier_ / "F.mjp", 0);
    // Three chunks per pass: several passes mean every chunk was taken.
    EXPECT_TRUE(Attendre([&] { return lecteur.NbPasses() >= 3; }, 5000));
    EXPECT_EQ(son.Pending(), 0);
}
