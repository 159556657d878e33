// Helpers of the window tests: a fixture with the program folder in a
// temporary folder and the message and file dialog seams replaced, the
// number read back from the picture on screen, and a wait that keeps the
// event loop running (the reader's hand-overs need it).
#pragma once

#include "core/boitemessage.h"
#include "core/etat.h"
#include "engine/th_lecteur_magneto.h"
#include "numero_image.h"
#include "ui/dialogues.h"
#include "ui/image_etiree.h"
#include "ui/lecteurzr7_principale.h"

#include <QImage>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

// Fresh state, the program folder in `dossier`; messages are recorded and
// answered Ok, file dialogs are recorded and answered `choix`.
class EssaiFenetre : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ReinitialiserEtat();
        ASSERT_TRUE(dossier.isValid());
        CopierTexte(DossierProgramme, sizeof DossierProgramme, (dossier.path() + "/").toUtf8().constData());
        RemplacerGestionnaireMessages([this](const DemandeMessage& d) {
            messages.push_back(d.texte);
            return ReponseMessage::Ok;
        });
        RemplacerGestionnaireDialogues([this](const DemandeFichier& d) {
            demandesFichier.push_back(d);
            return choix;
        });
    }
    void TearDown() override
    {
        w.reset();
        RemplacerGestionnaireMessages(nullptr);
        RemplacerGestionnaireDialogues(nullptr);
    }

    // A window that does not sleep and whose timers only run when a test
    // says so.
    void Creer()
    {
        w.reset(new TLecteurZR7_Principale);
        w->Attendre = [](int) {};
        for (QTimer* t : {w->TimerAffichage, w->TimerLEO, w->TimerInit})
            t->stop();
    }
    void Selectionner(const std::string& chemin)
    {
        choix = QString::fromStdString(chemin);
        w->BoutonSelectionClick();
    }

    QTemporaryDir dossier;
    std::unique_ptr<TLecteurZR7_Principale> w;
    std::vector<std::string> messages;
    std::vector<DemandeFichier> demandesFichier;
    QString choix;
};

// The window shown with a real reader on channel 0 (short waits) and its
// picture buffer; playback is stopped and the reader ended before the
// window goes.
class EssaiFenetreLecteur : public EssaiFenetre
{
protected:
    void SetUp() override
    {
        EssaiFenetre::SetUp();
        if (HasFatalFailure())
            return;
        Voies[0].BufferImage = new unsigned char[TailleBufferImage];
        Voies[0].ImageSortie = Voies[0].BufferImage;
        w.reset(new TLecteurZR7_Principale);
        w->show();
        lecteur.reset(new Th_Lecteur_Magneto(0, 10, 10));
    }
    void TearDown() override
    {
        const int r = PrendreMutexVoie(0);
        Voies[0].FlagLecture = 0;
        if (r == 0)
            RendreMutexVoie(0);
        lecteur.reset();
        EssaiFenetre::TearDown();
        delete[] Voies[0].BufferImage;
        Voies[0].BufferImage = Voies[0].ImageSortie = nullptr;
    }

    std::unique_ptr<Th_Lecteur_Magneto> lecteur;
};

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
