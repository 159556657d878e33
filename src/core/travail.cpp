#include "core/travail.h"

#include "core/etat.h"

#include <algorithm>

namespace {
// Sleep slice between two looks at the stop requests.
constexpr int TrancheSommeilMs = 10;
// Pause of an idle worker between two passes of its loop.
constexpr int PauseInactiveMs = 50;
}

ThreadTravail::ThreadTravail(int voie, QObject* parent) : QThread(parent), voie_(voie) {}

ThreadTravail::~ThreadTravail()
{
    requestInterruption();
    wait();
}

bool ThreadTravail::DoitSArreter() const
{
    if (isInterruptionRequested())
        return true;
    const int r = PrendreMutexGeneral();
    const bool arret = FlagArretGeneral != 0;
    if (r == 0)
        RendreMutexGeneral();
    return arret;
}

bool ThreadTravail::Dormir(int ms) const
{
    while (ms > 0) {
        if (DoitSArreter())
            return false;
        const int tranche = std::min(ms, TrancheSommeilMs);
        QThread::msleep(static_cast<unsigned long>(tranche));
        ms -= tranche;
    }
    return !DoitSArreter();
}

void ThreadTravail::run()
{
    while (Dormir(PauseInactiveMs)) {
    }
}
