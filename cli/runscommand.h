#pragma once

#include <QStringList>
#include <cstdio>

// tessaromandel-cli runs and tessaromandel-cli undo [RUN]: the kept runs listed, and one taken
// back, with what was restored and what was left alone.
class RunsCommand
{
public:
    // Whether arguments name one of these subcommands.
    static bool Handles(const QStringList &arguments);
    // The exit code; arguments without the program name.
    static int Main(const QStringList &arguments, std::FILE *out, std::FILE *err);
};
