#include "session/ui/SaveFileDialog.h"

#include <QFileDialog>

namespace SaveFileDialog {

QString Ask(QWidget* parent, const QString& title, const QString& start, const QString& filter,
            const QString& suffix, bool askOverwrite)
{
    QFileDialog dialog(parent, title, start, filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(suffix);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, !askOverwrite);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().constFirst();
}

QString AskCapture(QWidget* parent, const QString& title, const QString& current)
{
    return Ask(parent, title, current, QStringLiteral("Text Files (*.txt)"), QStringLiteral("txt"),
               false);
}

} // namespace SaveFileDialog
