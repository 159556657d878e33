#include "ui/lecture_jkl.h"

#include "core/etat.h"
#include "engine/fichierfilm.h"
#include "engine/index_images.h"
#include "engine/th_indexeur.h"
#include "ui/horloge.h"
#include "ui/icones.h"
#include "ui/lecteurzr7_principale.h"
#include "ui/oxbouton.h"
#include "ui/position_calcul.h"
#include "ui/selection_calcul.h"

#include <QApplication>
#include <QCheckBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QTimer>
#include <QTransform>

namespace {

// Under Play, in the free space left of the AVI rate options: "beside
// Play" without moving any designed control.
constexpr int ArriereX = 91, ArriereY = 93, ArriereLargeur = 55, ArriereHauteur = 20;

const char* const BulleArriere = "Lecture arrière (J)";

// The reverse button looks like Play, its picture turned round.
void CopierApparence(const TOxBouton& modele, TOxBouton& b)
{
    b.SetColorFrom(modele.ColorFrom());
    b.SetColorTo(modele.ColorTo());
    b.SetDisabledColorFrom(modele.DisabledColorFrom());
    b.SetDisabledColorTo(modele.DisabledColorTo());
    b.SetColorOverFrom(modele.OverColorFrom());
    b.SetColorOverTo(modele.OverColorTo());
    b.SetShadowColor(modele.ShadowColor());
    b.SetBorderColor(modele.BorderColor());
    b.SetShadow(modele.TextShadow());
    b.SetFont(modele.Font());
    b.SetOverFont(modele.OverFont());
    b.SetDisabledFont(modele.DisabledFont());
    b.SetFontColor(modele.FontColor());
    b.SetOverFontColor(modele.OverFontColor());
    b.SetDisabledFontColor(modele.DisabledFontColor());
    b.SetImage(modele.Image().transformed(QTransform().scale(-1, 1)));
    b.SetImageLeft(modele.ImageLeft());
    b.SetImageTop(modele.ImageTop());
}

int SensEcrit()
{
    const int r = PrendreMutexVoie(0);
    const int sens = Voies[0].Sens;
    if (r == 0)
        RendreMutexVoie(0);
    return sens;
}

} // namespace

LectureJkl::LectureJkl(const AccesJkl& acces) : QObject(acces.fenetre), acces_(acces), f_(acces.fenetre)
{
    BoutonArriere = new TOxBouton(f_->BlocLecture1);
    BoutonArriere->setObjectName(QStringLiteral("BoutonArriere1"));
    BoutonArriere->setGeometry(ArriereX, ArriereY, ArriereLargeur, ArriereHauteur);
    CopierApparence(*f_->BoutonPlay1, *BoutonArriere);
    BoutonArriere->setToolTip(QString::fromUtf8(BulleArriere));
    BoutonArriere->SetEnabled(f_->BoutonPlay1->Enabled());
    connect(BoutonArriere, &TOxBouton::OnClick, this, [this] { Executer(ToucheJkl::Arriere); });
    // After the window's own handler: the label then gets its direction.
    connect(f_->JaugeVitesse, &QSlider::valueChanged, this, &LectureJkl::MontrerVitesse);
    qApp->installEventFilter(this);
}

LectureJkl::~LectureJkl()
{
    if (qApp)
        qApp->removeEventFilter(this);
}

bool LectureJkl::FilmCharge() const
{
    return f_->BoutonPlay1->Enabled() || f_->BoutonStop1->Visible();
}

int LectureJkl::SensCourant() const
{
    if (THorloge* h = acces_.horloge ? acces_.horloge() : nullptr)
        return h->Sens();
    return SensEcrit();
}

EtatJkl LectureJkl::Etat() const
{
    EtatJkl e;
    e.cran = f_->JaugeVitesse->value();
    if (THorloge* h = acces_.horloge ? acces_.horloge() : nullptr) {
        // Several films: the clock plays, whether the selected film has a
        // picture now or not.
        e.sens = h->Sens();
        e.lecture = h->EnLecture();
        return e;
    }
    const int r = PrendreMutexVoie(0);
    e.sens = Voies[0].Sens < 0 ? -1 : 1;
    e.lecture = Voies[0].FlagLecture != 0 && Voies[0].FlagPause == 0;
    if (r == 0)
        RendreMutexVoie(0);
    return e;
}

bool LectureJkl::Executer(ToucheJkl touche)
{
    if (!FilmCharge() || touche == ToucheJkl::Aucune)
        return false;
    if (touche == ToucheJkl::Fin) {
        AllerALaFin();
        return true;
    }
    const EtatJkl avant = Etat();
    const EtatJkl apres = TransitionJkl(avant, touche);
    if (!apres.lecture) {
        if (avant.lecture)
            f_->BoutonStop1Click();
        return true;
    }
    if (apres.cran != f_->JaugeVitesse->value())
        f_->JaugeVitesse->setValue(apres.cran); // the window applies the speed
    if (apres.sens != SensCourant())
        FixerSens(apres.sens, Voies[0].FlagLecture != 0); // written by this thread only
    if (!avant.lecture) {
        // Starts a stopped film, or resumes a paused one, in the direction
        // just written.
        commandeJkl_ = true;
        f_->BoutonPlay1Click();
        commandeJkl_ = false;
    }
    MontrerVitesse();
    return true;
}

void LectureJkl::AvantPlay()
{
    if (commandeJkl_ || SensCourant() > 0)
        return;
    f_->JaugeVitesse->setValue(CranVitesseNormal);
    FixerSens(1, Voies[0].FlagLecture != 0); // written by this thread only
}

void LectureJkl::FixerSens(int sens, bool reprendre)
{
    if (THorloge* h = acces_.horloge ? acces_.horloge() : nullptr) {
        // Every tile turns round with the clock, from the selected film's
        // picture on screen.
        h->FixerSens(sens);
        MontrerVitesse();
        return;
    }
    Reprise reprise;
    if (reprendre) {
        int r = PrendreMutexVoie(0);
        const int64_t montree = Voies[0].ImageMontree;
        const int64_t ms = Voies[0].MsImageMontree;
        const bool exacte = Voies[0].ImageMontreeExacte != 0;
        if (r == 0)
            RendreMutexVoie(0);
        reprise = RepriseSurImageMontree(montree, ms, exacte, SecondeDepart, DureeFilm);
        SecondeDepart = reprise.seconde;
        {
            const QSignalBlocker bloque(f_->CurseurMinutes1);
            f_->CurseurMinutes1->setValue(reprise.seconde);
        }
        uint32_t position = 0;
        if (PositionDuCurseur(f_->CurseurMinutes1->value(), f_->CurseurMinutes1->maximum(), DureeFilm, position))
            PositionSecondes = position;
    }
    const int r = PrendreMutexVoie(0);
    Voies[0].Sens = static_cast<signed char>(sens < 0 ? -1 : 1);
    if (reprendre) {
        // The run going the other way ends; the next one starts on the
        // picture on screen.
        Voies[0].ImageDemandee = reprise.image;
        Voies[0].SecondeImageDemandee = reprise.seconde;
        Voies[0].FlagFinDeFilm = 0;
        Voies[0].FlagDebutDeFilm = 0;
        ++Voies[0].NumeroDemande;
    }
    if (r == 0)
        RendreMutexVoie(0);
    MontrerVitesse();
}

void LectureJkl::MontrerVitesse()
{
    const std::string texte = TexteVitesseSens(f_->JaugeVitesse->value(), SensCourant());
    f_->LabelVitesse->setText(QString::fromLatin1(texte.c_str()));
    f_->LabelVitesse->adjustSize();
}

void LectureJkl::AllerALaFin()
{
    if (THorloge* h = acces_.horloge ? acces_.horloge() : nullptr) {
        // Several films: every tile at the time of the last picture of the
        // film that ends last.
        if (h->EnLecture())
            f_->BoutonStop1Click();
        h->AllerALaFin();
        return;
    }
    QSlider* curseur = f_->CurseurMinutes1;
    const int maximum = curseur->maximum();
    const std::shared_ptr<const IndexImages> index = IndexFilm(CheminFilm);
    if (index && index->Nombre() > 0) {
        // The last picture exactly, at the second the slider gives it.
        const int64_t derniere = index->Nombre() - 1;
        const int s = static_cast<int>(
            MsPourImage(derniere, static_cast<uint32_t>(maximum) * 1000u, index->Nombre()) / 1000);
        curseur->setValue(s); // a moved slider forgets a picture asked before
        const int r = PrendreMutexVoie(0);
        Voies[0].ImageDemandee = derniere;
        Voies[0].SecondeImageDemandee = s;
        if (r == 0)
            RendreMutexVoie(0);
    } else {
        // Without the index the place is proportional: the file's very end
        // holds no picture to show, its last second does.
        curseur->setValue(maximum > 0 ? maximum - 1 : 0);
    }
    f_->CurseurMinutes1MouseUp();
}

bool LectureJkl::TraiterDebutDeFilm()
{
    const int r = PrendreMutexVoie(0);
    const bool lecture = Voies[0].FlagLecture != 0;
    const bool debut = Voies[0].FlagDebutDeFilm != 0;
    if (r == 0)
        RendreMutexVoie(0);
    const DebutDeFilm action = DeciderDebutDeFilm(lecture, debut, f_->FlagEnchainer->isChecked());
    if (action == DebutDeFilm::Continuer)
        return false;
    f_->StopPlayback();
    f_->TimerAffichage->stop();
    f_->Attendre(AttenteArretLecteurMs);
    if (!(action == DebutDeFilm::Precedent && EnchainerPrecedent()))
        ArreterAuDebut();
    f_->TimerAffichage->start();
    return true;
}

bool LectureJkl::EnchainerPrecedent()
{
    char precedent[LongueurCheminFilm + 1];
    if (!CalculerFilmPrecedent(CheminFilm, precedent, sizeof precedent) || !EstFichierOrdinaire(precedent))
        return false;
    char courant[LongueurCheminFilm + 1];
    CopierTexte(courant, sizeof courant, CheminFilm);
    CopierTexte(CheminFilm, sizeof CheminFilm, precedent);
    if (!acces_.relireFilm()) {
        CopierTexte(CheminFilm, sizeof CheminFilm, courant);
        return false;
    }
    // From the previous film's end, still backwards.
    SecondeDepart = static_cast<int32_t>(DureeFilm);
    PositionSecondes = DureeFilm;
    {
        const QSignalBlocker bloque(f_->CurseurMinutes1);
        f_->CurseurMinutes1->setValue(f_->CurseurMinutes1->maximum());
    }
    const int r = PrendreMutexVoie(0);
    Voies[0].FlagDebutDeFilm = 0;
    Voies[0].Sens = -1;
    Voies[0].ImageDemandee = -1;
    if (r == 0)
        RendreMutexVoie(0);
    acces_.viderMesures();
    f_->Attendre(AttenteArretLecteurMs);
    f_->StartPlayback();
    acces_.montrerPosition();
    MontrerVitesse();
    return true;
}

void LectureJkl::ArreterAuDebut()
{
    SecondeDepart = 0;
    PositionSecondes = 0;
    {
        const QSignalBlocker bloque(f_->CurseurMinutes1);
        f_->CurseurMinutes1->setValue(0);
    }
    const int r = PrendreMutexVoie(0);
    Voies[0].FlagDebutDeFilm = 0;
    // Play and L start forwards from there.
    Voies[0].Sens = 1;
    if (r == 0)
        RendreMutexVoie(0);
    acces_.montrerPosition();
    MontrerVitesse();
}

bool LectureJkl::eventFilter(QObject* objet, QEvent* evenement)
{
    if (evenement->type() == QEvent::EnabledChange && objet == f_->BoutonPlay1) {
        // Usable exactly when Play is: with a film.
        BoutonArriere->SetEnabled(f_->BoutonPlay1->Enabled());
        return false;
    }
    if (evenement->type() != QEvent::KeyPress)
        return false;
    auto* widget = qobject_cast<QWidget*>(objet);
    if (widget == nullptr || widget->window() != f_ || qobject_cast<QLineEdit*>(widget) != nullptr)
        return false;
    auto* touche = static_cast<QKeyEvent*>(evenement);
    const Qt::KeyboardModifiers m = touche->modifiers();
    const ToucheJkl action =
        ToucheJklPour(touche->key(), m.testFlag(Qt::ControlModifier), m.testFlag(Qt::AltModifier));
    if (action == ToucheJkl::Aucune)
        return false;
    // A held J or L would run the speed up to x 16 at once: only presses count.
    if (touche->isAutoRepeat() && action != ToucheJkl::Pause)
        return true;
    return Executer(action);
}
