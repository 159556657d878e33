#include "ui/icones.h"

#include <QColor>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>

#include <functional>

namespace {

const QColor Encre(0x20, 0x20, 0x20);
const QColor Clair(0xF0, 0xF0, 0xF0);

QPixmap Dessiner(const std::function<void(QPainter&)>& dessin)
{
    QPixmap icone(TailleIcone, TailleIcone);
    icone.fill(Qt::transparent);
    QPainter p(&icone);
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setPen(Qt::NoPen);
    p.setBrush(Encre);
    dessin(p);
    return icone;
}

void HautParleur(QPainter& p)
{
    QPolygonF corps;
    corps << QPointF(1, 5.5) << QPointF(4.5, 5.5) << QPointF(8.5, 2) << QPointF(8.5, 14) << QPointF(4.5, 10.5)
          << QPointF(1, 10.5);
    p.drawPolygon(corps);
}

void DessinerFilm(QPainter& p)
{
    p.drawRect(QRectF(2, 1, 12, 14));
    p.setBrush(Clair);
    for (int i = 0; i < 4; ++i) {
        p.drawRect(QRectF(3, 2 + i * 3.5, 1.5, 2));
        p.drawRect(QRectF(11.5, 2 + i * 3.5, 1.5, 2));
    }
    p.drawRect(QRectF(5.5, 2.5, 5, 4.5));
    p.drawRect(QRectF(5.5, 9, 5, 4.5));
}

} // namespace

QPixmap IconeLecture()
{
    return Dessiner([](QPainter& p) {
        QPolygonF t;
        t << QPointF(4, 2) << QPointF(13.5, 8) << QPointF(4, 14);
        p.drawPolygon(t);
    });
}

QPixmap IconeArret()
{
    return Dessiner([](QPainter& p) { p.drawRect(QRectF(3, 3, 10, 10)); });
}

QPixmap IconeDebut()
{
    return Dessiner([](QPainter& p) {
        p.drawRect(QRectF(2, 3, 2.5, 10));
        QPolygonF t;
        t << QPointF(13.5, 3) << QPointF(5.5, 8) << QPointF(13.5, 13);
        p.drawPolygon(t);
    });
}

QPixmap IconeSonActif()
{
    return Dessiner([](QPainter& p) {
        HautParleur(p);
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(Encre, 1.3, Qt::SolidLine, Qt::RoundCap));
        p.drawArc(QRectF(6, 5, 5, 6), -60 * 16, 120 * 16);
        p.drawArc(QRectF(5, 2.5, 9, 11), -60 * 16, 120 * 16);
    });
}

QPixmap IconeSonCoupe()
{
    return Dessiner([](QPainter& p) {
        HautParleur(p);
        p.setPen(QPen(QColor(0xC0, 0x10, 0x10), 1.6, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(10.5, 5.5), QPointF(15, 10.5));
        p.drawLine(QPointF(10.5, 10.5), QPointF(15, 5.5));
    });
}

QPixmap IconeFilm()
{
    return Dessiner(DessinerFilm);
}

QImage ImageIconeFilm(int taille)
{
    QImage image(taille, taille, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setPen(Qt::NoPen);
    p.setBrush(Encre);
    p.scale(double(taille) / TailleIcone, double(taille) / TailleIcone);
    DessinerFilm(p);
    return image;
}

QPixmap IconePhoto()
{
    return Dessiner([](QPainter& p) {
        QPainterPath boitier;
        boitier.addRoundedRect(QRectF(1, 4.5, 14, 9.5), 1.5, 1.5);
        p.drawPath(boitier);
        p.drawRect(QRectF(5, 2.5, 6, 2.5));
        p.setBrush(Clair);
        p.drawEllipse(QPointF(8, 9.2), 3.2, 3.2);
        p.setBrush(Encre);
        p.drawEllipse(QPointF(8, 9.2), 1.8, 1.8);
    });
}
