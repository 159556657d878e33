// A tile of the mosaic: one film's picture, fitted with its aspect ratio,
// or, dark, why there is none (no recording at this time, not a film, a
// password to type). The selected tile has a highlighted frame. It is its
// channel's picture target.
#pragma once

#include "engine/cible_image.h"

#include <QImage>
#include <QString>
#include <QWidget>

class TImageEtiree;

// Texts of a tile without a picture.
extern const char* const TexteTuileMotDePasse;

// Width of the selected tile's frame, and the white margin inside every
// tile's edge (the frame is drawn there, never over the picture).
constexpr int CadreTuile = 2;
constexpr int MargeTuile = 5;

class TTuile : public QWidget, public CibleImage
{
    Q_OBJECT
public:
    enum class Etat { Image, SansEnregistrement, Erreur, MotDePasse };

    TTuile(int numero, QWidget* parent = nullptr);

    // Picture target of the tile's reader (user-interface thread).
    void AfficherImage(const unsigned char* bitmapFichier, int taille) override;

    // Shows the pictures again (the film has one at the clock's time).
    void MontrerImages();
    // Dark, with a text instead of the picture.
    void MontrerTexte(Etat etat, const QString& texte);
    void FixerSelectionnee(bool selectionnee);
    // "Taille réelle": the picture one pixel per pixel, centred, cropped to
    // the tile; otherwise fitted.
    void FixerTailleReelle(bool reelle);
    bool TailleReelle() const { return tailleReelle_; }
    // Pictures are copied to this control too (the window's own picture,
    // which the snapshot and the zoom use), null for none.
    void FixerMiroir(TImageEtiree* miroir) { miroir_ = miroir; }

    int Numero() const { return numero_; }
    Etat EtatTuile() const { return etat_; }
    const QString& TexteTuile() const { return texte_; }
    bool Selectionnee() const { return selectionnee_; }
    const QImage& Picture() const { return image_; }
    // Where the picture lies in the tile (beyond its edges at real size).
    QRect BoitePicture() const;

signals:
    void Clic(int numero);
    void DoubleClic(int numero);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    int numero_;
    Etat etat_ = Etat::Image;
    QString texte_;
    bool selectionnee_ = false;
    bool tailleReelle_ = false;
    QImage image_;
    TImageEtiree* miroir_ = nullptr;
};
