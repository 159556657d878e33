// Live notices from another program of the session: this test starts a
// second copy of itself that asks the player's bus object for the working
// folder, writes a notice there and broadcasts "VelmoraZr7WM_NEW_MESURES".
#include "core/demarrage.h"
#include "core/etat.h"
#include "core/messages.h"
#include "core/objet_dbus.h"
#include "measures/dmesures.h"

#include "commun/fichiers_essai.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDBusConnection>
#include <QDBusInterface>
#include <QDBusReply>
#include <QDBusVariant>
#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QProcess>

#include <cstdio>
#include <fstream>
#include <sys/stat.h>

namespace {

bool Existe(const std::string& chemin)
{
    struct stat st;
    return stat(chemin.c_str(), &st) == 0;
}

void Patienter(const std::function<bool()>& fini, int ms)
{
    QElapsedTimer t;
    t.start();
    while (!fini() && t.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

// The other program: two live notices, the second sent right after the
// first was taken.
int Emettre()
{
    QDBusInterface proprietes("fr.lecteurzr7.Lecteur", "/lecteurzr7/messages",
                              "org.freedesktop.DBus.Properties", QDBusConnection::sessionBus());
    const QDBusReply<QDBusVariant> reponse = proprietes.call("Get", "fr.lecteurzr7.Messages", "DossierDonnees");
    if (!reponse.isValid())
        return 3;
    const std::string avis = reponse.value().variant().toString().toStdString() + "/mesures_0.tmp";
    EnregistrerMessages();
    if (!DemarrerRelaisMessages())
        return 2;
    std::ofstream(avis) << "ZR7_MESURES;0;2;en direct;";
    DiffuserMessage(IdMessages[MSG_NEW_MESURES], 0, 0);
    Patienter([&] { return !Existe(avis); }, 10000);
    std::ofstream(avis) << "ZR7_MESURES;0;3;trop tot;";
    DiffuserMessage(IdMessages[MSG_NEW_MESURES], 0, 0);
    Patienter([] { return false; }, 300);
    return 0;
}

} // namespace

TEST(MesuresEnDirect, AvisDUnAutreProgrammeDansLeDossierAnnonce)
{
    if (!QDBusConnection::sessionBus().isConnected())
        GTEST_SKIP() << "pas de bus de session (lancer sous dbus-run-session)";
    // A program folder whose DONNEES cannot be made: the folder announced on
    // the bus is the per-user one.
    DossierTemporaire d;
    ASSERT_TRUE(d.Pret());
    std::ofstream(d / "DONNEES") << "fichier";
    FixerDossiers(d / "lecteurzr7");
    ASSERT_NE(std::string(DossierDonnees), d / "DONNEES");
    ASSERT_NE(DossierDonnees[0], '\0');
    EnregistrerMessages();
    ASSERT_TRUE(DemarrerRelaisMessages());
    ASSERT_TRUE(PublierObjetLecteur());

    TDMesures texte;
    texte.FixerNumero(NumeroFenetreTexte);
    // Frozen clock: the second notice comes less than 20 ms after the first.
    texte.FixerHorloge([] { return int64_t(1) << 40; });

    QProcess autre;
    autre.setProcessChannelMode(QProcess::ForwardedChannels);
    autre.start(QCoreApplication::applicationFilePath(), {"--emetteur"});
    ASSERT_TRUE(autre.waitForStarted(5000));
    Patienter([&] { return autre.state() == QProcess::NotRunning; }, 30000);
    EXPECT_EQ(autre.exitCode(), 0);
    EXPECT_EQ(texte.Memo1->toPlainText(), "\nen direct");
    const std::string avis = std::string(DossierDonnees) + "/mesures_0.tmp";
    EXPECT_TRUE(Existe(avis)); // the ignored one is left
    RetirerObjetLecteur();
    ArreterRelaisMessages();
}

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    DossierTemporaire donneesUtilisateur;
    qputenv("XDG_DATA_HOME", donneesUtilisateur.Chemin().c_str());
    QApplication app(argc, argv);
    if (argc > 1 && QString(argv[1]) == "--emetteur")
        return Emettre();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
