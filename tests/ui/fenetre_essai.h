// Helpers of the window tests that run the real reader: the number read
// back from the picture on screen, and a wait that keeps the event loop
// running (the reader's hand-overs need it).
#pragma once

#include "numero_image.h"
#include "ui/image_etiree.h"
#include "ui/lecteurzr7_principale.h"

#include <QImage>
#include <QTest>

// Picture number read back from Image1; -1 when no film picture is shown.
inline int NumeroImageAffichee(const TLecteurZR7_Principale& w)
{
    const QImage& i = w.Image1->Picture();
    if (i.isNull() || i.format() != QImage::Format_BGR888)
        return -1;
    return LireNumeroImage(i.constBits(), i.width(), i.height(), int(i.bytesPerLine()), false);
}

// Waits until `condition` holds, polling every `pas` ms; false after `ms`.
template <typename F> bool AttendreQue(F condition, int ms, int pas = 20)
{
    for (int t = 0; t < ms; t += pas) {
        if (condition())
            return true;
        QTest::qWait(pas);
    }
    return condition();
}
