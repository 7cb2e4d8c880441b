#pragma once
#include <QString>

// Session files are saved by writing a new file and renaming it over the old
// one. That would replace a FIFO or a device node at the path with a regular
// file (and, run as root against a device node, remove the device), so an
// existing target must be a regular file, symbolic links followed.
//
// Returns "Cannot save /path: it is not a regular file" for such a target,
// else an empty text (a missing target is fine: it is created).
QString SaveTargetProblem(const QString& path);
