#pragma once
#include <QString>

class QWidget;

// Where a tool window (the ASCII chart, the converter) stands between
// sessions: its last position in a profile section ("TRASCII", "TRCNV"),
// values "X" and "Y".
namespace ToolWindowPlace {

// Moves `window` to the position stored in `section`, kept whole on the
// screen that holds it (a position saved with another screen layout never
// puts it out of reach, and its caption counts before the window manager
// has drawn it). Without a stored position it stands over the middle of the
// window that opened it.
void Restore(QWidget* window, const QString& section);
// Moves `window` back onto its screen when part of it is off.
void KeepOnScreen(QWidget* window);
void Save(const QWidget* window, const QString& section);

} // namespace ToolWindowPlace
