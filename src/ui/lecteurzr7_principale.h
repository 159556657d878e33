// TLecteurZR7_Principale: the main window of the player. It shows the
// current picture and, below it, every control of the player. It never
// decodes: it writes requests into the shared state (under the channel's
// lock) and reads progress back; the reader thread hands it pictures
// through AfficherImage.
#pragma once

#include <QSlider>
#include <QWidget>

#include <functional>
#include <memory>
#include <string>

#include "ui/dialogues.h"

class QBuffer;
class QCheckBox;
class QFrame;
class QImage;
class QLabel;
class QLineEdit;
class QScrollArea;
class QTimer;
class TImageEtiree;
class Navigation;
class LectureJkl;
class RechercheMouvement;
class Chronologie;
class Apercu;
class Mosaique;
class TOxBouton;

// Time given to the worker threads to see a stop before the window resets
// a shared position (their polling sleeps are all shorter).
constexpr int AttenteArretLecteurMs = 250;

// The position slider: tells when the mouse is released on it, after the
// slider has taken its new position.
class TCurseurMinutes : public QSlider
{
    Q_OBJECT
public:
    explicit TCurseurMinutes(QWidget* parent = nullptr) : QSlider(Qt::Horizontal, parent) {}
signals:
    void SourisRelachee();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
};

class TLecteurZR7_Principale : public QWidget
{
    Q_OBJECT
public:
    explicit TLecteurZR7_Principale(QWidget* parent = nullptr);
    ~TLecteurZR7_Principale() override;

    // Picture target of the reader thread: a 24-bit bitmap file image,
    // shown stretched in Image1. Runs on the user-interface thread.
    void AfficherImage(const unsigned char* bitmapFichier, int taille);

    // The two measure windows, created after this window by start-up.
    void FixerFenetresMesures(QWidget* premiere, QWidget* seconde);

    // Gives back the export buffer if it is still this window's.
    void LibererTamponExport();

    // Operations shared by the handlers.
    void ShowBlackPicture();
    void SetUpFilm(bool charge);
    bool IsHourlyName();
    bool NextFilmName();
    void StartPlayback();
    void StopPlayback();
    void TogglePause();
    void ApplySpeed();
    void LayoutPicture();
    void PlaceMeasureWindows();
    // End-of-film step of the display tick; true when the tick must end
    // here (the film ended or the channel was stopped).
    bool HandleFilmEnd();

    // How the window waits for the workers to see a stop (a real sleep; a
    // test may count the waits instead).
    std::function<void(int ms)> Attendre;

    // Controls, named as designed.
    QFrame* Corps;
    QFrame* PanelImage;
    QScrollArea* Scroll;
    TImageEtiree* Image1;
    QFrame* Pied;
    TOxBouton* BoutonQuitter;
    TOxBouton* BoutonSelection;
    TOxBouton* BoutonMasquer;
    QCheckBox* FlagBoucle;
    QCheckBox* FlagEnchainer;
    QCheckBox* FlagTailleReelle;
    QFrame* BlocLecture1;
    QLabel* NomDeLaSequence1;
    TCurseurMinutes* CurseurMinutes1;
    TOxBouton* BoutonDebut1;
    TOxBouton* BoutonPlay1;
    TOxBouton* BoutonStop1;
    TOxBouton* BoutonAvi;
    TOxBouton* BoutonPhoto;
    TOxBouton* BoutonCopie; // "Copie exacte" (copie_fenetre.h)
    TOxBouton* BoutonSonOn1;
    TOxBouton* BoutonSonOff1;
    QLabel* LabelVitesse;
    QSlider* JaugeVitesse;
    QCheckBox* FlagForcerFR;
    QLineEdit* EditFR;
    QLabel* Label1;
    QCheckBox* LabelOpacite;
    QSlider* Opacite;
    QLabel* Label4;
    QLineEdit* MotDePasse;
    TOxBouton* OxBouton1;
    TOxBouton* OxBouton2;
    TOxBouton* OxBouton3;

    QTimer* TimerAffichage;
    QTimer* TimerLEO;
    QTimer* TimerInit;
    QTimer* TimerPub;
    QTimer* TimerPlay;
    QTimer* TimerPlay2;

    TDialogueFichier OpenDialog1;
    TDialogueFichier SaveDialog1;

    QWidget* DMesures1 = nullptr;
    QWidget* DMesures2 = nullptr;

    // Keys, picture steps, go-to and the picture index (navigation.h).
    Navigation* NavigationFenetre = nullptr;
    // J / K / L, End, "Lecture arrière" and the film's start (lecture_jkl.h).
    LectureJkl* LectureJklFenetre = nullptr;
    // Motion search in a rectangle of the picture (recherche_fenetre.h).
    RechercheMouvement* RechercheMouvementFenetre = nullptr;

    // The day strip above the footer and the previews under the pointer
    // (chronologie_fenetre.h).
    Chronologie* ChronologieFenetre = nullptr;
    Apercu* ApercuFenetre = nullptr;
    // Opens `chemin` at second `seconde`: the current film is sought there,
    // another one is loaded as a selected film first.
    void OuvrirFilmA(const std::string& chemin, int seconde);
    // Two to four films shown together on one clock (mosaique.h).
    Mosaique* MosaiqueFenetre = nullptr;

public slots:
    void BoutonQuitterClick();
    void BoutonSelectionClick();
    void BoutonMasquerClick();
    void BoutonPlay1Click();
    void BoutonStop1Click();
    void BoutonDebut1Click();
    void BoutonSonOn1Click();
    void BoutonSonOff1Click();
    void BoutonAviClick();
    void BoutonPhotoClick();
    void BoutonCopieClick();
    void OxBouton1Click();
    void OxBouton2Click();
    void OxBouton3Click();
    void FlagBoucleClick();
    void FlagEnchainerClick();
    void FlagTailleReelleClick();
    void JaugeVitesseChange();
    void MotDePasseChange();
    void CurseurMinutes1MouseUp();
    void LabelOpaciteClick();
    void OpaciteChange();
    void Image1DblClick();
    void TimerAffichageTimer();
    void TimerLEOTimer();
    void TimerInitTimer();
    void TimerPubTimer();
    void TimerPlayTimer();
    void TimerPlay2Timer();

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    friend class Mosaique; // loads the selected tile's film as the window's own
    void CreerControles();
    void FormCreate();
    void FormClose();
    void FormResize();
    void FormEndDock();
    void FormKeyPress(int caractere);
    bool ChargerLogo(const char* nom);
    void MontrerLecture();
    void MontrerFenetresMesures(bool visibles);
    void ViderMesuresVisibles();
    // The visible measure windows' rows at the position set while stopped.
    void MontrerMesuresDeLaPosition();
    // Header, dates and sound file of a chained film; false when its header
    // is not a valid film.
    bool RelireFilmEnchaine();
    // Film loading shared by the selection and the command-line film:
    // dates, header, controls, companions, hourly chaining and the password
    // field. `signaler` shows the selection's messages; the command-line
    // film fails silently. True when the film is loaded.
    bool ChargerFilm(const std::string& chemin, bool signaler);

    // Owned by the window for the AVI export.
    std::unique_ptr<QBuffer> JpegStream;
    std::unique_ptr<QImage> JpegPicture;
    std::unique_ptr<QBuffer> BitmapStream;
    std::unique_ptr<QImage> DecodeBitmap;
    // Content of Scroll: Image1 lies on it at its computed place, so that a
    // real-size picture larger than the area can be scrolled.
    QWidget* toileImage_ = nullptr;
    // This window's export buffer, published as ExportPictureBuffer.
    unsigned char* tamponExport_ = nullptr;
    bool fermee_ = false;
};
