#include "ui/image_etiree.h"

#include <QMouseEvent>
#include <QPainter>

#include <cstdint>
#include <cstring>

namespace {

constexpr int OctetsParPixel = 3;
constexpr int BitsParPixel = 24;
constexpr int TailleEnteteInfo = 40;
constexpr uint32_t PixelsParMetre = 2835; // 72 dots per inch
// Sides beyond this are refused before any allocation (the pixel data
// itself is checked against the size of the file image).
constexpr int LargeurMax = 16384;
constexpr int HauteurMax = 16384;

uint32_t Lire32(const unsigned char* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

uint16_t Lire16(const unsigned char* p)
{
    return uint16_t(p[0] | p[1] << 8);
}

void Ecrire32(unsigned char* p, uint32_t v)
{
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
    p[2] = uint8_t(v >> 16);
    p[3] = uint8_t(v >> 24);
}

void Ecrire16(unsigned char* p, uint16_t v)
{
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}

// One row of B, G, R bytes to 0xffRRGGBB words. In memory such a word is
// B, G, R, 0xff: every pixel but the last is read as four bytes (its own
// three and the next pixel's first) and its top byte set; the last one is
// read byte by byte, so that nothing past the row is read.
void LigneRgb32(const unsigned char* source, uint32_t* destination, int largeur)
{
    static_assert(Q_BYTE_ORDER == Q_LITTLE_ENDIAN, "BGRx words read as little-endian");
    int x = 0;
    for (; x + 1 < largeur; ++x) {
        uint32_t v;
        std::memcpy(&v, source + size_t(x) * OctetsParPixel, sizeof v);
        destination[x] = v | 0xff000000u;
    }
    if (x < largeur) {
        const unsigned char* p = source + size_t(x) * OctetsParPixel;
        destination[x] = 0xff000000u | uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0];
    }
}

} // namespace

std::vector<unsigned char> BitmapNoir()
{
    std::vector<unsigned char> f(TailleImageNoire, 0);
    f[0] = 'B';
    f[1] = 'M';
    Ecrire32(&f[2], TailleImageNoire);
    Ecrire32(&f[10], TailleEnteteBitmap);
    Ecrire32(&f[14], TailleEnteteInfo);
    Ecrire32(&f[18], LargeurImageNoire);
    Ecrire32(&f[22], HauteurImageNoire);
    Ecrire16(&f[26], 1);
    Ecrire16(&f[28], BitsParPixel);
    Ecrire32(&f[30], 0);
    Ecrire32(&f[34], LargeurImageNoire * HauteurImageNoire * OctetsParPixel);
    Ecrire32(&f[38], PixelsParMetre);
    Ecrire32(&f[42], PixelsParMetre);
    return f;
}

int ImageDepuisBitmap(const unsigned char* f, size_t taille, QImage& image)
{
    if (!f || taille < size_t(TailleEnteteBitmap) || f[0] != 'B' || f[1] != 'M')
        return -1;
    const uint32_t debutPixels = Lire32(&f[10]);
    const uint32_t tailleInfo = Lire32(&f[14]);
    const int32_t largeur = int32_t(Lire32(&f[18]));
    const int32_t hauteurBrute = int32_t(Lire32(&f[22]));
    const uint16_t bits = Lire16(&f[28]);
    const uint32_t compression = Lire32(&f[30]);
    if (tailleInfo < uint32_t(TailleEnteteInfo) || bits != BitsParPixel || compression != 0)
        return -1;
    if (hauteurBrute == INT32_MIN)
        return -1;
    const bool basEnHaut = hauteurBrute > 0;
    const int hauteur = basEnHaut ? hauteurBrute : -hauteurBrute;
    if (largeur <= 0 || hauteur <= 0 || largeur > LargeurMax || hauteur > HauteurMax)
        return -1;
    const size_t pas = (size_t(largeur) * OctetsParPixel + 3) & ~size_t(3);
    if (debutPixels < size_t(TailleEnteteBitmap) || debutPixels > taille ||
        (taille - debutPixels) / pas < size_t(hauteur))
        return -1;
    QImage resultat(largeur, hauteur, QImage::Format_BGR888);
    if (resultat.isNull())
        return -1;
    const size_t octetsLigne = size_t(largeur) * OctetsParPixel;
    for (int y = 0; y < hauteur; ++y) {
        const int source = basEnHaut ? hauteur - 1 - y : y;
        std::memcpy(resultat.scanLine(y), f + debutPixels + size_t(source) * pas, octetsLigne);
    }
    image = std::move(resultat);
    return 0;
}

QImage ImageADessiner(const QImage& image)
{
    switch (image.format()) {
    case QImage::Format_Invalid:
    case QImage::Format_RGB32:
    case QImage::Format_ARGB32_Premultiplied:
        return image;
    case QImage::Format_BGR888: {
        // The reader's pictures: one pass over the rows.
        QImage resultat(image.size(), QImage::Format_RGB32);
        if (resultat.isNull())
            return resultat;
        for (int y = 0; y < image.height(); ++y)
            LigneRgb32(image.constScanLine(y), reinterpret_cast<uint32_t*>(resultat.scanLine(y)), image.width());
        return resultat;
    }
    default:
        return image.convertToFormat(image.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied
                                                             : QImage::Format_RGB32);
    }
}

TImageEtiree::TImageEtiree(QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
}

int TImageEtiree::ChargerBitmap(const unsigned char* fichier, size_t taille)
{
    QImage nouvelle;
    if (ImageDepuisBitmap(fichier, taille, nouvelle) != 0)
        return -1;
    Remplacer(std::move(nouvelle));
    return 0;
}

void TImageEtiree::AfficherImage(const unsigned char* bitmapFichier, int taille)
{
    if (taille > 0)
        ChargerBitmap(bitmapFichier, size_t(taille));
    emit ImageRemise();
}

bool TImageEtiree::ChargerFichier(const QString& chemin)
{
    QImage nouvelle;
    if (!nouvelle.load(chemin))
        return false;
    Remplacer(std::move(nouvelle));
    return true;
}

void TImageEtiree::FixerImage(const QImage& image)
{
    Remplacer(image);
}

void TImageEtiree::Remplacer(QImage image)
{
    image_ = std::move(image);
    dessin_ = QImage();
    dessinAJour_ = false;
    update();
}

void TImageEtiree::paintEvent(QPaintEvent*)
{
    if (!dessinAJour_) {
        dessin_ = ImageADessiner(image_);
        dessinAJour_ = true;
        if (dessin_.format() != image_.format())
            ++nbConversions_;
    }
    QPainter p(this);
    if (dessin_.isNull())
        p.fillRect(rect(), Qt::black);
    else if (partie_ == QRectF(0, 0, 1, 1))
        p.drawImage(rect(), dessin_);
    else
        p.drawImage(QRectF(rect()), dessin_,
                    QRectF(partie_.x() * dessin_.width(), partie_.y() * dessin_.height(),
                           partie_.width() * dessin_.width(), partie_.height() * dessin_.height()));
}

void TImageEtiree::FixerPartieMontree(const QRectF& fractions)
{
    if (fractions == partie_)
        return;
    partie_ = fractions;
    update();
}

void TImageEtiree::mouseDoubleClickEvent(QMouseEvent* event)
{
    emit DoubleClic();
    event->accept();
}
