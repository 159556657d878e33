// Small pictures of the transport, sound, AVI and photo buttons, drawn once
// (transparent background, 16 x 16).
#pragma once

#include <QPixmap>

constexpr int TailleIcone = 16;

QPixmap IconeLecture();   // play: triangle
QPixmap IconeArret();     // stop: square
QPixmap IconeDebut();     // back to start: bar and triangle pointing left
QPixmap IconeSonActif();  // sound on: loudspeaker with waves
QPixmap IconeSonCoupe();  // sound off: loudspeaker with a cross
QPixmap IconeFilm();      // film strip
QPixmap IconePhoto();     // camera
