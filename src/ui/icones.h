// Small pictures of the transport, sound, AVI and photo buttons, drawn once
// (transparent background, 16 x 16).
#pragma once

#include <QImage>
#include <QPixmap>

constexpr int TailleIcone = 16;

QPixmap IconeLecture();   // play: triangle
QPixmap IconeArret();     // stop: square
QPixmap IconeDebut();     // back to start: bar and triangle pointing left
QPixmap IconeSonActif();  // sound on: loudspeaker with waves
QPixmap IconeSonCoupe();  // sound off: loudspeaker with a cross
QPixmap IconeFilm();      // film strip
QPixmap IconePhoto();     // camera

// The film strip drawn at any size (the program's icon), on a transparent
// picture; needs no display.
QImage ImageIconeFilm(int taille);
