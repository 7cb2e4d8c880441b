#pragma once
#include <QString>

class QWidget;

// The Help menu's instructions document, which lies beside the program.
namespace HelpCommands {

QString InstructionsPath();
bool InstructionsPresent();
// The desktop's program for PDF documents, as the desktop names it (a
// .desktop file), or empty when there is none or no way to ask.
QString PdfViewer();
// Opens the document in the desktop's viewer; without one, says so, names
// the file and offers to open its folder.
void OpenInstructions(QWidget* parent);

} // namespace HelpCommands
