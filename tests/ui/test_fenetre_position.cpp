// Main window, offscreen: the position read-out and slider driven by the
// display tick, seeking by releasing the slider, the picture layout (fitted,
// real size, full screen) and the measure windows' place, visibility and
// opacity.
#include "core/etat.h"
#include "engine/fichierfilm.h"
#include "filmmaker.h"
#include "ui/dialogues.h"
#include "ui/disposition_calcul.h"
#include "ui/image_etiree.h"
#include "ui/lecteurzr7_principale.h"
#include "ui/oxbouton.h"

#include <QApplication>
#include <QCheckBox>
#include <QFrame>
#include <QLabel>
#include <QScrollArea>
#include <QScrollBar>
#include <QSlider>
#include <QTemporaryDir>
#include <QTest>
#include <QWheelEvent>
#include <QTimer>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

// The designed client area: its picture panel is 1083 x 317.
constexpr int LargeurConception = 1085;
constexpr int HauteurConception = 450;

std::string Lecture(const TLecteurZR7_Principale& w)
{
    return w.NomDeLaSequence1->text().toStdString();
}

QRect Geometrie(const Boite& b)
{
    return QRect(b.gauche, b.haut, b.largeur, b.hauteur);
}

class FenetrePosition : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ReinitialiserEtat();
        ASSERT_TRUE(dossier.isValid());
        CopierTexte(DossierProgramme, sizeof DossierProgramme, (dossier.path() + "/").toUtf8().constData());
        RemplacerGestionnaireDialogues([this](const DemandeFichier&) { return choix; });
    }
    void TearDown() override
    {
        w.reset();
        RemplacerGestionnaireDialogues(nullptr);
    }

    // A window of the designed size whose waits are counted, not slept, and
    // whose timers run only when a test says so.
    void Creer(bool minuteries = false)
    {
        w.reset(new TLecteurZR7_Principale);
        w->Attendre = [this](int ms) {
            attentes.push_back(ms);
            lectureAuxAttentes.push_back(Voies[0].FlagLecture);
        };
        if (!minuteries)
            for (QTimer* t : {w->TimerAffichage, w->TimerLEO, w->TimerInit})
                t->stop();
        w->setWindowState(Qt::WindowNoState);
        w->resize(LargeurConception, HauteurConception);
    }

    // Selects a film made with the given header duration.
    std::string Selectionner(uint32_t dureeMs, OptionsFilm o = OptionsFilm())
    {
        o.nbImages = 20;
        o.dureeMs = dureeMs;
        const std::string chemin = dossier.path().toStdString() + "/film.mjp";
        EXPECT_EQ(FabriquerFilm(chemin, o), 0);
        choix = QString::fromStdString(chemin);
        w->BoutonSelectionClick();
        return chemin;
    }

    // The progress of the reader's current run seen by the next display tick.
    void Tic(double pourcent)
    {
        Voies[0].NumeroRun = Voies[0].NumeroDemande;
        Voies[0].PourcentFilm = pourcent;
        w->TimerAffichageTimer();
    }

    void Montrer()
    {
        w->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(w.get()));
    }

    QTemporaryDir dossier;
    std::unique_ptr<TLecteurZR7_Principale> w;
    std::vector<int> attentes;
    std::vector<unsigned char> lectureAuxAttentes;
    QString choix;
};

TEST_F(FenetrePosition, LeTicSuitLaLecture)
{
    Creer();
    const std::string film = Selectionner(3725000);
    w->BoutonPlay1Click();

    Tic(50);
    EXPECT_EQ(w->CurseurMinutes1->value(), 1862);
    EXPECT_EQ(SecondeDepart, 1862);
    EXPECT_EQ(PositionSecondes, 1862u);
    EXPECT_EQ(Lecture(*w), film + " (00:31:02 / 01:02:05)");

    // The same second again: neither the slider nor the read-out is touched.
    w->CurseurMinutes1->setValue(7);
    w->NomDeLaSequence1->setText(QStringLiteral("inchangé"));
    Tic(50.01);
    EXPECT_EQ(w->CurseurMinutes1->value(), 7);
    EXPECT_EQ(Lecture(*w), "inchangé");
    Tic(60);
    ASSERT_EQ(w->CurseurMinutes1->value(), 2235);
    Tic(50);

    // Paused: the progress goes on in the shared state, the display does not.
    w->BoutonStop1Click();
    Tic(75);
    EXPECT_EQ(w->CurseurMinutes1->value(), 1862);
    EXPECT_EQ(Lecture(*w), film + " (00:31:02 / 01:02:05)");
    w->BoutonPlay1Click();
    Tic(75);
    EXPECT_EQ(w->CurseurMinutes1->value(), 2793);
    EXPECT_EQ(Lecture(*w), film + " (00:46:33 / 01:02:05)");

    // A slider held by the user stays under the mouse.
    w->CurseurMinutes1->setSliderDown(true);
    Tic(10);
    EXPECT_EQ(w->CurseurMinutes1->value(), 2793);
    w->CurseurMinutes1->setSliderDown(false);
    Tic(10);
    EXPECT_EQ(w->CurseurMinutes1->value(), 372);

    // Progress past the end is held at the end.
    Tic(130);
    EXPECT_EQ(w->CurseurMinutes1->value(), 3725);
    EXPECT_EQ(SecondeDepart, 3725);
    EXPECT_EQ(Lecture(*w), film + " (01:02:05 / 01:02:05)");
}

TEST_F(FenetrePosition, RelacherLeCurseurRepositionneLeFilm)
{
    Creer();
    const std::string film = Selectionner(3600000);
    Montrer();
    w->BoutonPlay1Click();
    Tic(20);
    ASSERT_EQ(SecondeDepart, 720);

    attentes.clear();
    lectureAuxAttentes.clear();
    Voies[0].FlagRafraichir = 0;
    // The user drops the slider at 600: the release reaches the handler.
    w->CurseurMinutes1->setValue(600);
    QTest::mouseRelease(w->CurseurMinutes1, Qt::LeftButton, {}, w->CurseurMinutes1->rect().center());
    EXPECT_EQ(Voies[0].FlagLecture, 0);
    EXPECT_EQ(lectureAuxAttentes, std::vector<unsigned char>{0}); // stopped, then waited
    EXPECT_EQ(attentes, std::vector<int>{AttenteArretLecteurMs});
    EXPECT_EQ(SecondeDepart, 600);
    EXPECT_EQ(PositionSecondes, 600u);
    EXPECT_EQ(Voies[0].FlagRafraichir, 1);
    EXPECT_EQ(Lecture(*w), film + " (00:10:00 / 01:00:00)");
    EXPECT_TRUE(w->BoutonPlay1->Visible());

    // Stopped: the tick leaves the position where the seek put it.
    Tic(20);
    EXPECT_EQ(w->CurseurMinutes1->value(), 600);

    // Play starts a run from there; the reader's progress moves it on.
    w->BoutonPlay1Click();
    EXPECT_EQ(Voies[0].FlagLecture, 1);
    EXPECT_EQ(Voies[0].FlagRafraichir, 0);
    EXPECT_EQ(SecondeDepart, 600);
    Tic(100.0 * 605 / 3600 + 0.001);
    EXPECT_EQ(w->CurseurMinutes1->value(), 605);
    EXPECT_EQ(Lecture(*w), film + " (00:10:05 / 01:00:00)");
}

TEST_F(FenetrePosition, LectureEnDateHeure)
{
    Creer();
    OptionsFilm o;
    o.dates = true;
    o.dateDebut.minute = 0; // 10:00:00 to 11:00:00 on 12/05/2014
    Selectionner(3600000, o);
    ASSERT_EQ(FlagDatesFilm, 1);
    EXPECT_EQ(Lecture(*w), "12/05/2014 10:00:00");

    w->CurseurMinutes1->setValue(1800);
    w->CurseurMinutes1MouseUp();
    EXPECT_EQ(Lecture(*w), "12/05/2014 10:30:00");

    w->BoutonPlay1Click();
    Tic(75);
    EXPECT_EQ(Lecture(*w), "12/05/2014 10:45:00");
}

TEST_F(FenetrePosition, DispositionAjusteeSuitLaTailleDuFilm)
{
    Creer();
    ASSERT_EQ(LargeurFilm, 320);
    ASSERT_EQ(HauteurFilm, 240);
    // The first tick lays the picture out (the size applied at creation
    // differs on purpose).
    w->TimerAffichageTimer();
    ASSERT_EQ(w->PanelImage->size(), QSize(1083, 317));
    EXPECT_EQ(w->Scroll->geometry(), QRect(327, 0, 422, 317));
    EXPECT_EQ(w->Image1->geometry(), QRect(0, 0, 422, 317));
    EXPECT_EQ(HauteurAppliquee, 240);
    EXPECT_EQ(LargeurAppliquee, 320);
    // Footer widths follow the window: play block less 249, slider margins equal.
    EXPECT_EQ(w->BlocLecture1->width(), LargeurConception - 249);
    EXPECT_EQ(w->CurseurMinutes1->width(), LargeurConception - 249 - 2 * 17);

    // The reader found a 16:9 film.
    LargeurFilm = 1280;
    HauteurFilm = 720;
    w->TimerAffichageTimer();
    EXPECT_EQ(w->Scroll->geometry(), Geometrie(BoiteAjustee(Rapport{16, 9}, 1083, 317)));
    EXPECT_EQ(w->Scroll->height(), 317);
    EXPECT_GT(w->Scroll->width(), 422);

    // A larger window: the picture and the footer follow.
    Montrer();
    w->resize(1400, 700);
    QTest::qWait(10);
    EXPECT_EQ(w->Scroll->geometry(), Geometrie(BoiteAjustee(Rapport{16, 9}, 1398, 567)));
    EXPECT_EQ(w->CurseurMinutes1->width(), 1400 - 249 - 34);
}

TEST_F(FenetrePosition, PleinEcranEtRetour)
{
    Creer();
    Montrer();
    w->LayoutPicture();
    const QRect normale = w->Scroll->geometry();
    ASSERT_EQ(normale, QRect(327, 0, 422, 317));

    w->BoutonMasquerClick();
    EXPECT_FALSE(w->Pied->isVisible());
    EXPECT_EQ(w->PanelImage->size(), QSize(1083, 448));
    EXPECT_EQ(w->Scroll->geometry(), QRect(240, 0, 597, 448));

    QTest::keyClick(w.get(), Qt::Key_Escape);
    EXPECT_TRUE(w->Pied->isVisible());
    EXPECT_EQ(w->Scroll->geometry(), normale);

    // Escape outside full screen and other keys do nothing.
    QTest::keyClick(w.get(), Qt::Key_Escape);
    EXPECT_TRUE(w->Pied->isVisible());
    w->BoutonMasquerClick();
    QTest::keyClick(w.get(), Qt::Key_A);
    EXPECT_FALSE(w->Pied->isVisible());

    // A double click on the picture toggles, both ways.
    QTest::mouseDClick(w->Image1, Qt::LeftButton);
    EXPECT_TRUE(w->Pied->isVisible());
    EXPECT_EQ(w->Scroll->geometry(), normale);
    QTest::mouseDClick(w->Image1, Qt::LeftButton);
    EXPECT_FALSE(w->Pied->isVisible());
    EXPECT_EQ(w->Scroll->height(), 448);

    // Full screen fits the picture even when real size is asked for.
    w->FlagTailleReelle->setChecked(true);
    EXPECT_EQ(w->Scroll->geometry(), QRect(240, 0, 597, 448));
    EXPECT_EQ(w->Scroll->horizontalScrollBar()->maximum(), 0);
}

TEST_F(FenetrePosition, TailleReelle)
{
    Creer();
    Montrer();
    LargeurFilm = 704;
    HauteurFilm = 576;
    w->TimerAffichageTimer();
    // The check box lies over the play block and takes the click.
    const QPoint caseTaille = w->FlagTailleReelle->geometry().center();
    ASSERT_EQ(w->Pied->childAt(caseTaille), w->FlagTailleReelle);
    QTest::mouseClick(w->FlagTailleReelle, Qt::LeftButton, {}, QPoint(8, w->FlagTailleReelle->height() / 2));
    ASSERT_TRUE(w->FlagTailleReelle->isChecked());
    // No ratio matches 704 x 576: 4:3 brings its height to 528.
    EXPECT_EQ(w->Scroll->geometry(), QRect(0, 0, 1083, 317));
    EXPECT_EQ(w->Image1->geometry(), QRect((1077 - 704) / 2, 0, 704, 528));
    // Taller than the area: scrolls down to its last row, top row included.
    QScrollBar* vertical = w->Scroll->verticalScrollBar();
    // Scroll bars are shown or hidden once the event loop has run.
    EXPECT_TRUE(QTest::qWaitFor([&] { return vertical->isVisible(); }, 5000));
    EXPECT_EQ(vertical->minimum(), 0);
    EXPECT_EQ(vertical->maximum(), 528 - w->Scroll->viewport()->height());
    EXPECT_EQ(w->Scroll->horizontalScrollBar()->maximum(), 0);

    // Wider and taller than the area: left 1, scrolls both ways.
    LargeurFilm = 1920;
    HauteurFilm = 1080;
    w->TimerAffichageTimer();
    EXPECT_EQ(w->Image1->geometry(), QRect(1, 0, 1920, 1080));
    EXPECT_EQ(w->Scroll->horizontalScrollBar()->maximum(), 1 + 1920 - w->Scroll->viewport()->width());
    EXPECT_EQ(vertical->maximum(), 1080 - w->Scroll->viewport()->height());
    vertical->setValue(vertical->maximum());
    EXPECT_EQ(w->Image1->mapTo(w->Scroll->viewport(), QPoint(0, 1079)).y(), w->Scroll->viewport()->height() - 1);

    // A small picture is centred in the area, no scroll bars.
    LargeurFilm = 320;
    HauteurFilm = 240;
    w->TimerAffichageTimer();
    EXPECT_EQ(w->Image1->geometry(), QRect((1077 - 320) / 2, (317 - 240) / 2, 320, 240));
    EXPECT_TRUE(QTest::qWaitFor([&] { return !vertical->isVisible(); }, 5000));


    // Back to fitted from a scrolled picture: it fills its box again.
    LargeurFilm = 1600;
    HauteurFilm = 1200;
    w->TimerAffichageTimer();
    ASSERT_TRUE(QTest::qWaitFor([&] { return vertical->isVisible(); }, 5000));
    w->FlagTailleReelle->setChecked(false);
    EXPECT_EQ(w->Scroll->geometry(), QRect(327, 0, 422, 317));
    EXPECT_EQ(w->Image1->geometry(), QRect(0, 0, 422, 317));
    EXPECT_TRUE(QTest::qWaitFor([&] { return !vertical->isVisible(); }, 5000));
}

TEST_F(FenetrePosition, FenetresDeMesuresPlaceesEtMontrees)
{
    Creer();
    QWidget m1, m2;
    w->FixerFenetresMesures(&m1, &m2);
    Montrer();
    w->move(40, 30);
    w->LayoutPicture();
    // Both over the lower third of the picture, on the screen.
    const QRect image(w->Scroll->mapToGlobal(QPoint(0, 0)), w->Scroll->size());
    for (QWidget* m : {&m1, &m2}) {
        EXPECT_EQ(m->geometry().left(), image.left());
        EXPECT_EQ(m->width(), image.width());
        EXPECT_EQ(m->height(), image.height() / 3);
        EXPECT_NEAR(m->geometry().bottom(), image.bottom(), 2);
    }

    // They follow the main window when it moves.
    w->move(140, 80);
    EXPECT_TRUE(QTest::qWaitFor([&] { return m1.x() == image.left() + 100; }, 5000));
    EXPECT_EQ(m2.y(), image.top() + 50 + image.height() * 2 / 3);

    // "Opacité" shows and hides both.
    w->LabelOpacite->setChecked(false);
    EXPECT_FALSE(m1.isVisible());
    EXPECT_FALSE(m2.isVisible());
    w->LabelOpacite->setChecked(true);
    EXPECT_TRUE(m1.isVisible());
    EXPECT_TRUE(m2.isVisible());
}

TEST_F(FenetrePosition, OpaciteAppliqueeUnQuartDeSecondePlusTard)
{
    Creer(true);
    QWidget m1, m2;
    w->FixerFenetresMesures(&m1, &m2);
    EXPECT_TRUE(w->TimerLEO->isActive());
    EXPECT_TRUE(w->TimerLEO->isSingleShot());
    EXPECT_EQ(w->TimerLEO->interval(), 250);
    EXPECT_TRUE(QTest::qWaitFor([&] { return m2.windowOpacity() < 1.0; }, 5000));
    // The backdrop (window 17) only: the letters stay opaque.
    EXPECT_DOUBLE_EQ(m2.windowOpacity(), 120 / 255.0);
    EXPECT_DOUBLE_EQ(m1.windowOpacity(), 1.0);

    // A change is not applied at once, but by the timer.
    w->Opacite->setValue(200);
    EXPECT_DOUBLE_EQ(m2.windowOpacity(), 120 / 255.0);
    EXPECT_TRUE(w->TimerLEO->isActive());
    EXPECT_TRUE(QTest::qWaitFor([&] { return m2.windowOpacity() > 120 / 255.0; }, 5000));
    EXPECT_DOUBLE_EQ(m2.windowOpacity(), 200 / 255.0);
    EXPECT_DOUBLE_EQ(m1.windowOpacity(), 1.0);
    EXPECT_FALSE(w->TimerLEO->isActive());

    // Keys move it by 50 within 50..250; changes made before the timer
    // fires are applied together.
    w->Opacite->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    w->Opacite->triggerAction(QAbstractSlider::SliderPageStepAdd);
    EXPECT_EQ(w->Opacite->value(), 250);
    w->Opacite->triggerAction(QAbstractSlider::SliderPageStepSub);
    w->Opacite->setValue(10);
    EXPECT_EQ(w->Opacite->value(), 50);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !w->TimerLEO->isActive(); }, 5000));
    EXPECT_DOUBLE_EQ(m2.windowOpacity(), 50 / 255.0);
}

// Play after a finished run: the previous run's share is not read as this
// run's position, and the position follows once the reader's run is the
// current one.
TEST_F(FenetrePosition, ProgressionDUnRunPrecedentIgnoree)
{
    Creer();
    Selectionner(3725000);
    Voies[0].NumeroRun = Voies[0].NumeroDemande;
    Voies[0].PourcentFilm = 100.0; // the run that played the film to its end
    w->BoutonPlay1Click();
    EXPECT_DOUBLE_EQ(Voies[0].PourcentFilm, 0.0);
    w->TimerAffichageTimer();
    EXPECT_EQ(SecondeDepart, 0);
    EXPECT_EQ(PositionSecondes, 0u);
    EXPECT_EQ(w->CurseurMinutes1->value(), 0);
    // Still the old run, whatever it reports.
    Voies[0].PourcentFilm = 80.0;
    w->TimerAffichageTimer();
    EXPECT_EQ(SecondeDepart, 0);
    Tic(60);
    EXPECT_EQ(SecondeDepart, 2235);

    // From a seek: Play starts the progress at the seek's share.
    w->BoutonStop1Click();
    w->BoutonDebut1Click();
    w->CurseurMinutes1->setValue(1862);
    w->CurseurMinutes1MouseUp();
    w->BoutonPlay1Click();
    EXPECT_DOUBLE_EQ(Voies[0].PourcentFilm, 1862 * 100.0 / 3725);
}

// A wheel step on the position slider seeks as a release does.
TEST_F(FenetrePosition, MoletteSurLeCurseurRepositionneLeFilm)
{
    Creer();
    Selectionner(3725000);
    w->BoutonPlay1Click();
    Voies[0].FlagRafraichir = 0;
    attentes.clear();
    lectureAuxAttentes.clear();
    const QPointF centre(w->CurseurMinutes1->width() / 2.0, w->CurseurMinutes1->height() / 2.0);
    QWheelEvent molette(centre, w->CurseurMinutes1->mapToGlobal(centre), QPoint(), QPoint(0, 120), Qt::NoButton,
                        Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(w->CurseurMinutes1, &molette);
    const int valeur = w->CurseurMinutes1->value();
    EXPECT_NE(valeur, 0);
    EXPECT_EQ(SecondeDepart, valeur);
    EXPECT_EQ(PositionSecondes, uint32_t(valeur));
    EXPECT_EQ(Voies[0].FlagRafraichir, 1);
    EXPECT_EQ(Voies[0].FlagLecture, 0);
    EXPECT_EQ(attentes, std::vector<int>{AttenteArretLecteurMs});
    EXPECT_EQ(lectureAuxAttentes, std::vector<unsigned char>{0});
}

} // namespace
