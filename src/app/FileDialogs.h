#pragma once
#include <QString>

class QWidget;

// The session file dialogs ("Trellium Files (*.trw)").
namespace FileDialogs {
QString AskOpenPath(QWidget* parent);
// Adds ".trw" when the user typed a name without extension.
QString AskSavePath(QWidget* parent, const QString& current);
} // namespace FileDialogs
