// A common-floor file that reaches up into the frame: the floor check must refuse it.
#include "app/Main.h"
#include "common/Planted.h"
