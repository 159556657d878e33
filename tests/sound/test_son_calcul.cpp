// Plain functions of the sound subsystem.
#include "commun_son.h"
#include "filmmaker.h"
#include "sound/audio_out.h"
#include "sound/g711.h"
#include "sound/th_son.h"
#include "sound/thmagnetoson.h"

#include <cstdlib>

TEST(G711, TableAgreesWithTheDefinitionForEveryCode)
{
    for (int c = 0; c < 256; ++c)
        EXPECT_EQ(DecoderMuLaw(static_cast<uint8_t>(c)), ReferenceMuLaw(c)) << "code " << c;
    // Both zeros, the two extremes, the smallest steps.
    EXPECT_EQ(DecoderMuLaw(0xFF), 0);
    EXPECT_EQ(DecoderMuLaw(0x7F), 0);
    EXPECT_EQ(DecoderMuLaw(0x80), 32124);
    EXPECT_EQ(DecoderMuLaw(0x00), -32124);
    EXPECT_EQ(DecoderMuLaw(0xFE), 8);
    EXPECT_EQ(DecoderMuLaw(0x7E), -8);
    const uint8_t codes[] = {0x00, 0x80, 0xFE};
    int16_t sortie[3];
    DecoderMuLawBloc(codes, 3, sortie);
    EXPECT_EQ(sortie[0], -32124);
    EXPECT_EQ(sortie[1], 32124);
    EXPECT_EQ(sortie[2], 8);
}

TEST(G711, DecodingUndoesTheFilmMakersCodingWithinOneStep)
{
    for (int x = -32000; x <= 32000; x += 97) {
        const int y = DecoderMuLaw(EncoderMuLaw(static_cast<int16_t>(x)));
        // Steps double with each segment: at most 1/16 of the value, 8 near 0.
        EXPECT_LE(std::abs(y - x), std::max(8, std::abs(x) / 16 + 4)) << x;
        EXPECT_TRUE(y == 0 || (y > 0) == (x > 0)) << x;
    }
}

TEST(LecteurSon, SoundFileNamesOffsetsAndChunks)
{
    // A.264, A.mjp and A.mp4 all play A.pcm.
    for (const char* film : {"/f/A.264", "/f/A.mjp", "/f/A.mp4"})
        EXPECT_EQ(CheminFichierSon(film), "/f/A.pcm");
    EXPECT_EQ(CheminFichierSon(std::string(400, 'x').c_str()), std::string(297, 'x') + "pcm");
    EXPECT_EQ(CheminFichierSon("ab"), "ab");

    // Second 10 starts at byte 80,000; a time in milliseconds at its byte.
    EXPECT_EQ(DebutPasseSon(10000), 80000);
    EXPECT_EQ(DebutPasseSon(37040), 296320);
    EXPECT_EQ(DebutPasseSon(-1), -1);

    EXPECT_EQ(TailleMorceauSon(20000, 0), 16000);
    EXPECT_EQ(TailleMorceauSon(20000, 16000), 4000);
    EXPECT_EQ(TailleMorceauSon(20000, 20000), 0);
    EXPECT_EQ(TailleMorceauSon(28800000, 80000), 16000);
}

TEST(LecteurSon, AfterAPauseOrTheEndTheNextPassWaitsForThePictures)
{
    EtatLectureSon e;
    e.lecture = e.sonActif = e.sonEcoute = true;
    e.numeroDemande = e.numeroRun = e.runImageMontree = 3;
    e.imageMontree = 250;
    e.msImageMontree = 10000;
    EXPECT_TRUE(PasseSonPermise(e, AttenteSon()));
    e.pause = true;
    EXPECT_FALSE(PasseSonPermise(e, AttenteSon()));

    // Paused at picture 250: resumed, nothing until another picture shows.
    const AttenteSon pause = AttentePause(e);
    e.pause = false;
    EXPECT_FALSE(PasseSonPermise(e, pause));
    e.imageMontree = 251;
    e.msImageMontree = 10040;
    EXPECT_TRUE(PasseSonPermise(e, pause));

    // A 100,000-byte file handed over to its end: no pass until the
    // picture on screen is at or past byte 100,000 (12.5 s)...
    const AttenteSon fin = AttenteFin(e, 100000);
    EXPECT_FALSE(PasseSonPermise(e, fin));
    e.msImageMontree = 12499;
    EXPECT_FALSE(PasseSonPermise(e, fin));
    e.msImageMontree = 12500;
    EXPECT_TRUE(PasseSonPermise(e, fin));
    // ... unless a new run has begun (a seek, a restart).
    e.msImageMontree = 1000;
    e.numeroDemande = e.numeroRun = e.runImageMontree = 4;
    EXPECT_TRUE(PasseSonPermise(e, fin));
    EXPECT_TRUE(PasseSonPermise(e, pause));

    EXPECT_EQ(TexteSonIllisible("/films/cam 1/A.pcm"), "Son illisible : A.pcm");
}

TEST(LecteurSon, SoundFollowsOnlyAPlayingFilmAtX1AfterTheRunsFirstPicture)
{
    EtatLectureSon e;
    e.lecture = e.sonActif = e.sonEcoute = true;
    EXPECT_TRUE(SonAuPas(e));
    e.vitesse = 2.0;
    EXPECT_TRUE(SonActif(e));
    EXPECT_FALSE(SonAuPas(e));
    e.vitesse = 1.0;
    e.sonEcoute = false;
    EXPECT_FALSE(SonActif(e));

    e.numeroDemande = 5;
    e.numeroRun = 4;
    e.runImageMontree = 4;
    e.imageMontree = 120;
    EXPECT_FALSE(PremiereImageDuRunMontree(e)); // the reader has not started the new run yet
    e.numeroRun = 5;
    EXPECT_FALSE(PremiereImageDuRunMontree(e)); // a picture of the last run
    e.runImageMontree = 5;
    EXPECT_TRUE(PremiereImageDuRunMontree(e));
    e.imageMontree = -1;
    EXPECT_FALSE(PremiereImageDuRunMontree(e));

    EtatSortieSon s;
    s.lecture = s.sonActif = s.sonEcoute = true;
    EXPECT_TRUE(SortieSonAudible(s));
    s.vitesse = 0.5;
    EXPECT_FALSE(SortieSonAudible(s));
}

TEST(AudioOut, WaveErrorLines)
{
    const struct {
        int code;
        const char* texte;
    } table[] = {
        {2, "The specified resource does not exist."},
        {4, "The specified resource is already in use."},
        {5, "The specified handle is invalid."},
        {6, "A suitable driver is not available to provide valid format selections."},
        {7, "The system is unable to allocate resources."},
        {10, "At least one flag is invalid."},
        {11, "At least one parameter is invalid."},
        {32, "Unsupported audio format."},
        {35, "The specified device does not support asynchronous operation."},
        {0, "raised an unknown error (code 0)"},
        {33, "raised an unknown error (code 33)"},
    };
    for (const auto& t : table)
        EXPECT_EQ(TexteErreurWave(t.code), t.texte);
    EXPECT_EQ(LigneErreurWave("WaveOutOpen", 2), "WaveOutOpen The specified resource does not exist.");
    EXPECT_EQ(LigneErreurWave(std::string(150, 'L').c_str(), 11),
              std::string(100, 'L') + " At least one parameter is invalid.");
    // SDL's own words go only into the unknown-error line.
    EXPECT_EQ(LigneErreurWave("WaveOutOpen", 1, "no device"),
              "WaveOutOpen raised an unknown error (code 1): no device");
    EXPECT_EQ(LigneErreurWave("WaveOutOpen", 2, "no device"), "WaveOutOpen The specified resource does not exist.");
}
