// Registered messages: identifiers, and broadcast to every top-level window
// through the event queue, seen by an application-wide event filter.
#include "core/messages.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QWidget>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace {

struct Recu {
    QObject* cible;
    uint32_t id;
    int64_t p1, p2;
};

// Application-wide hook, as the measure windows install it.
class Crochet : public QObject
{
public:
    std::vector<Recu> recus;
    bool eventFilter(QObject* o, QEvent* e) override
    {
        if (e->type() == EvenementMessage::TypeEvenement()) {
            auto* m = static_cast<EvenementMessage*>(e);
            if (o->isWidgetType())
                recus.push_back({o, m->Id, m->Param1, m->Param2});
        }
        return false;
    }
};

void Patienter(const std::function<bool()>& fini, int ms = 2000)
{
    QElapsedTimer t;
    t.start();
    while (!fini() && t.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

} // namespace

TEST(Messages, TrenteSixNomsEnregistresDansLOrdre)
{
    EnregistrerMessages();
    std::set<uint32_t> vus;
    for (int i = 0; i < NbMessagesEnregistres; ++i) {
        EXPECT_NE(IdMessages[i], 0u) << NomsMessages[i];
        EXPECT_TRUE(vus.insert(IdMessages[i]).second) << NomsMessages[i];
        EXPECT_EQ(std::string(NomsMessages[i]).rfind("VelmoraZr7WM_", 0), 0u);
        if (i > 0)
            EXPECT_GT(IdMessages[i], IdMessages[i - 1]);
    }
    EXPECT_STREQ(NomsMessages[MSG_MAG_MESURES], "VelmoraZr7WM_MAG_MESURES");
    EXPECT_STREQ(NomsMessages[MSG_NEW_MESURES], "VelmoraZr7WM_NEW_MESURES");
    EXPECT_STREQ(NomsMessages[MSG_DEMANDE_CG], "VelmoraZr7WM_DEMANDE_CG");
}

TEST(Messages, MemeNomMemeIdentifiant)
{
    EnregistrerMessages();
    const uint32_t avant = IdMessages[MSG_MAG_MESURES];
    EnregistrerMessages();
    EXPECT_EQ(IdMessages[MSG_MAG_MESURES], avant);
    EXPECT_EQ(EnregistrerMessage("VelmoraZr7WM_MAG_MESURES"), avant);
    EXPECT_STREQ(NomDuMessage(avant), "VelmoraZr7WM_MAG_MESURES");
    const uint32_t autre = EnregistrerMessage("UnAutreProgramme_MESSAGE");
    EXPECT_NE(autre, 0u);
    EXPECT_EQ(EnregistrerMessage("UnAutreProgramme_MESSAGE"), autre);
    EXPECT_EQ(EnregistrerMessage(""), 0u);
    EXPECT_EQ(EnregistrerMessage(nullptr), 0u);
}

TEST(Messages, DiffusionAChaqueFenetreDePremierNiveau)
{
    EnregistrerMessages();
    DemarrerRelaisMessages();
    Crochet crochet;
    qApp->installEventFilter(&crochet);
    QWidget a, b;
    QWidget enfant(&a); // not a top-level window: gets nothing

    const uint32_t id = IdMessages[MSG_MAG_MESURES];
    DiffuserMessage(id, 0, 42);
    // From a worker thread, as the measure reader does.
    std::thread t([id] { DiffuserMessage(id, 0, 43); });
    t.join();
    Patienter([&] { return crochet.recus.size() >= 4; });
    QCoreApplication::processEvents();
    qApp->removeEventFilter(&crochet);

    int versA = 0, versB = 0;
    std::set<int64_t> numeros;
    for (const Recu& r : crochet.recus) {
        EXPECT_NE(r.cible, &enfant);
        if (r.cible == &a)
            ++versA;
        if (r.cible == &b)
            ++versB;
        EXPECT_EQ(r.id, id);
        EXPECT_EQ(r.p1, 0);
        numeros.insert(r.p2);
    }
    EXPECT_EQ(versA, 2);
    EXPECT_EQ(versB, 2);
    EXPECT_EQ(numeros, (std::set<int64_t>{42, 43}));
}

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
