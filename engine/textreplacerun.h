#pragma once

struct RunParameters;
class RunObserver;

// Finds one text in the used range of every sheet of every workbook and replaces it there,
// or under justShow only lists where it occurs.
class TextReplaceRun
{
public:
    // False when the run ended early because no server could be started.
    static bool Execute(const RunParameters &parameters, RunObserver &observer);
};
