#pragma once

// Process-wide run parameters: written by the window on the user-interface thread, read by a
// batch run on its worker thread.

// Rename the sheet at the spin box's 1-based position instead of searching sheet names.
extern bool appSheetOn;
