#include "session/ui/CaptureFileDialog.h"

#include <QFileDialog>

namespace CaptureFileDialog {

QString AskPath(QWidget* parent, const QString& title, const QString& current)
{
    QFileDialog dialog(parent, title, current, QStringLiteral("Text Files (*.txt)"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(QStringLiteral("txt"));
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().constFirst();
}

} // namespace CaptureFileDialog
