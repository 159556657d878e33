#include "ui/chronologie.h"

#include "core/etat.h"
#include "engine/th_indexeur.h"
#include "ui/apercu.h"

#include <QHelpEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QTimer>
#include <QToolTip>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

namespace {

// Rows of the strip, from the top: hour labels, then the band of the films
// with the measure ticks at its top and the motion marks at its bottom.
constexpr int HautBande = 14;
constexpr int HauteurTic = 5;
constexpr int HauteurMarque = 6;
// Wheel units of one notch.
constexpr double UnitesCran = 120;
// Shift+wheel moves the window by this share of its width per notch.
constexpr double PartDecalageCran = 0.1;
// After a film was opened at a time, its index is awaited this many ticks
// to show the exact picture (the first picture comes by the proportional
// rule while it is built).
constexpr int TicsAttenteIndex = 40;

const QColor CouleurFond(0x30, 0x30, 0x30);
const QColor CouleurHachures(0x55, 0x55, 0x55);
const QColor CouleurFilm(0x3c, 0x78, 0xb4);
const QColor CouleurFilmCourant(0x5a, 0xa8, 0xf0);
const QColor CouleurBordFilm(0x1e, 0x3c, 0x5a);
const QColor CouleurTic(0xf0, 0xd0, 0x40);
const QColor CouleurMarque(0xe8, 0x40, 0x30);
const QColor CouleurCurseur(0xff, 0xff, 0xff);
const QColor CouleurTexte(0xd8, 0xd8, 0xd8);

const char* const BulleChronologie = "Journée des films : cliquez pour aller à cette heure, molette pour zoomer, "
                                     "Maj + molette pour se déplacer";

QString NomCourt(const std::string& chemin)
{
    const size_t barre = chemin.find_last_of('/');
    return QString::fromStdString(barre == std::string::npos ? chemin : chemin.substr(barre + 1));
}

} // namespace

Chronologie::Chronologie(QWidget* parent, LienChronologie lien) : QWidget(parent), lien_(std::move(lien))
{
    setMouseTracking(true);
    setCursor(Qt::PointingHandCursor);
    setAttribute(Qt::WA_OpaquePaintEvent);
    minuterie_ = new QTimer(this);
    minuterie_->setInterval(IntervalleChronologieMs);
    connect(minuterie_, &QTimer::timeout, this, [this] { Suivre(); });
    minuterie_->start();
}

void Chronologie::Suivre(bool rescanner)
{
    const std::string chemin = lien_.cheminFilm ? lien_.cheminFilm() : std::string();
    bool change = false;
    if (chemin != chemin_ || rescanner) {
        const bool utileAvant = Utile();
        const int courant = FilmDuChemin(jour_.films, chemin);
        // A film of the day already shown (chaining, a click) keeps the
        // scan; another day, or a film not seen yet, is scanned afresh.
        if (courant < 0 || rescanner) {
            JourDeFilms nouveau;
            if (chemin.empty() || ScannerJour(chemin, nouveau) != 0)
                nouveau = JourDeFilms();
            if (nouveau.date != jour_.date)
                fenetre_ = FenetreTemps();
            jour_ = std::move(nouveau);
            trous_ = TrousDuJour(jour_.films);
        }
        chemin_ = chemin;
        change = true;
        if (Utile() != utileAvant && lien_.disposer)
            lien_.disposer();
    }
    double instant = -1;
    const int i = FilmDuChemin(jour_.films, chemin_);
    if (i >= 0 && lien_.secondeFilm)
        instant = InstantDuFilm(jour_.films[size_t(i)], lien_.secondeFilm());
    if (instant != instantCourant_) {
        // A cursor leaving a zoomed window while the film plays takes the
        // window along.
        if (instant >= 0 && instantCourant_ >= fenetre_.debut && instantCourant_ <= fenetre_.fin
            && (instant < fenetre_.debut || instant > fenetre_.fin))
            fenetre_ = Decaler(fenetre_, instant - (fenetre_.debut + fenetre_.fin) / 2);
        instantCourant_ = instant;
        change = true;
    }
    // The exact picture of a film opened from here, once its index exists;
    // not if the user has moved or started playing meanwhile.
    // (FlagLecture is written by this thread only.)
    if (!attente_.chemin.empty()) {
        const bool memePlace = attente_.chemin == chemin_ && lien_.secondeFilm
                               && int(lien_.secondeFilm()) == attente_.seconde && Voies[0].FlagLecture == 0;
        if (!memePlace || --attente_.tics <= 0) {
            attente_ = AttenteExacte();
        } else if (IndexFilm(attente_.chemin.c_str())) {
            const AttenteExacte a = attente_;
            attente_ = AttenteExacte();
            if (lien_.ouvrirA)
                lien_.ouvrirA(a.chemin, a.seconde);
        }
    }
    if (change)
        update();
}

void Chronologie::FixerMouvements(const std::string& chemin, const std::vector<MomentMouvement>& moments)
{
    if (moments.empty())
        mouvements_.erase(chemin);
    else
        mouvements_[chemin] = moments;
    update();
}

void Chronologie::EffacerMouvements()
{
    mouvements_.clear();
    update();
}

QString Chronologie::TexteSous(int x) const
{
    const double t = InstantPourX(fenetre_, x, width());
    const PlaceDansJour p = PlacePourInstant(jour_.films, t, false);
    const QString heure = QString::fromStdString(TexteInstant(t));
    if (p.film < 0)
        return heure + QString::fromUtf8(" — pas d'enregistrement");
    return heure + QString::fromUtf8(" — ") + NomCourt(jour_.films[size_t(p.film)].chemin);
}

QString Chronologie::TexteBulle(int x) const
{
    return TexteSous(x) + QLatin1Char('\n') + QString::fromUtf8(BulleChronologie);
}

void Chronologie::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    const int l = width();
    const int h = height();
    p.fillRect(rect(), CouleurFond);
    p.fillRect(QRect(0, HautBande, l, h - HautBande), QBrush(CouleurHachures, Qt::BDiagPattern));
    auto x = [&](double t) { return XPourInstant(fenetre_, t, l); };

    // Hour lines and their labels.
    const double pas = PasGraduation(fenetre_.fin - fenetre_.debut, l);
    p.setPen(CouleurTexte);
    QFont police = font();
    police.setPixelSize(HautBande - 3);
    p.setFont(police);
    for (double t = std::ceil(fenetre_.debut / pas) * pas; t <= fenetre_.fin; t += pas) {
        const int xt = int(std::lround(x(t)));
        p.drawLine(xt, HautBande - 3, xt, HautBande);
        p.drawText(xt + 2, HautBande - 3, QString::fromStdString(TexteInstant(t).substr(0, 5)));
    }

    // Films, their measure ticks and motion marks.
    const QRect bande(0, HautBande, l, h - HautBande);
    for (const FilmDuJour& f : jour_.films) {
        if (f.fin < fenetre_.debut || f.debut > fenetre_.fin)
            continue;
        const int x0 = int(std::floor(x(f.debut)));
        const int x1 = std::max(x0 + 1, int(std::ceil(x(f.fin))));
        const QRect r(x0, bande.top(), x1 - x0, bande.height());
        p.fillRect(r, f.chemin == chemin_ ? CouleurFilmCourant : CouleurFilm);
        p.setPen(CouleurBordFilm);
        p.drawLine(x0, bande.top(), x0, bande.bottom());
        p.setPen(CouleurTic);
        int dernierX = -1;
        for (double t : f.mesures) {
            const int xt = int(x(t));
            if (xt == dernierX || xt < 0 || xt >= l)
                continue;
            p.drawLine(xt, bande.top(), xt, bande.top() + HauteurTic - 1);
            dernierX = xt;
        }
        const auto m = mouvements_.find(f.chemin);
        if (m == mouvements_.end())
            continue;
        for (const MomentMouvement& mm : m->second) {
            const int a = int(std::floor(x(InstantDuFilm(f, mm.debutS))));
            const int b = std::max(a + 2, int(std::ceil(x(InstantDuFilm(f, mm.finS)))));
            p.fillRect(QRect(a, bande.bottom() - HauteurMarque + 1, b - a, HauteurMarque), CouleurMarque);
        }
    }

    if (instantCourant_ >= 0) {
        const int xc = int(std::lround(x(instantCourant_)));
        p.setPen(QPen(CouleurCurseur, 2));
        p.drawLine(xc, 0, xc, h);
    }
    if (jour_.films.empty()) {
        p.setPen(CouleurTexte);
        p.drawText(bande, Qt::AlignCenter, QString::fromUtf8("Aucun film horaire pour ce jour"));
    }
}

void Chronologie::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || !lien_.ouvrirA)
        return;
    const double t = InstantPourX(fenetre_, event->position().x(), width());
    const PlaceDansJour pl = PlacePourInstant(jour_.films, t, true);
    if (pl.film < 0)
        return;
    const std::string chemin = jour_.films[size_t(pl.film)].chemin;
    const int seconde = int(pl.seconde);
    const bool autre = chemin != chemin_;
    if (apercu_)
        apercu_->Cacher();
    lien_.ouvrirA(chemin, seconde);
    Suivre();
    if (autre && chemin_ == chemin && !IndexFilm(chemin.c_str()))
        attente_ = AttenteExacte{chemin, seconde, TicsAttenteIndex};
}

void Chronologie::mouseMoveEvent(QMouseEvent* event)
{
    const int x = int(event->position().x());
    if (QToolTip::isVisible())
        QToolTip::showText(event->globalPosition().toPoint(), TexteBulle(x), this);
    if (!apercu_)
        return;
    const double t = InstantPourX(fenetre_, x, width());
    const PlaceDansJour pl = PlacePourInstant(jour_.films, t, false);
    if (pl.film < 0) {
        apercu_->Cacher();
        return;
    }
    // One preview per second of film: the pointer resting within a second
    // does not ask again.
    apercu_->Montrer(jour_.films[size_t(pl.film)].chemin, std::floor(pl.seconde), mapToGlobal(QPoint(x, 0)),
                     QString::fromStdString(TexteInstant(t)));
}

void Chronologie::leaveEvent(QEvent* event)
{
    if (apercu_)
        apercu_->Cacher();
    QWidget::leaveEvent(event);
}

void Chronologie::wheelEvent(QWheelEvent* event)
{
    const QPoint angle = event->angleDelta();
    const double duree = fenetre_.fin - fenetre_.debut;
    if (event->modifiers().testFlag(Qt::ShiftModifier) || (angle.y() == 0 && angle.x() != 0)) {
        const double crans = (angle.x() != 0 ? angle.x() : angle.y()) / UnitesCran;
        fenetre_ = Decaler(fenetre_, -crans * PartDecalageCran * duree);
    } else {
        const double pivot = InstantPourX(fenetre_, event->position().x(), width());
        fenetre_ = Zoomer(fenetre_, pivot, angle.y() / UnitesCran);
    }
    event->accept();
    update();
}

bool Chronologie::event(QEvent* event)
{
    if (event->type() == QEvent::ToolTip) {
        const auto* aide = static_cast<QHelpEvent*>(event);
        QToolTip::showText(aide->globalPos(), TexteBulle(aide->pos().x()), this);
        return true;
    }
    return QWidget::event(event);
}
