#pragma once

struct DisplaySize {
    int width;
    int height;
};

// Size of the primary display in pixels; 0 × 0 when there is none. Needs the GUI application
// object on platforms where the display is reached through it.
DisplaySize PrimaryDisplaySize();
