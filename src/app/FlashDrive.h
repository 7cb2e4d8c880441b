#pragma once
#include <QString>
#include <QStringList>

class QWidget;

// "Install to Flash Drive...": the program's own executable, and on request
// the instructions document, copied with their times to a removable drive.
namespace FlashDrive {

// Mount points of removable drives (USB sticks, card readers), in the order
// the system lists them.
QStringList RemovableRoots();

// Copies `from` to `to` (replacing it) and gives the copy the source's
// access and modification times; false when the copy failed.
bool CopyWithTimes(const QString& from, const QString& to);

// The whole command, with its dialog and messages.
void InstallTo(QWidget* parent, const QString& instructionsPath);

} // namespace FlashDrive
