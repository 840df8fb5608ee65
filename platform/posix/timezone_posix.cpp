#include "platform/timezone.h"

#include <cstdlib>

void PinLocalTimeZone()
{
    // A zone the user chose is kept.
    ::setenv("TZ", ":/etc/localtime", 0);
}
