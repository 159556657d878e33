// Film reader and decoder thread.
#pragma once

#include "core/travail.h"

class Th_Lecteur_Magneto : public ThreadTravail
{
    Q_OBJECT
public:
    explicit Th_Lecteur_Magneto(int voie) : ThreadTravail(voie) {}
};
