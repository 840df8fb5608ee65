#pragma once

struct DisplayGeometry {
    int left;
    int top;
    int width;
    int height;
};

// Where the primary display lies on the desktop, in pixels: on a desktop of several screens it
// need not start at 0, 0. All zero when there is none. Needs the GUI application object on
// platforms where the display is reached through it.
DisplayGeometry SystemPrimaryDisplayGeometry();

// The geometry the window centres itself on. Held in a pointer so that tests, which run on a
// single offscreen screen, can stand in for a desktop of several.
extern DisplayGeometry (*PrimaryDisplayGeometry)();
