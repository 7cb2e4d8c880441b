#pragma once
#include <QString>

class QWidget;

// Where a tool window (the ASCII chart, the converter) stands between
// sessions: its last position in a profile section ("TRASCII", "TRCNV"),
// values "X" and "Y".
namespace ToolWindowPlace {

// Moves `window` to the position stored in `section`, kept whole on the
// screen that holds it (a position saved with another screen layout never
// puts it out of reach). Without a stored position the system places it.
void Restore(QWidget* window, const QString& section);
void Save(const QWidget* window, const QString& section);

} // namespace ToolWindowPlace
