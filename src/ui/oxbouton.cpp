#include "ui/oxbouton.h"

#include <QBitmap>
#include <QEnterEvent>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QHideEvent>
#include <QImage>
#include <QMouseEvent>
#include <QPainter>
#include <QPen>
#include <QPointer>

namespace {

// Size of a button dropped on a form before it is given its own.
constexpr int TailleInitiale = 65;
// Radius of the rounded corners: the corner ellipses are 10 x 10.
constexpr int RayonCoin = 5;
// Pen widths of the drop shadow and of the border.
constexpr int EpaisseurOmbre = 2;
constexpr int EpaisseurBordure = 1;
// Border colour given to every new button.
constexpr std::uint32_t BordureInitiale = 0x666666;
// Disabled start colour given to every new button: one step darker than grey.
constexpr std::uint32_t DegradeInactifInitial = 0x7F7F7F;

Oxbouton::CouleurRVB EnRVB(const QColor &c)
{
    return Oxbouton::CouleurRVB{c.red(), c.green(), c.blue()};
}

QColor EnQColor(const Oxbouton::CouleurRVB &c)
{
    return QColor(c.r, c.g, c.b);
}

void RemplirBande(QPainter &canvas, const Oxbouton::Bande &bande)
{
    const Oxbouton::RectangleBande &r = bande.rect;
    if (r.droite <= r.gauche || r.bas <= r.haut)
        return;
    canvas.fillRect(QRect(r.gauche, r.haut, r.droite - r.gauche, r.bas - r.haut), EnQColor(bande.couleur));
}

// Outline of the rounded rectangle whose outer pixels run from (x1, y1) to
// (x2 - 1, y2 - 1), the right and bottom edges being exclusive.
void ContourArrondi(QPainter &canvas, int x1, int y1, int x2, int y2)
{
    if (x2 - x1 < 2 || y2 - y1 < 2)
        return;
    canvas.drawRoundedRect(QRect(x1, y1, x2 - x1 - 1, y2 - y1 - 1), RayonCoin, RayonCoin, Qt::AbsoluteSize);
}

}  // namespace

QColor CouleurPlateforme(std::uint32_t valeur)
{
    return EnQColor(Oxbouton::CouleurDepuisBGR(valeur));
}

QFont PoliceDisponible(const QString &famille, int taillePixels, bool gras)
{
    QString nom = famille;
    if (!QFontDatabase::hasFamily(nom)) {
        if (famille.compare(QLatin1String("Arial"), Qt::CaseInsensitive) == 0)
            nom = QStringLiteral("Liberation Sans");
        else
            nom = QStringLiteral("DejaVu Sans");
    }
    QFont police(nom);
    police.setPixelSize(taillePixels > 0 ? taillePixels : 1);
    police.setBold(gras);
    return police;
}

TOxBouton::TOxBouton(QWidget *parent)
    : QWidget(parent),
      FColorFrom(CouleurPlateforme(Oxbouton::clGray)),
      FColorTo(CouleurPlateforme(Oxbouton::clSilver)),
      FDisabledColorFrom(CouleurPlateforme(DegradeInactifInitial)),
      FDisabledColorTo(CouleurPlateforme(Oxbouton::clWhite)),
      FOverColorFrom(CouleurPlateforme(Oxbouton::clGray)),
      FOverColorTo(CouleurPlateforme(Oxbouton::clSilver)),
      FShadowColor(CouleurPlateforme(Oxbouton::clSilver)),
      FTextShadowColor(CouleurPlateforme(Oxbouton::clWhite)),
      FBorderColor(CouleurPlateforme(BordureInitiale)),
      FFontColor(CouleurPlateforme(Oxbouton::clBlack)),
      FOverFontColor(CouleurPlateforme(Oxbouton::clBlack)),
      FDisabledFontColor(CouleurPlateforme(Oxbouton::clSilver))
{
    FCurrentColorFrom = FColorFrom;
    FCurrentColorTo = FColorTo;
    FCurrentFont = FFont;
    FCurrentFontColor = FFontColor;
    setFocusPolicy(Qt::NoFocus);
    // Mouse moves are reported with or without a button held.
    setMouseTracking(true);
    resize(TailleInitiale, TailleInitiale);
}

TOxBouton::~TOxBouton() = default;

QString TOxBouton::About() const
{
    return QStringLiteral("TOxBouton 1.0 : bouton à dégradé");
}

// Qt already draws every window through a back buffer, so the setters that
// asked for double buffering of the form only need to repaint.

void TOxBouton::SetColorFrom(const QColor &c)
{
    FColorFrom = c;
    FCurrentColorFrom = c;
    update();
}

void TOxBouton::SetColorTo(const QColor &c)
{
    FColorTo = c;
    FCurrentColorTo = c;
    update();
}

void TOxBouton::SetDisabledColorFrom(const QColor &c)
{
    FDisabledColorFrom = c;
    update();
}

void TOxBouton::SetDisabledColorTo(const QColor &c)
{
    FDisabledColorTo = c;
    update();
}

void TOxBouton::SetColorOverFrom(const QColor &c)
{
    FOverColorFrom = c;
    update();
}

void TOxBouton::SetColorOverTo(const QColor &c)
{
    FOverColorTo = c;
    update();
}

void TOxBouton::SetShadowColor(const QColor &c)
{
    FShadowColor = c;
    update();
}

void TOxBouton::SetTextShadowColor(const QColor &c)
{
    FTextShadowColor = c;
    update();
}

void TOxBouton::SetBorderColor(const QColor &c)
{
    FBorderColor = c;
    update();
}

void TOxBouton::SetFont(const QFont &f)
{
    FFont = f;
    FCurrentFont = f;
    update();
}

void TOxBouton::SetOverFont(const QFont &f)
{
    FOverFont = f;
    update();
}

void TOxBouton::SetDisabledFont(const QFont &f)
{
    FDisabledFont = f;
    update();
}

void TOxBouton::SetFontColor(const QColor &c)
{
    FFontColor = c;
    FCurrentFontColor = c;
    update();
}

void TOxBouton::SetOverFontColor(const QColor &c)
{
    FOverFontColor = c;
    update();
}

void TOxBouton::SetDisabledFontColor(const QColor &c)
{
    FDisabledFontColor = c;
    update();
}

void TOxBouton::SetCaption(const QString &texte)
{
    FCaption = texte;
    update();
}

void TOxBouton::SetShadow(bool actif)
{
    FTextShadow = actif;
    update();
}

void TOxBouton::SetImage(const QPixmap &image)
{
    FImage = image;
    PreparerImage();
    FImageTop = (height() - FImage.height()) / 2;
    FImageLeft = (width() - FImage.width()) / 2;
    update();
}

void TOxBouton::SetImageTop(int v)
{
    FImageTop = v;
    update();
}

void TOxBouton::SetImageLeft(int v)
{
    FImageLeft = v;
    update();
}

void TOxBouton::SetTextShadowStyle(TBevelStyle style)
{
    FTextShadowStyle = style;
    update();
}

void TOxBouton::SetEnabled(bool actif)
{
    FEnabled = actif;
    QWidget::setEnabled(actif);
    if (actif)
        RetourCouleursNormales();
    update();
}

void TOxBouton::StyleChanged(QObject *)
{
    update();
}

void TOxBouton::RetourCouleursNormales()
{
    FCurrentColorFrom = FColorFrom;
    FCurrentColorTo = FColorTo;
    FCurrentFont = FFont;
    FCurrentFontColor = FFontColor;
}

// A picture without alpha is drawn with the colour of its bottom-left pixel
// left out, the usual rule for transparent bitmaps.
void TOxBouton::PreparerImage()
{
    FImageDessin = FImage;
    if (FImage.isNull() || FImage.hasAlphaChannel())
        return;
    const QImage image = FImage.toImage();
    const QRgb transparente = image.pixel(0, image.height() - 1);
    FImageDessin.setMask(QBitmap::fromImage(image.createMaskFromColor(transparente, Qt::MaskInColor)));
}

void TOxBouton::DoVertical(QPainter &canvas)
{
    const int w = width();
    const int h = height();
    const int p = FPressOffset;

    canvas.setRenderHint(QPainter::Antialiasing, false);

    // Drop shadow, one pixel right of and below the border.
    canvas.setBrush(Qt::NoBrush);
    canvas.setPen(QPen(FShadowColor, EpaisseurOmbre));
    ContourArrondi(canvas, 2, 2, w - 2, h - 1);

    if (!FEnabled) {
        FCurrentColorFrom = FDisabledColorFrom;
        FCurrentColorTo = FDisabledColorTo;
        FCurrentFont = FDisabledFont;
        FCurrentFontColor = FDisabledFontColor;
    }

    const Oxbouton::Degrade degrade =
        Oxbouton::CalculerDegrade(w, h, p, EnRVB(FCurrentColorFrom), EnRVB(FCurrentColorTo));
    for (const Oxbouton::Bande &b : degrade.hautes)
        RemplirBande(canvas, b);
    for (const Oxbouton::Bande &b : degrade.basses)
        RemplirBande(canvas, b);
    RemplirBande(canvas, degrade.bandeBas);

    canvas.setBrush(Qt::NoBrush);
    canvas.setPen(QPen(FBorderColor, EpaisseurBordure));
    ContourArrondi(canvas, 0, 0, w - 3, h - 2);

    // p / 4 is 0 for both offsets in use: the picture and caption stay put.
    const int glisse = p / 4;
    if (!FImageDessin.isNull())
        canvas.drawPixmap(FImageLeft + glisse, FImageTop - glisse, FImageDessin);

    if (FCaption.isEmpty())
        return;
    canvas.setFont(FCurrentFont);
    const QFontMetrics mesure = canvas.fontMetrics();
    const int x = (w - mesure.horizontalAdvance(FCaption)) / 2;
    const int y = (h - mesure.height()) / 2;
    const int ligne = mesure.ascent();  // text is placed by its top, drawn on its baseline
    if (FTextShadow) {
        canvas.setPen(FTextShadowColor);
        if (FTextShadowStyle == bsLowered)
            canvas.drawText(x + glisse, y - glisse + ligne, FCaption);
        else
            canvas.drawText(x - 2 + glisse, y - 2 + glisse + ligne, FCaption);
    }
    canvas.setPen(FCurrentFontColor);
    canvas.drawText(x - 1 + glisse, y - 1 - glisse + ligne, FCaption);
}

void TOxBouton::paintEvent(QPaintEvent *)
{
    QPainter canvas(this);
    DoVertical(canvas);
}

void TOxBouton::MouseDown(QMouseEvent *event, bool doubleClic)
{
    event->accept();
    FPressOffset = Oxbouton::DecalageAppui;
    update();
    // A handler may hide or delete the button: stop once it is gone.
    QPointer<TOxBouton> garde(this);
    if (doubleClic)
        emit OnDblClick(this);
    if (!garde)
        return;
    const QPoint pos = event->position().toPoint();
    emit OnMouseDown(this, event->button(), event->modifiers(), pos.x(), pos.y());
}

void TOxBouton::mousePressEvent(QMouseEvent *event)
{
    MouseDown(event, false);
}

// Qt delivers the second press of a double click as this event alone.
void TOxBouton::mouseDoubleClickEvent(QMouseEvent *event)
{
    MouseDown(event, true);
}

void TOxBouton::mouseMoveEvent(QMouseEvent *event)
{
    event->accept();
    const QPoint pos = event->position().toPoint();
    emit OnMouseMove(this, event->buttons(), event->modifiers(), pos.x(), pos.y());
}

// The release reaches the button wherever the pointer is (the press grabbed
// the mouse), and it is a click for any button.
void TOxBouton::mouseReleaseEvent(QMouseEvent *event)
{
    event->accept();
    FPressOffset = 0;
    update();
    QPointer<TOxBouton> garde(this);
    emit OnClick(this);
    if (!garde)
        return;
    const QPoint pos = event->position().toPoint();
    emit OnMouseUp(this, event->button(), event->modifiers(), pos.x(), pos.y());
}

void TOxBouton::enterEvent(QEnterEvent *event)
{
    if (FEnabled) {
        FCurrentColorFrom = FOverColorFrom;
        FCurrentColorTo = FOverColorTo;
        FCurrentFont = FOverFont;
        FCurrentFontColor = FOverFontColor;
    }
    update();
    QWidget::enterEvent(event);
}

void TOxBouton::leaveEvent(QEvent *event)
{
    if (FEnabled)
        RetourCouleursNormales();
    update();
    QWidget::leaveEvent(event);
}

// QWidget::setEnabled called directly on the button goes the same way as
// SetEnabled. Only the button's own setting counts: a disabled parent leaves
// the button's look alone.
void TOxBouton::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::EnabledChange) {
        const bool propre = !testAttribute(Qt::WA_ForceDisabled);
        if (propre != FEnabled)
            SetEnabled(propre);
    }
    QWidget::changeEvent(event);
}

// A hidden widget loses the mouse grab and never sees the release: do not
// come back pushed in.
void TOxBouton::hideEvent(QHideEvent *event)
{
    FPressOffset = 0;
    QWidget::hideEvent(event);
}
