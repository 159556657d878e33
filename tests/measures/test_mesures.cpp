// The measure reader and the measure windows together, in one offscreen
// application: the test drives PositionSecondes, FlagLecture and FlagPause
// as the main window does and reads the rows back from the memos.
#include "core/demarrage.h"
#include "core/etat.h"
#include "core/messages.h"
#include "measures/dmesures.h"
#include "measures/thmagnetomesures.h"
#include "engine/fichierfilm.h"

#include "commun/fichiers_essai.h"
#include "filmmaker.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QPlainTextEdit>
#include <QStandardPaths>
#include <QTest>
#include <QTimer>

#include <fstream>
#include <memory>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool Existe(const std::string& chemin)
{
    struct stat st;
    return lstat(chemin.c_str(), &st) == 0;
}

void Ecrire(const std::string& chemin, const std::string& texte)
{
    std::ofstream(chemin, std::ios::binary | std::ios::trunc) << texte;
}

// Every text Memo2 showed in its first row, in order.
struct Historique : QObject {
    QStringList premiers;
    void Suivre(QPlainTextEdit* memo)
    {
        connect(memo, &QPlainTextEdit::textChanged, this,
                [this, memo] { premiers << memo->toPlainText().section('\n', 0, 0); });
    }
};

// Film notice numbers as broadcast.
struct Numeros : QObject {
    std::vector<int64_t> vus;
    bool eventFilter(QObject* o, QEvent* e) override
    {
        if (e->type() == EvenementMessage::TypeEvenement() && o->isWidgetType()) {
            auto* m = static_cast<EvenementMessage*>(e);
            if (m->Id == IdMessages[MSG_MAG_MESURES] && (vus.empty() || vus.back() != m->Param2))
                vus.push_back(m->Param2);
        }
        return false;
    }
};

class Mesures : public ::testing::Test
{
protected:
    DossierTemporaire d;
    std::unique_ptr<TDMesures> texte;
    std::unique_ptr<ThMagnetoMesures> lecteur;

    void SetUp() override
    {
        ASSERT_TRUE(d.Pret());
        ReinitialiserEtat();
        CopierTexte(DossierProgramme, sizeof DossierProgramme, (d.Chemin() + "/").c_str());
        CopierTexte(DossierDonnees, sizeof DossierDonnees, (d / "DONNEES").c_str());
        mkdir(DossierDonnees, 0755);
    }
    void TearDown() override
    {
        lecteur.reset(); // before the shared state is touched again
        texte.reset();
    }

    void FenetreTexte()
    {
        texte = std::make_unique<TDMesures>();
        texte->FixerNumero(NumeroFenetreTexte);
        texte->Memo1->hide();
        texte->Memo2->show();
    }
    // The film's companions, and the reader on channel 0 with a short start wait.
    void Lancer(const std::string& film, uint32_t numeroInitial = 0)
    {
        CopierTexte(Voies[0].CheminSon, sizeof Voies[0].CheminSon, NomCompagnon(film, "pcm").c_str());
        Voies[0].FlagMesuresPresentes = 1;
        lecteur = std::make_unique<ThMagnetoMesures>(0, 10, numeroInitial);
    }
    QStringList Lignes() const { return texte->Memo2->toPlainText().split('\n'); }
    bool Attendre(const std::function<bool()>& condition, int ms = 10000)
    {
        return QTest::qWaitFor(condition, ms);
    }
};

} // namespace

TEST_F(Mesures, LignesDuFilmASesSecondesPauseEtSaut)
{
    FenetreTexte();
    OptionsFilm o;
    o.nbImages = 80; // 8 s at 10 a second
    o.mesures = true;
    const std::string film = d / "cam1.mjp";
    ASSERT_EQ(FabriquerFilm(film, o), 0);
    Historique h;
    h.Suivre(texte->Memo2);
    Lancer(film);
    Voies[0].FlagLecture = 1;

    // Second 0: the three rows of the film's start.
    ASSERT_TRUE(Attendre([&] { return Lignes().size() == 3; })) << texte->Memo2->toPlainText().toStdString();
    EXPECT_EQ(Lignes(), QStringList({"Temps film : 00:00:00", "Image : 0", "Temperature : 20.0 C"}));
    QTest::qWait(200);
    EXPECT_EQ(Lignes()[0], "Temps film : 00:00:00"); // second 1 not yet due

    PositionSecondes = 2;
    ASSERT_TRUE(Attendre([&] { return Lignes()[1] == "Image : 20"; }));
    EXPECT_EQ(Lignes()[0], "Temps film : 00:00:02");
    EXPECT_TRUE(h.premiers.contains("Temps film : 00:00:01"));

    // Paused at second 3: the next line waits for playback to go on.
    Voies[0].FlagPause = 1;
    PositionSecondes = 3;
    QTest::qWait(300);
    EXPECT_EQ(Lignes()[0], "Temps film : 00:00:02");
    Voies[0].FlagPause = 0;
    ASSERT_TRUE(Attendre([&] { return Lignes()[0] == "Temps film : 00:00:03"; }));

    // A seek stops, moves and starts again: the reader starts from the new
    // second, without the lines before it (nor the clearing line at 0).
    Voies[0].FlagLecture = 0;
    QTest::qWait(250);
    texte->Memo2->clear();
    h.premiers.clear();
    PositionSecondes = 6;
    Voies[0].FlagLecture = 1;
    ASSERT_TRUE(Attendre([&] { return Lignes().size() == 3 && Lignes()[2].startsWith("Temperature"); }));
    EXPECT_EQ(Lignes()[0], "Temps film : 00:00:06");
    EXPECT_EQ(Lignes()[1], "Image : 60");
    for (const QString& s : h.premiers)
        EXPECT_TRUE(s.isEmpty() || s == "Temps film : 00:00:06") << s.toStdString();

    // Row 0 clears: the film's first line, after going back to the start.
    Voies[0].FlagLecture = 0;
    QTest::qWait(250);
    PositionSecondes = 0;
    Voies[0].FlagLecture = 1;
    ASSERT_TRUE(Attendre([&] { return Lignes()[0] == "Temps film : 00:00:00"; }));
    EXPECT_TRUE(h.premiers.contains(QString())); // cleared on the way
    // Every notice file is taken.
    EXPECT_TRUE(Attendre([&] { return Lignes().size() == 3 && QDir(DossierDonnees).entryList(QDir::Files).isEmpty(); }));
}

TEST_F(Mesures, TempsDesLignesEtNumerosDesAvis)
{
    FenetreTexte();
    const std::string film = d / "f.mjp";
    Ecrire(NomCompagnon(film, "msr"), "000500;1;A;\r\n"
                                      "1234567;2;B;\r\n"
                                      "123456;3;C;\r\n"
                                      "123456;4;D;\r\n"
                                      "123456;5;E;\r\n");
    Numeros n;
    qApp->installEventFilter(&n);
    Lancer(film, 9998);
    Voies[0].FlagLecture = 1;

    // A line at 500 ms is shown at second 1, not at 0.
    QTest::qWait(300);
    EXPECT_TRUE(texte->Memo2->toPlainText().isEmpty());
    PositionSecondes = 1;
    ASSERT_TRUE(Attendre([&] { return Lignes()[0] == "A"; }));

    // "1234567" is 123456 ms: due at second 124, not 123.
    PositionSecondes = 123;
    QTest::qWait(300);
    EXPECT_EQ(Lignes().size(), 1);
    PositionSecondes = 124;
    ASSERT_TRUE(Attendre([&] { return Lignes().size() == 5; }));
    EXPECT_EQ(Lignes(), QStringList({"A", "B", "C", "D", "E"}));

    // Notices 9999, then 0 for the 10000th, then 1...
    qApp->removeEventFilter(&n);
    EXPECT_EQ(n.vus, (std::vector<int64_t>{9999, 0, 1, 2, 3}));
    EXPECT_EQ(lecteur->DernierNumero(), 3u);

    // The end of the file was reached: the lines of the current second are
    // not sent again while playback goes on.
    QTest::qWait(300);
    EXPECT_EQ(lecteur->DernierNumero(), 3u);
}

TEST_F(Mesures, AvisDirectsLimitesAUnPar20ms)
{
    FenetreTexte();
    int64_t maintenant = 100000;
    texte->FixerHorloge([&] { return maintenant; });
    const std::string direct = d / "DONNEES/mesures_0.tmp";
    auto envoyer = [&](const std::string& contenu) {
        Ecrire(direct, contenu);
        DiffuserMessage(IdMessages[MSG_NEW_MESURES], 0, 0);
        QTest::qWait(50);
    };
    envoyer("ZR7_MESURES;0;1;direct;");
    EXPECT_EQ(texte->Memo1->toPlainText(), "direct");
    EXPECT_FALSE(Existe(direct));

    // 10 ms later: ignored, file left for the next one.
    maintenant += 10;
    envoyer("ZR7_MESURES;0;2;trop tot;");
    EXPECT_EQ(texte->Memo1->toPlainText(), "direct");
    EXPECT_TRUE(Existe(direct));
    maintenant += 20;
    envoyer("ZR7_MESURES;0;2;ensuite;");
    EXPECT_EQ(texte->Memo1->toPlainText(), "direct\nensuite");

    // Film notices 10 ms apart are both applied, to Memo2.
    Ecrire(d / "DONNEES/mesures_mag_0_5.tmp", "ZR7_MESURES;0;1;film;");
    DiffuserMessage(IdMessages[MSG_MAG_MESURES], 0, 5);
    maintenant += 10;
    Ecrire(d / "DONNEES/mesures_mag_0_6.tmp", "ZR7_MESURES;0;2;suite;");
    DiffuserMessage(IdMessages[MSG_MAG_MESURES], 0, 6);
    ASSERT_TRUE(Attendre([&] { return !Existe(d / "DONNEES/mesures_mag_0_6.tmp"); }));
    EXPECT_EQ(texte->Memo2->toPlainText(), "film\nsuite");
}

TEST_F(Mesures, AvisRefusesOuSansEffet)
{
    FenetreTexte();
    texte->Memo2->setPlainText("a\nb");
    auto film = [&](int64_t n, const std::string& contenu) {
        const std::string chemin = d / ("DONNEES/mesures_mag_0_" + std::to_string(n) + ".tmp");
        Ecrire(chemin, contenu);
        DiffuserMessage(IdMessages[MSG_MAG_MESURES], 0, n);
        QTest::qWait(50);
        return chemin;
    };
    // A row of 2,000,000,000 changes nothing, at once; the file goes.
    EXPECT_FALSE(Existe(film(1, "ZR7_MESURES;0;2000000000;x;")));
    EXPECT_EQ(texte->Memo2->toPlainText(), "a\nb");
    // Over 64 KB: deleted unread. Untagged: deleted, display kept.
    EXPECT_FALSE(Existe(film(2, "ZR7_MESURES;0;1;x;" + std::string(TailleMaxAvis, ' '))));
    EXPECT_FALSE(Existe(film(3, "bonjour")));
    EXPECT_EQ(texte->Memo2->toPlainText(), "a\nb");
    // A number no notice can have names no file.
    EXPECT_TRUE(Existe(film(10000, "ZR7_MESURES;0;1;x;")));
    EXPECT_EQ(texte->Memo2->toPlainText(), "a\nb");

    // A live notice that is a link to another file: not read, and the link
    // (not its target) removed, so that it does not hold the name for good.
    int64_t maintenant = 100000;
    texte->FixerHorloge([&] { return maintenant; });
    Ecrire(d / "secret.txt", "ZR7_MESURES;0;1;secret;");
    const std::string direct = d / "DONNEES/mesures_0.tmp";
    ASSERT_EQ(symlink((d / "secret.txt").c_str(), direct.c_str()), 0);
    DiffuserMessage(IdMessages[MSG_NEW_MESURES], 0, 0);
    QTest::qWait(50);
    EXPECT_TRUE(texte->Memo1->toPlainText().isEmpty());
    EXPECT_FALSE(Existe(direct));
    EXPECT_TRUE(Existe(d / "secret.txt"));
    // A FIFO there: never opened (nothing blocks), removed as well.
    ASSERT_EQ(mkfifo(direct.c_str(), 0600), 0);
    maintenant += 100;
    DiffuserMessage(IdMessages[MSG_NEW_MESURES], 0, 0);
    QTest::qWait(50);
    EXPECT_FALSE(Existe(direct));
    // The live channel works again.
    Ecrire(direct, "ZR7_MESURES;0;1;libre;");
    maintenant += 100;
    DiffuserMessage(IdMessages[MSG_NEW_MESURES], 0, 0);
    QTest::qWait(50);
    EXPECT_EQ(texte->Memo1->toPlainText(), "libre");
    EXPECT_FALSE(Existe(direct));
}

// Live rows show in the measure window whether or not a film is open: the
// text window and its backdrop come up when hidden, and Memo1 shows beside
// the film's rows.
TEST_F(Mesures, AvisDirectsVisiblesAvecOuSansFilm)
{
    TDMesures fenetre, fond;
    fenetre.FixerNumero(NumeroFenetreTexte);
    fond.FixerNumero(NumeroFenetreFond);
    int64_t maintenant = 100000;
    fenetre.FixerHorloge([&] { return maintenant; });
    fond.FixerHorloge([&] { return maintenant; });
    const std::string direct = d / "DONNEES/mesures_0.tmp";
    auto envoyer = [&](const std::string& contenu) {
        maintenant += 100;
        Ecrire(direct, contenu);
        DiffuserMessage(IdMessages[MSG_NEW_MESURES], 0, 0);
        QTest::qWait(50);
    };

    // No film: both windows hidden, as the main window leaves them.
    EXPECT_FALSE(fenetre.isVisible());
    envoyer("ZR7_MESURES;0;1;vent 12 km/h;");
    EXPECT_TRUE(fenetre.isVisible());
    EXPECT_TRUE(fond.isVisible());
    EXPECT_TRUE(fenetre.Memo1->isVisible());
    EXPECT_EQ(fenetre.Memo1->toPlainText(), "vent 12 km/h");

    // A film with measures: its rows in Memo2, the live rows still shown.
    fenetre.Memo2->show();
    fenetre.Memo2->setPlainText("film");
    envoyer("ZR7_MESURES;0;2;pluie 0 mm;");
    EXPECT_TRUE(fenetre.Memo1->isVisible());
    EXPECT_TRUE(fenetre.Memo2->isVisible());
    EXPECT_EQ(fenetre.Memo1->toPlainText(), "vent 12 km/h\npluie 0 mm");
    EXPECT_GT(fenetre.Memo1->height(), 0);
    EXPECT_GT(fenetre.Memo2->height(), 0);

    // Cleared: the film's rows get the whole window again.
    envoyer("ZR7_MESURES;0;0;;");
    EXPECT_FALSE(fenetre.Memo1->isVisible());
    EXPECT_TRUE(fenetre.Memo2->isVisible());
}

// A FIFO or a link planted under the next film notice name neither blocks
// the reader (nor its shutdown) nor gets written through: the notice takes
// the name.
TEST_F(Mesures, AvisFilmSousUnNomOccupe)
{
    FenetreTexte();
    const std::string film = d / "f.mjp";
    Ecrire(NomCompagnon(film, "msr"), "000000;1;un;\r\n000000;2;deux;\r\n000000;3;trois;\r\n\r\n\r\n\r\n\r\n\r\n");
    const std::string fifo = d / "DONNEES/mesures_mag_0_1.tmp";
    const std::string lien = d / "DONNEES/mesures_mag_0_2.tmp";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    Ecrire(d / "victime.txt", "intact");
    ASSERT_EQ(symlink((d / "victime.txt").c_str(), lien.c_str()), 0);
    Lancer(film);
    Voies[0].FlagLecture = 1;
    const bool montre = Attendre([&] { return Lignes() == QStringList({"un", "deux", "trois"}); }, 5000);
    if (!montre) {
        // A writer blocked on the FIFO is let go, so that the test ends.
        const int fd = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
        QTest::qWait(200);
        if (fd >= 0)
            close(fd);
    }
    EXPECT_TRUE(montre) << texte->Memo2->toPlainText().toStdString();
    std::ifstream v(d / "victime.txt");
    std::string contenu;
    std::getline(v, contenu);
    EXPECT_EQ(contenu, "intact");
    EXPECT_TRUE(Attendre([&] { return QDir(DossierDonnees).entryList(QDir::Files | QDir::System).isEmpty(); }));
    lecteur.reset(); // shutdown is not held
}

// The measure file truncated while a pass reads it (a recorder rewriting
// it, a pulled stick): no signal, the pass ends on what it had, and the
// reader goes on with the file as it is now.
TEST_F(Mesures, FichierTronquePendantLaLecture)
{
    FenetreTexte();
    const std::string film = d / "f.mjp";
    const std::string msr = NomCompagnon(film, "msr");
    std::string lignes = "001000;1;premier;\r\n";
    for (int i = 0; i < 20000; ++i)
        lignes += "x\r\n"; // short lines, skipped: pages and pages of file
    lignes += "002000;1;dernier;\r\n\r\n\r\n\r\n\r\n\r\n";
    Ecrire(msr, lignes);
    Lancer(film);
    Voies[0].FlagLecture = 1;
    QTest::qWait(400); // the pass waits for its first line, due at second 1
    ASSERT_EQ(truncate(msr.c_str(), 0), 0);
    PositionSecondes = 2;
    EXPECT_TRUE(Attendre([&] { return Lignes()[0] == "dernier"; })) << texte->Memo2->toPlainText().toStdString();

    // Written again: the reader sees the new file.
    Ecrire(msr, "003000;1;nouveau;\r\n\r\n\r\n\r\n\r\n\r\n\r\n");
    PositionSecondes = 3;
    EXPECT_TRUE(Attendre([&] { return Lignes()[0] == "nouveau"; })) << texte->Memo2->toPlainText().toStdString();
}

TEST_F(Mesures, Fenetre17NeLitNiNeSupprime)
{
    TDMesures fond;
    fond.FixerNumero(NumeroFenetreFond);
    fond.FixerHorloge([] { return int64_t(1) << 40; });
    Ecrire(d / "DONNEES/mesures_mag_0_1.tmp", "ZR7_MESURES;0;1;film;");
    Ecrire(d / "DONNEES/mesures_0.tmp", "ZR7_MESURES;0;1;direct;");
    DiffuserMessage(IdMessages[MSG_MAG_MESURES], 0, 1);
    DiffuserMessage(IdMessages[MSG_NEW_MESURES], 0, 0);
    fond.UpdateFromNotice(TDMesures::Avis::Film, 1);
    QTest::qWait(100);
    EXPECT_TRUE(Existe(d / "DONNEES/mesures_mag_0_1.tmp"));
    EXPECT_TRUE(Existe(d / "DONNEES/mesures_0.tmp"));
    EXPECT_TRUE(fond.Memo2->toPlainText().isEmpty());
}

TEST_F(Mesures, FormeFermetureEtNumeros)
{
    TDMesures t, f, autre;
    // A monospaced face is installed and found for the bold 13-pixel text.
    EXPECT_TRUE(QFontInfo(t.Memo1->font()).fixedPitch());
    EXPECT_TRUE(QFontInfo(t.Memo1->font()).bold());
    EXPECT_NE(t.Memo1->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);

    // The main window numbers them through the "Numero" property.
    t.setProperty("Numero", 1);
    f.setProperty("Numero", 17);
    autre.setProperty("Numero", 5);
    EXPECT_EQ(t.Numero(), 1);
    EXPECT_TRUE(t.testAttribute(Qt::WA_TranslucentBackground));
    EXPECT_EQ(t.Memo2->palette().color(QPalette::Base).alpha(), 0); // letters only
    EXPECT_EQ(f.Memo2->palette().color(QPalette::Base), QColor(0, 23, 10));

    // Closing only hides; closing the text hides its backdrop too.
    for (TDMesures* m : {&t, &f, &autre})
        m->show();
    autre.TimerInitTimer(); // an unnumbered window closes itself
    EXPECT_FALSE(autre.isVisible());
    f.close();
    EXPECT_FALSE(f.isVisible());
    EXPECT_TRUE(t.isVisible());
    f.show();
    t.close();
    EXPECT_FALSE(t.isVisible());
    EXPECT_FALSE(f.isVisible());

    // "Brenik.ini" in the program folder: no scroll bars.
    Ecrire(d / "Brenik.ini", "");
    TDMesures sans;
    EXPECT_EQ(sans.Memo1->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    EXPECT_EQ(sans.Memo2->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
}

// A program folder where DONNEES cannot be made: the per-user folder takes
// over, and the film's measures still show.
TEST_F(Mesures, DossierDuProgrammeInutilisableRepli)
{
    const std::string prog = d / "prog";
    mkdir(prog.c_str(), 0755);
    Ecrire(prog + "/DONNEES", "un fichier"); // what root cannot be kept from
    const std::string perso =
        QDir::cleanPath(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation)).toStdString() + "/DONNEES";
    FixerDossiers(prog + "/lecteurzr7");
    EXPECT_EQ(std::string(DossierProgramme), prog + "/");
    EXPECT_EQ(std::string(DossierDonnees), perso);
    struct stat st;
    ASSERT_EQ(stat(perso.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);

    if (geteuid() != 0) { // a folder without write permission
        const std::string ro = d / "ro";
        mkdir(ro.c_str(), 0555);
        FixerDossiers(ro + "/lecteurzr7");
        EXPECT_EQ(std::string(DossierDonnees), perso);
        EXPECT_FALSE(Existe(ro + "/DONNEES"));
    }

    FenetreTexte();
    const std::string film = d / "f.mjp";
    Ecrire(NomCompagnon(film, "msr"), "000000;1;repli;\r\n000000;2;ok;\r\n");
    Lancer(film);
    Voies[0].FlagLecture = 1;
    EXPECT_TRUE(Attendre([&] { return Lignes() == QStringList({"repli", "ok"}); }));
    lecteur.reset();
    EXPECT_TRUE(QDir(QString::fromStdString(perso)).entryList(QDir::Files).isEmpty());
}

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // The per-user folder inside a temporary one.
    DossierTemporaire donneesUtilisateur;
    qputenv("XDG_DATA_HOME", donneesUtilisateur.Chemin().c_str());
    QApplication application(argc, argv);
    CreerMutexVoie(0);
    CreerMutexGeneral();
    EnregistrerMessages();
    DemarrerRelaisMessages();
    ::testing::InitGoogleTest(&argc, argv);
    const int r = RUN_ALL_TESTS();
    ArreterRelaisMessages();
    FermerMutexGeneral();
    FermerMutexVoie(0);
    return r;
}
