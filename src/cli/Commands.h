#pragma once
#include <QByteArray>
#include <QStringList>

// trellium-cli subcommands. Each takes the arguments after the command name
// and returns the process exit status. Errors go to standard error, one line.
int RunShow(const QStringList& args);
int RunResave(const QStringList& args);
// The data-string commands take the arguments as the terminal gave them.
int RunEncode(const QList<QByteArray>& args);
int RunRun(const QList<QByteArray>& args);
int RunCrc(const QStringList& args);
int RunRender(const QStringList& args);
int RunConvert(const QStringList& args);
int RunPorts(const QStringList& args);

// Command-line text as bytes: each character up to U+00FF is that byte, any
// other character cannot stand in 8-bit text and becomes '?'.
QByteArray Latin1Bytes(const QString& text);

// Writes one line to standard error.
void PrintError(const QString& message);
