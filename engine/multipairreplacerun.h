#pragma once

struct RunParameters;
class RunObserver;

// Like the text run, with several search texts each replaced by its own replacement, pair by
// pair on every sheet; a workbook counts as matched by the first pair that hits.
class MultiPairReplaceRun
{
public:
    // False when the run ended early because no server could be started.
    static bool Execute(const RunParameters &parameters, RunObserver &observer);
};
