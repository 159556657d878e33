#include "ui/zoom_image.h"

#include "ui/image_etiree.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QWheelEvent>
#include <QWidget>

#include <algorithm>
#include <cmath>

namespace {

// Magnifications this close to 1 are the whole picture (repeated
// multiplications by 1.25 and 0.8 do not come back to exactly 1).
constexpr double EcartUn = 1e-9;

double Borne(double v, double bas, double haut)
{
    return std::min(std::max(v, bas), haut);
}

} // namespace

double FacteurApresCrans(double facteur, int crans)
{
    double f = facteur * std::pow(PasZoom, crans);
    if (!std::isfinite(f))
        f = crans > 0 ? ZoomMax : ZoomMin;
    f = Borne(f, ZoomMin, ZoomMax);
    return std::fabs(f - 1.0) < EcartUn ? 1.0 : f;
}

VueZoom BornerVue(VueZoom v)
{
    if (!std::isfinite(v.facteur))
        v.facteur = ZoomMin;
    v.facteur = Borne(v.facteur, ZoomMin, ZoomMax);
    const double cote = 1.0 / v.facteur;
    v.x = std::isfinite(v.x) ? Borne(v.x, 0.0, 1.0 - cote) : 0.0;
    v.y = std::isfinite(v.y) ? Borne(v.y, 0.0, 1.0 - cote) : 0.0;
    return v;
}

void PointSousLeCurseur(const VueZoom& v, double u, double w, double& px, double& py)
{
    px = v.x + u / v.facteur;
    py = v.y + w / v.facteur;
}

VueZoom ZoomerAutour(const VueZoom& v, double nouveauFacteur, double u, double w)
{
    double px, py;
    PointSousLeCurseur(v, u, w, px, py);
    VueZoom n;
    n.facteur = Borne(nouveauFacteur, ZoomMin, ZoomMax);
    n.x = px - u / n.facteur;
    n.y = py - w / n.facteur;
    return BornerVue(n);
}

VueZoom Deplacer(const VueZoom& v, double du, double dw)
{
    VueZoom n = v;
    n.x -= du / v.facteur;
    n.y -= dw / v.facteur;
    return BornerVue(n);
}

RectSource RectangleSource(const VueZoom& v, int largeur, int hauteur)
{
    return RectSource{v.x * largeur, v.y * hauteur, largeur / v.facteur, hauteur / v.facteur};
}

TZoomImage::TZoomImage(TImageEtiree* image, QWidget* fenetre)
    : QObject(image), image_(image), fenetre_(fenetre)
{
    image_->installEventFilter(this);
    if (fenetre_)
        fenetre_->installEventFilter(this);
}

void TZoomImage::Reinitialiser()
{
    resteAngle_ = 0;
    Appliquer(VueZoom{});
}

void TZoomImage::Appliquer(const VueZoom& v)
{
    vue_ = BornerVue(v);
    const double cote = 1.0 / vue_.facteur;
    image_->FixerPartieMontree(QRectF(vue_.x, vue_.y, cote, cote));
    image_->setCursor(vue_.facteur > 1.0 ? Qt::OpenHandCursor : Qt::ArrowCursor);
}

bool TZoomImage::eventFilter(QObject* objet, QEvent* e)
{
    if (objet == fenetre_ && e->type() == QEvent::KeyPress) {
        auto* k = static_cast<QKeyEvent*>(e);
        if (k->key() == Qt::Key_0 && !(k->modifiers() & (Qt::ControlModifier | Qt::AltModifier))) {
            Reinitialiser();
            return true;
        }
        return false;
    }
    if (objet != image_)
        return false;
    const double l = std::max(1, image_->width()), h = std::max(1, image_->height());
    switch (e->type()) {
    case QEvent::Wheel: {
        auto* m = static_cast<QWheelEvent*>(e);
        resteAngle_ += m->angleDelta().y();
        const int crans = resteAngle_ / AngleCranMolette;
        resteAngle_ -= crans * AngleCranMolette;
        if (crans != 0) {
            const double facteur = FacteurApresCrans(vue_.facteur, crans);
            if (facteur == vue_.facteur) {
                // Already whole (or at x8): the wheel goes on to the scroll
                // box, which moves a real-size picture larger than the area.
                resteAngle_ = 0;
                return false;
            }
            const QPointF p = m->position();
            Appliquer(ZoomerAutour(vue_, facteur, p.x() / l, p.y() / h));
        }
        // Otherwise the picture takes the wheel: the scroll box must not move.
        m->accept();
        return true;
    }
    case QEvent::MouseButtonPress: {
        auto* m = static_cast<QMouseEvent*>(e);
        if (m->button() != Qt::LeftButton || vue_.facteur <= 1.0)
            return false;
        glisse_ = true;
        dernierX_ = m->position().x();
        dernierY_ = m->position().y();
        image_->setCursor(Qt::ClosedHandCursor);
        return true;
    }
    case QEvent::MouseMove: {
        auto* m = static_cast<QMouseEvent*>(e);
        if (!glisse_)
            return false;
        const double x = m->position().x(), y = m->position().y();
        Appliquer(Deplacer(vue_, (x - dernierX_) / l, (y - dernierY_) / h));
        dernierX_ = x;
        dernierY_ = y;
        return true;
    }
    case QEvent::MouseButtonRelease:
        if (!glisse_)
            return false;
        glisse_ = false;
        Appliquer(vue_);
        return true;
    case QEvent::MouseButtonDblClick:
        // A plain double click keeps its meaning (full screen).
        if (!(static_cast<QMouseEvent*>(e)->modifiers() & Qt::ControlModifier))
            return false;
        Reinitialiser();
        return true;
    default:
        return false;
    }
}
