#include "engine/cible_image.h"

#include "core/etat.h"

#include <QCoreApplication>
#include <QEvent>
#include <QMetaObject>
#include <QObject>
#include <QThread>

CibleImage::~CibleImage() = default;

int RemettreImage(const unsigned char* bitmapFichier, int taille)
{
    QObject* objet = ImageAffichage;
    CibleImage* cible = dynamic_cast<CibleImage*>(objet);
    if (cible == nullptr || bitmapFichier == nullptr || taille <= 0)
        return -1;
    auto remise = [cible, bitmapFichier, taille]() {
        try {
            cible->AfficherImage(bitmapFichier, taille);
        } catch (...) {
            // A failed display must not stop playback.
        }
    };
    if (objet->thread() == QThread::currentThread())
        remise();
    else
        QMetaObject::invokeMethod(objet, remise, Qt::BlockingQueuedConnection);
    return 0;
}

void ExecuterRemisesEnAttente()
{
    QObject* objet = ImageAffichage;
    if (objet != nullptr && objet->thread() == QThread::currentThread())
        QCoreApplication::sendPostedEvents(objet, QEvent::MetaCall);
}
