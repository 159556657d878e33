// Desktop comforts: digital zoom (math and the picture control), films
// dropped on the window, and settings found again at the next start.
#include "core/boitemessage.h"
#include "core/etat.h"
#include "fenetre_essai.h"
#include "filmmaker.h"
#include "ui/depot_film.h"
#include "ui/dialogues.h"
#include "ui/image_etiree.h"
#include "ui/lecteurzr7_principale.h"
#include "ui/oxbouton.h"
#include "ui/reglages.h"
#include "ui/zoom_image.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QMimeData>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <QWheelEvent>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

void Molette(QWidget* w, QPointF p, int angle, Qt::KeyboardModifiers m = Qt::NoModifier)
{
    QWheelEvent e(p, w->mapToGlobal(p), QPoint(), QPoint(0, angle), Qt::NoButton, m, Qt::NoScrollPhase, false);
    QApplication::sendEvent(w, &e);
}

// A picture whose every pixel tells its own place.
QImage Degrade(int l, int h)
{
    QImage i(l, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < l; ++x)
            i.setPixel(x, y, qRgb(x * 255 / (l - 1), y * 255 / (h - 1), 0));
    return i;
}

} // namespace

TEST(Zoom, LePointSousLeCurseurResteSousLeCurseur)
{
    VueZoom v;
    for (const auto& [u, w] : {std::pair{0.5, 0.5}, {0.1, 0.9}, {0.8, 0.3}}) {
        for (int crans : {1, 3, 9, 20}) {
            double avantX, avantY, apresX, apresY;
            VueZoom depart = ZoomerAutour(v, 2.0, 0.5, 0.5); // a view already inside
            PointSousLeCurseur(depart, u, w, avantX, avantY);
            const VueZoom n = ZoomerAutour(depart, FacteurApresCrans(depart.facteur, crans), u, w);
            PointSousLeCurseur(n, u, w, apresX, apresY);
            EXPECT_NEAR(apresX, avantX, 1e-9) << u << "," << w << " x" << crans;
            EXPECT_NEAR(apresY, avantY, 1e-9);
        }
    }
    // Steps of 25 %, within x1..x8, and back to exactly 1.
    EXPECT_DOUBLE_EQ(FacteurApresCrans(1, 1), 1.25);
    EXPECT_DOUBLE_EQ(FacteurApresCrans(1, 2), 1.5625);
    EXPECT_DOUBLE_EQ(FacteurApresCrans(1, 40), ZoomMax);
    EXPECT_DOUBLE_EQ(FacteurApresCrans(1, -3), ZoomMin);
    EXPECT_EQ(FacteurApresCrans(FacteurApresCrans(1, 7), -7), 1.0);
    // Zooming out near an edge keeps the part shown inside the picture.
    const VueZoom coin = ZoomerAutour(VueZoom{}, 8, 1, 1);
    EXPECT_NEAR(coin.x, 1 - 1.0 / 8, 1e-12);
    const VueZoom retour = ZoomerAutour(coin, 1.25, 0, 0);
    EXPECT_GE(retour.x, 0);
    EXPECT_LE(retour.x + 1 / retour.facteur, 1 + 1e-12);
}

TEST(Zoom, DeplacementBorneAuxBordsDeLImage)
{
    const VueZoom v = ZoomerAutour(VueZoom{}, 4, 0.5, 0.5); // shows 0.375..0.625
    EXPECT_NEAR(v.x, 0.375, 1e-12);
    // Dragging right by a quarter of the control shows what lies left.
    const VueZoom d = Deplacer(v, 0.25, 0);
    EXPECT_NEAR(d.x, 0.375 - 0.0625, 1e-12);
    EXPECT_NEAR(d.y, 0.375, 1e-12);
    EXPECT_EQ(Deplacer(v, 10, 10).x, 0.0);
    EXPECT_NEAR(Deplacer(v, -10, -10).y, 0.75, 1e-12);
    // Not zoomed: nothing to pan.
    EXPECT_EQ(Deplacer(VueZoom{}, 0.3, -0.3), VueZoom{});
    EXPECT_EQ(BornerVue(VueZoom{0.5, 0.2, 0.2}), VueZoom{});
    const RectSource r = RectangleSource(v, 640, 480);
    EXPECT_DOUBLE_EQ(r.x, 240);
    EXPECT_DOUBLE_EQ(r.largeur, 160);
    EXPECT_DOUBLE_EQ(r.hauteur, 120);
}

TEST(Zoom, MoletteGlisserEtRetourSurLeControle)
{
    QWidget fenetre;
    auto* image = new TImageEtiree(&fenetre);
    image->setGeometry(0, 0, 200, 100);
    image->FixerImage(Degrade(400, 200));
    auto* zoom = new TZoomImage(image, &fenetre);
    QSignalSpy doubles(image, &TImageEtiree::DoubleClic);

    const QColor avant = image->grab().toImage().pixelColor(150, 30);
    Molette(image, QPointF(150, 30), 3 * AngleCranMolette);
    EXPECT_NEAR(zoom->Vue().facteur, 1.953125, 1e-9);
    const QColor apres = image->grab().toImage().pixelColor(150, 30);
    EXPECT_NEAR(apres.red(), avant.red(), 3); // same picture point under the pointer
    EXPECT_NEAR(apres.green(), avant.green(), 3);
    EXPECT_EQ(image->PartieMontree().width(), 1 / zoom->Vue().facteur);

    // A partial wheel report waits for the rest of its step.
    Molette(image, QPointF(150, 30), 60);
    EXPECT_NEAR(zoom->Vue().facteur, 1.953125, 1e-9);
    Molette(image, QPointF(150, 30), 60);
    EXPECT_NEAR(zoom->Vue().facteur, 2.44140625, 1e-9);

    const VueZoom vue = zoom->Vue();
    QTest::mousePress(image, Qt::LeftButton, Qt::NoModifier, QPoint(100, 50));
    QMouseEvent bouge(QEvent::MouseMove, QPointF(80, 50), image->mapToGlobal(QPointF(80, 50)), Qt::NoButton,
                      Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(image, &bouge);
    QTest::mouseRelease(image, Qt::LeftButton, Qt::NoModifier, QPoint(80, 50));
    EXPECT_NEAR(zoom->Vue().x, vue.x + 0.1 / vue.facteur, 1e-9);
    EXPECT_EQ(zoom->Vue().y, vue.y);

    // A plain double click stays the full-screen switch; with Ctrl it resets.
    QTest::mouseDClick(image, Qt::LeftButton, Qt::NoModifier, QPoint(10, 10));
    EXPECT_EQ(doubles.count(), 1);
    EXPECT_GT(zoom->Vue().facteur, 1);
    QTest::mouseDClick(image, Qt::LeftButton, Qt::ControlModifier, QPoint(10, 10));
    EXPECT_EQ(doubles.count(), 1);
    EXPECT_EQ(zoom->Vue(), VueZoom{});
    EXPECT_EQ(image->PartieMontree(), QRectF(0, 0, 1, 1));

    // "0" typed to the window resets too; a new picture keeps the zoom.
    Molette(image, QPointF(20, 20), AngleCranMolette);
    image->FixerImage(Degrade(400, 200));
    EXPECT_DOUBLE_EQ(zoom->Vue().facteur, 1.25);
    QTest::keyClick(&fenetre, Qt::Key_0);
    EXPECT_EQ(zoom->Vue(), VueZoom{});
    // Out at x1 nothing changes and the wheel goes on to the scroll box.
    QWheelEvent dehors(QPointF(20, 20), image->mapToGlobal(QPointF(20, 20)), QPoint(), QPoint(0, -AngleCranMolette),
                       Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    EXPECT_FALSE(zoom->eventFilter(image, &dehors));
    EXPECT_EQ(zoom->Vue(), VueZoom{});
}

// A 24-bit bottom-up bitmap file image of 4 x 2 pixels: top row red, red,
// green, green; bottom row blue, blue, white, white.
std::vector<unsigned char> BitmapQuatreCouleurs()
{
    std::vector<unsigned char> f = BitmapNoir();
    f.resize(54 + 2 * 12);
    f[18] = 4;
    f[19] = f[20] = f[21] = 0;
    f[22] = 2;
    f[23] = f[24] = f[25] = 0;
    const unsigned char bas[12] = {255, 0, 0, 255, 0, 0, 255, 255, 255, 255, 255, 255}; // B, G, R
    const unsigned char haut[12] = {0, 0, 255, 0, 0, 255, 0, 255, 0, 0, 255, 0};
    std::copy(bas, bas + 12, f.begin() + 54);
    std::copy(haut, haut + 12, f.begin() + 66);
    return f;
}

TEST(ImageEtiree, CouleursSensEtPartieMontreeALEcran)
{
    TImageEtiree image;
    image.resize(200, 100);
    QSignalSpy remises(&image, &TImageEtiree::ImageRemise);
    const std::vector<unsigned char> f = BitmapQuatreCouleurs();
    image.AfficherImage(f.data(), static_cast<int>(f.size()));
    EXPECT_EQ(remises.count(), 1);
    EXPECT_EQ(image.Picture().size(), QSize(4, 2));
    EXPECT_EQ(image.Picture().pixel(0, 0), qRgb(255, 0, 0));
    EXPECT_EQ(image.Picture().pixel(3, 1), qRgb(255, 255, 255));

    // Stretched over the control, top row on top.
    QImage ecran = image.grab().toImage();
    EXPECT_EQ(ecran.pixel(40, 20), qRgb(255, 0, 0));
    EXPECT_EQ(ecran.pixel(160, 20), qRgb(0, 255, 0));
    EXPECT_EQ(ecran.pixel(40, 80), qRgb(0, 0, 255));
    EXPECT_EQ(ecran.pixel(160, 80), qRgb(255, 255, 255));

    // The right half only (the digital zoom), then the bottom-left quarter.
    image.FixerPartieMontree(QRectF(0.5, 0, 0.5, 1));
    ecran = image.grab().toImage();
    EXPECT_EQ(ecran.pixel(20, 20), qRgb(0, 255, 0));
    EXPECT_EQ(ecran.pixel(180, 20), qRgb(0, 255, 0));
    EXPECT_EQ(ecran.pixel(20, 80), qRgb(255, 255, 255));
    image.FixerPartieMontree(QRectF(0, 0.5, 0.5, 0.5));
    ecran = image.grab().toImage();
    EXPECT_EQ(ecran.pixel(5, 5), qRgb(0, 0, 255));
    EXPECT_EQ(ecran.pixel(195, 95), qRgb(0, 0, 255));

    // Converted for painting once per picture painted: pictures replaced
    // before a paint are not, and painting again converts nothing.
    const int64_t conversions = image.NbConversions();
    for (int i = 0; i < 3; ++i)
        image.AfficherImage(f.data(), static_cast<int>(f.size()));
    EXPECT_EQ(image.NbConversions(), conversions);
    image.grab();
    image.grab();
    EXPECT_EQ(image.NbConversions(), conversions + 1);

    // A picture that cannot be read leaves the one shown, and is still
    // reported as handed over.
    image.FixerPartieMontree(QRectF(0, 0, 1, 1));
    image.AfficherImage(f.data(), 30);
    EXPECT_EQ(remises.count(), 5);
    EXPECT_EQ(image.grab().toImage().pixel(160, 80), qRgb(255, 255, 255));

    // A picture set from elsewhere in another format (a tile's BGR888
    // picture) shows the same.
    QImage bgr(2, 1, QImage::Format_BGR888);
    bgr.setPixel(0, 0, qRgb(10, 200, 30));
    bgr.setPixel(1, 0, qRgb(250, 5, 60));
    image.FixerImage(bgr);
    EXPECT_EQ(image.Picture().pixel(1, 0), qRgb(250, 5, 60));
    ecran = image.grab().toImage();
    EXPECT_EQ(ecran.pixel(50, 50), qRgb(10, 200, 30));
    EXPECT_EQ(ecran.pixel(150, 50), qRgb(250, 5, 60));
}

class Confort : public EssaiFenetre
{
protected:
    void TearDown() override
    {
        EssaiFenetre::TearDown();
        FixerFichierReglages(QString());
    }
    QString Chemin(const QString& nom) const { return dossier.path() + "/" + nom; }
};

TEST_F(Confort, DeposerUnFilmLOuvreCommeSelectionnerEtRefuseLeReste)
{
    OptionsFilm o;
    o.nbImages = 20;
    ASSERT_EQ(FabriquerFilm(Chemin("depose.mjp").toStdString(), o), 0);
    QFile texte(Chemin("notes.txt"));
    ASSERT_TRUE(texte.open(QIODevice::WriteOnly));
    texte.write("pas un film");
    texte.close();
    Creer();
    auto* depot = w->findChild<TDepotFilm*>();
    ASSERT_NE(depot, nullptr);
    EXPECT_TRUE(w->acceptDrops());
    EXPECT_FALSE(w->EditFR->acceptDrops());

    depot->Deposer(Chemin("notes.txt"));
    depot->Deposer(Chemin("absent.mjp"));
    QDir().mkdir(Chemin("sous.mjp"));
    depot->Deposer(Chemin("sous.mjp")); // a folder is no film
    EXPECT_EQ(messages, (std::vector<std::string>{"Fichier vidéo incorrect", "Erreur d'ouverture de fichier",
                                                  "Erreur d'ouverture de fichier"}));
    EXPECT_STREQ(CheminFilm, ""); // refusals leave the current film alone
    EXPECT_TRUE(demandesFichier.empty()); // and never open the dialog

    // A real drop, through the window's events.
    QMimeData donnees;
    donnees.setUrls({QUrl::fromLocalFile(Chemin("depose.mjp"))});
    QDragEnterEvent entree(QPoint(50, 50), Qt::CopyAction, &donnees, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(w.get(), &entree);
    EXPECT_TRUE(entree.isAccepted());
    QDropEvent depose(QPointF(50, 50), Qt::CopyAction, &donnees, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(w.get(), &depose);
    QCoreApplication::processEvents();
    EXPECT_EQ(messages.size(), 3u);
    EXPECT_EQ(std::string(CheminFilm), Chemin("depose.mjp").toStdString());
    EXPECT_EQ(NbImagesFilm, 20u);
    EXPECT_TRUE(w->BoutonPlay1->Enabled());
    EXPECT_TRUE(demandesFichier.empty());
    EXPECT_TRUE(w->OpenDialog1.ReponseImposee.isEmpty());

    // A drag without a local file is not taken.
    QMimeData rien;
    rien.setText(QStringLiteral("texte"));
    QDragEnterEvent autre(QPoint(50, 50), Qt::CopyAction, &rien, Qt::LeftButton, Qt::NoModifier);
    autre.setAccepted(false);
    QApplication::sendEvent(w.get(), &autre);
    EXPECT_FALSE(autre.isAccepted());
}

TEST_F(Confort, UnSecondDemarrageRetrouveLeDernierDossierEtLaFenetre)
{
    // Settings off (no file named): nothing read, nothing written.
    QDir().mkdir(Chemin("films"));
    choix = Chemin("films/a.mjp");
    DemandeFichier d;
    d.dossier = QStringLiteral("/defaut");
    DemanderFichier(d);
    EXPECT_EQ(demandesFichier.back().dossier, "/defaut");
    EXPECT_TRUE(DernierDossier().isEmpty());

    const QString fichier = Chemin("config/lecteurzr7.conf");
    FixerFichierReglages(fichier);
    DemanderFichier(d);
    EXPECT_EQ(demandesFichier.back().dossier, "/defaut"); // nothing remembered yet
    Creer();
    {
        TReglagesFenetre reglages(w.get());
        w->FlagBoucle->setChecked(true);
        w->FlagForcerFR->setChecked(true);
        w->EditFR->setText(QStringLiteral("7"));
        w->setWindowState(Qt::WindowNoState);
        w->setGeometry(40, 50, 900, 600);
        w->close();
    }
    w.reset();

    // Second start: a fresh window and a fresh read of the file.
    FixerFichierReglages(QString());
    FixerFichierReglages(fichier);
    Creer();
    EXPECT_FALSE(w->FlagBoucle->isChecked());
    TReglagesFenetre reglages(w.get());
    EXPECT_TRUE(w->FlagBoucle->isChecked());
    EXPECT_TRUE(w->FlagForcerFR->isChecked());
    EXPECT_EQ(w->EditFR->text(), "7");
    EXPECT_FALSE(w->isMaximized());
    EXPECT_EQ(w->size(), QSize(900, 600));
    choix.clear();
    w->BoutonSelectionClick();
    EXPECT_EQ(demandesFichier.back().dossier, Chemin("films"));
    DemandeFichier enregistrement;
    enregistrement.enregistrer = true;
    DemanderFichier(enregistrement);
    EXPECT_EQ(demandesFichier.back().dossier, Chemin("films")); // save dialogs too

    // Maximised is remembered as such; a removed folder is forgotten.
    w->setWindowState(Qt::WindowMaximized);
    reglages.EnregistrerFenetre();
    EXPECT_TRUE(LireReglage(QStringLiteral("fenetre/maximisee")).toBool());
    QDir(Chemin("films")).removeRecursively();
    EXPECT_TRUE(DernierDossier().isEmpty());
}

TEST(Dialogues, CasesEtNomProposeDansLeVraiDialogue)
{
    QTemporaryDir dossier;
    RemplacerGestionnaireDialogues(nullptr);
    TDialogueFichier d;
    d.enregistrer = true;
    d.InitialDir = dossier.path();
    d.NomPropose = QStringLiteral("film_12-05-2014_10-15-00.jpg");
    d.Cases = {CaseDialogue{QStringLiteral("Rapport d'intégrité"), true},
               CaseDialogue{QStringLiteral("Incruster la date"), false}};
    QStringList vues;
    QString propose;
    // The modal dialog is driven from the event loop it runs.
    QTimer::singleShot(100, [&] {
        auto* dialogue = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialogue, nullptr);
        for (QCheckBox* c : dialogue->findChildren<QCheckBox*>()) {
            vues << c->text() + (c->isChecked() ? "+" : "-");
            c->setChecked(!c->isChecked());
        }
        propose = dialogue->selectedFiles().value(0);
        QMetaObject::invokeMethod(dialogue, "accept");
    });
    ASSERT_TRUE(d.Execute(nullptr));
    EXPECT_EQ(vues, (QStringList{"Rapport d'intégrité+", "Incruster la date-"}));
    EXPECT_EQ(QFileInfo(propose).fileName(), "film_12-05-2014_10-15-00.jpg");
    EXPECT_EQ(QFileInfo(d.FileName).fileName(), "film_12-05-2014_10-15-00.jpg");
    EXPECT_FALSE(d.Cases[0].cochee);
    EXPECT_TRUE(d.Cases[1].cochee);
}
