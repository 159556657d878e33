// Capture under a real X display with a compositor: the player (built as
// main.cpp builds it) opens a film with measures through "Sélectionner",
// plays it, pauses once the measure rows are shown, and grabs the screen
// with the measure windows shown, then hidden. Exit 0 when the measure text
// lies over the picture with the picture visible around the letters.
// With "direct" the film has no measure file: once paused, a live notice
// from another program arrives, and its text must show the same way.
// Usage: capture_mesures FILM [FOLDER [direct]]  (FOLDER receives both screen grabs)
#include "core/demarrage.h"
#include "core/etat.h"
#include "core/messages.h"
#include "engine/th_lecteur_magneto.h"
#include "measures/dmesures.h"
#include "measures/thmagnetomesures.h"
#include "ui/dialogues.h"
#include "ui/lecteurzr7_principale.h"

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QImage>
#include <QPlainTextEdit>
#include <QScreen>
#include <QTimer>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>

namespace {

TLecteurZR7_Principale* Principale = nullptr;
TDMesures* Mesures[2] = {nullptr, nullptr};
int NbMesures = 0;
int Resultat = 1;
QString Film, DossierCaptures;
bool Direct = false;

// Runs `action` once `condition` holds (polled every 100 ms), or gives up.
void Quand(std::function<bool()> condition, int limiteMs, std::function<void()> action, const char* echec)
{
    auto* t = new QTimer;
    auto* depuis = new QElapsedTimer;
    depuis->start();
    QObject::connect(t, &QTimer::timeout, [=] {
        if (!condition() && depuis->elapsed() < limiteMs)
            return;
        t->stop();
        t->deleteLater();
        const bool ok = condition();
        delete depuis;
        if (ok) {
            action();
        } else {
            std::fprintf(stderr, "ÉCHEC : %s\n", echec);
            Principale->close();
        }
    });
    t->start(100);
}

void Apres(int ms, std::function<void()> action)
{
    QTimer::singleShot(ms, action);
}

QImage Ecran()
{
    return QGuiApplication::primaryScreen()->grabWindow(0).toImage().convertToFormat(QImage::Format_RGB32);
}

int Ecart(QRgb a, int r, int g, int b)
{
    return std::max({std::abs(qRed(a) - r), std::abs(qGreen(a) - g), std::abs(qBlue(a) - b)});
}

// A: measures shown; B: the same paused picture without them; zone: the
// text window. Around the letters A must be the picture seen through the
// backdrop (B blended with the form colour at the backdrop's opacity); the
// letters themselves stay at their full light grey.
int Analyser(const QImage& a, const QImage& b, const QRect& zone, double opacite)
{
    const int fr = 0, fg = 23, fb = 10;
    const int tr = 223;
    long pixels = 0, lettres = 0, fonds = 0, fondsFideles = 0;
    double sommeB = 0, sommeB2 = 0;
    for (int y = zone.top(); y <= zone.bottom(); ++y) {
        for (int x = zone.left(); x <= zone.right(); ++x) {
            const QRgb pa = a.pixel(x, y), pb = b.pixel(x, y);
            const int er = int(std::lround(qRed(pb) * (1 - opacite) + fr * opacite));
            const int eg = int(std::lround(qGreen(pb) * (1 - opacite) + fg * opacite));
            const int eb = int(std::lround(qBlue(pb) * (1 - opacite) + fb * opacite));
            ++pixels;
            const double gris = (qRed(pb) + qGreen(pb) + qBlue(pb)) / 3.0;
            sommeB += gris;
            sommeB2 += gris * gris;
            if (Ecart(pa, tr, tr, tr) <= 40 && Ecart(pa, er, eg, eb) > 60) {
                ++lettres;
            } else {
                ++fonds;
                if (Ecart(pa, er, eg, eb) <= 30)
                    ++fondsFideles;
            }
        }
    }
    const double moyenne = sommeB / pixels;
    const double ecartType = std::sqrt(std::max(0.0, sommeB2 / pixels - moyenne * moyenne));
    std::printf("zone %dx%d+%d+%d : %ld lettres, %ld/%ld fond fidèle à l'image, écart type de l'image %.1f\n",
                zone.width(), zone.height(), zone.x(), zone.y(), lettres, fondsFideles, fonds, ecartType);
    if (ecartType < 10) {
        std::printf("ÉCHEC : image trop uniforme sous les mesures pour conclure\n");
        return 1;
    }
    if (lettres < 150) {
        std::printf("ÉCHEC : pas de texte de mesure lisible au-dessus de l'image\n");
        return 1;
    }
    if (fondsFideles < fonds * 85 / 100) {
        std::printf("ÉCHEC : l'image n'est pas visible autour des lettres\n");
        return 1;
    }
    return 0;
}

// The film without measures, paused; a live notice is then broadcast as
// another program would. A: with the live text; B: before it.
void PiloterDirect()
{
    for (QTimer* t : {Principale->TimerPub, Principale->TimerPlay, Principale->TimerPlay2})
        t->stop();
    RemplacerGestionnaireDialogues([](const DemandeFichier&) { return Film; });
    Principale->BoutonSelectionClick();
    Principale->BoutonPlay1Click();
    TDMesures* texte = Mesures[0];
    Quand([=] { return PositionSecondes >= 2; }, 30000,
          [=] {
              Principale->BoutonStop1Click();
              Apres(1500, [=] {
                  const QImage b = Ecran();
                  std::ofstream(std::string(DossierDonnees) + "/mesures_0.tmp", std::ios::binary)
                      << "ZR7_MESURES;0;1;VENT 12 KM/H - PLUIE 0 MM;";
                  DiffuserMessage(IdMessages[MSG_NEW_MESURES], 0, 0);
                  Quand([=] { return texte->isVisible() && !texte->Memo1->toPlainText().isEmpty(); }, 5000,
                        [=] {
                            Apres(1500, [=] {
                                const QImage a = Ecran();
                                Resultat = Analyser(a, b, texte->geometry(), Mesures[1]->windowOpacity());
                                if (!DossierCaptures.isEmpty()) {
                                    a.save(DossierCaptures + "/capture_mesures.png");
                                    b.save(DossierCaptures + "/capture_sans_mesures.png");
                                }
                                Principale->close();
                            });
                        },
                        "la mesure en direct ne s'affiche pas");
              });
          },
          "le film ne joue pas");
}

void Piloter()
{
    // No splash sequence: the film is chosen at once, as a user would.
    for (QTimer* t : {Principale->TimerPub, Principale->TimerPlay, Principale->TimerPlay2})
        t->stop();
    RemplacerGestionnaireDialogues([](const DemandeFichier&) { return Film; });
    Principale->BoutonSelectionClick();
    Principale->BoutonPlay1Click();
    TDMesures* texte = Mesures[0];
    Quand([=] { return texte->isVisible() && texte->Memo2->toPlainText().split('\n').size() >= 3 && PositionSecondes >= 2; },
          30000,
          [=] {
              Principale->BoutonStop1Click(); // pause: the picture stays
              Apres(1500, [=] {
                  const QImage a = Ecran();
                  const QRect zone = texte->geometry();
                  const double opacite = Mesures[1]->windowOpacity();
                  Principale->LabelOpacite->setChecked(false);
                  Apres(1500, [=] {
                      const QImage b = Ecran();
                      Resultat = Analyser(a, b, zone, opacite);
                      if (!DossierCaptures.isEmpty()) {
                          a.save(DossierCaptures + "/capture_mesures.png");
                          b.save(DossierCaptures + "/capture_sans_mesures.png");
                      }
                      Principale->close();
                  });
              });
          },
          "les lignes de mesure ne sont pas arrivées");
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2)
        return 2;
    Film = QString::fromLocal8Bit(argv[1]);
    if (argc > 2)
        DossierCaptures = QString::fromLocal8Bit(argv[2]);
    Direct = argc > 3 && std::string(argv[3]) == "direct";
    if (Direct) // a film without measures of its own
        std::remove((Film.left(Film.size() - 3) + "msr").toLocal8Bit().constData());
    char* args[] = {argv[0], nullptr};
    FabriquesLecteur f;
    f.lecteurMagneto = [](int voie) { return new Th_Lecteur_Magneto(voie); };
    f.magnetoMesures = [](int voie) { return new ThMagnetoMesures(voie); };
    f.fenetrePrincipale = [] {
        Principale = new TLecteurZR7_Principale;
        Principale->show();
        QTimer::singleShot(500, Direct ? PiloterDirect : Piloter);
        return Principale;
    };
    f.fenetreMesures = [] {
        auto* m = new TDMesures;
        m->FixerProprietaire(Principale);
        if (NbMesures < 2)
            Mesures[NbMesures++] = m;
        if (NbMesures == 2)
            Principale->FixerFenetresMesures(Mesures[0], Mesures[1]);
        return m;
    };
    const int statut = ExecuterLecteur(1, args, f);
    return statut != 0 ? statut : Resultat;
}
