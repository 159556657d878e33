// The sound-file reader and the audio output thread, on films and sound
// files made for each case, with SDL's disk driver (the samples the device
// plays, in real time) or the dummy driver.
#include "commun_son.h"
#include "filmmaker.h"
#include "sound/audio_out.h"
#include "sound/th_son.h"
#include "sound/thmagnetoson.h"

#include "core/avis.h"

#include <atomic>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

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

TEST_F(SonThreads, A20000ByteFileGivesChunksOf16000And4000ThenWaitsForThePicturesToPassItsEnd)
{
    const Octets pcm = Motif(20000);
    EcrireOctets(dossier_ / "B.pcm", pcm);
    ThMagnetoSon lecteur(0, 0);
    Jouer(dossier_ / "B.264", 0);
    const Octets a = Prendre(), b = Prendre();
    EXPECT_EQ(a, Octets(pcm.begin(), pcm.begin() + 16000));
    EXPECT_EQ(b, Octets(pcm.begin() + 16000, pcm.end()));
    // The device still plays the end while the pictures catch up: nothing
    // is handed over again, however far they stand before the end.
    EXPECT_TRUE(Prendre(300).empty());
    SousVerrou([](Voie& v) {
        v.ImageMontree = 50;
        v.MsImageMontree = 2000;
    });
    EXPECT_TRUE(Prendre(300).empty());
    EXPECT_EQ(lecteur.NbPasses(), 1);
    // Past the end a pass may begin: the file has grown meanwhile (the
    // recorder still writes it), and the sound goes on from the picture.
    const Octets plus = Motif(40000);
    EcrireOctets(dossier_ / "B.pcm", plus);
    SousVerrou([](Voie& v) {
        v.ImageMontree = 65;
        v.MsImageMontree = 2600;
    });
    EXPECT_EQ(Prendre(), Octets(plus.begin() + 20800, plus.begin() + 36800));
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

    // A pause empties the handover area and hands nothing over; resumed,
    // the sound waits for the next picture and starts at its byte, as
    // after a seek.
    ASSERT_TRUE(Attendre([&] { return NbOctets() == 16000; }, 3000));
    SousVerrou([](Voie& v) { v.FlagPause = 1; });
    EXPECT_TRUE(Attendre([&] { return NbOctets() == 0; }, 1000));
    EXPECT_TRUE(Prendre(200).empty());
    SousVerrou([](Voie& v) { v.FlagPause = 0; });
    EXPECT_TRUE(Prendre(200).empty());
    SousVerrou([](Voie& v) {
        v.ImageMontree = 763;
        v.MsImageMontree = 30520;
    });
    EXPECT_EQ(Prendre(), Octets(pcm.begin() + 244160, pcm.begin() + 260160));
    EXPECT_EQ(lecteur.DebutDernierePasse(), 244160);
}

TEST_F(SonThreads, PauseEmptiesTheDeviceAndResumePlaysTheNextChunkAtOnce)
{
    const std::string sortie = dossier_ / "sortie.raw";
    PiloteDisque(sortie);
    const Octets tout = Motif(32000);
    auto remettre = [&](size_t debut) {
        SousVerrou([&](Voie& v) {
            std::memcpy(v.BufferSon, tout.data() + debut, 16000);
            v.NbOctetsSon = 16000;
        });
    };
    TH_Son son(0, 0);
    ASSERT_TRUE(AUDIO_OUT_Ouvert(0));
    Jouer(dossier_ / "P.mjp", 0);
    remettre(0);
    ASSERT_TRUE(Attendre([&] { return AUDIO_OUT_Slot(0)->nbFile == 1; }, 1000));
    SousVerrou([](Voie& v) { v.FlagPause = 1; });
    // Nothing of the paused chunk is left in the device.
    EXPECT_TRUE(Attendre([&] { return AUDIO_OUT_Slot(0)->nbFile == 0; }, 1000));
    remettre(16000); // held while paused, never played
    Dormir(100);
    EXPECT_EQ(son.Pending(), 0);
    SousVerrou([](Voie& v) { v.FlagPause = 0; });
    remettre(16000);
    EXPECT_TRUE(Attendre([&] { return AUDIO_OUT_Slot(0)->nbFile == 1; }, 1000));
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
    // The pass ends only when its three chunks have all been taken.
    EXPECT_TRUE(Attendre([&] { return lecteur.OctetsRemis() == 40000 && NbOctets() == 0; }, 5000));
    EXPECT_EQ(son.Pending(), 0);
}

TEST_F(SonThreads, AFifoSwappedInForTheSoundFileNeverBlocksTheReader)
{
    // A position past the end of the file: the reader opens it every
    // cycle, while the file and a FIFO keep swapping places.
    const std::string pcm = dossier_ / "S.pcm", fifo = dossier_ / "fifo";
    EcrireOctets(pcm, Motif(8000));
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    auto lecteur = std::make_unique<ThMagnetoSon>(0, 0);
    Jouer(dossier_ / "S.mjp", 5000);
    std::atomic<bool> fin{false};
    std::thread echangeur([&] {
        // Atomic exchanges: the name always holds one of the two.
        while (!fin.load())
            renameat2(AT_FDCWD, fifo.c_str(), AT_FDCWD, pcm.c_str(), RENAME_EXCHANGE);
    });
    Dormir(1500);
    fin = true;
    echangeur.join();
    lecteur->requestInterruption();
    const bool fini = lecteur->wait(3000);
    if (!fini) {
        // Blocked in an open: a writer releases it so that the test ends.
        const int a = open(pcm.c_str(), O_RDWR | O_NONBLOCK), b = open(fifo.c_str(), O_RDWR | O_NONBLOCK);
        lecteur->wait();
        close(a);
        close(b);
    }
    EXPECT_TRUE(fini);
}

TEST_F(SonThreads, AnUnreadableSoundFileIsSaidOnceAndAMissingOneNever)
{
    OublierAvis();
    ThMagnetoSon lecteur(0, 0);
    // No sound file: a film without sound, nothing to say.
    Jouer(dossier_ / "G.mjp", 0);
    Dormir(300);
    std::string avis;
    EXPECT_FALSE(PrendreAvis(avis));
    // A folder in its place, then a file its owner cannot read: the reader
    // tries every cycle, the user is told once.
    ASSERT_EQ(mkdir((dossier_ / "G.pcm").c_str(), 0700), 0);
    EXPECT_TRUE(Attendre([&] { return PrendreAvis(avis); }, 2000));
    EXPECT_EQ(avis, "Son illisible : G.pcm");
    Dormir(300);
    EXPECT_FALSE(PrendreAvis(avis));
    EXPECT_TRUE(Prendre(100).empty());
    if (geteuid() != 0) {
        OublierAvis();
        rmdir((dossier_ / "G.pcm").c_str());
        EcrireOctets(dossier_ / "G.pcm", Motif(16000));
        chmod((dossier_ / "G.pcm").c_str(), 0);
        EXPECT_TRUE(Attendre([&] { return PrendreAvis(avis); }, 2000));
        EXPECT_EQ(avis, "Son illisible : G.pcm");
    }
}
