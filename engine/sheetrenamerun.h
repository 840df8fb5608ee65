#pragma once

struct RunParameters;
class RunObserver;

// Renames sheets in every workbook: find and replace inside every sheet name, or the N-th
// sheet gets a whole new name.
class SheetRenameRun
{
public:
    // False when the run ended early because no server could be started.
    static bool Execute(const RunParameters &parameters, RunObserver &observer);
};
