#include "engine/cible_image.h"

#include "core/etat.h"
#include "core/travail.h"

#include <QCoreApplication>
#include <QEvent>
#include <QMetaObject>
#include <QObject>
#include <QThread>

CibleImage::~CibleImage() = default;

int RemettreImage(const unsigned char* bitmapFichier, int taille)
{
    // A worker serves its own channel; the reader of channel v has v.
    const auto* travail = dynamic_cast<const ThreadTravail*>(QThread::currentThread());
    return RemettreImageVoie(travail ? travail->Voie() : 0, bitmapFichier, taille);
}

int RemettreImageVoie(int voie, const unsigned char* bitmapFichier, int taille)
{
    if (voie < 0 || voie >= NbVoies)
        return -1;
    QObject* objet = CiblesImage[voie];
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
    for (QObject* objet : CiblesImage)
        if (objet != nullptr && objet->thread() == QThread::currentThread())
            QCoreApplication::sendPostedEvents(objet, QEvent::MetaCall);
}
