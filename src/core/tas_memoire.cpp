#include "core/tas_memoire.h"

#include <malloc.h>

void ReglerTasMemoire()
{
    mallopt(M_ARENA_MAX, NbArenesTas);
}
