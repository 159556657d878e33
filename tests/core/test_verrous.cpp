// Lock helpers: results, timeouts between two threads, and releases that
// must only free what the calling thread holds.
#include "core/etat.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <functional>
#include <chrono>
#include <future>
#include <thread>

using Horloge = std::chrono::steady_clock;

namespace {

long long MesurerMs(const std::function<void()>& f)
{
    const auto debut = Horloge::now();
    f();
    return std::chrono::duration_cast<std::chrono::milliseconds>(Horloge::now() - debut).count();
}

class Verrous : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_EQ(CreerMutexVoie(0), 0);
        ASSERT_EQ(CreerMutexGeneral(), 0);
    }
    void TearDown() override
    {
        FermerMutexVoie(0);
        FermerMutexGeneral();
    }
};

} // namespace

TEST_F(Verrous, IndexHorsTableRefuseSansAttendre)
{
    for (int voie : {-1, NbVoies, 100}) {
        int r = 0;
        const long long ms = MesurerMs([&] { r = PrendreMutexVoie(voie); });
        EXPECT_EQ(r, -1) << voie;
        EXPECT_LT(ms, 500) << voie;
        RendreMutexVoie(voie); // must be harmless
    }
}

TEST_F(Verrous, MutexAbsentRefuse)
{
    EXPECT_EQ(PrendreMutexVoie(1), -1); // channel 1 is never created
    FermerMutexGeneral();
    EXPECT_EQ(PrendreMutexGeneral(), -1);
    RendreMutexGeneral();
}

TEST_F(Verrous, PriseEtRenduLibereLeVerrou)
{
    ASSERT_EQ(PrendreMutexVoie(0), 0);
    RendreMutexVoie(0);
    // Another thread gets it at once once released.
    auto autre = std::async(std::launch::async, [] {
        int r = -2;
        const long long ms = MesurerMs([&] { r = PrendreMutexVoie(0); });
        RendreMutexVoie(0);
        return std::make_pair(r, ms);
    });
    const auto [r, ms] = autre.get();
    EXPECT_EQ(r, 0);
    EXPECT_LT(ms, AttenteMutexVoieMs);
}

TEST_F(Verrous, AttenteDepasseeLaissePasserSansVolerLeVerrou)
{
    // Thread A holds MutexGeneral until told to let go.
    std::promise<void> pris, lacher;
    std::thread a([&] {
        EXPECT_EQ(PrendreMutexGeneral(), 0);
        pris.set_value();
        lacher.get_future().wait();
        RendreMutexGeneral();
    });
    pris.get_future().wait();

    // Thread B times out, proceeds with 0, then "releases": that must not
    // free A's lock.
    std::thread b([&] {
        int r = -2;
        const long long ms = MesurerMs([&] { r = PrendreMutexGeneral(); });
        EXPECT_EQ(r, 0);
        EXPECT_GE(ms, AttenteMutexGeneralMs - 5);
        RendreMutexGeneral();
    });
    b.join();

    // A still holds it: a third thread must wait the whole limit again.
    std::thread c([&] {
        const long long ms = MesurerMs([&] { PrendreMutexGeneral(); });
        EXPECT_GE(ms, AttenteMutexGeneralMs - 5);
        RendreMutexGeneral();
    });
    c.join();

    lacher.set_value();
    a.join();

    // Released by its owner: free again.
    std::thread d([&] {
        EXPECT_EQ(PrendreMutexGeneral(), 0);
        RendreMutexGeneral();
    });
    d.join();
}

TEST_F(Verrous, AttenteVoieDepasseeApresDeuxSecondesEtDemie)
{
    std::promise<void> pris, lacher;
    std::thread a([&] {
        PrendreMutexVoie(0);
        pris.set_value();
        lacher.get_future().wait();
        RendreMutexVoie(0);
    });
    pris.get_future().wait();
    int r = -2;
    const long long ms = MesurerMs([&] { r = PrendreMutexVoie(0); });
    RendreMutexVoie(0); // the main thread holds nothing: no effect
    EXPECT_EQ(r, 0);
    EXPECT_GE(ms, AttenteMutexVoieMs - 5);
    lacher.set_value();
    a.join();
    EXPECT_EQ(PrendreMutexVoie(0), 0);
    RendreMutexVoie(0);
}

// Nested takes by the owner: the inner releases keep the lock, the last one
// frees it for the thread that waits.
TEST_F(Verrous, PrisesImbriqueesLibereesALaDerniere)
{
    std::promise<void> pris, lacher;
    std::atomic<bool> obtenu{false};
    std::atomic<long long> attenteAutre{0};
    std::thread a([&] {
        EXPECT_EQ(PrendreMutexVoie(0), 0);
        pris.set_value();
        EXPECT_EQ(PrendreMutexVoie(0), 0);
        EXPECT_EQ(PrendreMutexVoie(0), 0);
        RendreMutexVoie(0);
        RendreMutexVoie(0);
        lacher.get_future().wait();
        RendreMutexVoie(0);
    });
    pris.get_future().wait();
    std::thread b([&] {
        attenteAutre = MesurerMs([&] { PrendreMutexVoie(0); });
        obtenu = true;
        RendreMutexVoie(0);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_FALSE(obtenu) << "an inner release freed the lock";
    lacher.set_value();
    a.join();
    b.join();
    EXPECT_TRUE(obtenu);
    EXPECT_LT(attenteAutre, AttenteMutexVoieMs); // got it from the release, not by timing out
    // Free again afterwards, for anyone.
    std::thread c([&] {
        const long long ms = MesurerMs([&] { PrendreMutexVoie(0); });
        EXPECT_LT(ms, AttenteMutexVoieMs);
        RendreMutexVoie(0);
    });
    c.join();
}

TEST(Etat, ValeursDeDepart)
{
    ReinitialiserEtat();
    EXPECT_EQ(TypeFilm, 0);
    EXPECT_STREQ(CheminFilm, "");
    EXPECT_DOUBLE_EQ(Vitesse, 1.0);
    EXPECT_STREQ(TitreMessages, "Enregistreur Vidéo");
    EXPECT_EQ(HauteurFilm, 240);
    EXPECT_EQ(LargeurFilm, 320);
}

TEST(Etat, CopieBorneeCoupeSansDeborder)
{
    char champ[LongueurMotDePasse + 1 + 4];
    std::memset(champ, 'Z', sizeof champ);
    CopierTexte(champ, LongueurMotDePasse + 1, "un mot de passe bien trop long pour le champ");
    EXPECT_EQ(std::strlen(champ), static_cast<size_t>(LongueurMotDePasse));
    EXPECT_EQ(champ[LongueurMotDePasse + 1], 'Z'); // nothing written past the field
    CopierTexte(champ, LongueurMotDePasse + 1, nullptr);
    EXPECT_STREQ(champ, "");
}

// The reader's idle wait ends on its own channel's wake-up, even one given
// between reading the count and starting to wait, and not on another
// channel's. The bounds are far from the waits' lengths: they tell a wait
// that ended on the wake-up from one that ran to its end.
TEST(Reveil, UnReveilDonneAvantLAttenteNEstPasPerdu)
{
    const uint64_t vu = CompteurReveilVoie(1);
    ReveillerVoie(1);
    EXPECT_LT(MesurerMs([&] { AttendreReveilVoie(1, vu, 60000); }), 10000);
    EXPECT_EQ(CompteurReveilVoie(1), vu + 1);
}

TEST(Reveil, LeReveilDUnAutreFilFinitLAttenteDeSaVoieSeulement)
{
    const uint64_t vu = CompteurReveilVoie(0);
    std::thread autre([] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        ReveillerVoie(2);  // another channel: the wait goes on
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
        ReveillerVoie(0);
    });
    const long long ms = MesurerMs([&] { AttendreReveilVoie(0, vu, 60000); });
    autre.join();
    EXPECT_GE(ms, 250);
    EXPECT_LT(ms, 10000);
    // Outside the table: nothing to wait for, nothing to count.
    ReveillerVoie(NbVoies);
    EXPECT_EQ(CompteurReveilVoie(-1), 0u);
    EXPECT_LT(MesurerMs([] { AttendreReveilVoie(NbVoies, 0, 60000); }), 10000);
}
