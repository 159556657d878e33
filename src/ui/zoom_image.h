// Digital zoom of the picture area: the wheel over the picture zooms around
// the pointer (a wheel turn that cannot change the zoom, out at x1 or in at
// x8, is left to the scroll box, so a real-size picture still scrolls), dragging pans the zoomed picture, "0" or a double click with
// Ctrl held returns to the whole picture. It applies on top of the fitted,
// real-size and full-screen layouts (it only chooses which part of the
// picture the picture control stretches over its own bounds) and works
// whether the film plays or not, since the part shown is kept in fractions
// of the picture.
#pragma once

#include <QObject>

class QWidget;
class TImageEtiree;

constexpr double ZoomMin = 1.0;
constexpr double ZoomMax = 8.0;
constexpr double PasZoom = 1.25; // each wheel step: 25 % more or less
// One wheel step as the mouse reports it (eighths of a degree).
constexpr int AngleCranMolette = 120;

// The part of the picture shown: its top left corner in fractions of the
// picture (0..1) and the magnification (the part is 1/facteur wide and
// high).
struct VueZoom {
    double facteur = 1.0;
    double x = 0.0, y = 0.0;
    bool operator==(const VueZoom& o) const { return facteur == o.facteur && x == o.x && y == o.y; }
};

// Magnification after `crans` wheel steps (negative: out), kept within
// ZoomMin..ZoomMax; values within a hair of 1 snap to 1.
double FacteurApresCrans(double facteur, int crans);

// Keeps the part shown inside the picture.
VueZoom BornerVue(VueZoom v);

// The picture point (fractions) under a point of the control (u, w in
// fractions of its width and height).
void PointSousLeCurseur(const VueZoom& v, double u, double w, double& px, double& py);

// New magnification around the control point (u, w): the picture point
// under it stays under it, unless the picture's edge stops the move.
VueZoom ZoomerAutour(const VueZoom& v, double nouveauFacteur, double u, double w);

// Panning by a drag of (du, dw) fractions of the control: the picture
// follows the pointer, within the picture's edges.
VueZoom Deplacer(const VueZoom& v, double du, double dw);

// Source rectangle in picture pixels of a picture of largeur x hauteur.
struct RectSource {
    double x, y, largeur, hauteur;
};
RectSource RectangleSource(const VueZoom& v, int largeur, int hauteur);

// The shell: watches the picture control's wheel, drags and Ctrl double
// clicks, and the window's "0" key, and tells the control which part to
// show.
class TZoomImage : public QObject
{
    Q_OBJECT
public:
    // `fenetre` (may be null) is watched for the "0" key.
    TZoomImage(TImageEtiree* image, QWidget* fenetre);

    const VueZoom& Vue() const { return vue_; }
    void Reinitialiser();
    bool eventFilter(QObject* objet, QEvent* evenement) override;

private:
    void Appliquer(const VueZoom& v);

    TImageEtiree* image_;
    QWidget* fenetre_;
    VueZoom vue_;
    int resteAngle_ = 0;      // wheel eighths not yet making a whole step
    bool glisse_ = false;
    double dernierX_ = 0, dernierY_ = 0;
};
