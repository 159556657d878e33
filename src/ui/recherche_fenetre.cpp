#include "ui/recherche_fenetre.h"

#include "core/etat.h"
#include "engine/fichierfilm.h"
#include "engine/index_images.h"
#include "engine/recherche_mouvement.h"
#include "engine/th_indexeur.h"
#include "export/incrustation.h"
#include "ui/image_etiree.h"
#include "ui/lecteurzr7_principale.h"

#include <QAbstractSpinBox>
#include <QApplication>
#include <QHBoxLayout>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QStyle>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

// "P" from within this much after a moment's start goes to the one before.
constexpr double MargeVoisinS = 0.5;
// The position counts as still at the moment last jumped to within this.
constexpr double MargeSautS = 1.0;
// A rectangle narrower or lower than this (control pixels) is a slip.
constexpr double TraceMinimal = 3;
// How often the panel checks that the moments still belong to the film.
constexpr int VerificationFilmMs = 500;
constexpr int HauteurMarque = 4;
const QColor CouleurRectangle(255, 64, 32);
const QColor CouleurMarque(255, 140, 0);

// A see-through layer over a control: draws, lets every mouse event through.
class Calque : public QWidget
{
public:
    Calque(QWidget* parent, std::function<void(QPainter&, const QSize&)> dessin)
        : QWidget(parent), dessin_(std::move(dessin))
    {
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setAttribute(Qt::WA_NoSystemBackground);
        setGeometry(parent->rect());
        show();
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        dessin_(p, size());
    }

private:
    std::function<void(QPainter&, const QSize&)> dessin_;
};

double Borne(double v, double a, double b)
{
    return std::min(std::max(v, a), b);
}

} // namespace

RectangleMouvement RectangleDansLImage(QPointF a, QPointF b, QSizeF controle, const QRectF& partie, QSize image)
{
    RectangleMouvement r;
    if (controle.width() <= 0 || controle.height() <= 0 || image.width() <= 0 || image.height() <= 0)
        return r;
    auto versImage = [&](QPointF p, double& x, double& y) {
        const double u = Borne(p.x() / controle.width(), 0, 1), w = Borne(p.y() / controle.height(), 0, 1);
        x = (partie.x() + u * partie.width()) * image.width();
        y = (partie.y() + w * partie.height()) * image.height();
    };
    double x0, y0, x1, y1;
    versImage(a, x0, y0);
    versImage(b, x1, y1);
    r.x = static_cast<int>(std::floor(std::min(x0, x1)));
    r.y = static_cast<int>(std::floor(std::min(y0, y1)));
    r.largeur = std::min(static_cast<int>(std::ceil(std::max(x0, x1))), image.width()) - r.x;
    r.hauteur = std::min(static_cast<int>(std::ceil(std::max(y0, y1))), image.height()) - r.y;
    return r;
}

QRectF RectangleSurLeControle(const RectangleMouvement& r, QSizeF controle, const QRectF& partie, QSize image)
{
    if (image.width() <= 0 || image.height() <= 0 || partie.width() <= 0 || partie.height() <= 0)
        return QRectF();
    auto versControle = [&](double x, double y) {
        return QPointF((x / image.width() - partie.x()) / partie.width() * controle.width(),
                       (y / image.height() - partie.y()) / partie.height() * controle.height());
    };
    return QRectF(versControle(r.x, r.y), versControle(r.x + r.largeur, r.y + r.hauteur));
}

int MomentVoisin(const std::vector<MomentMouvement>& m, double position, int sens)
{
    if (sens > 0) {
        for (size_t i = 0; i < m.size(); ++i)
            if (m[i].debutS > position + 1e-6)
                return static_cast<int>(i);
        return -1;
    }
    for (size_t i = m.size(); i-- > 0;)
        if (m[i].debutS < position - MargeVoisinS)
            return static_cast<int>(i);
    return -1;
}

std::string TexteMoment(const MomentMouvement& m, bool dates, double debutJours, double finJours,
                        double dureeSecondes)
{
    char duree[64];
    std::snprintf(duree, sizeof duree, "%.1f s", std::max(0.0, m.finS - m.debutS));
    std::string d = duree;
    std::replace(d.begin(), d.end(), '.', ',');
    return TexteIncrustation(dates, debutJours, finJours, dureeSecondes, m.debutS) + "  (" + d + ")";
}

double PositionMontree()
{
    const int r = PrendreMutexVoie(0);
    const bool montree = Voies[0].ImageMontree >= 0;
    const int64_t ms = Voies[0].MsImageMontree;
    if (r == 0)
        RendreMutexVoie(0);
    return montree ? ms / 1000.0 : static_cast<double>(PositionSecondes);
}

void AllerExactementA(TLecteurZR7_Principale* f, double t)
{
    QSlider* c = f->CurseurMinutes1;
    const int s = static_cast<int>(Borne(t, c->minimum(), c->maximum()));
    c->setValue(s);
    // Set after the slider moved (a moved slider forgets a picture asked
    // for): the reader starts on that very picture when the index is built.
    // The search timed picture k at k x duration / count with the header's
    // duration in milliseconds: the same rule backwards, rounded, finds it
    // (the slider's whole seconds would miss it on a film of 10.5 s).
    const std::shared_ptr<const IndexImages> index = IndexFilm(CheminFilm);
    EnteteFilm e;
    if (index && index->Nombre() > 0 && LireEnteteFilm(CheminFilm, e) == 0) {
        const double k = std::llround(std::max(0.0, t) * e.NbImages * 1000.0 / e.DureeMs);
        const int r = PrendreMutexVoie(0);
        Voies[0].ImageDemandee = std::min<int64_t>(static_cast<int64_t>(k), index->Nombre() - 1);
        Voies[0].SecondeImageDemandee = s;
        if (r == 0)
            RendreMutexVoie(0);
    }
    f->CurseurMinutes1MouseUp();
}

struct RechercheMouvement::Resultat {
    std::string film;
    BilanRecherche bilan;
};

RechercheMouvement::RechercheMouvement(const AccesRecherche& acces, QObject* parent)
    : QObject(parent), acces_(acces)
{
    calqueImage_ = new Calque(acces_.image, [this](QPainter& p, const QSize& taille) {
        if (!aRectangle_)
            return;
        const QRectF r = RectangleSurLeControle(rect_, taille, acces_.image->PartieMontree(),
                                                acces_.image->Picture().size());
        p.setPen(QPen(CouleurRectangle, 2, Qt::DashLine));
        QColor fond = CouleurRectangle;
        fond.setAlpha(40);
        p.setBrush(fond);
        p.drawRect(r);
    });
    calqueCurseur_ = new Calque(acces_.curseur, [this](QPainter& p, const QSize& taille) {
        QSlider* c = acces_.curseur;
        if (moments_.empty() || c->maximum() <= c->minimum())
            return;
        const int poignee = c->style()->pixelMetric(QStyle::PM_SliderLength, nullptr, c);
        const int course = std::max(1, taille.width() - poignee);
        auto x = [&](double s) {
            const double v = Borne(s, c->minimum(), c->maximum());
            return poignee / 2.0 + course * (v - c->minimum()) / (c->maximum() - c->minimum());
        };
        p.setPen(Qt::NoPen);
        p.setBrush(CouleurMarque);
        for (const MomentMouvement& m : moments_) {
            const double a = x(m.debutS), b = std::max(x(m.finS), a + 3);
            p.drawRect(QRectF(a, taille.height() - HauteurMarque, b - a, HauteurMarque));
        }
    });
    acces_.image->installEventFilter(this);
    acces_.curseur->installEventFilter(this);
    qApp->installEventFilter(this);

    panneau_ = new QWidget(acces_.fenetre, Qt::Tool);
    panneau_->setWindowTitle(QStringLiteral("Recherche de mouvement"));
    auto* colonne = new QVBoxLayout(panneau_);
    aide_ = new QLabel(QString::fromUtf8("Maj + glisser sur l'image : rectangle à surveiller (Échap l'efface)"));
    aide_->setWordWrap(true);
    colonne->addWidget(aide_);
    auto* ligne = new QHBoxLayout;
    ligne->addWidget(new QLabel(QString::fromUtf8("Sensibilité")));
    sensibilite_ = new QSpinBox;
    sensibilite_->setRange(SensibiliteMin, SensibiliteMax);
    sensibilite_->setValue(SensibiliteDefaut);
    sensibilite_->setToolTip(QString::fromUtf8("1 : grands changements seulement ; 10 : petits changements"));
    ligne->addWidget(sensibilite_);
    ligne->addStretch();
    colonne->addLayout(ligne);
    ligne = new QHBoxLayout;
    chercher_ = new QPushButton(QStringLiteral("Chercher un mouvement"));
    annuler_ = new QPushButton(QStringLiteral("Annuler"));
    ligne->addWidget(chercher_);
    ligne->addWidget(annuler_);
    colonne->addLayout(ligne);
    progression_ = new QProgressBar;
    progression_->setRange(0, 1000);
    progression_->setTextVisible(false);
    colonne->addWidget(progression_);
    etat_ = new QLabel;
    colonne->addWidget(etat_);
    liste_ = new QListWidget;
    liste_->setIconSize(QSize(LargeurVignette, LargeurVignette * 9 / 16));
    liste_->setMinimumSize(LargeurVignette + 180, 240);
    colonne->addWidget(liste_);
    connect(chercher_, &QPushButton::clicked, this, &RechercheMouvement::Chercher);
    connect(annuler_, &QPushButton::clicked, this, &RechercheMouvement::Annuler);
    connect(liste_, &QListWidget::itemClicked, this, [this](QListWidgetItem* i) { AllerAuMoment(liste_->row(i)); });
    connect(liste_, &QListWidget::itemActivated, this, [this](QListWidgetItem* i) { AllerAuMoment(liste_->row(i)); });

    // Moments belong to the film searched: another film drops them.
    auto* verification = new QTimer(this);
    verification->setInterval(VerificationFilmMs);
    connect(verification, &QTimer::timeout, this, [this] {
        if (!moments_.empty() && acces_.film && acces_.film() != filmMoments_)
            Oublier();
    });
    verification->start();
    MettreAJourBoutons();
}

RechercheMouvement::~RechercheMouvement()
{
    arret_ = true;
    if (fil_.joinable())
        fil_.join();
    if (qApp)
        qApp->removeEventFilter(this);
}

void RechercheMouvement::FixerRectangle(const RectangleMouvement& r)
{
    rect_ = r;
    aRectangle_ = r.largeur > 0 && r.hauteur > 0;
    calqueImage_->update();
    MettreAJourBoutons();
}

void RechercheMouvement::EffacerRectangle()
{
    aRectangle_ = false;
    trace_ = false;
    calqueImage_->update();
    MettreAJourBoutons();
}

void RechercheMouvement::MettreAJourBoutons()
{
    const bool film = acces_.film && !acces_.film().empty();
    chercher_->setEnabled(aRectangle_ && film && !enCours_);
    annuler_->setVisible(enCours_);
    progression_->setVisible(enCours_);
    sensibilite_->setEnabled(!enCours_);
    if (aRectangle_)
        aide_->setText(QString::fromUtf8("Rectangle : %1, %2 ; %3 × %4 pixels (Échap l'efface)")
                           .arg(rect_.x)
                           .arg(rect_.y)
                           .arg(rect_.largeur)
                           .arg(rect_.hauteur));
    else
        aide_->setText(QString::fromUtf8("Maj + glisser sur l'image : rectangle à surveiller (Échap l'efface)"));
}

void RechercheMouvement::Chercher()
{
    const std::string film = acces_.film ? acces_.film() : std::string();
    if (enCours_ || !aRectangle_ || film.empty())
        return;
    if (fil_.joinable())
        fil_.join();
    ParametresRecherche p;
    p.cheminFilm = film;
    p.rectangle = rect_;
    p.sensibilite = sensibilite_->value();
    p.motDePasse = acces_.motDePasse ? acces_.motDePasse() : std::string();
    enCours_ = true;
    arret_ = false;
    progression_->setValue(0);
    etat_->setText(QString::fromUtf8("Recherche en cours…"));
    MettreAJourBoutons();
    fil_ = std::thread([this, p] {
        SuiviRecherche suivi;
        suivi.annuler = &arret_;
        suivi.progression = [this](int64_t fait, int64_t total) {
            const int v = total > 0 ? static_cast<int>(fait * 1000 / total) : 0;
            QMetaObject::invokeMethod(this, [this, v] { progression_->setValue(v); }, Qt::QueuedConnection);
        };
        auto r = std::make_shared<Resultat>();
        r->film = p.cheminFilm;
        r->bilan = ChercherMouvement(p, suivi);
        QMetaObject::invokeMethod(this, [this, r] { Terminer(r); }, Qt::QueuedConnection);
    });
    panneau_->show();
}

void RechercheMouvement::Annuler()
{
    arret_ = true;
}

void RechercheMouvement::Terminer(const std::shared_ptr<Resultat>& r)
{
    if (fil_.joinable())
        fil_.join();
    enCours_ = false;
    const BilanRecherche& b = r->bilan;
    if (b.resultat == ResultatRecherche::Terminee) {
        moments_ = b.moments;
        filmMoments_ = r->film;
        dernierSaut_ = -1;
        liste_->clear();
        const DatesFilm dates = LireDatesFilm(r->film);
        for (size_t i = 0; i < moments_.size(); ++i) {
            auto* item = new QListWidgetItem(QString::fromStdString(
                TexteMoment(moments_[i], dates.Presentes, dates.Debut, dates.Fin, b.dureeMs / 1000.0)));
            if (i < b.vignettes.size() && !b.vignettes[i].gris.empty()) {
                const VignetteMouvement& v = b.vignettes[i];
                const QImage gris(v.gris.data(), v.largeur, v.hauteur, v.largeur, QImage::Format_Grayscale8);
                item->setIcon(QIcon(QPixmap::fromImage(gris.copy())));
            }
            liste_->addItem(item);
        }
        etat_->setText(moments_.empty() ? QString::fromUtf8("Aucun mouvement dans le rectangle")
                                        : QString::fromUtf8("%1 moment(s) trouvé(s) ; N / P : suivant / précédent")
                                              .arg(moments_.size()));
        calqueCurseur_->update();
        emit MomentsChanges();
    } else {
        etat_->setText(QString::fromUtf8(MessageRecherche(b.resultat)));
    }
    MettreAJourBoutons();
    emit RechercheTerminee();
}

void RechercheMouvement::Oublier()
{
    dernierSaut_ = -1;
    moments_.clear();
    filmMoments_.clear();
    liste_->clear();
    etat_->clear();
    calqueCurseur_->update();
    emit MomentsChanges();
}

bool RechercheMouvement::AllerAuMoment(int i)
{
    if (i < 0 || i >= static_cast<int>(moments_.size()) || !acces_.allerA)
        return false;
    if (liste_->currentRow() != i)
        liste_->setCurrentRow(i);
    dernierSaut_ = i;
    acces_.allerA(moments_[static_cast<size_t>(i)].debutS);
    return true;
}

bool RechercheMouvement::Voisin(int sens)
{
    const double position = acces_.position ? acces_.position() : PositionMontree();
    // Right after a jump the picture shown may still be on its way: count
    // from the moment jumped to.
    if (dernierSaut_ >= 0 && dernierSaut_ < static_cast<int>(moments_.size()) &&
        std::fabs(position - moments_[static_cast<size_t>(dernierSaut_)].debutS) < MargeSautS)
        return AllerAuMoment(dernierSaut_ + sens);
    return AllerAuMoment(MomentVoisin(moments_, position, sens));
}

bool RechercheMouvement::FiltreImage(QEvent* e)
{
    TImageEtiree* image = acces_.image;
    switch (e->type()) {
    case QEvent::Resize:
        calqueImage_->setGeometry(image->rect());
        return false;
    case QEvent::MouseButtonPress: {
        auto* m = static_cast<QMouseEvent*>(e);
        if (m->button() != Qt::LeftButton || !(m->modifiers() & Qt::ShiftModifier))
            return false;
        trace_ = true;
        origine_ = m->position();
        return true;
    }
    case QEvent::MouseMove:
    case QEvent::MouseButtonRelease: {
        if (!trace_)
            return false;
        auto* m = static_cast<QMouseEvent*>(e);
        const QPointF p = m->position();
        FixerRectangle(RectangleDansLImage(origine_, p, image->size(), image->PartieMontree(), image->Picture().size()));
        if (e->type() == QEvent::MouseButtonRelease) {
            trace_ = false;
            if (std::fabs(p.x() - origine_.x()) < TraceMinimal || std::fabs(p.y() - origine_.y()) < TraceMinimal)
                EffacerRectangle();
            else
                panneau_->show();
        }
        return true;
    }
    default:
        return false;
    }
}

bool RechercheMouvement::eventFilter(QObject* objet, QEvent* e)
{
    if (objet == acces_.image)
        return FiltreImage(e);
    if (objet == acces_.curseur) {
        if (e->type() == QEvent::Resize)
            calqueCurseur_->setGeometry(acces_.curseur->rect());
        return false;
    }
    if (e->type() != QEvent::KeyPress)
        return false;
    auto* w = qobject_cast<QWidget*>(objet);
    if (w == nullptr || (w->window() != acces_.fenetre && w->window() != panneau_))
        return false;
    // Typing in a text or number field keeps its keys.
    QWidget* focus = QApplication::focusWidget();
    if (qobject_cast<QLineEdit*>(focus) || qobject_cast<QAbstractSpinBox*>(focus))
        return false;
    auto* k = static_cast<QKeyEvent*>(e);
    if (k->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))
        return false;
    switch (k->key()) {
    case Qt::Key_Escape:
        // Left to the window too (it leaves full screen).
        if (aRectangle_ || trace_)
            EffacerRectangle();
        return false;
    case Qt::Key_N:
        return Voisin(1) || !moments_.empty();
    case Qt::Key_P:
        return Voisin(-1) || !moments_.empty();
    default:
        return false;
    }
}
