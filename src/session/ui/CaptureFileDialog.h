#pragma once
#include <QString>

class QWidget;

namespace CaptureFileDialog {

// Asks for a capture file ("Text Files (*.txt)", ".txt" added to a name
// without extension). An existing file is appended to, so choosing one asks
// no overwrite question. Empty when cancelled.
QString AskPath(QWidget* parent, const QString& title, const QString& current = {});

} // namespace CaptureFileDialog
