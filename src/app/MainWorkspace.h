#pragma once
#include <QList>
#include <functional>

class CChildFrame;
class CSessionContext;
class QMdiArea;
class QString;

// The workspace of the main window: which session files were open, and
// where their frames stood, written at Exit and read back at start.
namespace MainWorkspace {

// Writes the frames' records in the sessions' creation order; false when
// the file could not be written.
bool Save(const CSessionContext& context, const QList<CChildFrame*>& frames);
// Opens the sessions of the workspace file through `open` and places their
// frames; returns how many were opened. A maximised frame comes back
// maximised, active and in front of the others.
int Restore(QMdiArea& area, const std::function<CChildFrame*(const QString&)>& open);

} // namespace MainWorkspace
