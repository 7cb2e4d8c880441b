#pragma once
#include <QString>

class QWidget;

// The save-type file dialogs of the program.
namespace SaveFileDialog {

// Asks for a file to write: `filter` as "Text Files (*.txt)", `suffix` added
// to a name typed without extension, and an existing file questioned only
// when `askOverwrite`. Empty when cancelled.
QString Ask(QWidget* parent, const QString& title, const QString& start, const QString& filter,
            const QString& suffix, bool askOverwrite);

// A capture file (".txt"). An existing file is appended to, so choosing one
// asks no overwrite question.
QString AskCapture(QWidget* parent, const QString& title, const QString& current = {});

} // namespace SaveFileDialog
