#include "ui/tuile.h"

#include "ui/image_etiree.h"
#include "ui/mosaique_calcul.h"

#include <QMouseEvent>
#include <QPainter>

const char* const TexteTuileMotDePasse = "Film protégé : tapez son mot de passe";

namespace {

// Colour of the selected tile's frame.
const QColor CouleurSelection(30, 100, 220);
// Shape of a dark tile whose film's size is not known yet.
constexpr int LargeurDefaut = 4, HauteurDefaut = 3;

} // namespace

TTuile::TTuile(int numero, QWidget* parent) : QWidget(parent), numero_(numero)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void TTuile::AfficherImage(const unsigned char* bitmapFichier, int taille)
{
    // Without recording at the clock time, a picture still arriving is of
    // an older request: kept, it would show when the film comes back.
    if (etat_ == Etat::SansEnregistrement)
        return;
    QImage image;
    if (ImageDepuisBitmap(bitmapFichier, static_cast<size_t>(taille), image) != 0)
        return;
    image_ = image;
    if (miroir_)
        miroir_->AfficherImage(bitmapFichier, taille);
    if (etat_ == Etat::Image)
        update();
}

void TTuile::MontrerImages()
{
    if (etat_ == Etat::Image)
        return;
    etat_ = Etat::Image;
    texte_.clear();
    update();
}

void TTuile::MontrerTexte(Etat etat, const QString& texte)
{
    if (etat_ == etat && texte_ == texte)
        return;
    // The picture of another time is not shown again when the film comes
    // back: the tile waits, dark, for its reader's next one.
    image_ = QImage();
    etat_ = etat;
    texte_ = texte;
    update();
}

void TTuile::FixerSelectionnee(bool selectionnee)
{
    if (selectionnee_ == selectionnee)
        return;
    selectionnee_ = selectionnee;
    update();
}

void TTuile::FixerTailleReelle(bool reelle)
{
    if (tailleReelle_ == reelle)
        return;
    tailleReelle_ = reelle;
    update();
}

QRect TTuile::BoitePicture() const
{
    const Boite cellule{MargeTuile, MargeTuile, std::max(0, width() - 2 * MargeTuile),
                        std::max(0, height() - 2 * MargeTuile)};
    const bool image = etat_ == Etat::Image && !image_.isNull();
    if (image && tailleReelle_) {
        const Boite r = ImageTailleReelle(image_.width(), image_.height(), cellule);
        return QRect(r.gauche, r.haut, r.largeur, r.hauteur);
    }
    const Boite b = ImageAjustee(image ? image_.width() : LargeurDefaut, image ? image_.height() : HauteurDefaut,
                                 cellule);
    return QRect(b.gauche, b.haut, b.largeur, b.hauteur);
}

void TTuile::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), Qt::white);
    // A real-size picture larger than the tile is cropped to the margin.
    p.setClipRect(rect().adjusted(MargeTuile, MargeTuile, -MargeTuile, -MargeTuile));
    const QRect boite = BoitePicture();
    if (etat_ == Etat::Image && !image_.isNull()) {
        p.drawImage(boite, image_);
    } else {
        p.fillRect(boite, QColor(24, 24, 24));
        p.setPen(Qt::white);
        p.drawText(boite, Qt::AlignCenter | Qt::TextWordWrap, texte_);
    }
    p.setClipping(false);
    if (selectionnee_) {
        QPen crayon(CouleurSelection, CadreTuile);
        crayon.setJoinStyle(Qt::MiterJoin);
        p.setPen(crayon);
        p.setBrush(Qt::NoBrush);
        p.drawRect(QRectF(rect()).adjusted(CadreTuile / 2.0, CadreTuile / 2.0, -CadreTuile / 2.0, -CadreTuile / 2.0));
    }
}

void TTuile::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        emit Clic(numero_);
    QWidget::mousePressEvent(event);
}

void TTuile::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        emit DoubleClic(numero_);
}
