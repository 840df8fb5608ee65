#pragma once

// Whether the desktop shows tray icons. Held in a pointer so that tests, which run where no
// tray exists, can stand in for a desktop that has one.
extern bool (*SystemTrayAvailable)();
