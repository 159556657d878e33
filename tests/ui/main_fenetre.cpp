// Test program entry of the main window tests: an offscreen application,
// the two mutexes the window takes, and quiet codecs.
#include "core/etat.h"
#include "filmmaker.h"

#include <QApplication>

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    // Also when the test list is read at build time, without a display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    CreerMutexVoie(0);
    CreerMutexGeneral();
    SilencerCodecs();
    ::testing::InitGoogleTest(&argc, argv);
    const int r = RUN_ALL_TESTS();
    FermerMutexGeneral();
    FermerMutexVoie(0);
    return r;
}
