#include "ui/lecteurzr7_principale.h"

#include "core/boitemessage.h"
#include "core/etat.h"
#include "core/ouverture.h"
#include "engine/cadence.h"
#include "engine/fichierfilm.h"
#include "ui/icones.h"
#include "ui/image_etiree.h"
#include "ui/avis_fenetre.h"
#include "ui/mesures_position.h"
#include "ui/copie_fenetre.h"
#include "ui/navigation.h"
#include "ui/lecture_jkl.h"
#include "ui/oxbouton.h"
#include "ui/position_calcul.h"
#include "ui/disposition_calcul.h"
#include "ui/exports_fenetre.h"
#include "export/extraction.h"
#include "ui/selection_calcul.h"
#include "ui/chemins_calcul.h"
#include "ui/transport_calcul.h"
#include "ui/depot_film.h"
#include "ui/zoom_image.h"
#include "ui/recherche_fenetre.h"
#include "ui/chronologie.h"
#include "ui/chronologie_fenetre.h"
#include "ui/mosaique.h"

#include <QBuffer>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFile>
#include <QFrame>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMetaObject>
#include <QMoveEvent>
#include <QScrollArea>
#include <QSignalBlocker>
#include <QThread>
#include <QTimer>
#include <QWheelEvent>

#include <cstdio>
#include <cstring>
#include <new>
#include <utility>
#include <sys/stat.h>

namespace {

// Design size of the client area; the window opens maximised.
constexpr int LargeurConception = 1085;
constexpr int HauteurConception = 450;
constexpr int HauteurPied = 131;
// Bevel of the body panel: the picture panel sits inside it.
constexpr int Biseau = 1;

// Timer intervals (ms).
constexpr int IntervalleAffichageMs = 500;  // read-out and end of film
constexpr int IntervalleOpaciteMs = 250;    // opacity applied once
constexpr int IntervalleInitMs = 50;        // measure windows numbered once
constexpr int IntervalleLogoMs = 2500;      // each step of the splash

// Numbers that tell each measure window what it shows.
constexpr int NumeroPremiereMesure = 1;
constexpr int NumeroSecondeMesure = 17;

// Where the small picture of a transport button is drawn.
constexpr int ImageGauche = 19;
constexpr int ImageGauchePhoto = 17;
constexpr int ImageHaut = 4;

// Colours of the buttons (platform values, blue-green-red).
constexpr uint32_t GrisInactif = 0x7F7F7F;
constexpr uint32_t SurvolDebut = 0x2492FF;
constexpr uint32_t SurvolFin = 0xBFFFFF;
constexpr uint32_t Bordure = 0x666666;

// Fonts: pixel heights of the design.
constexpr int TaillePolice = 11;

// Speed gauge, opacity slider and position slider as designed.
constexpr int OpaciteMin = 50, OpaciteMax = 250, OpaciteInitiale = 120, OpacitePas = 50;
constexpr int CurseurMaxConception = 240;

// The escape key ends the full-screen mode.
constexpr int CaractereEchap = 27;

const char* const FiltreFilms =
    "VelmoraZR7 - Films|*.mjp;*.mp4;*.264|VelmoraZR7 - MJPEG|*.mjp|VelmoraZR7 - MP4|*.mp4|VelmoraZR7 - H264|*.264";

QColor Couleur(uint32_t v)
{
    return CouleurPlateforme(v);
}

[[maybe_unused]] bool FichierExiste(const char* chemin)
{
    struct stat st;
    return chemin && chemin[0] && stat(chemin, &st) == 0;
}

QString Texte(const char* local)
{
    return QFile::decodeName(QByteArray(local));
}

// The measure windows fill in their own controls later; these calls reach
// them by name so that the main window depends only on QWidget.
void ViderMemo2(QWidget* mesures)
{
    if (!mesures)
        return;
    if (QObject* memo = mesures->findChild<QObject*>(QStringLiteral("Memo2")))
        QMetaObject::invokeMethod(memo, "clear");
}

// The film's rows; the live rows (Memo1) show or hide themselves.
void MontrerMemoMesures(QWidget* mesures)
{
    if (!mesures)
        return;
    if (QWidget* memo2 = mesures->findChild<QWidget*>(QStringLiteral("Memo2")))
        memo2->show();
    ViderMemo2(mesures);
}

TOxBouton* CreerBouton(QWidget* parent, int x, int y, int l, int h, const QString& legende,
                       const QString& bulle = QString(), bool gras = false)
{
    auto* b = new TOxBouton(parent);
    b->setGeometry(x, y, l, h);
    b->SetColorFrom(Couleur(Oxbouton::clGray));
    b->SetColorTo(Couleur(Oxbouton::clSilver));
    b->SetDisabledColorFrom(Couleur(GrisInactif));
    b->SetDisabledColorTo(Couleur(Oxbouton::clWhite));
    b->SetColorOverFrom(Couleur(SurvolDebut));
    b->SetColorOverTo(Couleur(SurvolFin));
    b->SetShadowColor(Couleur(Oxbouton::clSilver));
    b->SetBorderColor(Couleur(Bordure));
    b->SetShadow(false);
    const QFont police = PoliceDisponible(QStringLiteral("MS Sans Serif"), TaillePolice, gras);
    b->SetFont(police);
    b->SetOverFont(police);
    b->SetDisabledFont(police);
    b->SetFontColor(Couleur(Oxbouton::clBlack));
    b->SetOverFontColor(Couleur(Oxbouton::clBlack));
    b->SetDisabledFontColor(Couleur(Oxbouton::clSilver));
    b->SetCaption(legende);
    if (!bulle.isEmpty())
        b->setToolTip(bulle);
    return b;
}

void PoserImage(TOxBouton* b, const QPixmap& image, int gauche)
{
    b->SetImage(image);
    b->SetImageLeft(gauche);
    b->SetImageTop(ImageHaut);
}

QFrame* CreerPanneau(QWidget* parent, const QColor& fond, bool biseau)
{
    auto* p = new QFrame(parent);
    p->setAutoFillBackground(true);
    QPalette pal = p->palette();
    pal.setColor(QPalette::Window, fond);
    p->setPalette(pal);
    if (biseau) {
        p->setFrameShape(QFrame::Panel);
        p->setFrameShadow(QFrame::Sunken);
        p->setLineWidth(Biseau);
    }
    return p;
}

QCheckBox* CreerCase(QWidget* parent, int x, int y, const QString& legende)
{
    auto* c = new QCheckBox(legende, parent);
    c->move(x, y);
    c->adjustSize();
    return c;
}

QLabel* CreerEtiquette(QWidget* parent, int x, int y, const QString& texte)
{
    auto* l = new QLabel(texte, parent);
    l->move(x, y);
    l->adjustSize();
    return l;
}

} // namespace

void TCurseurMinutes::mouseReleaseEvent(QMouseEvent* event)
{
    QSlider::mouseReleaseEvent(event);
    emit SourisRelachee();
}

void TCurseurMinutes::wheelEvent(QWheelEvent* event)
{
    const int avant = value();
    QSlider::wheelEvent(event);
    // A wheel step is a seek, as a release is: the slider never shows a
    // place the film is not at.
    if (value() != avant)
        emit SourisRelachee();
}

TLecteurZR7_Principale::TLecteurZR7_Principale(QWidget* parent) : QWidget(parent)
{
    Attendre = [](int ms) { QThread::msleep(ms); };
    setWindowTitle(QStringLiteral("VelmoraZR7 : Lecteur autonome"));
    // Without Tahoma, DejaVu Sans condensed has nearly its widths, so the
    // designed label places still fit.
    QFont police = PoliceDisponible(QStringLiteral("Tahoma"), TaillePolice);
    if (police.family() != QLatin1String("Tahoma"))
        police.setStretch(QFont::SemiCondensed);
    setFont(police);
    resize(LargeurConception, HauteurConception);
    setWindowState(Qt::WindowMaximized);
    CreerControles();
    NavigationFenetre = new Navigation(this);
    LectureJklFenetre = new LectureJkl({this, [this] { return RelireFilmEnchaine(); }, [this] { ViderMesuresVisibles(); },
                                        [this] { MontrerLecture(); MontrerMesuresDeLaPosition(); },
                                        [this] { return MosaiqueFenetre && MosaiqueFenetre->Active()
                                                            ? MosaiqueFenetre->Horloge() : nullptr; }});
    MosaiqueFenetre = new Mosaique(this);
    connect(MosaiqueFenetre, &Mosaique::SensChange, LectureJklFenetre, &LectureJkl::MontrerVitesse);
    new TAvisFenetre(this);
    FormCreate();
    // Digital zoom of the picture, films dropped on the window.
    new TZoomImage(Image1, this);
    new TDepotFilm(this);
    // Motion search: Shift+drag on the picture, its panel, slider marks, N / P.
    AccesRecherche recherche;
    recherche.image = Image1;
    recherche.curseur = CurseurMinutes1;
    recherche.fenetre = this;
    recherche.film = [] { return std::string(CheminFilm); };
    recherche.motDePasse = [] { return std::string(MotDePasseFilm); };
    recherche.allerA = [this](double t) { AllerExactementA(this, t); };
    recherche.ouvrirA = [this](const std::string& chemin, double t) { OuvrirFilmA(chemin, static_cast<int>(t)); };
    RechercheMouvementFenetre = new RechercheMouvement(recherche, this);
    InstallerChronologie(this);
    // Motion hits drawn on the day strip too.
    connect(RechercheMouvementFenetre, &RechercheMouvement::MomentsChanges, this, [this] {
        ChronologieFenetre->EffacerMouvements();
        for (const auto& [film, moments] : RechercheMouvementFenetre->MomentsParFilm())
            ChronologieFenetre->FixerMouvements(film, moments);
    });
}

TLecteurZR7_Principale::~TLecteurZR7_Principale()
{
    // The films shown together stop, their readers end, while the window
    // is whole.
    delete MosaiqueFenetre;
    MosaiqueFenetre = nullptr;
    // A window destroyed without being closed (tests) still gives back what
    // it took.
    LibererTamponExport();
    // Kept registered until now: the reader's destruction, which comes
    // before, runs the hand-overs still addressed to Image1.
    if (ImageAffichage == Image1)
        ImageAffichage = nullptr;
}

void TLecteurZR7_Principale::CreerControles()
{
    Corps = CreerPanneau(this, palette().color(QPalette::Window), true);
    PanelImage = CreerPanneau(Corps, Qt::white, true);
    Scroll = new QScrollArea(PanelImage);
    Scroll->setFrameShape(QFrame::NoFrame);
    Scroll->setGeometry(319, 40, 306, 257);
    QPalette noir = Scroll->palette();
    noir.setColor(QPalette::Window, Qt::black);
    Scroll->setPalette(noir);
    Scroll->setBackgroundRole(QPalette::Window);
    Scroll->setAutoFillBackground(true);
    // The scroll box's content is a black canvas: LayoutPicture places
    // Image1 on it, filling it when fitted, at its own size and centred
    // otherwise.
    toileImage_ = new QWidget;
    toileImage_->setGeometry(0, 0, 306, 257);
    Image1 = new TImageEtiree(toileImage_);
    Image1->setGeometry(0, 0, 306, 257);
    Scroll->setWidget(toileImage_);
    Scroll->setWidgetResizable(true);
    connect(Image1, &TImageEtiree::DoubleClic, this, &TLecteurZR7_Principale::Image1DblClick);

    Pied = CreerPanneau(this, Qt::white, false);
    BoutonQuitter = CreerBouton(Pied, 9, 79, 90, 33, QStringLiteral("Quitter"));
    BoutonSelection = CreerBouton(Pied, 113, 79, 90, 33, QStringLiteral("Sélectionner"));
    BoutonMasquer = CreerBouton(Pied, 9, 22, 90, 33, QStringLiteral("    Plein écran"));
    FlagBoucle = CreerCase(Pied, 113, 28, QStringLiteral("Lire en boucle"));
    FlagEnchainer = CreerCase(Pied, 113, 51, QStringLiteral("Enchainer dans heure"));
    FlagEnchainer->hide();
    FlagTailleReelle = CreerCase(Pied, 800, 73, QStringLiteral("Taille réelle"));

    BlocLecture1 = CreerPanneau(Pied, Qt::white, true);
    BlocLecture1->setGeometry(248, 5, 825, 115);
    // "Taille réelle" lies over the play block, in its free space between
    // the speed gauge and the extraction buttons: it must stay above it.
    FlagTailleReelle->raise();
    NomDeLaSequence1 = CreerEtiquette(BlocLecture1, 18, 6, QString());
    {
        QPalette p = NomDeLaSequence1->palette();
        p.setColor(QPalette::WindowText, Qt::black);
        NomDeLaSequence1->setPalette(p);
    }
    CurseurMinutes1 = new TCurseurMinutes(BlocLecture1);
    CurseurMinutes1->setGeometry(17, 41, 521, 20);
    CurseurMinutes1->setRange(0, CurseurMaxConception);
    CurseurMinutes1->setValue(0);
    CurseurMinutes1->setTickPosition(QSlider::TicksAbove);
    CurseurMinutes1->setTickInterval(1);
    CurseurMinutes1->setCursor(Qt::PointingHandCursor);
    CurseurMinutes1->setFocusPolicy(Qt::NoFocus);
    CurseurMinutes1->setEnabled(false);

    BoutonDebut1 = CreerBouton(BlocLecture1, 17, 67, 55, 24, QString(), QStringLiteral("Retour au Début"));
    BoutonDebut1->SetDisabledColorFrom(Couleur(Oxbouton::clGray));
    PoserImage(BoutonDebut1, IconeDebut(), ImageGauche);
    BoutonDebut1->SetEnabled(false);
    BoutonPlay1 = CreerBouton(BlocLecture1, 91, 67, 55, 24, QString(), QStringLiteral("Play"));
    PoserImage(BoutonPlay1, IconeLecture(), ImageGauche);
    BoutonPlay1->SetEnabled(false);
    BoutonStop1 = CreerBouton(BlocLecture1, 91, 67, 55, 24, QString(), QStringLiteral("Stop"));
    PoserImage(BoutonStop1, IconeArret(), ImageGauche);
    BoutonStop1->hide();
    BoutonAvi = CreerBouton(BlocLecture1, 166, 68, 55, 24, QString(), QStringLiteral("Film AVI"));
    PoserImage(BoutonAvi, IconeFilm(), ImageGauche);
    BoutonPhoto = CreerBouton(BlocLecture1, 227, 67, 55, 24, QString(), QStringLiteral("Photo"));
    PoserImage(BoutonPhoto, IconePhoto(), ImageGauchePhoto);
    // Under the AVI options, the other way to take the whole film out.
    BoutonCopie = CreerBouton(BlocLecture1, 320, 90, 55, 23, QString(), QString::fromUtf8(BulleCopieExacte));
    PoserImage(BoutonCopie, IconeCopieExacte(), ImageGauche);
    BoutonSonOn1 = CreerBouton(BlocLecture1, 288, 67, 57, 24, QString(), QStringLiteral("Avec le son"), true);
    PoserImage(BoutonSonOn1, IconeSonActif(), ImageGauche);
    BoutonSonOn1->hide();
    BoutonSonOff1 = CreerBouton(BlocLecture1, 288, 67, 55, 24, QString(), QStringLiteral("Sans le son"), true);
    PoserImage(BoutonSonOff1, IconeSonCoupe(), ImageGauche);
    BoutonSonOff1->hide();

    LabelVitesse = CreerEtiquette(BlocLecture1, 360, 67, QStringLiteral("x 1"));
    {
        QPalette p = LabelVitesse->palette();
        p.setColor(QPalette::WindowText, Qt::gray);
        LabelVitesse->setPalette(p);
    }
    JaugeVitesse = new QSlider(Qt::Horizontal, BlocLecture1);
    JaugeVitesse->setGeometry(396, 65, 150, 24);
    JaugeVitesse->setRange(CranVitesseMin, CranVitesseMax);
    JaugeVitesse->setValue(CranVitesseNormal);

    FlagForcerFR = CreerCase(BlocLecture1, 166, 97, QStringLiteral("Forcer"));
    EditFR = new QLineEdit(QStringLiteral("15"), BlocLecture1);
    EditFR->move(227, 94);
    EditFR->setFixedWidth(35);
    Label1 = CreerEtiquette(BlocLecture1, 268, 97, QStringLiteral("img/sec"));

    LabelOpacite = CreerCase(BlocLecture1, 342, 4, QStringLiteral("Opacité"));
    LabelOpacite->setChecked(true);
    LabelOpacite->hide();
    Opacite = new QSlider(Qt::Horizontal, BlocLecture1);
    Opacite->setGeometry(408, 2, 81, 20);
    Opacite->setRange(OpaciteMin, OpaciteMax);
    Opacite->setValue(OpaciteInitiale);
    Opacite->setSingleStep(OpacitePas);
    Opacite->setPageStep(OpacitePas);
    Opacite->setTickInterval(OpacitePas);
    Opacite->setTickPosition(QSlider::TicksAbove);
    Opacite->setFocusPolicy(Qt::ClickFocus); // not a tab stop, but its keys work once clicked
    Opacite->setCursor(Qt::PointingHandCursor);
    Opacite->setToolTip(QStringLiteral("seuil"));
    Opacite->hide();

    Label4 = CreerEtiquette(BlocLecture1, 618, 16, QStringLiteral("Mot de passe"));
    MotDePasse = new QLineEdit(BlocLecture1);
    MotDePasse->move(688, 14);
    MotDePasse->setFixedWidth(121);
    MotDePasse->setMaxLength(LongueurMotDePasse);
    MotDePasse->setEchoMode(QLineEdit::Password);
    MotDePasse->setStyleSheet(QStringLiteral("lineedit-password-character: 42"));

    OxBouton1 = CreerBouton(BlocLecture1, 639, 68, 55, 24, QStringLiteral("Début"), QStringLiteral("Film AVI"));
    OxBouton2 = CreerBouton(BlocLecture1, 700, 68, 55, 24, QStringLiteral("Fin"), QStringLiteral("Film AVI"));
    OxBouton3 = CreerBouton(BlocLecture1, 761, 68, 55, 24, QStringLiteral("Extraire"), QStringLiteral("Film AVI"));

    auto minuterie = [this](int ms, bool actif) {
        auto* t = new QTimer(this);
        t->setInterval(ms);
        if (actif)
            t->start();
        return t;
    };
    TimerAffichage = minuterie(IntervalleAffichageMs, true);
    TimerLEO = minuterie(IntervalleOpaciteMs, true);
    TimerLEO->setSingleShot(true);
    TimerInit = minuterie(IntervalleInitMs, true);
    TimerPub = minuterie(IntervalleLogoMs, false);
    TimerPlay = minuterie(IntervalleLogoMs, false);
    TimerPlay2 = minuterie(IntervalleLogoMs, false);

    OpenDialog1.Filter = FiltreQt(FiltreFilms);
    SaveDialog1.enregistrer = true;
    SaveDialog1.Filter = FiltreQt(FiltreFilms);
    SaveDialog1.DefaultExt = QStringLiteral("mjp");

    using W = TLecteurZR7_Principale;
    connect(BoutonQuitter, &TOxBouton::OnClick, this, &W::BoutonQuitterClick);
    connect(BoutonSelection, &TOxBouton::OnClick, this, &W::BoutonSelectionClick);
    connect(BoutonMasquer, &TOxBouton::OnClick, this, &W::BoutonMasquerClick);
    connect(BoutonPlay1, &TOxBouton::OnClick, this, &W::BoutonPlay1Click);
    connect(BoutonStop1, &TOxBouton::OnClick, this, &W::BoutonStop1Click);
    connect(BoutonDebut1, &TOxBouton::OnClick, this, &W::BoutonDebut1Click);
    connect(BoutonSonOn1, &TOxBouton::OnClick, this, &W::BoutonSonOn1Click);
    connect(BoutonSonOff1, &TOxBouton::OnClick, this, &W::BoutonSonOff1Click);
    connect(BoutonAvi, &TOxBouton::OnClick, this, &W::BoutonAviClick);
    connect(BoutonPhoto, &TOxBouton::OnClick, this, &W::BoutonPhotoClick);
    connect(BoutonCopie, &TOxBouton::OnClick, this, &W::BoutonCopieClick);
    connect(OxBouton1, &TOxBouton::OnClick, this, &W::OxBouton1Click);
    connect(OxBouton2, &TOxBouton::OnClick, this, &W::OxBouton2Click);
    connect(OxBouton3, &TOxBouton::OnClick, this, &W::OxBouton3Click);
    connect(FlagBoucle, &QCheckBox::toggled, this, &W::FlagBoucleClick);
    connect(FlagEnchainer, &QCheckBox::toggled, this, &W::FlagEnchainerClick);
    connect(FlagTailleReelle, &QCheckBox::toggled, this, &W::FlagTailleReelleClick);
    connect(JaugeVitesse, &QSlider::valueChanged, this, &W::JaugeVitesseChange);
    connect(MotDePasse, &QLineEdit::textChanged, this, &W::MotDePasseChange);
    connect(CurseurMinutes1, &TCurseurMinutes::SourisRelachee, this, &W::CurseurMinutes1MouseUp);
    connect(LabelOpacite, &QCheckBox::toggled, this, &W::LabelOpaciteClick);
    connect(Opacite, &QSlider::valueChanged, this, &W::OpaciteChange);
    connect(TimerAffichage, &QTimer::timeout, this, &W::TimerAffichageTimer);
    connect(TimerLEO, &QTimer::timeout, this, &W::TimerLEOTimer);
    connect(TimerInit, &QTimer::timeout, this, &W::TimerInitTimer);
    connect(TimerPub, &QTimer::timeout, this, &W::TimerPubTimer);
    connect(TimerPlay, &QTimer::timeout, this, &W::TimerPlayTimer);
    connect(TimerPlay2, &QTimer::timeout, this, &W::TimerPlay2Timer);
}

// ---------------------------------------------------------------- creation

void TLecteurZR7_Principale::FormCreate()
{
    tamponExport_ = new (std::nothrow) unsigned char[TailleBufferImage];
    ExportPictureBuffer = tamponExport_;
    JpegStream.reset(new QBuffer);
    JpegPicture.reset(new QImage);
    BitmapStream.reset(new QBuffer);
    DecodeBitmap.reset(new QImage);

    LargeurFilm = 320;
    HauteurFilm = 240;
    // Deliberately the other way round: the first display tick sees a
    // change and lays the picture out.
    HauteurAppliquee = 320;
    LargeurAppliquee = 240;
    FlagLectureLancee = 0;

    BoutonSonOn1->hide();
    BoutonSonOff1->hide();
    ImageAffichage = Image1;
    OpenDialog1.InitialDir = Texte(DossierProgramme);
    ExportsDe(this); // marks over the slider and their hints

    if (CheminFilm[0]) {
        // Splash: logo 2, then logo 1, then the film; a missing logo
        // shortens the sequence.
        BoutonPlay1->hide();
        if (ChargerLogo("logo2.jpg")) {
            TimerPub->start();
        } else {
            ChargerLogo("logo1.jpg");
            TimerPlay->start();
        }
    } else {
        SetUpFilm(false);
    }
}

bool TLecteurZR7_Principale::ChargerLogo(const char* nom)
{
    std::string chemin;
    return CheminLogo(DossierProgramme, nom, chemin) && EstFichierOrdinaire(chemin)
           && Image1->ChargerFichier(Texte(chemin.c_str()));
}

void TLecteurZR7_Principale::LibererTamponExport()
{
    if (ExportPictureBuffer == tamponExport_)
        ExportPictureBuffer = nullptr;
    delete[] tamponExport_;
    tamponExport_ = nullptr;
}

void TLecteurZR7_Principale::FixerFenetresMesures(QWidget* premiere, QWidget* seconde)
{
    DMesures1 = premiere;
    DMesures2 = seconde;
}

void TLecteurZR7_Principale::TimerInitTimer()
{
    TimerInit->stop();
    for (auto [fenetre, numero] : {std::pair<QWidget*, int>{DMesures1, NumeroPremiereMesure},
                                   std::pair<QWidget*, int>{DMesures2, NumeroSecondeMesure}}) {
        if (!fenetre)
            continue;
        fenetre->setProperty("Numero", numero);
        fenetre->hide();
    }
}

void TLecteurZR7_Principale::TimerPubTimer()
{
    TimerPub->stop();
    ChargerLogo("logo1.jpg");
    TimerPlay->start();
}

void TLecteurZR7_Principale::TimerPlayTimer()
{
    TimerPlay->stop();
    // The command-line film is loaded as a selected one, silently: if it
    // has gone meanwhile the window is left without a film.
    if (!ChargerFilm(std::string(CheminFilm), false)) {
        SetUpFilm(false);
        BoutonPlay1->show();
        return;
    }
    FlagLireTaille = 1;
    TimerPlay2->start();
}

void TLecteurZR7_Principale::TimerPlay2Timer()
{
    TimerPlay2->stop();
    StartPlayback();
}

void TLecteurZR7_Principale::ShowBlackPicture()
{
    std::vector<unsigned char> noir;
    try {
        noir = BitmapNoir();
    } catch (const std::bad_alloc&) {
        return;
    }
    Image1->ChargerBitmap(noir.data(), noir.size());
}

void TLecteurZR7_Principale::AfficherImage(const unsigned char* bitmapFichier, int taille)
{
    Image1->AfficherImage(bitmapFichier, taille);
}

// ----------------------------------------------------------------- closing

void TLecteurZR7_Principale::BoutonQuitterClick()
{
    close();
}

void TLecteurZR7_Principale::closeEvent(QCloseEvent* event)
{
    FormClose();
    event->accept();
}

void TLecteurZR7_Principale::FormClose()
{
    if (fermee_)
        return;
    StopPlayback();
    Attendre(AttenteArretLecteurMs);
    fermee_ = true;
    LibererTamponExport();
    JpegStream.reset();
    JpegPicture.reset();
    BitmapStream.reset();
    DecodeBitmap.reset();
}

// ---------------------------------------------------------- film selection

void TLecteurZR7_Principale::BoutonSelectionClick()
{
    // The splash must not load and start the launch film under the film
    // being chosen: its timers stop first. A cancelled dialog leaves the
    // launch film loaded, not started.
    const bool splash = TimerPub->isActive() || TimerPlay->isActive() || TimerPlay2->isActive();
    TimerPub->stop();
    TimerPlay->stop();
    TimerPlay2->stop();
    StopPlayback();
    Attendre(AttenteArretLecteurMs);
    FlagLireTaille = 1;
    OpenDialog1.Title = QStringLiteral("Choix d'une séquence vidéo");
    OpenDialog1.Plusieurs = true;
    if (!OpenDialog1.Execute(this)) {
        if (splash && !ChargerFilm(std::string(CheminFilm), false))
            SetUpFilm(false);
        return;
    }
    if (OpenDialog1.FileNames.size() > 1) {
        MosaiqueFenetre->Ouvrir(CheminsLocaux(OpenDialog1.FileNames));
        return;
    }
    MosaiqueFenetre->Fermer();
    ChargerFilm(QFile::encodeName(OpenDialog1.FileName).toStdString(), true);
}

bool TLecteurZR7_Principale::ChargerFilm(const std::string& choisi, bool signaler)
{
    FlagEnchainer->setChecked(false);
    FlagEnchainer->hide();
    SecondeDepart = 0;
    PositionSecondes = 0;
    CurseurMinutes1->setValue(0);

    // A path longer than CheminFilm is refused, never cut: the cut name
    // would be another file.
    if (choisi.size() > size_t(LongueurCheminFilm)) {
        if (signaler)
            AfficherMessage("Erreur d'ouverture de fichier", std::string(), this);
        return false;
    }
    const DatesFilm dates = LireDatesFilm(choisi);
    DateDebutFilm = dates.Debut;
    DateFinFilm = dates.Fin;
    FlagDatesFilm = dates.Presentes ? 1 : 0;

    CopierTexte(CheminFilm, sizeof CheminFilm, choisi.c_str());
    const int type = TypeFilmPourExtension(CheminFilm);
    if (type < 0)
        return false;
    TypeFilm = type;

    // Only a regular file is a film; a FIFO is refused without blocking.
    FILE* f = OuvrirFichierOrdinaire(CheminFilm);
    if (!f) {
        if (signaler)
            AfficherMessage("Erreur d'ouverture de fichier", std::string(), this);
        return false;
    }
    std::fclose(f);
    EnteteFilm entete;
    const int lu = LireEnteteFilm(CheminFilm, entete);
    NbImagesFilm = entete.NbImages;
    DureeFilm = entete.DureeMs / 1000;
    if (lu != 0) {
        if (signaler)
            AfficherMessage("Fichier vidéo incorrect", std::string(), this);
        SetUpFilm(false);
        return false;
    }
    SetUpFilm(true);

    MontrerFenetresMesures(false);
    LabelOpacite->hide();
    Opacite->hide();
    Voies[0].FlagMesuresPresentes = 0;
    if (EstFichierOrdinaire(NomCompagnon(CheminFilm, "msr"))) {
        MontrerFenetresMesures(true);
        LabelOpacite->show();
        Opacite->show();
        MontrerMemoMesures(DMesures1);
        MontrerMemoMesures(DMesures2);
        Voies[0].FlagMesuresPresentes = 1;
    }

    if (IsHourlyName()) {
        FlagEnchainer->setChecked(true);
        FlagEnchainer->show();
    }
    MotDePasseChange();
    return true;
}

void TLecteurZR7_Principale::SetUpFilm(bool charge)
{
    BoutonDebut1->SetEnabled(charge);
    BoutonPlay1->SetEnabled(charge);
    CurseurMinutes1->setEnabled(charge);
    BoutonSonOn1->hide();
    BoutonSonOff1->hide();
    if (!(charge && DureeFilm != 0)) {
        NomDeLaSequence1->clear();
        ShowBlackPicture();
        return;
    }
    SecondeDepart = 0;
    PositionSecondes = 0;
    {
        const QSignalBlocker bloque(CurseurMinutes1);
        CurseurMinutes1->setMaximum(int(DureeFilm));
        CurseurMinutes1->setTickInterval(EcartGraduations(DureeFilm));
        CurseurMinutes1->setValue(0);
    }
    MontrerLecture();
    NavigationFenetre->FilmCharge();

    // The window shows "Avec le son" for a new film: the sound starts off,
    // so the flags follow what the button offers.
    const int r = PrendreMutexVoie(0);
    Voies[0].FlagRafraichir = 1;
    ++Voies[0].NumeroDemande;
    Voies[0].FlagSonActif = 0;
    Voies[0].FlagSonEcoute = 0;
    if (r == 0)
        RendreMutexVoie(0);
    ReveillerVoie(0);

    // CheminSon is as long as CheminFilm: the sound name is derived from
    // the whole film path.
    CopierTexte(Voies[0].CheminSon, sizeof Voies[0].CheminSon, CheminFilm);
    if (std::strlen(CheminFilm) < 4)
        return;
    CopierTexte(Voies[0].CheminSon, sizeof Voies[0].CheminSon, NomCompagnon(CheminFilm, "pcm").c_str());
    if (EstFichierOrdinaire(Voies[0].CheminSon))
        BoutonSonOn1->show();
}

void TLecteurZR7_Principale::MontrerLecture()
{
    const std::string texte =
        TexteLectureComplet(CheminFilm, SecondeDepart, CurseurMinutes1->maximum(), DureeFilm, FlagDatesFilm != 0,
                            DateDebutFilm, DateFinFilm);
    NomDeLaSequence1->setText(Texte(texte.c_str()));
    NomDeLaSequence1->adjustSize();
}

void TLecteurZR7_Principale::OuvrirFilmA(const std::string& chemin, int seconde)
{
    if (chemin != CheminFilm) {
        TimerPub->stop();
        TimerPlay->stop();
        TimerPlay2->stop();
        StopPlayback();
        Attendre(AttenteArretLecteurMs);
        FlagLireTaille = 1;
        if (!ChargerFilm(chemin, true))
            return;
    }
    NavigationFenetre->AllerASeconde(std::max(0, std::min(seconde, CurseurMinutes1->maximum())));
}

bool TLecteurZR7_Principale::IsHourlyName()
{
    return EstNomHoraire(CheminFilm);
}

bool TLecteurZR7_Principale::NextFilmName()
{
    char suivant[LongueurCheminFilm + 1];
    if (!CalculerFilmSuivant(CheminFilm, suivant, sizeof suivant))
        return false;
    // The current film keeps its name when there is no next one, so that
    // Play still plays a film that exists.
    if (!EstFichierOrdinaire(suivant))
        return false;
    CopierTexte(CheminFilm, sizeof CheminFilm, suivant);
    return true;
}

void TLecteurZR7_Principale::MotDePasseChange()
{
    // Whole characters only: a cut inside a multi-byte character would
    // make a password that nobody can type.
    QString texte = MotDePasse->text();
    QByteArray octets = texte.toUtf8();
    while (octets.size() > LongueurMotDePasse) {
        texte.chop(1);
        octets = texte.toUtf8();
    }
    CopierTexte(MotDePasseFilm, sizeof MotDePasseFilm, octets.constData());
}

// ---------------------------------------------------------------- transport

void TLecteurZR7_Principale::StartPlayback()
{
    BoutonPlay1->hide();
    BoutonStop1->show();
    BoutonDebut1->SetEnabled(false);
    FlagLectureLancee = 1;
    const double depart = PourcentageDepart(SecondeDepart, DureeFilm);
    const int r = PrendreMutexVoie(0);
    Voies[0].FlagLecture = 1;
    Voies[0].FlagPause = 0;
    Voies[0].FlagFinDeFilm = 0;
    Voies[0].FlagDebutDeFilm = 0;
    Voies[0].FlagRafraichir = 0;
    // A new run: progress left by the previous one is not this run's.
    ++Voies[0].NumeroDemande;
    Voies[0].PourcentFilm = depart;
    if (r == 0)
        RendreMutexVoie(0);
    ReveillerVoie(0);
}

void TLecteurZR7_Principale::StopPlayback()
{
    BoutonPlay1->show();
    BoutonStop1->hide();
    // "Retour au Début" only with a film loaded (Play is enabled with it).
    BoutonDebut1->SetEnabled(BoutonPlay1->Enabled());
    FlagLectureLancee = 0;
    const int r = PrendreMutexVoie(0);
    Voies[0].FlagLecture = 0;
    ++Voies[0].NumeroDemande;
    if (r == 0)
        RendreMutexVoie(0);
}

void TLecteurZR7_Principale::TogglePause()
{
    int r = PrendreMutexVoie(0);
    const unsigned char pause = Voies[0].FlagPause;
    if (r == 0)
        RendreMutexVoie(0);
    if (pause == 0) {
        BoutonPlay1->show();
        BoutonStop1->hide();
        BoutonDebut1->SetEnabled(true);
    } else {
        BoutonPlay1->hide();
        BoutonStop1->show();
        BoutonDebut1->SetEnabled(false);
    }
    r = PrendreMutexVoie(0);
    Voies[0].FlagPause = pause ? 0 : 1;
    if (r == 0)
        RendreMutexVoie(0);
}

void TLecteurZR7_Principale::BoutonPlay1Click()
{
    LectureJklFenetre->AvantPlay(); // Play plays forwards
    if (MosaiqueFenetre->Active())
        return MosaiqueFenetre->Jouer();
    MotDePasseChange();
    if (FlagLectureLancee)
        TogglePause();
    else
        StartPlayback();
}

void TLecteurZR7_Principale::BoutonStop1Click()
{
    if (MosaiqueFenetre->Active())
        return MosaiqueFenetre->Pause();
    const int r = PrendreMutexVoie(0);
    Voies[0].FlagViderSon = 1;
    if (r == 0)
        RendreMutexVoie(0);
    TogglePause();
}

void TLecteurZR7_Principale::BoutonDebut1Click()
{
    if (MosaiqueFenetre->Active())
        return MosaiqueFenetre->Debut();
    NavigationFenetre->OublierImageDemandee();
    StopPlayback();
    Attendre(AttenteArretLecteurMs);
    SecondeDepart = 0;
    PositionSecondes = 0;
    {
        const QSignalBlocker bloque(CurseurMinutes1);
        CurseurMinutes1->setValue(0);
    }
    const int r = PrendreMutexVoie(0);
    Voies[0].FlagRafraichir = 1;
    ++Voies[0].NumeroDemande;
    if (r == 0)
        RendreMutexVoie(0);
    ReveillerVoie(0);
    // The read-out and the measures describe picture 0, now on its way.
    MontrerLecture();
    MontrerMesuresDeLaPosition();
}

void TLecteurZR7_Principale::JaugeVitesseChange()
{
    ApplySpeed();
}

void TLecteurZR7_Principale::ApplySpeed()
{
    const CranVitesse cran = VitessePourCran(JaugeVitesse->value());
    const int r = PrendreMutexGeneral();
    Vitesse = cran.vitesse;
    if (r == 0)
        RendreMutexGeneral();
    LabelVitesse->setText(QString::fromLatin1(cran.texte));
    LabelVitesse->adjustSize();
}

void TLecteurZR7_Principale::FlagBoucleClick()
{
    if (FlagBoucle->isChecked())
        FlagEnchainer->setChecked(false);
}

void TLecteurZR7_Principale::FlagEnchainerClick()
{
    if (FlagEnchainer->isChecked())
        FlagBoucle->setChecked(false);
}

void TLecteurZR7_Principale::BoutonSonOn1Click()
{
    const int r = PrendreMutexVoie(0);
    Voies[0].FlagSonActif = 1;
    Voies[0].FlagSonEcoute = 1;
    if (r == 0)
        RendreMutexVoie(0);
    BoutonSonOn1->hide();
    BoutonSonOff1->show();
}

void TLecteurZR7_Principale::BoutonSonOff1Click()
{
    const int r = PrendreMutexVoie(0);
    Voies[0].FlagSonActif = 0;
    Voies[0].FlagSonEcoute = 0;
    if (r == 0)
        RendreMutexVoie(0);
    BoutonSonOn1->show();
    BoutonSonOff1->hide();
}

// The export buttons: the work and its state live in ExportsFenetre.
void TLecteurZR7_Principale::BoutonAviClick() { ExportsDe(this)->BoutonAviClick(); }
void TLecteurZR7_Principale::BoutonCopieClick() { CopieDe(this)->BoutonCopieClick(); }
void TLecteurZR7_Principale::BoutonPhotoClick() { ExportsDe(this)->BoutonPhotoClick(); }
// With films shown together the slider is the clock: a mark is a second of
// the selected film, which the extraction cuts.
void TLecteurZR7_Principale::OxBouton1Click()
{
    ExportsDe(this)->OxBouton1Click();
    if (MosaiqueFenetre->Active())
        MarqueDebut = MosaiqueFenetre->SecondeDuFilmSelectionne();
}
void TLecteurZR7_Principale::OxBouton2Click()
{
    ExportsDe(this)->OxBouton2Click();
    if (MosaiqueFenetre->Active())
        MarqueFin = MosaiqueFenetre->SecondeDuFilmSelectionne();
}
void TLecteurZR7_Principale::OxBouton3Click() { ExportsDe(this)->OxBouton3Click(); }

bool TLecteurZR7_Principale::HandleFilmEnd()
{
    int r = PrendreMutexVoie(0);
    const bool lecture = Voies[0].FlagLecture != 0;
    const bool fin = Voies[0].FlagFinDeFilm != 0;
    if (r == 0)
        RendreMutexVoie(0);
    const FinDeFilm action =
        DeciderFinDeFilm(lecture, fin, FlagBoucle->isChecked(), FlagEnchainer->isChecked());
    if (action == FinDeFilm::Continuer)
        return false;
    StopPlayback();
    if (action == FinDeFilm::Arreter)
        return true;

    TimerAffichage->stop();
    Attendre(AttenteArretLecteurMs);
    SecondeDepart = 0;
    PositionSecondes = 0;
    {
        const QSignalBlocker bloque(CurseurMinutes1);
        CurseurMinutes1->setValue(0);
    }
    if (action == FinDeFilm::Enchainer) {
        char precedent[LongueurCheminFilm + 1];
        CopierTexte(precedent, sizeof precedent, CheminFilm);
        if (!NextFilmName() || !RelireFilmEnchaine()) {
            CopierTexte(CheminFilm, sizeof CheminFilm, precedent);
            TimerAffichage->start();
            return true;
        }
    }
    r = PrendreMutexVoie(0);
    Voies[0].FlagFinDeFilm = 0;
    if (r == 0)
        RendreMutexVoie(0);
    ViderMesuresVisibles();
    Attendre(AttenteArretLecteurMs);
    StartPlayback();
    TimerAffichage->start();
    return true;
}

bool TLecteurZR7_Principale::RelireFilmEnchaine()
{
    EnteteFilm entete;
    if (LireEnteteFilm(CheminFilm, entete) != 0)
        return false;
    NbImagesFilm = entete.NbImages;
    DureeFilm = entete.DureeMs / 1000;
    const DatesFilm dates = LireDatesFilm(CheminFilm);
    DateDebutFilm = dates.Debut;
    DateFinFilm = dates.Fin;
    FlagDatesFilm = dates.Presentes ? 1 : 0;
    {
        const QSignalBlocker bloque(CurseurMinutes1);
        CurseurMinutes1->setMaximum(int(DureeFilm));
        CurseurMinutes1->setTickInterval(EcartGraduations(DureeFilm));
        CurseurMinutes1->setValue(0);
    }
    const std::string son = NomCompagnon(CheminFilm, "pcm");
    CopierTexte(Voies[0].CheminSon, sizeof Voies[0].CheminSon, son.c_str());
    MontrerLecture();
    NavigationFenetre->FilmCharge();
    return true;
}

void TLecteurZR7_Principale::ViderMesuresVisibles()
{
    for (QWidget* m : {DMesures1, DMesures2})
        if (m && m->isVisible())
            ViderMemo2(m);
}

void TLecteurZR7_Principale::MontrerMesuresDeLaPosition()
{
    // Whole seconds, as the measure reader compares them.
    QString affichage;
    if (Voies[0].FlagMesuresPresentes > 0 && Voies[0].CheminSon[0] != '\0') // written by this thread only
        affichage = AffichageMesuresAuTemps(NomCompagnon(Voies[0].CheminSon, "msr"), uint64_t(PositionSecondes) * 1000);
    for (QWidget* m : {DMesures1, DMesures2})
        if (m && m->isVisible())
            RemplirMesures(m, affichage);
}

// ----------------------------------------------------- position and display

void TLecteurZR7_Principale::TimerAffichageTimer()
{
    if (HauteurFilm != HauteurAppliquee || LargeurFilm != LargeurAppliquee) {
        HauteurAppliquee = HauteurFilm;
        LargeurAppliquee = LargeurFilm;
        LayoutPicture();
    }
    if (MosaiqueFenetre->Active()) // the clock follows its films itself
        return;
    // Read without the lock: a stale value only delays the tick's work.
    if (Voies[0].FlagLecture == 0 || Voies[0].FlagPause == 1)
        return;
    if (LectureJklFenetre->TraiterDebutDeFilm() || HandleFilmEnd())
        return;
    // While the user holds the slider it is theirs: moving it under the
    // mouse would make the release seek to the playback position instead
    // of where it was dropped.
    if (CurseurMinutes1->isSliderDown())
        return;
    const int r = PrendreMutexVoie(0);
    const double pourcent = Voies[0].PourcentFilm;
    // Progress of a run the reader has not yet replaced (a restart, Play
    // just after a selection) would move the slider to the old run's place
    // and could overwrite SecondeDepart before the new run reads it.
    const bool runCourant = Voies[0].NumeroRun == Voies[0].NumeroDemande;
    if (r == 0)
        RendreMutexVoie(0);
    if (!runCourant)
        return;
    const uint32_t p = SecondeJouee(DureeFilm, pourcent);
    if (int32_t(p) == SecondeDepart)
        return;
    SecondeDepart = int32_t(p);
    {
        const QSignalBlocker bloque(CurseurMinutes1);
        CurseurMinutes1->setValue(int(p));
    }
    uint32_t position = 0;
    if (PositionDuCurseur(CurseurMinutes1->value(), CurseurMinutes1->maximum(), DureeFilm, position))
        PositionSecondes = position;
    MontrerLecture();
}

void TLecteurZR7_Principale::CurseurMinutes1MouseUp()
{
    if (MosaiqueFenetre->Active())
        return MosaiqueFenetre->CurseurRelache();
    // The wait lets the running passes of the reader, sound and measures
    // see the stop before the position moves; a stopped channel has none,
    // and a seek or picture step from there goes at once.
    const bool enCours = Voies[0].FlagLecture != 0; // written by this thread only
    StopPlayback();
    if (enCours)
        Attendre(AttenteArretLecteurMs);
    SecondeDepart = CurseurMinutes1->value();
    uint32_t position = 0;
    if (PositionDuCurseur(CurseurMinutes1->value(), CurseurMinutes1->maximum(), DureeFilm, position))
        PositionSecondes = position;
    const int r = PrendreMutexVoie(0);
    Voies[0].FlagRafraichir = 1;
    ++Voies[0].NumeroDemande;
    if (r == 0)
        RendreMutexVoie(0);
    ReveillerVoie(0);
    MontrerLecture();
    MontrerMesuresDeLaPosition();
}

// ------------------------------------------------------------ picture area

void TLecteurZR7_Principale::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    FormResize();
}

void TLecteurZR7_Principale::FormResize()
{
    LayoutPicture();
}

void TLecteurZR7_Principale::LayoutPicture()
{
    const int hauteurPied = FlagMasque ? 0 : HauteurPied;
    Pied->setVisible(!FlagMasque);
    Pied->setGeometry(0, height() - HauteurPied, width(), HauteurPied);
    // The day strip, when there is a day, lies between the picture and the footer.
    const int hauteurJour =
        (!FlagMasque && ChronologieFenetre && ChronologieFenetre->Utile()) ? HauteurChronologie : 0;
    if (ChronologieFenetre) {
        ChronologieFenetre->setVisible(hauteurJour > 0);
        ChronologieFenetre->setGeometry(0, height() - hauteurPied - hauteurJour, width(), hauteurJour);
    }
    Corps->setGeometry(0, 0, width(), height() - hauteurPied - hauteurJour);
    PanelImage->setGeometry(Biseau, Biseau, Corps->width() - 2 * Biseau, Corps->height() - 2 * Biseau);

    Scroll->setVisible(!(MosaiqueFenetre && MosaiqueFenetre->Disposer()));
    const Rapport r = RapportAffichage(LargeurFilm, HauteurFilm);
    if (!FlagMasque && FlagTailleReelle->isChecked()) {
        // Real size: the scroll box takes the whole panel and the picture
        // keeps its own size; scroll bars appear when it is larger.
        const Boite b = BoiteTailleReelle(r, LargeurFilm, HauteurFilm, PanelImage->width(), PanelImage->height());
        Scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
        Scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
        Scroll->setWidgetResizable(false);
        Scroll->setGeometry(0, 0, PanelImage->width(), PanelImage->height());
        Image1->setGeometry(b.gauche, b.haut, b.largeur, b.hauteur);
        toileImage_->resize(b.gauche + b.largeur, b.haut + b.hauteur);
    } else {
        // Fitted (also in full screen): the scroll box is the picture's box
        // and never scrolls.
        const Boite b = BoiteAjustee(r, PanelImage->width(), PanelImage->height());
        Scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        Scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        Scroll->setWidgetResizable(true);
        Scroll->setGeometry(b.gauche, b.haut, b.largeur, b.hauteur);
        toileImage_->resize(b.largeur, b.hauteur);
        Image1->setGeometry(0, 0, b.largeur, b.hauteur);
    }
    if (!FlagMasque) {
        const LargeursPied l = CalculerLargeursPied(Pied->width(), CurseurMinutes1->x());
        BlocLecture1->resize(l.blocLecture, BlocLecture1->height());
        CurseurMinutes1->resize(l.curseur, CurseurMinutes1->height());
    }
    PlaceMeasureWindows();
}

void TLecteurZR7_Principale::moveEvent(QMoveEvent* event)
{
    QWidget::moveEvent(event);
    FormEndDock();
}

// The window cannot be docked here; moving it is what leaves the measure
// windows behind, so they follow each move.
void TLecteurZR7_Principale::FormEndDock()
{
    PlaceMeasureWindows();
}

void TLecteurZR7_Principale::PlaceMeasureWindows()
{
    // The scroll box's own place on the screen: the window system's frame
    // around the main window then needs no fixed allowance, and the
    // measure windows cover exactly the lower third of the picture area.
    const QPoint coin = Scroll->mapToGlobal(QPoint(0, 0));
    const Boite place = PlaceFenetreMesures(Boite{coin.x(), coin.y(), Scroll->width(), Scroll->height()});
    for (QWidget* m : {DMesures1, DMesures2}) {
        if (!m)
            continue;
        try {
            m->setGeometry(place.gauche, place.haut, place.largeur, place.hauteur);
        } catch (...) {
            // A measure window that cannot be placed stays where it is.
        }
    }
}

void TLecteurZR7_Principale::BoutonMasquerClick()
{
    FlagMasque = 1;
    LayoutPicture();
}

void TLecteurZR7_Principale::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape)
        FormKeyPress(CaractereEchap);
    QWidget::keyPressEvent(event);
}

void TLecteurZR7_Principale::FormKeyPress(int caractere)
{
    if (caractere == CaractereEchap && FlagMasque) {
        FlagMasque = 0;
        LayoutPicture();
    }
}

void TLecteurZR7_Principale::Image1DblClick()
{
    FlagMasque = FlagMasque ? 0 : 1;
    LayoutPicture();
}

void TLecteurZR7_Principale::FlagTailleReelleClick()
{
    LayoutPicture();
}

void TLecteurZR7_Principale::MontrerFenetresMesures(bool visibles)
{
    for (QWidget* m : {DMesures1, DMesures2})
        if (m)
            m->setVisible(visibles);
}

void TLecteurZR7_Principale::LabelOpaciteClick()
{
    MontrerFenetresMesures(LabelOpacite->isChecked());
}

void TLecteurZR7_Principale::OpaciteChange()
{
    // A running timer is left to fire: changes made meanwhile are applied
    // together, and a long drag does not put the change off.
    if (!TimerLEO->isActive())
        TimerLEO->start();
}

void TLecteurZR7_Principale::TimerLEOTimer()
{
    TimerLEO->stop();
    // The backdrop (window 17) only: the letters of window 1 stay opaque.
    if (DMesures2)
        DMesures2->setWindowOpacity(Opacite->value() / 255.0);
}
