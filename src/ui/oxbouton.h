// TOxBouton: the push button of the main window. It draws a rounded button
// with a two-part vertical gradient, a drop shadow, a border, an optional
// picture and a centred caption, has normal, mouse-over and disabled colour
// sets, looks pushed in while a mouse button is held on it and raises its
// click on release. It never takes the keyboard focus and paints nothing
// outside its shape, so its parent shows through around the corners.
#pragma once

#include <QColor>
#include <QFont>
#include <QPixmap>
#include <QString>
#include <QWidget>

#include <cstdint>

#include "ui/oxbouton_calcul.h"

class QPainter;

// Colour from a platform colour value (0x00BBGGRR, red in the lowest byte).
QColor CouleurPlateforme(std::uint32_t valeur);

// Font of `famille` at `taillePixels` pixels. A family this machine lacks is
// replaced by a metric-compatible one: Liberation Sans for Arial, DejaVu Sans
// for any other.
QFont PoliceDisponible(const QString &famille, int taillePixels, bool gras = false);

class TOxBouton : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(QColor ColorFrom READ ColorFrom WRITE SetColorFrom)
    Q_PROPERTY(QColor ColorTo READ ColorTo WRITE SetColorTo)
    Q_PROPERTY(QColor DisabledColorFrom READ DisabledColorFrom WRITE SetDisabledColorFrom)
    Q_PROPERTY(QColor DisabledColorTo READ DisabledColorTo WRITE SetDisabledColorTo)
    Q_PROPERTY(QColor OverColorFrom READ OverColorFrom WRITE SetColorOverFrom)
    Q_PROPERTY(QColor OverColorTo READ OverColorTo WRITE SetColorOverTo)
    Q_PROPERTY(QColor ShadowColor READ ShadowColor WRITE SetShadowColor)
    Q_PROPERTY(QFont Font READ Font WRITE SetFont)
    Q_PROPERTY(QFont OverFont READ OverFont WRITE SetOverFont)
    Q_PROPERTY(QFont DisabledFont READ DisabledFont WRITE SetDisabledFont)
    // A Qt font has no colour: each of the three fonts has its colour here.
    Q_PROPERTY(QColor FontColor READ FontColor WRITE SetFontColor)
    Q_PROPERTY(QColor OverFontColor READ OverFontColor WRITE SetOverFontColor)
    Q_PROPERTY(QColor DisabledFontColor READ DisabledFontColor WRITE SetDisabledFontColor)
    Q_PROPERTY(QString Caption READ Caption WRITE SetCaption)
    Q_PROPERTY(bool TextShadow READ TextShadow WRITE SetShadow)
    Q_PROPERTY(QPixmap Image READ Image WRITE SetImage)
    Q_PROPERTY(int ImageTop READ ImageTop WRITE SetImageTop)
    Q_PROPERTY(int ImageLeft READ ImageLeft WRITE SetImageLeft)
    Q_PROPERTY(QString About READ About)
    Q_PROPERTY(bool Enabled READ Enabled WRITE SetEnabled)
    Q_PROPERTY(QColor TextShadowColor READ TextShadowColor WRITE SetTextShadowColor)
    Q_PROPERTY(QColor BorderColor READ BorderColor WRITE SetBorderColor)
    Q_PROPERTY(TBevelStyle TextShadowStyle READ TextShadowStyle WRITE SetTextShadowStyle)
    Q_PROPERTY(bool Visible READ Visible WRITE SetVisible)

public:
    // Where the caption's shadow falls: below and right (lowered) or above
    // and left (raised) of the text.
    enum TBevelStyle { bsLowered, bsRaised };
    Q_ENUM(TBevelStyle)

    explicit TOxBouton(QWidget *parent = nullptr);
    ~TOxBouton() override;

    QColor ColorFrom() const { return FColorFrom; }
    QColor ColorTo() const { return FColorTo; }
    QColor DisabledColorFrom() const { return FDisabledColorFrom; }
    QColor DisabledColorTo() const { return FDisabledColorTo; }
    QColor OverColorFrom() const { return FOverColorFrom; }
    QColor OverColorTo() const { return FOverColorTo; }
    QColor ShadowColor() const { return FShadowColor; }
    QFont Font() const { return FFont; }
    QFont OverFont() const { return FOverFont; }
    QFont DisabledFont() const { return FDisabledFont; }
    QColor FontColor() const { return FFontColor; }
    QColor OverFontColor() const { return FOverFontColor; }
    QColor DisabledFontColor() const { return FDisabledFontColor; }
    QString Caption() const { return FCaption; }
    bool TextShadow() const { return FTextShadow; }
    QPixmap Image() const { return FImage; }
    int ImageTop() const { return FImageTop; }
    int ImageLeft() const { return FImageLeft; }
    QString About() const;
    bool Enabled() const { return FEnabled; }
    QColor TextShadowColor() const { return FTextShadowColor; }
    QColor BorderColor() const { return FBorderColor; }
    TBevelStyle TextShadowStyle() const { return FTextShadowStyle; }
    // The button's own visibility setting: true unless explicitly hidden,
    // whether or not its window is on screen yet.
    bool Visible() const
    {
        return !(testAttribute(Qt::WA_WState_ExplicitShowHide) && testAttribute(Qt::WA_WState_Hidden));
    }

    // State the next paint uses.
    QColor CurrentColorFrom() const { return FCurrentColorFrom; }
    QColor CurrentColorTo() const { return FCurrentColorTo; }
    QFont CurrentFont() const { return FCurrentFont; }
    int PressOffset() const { return FPressOffset; }

    void SetColorFrom(const QColor &c);
    void SetColorTo(const QColor &c);
    void SetDisabledColorFrom(const QColor &c);
    void SetDisabledColorTo(const QColor &c);
    void SetColorOverFrom(const QColor &c);
    void SetColorOverTo(const QColor &c);
    void SetShadowColor(const QColor &c);
    void SetTextShadowColor(const QColor &c);
    void SetBorderColor(const QColor &c);
    void SetFont(const QFont &f);
    void SetOverFont(const QFont &f);
    void SetDisabledFont(const QFont &f);
    void SetFontColor(const QColor &c);
    void SetOverFontColor(const QColor &c);
    void SetDisabledFontColor(const QColor &c);
    void SetCaption(const QString &texte);
    void SetShadow(bool actif);
    // Copies the picture and centres it on the button.
    void SetImage(const QPixmap &image);
    void SetImageTop(int v);
    void SetImageLeft(int v);
    void SetTextShadowStyle(TBevelStyle style);
    // Enabling always returns to the normal colours, even under the pointer.
    void SetEnabled(bool actif);
    void SetVisible(bool visible) { setVisible(visible); }

    // Paints the whole button with `canvas`.
    void DoVertical(QPainter &canvas);

public slots:
    void StyleChanged(QObject *sender = nullptr);

signals:
    void OnMouseDown(TOxBouton *Sender, Qt::MouseButton Button, Qt::KeyboardModifiers Shift, int X, int Y);
    void OnMouseMove(TOxBouton *Sender, Qt::MouseButtons Buttons, Qt::KeyboardModifiers Shift, int X, int Y);
    void OnMouseUp(TOxBouton *Sender, Qt::MouseButton Button, Qt::KeyboardModifiers Shift, int X, int Y);
    void OnClick(TOxBouton *Sender);
    void OnDblClick(TOxBouton *Sender);

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void changeEvent(QEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    void MouseDown(QMouseEvent *event, bool doubleClic);
    void RetourCouleursNormales();
    void PreparerImage();

    QColor FColorFrom;
    QColor FColorTo;
    QColor FDisabledColorFrom;
    QColor FDisabledColorTo;
    QColor FOverColorFrom;
    QColor FOverColorTo;
    QColor FShadowColor;
    QColor FTextShadowColor;
    QColor FBorderColor;
    QFont FFont;
    QFont FOverFont;
    QFont FDisabledFont;
    QColor FFontColor;
    QColor FOverFontColor;
    QColor FDisabledFontColor;
    QString FCaption;
    bool FTextShadow = false;
    QPixmap FImage;
    QPixmap FImageDessin;  // FImage with its transparent colour masked out
    int FImageTop = 0;
    int FImageLeft = 0;
    bool FEnabled = true;
    TBevelStyle FTextShadowStyle = bsLowered;

    QColor FCurrentColorFrom;
    QColor FCurrentColorTo;
    QFont FCurrentFont;
    QColor FCurrentFontColor;
    int FPressOffset = 0;
};
