#pragma once

struct RunParameters;
class RunObserver;

// Like the text run, with several search texts each replaced by its own replacement, pair by
// pair on every sheet; a workbook counts as matched by the first pair that hits.
class MultiPairReplaceRun
{
public:
    static void Execute(const RunParameters &parameters, RunObserver &observer);
};
