#include "sound/th_son.h"
#include "sound/thmagnetoson.h"
