#pragma once
#include <QString>

class QWidget;

// The session file dialogs ("Trellium Files (*.trw)").
namespace FileDialogs {
QString AskOpenPath(QWidget* parent);
// Adds ".trw" when the user typed a name without extension. `current` is the
// file's path, or for a session never saved a name to suggest.
QString AskSavePath(QWidget* parent, const QString& current);
// A file name for a session never saved, made from its title
// ("TCP Svr: 127.0.0.1 Port 5599" gives "TCP Svr 127.0.0.1 Port 5599.trw").
QString SuggestedName(const QString& title);
} // namespace FileDialogs
