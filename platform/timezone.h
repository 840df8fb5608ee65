#pragma once

// Fixes the local time zone for the process. With no TZ set, the C library looks at
// /etc/localtime again for every time conversion, which the zip layer does once per entry;
// naming the zone file once spares those checks. Call before any thread starts.
void PinLocalTimeZone();
