// Image1: the picture control of the main window. It holds one picture and
// stretches it to its own bounds, as fast as possible (no smoothing: the
// reader delivers up to 25 pictures a second, more while a step key is
// held). A hand-over only copies the rows, so the reader waits as little
// as possible; the first paint after it converts the picture once into a
// format the painter scales without converting (ImageADessiner), so a
// picture replaced before it is painted is never converted.
#pragma once

#include <QImage>
#include <QRectF>
#include <QWidget>

#include "engine/cible_image.h"

#include <cstddef>
#include <cstdint>
#include <vector>

// Bitmap file header in front of the pixel rows: 14-byte file header and
// 40-byte information header.
constexpr int TailleEnteteBitmap = 54;
// The blank picture: black, 160 x 120, 24 bits per pixel.
constexpr int LargeurImageNoire = 160;
constexpr int HauteurImageNoire = 120;
constexpr int TailleImageNoire = TailleEnteteBitmap + LargeurImageNoire * HauteurImageNoire * 3; // 57,654

// The 57,654-byte bitmap file image of the blank picture.
std::vector<unsigned char> BitmapNoir();

// Turns a 24-bit bitmap file image in memory (rows bottom-up, or top-down
// for a negative height, each padded to 4 bytes) into a picture. Every
// header field is checked against `taille` before a pixel is read.
// 0 ok, -1 for anything else (other depth, compression, truncated data).
int ImageDepuisBitmap(const unsigned char* fichier, size_t taille, QImage& image);

// `image` in a format the raster painter scales straight onto the window:
// RGB32, or premultiplied ARGB32 for a picture with transparency (the
// logos); the same picture when it already is. Any other format would be
// converted at every paint.
QImage ImageADessiner(const QImage& image);

// The reader thread hands its pictures to this control (ImageAffichage).
class TImageEtiree : public QWidget, public CibleImage
{
    Q_OBJECT
public:
    explicit TImageEtiree(QWidget* parent = nullptr);

    // Picture target of the reader: a 24-bit bitmap file image; a picture
    // that cannot be read leaves the current one.
    void AfficherImage(const unsigned char* bitmapFichier, int taille) override;

    // The picture shown, full size, as it was given (BGR888 for the
    // reader's pictures).
    const QImage& Picture() const { return image_; }
    // Pictures converted for painting since construction: at most one per
    // picture given, none for a picture replaced before it was painted.
    int64_t NbConversions() const { return nbConversions_; }
    // Shows a bitmap file image; 0 ok, -1 (picture unchanged) when it
    // cannot be read.
    int ChargerBitmap(const unsigned char* fichier, size_t taille);
    // Shows a picture file (the logos); false when it cannot be read.
    bool ChargerFichier(const QString& chemin);
    void FixerImage(const QImage& image);
    // Part of the picture stretched over the control, in fractions of the
    // picture (the digital zoom); the whole picture by default.
    void FixerPartieMontree(const QRectF& fractions);
    const QRectF& PartieMontree() const { return partie_; }

signals:
    void DoubleClic();
    // A picture of the reader has just been handed over (shown or not).
    void ImageRemise();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    void Remplacer(QImage image);

    QImage image_;
    QImage dessin_;            // image_ as painted, made at its first paint
    bool dessinAJour_ = false;
    int64_t nbConversions_ = 0;
    QRectF partie_{0, 0, 1, 1};
};
