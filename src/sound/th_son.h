// Audio output thread: queues the sound reader's chunks to the sound device.
#pragma once

#include "core/travail.h"

class TH_Son : public ThreadTravail
{
    Q_OBJECT
public:
    explicit TH_Son(int voie) : ThreadTravail(voie) {}
};
