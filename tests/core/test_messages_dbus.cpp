// Broadcast between two programs of the same session bus: this test starts
// a second copy of itself that broadcasts, and checks that our top-level
// window receives the message as a local one.
#include "core/messages.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QElapsedTimer>
#include <QProcess>
#include <QWidget>
#include <algorithm>
#include <iterator>
#include <vector>

namespace {

class Fenetre : public QWidget
{
public:
    std::vector<std::pair<int64_t, int64_t>> recus;
    std::vector<uint32_t> ids; // every message received
    uint32_t attendu = 0;

protected:
    bool event(QEvent* e) override
    {
        if (e->type() == EvenementMessage::TypeEvenement()) {
            auto* m = static_cast<EvenementMessage*>(e);
            ids.push_back(m->Id);
            if (m->Id == attendu)
                recus.emplace_back(m->Param1, m->Param2);
            return true;
        }
        return QWidget::event(e);
    }
};

// Second process: broadcast one message, let it leave, and exit.
int Emettre(bool etranger)
{
    EnregistrerMessages();
    if (!DemarrerRelaisMessages())
        return 2;
    if (etranger) {
        // A name outside the table, sent ahead of a known one.
        QDBusMessage s = QDBusMessage::createSignal("/lecteurzr7/messages", "fr.lecteurzr7.Messages", "Message");
        s << QString("Etranger_Inconnu") << qlonglong(1) << qlonglong(2);
        QDBusConnection::sessionBus().send(s);
    }
    DiffuserMessage(IdMessages[MSG_MAG_MESURES], 7, 1234);
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < 300)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return 0;
}

// Runs this test program again in its sending role `option`, delivering
// events until the window received something (10 s at most); the other
// program's exit code, -1 when it could not start.
int LancerAutreProgramme(const char* option, const Fenetre& fenetre)
{
    QProcess autre;
    autre.start(QCoreApplication::applicationFilePath(), {option});
    if (!autre.waitForStarted(5000))
        return -1;
    QElapsedTimer t;
    t.start();
    while (fenetre.recus.empty() && t.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    autre.waitForFinished(5000);
    return autre.exitCode();
}

} // namespace

TEST(MessagesEntreProgrammes, SignalDUnAutreProgrammeArriveCommeUnMessageLocal)
{
    if (!QDBusConnection::sessionBus().isConnected())
        GTEST_SKIP() << "pas de bus de session (lancer sous dbus-run-session)";
    EnregistrerMessages();
    ASSERT_TRUE(DemarrerRelaisMessages());
    Fenetre fenetre;
    fenetre.attendu = IdMessages[MSG_MAG_MESURES];

    EXPECT_EQ(LancerAutreProgramme("--emetteur", fenetre), 0);
    ASSERT_FALSE(fenetre.recus.empty());
    EXPECT_EQ(fenetre.recus.front(), std::make_pair(int64_t(7), int64_t(1234)));
}

// A name outside the 36 of the table is dropped: nothing delivered, nothing
// registered.
TEST(MessagesEntreProgrammes, NomInconnuIgnore)
{
    if (!QDBusConnection::sessionBus().isConnected())
        GTEST_SKIP() << "pas de bus de session (lancer sous dbus-run-session)";
    EnregistrerMessages();
    ASSERT_TRUE(DemarrerRelaisMessages());
    Fenetre fenetre;
    fenetre.attendu = IdMessages[MSG_MAG_MESURES];
    LancerAutreProgramme("--etranger", fenetre);
    ASSERT_FALSE(fenetre.recus.empty());
    for (uint32_t id : fenetre.ids)
        EXPECT_NE(std::find(std::begin(IdMessages), std::end(IdMessages), id), std::end(IdMessages)) << id;
    EXPECT_EQ(NomDuMessage(IdMessages[0] + NbMessagesEnregistres), nullptr);
    EXPECT_EQ(IdMessageConnu("Etranger_Inconnu"), 0u);
    EXPECT_EQ(IdMessageConnu(NomsMessages[MSG_RELOAD]), IdMessages[MSG_RELOAD]);
}

TEST(MessagesEntreProgrammes, NotreDiffusionNeRevientPasEnDouble)
{
    if (!QDBusConnection::sessionBus().isConnected())
        GTEST_SKIP() << "pas de bus de session (lancer sous dbus-run-session)";
    EnregistrerMessages();
    ASSERT_TRUE(DemarrerRelaisMessages());
    Fenetre fenetre;
    fenetre.attendu = IdMessages[MSG_NEW_MESURES];
    DiffuserMessage(fenetre.attendu, 1, 2);
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < 500)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_EQ(fenetre.recus.size(), 1u);
}

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc > 1 && QString(argv[1]) == "--emetteur")
        return Emettre(false);
    if (argc > 1 && QString(argv[1]) == "--etranger")
        return Emettre(true);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
