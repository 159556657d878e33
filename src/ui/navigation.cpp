#include "ui/navigation.h"

#include "core/boitemessage.h"
#include "core/etat.h"
#include "engine/index_images.h"
#include "engine/th_indexeur.h"
#include "ui/dialogues.h"
#include "ui/image_etiree.h"
#include "ui/lecteurzr7_principale.h"
#include "ui/mosaique.h"
#include "ui/oxbouton.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>

namespace {

// Room between the read-out and the picture label.
constexpr int EcartEtiquette = 16;

const char* const TexteHeureIncorrecte = "Heure incorrecte : tapez hh:mm:ss";
const char* const TexteHorsDuFilm = "Cette heure n'est pas dans le film";

const char* const BulleNavigation =
    "Espace : lecture / pause\n"
    "Gauche / Droite : -5 s / +5 s\n"
    "Haut / Bas : +60 s / -60 s\n"
    "J / K / L : arrière / pause / avant (encore : plus vite)\n"
    "Origine / Fin : début / dernière image\n"
    "« . » / « , » : image suivante / précédente\n"
    "Ctrl+G : aller à une heure\n"
    "Échap : quitter le plein écran";

} // namespace

Navigation::Navigation(TLecteurZR7_Principale* fenetre) : QObject(fenetre), f_(fenetre)
{
    indexeur_ = std::make_unique<Th_Indexeur>();
    LabelImage = new QLabel(f_->BlocLecture1);
    LabelImage->hide();
    f_->CurseurMinutes1->setToolTip(QString::fromUtf8(BulleNavigation));
    LabelImage->setToolTip(QString::fromUtf8(BulleNavigation));
    // A slider moved by the user (drag, click, wheel) is a seek to a
    // second: a picture step asked before no longer holds.
    connect(f_->CurseurMinutes1, &QSlider::valueChanged, this, [this] {
        if (!deplacementInterne_)
            OublierImageDemandee();
    });
    connect(f_->Image1, &TImageEtiree::ImageRemise, this, &Navigation::ImageRemise);
    minuterie_ = new QTimer(this);
    minuterie_->setInterval(IntervalleEtiquetteImageMs);
    connect(minuterie_, &QTimer::timeout, this, &Navigation::MettreAJourEtiquette);
    minuterie_->start();
    qApp->installEventFilter(this);
}

Navigation::~Navigation()
{
    if (qApp)
        qApp->removeEventFilter(this);
    indexeur_.reset(); // cancels and waits
    PublierIndex(nullptr, nullptr);
}

void Navigation::FilmCharge()
{
    OublierImageDemandee();
    indexeur_->Demander(CheminFilm, TypeFilm);
    LabelImage->hide();
}

void Navigation::OublierImageDemandee()
{
    const int r = PrendreMutexVoie(0);
    Voies[0].ImageDemandee = -1;
    if (r == 0)
        RendreMutexVoie(0);
}

bool Navigation::eventFilter(QObject* objet, QEvent* evenement)
{
    if (evenement->type() != QEvent::KeyPress)
        return false;
    auto* widget = qobject_cast<QWidget*>(objet);
    if (widget == nullptr || widget->window() != f_)
        return false;
    // Typing in the password or rate field keeps its keys (key presses go
    // to the widget with the focus).
    if (qobject_cast<QLineEdit*>(widget) != nullptr)
        return false;
    auto* touche = static_cast<QKeyEvent*>(evenement);
    const Qt::KeyboardModifiers m = touche->modifiers();
    const ActionTouche action = ActionPourTouche(touche->key(), m.testFlag(Qt::ControlModifier),
                                                 m.testFlag(Qt::AltModifier), touche->text().toStdString());
    if (action == ActionTouche::Aucune)
        return false;
    Executer(action);
    return true;
}

bool Navigation::Executer(ActionTouche action)
{
    if (f_->MosaiqueFenetre && f_->MosaiqueFenetre->Active())
        return f_->MosaiqueFenetre->Executer(action);
    // Without a film the transport is disabled, and so are the keys.
    const bool film = f_->BoutonPlay1->Enabled() || f_->BoutonStop1->Visible();
    if (!film)
        return false;
    const int position = f_->CurseurMinutes1->value();
    const int duree = f_->CurseurMinutes1->maximum();
    switch (action) {
    case ActionTouche::Aucune:
        return false;
    case ActionTouche::LecturePause:
        if (f_->BoutonStop1->Visible())
            f_->BoutonStop1Click();
        else
            f_->BoutonPlay1Click();
        return true;
    case ActionTouche::Reculer5:
        AllerASeconde(SecondeApresSaut(position, -SautCourtSecondes, duree));
        return true;
    case ActionTouche::Avancer5:
        AllerASeconde(SecondeApresSaut(position, SautCourtSecondes, duree));
        return true;
    case ActionTouche::Avancer60:
        AllerASeconde(SecondeApresSaut(position, SautLongSecondes, duree));
        return true;
    case ActionTouche::Reculer60:
        AllerASeconde(SecondeApresSaut(position, -SautLongSecondes, duree));
        return true;
    case ActionTouche::Debut:
        OublierImageDemandee();
        f_->BoutonDebut1Click();
        return true;
    case ActionTouche::ImageSuivante:
        return Pas(1);
    case ActionTouche::ImagePrecedente:
        return Pas(-1);
    case ActionTouche::AllerA:
        AllerA();
        return true;
    }
    return false;
}

void Navigation::AllerASeconde(int s)
{
    f_->CurseurMinutes1->setValue(s);
    OublierImageDemandee();
    f_->CurseurMinutes1MouseUp();
}

bool Navigation::Pas(int sens)
{
    const std::shared_ptr<const IndexImages> index = IndexFilm(CheminFilm);
    if (!index)
        return false;
    // A step while playing pauses first: the reader is stopped before the
    // picture on screen is read, so that the step starts from the last
    // picture it showed.
    if (Voies[0].FlagLecture != 0) { // written by this thread only
        f_->StopPlayback();
        f_->Attendre(AttenteArretLecteurMs);
    }
    int r = PrendreMutexVoie(0);
    const int64_t montree = Voies[0].ImageMontree;
    if (r == 0)
        RendreMutexVoie(0);
    const int64_t k = ImageDuPas(montree, sens, index->Nombre());
    if (k < 0)
        return false;
    const uint32_t duree = static_cast<uint32_t>(f_->CurseurMinutes1->maximum());
    const int s = static_cast<int>(MsPourImage(k, duree * 1000u, index->Nombre()) / 1000);
    r = PrendreMutexVoie(0);
    Voies[0].ImageDemandee = k;
    Voies[0].SecondeImageDemandee = s;
    if (r == 0)
        RendreMutexVoie(0);
    deplacementInterne_ = true;
    f_->CurseurMinutes1->setValue(s);
    deplacementInterne_ = false;
    // The window's seek: stops playback (a step while playing pauses
    // there), then asks the reader for the picture.
    f_->CurseurMinutes1MouseUp();
    return true;
}

void Navigation::AllerA()
{
    DemandeTexte d;
    d.titre = QString::fromUtf8("Aller à…");
    d.libelle = FlagDatesFilm ? QStringLiteral("Heure (hh:mm:ss) :")
                              : QString::fromUtf8("Temps depuis le début (hh:mm:ss) :");
    d.texte = QStringLiteral("00:00:00");
    d.parent = f_;
    QString reponse;
    if (!DemanderTexte(d, reponse))
        return;
    const int secondes = LireHeureSaisie(reponse.toStdString(), FlagDatesFilm != 0);
    if (secondes < 0) {
        AfficherMessage(TexteHeureIncorrecte, std::string(), f_);
        return;
    }
    const int s = SecondePourAllerA(secondes, static_cast<uint32_t>(f_->CurseurMinutes1->maximum()),
                                    FlagDatesFilm != 0, DateDebutFilm, DateFinFilm);
    if (s < 0) {
        AfficherMessage(TexteHorsDuFilm, std::string(), f_);
        return;
    }
    AllerASeconde(s);
}

void Navigation::ImageRemise()
{
    const int r = PrendreMutexVoie(0);
    imageEcran_ = Voies[0].ImageMontree;
    imageEcranExacte_ = Voies[0].ImageMontreeExacte != 0;
    if (r == 0)
        RendreMutexVoie(0);
    MettreAJourEtiquette();
}

void Navigation::MettreAJourEtiquette()
{
    const std::shared_ptr<const IndexImages> index = IndexFilm(CheminFilm);
    // Not ImageMontree: the reader notes a picture before the window has
    // taken it.
    const int64_t montree = imageEcran_;
    const bool exacte = imageEcranExacte_;
    const bool mosaique = f_->MosaiqueFenetre && f_->MosaiqueFenetre->Active(); // its read-out counts per tile
    if (!index || montree < 0 || !exacte || !f_->NomDeLaSequence1->isVisible() || mosaique) {
        LabelImage->hide();
        return;
    }
    const QString texte = QString::fromStdString(TexteImage(montree, index->Nombre()));
    if (LabelImage->text() != texte) {
        LabelImage->setText(texte);
        LabelImage->adjustSize();
    }
    const QRect lecture = f_->NomDeLaSequence1->geometry();
    LabelImage->move(lecture.right() + EcartEtiquette, lecture.top());
    LabelImage->show();
}
