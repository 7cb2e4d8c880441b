#pragma once
#include <QStringList>

// trellium-cli subcommands. Each takes the arguments after the command name
// and returns the process exit status. Errors go to standard error, one line.
int RunShow(const QStringList& args);
int RunResave(const QStringList& args);
int RunEncode(const QStringList& args);
int RunCrc(const QStringList& args);
int RunRender(const QStringList& args);

// Writes one line to standard error.
void PrintError(const QString& message);
