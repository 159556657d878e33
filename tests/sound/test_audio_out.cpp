// The audio-out layer on SDL's disk driver (what the device plays, in real
// time) and dummy driver.
#include "commun_son.h"
#include "sound/audio_out.h"

#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

// Mu-law bytes whose samples are never 0, so that silence and data differ.
Octets Motif(size_t n, int graine)
{
    Octets o(n);
    for (size_t i = 0; i < n; ++i) {
        int c = static_cast<int>((i * 37 + static_cast<size_t>(graine) * 11) % 256);
        if (c == 0xFF || c == 0x7F)
            c = 0x10;
        o[i] = static_cast<unsigned char>(c);
    }
    return o;
}

bool Fini(const AudioOutSlot* s)
{
    return s->doneFlag.load() != 0;
}

} // namespace

TEST(AudioOut, WriteQueuesOneBufferAndAQueuedHeaderIsNeverRefilled)
{
    DossierTemporaire dossier;
    ASSERT_TRUE(dossier.Pret());
    const std::string sortie = dossier / "sortie.raw";
    PiloteDisque(sortie);
    ASSERT_EQ(AUDIO_OUT_Open(0, TailleBufferSon), 0);
    AudioOutSlot* s = AUDIO_OUT_Slot(0);
    ASSERT_TRUE(AUDIO_OUT_Ouvert(0));
    EXPECT_EQ(s->format.wFormatTag, 7);
    EXPECT_EQ(s->format.nSamplesPerSec, 8000u);
    EXPECT_EQ(s->format.nBlockAlign, 2);

    const Octets x = Motif(20000, 1), b = Motif(4000, 2), c = Motif(16000, 3);
    AUDIO_OUT_Write(0, x.data(), 20000); // 16,000 of them are queued
    EXPECT_EQ(s->headers[0].dwBufferLength, 16000);
    EXPECT_TRUE(s->headers[0].dwFlags.load() & EnteteEnFile);
    EXPECT_EQ(s->current, 1);
    AUDIO_OUT_Write(0, b.data(), 4000);
    EXPECT_EQ(s->current, 0);
    // Header 0 is still playing: a third write is not queued, and what
    // plays is not changed by it.
    std::memcpy(s->headers[0].lpData, c.data(), c.size());
    EXPECT_EQ(AUDIO_OUT_QueueNextBuffer(0), WaveEncoreEnLecture);
    EXPECT_EQ(s->current, 0);

    ASSERT_TRUE(Attendre([&] { return Fini(s) && s->doneHeader.load() == &s->headers[0]; }, 10000));
    EXPECT_TRUE(s->headers[0].dwFlags.load() & EnteteFinie);
    EXPECT_FALSE(s->headers[0].dwFlags.load() & EnteteEnFile);
    s->doneFlag.store(0);
    // The last buffer is reported a little before its end; wait for the end.
    ASSERT_TRUE(Attendre([&] { return Fini(s) && s->doneHeader.load() == &s->headers[1]; }, 10000));
    ASSERT_TRUE(Attendre([&] { return (s->headers[1].dwFlags.load() & EnteteFinie) != 0; }, 10000));
    Dormir(100);
    const std::vector<TraceRappel> traces = AUDIO_OUT_Traces(0);
    AUDIO_OUT_Close(0);
    EXPECT_FALSE(AUDIO_OUT_Ouvert(0));

    std::vector<int16_t> attendu = ReferenceDecodage(x, 0, 16000);
    const std::vector<int16_t> suite = ReferenceDecodage(b, 0, 4000);
    attendu.insert(attendu.end(), suite.begin(), suite.end());
    EXPECT_EQ(SansSilences(LireEchantillons(sortie)), attendu);

    // The trace counts the queued samples handed over, and they follow
    // each other from call to call.
    ASSERT_FALSE(traces.empty());
    int64_t donnees = 0;
    for (size_t i = 0; i < traces.size(); ++i) {
        if (i > 0) {
            EXPECT_EQ(traces[i].positionPeripherique,
                      traces[i - 1].positionPeripherique + traces[i - 1].nbEchantillons);
        }
        donnees += traces[i].nbDonnees;
    }
    EXPECT_EQ(donnees, 20000);
}

TEST(AudioOut, ResetReturnsEveryQueuedHeaderAsDone)
{
    DossierTemporaire dossier;
    ASSERT_TRUE(dossier.Pret());
    PiloteDisque(dossier / "sortie.raw");
    ASSERT_EQ(AUDIO_OUT_Open(3, TailleBufferSon), 0);
    AudioOutSlot* s = AUDIO_OUT_Slot(3);
    const Octets x = Motif(16000, 4);
    AUDIO_OUT_Write(3, x.data(), 16000);
    AUDIO_OUT_Write(3, x.data(), 16000);
    EXPECT_EQ(s->nbFile, 2);
    AUDIO_OUT_Reset(3);
    EXPECT_EQ(s->nbFile, 0);
    EXPECT_TRUE(Fini(s));
    for (const EnteteSon& h : s->headers)
        EXPECT_EQ(h.dwFlags.load() & EnteteEnFile, 0u);
    // Both headers can be written again at once.
    AUDIO_OUT_Write(3, x.data(), 100);
    EXPECT_EQ(s->nbFile, 1);
    AUDIO_OUT_Close(3);
    // After a close, writes and a second close do nothing.
    AUDIO_OUT_Write(3, x.data(), 100);
    AUDIO_OUT_Close(3);
    EXPECT_FALSE(AUDIO_OUT_Ouvert(3));
    EXPECT_EQ(s->headers[0].lpData, nullptr);
}

TEST(AudioOut, SlotsOutsideTheTableAndSlot16NeverOpen)
{
    DossierTemporaire dossier;
    ASSERT_TRUE(dossier.Pret());
    PiloteDisque(dossier / "sortie.raw");
    const unsigned char octet = 0;
    for (int slot : {-1, 17, 1000}) {
        EXPECT_EQ(AUDIO_OUT_Open(slot, TailleBufferSon), -1);
        EXPECT_EQ(AUDIO_OUT_QueueNextBuffer(slot), -1);
        AUDIO_OUT_Write(slot, &octet, 1);
        AUDIO_OUT_Close(slot);
        EXPECT_EQ(AUDIO_OUT_Slot(slot), nullptr);
    }
    EXPECT_NE(AUDIO_OUT_Open(16, TailleBufferSon), 0);
    EXPECT_FALSE(AUDIO_OUT_Ouvert(16));
    EXPECT_EQ(AUDIO_OUT_Slot(16)->busy.load(), 0);
    // A close on a slot that is not open does nothing.
    AUDIO_OUT_Close(5);
    EXPECT_FALSE(AUDIO_OUT_Ouvert(5));
    EXPECT_EQ(AUDIO_OUT_QueueNextBuffer(5), -1);
}

TEST(AudioOut, DummyDriverLeavesTheSlotClosed)
{
    PiloteMuet();
    EXPECT_EQ(AUDIO_OUT_Open(0, TailleBufferSon), WaveSansPeripherique);
    EXPECT_FALSE(AUDIO_OUT_Ouvert(0));
    const Octets x = Motif(16000, 5);
    AUDIO_OUT_Write(0, x.data(), 16000);
    EXPECT_EQ(AUDIO_OUT_Slot(0)->doneFlag.load(), 0);
    AUDIO_OUT_Close(0);
}

TEST(AudioOut, WithoutASoundCardLibasoundWritesNothingOnStderr)
{
    // The ALSA driver on a machine with no card: libasound reports every
    // card it cannot find.
    setenv("SDL_AUDIODRIVER", "alsa", 1);
    DossierTemporaire dossier;
    ASSERT_TRUE(dossier.Pret());
    const std::string sortie = dossier / "stderr.txt";
    std::fflush(stderr);
    const int sauve = dup(2);
    const int fd = open(sortie.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ASSERT_GE(fd, 0);
    dup2(fd, 2);
    close(fd);
    const int r = AUDIO_OUT_Open(0, TailleBufferSon);
    AUDIO_OUT_Close(0);
    std::fflush(stderr);
    dup2(sauve, 2);
    close(sauve);
    const Octets o = LireOctets(sortie);
    const std::string texte(o.begin(), o.end());
    EXPECT_EQ(texte.find("ALSA lib"), std::string::npos) << texte;
    if (r == WaveOk)
        GTEST_LOG_(INFO) << "a sound card answered: libasound had nothing to say";
}
