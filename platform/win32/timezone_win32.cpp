#include "platform/timezone.h"

// Windows keeps the zone in memory; there is nothing to fix.
void PinLocalTimeZone() {}
