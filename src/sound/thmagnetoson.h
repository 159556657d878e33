// Sound-file reader thread: hands the film's sound in two-second chunks to
// the audio output.
#pragma once

#include "core/travail.h"

class ThMagnetoSon : public ThreadTravail
{
    Q_OBJECT
public:
    explicit ThMagnetoSon(int voie) : ThreadTravail(voie) {}
};
