// Measure-file reader thread: turns measure lines that have come due into
// notice files and broadcast messages for the measure windows.
#pragma once

#include "core/travail.h"

class ThMagnetoMesures : public ThreadTravail
{
    Q_OBJECT
public:
    explicit ThMagnetoMesures(int voie) : ThreadTravail(voie) {}
};
